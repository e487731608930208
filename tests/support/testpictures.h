#pragma once

// The pictures the tests expect, worked out from the samples and from the definition of the
// colour mapping rather than taken from the code under test.

#include "core/colour/catalogue.h"
#include "imbuilder.h"

#include <QImage>
#include <algorithm>
#include <cmath>
#include <functional>

namespace isolumen {

namespace TestPictures {

// The table entry of value v in the display range min..max: the ramp's 253 steps between entry
// 1 (min) and entry 254 (max); values below the range get 0, a step or more above it 255.
inline int entry(double v, double min, double max)
{
    return int(std::clamp((v - min) * (253.0 / (max - min)) + 1, 0.0, 255.0));
}

// The colour a window with catalogue table `table` and these colours shows for value v.
inline QRgb colour(double v, double min, double max, int table = 9, QRgb high = 0xFFFFFF,
                   QRgb low = 0x999999, QRgb noValue = 0)
{
    const int k = std::isnan(v) ? -1 : entry(v, min, max);
    return (k < 0 ? noValue : k == 0 ? low : k == 255 ? high : colourTable(table)[k]) | 0xFF000000u;
}

// A black frame around the colours of value(x, y) at shown (x, y), drawn at (x + 1, y + 1).
inline QImage framedPicture(int side, const std::function<double(int x, int y)>& value,
                            const std::function<QRgb(double)>& colourOf)
{
    QImage picture(side + 2, side + 2, QImage::Format_RGB32);
    picture.fill(Qt::black);
    for (int i = 0; i < side * side; ++i)
        picture.setPixel(i % side + 1, i / side + 1, colourOf(value(i % side, i / side)));
    return picture;
}

// The picture of a plane of a species (both from 1) of a built file in a window of the default
// colours: the first sample of a file row shows at the right-hand end of its row.
inline QImage expectedPicture(const ImBuilder& b, int species, int plane, double min, double max)
{
    return framedPicture(
        b.width, [&](int x, int y) { return b.sample(species, plane, y, b.width - 1 - x); },
        [&](double v) { return colour(v, min, max); });
}

// Every sample of plane p is a multiple of p from 0 to 253 p, so that each plane's range is
// 0..253 p and maps sample v to entry v / p + 1 exactly. Species shift the pattern, and it runs
// one way along a row, so that a mirrored row or a wrong species shows.
inline ImBuilder patternFile(int species, int planes, int side, quint32 offset = 0)
{
    ImBuilder b;
    b.nSpecies = species;
    b.nPlanes = qint16(planes);
    b.labels =
        QList<QByteArray>{"12C", "13C", "14N", "16O", "19F", "28Si", "32S", "S.E."}.mid(0, species);
    b.width = b.height = qint16(side);
    b.headerSize = 10000;
    b.sample = [side, offset](int s, int p, int r, int k) {
        return quint32((r * side + k + 17 * (s - 1)) % 254) * quint32(p) + offset;
    };
    return b;
}

// Empty when the pictures have the same size and colours; else where they first differ.
inline QString pictureDifference(const QImage& got, const QImage& want)
{
    const QImage g = got.convertToFormat(QImage::Format_RGB32);
    const QImage w = want.convertToFormat(QImage::Format_RGB32);
    if (g.size() != w.size())
        return QString("size %1 x %2, expected %3 x %4")
            .arg(g.width())
            .arg(g.height())
            .arg(w.width())
            .arg(w.height());
    for (int i = 0; i < w.width() * w.height(); ++i) {
        const QPoint p(i % w.width(), i / w.width());
        if (g.pixel(p) != w.pixel(p))
            return QString("pixel (%1, %2) is %3, expected %4")
                .arg(p.x())
                .arg(p.y())
                .arg(g.pixel(p), 0, 16)
                .arg(w.pixel(p), 0, 16);
    }
    return {};
}

} // namespace TestPictures

#define COMPARE_PICTURES(got, want)                                                                \
    do {                                                                                           \
        const QString difference = TestPictures::pictureDifference(got, want);                     \
        QVERIFY2(difference.isEmpty(), qPrintable(difference));                                    \
    } while (false)

} // namespace isolumen
