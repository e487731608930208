#pragma once

#include <QImage>
#include <QString>
#include <optional>

class QPainter;

namespace isolumen {

// The scale bar under an image: a grey bar of a round length (1, 2 or 5 times a power of ten
// micrometres) close to 60 image pixels, with that length written beside it.

// The length of the bar: a round distance and its width on the picture.
struct ScaleBarLength
{
    double distance = 0; // micrometres: 1, 2 or 5 times a power of ten
    int width = 0;       // pixels: distance x side / micronSize, truncated; at most 60
};

// The bar for a field of micronSize micrometres shown as side pixels. Absent when micronSize or
// side is zero, negative or not a number: there is no bar to draw.
std::optional<ScaleBarLength> scaleBarLength(double micronSize, int side);

// The text beside the bar: numberText(distance) followed by " µm" ("10 µm", "0.1 µm").
QString scaleBarLabel(double distance);

// The scale bar's picture, with the problem to tell when there is no bar.
struct ScalePicture
{
    QImage picture;  // 258 x 28, white
    QString problem; // "Scale bar problem." when there is no bar; else empty
};

// The 258 x 28 scale picture: the bar as a grey (0x999999) w x 6 rectangle at (0, 7), the label
// numberText(distance) + " µm" in grey from x = w + 5 on baseline 13. Without a bar the picture
// stays blank and problem says so; the caller shows that message.
ScalePicture scalePicture(double micronSize, int side);
// Paints that picture's bar and label with its top left at the painter's origin; false, having
// painted nothing, when there is no bar.
bool paintScaleBar(QPainter& painter, double micronSize, int side);

} // namespace isolumen
