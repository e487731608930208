#include "core/imfile/imfile.h"

#include "core/imfile/filetypes.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <cstring>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

ImFile::ImFile() = default;
ImFile::~ImFile() = default;

namespace {

// Layers whose frames all lie inside the file: an acquisition stopped early leaves a file
// shorter than its header says, and the layers it lacks must not be shown as zeros.
int wholeLayers(const ImHeader& h)
{
    const std::optional<qint64> layerBytes = product({qint64(h.speciesCount), h.frameSize});
    if (!layerBytes || *layerBytes <= 0 || h.planeCount <= 0 || h.fileSize <= h.headerSize)
        return 0;
    const qint64 fit = (h.fileSize - h.headerSize) / *layerBytes;
    return int(std::min<qint64>(fit, h.planeCount));
}

} // namespace

ImFile::Status ImFile::open(const QString& path, const QString& displayName)
{
    close();
    m_error.clear();
    const QFileInfo info(path);
    const QString shown = QDir::toNativeSeparators(path);
    if (path.isEmpty() || !info.exists()) {
        m_error = QStringLiteral("No such file: %1").arg(shown);
        return Status::Unusable;
    }
    if (info.isDir()) {
        m_error = QStringLiteral("This is a folder, not a file: %1").arg(shown);
        return Status::Unusable;
    }
    if (const QString problem = specialFileProblem(path); !problem.isEmpty()) {
        m_error = problem;
        return Status::Unusable;
    }
    auto file = std::make_unique<QFile>(path);
    if (!info.isReadable() || !file->open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("Cannot read %1: %2").arg(shown, file->errorString());
        return Status::Unusable;
    }
    HeaderReadResult read =
        readImHeader(*file, file->size(), displayName.isEmpty() ? info.fileName() : displayName);
    if (!read.header)
        return Status::Refused;
    m_file = std::move(file);
    m_header = std::move(*read.header);
    m_frameSide = read.frameSide;
    m_messages = std::move(read.messages);
    m_completePlanes = wholeLayers(m_header);
    // A file without a complete layer is summarised like a header-only one, with no word of
    // where it ends.
    if (m_completePlanes >= 1 && m_completePlanes < m_header.planeCount)
        m_messages << QStringLiteral("The file ends after layer %1 of %2.")
                          .arg(m_completePlanes)
                          .arg(m_header.planeCount);
    return Status::Accepted;
}

void ImFile::close()
{
    m_file.reset();
    m_completePlanes = 0;
}

qint64 ImFile::readAt(qint64 offset, void* dst, qint64 n) const
{
    if (!m_file || offset < 0 || n <= 0)
        return 0;
#ifdef Q_OS_UNIX
    const int fd = m_file->handle();
    qint64 got = 0;
    while (got < n) {
        const ssize_t r =
            ::pread(fd, static_cast<char*>(dst) + got, size_t(n - got), off_t(offset + got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        got += r;
    }
    return got;
#else
    const std::lock_guard<std::mutex> lock(m_readLock);
    if (!m_file->seek(offset))
        return 0;
    qint64 got = 0;
    while (got < n) {
        const qint64 r = m_file->read(static_cast<char*>(dst) + got, n - got);
        if (r <= 0)
            break;
        got += r;
    }
    return got;
#endif
}

void ImFile::readRawRows(int species, int plane, int firstRow, int rows,
                         std::vector<uchar>& scratch) const
{
    const int side = m_frameSide.value_or(0);
    const qint64 rowBytes = qint64(side) * m_header.bytesPerSample;
    const qint64 bytes = rowBytes * rows;
    scratch.resize(size_t(bytes));
    const qint64 frame = framePosition(m_header, species, plane);
    const qint64 got = frame < 0 ? 0 : readAt(frame + rowBytes * firstRow, scratch.data(), bytes);
    // Whatever the file does not hold reads as zero.
    std::memset(scratch.data() + got, 0, size_t(bytes - got));
}

namespace {

// Hands each sample of rows of raw frame bytes to put(out sample, value), row by row: with
// Mirrored, each file row reversed so that its first sample is shown at the right. One loop per
// byte order and sample size, so that the compiler can vectorize it.
template <typename S, bool BigEndian, bool Mirrored, typename T, typename Put>
void decodeRows(const uchar* src, int side, int rows, T* out, Put put)
{
    for (int r = 0; r < rows; ++r) {
        const uchar* row = src + qsizetype(r) * side * qsizetype(sizeof(S));
        T* line = out + qsizetype(r) * side;
        for (int k = 0; k < side; ++k) {
            const uchar* at = row + qsizetype(k) * qsizetype(sizeof(S));
            put(line[Mirrored ? side - 1 - k : k],
                BigEndian ? qFromBigEndian<S>(at) : qFromLittleEndian<S>(at));
        }
    }
}

template <bool Mirrored, typename T, typename Put>
void decodeRows(const ImHeader& h, const uchar* src, int side, int rows, T* out, Put put)
{
    const bool big = h.byteOrder == QDataStream::BigEndian;
    if (h.bytesPerSample == 4)
        big ? decodeRows<quint32, true, Mirrored>(src, side, rows, out, put)
            : decodeRows<quint32, false, Mirrored>(src, side, rows, out, put);
    else
        big ? decodeRows<quint16, true, Mirrored>(src, side, rows, out, put)
            : decodeRows<quint16, false, Mirrored>(src, side, rows, out, put);
}

} // namespace

template <typename T>
void ImFile::readFrameRows(int species, int plane, int firstRow, int rows, T* out,
                           std::vector<uchar>& scratch) const
{
    const int side = m_frameSide.value_or(0);
    if (side <= 0 || rows <= 0)
        return;
    readRawRows(species, plane, firstRow, rows, scratch);
    decodeRows<true>(m_header, scratch.data(), side, rows, out, [](T& to, auto v) { to = T(v); });
}

template <typename Sum>
void ImFile::addFrameRows(int species, int plane, int firstRow, int rows, Sum* sums,
                          std::vector<uchar>& scratch) const
{
    const int side = m_frameSide.value_or(0);
    if (side <= 0 || rows <= 0)
        return;
    readRawRows(species, plane, firstRow, rows, scratch);
    decodeRows<false>(m_header, scratch.data(), side, rows, sums, [](Sum& to, auto v) { to += v; });
}

template <typename T> void ImFile::mirrorRows(T* values, int side, int rows)
{
    for (int r = 0; r < rows; ++r)
        std::reverse(values + qsizetype(r) * side, values + qsizetype(r + 1) * side);
}

template void ImFile::readFrameRows<quint16>(int, int, int, int, quint16*,
                                             std::vector<uchar>&) const;
template void ImFile::readFrameRows<quint32>(int, int, int, int, quint32*,
                                             std::vector<uchar>&) const;
template void ImFile::readFrameRows<double>(int, int, int, int, double*, std::vector<uchar>&) const;
template void ImFile::readFrameRows<float>(int, int, int, int, float*, std::vector<uchar>&) const;
template void ImFile::addFrameRows<quint32>(int, int, int, int, quint32*,
                                            std::vector<uchar>&) const;
template void ImFile::addFrameRows<quint64>(int, int, int, int, quint64*,
                                            std::vector<uchar>&) const;
template void ImFile::mirrorRows<quint32>(quint32*, int, int);
template void ImFile::mirrorRows<quint64>(quint64*, int, int);
