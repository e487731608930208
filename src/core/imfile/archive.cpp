#include "core/imfile/archive.h"

#include "core/imfile/filetypes.h"
#include "core/imfile/imheader.h"
#include "core/progress.h"
#include "core/temporaryfiles.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTemporaryFile>
#include <QtEndian>
#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <csignal>
#include <limits>
#include <vector>
#include <zlib.h>

namespace isolumen {

namespace {

constexpr QLatin1String compressedSuffixes[] = {QLatin1String(".im.gz"), QLatin1String(".im.bz2"),
                                                QLatin1String(".im.xz"), QLatin1String(".im.zst"),
                                                QLatin1String(".zip")};

// The part of a copy's name after the archive's name: its owner's process id and a unique part.
const QRegularExpression copySuffix(QStringLiteral("-(\\d+)-[A-Za-z0-9]{6}\\.im$"));

bool processAlive(qint64 pid)
{
    return pid > 0 && pid <= std::numeric_limits<pid_t>::max() &&
           (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

using ArchiveReader = std::unique_ptr<archive, decltype(&archive_read_free)>;

void addStreamFilters(archive* a)
{
    archive_read_support_filter_gzip(a);
    archive_read_support_filter_bzip2(a);
    archive_read_support_filter_xz(a);
    archive_read_support_filter_zstd(a);
}

// A reader of the four compressed streams and of zips, opened on path and positioned on its
// first entry (the whole stream, for a compressed single file); or libarchive's reason.
Result<ArchiveReader> openAt(const QString& path, archive_entry** entry)
{
    ArchiveReader reader(archive_read_new(), &archive_read_free);
    archive* a = reader.get();
    if (!a)
        return Failure{QStringLiteral("out of memory")};
    addStreamFilters(a);
    archive_read_support_format_zip(a);
    // Data in none of the formats is taken as one unnamed entry, so that a compressed
    // single file can be read at all.
    archive_read_support_format_raw(a);
    if (archive_read_open_filename(a, QFile::encodeName(path).constData(), 1 << 16) != ARCHIVE_OK ||
        archive_read_next_header(a, entry) < ARCHIVE_WARN)
        return Failure{QString::fromUtf8(archive_error_string(a))};
    return reader;
}

// libarchive's reason for refusing data, told as truncation or corruption. The filters say
// "truncated" or, for xz, "no progress is possible" when the input runs out, and some say
// nothing at all when a trailer is cut off.
QString readFailure(const QString& name, const QString& detail)
{
    if (detail.isEmpty() || detail.contains(QLatin1String("truncat"), Qt::CaseInsensitive) ||
        detail.contains(QLatin1String("no progress is possible"), Qt::CaseInsensitive))
        return QStringLiteral("%1 ends early: the archive is incomplete (truncated).").arg(name);
    return QStringLiteral("%1 is damaged: its compressed data is corrupt (%2).").arg(name, detail);
}

QString sizeText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

QString entryName(archive_entry* entry)
{
    const char* utf8 = archive_entry_pathname_utf8(entry);
    return utf8 ? QString::fromUtf8(utf8) : QString::fromLocal8Bit(archive_entry_pathname(entry));
}

QString listed(const QStringList& names)
{
    constexpr int shown = 5;
    QString text = names.mid(0, shown).join(QLatin1String(", "));
    if (names.size() > shown)
        text += QStringLiteral(" and %1 more").arg(names.size() - shown);
    return text;
}

// Index of the one .im entry of the zip whose first entry `entry` is, or the reason there is not
// exactly one. Only files count: not folders or links, nor the resource forks macOS adds under
// __MACOSX/.
Result<int> findImEntry(archive* a, archive_entry* entry, const QString& name)
{
    QStringList images;
    QStringList others;
    QStringList special; // links, devices and the like: never read
    int found = -1;
    for (int index = 0;; ++index) {
        const QString path = entryName(entry);
        const auto type = archive_entry_filetype(entry);
        if (path.startsWith(QLatin1String("__MACOSX/")) || type == AE_IFDIR) {
            // resource forks and folders are no members of interest
        } else if (type != AE_IFREG) {
            special << path;
        } else if (path.endsWith(QLatin1String(".im"), Qt::CaseInsensitive)) {
            images << path;
            found = index;
        } else {
            others << path;
        }
        const int r = archive_read_next_header(a, &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r < ARCHIVE_WARN)
            return Failure{readFailure(name, QString::fromUtf8(archive_error_string(a)))};
    }
    if (images.size() == 1)
        return found;
    if (images.isEmpty() && !special.isEmpty())
        return Failure{QStringLiteral("%1 holds no .im file that can be read: %2 %3.")
                           .arg(name, listed(special),
                                special.size() == 1 ? QStringLiteral("is not a regular file")
                                                    : QStringLiteral("are not regular files"))};
    if (images.isEmpty()) {
        return Failure{
            others.isEmpty()
                ? QStringLiteral("%1 holds no .im file: the zip is empty.").arg(name)
                : QStringLiteral("%1 holds no .im file, only: %2.").arg(name, listed(others))};
    }
    return Failure{QStringLiteral("%1 holds several .im files (%2); it must hold exactly one.")
                       .arg(name, listed(images))};
}

// Where and how much the expansion may write, and what it reports.
struct Destination
{
    QString archivePath;
    QString archiveName;
    QString folder;
    qint64 budget = -1; // bytes that may be written; -1: unknown, the disk tells when it is full
    qint64 compressedSize = 0;
    bool raw = false;  // one compressed stream, not a zip
    bool gzip = false; // a single gzip stream, whose trailer is checked here
};

QString noSpace(const Destination& d, const QString& why)
{
    return QStringLiteral("Not enough space in %1 to expand %2: %3.")
        .arg(QDir::toNativeSeparators(d.folder), d.archiveName, why);
}

QString writeFailure(const Destination& d, const QFile& out)
{
    if (out.error() == QFileDevice::ResourceError)
        return noSpace(d, out.errorString());
    return QStringLiteral("Could not write the expanded copy of %1 in %2: %3.")
        .arg(d.archiveName, QDir::toNativeSeparators(d.folder), out.errorString());
}

// libarchive reads a gzip member's trailer without checking it, so damaged data would pass
// unnoticed. The 8 bytes before `end`, where the stream ends, are the CRC-32 and the length
// modulo 2^32 of the data, little-endian, when the file is one member, as gzip and pigz write it.
bool gzipTrailerMatches(const QString& path, qint64 end, quint32 crc, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || end < 8 || !file.seek(end - 8))
        return false;
    char trailer[8];
    return file.read(trailer, 8) == 8 && qFromLittleEndian<quint32>(trailer) == crc &&
           qFromLittleEndian<quint32>(trailer + 4) == quint32(size);
}

// Whether the file holds anything but zero bytes from `from` on: gzip itself accepts zero
// padding after its stream (as tape blocks leave it), and nothing else.
bool dataAfter(const QString& path, qint64 from, bool zerosAllowed)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(from))
        return true;
    if (!zerosAllowed)
        return !file.atEnd();
    std::vector<char> buffer(1 << 16);
    for (qint64 n = 0; (n = file.read(buffer.data(), qint64(buffer.size()))) > 0;) {
        if (std::any_of(buffer.begin(), buffer.begin() + n, [](char c) { return c != 0; }))
            return true;
    }
    return false;
}

// Bytes of output after which the start of the data must look like an acquisition, and bytes
// beyond what its header implies that are still taken: a bomb is refused before it fills a disk.
constexpr qint64 kProbeBytes = 64 * 1024;
constexpr qint64 kSizeSlack = 1024 * 1024;

// The most bytes the expansion of an acquisition that starts with `head` may give, or the reason
// it is not one. Absent when its header's counts do not fit 64 bits: then only the disk limits.
Result<std::optional<qint64>> sizeLimit(const QByteArray& head, const Destination& d)
{
    QBuffer buffer;
    buffer.setData(head);
    buffer.open(QIODevice::ReadOnly);
    const HeaderReadResult read = readImHeader(buffer, head.size(), d.archiveName);
    if (!read.header)
        return Failure{
            QStringLiteral("%1 is not an image file: its expanded data does not start like an "
                           "acquisition.")
                .arg(d.archiveName)};
    const ImHeader& h = *read.header;
    const std::optional<qint64> data =
        product({qint64(h.planeCount), qint64(h.speciesCount), h.frameSize});
    if (!data || *data < 0 ||
        *data > std::numeric_limits<qint64>::max() - kSizeSlack - h.headerSize)
        return std::optional<qint64>();
    return std::optional<qint64>(h.headerSize + *data + kSizeSlack);
}

// Checks each piece of the expansion's output before it is written: the start once it is known,
// then the size against what the start implies.
class OutputCheck
{
public:
    explicit OutputCheck(const Destination& d) : m_d(d) {}

