#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <optional>

namespace isolumen {

struct DisplaySettings;
struct Plane;
struct PlaneResult;
enum class HsiBrightness;

// Everything an image window shows of its model, made anew on each redraw.
struct DisplayPictures
{
    QImage image;         // (side + 2) x (side + 2): the samples inside a black frame
    QImage colourBar;     // 80 x 300: ramp, caps and value axis; the window shows the top 266 rows
    QImage scale;         // 258 x 28: the scale bar
    QString scaleProblem; // "Scale bar problem." when the field size gives no bar; else empty
};

// The pictures of a redraw of a plane for a field of micronSize micrometres. Absent when
// minValue < maxValue does not hold: nothing is drawn and the window keeps showing its
// previous pictures. Sizes follow the plane itself. With ImagePicture::Skipped the image stays
// null, for a caller that draws it itself with drawImagePicture.
enum class ImagePicture { Drawn, Skipped };
std::optional<DisplayPictures> displayPictures(const Plane& plane, const DisplaySettings& s,
                                               double micronSize,
                                               ImagePicture image = ImagePicture::Drawn);

// The pictures of an HSI window: the HSI image of a ratio result for the range minValue to
// maxValue of the settings, the hue bar with the ratio axis in the colour bar's place, and the
// scale bar.
std::optional<DisplayPictures> hsiDisplayPictures(const PlaneResult& ratio,
                                                  const DisplaySettings& s,
                                                  HsiBrightness brightness, double micronSize);

// Where the window shows its three pictures, for an image of side pixels: the window is
// side + 121 by side + 59, the image at (20, 27), the visible 80 x 266 of the colour bar at
// (side + 39, 27) and the scale bar at (20, side + 29).
QSize figureSize(int side);
QPoint figureImagePlace();
QPoint figureColourBarPlace(int side);
QPoint figureScalePlace(int side);
constexpr int kColourBarCanvasHeight = 266;

// The window's canvases composed on white at their places, the button row left blank; the
// pictures are drawn in the window's stacking order (image, colour bar, scale bar) and clipped.
QImage figurePicture(const DisplayPictures& pictures, int side);

} // namespace isolumen
