#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <optional>

// Picture files: the one map from a file name's suffix to a picture format, and writing that is
// complete or nothing.

// The format a name's suffix asks for (png; tif, tiff; bmp; jpg, jpeg; any letter case), or
// nothing for any other suffix.
std::optional<QByteArray> pictureFormatFor(const QString& path);

// Writes picture to path in the format its suffix names. The file is replaced only once the
// whole picture is written. False, with the reason in error, when the suffix names no picture
// format or the file cannot be written.
bool writePicture(const QImage& picture, const QString& path, QString* error = nullptr);
