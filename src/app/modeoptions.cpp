#include "app/modeoptions.h"

#include <QCommandLineParser>
#include <QSet>
#include <QStringList>
#include <algorithm>
#include <utility>

namespace isolumen {

namespace {

// The options that choose planes, corrections and alignment, read by readPlaneChoice().
const QStringList& planeOptions()
{
    static const QStringList names = {
        QStringLiteral("species"),
        QStringLiteral("plane"),
        QStringLiteral("layers"),
        QStringLiteral("sum"),
        QStringLiteral("ratio"),
        QStringLiteral("scale"),
        QStringLiteral("threshold-num"),
        QStringLiteral("threshold-den"),
        QStringLiteral("percent"),
        QStringLiteral("delta"),
        QStringLiteral("deadtime"),
        QStringLiteral("deadtime-ns"),
        QStringLiteral("qsa-beta"),
        QStringLiteral("current-pa"),
        QStringLiteral("align"),
        QStringLiteral("align-species"),
        QStringLiteral("align-layer"),
        QStringLiteral("align-subpixel"),
        QStringLiteral("align-bin"),
        QStringLiteral("align-region"),
        QStringLiteral("align-min-confidence"),
        QStringLiteral("align-max-step"),
        QStringLiteral("exclude"),
        QStringLiteral("analysis"),
    };
    return names;
}

// The options that give regions, and how they are found or kept.
const QStringList& regionOptions()
{
    static const QStringList names = {
        QStringLiteral("roi"),          QStringLiteral("rois"),
        QStringLiteral("find-regions"), QStringLiteral("smooth"),
        QStringLiteral("threshold"),    QStringLiteral("split"),
        QStringLiteral("min-area"),     QStringLiteral("max-area"),
        QStringLiteral("exclude-edge"), QStringLiteral("regions-mask"),
        QStringLiteral("save-regions"),
    };
    return names;
}

// Each mode (its option's name; empty: the viewer) and the options it uses besides its own.
const QList<std::pair<QString, QStringList>>& modeTable()
{
    static const QList<std::pair<QString, QStringList>> table = {
        {QString(), {}},
        {QStringLiteral("info"), {}},
        {QStringLiteral("export"),
         planeOptions() + regionOptions() +
             QStringList{QStringLiteral("outlines"), QStringLiteral("title"),
                         QStringLiteral("table"), QStringLiteral("min"), QStringLiteral("max"),
                         QStringLiteral("log"), QStringLiteral("low"), QStringLiteral("high"),
                         QStringLiteral("layout"), QStringLiteral("hsi"), QStringLiteral("rmin"),
                         QStringLiteral("rmax"), QStringLiteral("hsi-brightness"),
                         QStringLiteral("auto-percentile"), QStringLiteral("overlay"),
                         QStringLiteral("overlay-colours"), QStringLiteral("overlay-range")}},
        {QStringLiteral("export-counts"), planeOptions()},
        {QStringLiteral("stats"),
         planeOptions() + regionOptions() + QStringList{QStringLiteral("per-layer")}},
        {QStringLiteral("export-mask"), planeOptions() + regionOptions()},
        {QStringLiteral("study"),
         planeOptions() + regionOptions() +
             QStringList{QStringLiteral("per-layer"), QStringLiteral("jobs")}},
        {QStringLiteral("shifts"),
         {QStringLiteral("align-species"), QStringLiteral("align-layer"),
          QStringLiteral("align-subpixel"), QStringLiteral("align-bin"),
          QStringLiteral("align-region"), QStringLiteral("align-min-confidence"),
          QStringLiteral("align-max-step"), QStringLiteral("exclude"), QStringLiteral("analysis")}},
    };
    return table;
}

// Options that may be given more than once, each adding to the others.
const QSet<QString>& repeatable()
{
    static const QSet<QString> names = {QStringLiteral("roi")};
    return names;
}

// Options that end the program before any mode runs.
bool answersAtOnce(const QString& name)
{
    return name == QLatin1String("h") || name == QLatin1String("help") ||
           name == QLatin1String("version");
}

QString modeText(const QString& mode)
{
    return mode.isEmpty() ? QStringLiteral("the viewer") : QStringLiteral("--") + mode;
}

} // namespace

QString chosenMode(const QCommandLineParser& parser)
{
    for (const auto& [mode, options] : modeTable()) {
        if (!mode.isEmpty() && parser.isSet(mode))
            return mode;
    }
    return {};
}

Result<> optionsProblem(const QCommandLineParser& parser)
{
    const QStringList given = parser.optionNames();
    for (const QString& name : given) {
        if (answersAtOnce(name))
            return {};
    }
    const QString mode = chosenMode(parser);
    QStringList used;
    for (const auto& [m, options] : modeTable()) {
        if (m == mode)
            used = options;
    }
    QSet<QString> seen;
    for (const QString& name : given) {
        // A study measures several ratios at once.
        const bool repeats = repeatable().contains(name) ||
                             (name == QLatin1String("ratio") && mode == QLatin1String("study"));
        if (seen.contains(name) && !repeats)
            return Failure{QStringLiteral("--%1 is given more than once.").arg(name)};
        seen.insert(name);
        const bool isMode = std::any_of(modeTable().begin(), modeTable().end(),
                                        [&](const auto& row) { return row.first == name; });
        if (!isMode && !used.contains(name))
            return Failure{
                QStringLiteral("--%1 is not an option of %2.").arg(name, modeText(mode))};
    }
    return {};
}

} // namespace isolumen