    // Empty when the n bytes at data, following those seen so far, may be written.
    QString take(const char* data, qint64 n)
    {
        if (!m_checked && m_head.size() < kProbeBytes)
            m_head.append(data, qsizetype(std::min(n, kProbeBytes - m_head.size())));
        m_seen += n;
        if (!m_checked && m_head.size() >= kProbeBytes) {
            if (QString why = checkHead(); !why.isEmpty())
                return why;
        }
        if (m_limit && m_seen > *m_limit)
            return QStringLiteral("%1 is not an image file: it expands to more than the %2 its "
                                  "header implies.")
                .arg(m_d.archiveName, sizeText(*m_limit - kSizeSlack));
        return {};
    }
    // At the end: a start shorter than the probe is checked now.
    QString finish() { return m_checked ? QString() : checkHead(); }

private:
    QString checkHead()
    {
        m_checked = true;
        Result<std::optional<qint64>> limit = sizeLimit(m_head, m_d);
        if (!limit)
            return limit.error().message;
        m_limit = *limit;
        m_head.clear();
        return {};
    }

    const Destination& m_d;
    QByteArray m_head;
    qint64 m_seen = 0;
    bool m_checked = false;
    std::optional<qint64> m_limit;
};

// The first bytes of a file, as libarchive reads them.
struct FilePrefix
{
    QFile file;
    qint64 left = 0;
    std::vector<char> buffer = std::vector<char>(1 << 16);
};

la_ssize_t readPrefix(archive*, void* data, const void** block)
{
    auto* prefix = static_cast<FilePrefix*>(data);
    const qint64 n =
        prefix->file.read(prefix->buffer.data(), std::min<qint64>(prefix->left, 1 << 16));
    if (n < 0)
        return ARCHIVE_FATAL;
    prefix->left -= n;
    *block = prefix->buffer.data();
    return la_ssize_t(n);
}

// Whether the first `length` bytes of the file are a whole compressed stream by themselves.
bool wholeStreamIn(const QString& path, qint64 length)
{
    FilePrefix prefix; // declared first: it outlives the reader
    prefix.file.setFileName(path);
    prefix.left = length;
    ArchiveReader reader(archive_read_new(), &archive_read_free);
    archive* a = reader.get();
    archive_entry* entry = nullptr;
    if (!a || !prefix.file.open(QIODevice::ReadOnly) || length <= 0)
        return false;
    addStreamFilters(a);
    archive_read_support_format_raw(a);
    if (archive_read_open(a, &prefix, nullptr, readPrefix, nullptr) != ARCHIVE_OK ||
        archive_read_next_header(a, &entry) < ARCHIVE_WARN)
        return false;
    std::vector<char> buffer(1 << 18);
    for (;;) {
        const la_ssize_t n = archive_read_data(a, buffer.data(), buffer.size());
        if (n <= 0)
            return n == 0;
    }
}

// The end of the last xz stream footer in bytes, which start at file offset `at`, or -1. A
// footer is 12 bytes: the CRC-32 of the next 6, the index size, the flags and "YZ".
qint64 lastXzFooterEnd(const QByteArray& bytes, qint64 at)
{
    constexpr int footerSize = 12;
    for (qsizetype i = bytes.lastIndexOf("YZ"); i >= footerSize - 2;
         i = bytes.lastIndexOf("YZ", i - 1)) {
        const char* footer = bytes.constData() + i + 2 - footerSize;
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(footer + 4), 6);
        if (qFromLittleEndian<quint32>(footer) == quint32(crc))
            return at + i + 2;
        if (i == 0)
            break;
    }
    return -1;
}

