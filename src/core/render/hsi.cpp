#include "core/render/hsi.h"

#include "core/model/acquisition.h"

#include <QColor>
#include <algorithm>
#include <cmath>

namespace isolumen {

namespace {

double brightnessCount(double n, double d, HsiBrightness mode)
{
    switch (mode) {
    case HsiBrightness::Numerator:
        return n;
    case HsiBrightness::Larger:
        return std::max(n, d);
    case HsiBrightness::Mean:
        return (n + d) / 2;
    case HsiBrightness::Denominator:
        break;
    }
    return d;
}

} // namespace

QRgb hsiColour(double r, double rMin, double rMax, double brightness)
{
    const double t = std::clamp((r - rMin) / (rMax - rMin), 0.0, 1.0);
    // Hue 240 degrees (blue) at Rmin down to 0 (red) at Rmax.
    const QColor c = QColor::fromHsvF(float(240.0 / 360.0 * (1 - t)), 1.0f,
                                      float(std::clamp(brightness, 0.0, 1.0)));
    return c.rgb();
}

ColourTable hueTable()
{
    ColourTable t{};
    for (int k = 1; k <= 254; ++k)
        t[k] = hsiColour(double(k - 1) / 253.0, 0, 1, 1);
    t[0] = hsiColour(0, 0, 1, 1);
    t[255] = hsiColour(1, 0, 1, 1);
    return t;
}

QImage hsiPicture(const PlaneResult& ratio, double rMin, double rMax, HsiBrightness mode)
{
    if (!(rMin < rMax) || !ratio.shown || !ratio.numerator || !ratio.denominator)
        return {};
    const Plane& r = *ratio.shown;
    const int side = r.side;
    QImage picture(side + 2, side + 2, QImage::Format_RGB32);
    if (picture.isNull())
        return {};
    picture.fill(Qt::black);
    // The brightness is stretched over the pixels that have a ratio.
    std::vector<double> counts(size_t(r.size()), std::nan(""));
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            if (std::isnan(r.value(x, y)))
                continue;
            const double b =
                brightnessCount(ratio.numerator->value(x, y), ratio.denominator->value(x, y), mode);
            counts[size_t(y) * side + x] = b;
            lo = std::min(lo, b);
            hi = std::max(hi, b);
        }
    }
    for (int y = 0; y < side; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(picture.scanLine(y + 1)) + 1;
        for (int x = 0; x < side; ++x) {
            const double b = counts[size_t(y) * side + x];
            if (std::isnan(b))
                continue; // black: no ratio
            const double v = hi > lo ? (b - lo) / (hi - lo) : 1.0;
            line[x] = hsiColour(r.value(x, y), rMin, rMax,
                                kHsiBrightnessFloor + (1 - kHsiBrightnessFloor) * v);
        }
    }
    return picture;
}

std::optional<HsiBrightness> hsiBrightnessNamed(const QString& name)
{
    if (name == QLatin1String("den"))
        return HsiBrightness::Denominator;
    if (name == QLatin1String("num"))
        return HsiBrightness::Numerator;
    if (name == QLatin1String("max"))
        return HsiBrightness::Larger;
    if (name == QLatin1String("mean"))
        return HsiBrightness::Mean;
    return std::nullopt;
}

} // namespace isolumen
