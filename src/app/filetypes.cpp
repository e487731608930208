#include "app/filetypes.h"

bool FileType::matches(const QString& path) const
{
    for (const QString& ext : Extensions) {
        if (path.endsWith(ext, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QString FileType::dialogFilter() const
{
    QStringList patterns;
    for (const QString& ext : Extensions)
        patterns << QLatin1Char('*') + ext;
    return Name + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

namespace FileTypes {

const FileType& pImageNanoSIMS()
{
    static const FileType type{QStringLiteral("image/NanoSIMS"), {QStringLiteral(".im")}, {}, {}};
    return type;
}

const FileType& pImageTiff()
{
    static const FileType type{
        QStringLiteral("image/tiff"),
        {QStringLiteral(".jfx"), QStringLiteral(".tif"), QStringLiteral(".tiff")},
        QStringLiteral("TIFF"),
        QStringLiteral("????")};
    return type;
}

} // namespace FileTypes
