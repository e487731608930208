#pragma once

#include "core/result.h"

#include <QByteArray>
#include <optional>

class QImage;
class QString;

namespace isolumen {

class Progress;

// Picture files as "Save Image As..." and --export write them: the format a file name asks
// for, and the writing, complete or not at all.

enum class PictureFormat { Png, Tiff, Bmp, Jpeg };

// The format a file name's suffix names, in any case: png; tif, tiff; bmp; jpg, jpeg. None for
// any other suffix or none.
std::optional<PictureFormat> pictureFormatFor(const QString& path);

// Qt's name of a format ("png", "tiff", "bmp", "jpeg"), as QImageReader::imageFormat gives it.
QByteArray pictureFormatName(PictureFormat format);

// Whether this build can write the format (TIFF needs Qt's image format plugins).
bool canWritePictures(PictureFormat format);

// Writes picture to path in the format its suffix names: PNG through writePng, the others
// through Qt's image writers. The file appears only once wholly written; on failure an older
// file of that name is untouched and nothing new is left. Fails, saying why, for a suffix
// naming no format, a null picture, or a file that cannot be written; and leaves everything as
// it was when progress is cancelled before the file is in place.
Result<> writePicture(const QImage& picture, const QString& path,
                      const Progress* progress = nullptr);

} // namespace isolumen
