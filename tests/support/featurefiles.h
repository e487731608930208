#pragma once

// Acquisitions for the tests of the analysis features (sums, ratios, corrections, alignment,
// many species), shared by the core, command-line and window tests.

#include "imbuilder.h"

#include <QDirIterator>
#include <QtEndian>

namespace isolumen {

namespace FeatureFiles {

// The value shown at (x, y) of layer `layer` (from 1) of a file: the k-th sample of file row y,
// k counted from the left of the file row, which is shown mirrored.
inline quint32 shown(const ImBuilder& b, int species, int layer, int x, int y)
{
    return b.sample(species, layer, y, b.width - 1 - x);
}

// A 64 x 64 acquisition of species labelled 12C, 13C ...
inline ImBuilder small(int species, int layers,
                       const std::function<quint32(int, int, int, int)>& sample)
{
    ImBuilder b;
    b.width = b.height = 64;
    b.nSpecies = species;
    b.nPlanes = qint16(layers);
    b.labels = QList<QByteArray>{"12C", "13C", "14N", "15N"}.mid(0, species);
    b.sample = sample;
    return b;
}

// The files in a folder and its subfolders.
inline QStringList filesUnder(const QString& folder)
{
    QStringList files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
         it.hasNext();)
        files << it.next();
    return files;
}

// A scene that drifts by whole pixels: a disc of 200 counts, radius 3, at shown (30, 30) on a
// ragged background of 1 to 11 counts, over three layers whose content lies at these offsets
// from layer 1's. Species 2 counts twice species 1 in the disc and nothing elsewhere.
inline constexpr int kDrift[3][2] = {{0, 0}, {5, 1}, {-4, 4}};

inline quint32 scene(int species, int x, int y)
{
    const bool disc = (x - 30) * (x - 30) + (y - 30) * (y - 30) <= 9;
    if (species == 2)
        return disc ? 400 : 0;
    return disc ? 200 : quint32(1 + (x * x * 31 + y * 17 + x * y * 7 + 10000) % 11);
}

inline ImBuilder driftingCell()
{
    return small(2, 3, [](int s, int p, int row, int k) {
        return scene(s, 63 - k - kDrift[p - 1][0], row - kDrift[p - 1][1]);
    });
}

// Ten species with distinct counts, so that species 9 and 10 are told from the first eight.
inline ImBuilder tenSpecies()
{
    ImBuilder b = small(
        10, 1, [](int s, int, int row, int k) { return quint32(s * 1000 + row * 2 + k % 7); });
    b.headerSize = 4096;
    b.labels = {"1H", "2H", "12C", "13C", "14N", "15N", "16O", "17O", "18O", "19F"};
    return b;
}

// Records counting parameters as the instruments do: per species the trolley and the count time
// (seconds per layer) in the mass table at 452 + 192 i, and, unless deadTimeNs is 0, the dead
// time of detectors 1 to 5 after the analysis marker. Big-endian, for the builder's default.
inline void recordCounting(ImBuilder& b, const QList<QPair<int, double>>& trolleyAndCountTime,
                           qint32 deadTimeNs)
{
    b.headerSize = std::max(b.headerSize, 4096);
    for (int i = 0; i < trolleyAndCountTime.size(); ++i) {
        QByteArray trolley(4, '\0'), countTime(8, '\0');
        qToBigEndian(qint32(trolleyAndCountTime[i].first), trolley.data());
        qToBigEndian(trolleyAndCountTime[i].second, countTime.data());
        b.patches[452 + 192 * i] = trolley;
        b.patches[452 + 192 * i + 32] = countTime;
    }
    if (deadTimeNs == 0)
        return;
    constexpr int marker = 2400;
    b.patches[marker] = "Anal_param_nano";
    for (int k = 0; k < 5; ++k) {
        QByteArray ns(4, '\0');
        qToBigEndian(deadTimeNs, ns.data());
        b.patches[marker + 1644 + 16 * k] = ns;
    }
}

} // namespace FeatureFiles

} // namespace isolumen
