#include "core/render/displaypictures.h"

#include "core/model/acquisition.h"
#include "core/model/plane.h"
#include "core/render/colourbar.h"
#include "core/render/colourmapping.h"
#include "core/render/displaysettings.h"
#include "core/render/hsi.h"
#include "core/render/scalebar.h"

#include <QPainter>

namespace isolumen {

std::optional<DisplayPictures> displayPictures(const Plane& plane, const DisplaySettings& s,
                                               double micronSize, ImagePicture image)
{
    if (!(s.minValue < s.maxValue) || plane.side <= 0)
        return std::nullopt;
    DisplayPictures out;
    if (image == ImagePicture::Drawn) {
        out.image = imagePicture(plane, s.minValue, s.maxValue, s.lut, s.noValue);
        if (out.image.isNull())
            return std::nullopt;
    }
    out.colourBar = colourBarPicture(s.lut, s.maxValue, s.minValue, s.logScale);
    ScalePicture scale = scalePicture(micronSize, plane.side);
    out.scale = std::move(scale.picture);
    out.scaleProblem = std::move(scale.problem);
    return out;
}

std::optional<DisplayPictures> hsiDisplayPictures(const PlaneResult& ratio,
                                                  const DisplaySettings& s,
                                                  HsiBrightness brightness, double micronSize)
{
    if (!(s.minValue < s.maxValue) || !ratio.shown)
        return std::nullopt;
    DisplayPictures out;
    out.image = hsiPicture(ratio, s.minValue, s.maxValue, brightness);
    if (out.image.isNull())
        return std::nullopt;
    out.colourBar = colourBarPicture(hueTable(), s.maxValue, s.minValue, s.logScale);
    ScalePicture scale = scalePicture(micronSize, ratio.shown->side);
    out.scale = std::move(scale.picture);
    out.scaleProblem = std::move(scale.problem);
    return out;
}

QSize figureSize(int side)
{
    return {side + 121, side + 59};
}

QPoint figureImagePlace()
{
    return {20, 27};
}

QPoint figureColourBarPlace(int side)
{
    return {side + 39, 27};
}

QPoint figureScalePlace(int side)
{
    return {20, side + 29};
}

QImage figurePicture(const DisplayPictures& pictures, int side)
{
    QImage figure(figureSize(side), QImage::Format_RGB32);
    if (figure.isNull())
        return {};
    figure.fill(Qt::white);
    QPainter p(&figure);
    p.drawImage(figureImagePlace(), pictures.image);
    p.drawImage(figureColourBarPlace(side), pictures.colourBar,
                QRect(0, 0, pictures.colourBar.width(), kColourBarCanvasHeight));
    p.drawImage(figureScalePlace(side), pictures.scale);
    return figure;
}

} // namespace isolumen
