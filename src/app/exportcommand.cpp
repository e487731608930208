#include "app/exportcommand.h"

#include "app/msgbox.h"
#include "app/textnumber.h"
#include "core/io/picturewriter.h"
#include "display/displaypictures.h"
#include "display/imagemodel.h"
#include "rawfile/imfile.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>
#include <limits>
#include <optional>
#include <variant>

namespace {

const QString kExport = QStringLiteral("export");
const QString kSpecies = QStringLiteral("species");
const QString kPlane = QStringLiteral("plane");
const QString kTable = QStringLiteral("table");
const QString kMin = QStringLiteral("min");
const QString kMax = QStringLiteral("max");
const QString kLog = QStringLiteral("log");
const QString kLow = QStringLiteral("low");
const QString kHigh = QStringLiteral("high");
const QString kLayout = QStringLiteral("layout");

// What went wrong, for standard error; the export then ends with status 2.
struct Failure
{
    QString message;
};

// A whole number given to an option, within first..last.
std::optional<int> wholeNumber(const QString& text, int first, int last)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok || n < first || n > last)
        return std::nullopt;
    return n;
}

std::optional<QRgb> colour(const QString& text)
{
    static const QRegularExpression sixHex(QStringLiteral("^[0-9A-Fa-f]{6}$"));
    if (!sixHex.match(text).hasMatch())
        return std::nullopt;
    return qRgb(text.mid(0, 2).toInt(nullptr, 16), text.mid(2, 2).toInt(nullptr, 16),
                text.mid(4, 2).toInt(nullptr, 16));
}

struct ExportRequest
{
    QString out;
    QString in;
    std::optional<int> species; // as the user counts, from 1; checked against the file later
    std::optional<int> plane;
    int table = 10;
    std::optional<QString> minText; // manual limits; absent: automatic
    std::optional<QString> maxText;
    bool log = false;
    QRgb low = qRgb(153, 153, 153);
    QRgb high = qRgb(255, 255, 255);
    bool figure = false;
};

// The options, checked without touching any file.
std::variant<ExportRequest, Failure> readOptions(const QCommandLineParser& parser)
{
    ExportRequest r;
    r.out = parser.value(kExport);
    const QStringList files = parser.positionalArguments();
    if (r.out.isEmpty())
        return Failure{QStringLiteral("--export needs the name of the picture to write.")};
    if (files.size() != 1)
        return Failure{QStringLiteral("--export needs exactly one .im file.")};
    r.in = files.first();
    const std::optional<PictureFormat> format = pictureFormatFor(r.out);
    if (!format)
        return Failure{QStringLiteral("Cannot tell the picture format of %1: use .png, .tif, "
                                      ".tiff, .bmp, .jpg or .jpeg.")
                           .arg(r.out)};
    if (!canWritePictures(*format))
        return Failure{QStringLiteral("This build cannot write %1 pictures.")
                           .arg(QString::fromLatin1(pictureFormatName(*format)))};

    auto positive = [&](const QString& name, std::optional<int>& into) -> std::optional<Failure> {
        if (!parser.isSet(name))
            return std::nullopt;
        into = wholeNumber(parser.value(name), 1, std::numeric_limits<int>::max());
        if (!into)
            return Failure{QStringLiteral("--%1 needs a whole number from 1: %2")
                               .arg(name, parser.value(name))};
        return std::nullopt;
    };
    if (auto f = positive(kSpecies, r.species))
        return *f;
    if (auto f = positive(kPlane, r.plane))
        return *f;
    if (parser.isSet(kTable)) {
        const std::optional<int> t = wholeNumber(parser.value(kTable), 1, 20);
        if (!t)
            return Failure{QStringLiteral("--table needs a table number from 1 to 20: %1")
                               .arg(parser.value(kTable))};
        r.table = *t;
    }
    if (parser.isSet(kMin))
        r.minText = parser.value(kMin);
    if (parser.isSet(kMax))
        r.maxText = parser.value(kMax);
    r.log = parser.isSet(kLog);
    for (const auto& [name, into] : {std::pair{kLow, &r.low}, std::pair{kHigh, &r.high}}) {
        if (!parser.isSet(name))
            continue;
        const std::optional<QRgb> c = colour(parser.value(name));
        if (!c)
            return Failure{QStringLiteral("--%1 needs a colour of six hex digits (RRGGBB): %2")
                               .arg(name, parser.value(name))};
        *into = *c;
    }
    const QString layout = parser.isSet(kLayout) ? parser.value(kLayout) : QStringLiteral("image");
    if (layout != QLatin1String("image") && layout != QLatin1String("figure"))
        return Failure{QStringLiteral("--layout is either image or figure, not %1.").arg(layout)};
    r.figure = layout == QLatin1String("figure");
    return r;
}

