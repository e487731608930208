#pragma once

#include "core/colour/catalogue.h"

#include <QImage>
#include <QList>
#include <QString>

class QPainter;

namespace isolumen {

// The colour bar beside an image: the window's ramp between its high and low caps, and the value
// axis with ticks and labels, linear or logarithmic.

// One tick of the value axis, with its label where the axis has room for one.
struct AxisMark
{
    double value = 0;
    int y = 0;             // row of the tick, drawn from x = 0 to 4
    bool labelled = false; // whether a label goes with the tick
    int baseline = 0;      // baseline row of the label, drawn from x = 10
    QString label;         // signedValueText(value)
};

// Distance in pixels that the axis keeps between labels and the ends: the labels' text size.
constexpr int kAxisTextSize = 9;

// The ticks and labels of an axis from bottom (row n + 4) to top (row 5), n being the ramp's
// height in entries. The first two marks are the top and bottom ends, always labelled; inner
// marks follow only when bottom < top. A linear axis steps by 1, 2 or 5 times a power of ten,
// at least two text sizes apart, and labels every inner tick at least a text size from both
// ends. A logarithmic axis (bottom > 0 only) ticks every value with one significant digit and
// labels those beginning with 1, and with 2 or 5 when the range spans less than a factor of
// 1000. Each axis stops after 999 steps whatever the values. Marks whose row is not a number are
// left out.
QList<AxisMark> axisMarks(double top, double bottom, int n, bool linear);

// Paints the axis of axisMarks in black with its top left at the painter's origin: ticks as
// exact pixel rows, labels in the picture font, set smaller where wider than width allows.
void paintValueAxis(QPainter& painter, double top, double bottom, int n, bool linear, int width);
// paintValueAxis into a picture as wide as the axis.
void drawValueAxis(QImage& picture, double top, double bottom, int n, bool linear);

// The 80 x 300 colour-bar picture: black frames around the top cap (20 x 5 at (0, 0)), the ramp
// (20 x 256 at (0, 5)) and the bottom cap (20 x 5 at (0, 261)); caps in lut[255] and lut[0];
// ramp rows 260 - k in lut[k] for k = 1 to 254; the axis for top..bottom drawn at (21, 1).
// The window shows the top 80 x 266 of it.
QImage colourBarPicture(const ColourTable& lut, double top, double bottom, bool logScale);
// Paints that picture's content, but for its white, with its top left at the painter's origin.
void paintColourBar(QPainter& painter, const ColourTable& lut, double top, double bottom,
                    bool logScale);

} // namespace isolumen