// Whether the stream whose decompression failed near `consumed` bytes ended whole before the
// failure: xz and zstd fail on data that follows their end. libarchive counts the bytes the
// decoder took only roughly then, so the end is sought near: a zstd decoder stops right at it,
// an xz stream ends with a footer.
bool endsEarlierWhole(const Destination& d, qint64 consumed)
{
    constexpr qint64 nearby = 1 << 17;
    QFile file(d.archivePath);
    const qint64 from = std::max<qint64>(0, consumed - nearby);
    if (consumed <= 0 || !file.open(QIODevice::ReadOnly) || !file.seek(from))
        return false;
    const qint64 footerEnd = lastXzFooterEnd(file.read(2 * nearby), from);
    if (footerEnd > 0)
        return footerEnd < d.compressedSize && wholeStreamIn(d.archivePath, footerEnd);
    return consumed < d.compressedSize && wholeStreamIn(d.archivePath, consumed);
}

QString dataAfterEnd(const Destination& d)
{
    return QStringLiteral("%1 is damaged: other data follows the end of its compressed data.")
        .arg(d.archiveName);
}

// After the end of the stream: its trailer (gzip) and what follows it in the file.
Result<> checkEnd(archive* a, const Destination& d, quint32 crc, qint64 written)
{
    // The bytes the decompressor took from the file: where its stream ended.
    const qint64 end = archive_filter_bytes(a, -1);
    if (d.gzip && !gzipTrailerMatches(d.archivePath, end, crc, written))
        return Failure{
            QStringLiteral("%1 is damaged: its data does not match the checksum stored with it "
                           "(or it is made of several gzip parts, which the viewer does not "
                           "read).")
                .arg(d.archiveName)};
    if (end < d.compressedSize && dataAfter(d.archivePath, end, d.gzip))
        return Failure{dataAfterEnd(d)};
    return {};
}

