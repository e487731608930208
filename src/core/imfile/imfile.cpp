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

namespace isolumen {

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

// A file read and accepted, before it joins the sequence.
struct ImFile::Opened
{
    std::unique_ptr<QFile> file;
    HeaderReadResult read;
};

Result<ImFile::Status> ImFile::openRun(const QString& path, const QString& displayName,
                                       Opened& opened)
{
    const QFileInfo info(path);
    const QString shown = QDir::toNativeSeparators(path);
    if (path.isEmpty() || !info.exists())
        return Failure{QStringLiteral("No such file: %1").arg(shown)};
    if (info.isDir())
        return Failure{QStringLiteral("This is a folder, not a file: %1").arg(shown)};
    if (const QString problem = specialFileProblem(path); !problem.isEmpty())
        return Failure{problem};
    opened.file = std::make_unique<QFile>(path);
    if (!info.isReadable() || !opened.file->open(QIODevice::ReadOnly))
        return Failure{QStringLiteral("Cannot read %1: %2").arg(shown, opened.file->errorString())};
    opened.read = readImHeader(*opened.file, opened.file->size(),
                               displayName.isEmpty() ? info.fileName() : displayName);
    return opened.read.header ? Status::Accepted : Status::Refused;
}

Result<ImFile::Status> ImFile::open(const QString& path, const QString& displayName)
{
    close();
    Opened opened;
    const Result<Status> status = openRun(path, displayName, opened);
    if (status != Status::Accepted)
        return status;
    Run run{path, std::move(*opened.read.header), 1, 0};
    run.layers = wholeLayers(run.header);
    m_frameSide = opened.read.frameSide;
    m_messages = std::move(opened.read.messages);
    m_completePlanes = run.layers;
    // A file without a complete layer is summarised like a header-only one, with no word of
    // where it ends.
    if (run.layers >= 1 && run.layers < run.header.planeCount)
        m_messages << QStringLiteral("The file ends after layer %1 of %2.")
                          .arg(run.layers)
                          .arg(run.header.planeCount);
    m_files.push_back(std::move(opened.file));
    m_runs.push_back(std::move(run));
    return Status::Accepted;
}

namespace {

// What keeps a file from following the first in one sequence of layers; empty when nothing.
QString chainMismatch(const ImHeader& first, const ImHeader& next)
{
    const QString refused =
        QStringLiteral("%1 cannot be appended to %2: ").arg(next.fileName, first.fileName);
    if (next.pixelWidth != first.pixelWidth || next.pixelHeight != first.pixelHeight)
        return refused + QStringLiteral("its side differs (%1 x %2 pixels, not %3 x %4).")
                             .arg(next.pixelWidth)
                             .arg(next.pixelHeight)
                             .arg(first.pixelWidth)
                             .arg(first.pixelHeight);
    if (next.species.size() != first.species.size())
        return refused + QStringLiteral("its number of species differs (%1, not %2).")
                             .arg(next.species.size())
                             .arg(first.species.size());
    for (int i = 0; i < first.species.size(); ++i) {
        if (next.species[i] != first.species[i])
            return refused + QStringLiteral("its label %1 differs (%2, not %3).")
                                 .arg(i + 1)
                                 .arg(next.species[i], first.species[i]);
    }
    return {};
}

} // namespace

Result<ImFile::Status> ImFile::append(const QString& path, const QString& displayName)
{
    if (!isOpen())
        return Failure{QStringLiteral("No file is open to append %1 to.").arg(path)};
    Opened opened;
    const Result<Status> status = openRun(path, displayName, opened);
    if (status != Status::Accepted)
        return status;
    Run run{path, std::move(*opened.read.header), m_completePlanes + 1, 0};
    if (const QString mismatch = chainMismatch(header(), run.header); !mismatch.isEmpty())
        return Failure{mismatch};
    run.layers = wholeLayers(run.header);
    for (const QString& m : opened.read.messages)
        m_messages << QStringLiteral("%1: %2").arg(run.header.fileName, m);
    if (run.layers < run.header.planeCount)
        m_messages << QStringLiteral("%1 ends after layer %2 of %3.")
                          .arg(run.header.fileName)
                          .arg(run.layers)
                          .arg(run.header.planeCount);
    m_completePlanes += run.layers;
    m_files.push_back(std::move(opened.file));
    m_runs.push_back(std::move(run));
    return Status::Accepted;
}

void ImFile::close()
{
    m_files.clear();
    m_runs.clear();
    m_completePlanes = 0;
}

const ImHeader& ImFile::header() const
{
    static const ImHeader none;
    return m_runs.empty() ? none : m_runs.front().header;
}

int ImFile::runOf(int layer) const
{
    // The last run that starts at or before the layer.
    const auto after = std::upper_bound(m_runs.begin(), m_runs.end(), layer,
                                        [](int l, const Run& run) { return l < run.firstLayer; });
    return std::max(0, int(after - m_runs.begin()) - 1);
}

int ImFile::widestSample() const
{
    int widest = 0;
    for (const Run& run : m_runs)
        widest = std::max(widest, run.header.bytesPerSample);
    return widest;
}

qint64 ImFile::readAt(qint64 offset, void* dst, qint64 n, int run) const
{
    if (run < 0 || run >= int(m_files.size()) || offset < 0 || n <= 0)
        return 0;
    QFile& file = *m_files[size_t(run)];
#ifdef Q_OS_UNIX
    const int fd = file.handle();
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
    if (!file.seek(offset))
        return 0;
    qint64 got = 0;
    while (got < n) {
        const qint64 r = file.read(static_cast<char*>(dst) + got, n - got);
        if (r <= 0)
            break;
        got += r;
    }
    return got;
#endif
}

const ImFile::Run& ImFile::readRawRows(int species, int plane, int firstRow, int rows,
                                       std::vector<uchar>& scratch) const
{
    const int index = runOf(plane);
    const Run& run = m_runs[size_t(index)];
    const int side = m_frameSide.value_or(0);
    const qint64 rowBytes = qint64(side) * run.header.bytesPerSample;
    const qint64 bytes = rowBytes * rows;
    scratch.resize(size_t(bytes));
    const qint64 frame = framePosition(run.header, species, plane - run.firstLayer + 1);
    const qint64 got =
        frame < 0 ? 0 : readAt(frame + rowBytes * firstRow, scratch.data(), bytes, index);
    // Whatever the file does not hold reads as zero.
    std::memset(scratch.data() + got, 0, size_t(bytes - got));
    return run;
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
    const Run& run = readRawRows(species, plane, firstRow, rows, scratch);
    decodeRows<true>(run.header, scratch.data(), side, rows, out, [](T& to, auto v) { to = T(v); });
}

template <typename Sum>
void ImFile::addFrameRows(int species, int plane, int firstRow, int rows, Sum* sums,
                          std::vector<uchar>& scratch) const
{
    const int side = m_frameSide.value_or(0);
    if (side <= 0 || rows <= 0)
        return;
    const Run& run = readRawRows(species, plane, firstRow, rows, scratch);
    decodeRows<false>(run.header, scratch.data(), side, rows, sums,
                      [](Sum& to, auto v) { to += v; });
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

} // namespace isolumen
