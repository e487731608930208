#include "core/render/colourmapping.h"

#include "core/model/plane.h"
#include "core/parallel.h"

#include <algorithm>
#include <cmath>

namespace {

template <typename T>
void mapRow(const T* src, int side, double min, double scale, const ColorTable& lut, QRgb noValue,
            QRgb* line)
{
    // The entries of a run of values first, then their colours: the compiler does the
    // arithmetic of a whole run at once.
    constexpr int run = 16;
    int x = 0;
    for (; x + run <= side; x += run) {
        int entry[run];
        for (int j = 0; j < run; ++j)
            entry[j] = colourIndex(double(src[x + j]), min, scale);
        for (int j = 0; j < run; ++j)
            line[x + j] = lut[entry[j]];
    }
    for (; x < side; ++x)
        line[x] = lut[colourIndex(double(src[x]), min, scale)];
    if constexpr (std::is_floating_point_v<T>) {
        for (x = 0; x < side; ++x) {
            if (std::isnan(src[x]))
                line[x] = noValue;
        }
    }
}

} // namespace

QImage imagePicture(const Plane& plane, double min, double max, const ColorTable& lut, QRgb noValue)
{
    if (!(min < max))
        return {};
    const int side = plane.side;
    if (side <= 0)
        return {};
    QImage picture(side + 2, side + 2, QImage::Format_RGB32);
    if (picture.isNull())
        return {};
    const double scale = 253.0 / (max - min);
    const QRgb black = qRgb(0, 0, 0);
    const QRgb missing = noValue | 0xFF000000u;

    QRgb* top = reinterpret_cast<QRgb*>(picture.scanLine(0));
    std::fill(top, top + side + 2, black);
    QRgb* bottom = reinterpret_cast<QRgb*>(picture.scanLine(side + 1));
    std::fill(bottom, bottom + side + 2, black);
    // Line addresses from one detached buffer: scanLine() on several threads would each check
    // for sharing.
    uchar* bits = picture.bits();
    const qsizetype stride = picture.bytesPerLine();
    std::visit(
        [&](const auto& values) {
            if (qsizetype(values.size()) != plane.size())
                return;
            // Small planes stay on this thread: starting threads would cost more than mapping.
            parallelFor(side, std::max(1, 65536 / side), [&](qsizetype begin, qsizetype end) {
                for (qsizetype y = begin; y < end; ++y) {
                    QRgb* line = reinterpret_cast<QRgb*>(bits + (y + 1) * stride);
                    line[0] = black;
                    line[side + 1] = black;
                    mapRow(values.data() + y * side, side, min, scale, lut, missing, line + 1);
                }
            });
        },
        plane.samples);
    return picture;
}