// Damage that the next megabyte of output shows, read and dropped: a block format (bzip2)
// gives a damaged block's bytes before its checksum says they are wrong, and damage is the truer
// reason to give than what the bytes look like.
Result<> damageSoon(archive* a, const Destination& d, std::vector<char>& buffer)
{
    for (qint64 read = 0; read < kSizeSlack;) {
        const la_ssize_t n = archive_read_data(a, buffer.data(), buffer.size());
        if (n < 0)
            return Failure{readFailure(d.archiveName, QString::fromUtf8(archive_error_string(a)))};
        if (n == 0)
            break;
        read += n;
    }
    return {};
}

// Streams the current entry's data into out.
Result<> writeData(archive* a, QFile& out, const Destination& d, Progress* progress)
{
    std::vector<char> buffer(1 << 18);
    OutputCheck check(d);
    qint64 written = 0;
    qint64 reported = 0;
    uLong crc = crc32(0, nullptr, 0);
    for (;;) {
        if (isCancelled(progress))
            return Failure{QStringLiteral("Expanding %1 was cancelled.").arg(d.archiveName)};
        const la_ssize_t n = archive_read_data(a, buffer.data(), buffer.size());
        if (n == 0)
            break;
        if (n < 0 && d.raw && endsEarlierWhole(d, archive_filter_bytes(a, -1)))
            return Failure{dataAfterEnd(d)}; // xz and zstd fail on it; the others stop before it
        if (n < 0)
            return Failure{readFailure(d.archiveName, QString::fromUtf8(archive_error_string(a)))};
        if (QString why = check.take(buffer.data(), n); !why.isEmpty()) {
            if (Result<> damage = damageSoon(a, d, buffer); !damage)
                return damage;
            return Failure{why};
        }
        if (d.budget >= 0 && written + n > d.budget)
            return Failure{noSpace(
                d, QStringLiteral("it needs more than the %1 free").arg(sizeText(d.budget)))};
        if (out.write(buffer.data(), n) != n)
            return Failure{writeFailure(d, out)};
        if (d.gzip)
            crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()), uInt(n));
        written += n;
        const qint64 consumed = qMin(qint64(archive_filter_bytes(a, -1)), d.compressedSize);
        if (consumed > reported) {
            advance(progress, consumed - reported);
            reported = consumed;
        }
    }
    if (QString why = check.finish(); !why.isEmpty())
        return Failure{why};
    if (!out.flush())
        return Failure{writeFailure(d, out)};
    if (d.raw) {
        if (Result<> end = checkEnd(a, d, quint32(crc), written); !end)
            return end;
    }
    advance(progress, d.compressedSize - reported);
    return {};
}

