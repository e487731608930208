#pragma once

#include "rawfile/imheader.h"

#include <QFile>
#include <QStringList>
#include <memory>
#include <optional>

// An open raw image file: the read-only stream and its accepted header. The main window holds
// one while a file is shown; the command-line modes use the same class, so every route reads a
// file the same way. The file is never written, locked or changed.
class ImFile
{
public:
    enum class Status {
        Accepted, // a raw image file; header() holds its values
        Refused,  // readable, but not a raw image file
        Unusable, // missing, a folder, or not readable; errorString() says which
    };

    Status open(const QString& path);
    void close();

    bool isOpen() const { return m_file != nullptr; }
    const ImHeader& header() const { return m_header; }
    // Side of the frames when the viewer can show them.
    std::optional<int> frameSide() const { return m_frameSide; }
    // Inconsistencies the reader found, in order.
    const QStringList& messages() const { return m_messages; }
    QString errorString() const { return m_error; }
    // The stream planes are read through; null while no file is open.
    QFile* stream() const { return m_file.get(); }

private:
    std::unique_ptr<QFile> m_file;
    ImHeader m_header;
    std::optional<int> m_frameSide;
    QStringList m_messages;
    QString m_error;
};
