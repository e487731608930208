#pragma once
#include "core/result.h"

#include <QString>
#include <functional>
#include <memory>
#include <variant>

namespace isolumen {

class Progress;

// Names the viewer expands before reading: .im.gz, .im.bz2, .im.xz, .im.zst and .zip, in any
// letter case. The name only routes the file; expand() goes by the content.
bool isCompressedName(const QString& path);

// The folder expanded files go to: the user's cache folder.
QString expansionFolder();

// Free bytes for new files in a folder, -1 when unknown (then only the disk itself stops an
// expansion). Tests replace it to play a full disk.
using AvailableBytes = std::function<qint64(const QString& folder)>;
qint64 storageAvailableBytes(const QString& folder);

// Deletes the expanded copies in folder whose owner process has ended without deleting them
// (killed outright, or the machine stopped). A copy's name carries its owner's process id.
// Returns how many were deleted.
int removeOrphanedCopies(const QString& folder);

// A decompressed copy of a compressed acquisition, read in place of the archive while the
// acquisition is open. It owns the copy, a uniquely named file in the cache folder, and deletes
// it when destroyed; copies still alive when the program quits normally are deleted then, and
// on SIGTERM, SIGINT and SIGHUP through removeTemporaryFilesNow().
class ExpandedFile
{
public:
    // Decompresses archivePath (gzip, bzip2, xz or zstd data, or a zip holding exactly one .im)
    // into a new file in cacheFolder, streaming. Progress counts compressed bytes read and can
    // cancel. On failure or cancel returns the reason, naming the file, and leaves no file behind.
    static Result<std::unique_ptr<ExpandedFile>>
    expand(const QString& archivePath, const QString& cacheFolder, Progress* progress = nullptr,
           const AvailableBytes& availableBytes = storageAvailableBytes);

    ~ExpandedFile();
    ExpandedFile(const ExpandedFile&) = delete;
    ExpandedFile& operator=(const ExpandedFile&) = delete;

    QString path() const { return m_path; }
    qint64 size() const { return m_size; }

private:
    explicit ExpandedFile(const QString& path);

    QString m_path;
    qint64 m_size = 0;
};

// The file to read for a path the user gave: a compressed acquisition expanded into the
// expansion folder, any other file as it is.
struct ReadableFile
{
    QString path;
    // The compressed file's name, shown in place of the expanded copy's; empty when not expanded.
    QString displayName;
    // The expanded copy's owner, to hold as long as the file is open.
    std::shared_ptr<void> keepAlive;
};

// Whether readableFile() expands path: a compressed name of an existing file (anything else is
// read as it is, and the reader tells what is wrong with it).
bool needsExpanding(const QString& path);

// The file to read for path, expanded first when needsExpanding() (long work: progress counts
// and can cancel). On failure or cancel returns the reason, naming the file.
Result<ReadableFile> readableFile(const QString& path, Progress* progress = nullptr);

} // namespace isolumen
