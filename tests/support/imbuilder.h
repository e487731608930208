#pragma once

#include <QByteArray>
#include <QDataStream>
#include <QList>
#include <QMap>
#include <QString>
#include <functional>

namespace isolumen {

// Writes raw image files with any header field, label and frame, so that tests and tools make
// every file they need instead of committing binary data. Fields sit where the instruments put
// them; patches overwrite any header bytes afterwards.
struct ImBuilder
{
    QDataStream::ByteOrder byteOrder = QDataStream::BigEndian;
    qint32 version = 5;       // offset 0: type code / file version
    qint32 analysisType = 27; // offset 4
    qint32 headerSize = 2048; // offset 8
    qint32 positionX = 0;
    qint32 positionY = 0;
    QByteArray marker = "IMAGE ACQUISITION";
    QByteArray userName = "tester";
    QByteArray sampleName = "sample";
    QByteArray date = "05.03.07";
    QByteArray time = "14:30";
    qint32 duration = 600;
    qint32 nSpecies = 1;      // offset 408
    QList<QByteArray> labels; // 16-byte fields; missing ones are empty
    int labelBase = -1;       // -1: 717 for version 4108, else 517
    QByteArray origName = "builder acquisition";
    QByteArray origName2 = "second name";
    bool writeImageBlockSize = true; // the Int32 84 just before the 80-byte tail
    qint16 imageType = 0;
    qint16 width = 256;
    qint16 height = 256;
    qint16 depth = 2;
    qint16 nSpecies2 = -1; // -1: same as nSpecies
    qint16 nPlanes = 1;
    qint32 nmSize = 20000;
    QMap<qint64, QByteArray> patches; // header bytes overwritten last, by offset

    // Value of the k-th sample (file order) of row r of a frame, species and plane from 1.
    std::function<quint32(int species, int plane, int row, int k)> sample = [](int, int, int, int) {
        return 0u;
    };

    int bytesPerSample() const { return depth == 4 ? 4 : 2; }
    qint64 frameSize() const { return qint64(width) * height * bytesPerSample(); }
    qint64 expectedFileSize() const
    {
        return qint64(headerSize) + qint64(nPlanes) * nSpecies * frameSize();
    }

    QByteArray header() const;
    QByteArray frame(int species, int plane) const;
    QByteArray bytes() const; // header and every frame
    // Writes the whole file; extraBytes > 0 appends zeros, < 0 cuts the file short.
    bool write(const QString& path, qint64 extraBytes = 0) const;
};

} // namespace isolumen