// The expanded copy's name template: the archive's name without its compression suffix.
QString copyTemplate(const QString& folder, QString name)
{
    for (const QLatin1String suffix : compressedSuffixes) {
        if (name.endsWith(suffix, Qt::CaseInsensitive)) {
            name.chop(suffix.size());
            break;
        }
    }
    if (name.isEmpty())
        name = QStringLiteral("expanded");
    // Room for the owner's id and the unique part within the usual 255-byte limit on names.
    return QDir(folder).filePath(
        name.left(100) + QStringLiteral("-%1-XXXXXX.im").arg(QCoreApplication::applicationPid()));
}

// Why the file at path cannot be read as an archive at all, or nothing.
QString archiveFileProblem(const QString& path, const QFileInfo& info)
{
    const QString shown = QDir::toNativeSeparators(path);
    if (path.isEmpty() || !info.exists())
        return QStringLiteral("No such file: %1").arg(shown);
    if (info.isDir())
        return QStringLiteral("This is a folder, not a file: %1").arg(shown);
    if (const QString problem = specialFileProblem(path); !problem.isEmpty())
        return problem;
    if (QFile file(path); !file.open(QIODevice::ReadOnly))
        return QStringLiteral("Cannot read %1: %2").arg(shown, file.errorString());
    return {};
}

QString unsupportedArchive(const QString& name)
{
    return QStringLiteral("%1 is not a supported archive: its content is not gzip, bzip2, xz, "
                          "zstd or zip data.")
        .arg(name);
}

// Opens the archive at the start of its .im data: the one stream of a compressed file, or the
// .im entry of an archive, and says in d which.
Result<> openImData(Destination& d, ArchiveReader& reader, archive_entry** entry)
{
    Result<ArchiveReader> opened = openAt(d.archivePath, entry);
    if (!opened)
        return Failure{readFailure(d.archiveName, opened.error().message)};
    reader = std::move(*opened);
    archive* a = reader.get();
    if ((archive_format(a) & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_RAW) {
        if (archive_filter_code(a, 0) == ARCHIVE_FILTER_NONE)
            return Failure{unsupportedArchive(d.archiveName)};
        d.raw = true;
        d.gzip = archive_filter_count(a) == 2 && archive_filter_code(a, 0) == ARCHIVE_FILTER_GZIP;
        return {};
    }
    const Result<int> found = findImEntry(a, *entry, d.archiveName);
    if (!found)
        return found.error();
    // The listing read past the entry; a fresh reader steps to it.
    Result<ArchiveReader> again = openAt(d.archivePath, entry);
    if (!again)
        return Failure{readFailure(d.archiveName, again.error().message)};
    reader = std::move(*again);
    a = reader.get();
    for (int i = 0; i < *found; ++i) {
        if (archive_read_next_header(a, entry) < ARCHIVE_WARN)
            return Failure{readFailure(d.archiveName, QString::fromUtf8(archive_error_string(a)))};
    }
    if (archive_entry_is_encrypted(*entry))
        return Failure{QStringLiteral("%1 is password-protected, which the viewer cannot open.")
                           .arg(d.archiveName)};
    return {};
}

} // namespace

