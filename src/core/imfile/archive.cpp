#include "core/imfile/archive.h"

#include "core/progress.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMutex>
#include <QSet>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTemporaryFile>
#include <QtEndian>
#include <archive.h>
#include <archive_entry.h>
#include <vector>
#include <zlib.h>

namespace {

constexpr QLatin1String compressedSuffixes[] = {QLatin1String(".im.gz"), QLatin1String(".im.bz2"),
                                                QLatin1String(".im.xz"), QLatin1String(".im.zst"),
                                                QLatin1String(".zip")};

// Paths of the expanded copies alive in this process. Whatever is still listed when the
// program quits normally is deleted as the statics are destroyed.
class LiveFiles
{
public:
    ~LiveFiles()
    {
        for (const QString& path : std::as_const(m_paths))
            QFile::remove(path);
    }
    void add(const QString& path)
    {
        QMutexLocker lock(&m_mutex);
        m_paths.insert(path);
    }
    void remove(const QString& path)
    {
        QMutexLocker lock(&m_mutex);
        m_paths.remove(path);
    }

private:
    QMutex m_mutex;
    QSet<QString> m_paths;
};
Q_GLOBAL_STATIC(LiveFiles, liveFiles)

using ArchiveReader = std::unique_ptr<archive, decltype(&archive_read_free)>;

// A reader of the four compressed streams and of zips, opened on path and positioned on its
// first entry (the whole stream, for a compressed single file); null with libarchive's reason.
ArchiveReader openAt(const QString& path, archive_entry** entry, QString* error)
{
    ArchiveReader reader(archive_read_new(), &archive_read_free);
    archive* a = reader.get();
    if (!a) {
        *error = QStringLiteral("out of memory");
        return {nullptr, &archive_read_free};
    }
    archive_read_support_filter_gzip(a);
    archive_read_support_filter_bzip2(a);
    archive_read_support_filter_xz(a);
    archive_read_support_filter_zstd(a);
    archive_read_support_format_zip(a);
    // Data in none of the formats is taken as one unnamed entry, so that a compressed
    // single file can be read at all.
    archive_read_support_format_raw(a);
    if (archive_read_open_filename(a, QFile::encodeName(path).constData(), 1 << 16) != ARCHIVE_OK ||
        archive_read_next_header(a, entry) < ARCHIVE_WARN) {
        *error = QString::fromUtf8(archive_error_string(a));
        return {nullptr, &archive_read_free};
    }
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
std::variant<int, QString> findImEntry(archive* a, archive_entry* entry, const QString& name)
{
    QStringList images;
    QStringList others;
    int found = -1;
    for (int index = 0;; ++index) {
        const QString path = entryName(entry);
        if (archive_entry_filetype(entry) == AE_IFREG &&
            !path.startsWith(QLatin1String("__MACOSX/"))) {
            if (path.endsWith(QLatin1String(".im"), Qt::CaseInsensitive)) {
                images << path;
                found = index;
            } else {
                others << path;
            }
        }
        const int r = archive_read_next_header(a, &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r < ARCHIVE_WARN)
            return readFailure(name, QString::fromUtf8(archive_error_string(a)));
    }
    if (images.size() == 1)
        return found;
    if (images.isEmpty()) {
        return others.isEmpty()
                   ? QStringLiteral("%1 holds no .im file: the zip is empty.").arg(name)
                   : QStringLiteral("%1 holds no .im file, only: %2.").arg(name, listed(others));
    }
    return QStringLiteral("%1 holds several .im files (%2); it must hold exactly one.")
        .arg(name, listed(images));
}

// Where and how much the expansion may write, and what it reports.
struct Destination
{
    QString archivePath;
    QString archiveName;
    QString folder;
    qint64 budget = -1; // bytes that may be written; -1: unknown, the disk tells when it is full
    qint64 compressedSize = 0;
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
// unnoticed. The last 8 bytes of the file are the CRC-32 and the length modulo 2^32 of the
// data, little-endian, when the file is one member, as gzip and pigz write it.
bool gzipTrailerMatches(const QString& path, quint32 crc, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(file.size() - 8))
        return false;
    char trailer[8];
    return file.read(trailer, 8) == 8 && qFromLittleEndian<quint32>(trailer) == crc &&
           qFromLittleEndian<quint32>(trailer + 4) == quint32(size);
}

// Streams the current entry's data into out; empty on success, else the reason.
QString writeData(archive* a, QFile& out, const Destination& d, Progress* progress)
{
    std::vector<char> buffer(1 << 18);
    qint64 written = 0;
    qint64 reported = 0;
    uLong crc = crc32(0, nullptr, 0);
    for (;;) {
        if (isCancelled(progress))
            return QStringLiteral("Expanding %1 was cancelled.").arg(d.archiveName);
        const la_ssize_t n = archive_read_data(a, buffer.data(), buffer.size());
        if (n == 0)
            break;
        if (n < 0)
            return readFailure(d.archiveName, QString::fromUtf8(archive_error_string(a)));
        if (d.budget >= 0 && written + n > d.budget)
            return noSpace(
                d, QStringLiteral("it needs more than the %1 free").arg(sizeText(d.budget)));
        if (out.write(buffer.data(), n) != n)
            return writeFailure(d, out);
        if (d.gzip)
            crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()), uInt(n));
        written += n;
        const qint64 consumed = qMin(qint64(archive_filter_bytes(a, -1)), d.compressedSize);
        if (consumed > reported) {
            advance(progress, consumed - reported);
            reported = consumed;
        }
    }
    if (!out.flush())
        return writeFailure(d, out);
    if (d.gzip && !gzipTrailerMatches(d.archivePath, quint32(crc), written))
        return QStringLiteral("%1 is damaged: its data does not match the checksum stored with it "
                              "(or it is made of several gzip parts, which the viewer does not "
                              "read).")
            .arg(d.archiveName);
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
    // Room for the unique part within the usual 255-byte limit on names.
    return QDir(folder).filePath(name.left(100) + QStringLiteral("-XXXXXX.im"));
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

ExpandedFile::ExpandedFile(const QString& path) : m_path(path)
{
    if (LiveFiles* live = liveFiles())
        live->add(path);
}

ExpandedFile::~ExpandedFile()
{
    QFile::remove(m_path);
    if (LiveFiles* live = liveFiles())
        live->remove(m_path);
}

ExpandedFile::Result ExpandedFile::expand(const QString& archivePath, const QString& cacheFolder,
                                          Progress* progress, const AvailableBytes& availableBytes)
{
    const QFileInfo info(archivePath);
    Destination d{archivePath, info.fileName(), cacheFolder, -1, info.size()};
    const QString shown = QDir::toNativeSeparators(archivePath);
    if (archivePath.isEmpty() || !info.exists())
        return QStringLiteral("No such file: %1").arg(shown);
    if (info.isDir())
        return QStringLiteral("This is a folder, not a file: %1").arg(shown);
    if (QFile file(archivePath); !file.open(QIODevice::ReadOnly))
        return QStringLiteral("Cannot read %1: %2").arg(shown, file.errorString());
    if (!QDir().mkpath(cacheFolder))
        return QStringLiteral("Could not create the folder %1 to expand %2.")
            .arg(QDir::toNativeSeparators(cacheFolder), d.archiveName);
    if (availableBytes)
        d.budget = availableBytes(cacheFolder);
    if (progress)
        progress->setTotal(d.compressedSize);

    const QString unsupported = QStringLiteral("%1 is not a supported archive: its content is not "
                                               "gzip, bzip2, xz, zstd or zip data.")
                                    .arg(d.archiveName);
    if (d.compressedSize == 0)
        return unsupported;
    archive_entry* entry = nullptr;
    QString error;
    ArchiveReader reader = openAt(archivePath, &entry, &error);
    if (!reader)
        return readFailure(d.archiveName, error);
    archive* a = reader.get();
    if ((archive_format(a) & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_RAW) {
        if (archive_filter_code(a, 0) == ARCHIVE_FILTER_NONE)
            return unsupported;
        d.gzip = archive_filter_count(a) == 2 && archive_filter_code(a, 0) == ARCHIVE_FILTER_GZIP;
    } else {
        const std::variant<int, QString> found = findImEntry(a, entry, d.archiveName);
        if (const QString* why = std::get_if<QString>(&found))
            return *why;
        // The listing read past the entry; a fresh reader steps to it.
        reader = openAt(archivePath, &entry, &error);
        a = reader.get();
        for (int i = 0; a && i < std::get<int>(found); ++i) {
            if (archive_read_next_header(a, &entry) < ARCHIVE_WARN) {
                error = QString::fromUtf8(archive_error_string(a));
                a = nullptr;
            }
        }
        if (!a)
            return readFailure(d.archiveName, error);
        if (archive_entry_is_encrypted(entry))
            return QStringLiteral("%1 is password-protected, which the viewer cannot open.")
                .arg(d.archiveName);
    }
    // Zips record the expanded size. gzip's trailer holds it only modulo 2^32, and xz and
    // zstd, where they record it, leave it unread by libarchive: those stop when the disk is.
    if (archive_entry_size_is_set(entry) && d.budget >= 0 && archive_entry_size(entry) > d.budget)
        return noSpace(d, QStringLiteral("it needs %1, %2 are free")
                              .arg(sizeText(archive_entry_size(entry)), sizeText(d.budget)));

    QTemporaryFile out(copyTemplate(cacheFolder, d.archiveName));
    out.setAutoRemove(false);
    if (!out.open())
        return QStringLiteral("Could not create a file in %1 to expand %2: %3.")
            .arg(QDir::toNativeSeparators(cacheFolder), d.archiveName, out.errorString());
    std::unique_ptr<ExpandedFile> expanded(new ExpandedFile(out.fileName()));
    error = writeData(a, out, d, progress);
    expanded->m_size = out.size();
    out.close(); // before a failure deletes the file
    if (!error.isEmpty())
        return error;
    return expanded;
}
