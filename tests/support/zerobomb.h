#pragma once

// A gzip stream of some bytes followed by any number of zero bytes, made in a moment: after a
// full flush deflate forgets what came before, so each mebibyte of zeros compresses to the same
// bytes, which are repeated. 1 GiB of zeros takes about 1 MB.

#include <QByteArray>
#include <QtEndian>
#include <zlib.h>

namespace isolumen {

inline QByteArray gzipWithZeros(const QByteArray& start, qint64 mebibytesOfZeros)
{
    constexpr qint64 chunk = 1 << 20;
    z_stream z = {};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    const auto compress = [&z](const QByteArray& in) {
        QByteArray out;
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        z.avail_in = uInt(in.size());
        char buffer[1 << 16];
        do {
            z.next_out = reinterpret_cast<Bytef*>(buffer);
            z.avail_out = sizeof buffer;
            deflate(&z, Z_FULL_FLUSH);
            out.append(buffer, qsizetype(sizeof buffer - z.avail_out));
        } while (z.avail_out == 0);
        return out;
    };
    const QByteArray zeros(chunk, '\0');
    QByteArray gz = compress(start);
    const QByteArray zerosCompressed = compress(zeros);
    uLong crc = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(start.data()),
                      uInt(start.size()));
    const uLong zerosCrc =
        crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(zeros.data()), uInt(chunk));
    for (qint64 i = 0; i < mebibytesOfZeros; ++i) {
        gz += zerosCompressed;
        crc = crc32_combine(crc, zerosCrc, chunk);
    }
    deflateEnd(&z);
    // The last block, empty, then the CRC-32 and the length modulo 2^32, little-endian.
    gz += QByteArray("\x03\x00", 2);
    char trailer[8];
    qToLittleEndian(quint32(crc), trailer);
    qToLittleEndian(quint32(start.size() + mebibytesOfZeros * chunk), trailer + 4);
    return gz + QByteArray(trailer, 8);
}

} // namespace isolumen
