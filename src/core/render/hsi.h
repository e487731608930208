#pragma once

#include "core/colour/catalogue.h"

#include <QImage>
#include <optional>

namespace isolumen {

struct Plane;
struct PlaneResult;

// HSI pictures of a ratio: the hue tells the ratio, on the scale the field uses (blue at Rmin,
// through cyan, green and yellow, to red at Rmax, held there outside the range), and the
// brightness tells the counts, stretched between their own smallest and largest value over the
// pixels that have a ratio onto kHsiBrightnessFloor..1. Pixels without a ratio are black, and
// only they: the floor keeps the dimmest pixel with a ratio apart from them.
enum class HsiBrightness { Denominator, Numerator, Larger, Mean };

// The least brightness of a pixel with a ratio: dark enough to read as the lowest counts, bright
// enough (a channel of at least 25 of 255) to tell from black on any screen.
constexpr double kHsiBrightnessFloor = 0.1;

// The colour of ratio r for brightness b (0 to 1).
QRgb hsiColour(double r, double rMin, double rMax, double brightness);

// The hue scale as a window's table: entries 1 to 254 from Rmin to Rmax at full brightness,
// entry 0 (below the range) blue and entry 255 (above) red, so that the colour bar draws it.
ColourTable hueTable();

// The picture of a ratio result (its ratio, numerator and denominator planes), framed like
// imagePicture: (side + 2) x (side + 2), a one-pixel black frame. Null when rMin < rMax does
// not hold or the result holds no counts.
QImage hsiPicture(const PlaneResult& ratio, double rMin, double rMax, HsiBrightness brightness);

// The brightness mode named on the command line: den, num, max or mean.
std::optional<HsiBrightness> hsiBrightnessNamed(const QString& name);

} // namespace isolumen
