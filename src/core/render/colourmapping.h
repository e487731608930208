#pragma once

#include "core/colour/catalogue.h"

#include <QImage>

namespace isolumen {

struct Plane;

// How a value becomes an entry of a window's colour table, and the false-colour picture of a
// whole plane. The colour of a pixel depends on its value, the display range and the table
// only; the scaling of the value axis never changes it.

// Entry (0 to 255) of the table for value v in the display range min..max, with
// scale = 253 / (max - min): k = (v - min) * scale + 1, held to 0..255 and truncated. Values
// below the range get 0 (the low colour), values a ramp step or more above it 255 (the high
// colour).
inline int colourIndex(double v, double min, double scale)
{
    double k = (v - min) * scale + 1.0;
    k = k > 0.0 ? k : 0.0;
    k = k < 255.0 ? k : 255.0;
    return static_cast<int>(k);
}

// The picture of a plane: (side + 2) x (side + 2) pixels, a one-pixel black frame around the
// values, shown (x, y) at pixel (x + 1, y + 1); pixels without a value in noValue. Null when
// min < max does not hold (nothing is drawn for an empty or reversed range) or the memory for
// the picture cannot be had. Rows are mapped on all cores.
QImage imagePicture(const Plane& plane, double min, double max, const ColourTable& lut,
                    QRgb noValue);

// Draws the pixels of `area` of that picture (its own coordinates, the frame at 0 and side + 1)
// into target (32-bit, opaque) with the area's top left at `at`, as imagePicture would have
// them; nothing outside the picture or the target. A window draws its picture this way straight
// into its backing store: no picture of its own to keep, and every pixel written once.
void drawImagePicture(const Plane& plane, double min, double max, const ColourTable& lut,
                      QRgb noValue, const QRect& area, QImage& target, const QPoint& at);

} // namespace isolumen
