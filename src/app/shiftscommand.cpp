#include "app/shiftscommand.h"

#include "app/modesession.h"
#include "core/io/csvwriter.h"
#include "core/model/alignlayers.h"
#include "core/result.h"

#include <QCommandLineParser>
#include <QFile>
#include <QTextStream>

namespace isolumen {

namespace {

const QString kShifts = QStringLiteral("shifts");

} // namespace

void addShiftsOptions(QCommandLineParser& parser)
{
    parser.addOption({kShifts, QStringLiteral("Print the drift of every layer of FILE.im as CSV "
                                              "(layer,dx,dy,confidence) and exit.")});
}

bool isShiftsRequested(const QCommandLineParser& parser)
{
    return parser.isSet(kShifts);
}

int runShifts(const QCommandLineParser& parser, QTextStream& err)
{
    ModeSession session(parser, err);
    if (!session.start(QStringLiteral("--shifts"), AllSpecies::Refused))
        return kFailureStatus;
    const auto& warn = session.warn();
    PlaneChoice& choice = session.choice();
    Acquisition acquisition;
    if (Result<> f = openForMode(acquisition, session.path(), warn); !f)
        return session.fail(f.error());
    // An analysis's alignment, unless options ask for another estimate.
    const AlignmentSettings& asked = choice.alignSettings;
    choice.align = choice.alignSpecies || choice.alignLayer || choice.alignSubpixel || asked.bin ||
                   asked.region || asked.minConfidence || asked.maxStep;
    if (Result<> f = applyChoice(choice, acquisition, warn); !f)
        return session.fail(f.error());
    Result<Alignment> estimated = Failure{};
    if (acquisition.alignment())
        estimated = *acquisition.alignment();
    else
        estimated = estimateAlignment(choice, acquisition);
    if (!estimated)
        return session.fail(estimated.error());
    const Alignment& alignment = *estimated;
    for (int l = 1; l <= int(alignment.shifts.size()); ++l) {
        const QString why = interpolationReason(alignment.origin(l));
        if (!why.isEmpty())
            err << QStringLiteral("Layer %1: %2; its shift is interpolated.").arg(l).arg(why)
                << Qt::endl;
    }

    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly))
        return session.fail(QStringLiteral("Cannot write to standard output."));
    CsvWriter csv(out);
    csv.text(QStringLiteral("layer"))
        .text(QStringLiteral("dx"))
        .text(QStringLiteral("dy"))
        .text(QStringLiteral("confidence"))
        .endRow();
    for (int l = 1; l <= int(alignment.shifts.size()); ++l) {
        const Shift s = alignment.forLayer(l);
        csv.number(l).number(s.dx).number(s.dy).number(alignment.confidence(l)).endRow();
    }
    return 0;
}

} // namespace isolumen
