#include "core/render/scalebar.h"

#include "core/render/colourbar.h"
#include "core/render/picturefont.h"
#include "core/text/numbertext.h"

#include <QPainter>
#include <cmath>

namespace isolumen {

std::optional<ScaleBarLength> scaleBarLength(double micronSize, int side)
{
    if (!(micronSize > 0) || !std::isfinite(micronSize) || side <= 0)
        return std::nullopt;
    const double x = micronSize * 60 / side; // micrometres covered by 60 pixels
    double e = std::floor(std::log10(x));
    double p = std::pow(10.0, e);
    // The logarithm may round across a whole number for an x next to a power of ten; the
    // leading digit must come out from 1 to 9 whatever happened.
    if (x / p < 1)
        p = std::pow(10.0, --e);
    else if (x / p >= 10)
        p = std::pow(10.0, ++e);
    const double m = std::floor(x / p);
    ScaleBarLength bar;
    bar.distance = (m >= 5 ? 5 : m >= 2 ? 2 : 1) * p;
    bar.width = static_cast<int>(bar.distance * side / micronSize);
    return bar;
}

QString scaleBarLabel(double distance)
{
    return numberText(distance) + QStringLiteral(" µm");
}

bool paintScaleBar(QPainter& p, double micronSize, int side)
{
    const std::optional<ScaleBarLength> bar = scaleBarLength(micronSize, side);
    if (!bar)
        return false;
    const QColor grey = QColor::fromRgb(0x999999);
    p.save();
    p.fillRect(0, 7, bar->width, 6, grey);
    p.setPen(grey);
    p.setFont(pictureFont(kAxisTextSize));
    p.drawText(QPoint(bar->width + 5, 13), scaleBarLabel(bar->distance));
    p.restore();
    return true;
}

ScalePicture scalePicture(double micronSize, int side)
{
    ScalePicture result;
    result.picture = QImage(258, 28, QImage::Format_RGB32);
    result.picture.fill(Qt::white);
    QPainter p(&result.picture);
    if (!paintScaleBar(p, micronSize, side))
        result.problem = QStringLiteral("Scale bar problem.");
    return result;
}

} // namespace isolumen
