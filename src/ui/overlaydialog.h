#pragma once

#include "core/render/overlay.h"

#include <QStringList>
#include <optional>

class QWidget;

namespace isolumen {

// The "Overlay Image..." dialog: two or three sources (a species label, a sum "12C+13C" or a
// ratio "13C/12C"), each with its range (automatic, percentiles or typed), and the colour set.
std::optional<OverlayDefinition> overlayDialog(QWidget* parent, const QStringList& species);

} // namespace isolumen
