#include "rawfile/framereader.h"

#include <QIODevice>
#include <QtEndian>
#include <algorithm>
#include <limits>
#include <new>

namespace {

// Extremes are taken on the raw integers and the byte order is settled outside the loop: this
// takes a quarter off a 2048 x 2048 frame against comparing Doubles per sample.
template <typename T, bool bigEndian>
void decodeRows(const uchar* bytes, int side, double* out, T& lo, T& hi)
{
    T mn = std::numeric_limits<T>::max();
    T mx = 0;
    for (int r = 0; r < side; ++r) {
        const uchar* row = bytes + std::size_t(r) * side * sizeof(T);
        // The first sample of the file row goes to the right-hand end.
        double* dst = out + std::size_t(r) * side + (side - 1);
        for (int k = 0; k < side; ++k) {
            const T raw = bigEndian ? qFromBigEndian<T>(row + k * sizeof(T))
                                    : qFromLittleEndian<T>(row + k * sizeof(T));
            mn = raw < mn ? raw : mn;
            mx = raw > mx ? raw : mx;
            dst[-k] = double(raw);
        }
    }
    lo = mn;
    hi = mx;
}

template <typename T>
void decode(const uchar* bytes, int side, bool bigEndian, double* out, double& lo, double& hi)
{
    T mn = 0;
    T mx = 0;
    if (bigEndian)
        decodeRows<T, true>(bytes, side, out, mn, mx);
    else
        decodeRows<T, false>(bytes, side, out, mn, mx);
    lo = mn;
    hi = mx;
}

} // namespace

bool readPlaneInto(QIODevice& device, qint64 offset, int side, SampleFormat format, Plane& into)
{
    if (side <= 0 || (format.bytesPerSample != 2 && format.bytesPerSample != 4))
        return false;
    const std::size_t count = std::size_t(side) * std::size_t(side);
    const std::size_t byteCount = count * std::size_t(format.bytesPerSample);

    // The raw bytes go through one buffer kept for the next read: a fresh block of this size is
    // mapped and zeroed by the system at every allocation, which costs as much as the read.
    static thread_local std::vector<uchar> raw;
    try {
        if (raw.size() < byteCount)
            raw.resize(byteCount);
        into.samples.resize(count);
    } catch (const std::bad_alloc&) {
        return false;
    }

    qint64 got = 0;
    if (offset >= 0 && device.seek(offset)) {
        while (got < qint64(byteCount)) {
            const qint64 n =
                device.read(reinterpret_cast<char*>(raw.data()) + got, qint64(byteCount) - got);
            if (n <= 0)
                break;
            got += n;
        }
    }
    // Whatever the file does not hold reads as zero.
    std::fill(raw.begin() + got, raw.begin() + qint64(byteCount), uchar(0));

    into.side = side;
    const bool big = format.byteOrder == QDataStream::BigEndian;
    if (format.bytesPerSample == 2)
        decode<quint16>(raw.data(), side, big, into.samples.data(), into.min, into.max);
    else
        decode<quint32>(raw.data(), side, big, into.samples.data(), into.min, into.max);
    if (into.max == into.min)
        into.max += 1;
    return true;
}

std::optional<Plane> readPlane(QIODevice& device, qint64 offset, int side, SampleFormat format)
{
    Plane plane;
    if (!readPlaneInto(device, offset, side, format, plane))
        return std::nullopt;
    return plane;
}
