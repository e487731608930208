#include "core/io/picturewriter.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

std::optional<QByteArray> pictureFormatFor(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png"))
        return QByteArray("png");
    if (suffix == QLatin1String("tif") || suffix == QLatin1String("tiff"))
        return QByteArray("tiff");
    if (suffix == QLatin1String("bmp"))
        return QByteArray("bmp");
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return QByteArray("jpeg");
    return std::nullopt;
}

bool writePicture(const QImage& picture, const QString& path, QString* error)
{
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const std::optional<QByteArray> format = pictureFormatFor(path);
    if (!format)
        return fail(QStringLiteral("%1 names no picture format that can be written.")
                        .arg(QFileInfo(path).fileName()));
    if (picture.isNull())
        return fail(QStringLiteral("there is no picture."));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    QImageWriter writer(&file, *format);
    if (!writer.write(picture)) {
        file.cancelWriting();
        return fail(writer.errorString());
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}
