#pragma once

#include "core/result.h"

#include <QFile>
#include <QString>
#include <functional>

namespace isolumen {

class Progress;

// A file written complete or not at all, as QSaveFile writes one, but under a short random
// name beside its target (a long target name leaves no room for a suffix), so that any name the
// folder takes can be written. A new file's permissions follow the umask; a replaced file's are
// kept. commit() syncs the data to the disk and then renames it over the target. Owns the
// temporary file: destroyed before commit(), or the program ended by a signal, it removes it
// and leaves the target untouched.
class ReplacingFile
{
public:
    explicit ReplacingFile(const QString& path);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file, open for reading and writing, unbuffered so that a failed
    // write says why at once. False with errorString() when it cannot be made.
    bool open();
    // Where the data goes; the temporary file.
    QFile& device() { return m_file; }
    // Syncs and puts the file in place. False with errorString() on failure; nothing is left
    // behind then.
    bool commit();
    // Drops what was written.
    void cancel();
    // The system's reason for the last failure ("No space left on device"), of a write too.
    QString errorString() const { return m_error.isEmpty() ? m_file.errorString() : m_error; }

private:
    QString m_path;
    QString m_tempPath; // empty while no temporary file exists
    QFile m_file;
    QString m_error;
};

// Writes the file at path whole or not at all: `write` fills the device, or fails saying why. A
// failure (the system's reason, "No space left on device", where it has one) or a cancel through
// progress leaves what was at path as it was, and is the Failure returned.
Result<> writeReplacing(const QString& path,
                        const std::function<Result<>(QIODevice& device)>& write,
                        const Progress* progress = nullptr);

} // namespace isolumen