// The picture an image window of the request would show, drawn by the window's own cores.
std::variant<QImage, Failure> drawPicture(const ExportRequest& r)
{
    ImFile file;
    const ImFile::Status status = file.open(r.in);
    if (status == ImFile::Status::Unusable)
        return Failure{file.errorString()};
    if (status == ImFile::Status::Refused)
        return Failure{QStringLiteral("%1: (not an image file)").arg(r.in)};
    for (const QString& m : file.messages())
        MsgBox(m);
    const ImHeader& h = file.header();
    if (!file.frameSide())
        return Failure{QStringLiteral("%1: frames of %2 x %3 pixels cannot be shown.")
                           .arg(r.in)
                           .arg(h.PixelWidth)
                           .arg(h.PixelHeight)};
    if (!h.hasFrames())
        return Failure{QStringLiteral("%1 holds no frames.").arg(r.in)};
    const int side = *file.frameSide();
    const int species = r.species.value_or(1);
    const int plane = r.plane.value_or(1);
    if (species > h.shownSpecies())
        return Failure{QStringLiteral("--species %1 is out of range: the file has species 1 to %2.")
                           .arg(species)
                           .arg(h.shownSpecies())};
    if (plane > h.Nplanes)
        return Failure{QStringLiteral("--plane %1 is out of range: the file has planes 1 to %2.")
                           .arg(plane)
                           .arg(h.Nplanes)};

    ImageModel m;
    m.IDnumber = species - 1;
    m.LogScale = r.log;
    m.AutoMin = !r.minText;
    m.AutoMax = !r.maxText;
    SetColors(m, r.table - 1, r.high, r.low);
    if (!loadIntoModel(m, *file.stream(), h, side, species, plane, r.minText.value_or(QString()),
                       r.maxText.value_or(QString())))
        return Failure{QStringLiteral("Not enough memory for a frame of %1 x %1.").arg(side)};

    const std::optional<DisplayPictures> pictures = displayPictures(m, h.micronSize);
    if (!pictures)
        return Failure{QStringLiteral("The display range is empty (minimum %1, maximum %2): "
                                      "nothing would be drawn.")
                           .arg(Str(m.ColorMinValue), Str(m.ColorMaxValue))};
    if (!pictures->scaleProblem.isEmpty())
        MsgBox(pictures->scaleProblem);
    QImage picture = r.figure ? figurePicture(*pictures, side) : pictures->image;
    if (picture.isNull())
        return Failure{QStringLiteral("Not enough memory for the picture.")};
    return picture;
}

std::optional<Failure> save(const QImage& picture, const ExportRequest& r)
{
    const QFileInfo out(r.out);
    const QFileInfo in(r.in);
    if (out.exists() && out.canonicalFilePath() == in.canonicalFilePath())
        return Failure{
            QStringLiteral("The picture would replace the .im file it shows: %1").arg(r.out)};
    // The same writing as "Save Image As...": complete or not at all.
    QString error;
    if (!writePicture(picture, r.out, &error))
        return Failure{QStringLiteral("Cannot write %1: %2").arg(r.out, error)};
    return std::nullopt;
}

} // namespace

void addExportOptions(QCommandLineParser& parser)
{
    parser.addOption({kExport,
                      QStringLiteral("Write the picture an image window shows of FILE.im to OUT "
                                     "(.png, .tif, .tiff, .bmp, .jpg or .jpeg) and exit."),
                      QStringLiteral("OUT")});
    parser.addOption({kSpecies, QStringLiteral("With --export: the species, from 1 (default 1)."),
                      QStringLiteral("N")});
    parser.addOption({kPlane, QStringLiteral("With --export: the layer, from 1 (default 1)."),
                      QStringLiteral("P")});
    parser.addOption({kTable,
                      QStringLiteral("With --export: the colour table, 1 to 20 (default 10)."),
                      QStringLiteral("T")});
    parser.addOption({kMin,
                      QStringLiteral("With --export: a manual minimum (default: the layer's)."),
                      QStringLiteral("X")});
    parser.addOption({kMax,
                      QStringLiteral("With --export: a manual maximum (default: the layer's)."),
                      QStringLiteral("Y")});
    parser.addOption({kLog, QStringLiteral("With --export: a logarithmic value axis.")});
    parser.addOption({kLow,
                      QStringLiteral("With --export: the colour below the range (default 999999)."),
                      QStringLiteral("RRGGBB")});
    parser.addOption({kHigh,
                      QStringLiteral("With --export: the colour above the range (default FFFFFF)."),
                      QStringLiteral("RRGGBB")});
    parser.addOption({kLayout,
                      QStringLiteral("With --export: image (the framed image alone, default) or "
                                     "figure (image, colour bar and scale bar as the window "
                                     "shows them)."),
                      QStringLiteral("image|figure")});
}

bool isExportRequested(const QCommandLineParser& parser)
{
    return parser.isSet(kExport);
}

int runExport(const QCommandLineParser& parser, QTextStream& err)
{
    auto fail = [&](const Failure& f) {
        err << f.message << Qt::endl;
        return 2;
    };
    const std::variant<ExportRequest, Failure> request = readOptions(parser);
    if (const Failure* f = std::get_if<Failure>(&request))
        return fail(*f);
    const ExportRequest& r = std::get<ExportRequest>(request);
    const std::variant<QImage, Failure> picture = drawPicture(r);
    if (const Failure* f = std::get_if<Failure>(&picture))
        return fail(*f);
    if (const std::optional<Failure> f = save(std::get<QImage>(picture), r))
        return fail(*f);
    return 0;
}
