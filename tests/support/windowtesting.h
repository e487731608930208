#pragma once

// Helpers shared by the GUI tests of the image windows: a file whose every sample is known, the
// picture an image window must show for it, worked out here from the samples and the mapping's
// definition rather than taken from the code under test, and the history window's lines.

#include "ui/historywindow.h"
#include "core/colour/catalogue.h"
#include "imbuilder.h"

#include <QImage>
#include <QListWidget>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace WindowTesting {

// Every sample of plane p is a multiple of p from 0 to 253 p, so each plane's range is
// 0 .. 253 p, and the display range then maps sample v to entry v / p + 1 without rounding.
// Species shift the pattern; within a row the pattern runs one way, so a mirrored row shows.
// `offset` is added to every sample (a different file with the same layout).
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

// The picture of plane `plane` of species `species` (both from 1) of the file in a new window
// (table 10, grey below the range, white above) for the display range min .. max: a black frame
// around the samples, the first sample of a file row at the right-hand end of its row.
inline QImage expectedPicture(const ImBuilder& b, int species, int plane, double min, double max)
{
    const int side = b.width;
    QImage picture(side + 2, side + 2, QImage::Format_RGB32);
    picture.fill(qRgb(0, 0, 0));
    for (int r = 0; r < side; ++r) {
        for (int k = 0; k < side; ++k) {
            const double v = b.sample(species, plane, r, k);
            const int entry = int(std::clamp((v - min) * (253.0 / (max - min)) + 1, 0.0, 255.0));
            picture.setPixel(side - k, r + 1,
                             entry == 0     ? qRgb(0x99, 0x99, 0x99)
                             : entry == 255 ? qRgb(0xFF, 0xFF, 0xFF)
                                            : colourTable(9)[entry] | 0xFF000000u);
        }
    }
    return picture;
}

// Empty when the two pictures have the same size and colours; else where they first differ.
inline QString pictureDifference(const QImage& got, const QImage& want)
{
    const QImage g = got.convertToFormat(QImage::Format_RGB32);
    const QImage w = want.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; g.size() == w.size() && y < w.height(); ++y) {
        for (int x = 0; x < w.width(); ++x) {
            if (g.pixel(x, y) != w.pixel(x, y))
                return QStringLiteral("pixel (%1, %2) is %3, expected %4")
                    .arg(x)
                    .arg(y)
                    .arg(g.pixel(x, y), 0, 16)
                    .arg(w.pixel(x, y), 0, 16);
        }
    }
    return g.size() == w.size() ? QString()
                                : QStringLiteral("size %1 x %2").arg(g.width()).arg(g.height());
}

// The lines of the history window, top to bottom; none when there is no history window.
inline QStringList historyLines()
{
    QStringList lines;
    if (const HistoryWindow* history = HistoryWindow::existing()) {
        for (int i = 0; i < history->lines()->count(); ++i)
            lines << history->lines()->item(i)->text();
    }
    return lines;
}

inline const QString maxLine = QStringLiteral("Max TextChange calls Update Display");
inline const QString minLine = QStringLiteral("Min TextChange calls Update Display");
inline const QString loadLine = QStringLiteral("LoadNewImage calls Update Display");
inline const QString drawLine = QStringLiteral("Update Display called");

} // namespace WindowTesting
