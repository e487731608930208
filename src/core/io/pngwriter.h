#pragma once

#include "core/result.h"

class QIODevice;
class QImage;

namespace isolumen {

// Writes picture to device as a PNG file that decodes to exactly its pixels. Opaque pictures of
// at most 256 colours get a palette (one byte a pixel), other opaque ones 8-bit RGB; both are
// compressed by libdeflate. Pictures with an alpha channel go through Qt's PNG writer. Returns
// false, with the reason in error, for a null picture, when the memory for the encoding cannot
// be had or when the device does not take the bytes (it may then hold part of the file).
Result<> writePng(const QImage& picture, QIODevice& device);

} // namespace isolumen
