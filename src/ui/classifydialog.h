#pragma once

#include "core/stats/regionmeasures.h"

#include <QStringList>
#include <optional>

class QWidget;

namespace isolumen {

// The "Classify Regions..." dialog: up to three rules, each a statistic (mean, sum or ratio of
// sums) of a species or of a ratio of two, a comparison and a value ("." the decimal point in
// every locale); all of the rules in use must hold; and the class to set. species: the labels.
std::optional<Classification> classifyDialog(QWidget* parent, const QStringList& species);

} // namespace isolumen
