#pragma once

#include "ui/dialogs.h"

#include <QStringList>
#include <optional>

class QWidget;

namespace isolumen {

// The "Find Regions..." dialog: the source (a species label, a sum "12C+13C" or a ratio
// "13C/12C"), smoothing, threshold, splitting, area limits, the frame's edge, and whether the
// cells replace the regions or join them. Every change is handed to preview at once, so that
// the cells it would find show on the image windows while it is open.
std::optional<FindRegionsChoice> findRegionsDialog(QWidget* parent, const QStringList& species,
                                                   const Dialogs::FindRegionsPreview& preview);

} // namespace isolumen
