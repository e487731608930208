// libFuzzer target: arbitrary bytes, taken as a file, go through the header reader, frame
// addressing and reading, and colour mapping, as a file opened by the viewer would.
#include "rawfile/framereader.h"
#include "rawfile/imheader.h"

#include <QBuffer>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const HeaderReadResult read = readImHeader(buffer, bytes.size(), QStringLiteral("fuzz.im"));
    if (!read.header)
        return 0;
    const ImHeader& h = *read.header;
    (void)detailRows(h);
    if (!read.frameSide || !h.hasFrames())
        return 0;
    const int side = *read.frameSide;
    const SampleFormat format{h.bytesPerSample, h.byteOrder};
    for (const auto& [species, plane] : {std::pair{1, 1}, std::pair{h.Nspecies, h.Nplanes}}) {
        const std::optional<Plane> p = readPlane(buffer, Position(h, species, plane), side, format);
        if (!p || !(p->min < p->max))
            __builtin_trap(); // a loaded plane always has an increasing range
    }
    return 0;
}
