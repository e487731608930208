#include "app/shiftscommand.h"

#include "app/planeoptions.h"
#include "core/io/csvwriter.h"

#include <QCommandLineParser>
#include <QFile>
#include <QTextStream>

namespace {

const QString kShifts = QStringLiteral("shifts");

} // namespace

void addShiftsOptions(QCommandLineParser& parser)
{
    parser.addOption({kShifts, QStringLiteral("Print the drift of every layer of FILE.im as CSV "
                                              "(layer,dx,dy) and exit.")});
}

bool isShiftsRequested(const QCommandLineParser& parser)
{
    return parser.isSet(kShifts);
}

int runShifts(const QCommandLineParser& parser, QTextStream& err)
{
    auto fail = [&](const QString& message) {
        err << message << Qt::endl;
        return 2;
    };
    const std::variant<QString, Failure> file = onlyFile(parser, QStringLiteral("--shifts"));
    if (const Failure* f = std::get_if<Failure>(&file))
        return fail(f->message);
    const QString& path = std::get<QString>(file);
    std::variant<PlaneChoice, Failure> parsed = readPlaneChoice(parser, false);
    if (const Failure* f = std::get_if<Failure>(&parsed))
        return fail(f->message);
    PlaneChoice& choice = std::get<PlaneChoice>(parsed);
    Acquisition acquisition;
    const auto warn = [&](const QString& m) { err << m << Qt::endl; };
    if (std::optional<Failure> f = openForMode(acquisition, path, warn))
        return fail(f->message);
    // An analysis's alignment, unless options ask for another estimate.
    choice.align = choice.alignSpecies || choice.alignLayer || choice.alignSubpixel;
    if (std::optional<Failure> f = applyChoice(choice, acquisition, warn))
        return fail(f->message);
    std::variant<Alignment, Failure> alignment = Failure{};
    if (acquisition.alignment())
        alignment = *acquisition.alignment();
    else
        alignment = estimateAlignment(choice, acquisition);
    if (const Failure* f = std::get_if<Failure>(&alignment))
        return fail(f->message);

    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly))
        return fail(QStringLiteral("Cannot write to standard output."));
    CsvWriter csv(out);
    csv.text(QStringLiteral("layer"))
        .text(QStringLiteral("dx"))
        .text(QStringLiteral("dy"))
        .endRow();
    const std::vector<Shift>& shifts = std::get<Alignment>(alignment).shifts;
    for (size_t i = 0; i < shifts.size(); ++i)
        csv.number(double(i + 1)).number(shifts[i].dx).number(shifts[i].dy).endRow();
    return 0;
}
