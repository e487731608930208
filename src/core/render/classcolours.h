#pragma once

#include "core/stats/region.h"

#include <QList>
#include <QPair>
#include <QRgb>
#include <QString>

namespace isolumen {

// The colours regions are drawn in by class: the Okabe–Ito colours that readers with any common
// colour vision deficiency tell apart (orange, sky blue, bluish green, vermillion, reddish
// purple, blue; their yellow is left out, being the colour of regions without a class), given
// to the classes in the order they first appear in the list of regions and used again from the
// first beyond the sixth.
QList<QRgb> classPalette();

// Each class of the regions, in order of first appearance, with its colour. Regions without a
// class (an empty or blank text) have none.
QList<QPair<QString, QRgb>> classColours(const QList<Region>& regions);
// The same of the regions' classes given in their order (repeats and blanks as they come).
QList<QPair<QString, QRgb>> classColours(const QStringList& classes);

} // namespace isolumen