bool isCompressedName(const QString& path)
{
    for (const QLatin1String suffix : compressedSuffixes) {
        if (path.endsWith(suffix, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QString expansionFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
}

qint64 storageAvailableBytes(const QString& folder)
{
    const QStorageInfo storage(folder);
    return storage.isValid() ? storage.bytesAvailable() : -1;
}

int removeOrphanedCopies(const QString& folder)
{
    int removed = 0;
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("*.im")}, QDir::Files)) {
        const QRegularExpressionMatch m = copySuffix.match(name);
        if (m.hasMatch() && !processAlive(m.captured(1).toLongLong()) &&
            QFile::remove(dir.filePath(name)))
            ++removed;
    }
    return removed;
}

ExpandedFile::ExpandedFile(const QString& path) : m_path(path)
{
    holdTemporaryFile(path);
}

ExpandedFile::~ExpandedFile()
{
    releaseTemporaryFile(m_path);
    QFile::remove(m_path);
}

Result<std::unique_ptr<ExpandedFile>> ExpandedFile::expand(const QString& archivePath,
                                                           const QString& cacheFolder,
                                                           Progress* progress,
                                                           const AvailableBytes& availableBytes)
{
    const QFileInfo info(archivePath);
    Destination d{archivePath, info.fileName(), cacheFolder, -1, info.size()};
    if (QString problem = archiveFileProblem(archivePath, info); !problem.isEmpty())
        return Failure{problem};
    if (!QDir().mkpath(cacheFolder))
        return Failure{QStringLiteral("Could not create the folder %1 to expand %2.")
                           .arg(QDir::toNativeSeparators(cacheFolder), d.archiveName)};
    if (availableBytes)
        d.budget = availableBytes(cacheFolder);
    if (progress)
        progress->setTotal(d.compressedSize);

    if (d.compressedSize == 0)
        return Failure{unsupportedArchive(d.archiveName)};
    archive_entry* entry = nullptr;
    ArchiveReader reader(nullptr, &archive_read_free);
    if (Result<> opened = openImData(d, reader, &entry); !opened)
        return opened.error();
    // Zips record the expanded size. gzip's trailer holds it only modulo 2^32, and xz and
    // zstd, where they record it, leave it unread by libarchive: those stop when the disk is.
    if (archive_entry_size_is_set(entry) && d.budget >= 0 && archive_entry_size(entry) > d.budget)
        return Failure{
            noSpace(d, QStringLiteral("it needs %1, %2 are free")
                           .arg(sizeText(archive_entry_size(entry)), sizeText(d.budget)))};

    QTemporaryFile out(copyTemplate(cacheFolder, d.archiveName));
    out.setAutoRemove(false);
    if (!out.open())
        return Failure{
            QStringLiteral("Could not create a file in %1 to expand %2: %3.")
                .arg(QDir::toNativeSeparators(cacheFolder), d.archiveName, out.errorString())};
    std::unique_ptr<ExpandedFile> expanded(new ExpandedFile(out.fileName()));
    const Result<> written = writeData(reader.get(), out, d, progress);
    expanded->m_size = out.size();
    out.close(); // before a failure deletes the file
    if (!written)
        return written.error();
    return expanded;
}

bool needsExpanding(const QString& path)
{
    return isCompressedName(path) && QFileInfo(path).isFile();
}

Result<ReadableFile> readableFile(const QString& path, Progress* progress)
{
    if (!needsExpanding(path))
        return ReadableFile{path, {}, {}};
    Result<std::unique_ptr<ExpandedFile>> expanded =
        ExpandedFile::expand(path, expansionFolder(), progress);
    if (!expanded)
        return expanded.error();
    std::shared_ptr<ExpandedFile> file = std::move(*expanded);
    const QString expandedPath = file->path();
    return ReadableFile{expandedPath, QFileInfo(path).fileName(), std::move(file)};
}

} // namespace isolumen
