#include "core/imfile/filetypes.h"

#include <QStringList>

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
