#include "display/colourmapping.h"

#include "rawfile/framereader.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Largest table the by-value mapping builds: every unsigned 16-bit sample.
constexpr double kByValueLimit = 65536;

void mapPerSample(const double* src, QRgb* dst, int n, double min, double scale,
                  const ColorTable& lut)
{
    for (int i = 0; i < n; ++i)
        dst[i] = lut[colourIndex(src[i], min, scale)];
}

void mapByValue(const double* src, QRgb* dst, int n, const std::vector<QRgb>& byValue, double min,
                double scale, const ColorTable& lut)
{
    const double size = double(byValue.size());
    for (int i = 0; i < n; ++i) {
        const double v = src[i];
        if (v >= 0 && v < size) {
            const int w = static_cast<int>(v);
            if (w == v) {
                dst[i] = byValue[w];
                continue;
            }
        }
        dst[i] = lut[colourIndex(v, min, scale)];
    }
}

} // namespace

QImage imagePicture(const Plane& plane, double min, double max, const ColorTable& lut,
                    MappingMethod method)
{
    if (!(min < max))
        return {};
    const int side = plane.side;
    if (side < 0 || plane.samples.size() != std::size_t(side) * std::size_t(side))
        return {};
    QImage picture(side + 2, side + 2, QImage::Format_RGB32);
    if (picture.isNull())
        return {};
    const double scale = 253.0 / (max - min);
    const QRgb black = qRgb(0, 0, 0);

    // Entries of a by-value table: one per whole value up to the plane's maximum (the raised
    // maximum of a flat plane costs one unused entry).
    const double top = std::isfinite(plane.max) ? std::floor(plane.max) : -1;
    const std::size_t tableSize = top < 0 ? 0 : std::size_t(std::min(top + 1, kByValueLimit));
    if (method == MappingMethod::Fastest)
        method = plane.max <= kByValueLimit && tableSize <= plane.samples.size()
                     ? MappingMethod::ByValue
                     : MappingMethod::PerSample;
    std::vector<QRgb> byValue;
    if (method == MappingMethod::ByValue) {
        byValue.resize(tableSize);
        for (std::size_t w = 0; w < tableSize; ++w)
            byValue[w] = lut[colourIndex(double(w), min, scale)];
    }

    auto frameRow = [&](int y) {
        QRgb* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        std::fill(line, line + side + 2, black);
    };
    frameRow(0);
    frameRow(side + 1);
    for (int r = 0; r < side; ++r) {
        QRgb* line = reinterpret_cast<QRgb*>(picture.scanLine(r + 1));
        line[0] = black;
        line[side + 1] = black;
        const double* src = plane.samples.data() + std::size_t(r) * side;
        if (method == MappingMethod::ByValue)
            mapByValue(src, line + 1, side, byValue, min, scale, lut);
        else
            mapPerSample(src, line + 1, side, min, scale, lut);
    }
    return picture;
}
