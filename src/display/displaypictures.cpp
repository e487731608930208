#include "display/displaypictures.h"

#include "display/colourbar.h"
#include "display/colourmapping.h"
#include "display/imagemodel.h"
#include "display/scalebar.h"

#include <QPainter>

std::optional<DisplayPictures> displayPictures(const ImageModel& m, double micronSize)
{
    if (!(m.ColorMinValue < m.ColorMaxValue))
        return std::nullopt;
    DisplayPictures out;
    out.image = imagePicture(m.ImArray, m.ColorMinValue, m.ColorMaxValue, m.MyLUT);
    if (out.image.isNull())
        return std::nullopt;
    out.colorBar = colorBarPicture(m.MyLUT, m.ColorMaxValue, m.ColorMinValue, m.LogScale);
    ScalePicture scale = scalePicture(micronSize, m.ImArray.side);
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

QPoint figureColorBarPlace(int side)
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
    p.drawImage(figureColorBarPlace(side), pictures.colorBar,
                QRect(0, 0, pictures.colorBar.width(), kColorBarCanvasHeight));
    p.drawImage(figureScalePlace(side), pictures.scale);
    return figure;
}
