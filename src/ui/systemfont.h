#pragma once

#include <QFont>

namespace isolumen {

// The font the windows' controls use: the platform's own interface font at the given size.
// The window layouts are drawn in pixels for a screen of 72 dots per inch, where a point is a
// pixel; the size is therefore set in pixels, so that text fits its control on any screen.
QFont systemFont(int points);

} // namespace isolumen
