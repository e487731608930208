#include "core/imfile/filetypes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <sys/stat.h>

namespace isolumen {

namespace {

const QStringList& suffixes()
{
    static const QStringList list = {
        QStringLiteral(".im"),    QStringLiteral(".im.gz"),  QStringLiteral(".im.bz2"),
        QStringLiteral(".im.xz"), QStringLiteral(".im.zst"), QStringLiteral(".zip"),
    };
    return list;
}

} // namespace

bool isRawImageName(const QString& path)
{
    for (const QString& suffix : suffixes()) {
        if (path.endsWith(suffix, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QString rawImageDialogFilter()
{
    QStringList patterns;
    for (const QString& suffix : suffixes())
        patterns << QLatin1Char('*') + suffix;
    return QStringLiteral("image/NanoSIMS (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

QString specialFileProblem(const QString& path)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    const char* what = S_ISFIFO(info.st_mode)                           ? "a named pipe"
                       : S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) ? "a device"
                       : S_ISSOCK(info.st_mode)                         ? "a socket"
                                                                        : nullptr;
    if (!what)
        return {};
    return QStringLiteral("Cannot read %1: it is %2, not a regular file.")
        .arg(QDir::toNativeSeparators(path), QLatin1String(what));
}

QStringList chainedFiles(const QString& argument)
{
    const QChar plus(u'+');
    if (QFileInfo::exists(argument) || !argument.contains(plus))
        return {argument};
    const QStringList pieces = argument.split(plus);
    QStringList files;
    for (qsizetype first = 0; first < pieces.size();) {
        qsizetype end = pieces.size();
        while (end > first + 1 && !QFileInfo::exists(pieces.mid(first, end - first).join(plus)))
            --end;
        files << pieces.mid(first, end - first).join(plus);
        first = end;
    }
    return files;
}

} // namespace isolumen
