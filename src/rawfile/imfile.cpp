#include "rawfile/imfile.h"

#include <QDir>
#include <QFileInfo>

ImFile::Status ImFile::open(const QString& path)
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
    auto file = std::make_unique<QFile>(path);
    if (!info.isReadable() || !file->open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("Cannot read %1: %2").arg(shown, file->errorString());
        return Status::Unusable;
    }
    HeaderReadResult read = readImHeader(*file, file->size(), info.fileName());
    if (!read.header)
        return Status::Refused;
    m_file = std::move(file);
    m_header = std::move(*read.header);
    m_frameSide = read.frameSide;
    m_messages = std::move(read.messages);
    return Status::Accepted;
}

void ImFile::close()
{
    m_file.reset();
}
