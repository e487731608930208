#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

namespace isolumen {

// The font of the text drawn into pictures (axis labels, scale bar).

// The family for picture text among the installed ones: the first installed of the preferred
// names ("Geneva", "Arial", "Verdana", "Helvetica", "Monaco"); else the platform's own
// sans-serif family; else any installed family. Empty only when nothing is installed.
QString chooseSansSerif(const QStringList& installed, const QString& platformSansSerif);

// chooseSansSerif over the fonts of this system, chosen once per run. Empty when the system has
// no font at all: the caller tells the user, and text falls back to the default font.
QString sansSerifFamily();

// The font picture labels are drawn in: glyphs of textSize + 1 pixels of the sans-serif family.
QFont pictureFont(int textSize);

} // namespace isolumen
