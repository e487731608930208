#include "core/io/replacingfile.h"

#include "core/progress.h"
#include "core/temporaryfiles.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace isolumen {

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

ReplacingFile::ReplacingFile(const QString& path) : m_path(path) {}

ReplacingFile::~ReplacingFile()
{
    cancel();
}

bool ReplacingFile::open()
{
    constexpr int attempts = 16;
    constexpr int nameDigits = 8;
    const QString folder = QFileInfo(m_path).absolutePath();
    struct stat replaced = {};
    const bool replaces = ::stat(QFile::encodeName(m_path).constData(), &replaced) == 0;
    for (int i = 0; i < attempts; ++i) {
        const QString name =
            QStringLiteral("%1/.isolumen-%2.tmp")
                .arg(folder)
                .arg(QRandomGenerator::global()->generate(), nameDigits, 16, QLatin1Char('0'));
        // 0666: the umask decides, as for any new file.
        const int fd = ::open(QFile::encodeName(name).constData(),
                              O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0) {
            m_error = systemError();
            return false;
        }
        m_tempPath = name;
        holdTemporaryFile(name);
        if (replaces && S_ISREG(replaced.st_mode))
            ::fchmod(fd, replaced.st_mode & 07777);
        m_file.setFileName(name);
        if (!m_file.open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered,
                         QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            m_error = m_file.errorString();
            cancel();
            return false;
        }
        return true;
    }
    m_error = QStringLiteral("no free name for a temporary file");
    return false;
}

bool ReplacingFile::commit()
{
    if (m_tempPath.isEmpty() || !m_file.isOpen()) {
        m_error = QStringLiteral("the file is not open");
        return false;
    }
    // On the disk before it takes the name: a crash then leaves the old file or the new one.
    if (::fsync(m_file.handle()) != 0) {
        m_error = systemError();
        cancel();
        return false;
    }
    m_file.close();
    if (std::rename(QFile::encodeName(m_tempPath).constData(),
                    QFile::encodeName(m_path).constData()) != 0) {
        m_error = systemError();
        cancel();
        return false;
    }
    releaseTemporaryFile(std::exchange(m_tempPath, QString()));
    return true;
}

void ReplacingFile::cancel()
{
    m_file.close();
    if (m_tempPath.isEmpty())
        return;
    releaseTemporaryFile(m_tempPath);
    ::unlink(QFile::encodeName(std::exchange(m_tempPath, QString())).constData());
}

Result<> writeReplacing(const QString& path,
                        const std::function<Result<>(QIODevice& device)>& write,
                        const Progress* progress)
{
    ReplacingFile file(path);
    if (!file.open())
        return Failure{file.errorString()};
    const Result<> written = write(file.device());
    if (!written || file.device().error() != QFileDevice::NoError) {
        file.cancel();
        if (file.device().error() != QFileDevice::NoError)
            return Failure{file.device().errorString()};
        return written;
    }
    if (isCancelled(progress)) {
        file.cancel();
        return Failure{QStringLiteral("cancelled.")};
    }
    if (!file.commit())
        return Failure{file.errorString()};
    return {};
}

} // namespace isolumen
