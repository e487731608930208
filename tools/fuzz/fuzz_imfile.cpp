// libFuzzer target: arbitrary bytes, taken as a file, go through the acquisition model as a
// file opened by the viewer would: the header reader and summary, frame reading of the first
// and last layer, a sum of layers and a ratio, and the pictures of a window. The same bytes also
// go through the readers of regions (a JSON regions file, a region given on the command line),
// of ratio expressions and of analysis files, which are then put in force on the acquisition and
// written again.
#include "core/imfile/summary.h"
#include "core/io/analysisfile.h"
#include "core/model/acquisition.h"
#include "core/model/ratiodefinition.h"
#include "core/render/displaypictures.h"
#include "core/render/displaysettings.h"
#include "core/stats/region.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

using namespace isolumen;

namespace {

QString& inputPath()
{
    static QString path;
    return path;
}

void draw(const Plane& plane, double micronSize)
{
    DisplaySettings settings;
    settleDisplayRange(settings, plane, {}, {});
    if (plane.hasValues && !(settings.minValue < settings.maxValue))
        __builtin_trap(); // a plane with values always has an increasing range
    const std::optional<DisplayPictures> pictures = displayPictures(plane, settings, micronSize);
    if (pictures && pictures->image.width() != plane.side + 2)
        __builtin_trap();
}

} // namespace

// Drawing the axis labels and the scale bar needs the font database of a GUI application.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    static QTemporaryDir dir;
    inputPath() = dir.filePath(QStringLiteral("fuzz.im"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const Result<QList<Region>> regions = regionsFromJson(bytes)) {
        for (const Region& r : *regions)
            (void)regionPixels(r, 64);
    }
    if (const Result<Region> r = parseRegion(QString::fromLatin1(bytes.left(200))))
        (void)regionPixels(*r, 64);
    // A ratio expression as --ratio and the dialogs take it, by number or label.
    const QString expression = QString::fromUtf8(bytes.left(200));
    if (const Result<RatioDefinition> ratio =
            parseRatioTerms(expression, {QStringLiteral("12C"), QStringLiteral("13C")});
        ratio && !ratio->denominator.isEmpty()) {
        // Its label, by species numbers, reads back as the same terms.
        const QString label = ratioLabel(*ratio, [](int s) { return QString::number(s + 1); });
        const Result<RatioDefinition> again = parseRatioTerms(ratioTermsText(label), {});
        if (!again || again->numerator != ratio->numerator ||
            again->denominator != ratio->denominator)
            __builtin_trap();
    }
    const Result<AnalysisFile> analysis = readAnalysis(bytes);
    if (analysis)
        (void)writeAnalysis(*analysis);
    {
        QFile file(inputPath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    Acquisition acquisition;
    if (acquisition.open(inputPath()) != ImFile::Status::Accepted)
        return 0;
    const ImHeader& h = acquisition.header();
    (void)detailRows(h, acquisition.layerCount());
    if (!acquisition.unshowableReason().isEmpty())
        return 0;
    if (analysis) {
        (void)applyAnalysis(*analysis, acquisition);
        (void)writeAnalysis(analysisOf(acquisition));
    }
    const int last = acquisition.layerCount();
    const int species = acquisition.speciesCount();
    QList<PlaneRequest> requests;
    for (const auto& [s, first, end] :
         {std::tuple{0, 1, 1}, std::tuple{species - 1, last, last}, std::tuple{0, 1, last}}) {
        PlaneRequest r = acquisition.request({s, std::nullopt});
        r.firstLayer = first;
        r.lastLayer = end;
        requests << r;
    }
    PlaneRequest ratio = acquisition.request({0, RatioDefinition{{species - 1}, {0}, 1, 0, 0}});
    requests << ratio;
    for (const PlaneRequest& r : requests) {
        const Result<PlaneResult> result = acquisition.plane(r);
        if (!result)
            __builtin_trap(); // every offered layer of every species can be read
        draw(*result->shown, h.micronSize);
    }
    return 0;
}
