// libFuzzer target: arbitrary bytes, taken as a file, go through the header reader, frame
// addressing and reading, and colour mapping, as a file opened by the viewer would.
#include "display/displaypictures.h"
#include "display/imagemodel.h"
#include "rawfile/imheader.h"

#include <QBuffer>
#include <QGuiApplication>
#include <cstdint>
#include <cstdlib>

// Drawing the axis labels and the scale bar needs the font database of a GUI application.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

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
    // The first and the last frame, as an image window loads and draws them; the last frame
    // may lie beyond the end of a short file.
    ImageModel model;
    for (const auto& [species, plane] : {std::pair{1, 1}, std::pair{h.shownSpecies(), h.Nplanes}}) {
        if (!loadIntoModel(model, buffer, h, side, species, plane, QString(), QString()))
            return 0;
        if (!(model.ImArrayMin < model.ImArrayMax))
            __builtin_trap(); // a loaded plane always has an increasing range
        const std::optional<DisplayPictures> pictures = displayPictures(model, h.micronSize);
        if (!pictures || pictures->image.width() != side + 2)
            __builtin_trap();
    }
    return 0;
}
