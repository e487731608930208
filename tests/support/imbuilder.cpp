#include "imbuilder.h"

#include <QFile>
#include <QtEndian>

namespace isolumen {

namespace {

void put(QByteArray& buf, qint64 pos, const QByteArray& bytes)
{
    if (pos < 0)
        return;
    if (buf.size() < pos + bytes.size())
        buf.resize(pos + bytes.size(), '\0');
    std::copy(bytes.begin(), bytes.end(), buf.begin() + pos);
}

void putText(QByteArray& buf, qint64 pos, const QByteArray& text, int width)
{
    QByteArray field = text.left(width);
    field.resize(width, '\0');
    put(buf, pos, field);
}

} // namespace

QByteArray ImBuilder::header() const
{
    const bool big = byteOrder == QDataStream::BigEndian;
    QByteArray h(std::max(headerSize, 0), '\0');
    auto i32 = [&](qint64 pos, qint32 v) {
        char b[4];
        big ? qToBigEndian(v, b) : qToLittleEndian(v, b);
        put(h, pos, QByteArray(b, 4));
    };
    auto i16 = [&](qint64 pos, qint16 v) {
        char b[2];
        big ? qToBigEndian(v, b) : qToLittleEndian(v, b);
        put(h, pos, QByteArray(b, 2));
    };
    i32(0, version);
    i32(4, analysisType);
    i32(8, headerSize);
    i32(20, positionX);
    i32(24, positionY);
    putText(h, 28, marker, 32);
    putText(h, 60, userName, 16);
    putText(h, 76, sampleName, 16);
    putText(h, 92, date, 16);
    putText(h, 108, time, 16);
    i32(140, duration);
    i32(408, nSpecies);
    const int base = labelBase >= 0 ? labelBase : (version == 4108 ? 717 : 517);
    for (int i = 0; i < labels.size(); ++i)
        putText(h, base + 192 * i, labels[i], 16);
    putText(h, qint64(headerSize) - 18180, origName2, 32);
    if (writeImageBlockSize)
        i32(qint64(headerSize) - 84, 84);
    const qint64 tail = qint64(headerSize) - 80;
    i16(tail, imageType);
    i16(tail + 2, width);
    i16(tail + 4, height);
    i16(tail + 6, depth);
    i16(tail + 8, nSpecies2 >= 0 ? nSpecies2 : qint16(nSpecies));
    i16(tail + 10, nPlanes);
    i32(tail + 12, nmSize);
    putText(h, tail + 16, origName, 64);
    for (auto it = patches.begin(); it != patches.end(); ++it)
        put(h, it.key(), it.value());
    h.truncate(std::max(headerSize, 0));
    return h;
}

QByteArray ImBuilder::frame(int species, int plane) const
{
    const bool big = byteOrder == QDataStream::BigEndian;
    const int bps = bytesPerSample();
    QByteArray f(frameSize(), '\0');
    char* out = f.data();
    for (int r = 0; r < height; ++r) {
        for (int k = 0; k < width; ++k) {
            const quint32 v = sample(species, plane, r, k);
            if (bps == 2)
                big ? qToBigEndian(quint16(v), out) : qToLittleEndian(quint16(v), out);
            else
                big ? qToBigEndian(v, out) : qToLittleEndian(v, out);
            out += bps;
        }
    }
    return f;
}

QByteArray ImBuilder::bytes() const
{
    QByteArray all = header();
    for (int p = 1; p <= nPlanes; ++p) {
        for (int s = 1; s <= nSpecies; ++s)
            all += frame(s, p);
    }
    return all;
}

bool ImBuilder::write(const QString& path, qint64 extraBytes) const
{
    QByteArray all = bytes();
    if (extraBytes > 0)
        all.append(QByteArray(extraBytes, '\0'));
    else if (extraBytes < 0)
        all.truncate(std::max<qint64>(0, all.size() + extraBytes));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(all) == all.size();
}

} // namespace isolumen
