#pragma once

#include "core/imfile/imheader.h"
#include "core/result.h"

#include <QFile>
#include <QStringList>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace isolumen {

// An open raw image file: the read-only file and its accepted header. The acquisition model
// holds one while a file is shown, and every command-line mode reads through the same class.
// The file is never written, locked or changed. Reads take an offset and are safe from several
// threads at once, so sums and alignment can read on all cores.
//
// A long depth profile is recorded as a chain of runs of the same field, one file each. Further
// files appended to the first make one sequence of layers: the first file's, then the second's,
// and so on. Every reader of frames goes through the layer numbers of that sequence; each frame
// is read from its own file, in place, and decoded by that file's header.
class ImFile
{
public:
    // One file of the sequence.
    struct Run
    {
        QString path;
        ImHeader header;
        int firstLayer = 1; // its first layer in the sequence, from 1
        int layers = 0;     // the layers it holds whole
    };

    // What a readable file turned out to be. A file that cannot be read at all (missing, a
    // folder, a device, unreadable) is a Failure saying which.
    enum class Status {
        Accepted, // a raw image file; header() holds its values
        Refused,  // readable, but not a raw image file
    };

    ImFile();
    ~ImFile();
    ImFile(const ImFile&) = delete;
    ImFile& operator=(const ImFile&) = delete;

    // Opens the file at path. displayName, when given, is the name the user sees in its place
    // (the compressed file a temporary file was expanded from).
    Result<Status> open(const QString& path, const QString& displayName = {});
    // Appends a further run of the same field: its layers follow those open. A Failure saying
    // why, with nothing changed, when its side, its number of species or one of its labels
    // differs from the first file's.
    Result<Status> append(const QString& path, const QString& displayName = {});
    void close();

    bool isOpen() const { return !m_runs.empty(); }
    // The first file's header; empty while none is open.
    const ImHeader& header() const;
    // Every file of the sequence, the first first.
    const std::vector<Run>& runs() const { return m_runs; }
    // The run (from 0) that holds a layer of the sequence (from 1).
    int runOf(int layer) const;
    // The widest sample of any run: the integer type a plane of their counts needs.
    int widestSample() const;
    // Side of the frames when the viewer can show them.
    std::optional<int> frameSide() const { return m_frameSide; }
    // Layers whose every frame lies wholly inside its file, at most its header's planes, of every
    // run together.
    int completePlanes() const { return m_completePlanes; }
    // Inconsistencies the reader found, in order, for the user.
    const QStringList& messages() const { return m_messages; }

    // Reads up to n bytes at offset of a run's file (from 0) into dst. Returns the bytes read:
    // fewer at the end of the file, 0 for an offset outside it. Safe from several threads at once.
    qint64 readAt(qint64 offset, void* dst, qint64 n, int run = 0) const;

    // Reads rows [firstRow, firstRow + rows) of the frame of a species in a layer of the
    // sequence (both from 1)
    // as counts in shown orientation: row by row, each file row mirrored so that its first
    // sample is shown at the right. out holds rows x side values. Bytes the file does not hold
    // read as 0. scratch is the caller's buffer for the raw bytes, reused between calls.
    template <typename T>
    void readFrameRows(int species, int plane, int firstRow, int rows, T* out,
                       std::vector<uchar>& scratch) const;
    // Adds the counts of the same rows to sums (rows x side) in one pass, each row in the file's
    // order: a caller adding up many layers mirrors the total once (mirrorRows), which is
    // cheaper than mirroring every layer.
    template <typename Sum>
    void addFrameRows(int species, int plane, int firstRow, int rows, Sum* sums,
                      std::vector<uchar>& scratch) const;
    // Mirrors each of `rows` rows of side values: file order to shown orientation.
    template <typename T> static void mirrorRows(T* values, int side, int rows);

private:
    struct Opened;
    Result<Status> openRun(const QString& path, const QString& displayName, Opened& opened);
    // Reads the raw rows into scratch; returns the run they come from.
    const Run& readRawRows(int species, int plane, int firstRow, int rows,
                           std::vector<uchar>& scratch) const;

    std::vector<std::unique_ptr<QFile>> m_files; // by run
    std::vector<Run> m_runs;
    std::optional<int> m_frameSide;
    int m_completePlanes = 0;
    QStringList m_messages;
    mutable std::mutex m_readLock; // only where positional reads are not available
};

} // namespace isolumen
