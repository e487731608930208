#include "app/commandline.h"

#include "app/countscommand.h"
#include "app/exportcommand.h"
#include "app/infocommand.h"
#include "app/modeoptions.h"
#include "app/planeoptions.h"
#include "app/regionoptions.h"
#include "app/shiftscommand.h"
#include "app/shutdownsignals.h"
#include "app/statscommand.h"
#include "app/viewer.h"
#include "core/imfile/archive.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace isolumen {

namespace {

QStringList argumentList(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

// Flushes standard output and gives status 2 when anything written to it was lost (a full
// disk, a closed pipe), which the modes' own writes cannot all see.
int checkStandardOutput(int status)
{
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return status;
    // A write failed earlier, inside Qt: an empty write asks the device for its reason.
    if (errno == 0 && ::write(STDOUT_FILENO, "", 0) < 0 && errno == 0)
        errno = EIO;
    const QString reason = errno != 0 ? QString::fromLocal8Bit(std::strerror(errno))
                                      : QStringLiteral("some of the output was lost");
    QTextStream(stderr) << "Cannot write to standard output: " << reason << '.' << Qt::endl;
    return 2;
}

// The options every mode knows, besides those of the modes themselves.
struct GeneralOptions
{
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help.")};
    QCommandLineOption version{QStringLiteral("version"), QStringLiteral("Show the version.")};
    QCommandLineOption info{QStringLiteral("info"),
                            QStringLiteral("Print the summary of FILE.im and exit.")};
};

void addOptions(QCommandLineParser& parser, const GeneralOptions& general)
{
    parser.setApplicationDescription(
        QStringLiteral("Viewer for the raw ion images of a NanoSIMS ion microprobe (.im)."));
    parser.addOption(general.help);
    parser.addOption(general.version);
    parser.addOption(general.info);
    addPlaneOptions(parser);
    addExportOptions(parser);
    addCountsOptions(parser);
    addStatsOptions(parser);
    addStudyOptions(parser);
    addShiftsOptions(parser);
    addRegionOptions(parser);
    parser.addPositionalArgument(QStringLiteral("FILE.im"), QStringLiteral("The file to open."));
}

// Whether the options chosen can run together; why not.
Result<> modeProblem(const QCommandLineParser& parser, const GeneralOptions& general)
{
    const std::initializer_list<bool> requested = {
        parser.isSet(general.info),      isExportRequested(parser),
        isCountsExportRequested(parser), isStatsRequested(parser),
        isShiftsRequested(parser),       isMaskExportRequested(parser),
        isStudyRequested(parser)};
    if (std::count(requested.begin(), requested.end(), true) > 1)
        return Failure{QStringLiteral("Choose one of --info, --export, --export-counts, "
                                      "--export-mask, --stats, --study and --shifts.")};
    return optionsProblem(parser);
}

// Runs the mode the options choose, each with the application object it needs.
int runMode(int argc, char** argv, const QCommandLineParser& parser, const GeneralOptions& general,
            QTextStream& out, QTextStream& err)
{
    const QStringList files = parser.positionalArguments();
    if (parser.isSet(general.info)) {
        QCoreApplication app(argc, argv);
        if (files.size() != 1) {
            err << "--info needs exactly one file." << Qt::endl;
            return 2;
        }
        return printInfo(files.first(), out, err);
    }
    if (isExportRequested(parser)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        return runExport(parser, err);
    }
    if (isStudyRequested(parser)) {
        QCoreApplication app(argc, argv);
        return runStudy(parser, err);
    }
    if (isCountsExportRequested(parser) || isStatsRequested(parser) || isShiftsRequested(parser) ||
        isMaskExportRequested(parser)) {
        QCoreApplication app(argc, argv);
        return isCountsExportRequested(parser)           ? runCountsExport(parser, err)
               : isStatsRequested(parser)                ? runStats(parser, err)
               : isMaskExportRequested(parser) ? runMaskExport(parser, err)
                                                         : runShifts(parser, err);
    }
    if (files.size() > 1) {
        err << "Isolumen opens one file at a time." << Qt::endl;
        return 2;
    }
    return runViewer(argc, argv, files.value(0), parser);
}

int runChosenMode(int argc, char** argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("Isolumen"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ISOLUMEN_VERSION));
    installShutdownSignals();
    // Copies whose owner was killed outright, or ended with the machine, go now.
    removeOrphanedCopies(expansionFolder());

    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);

    // The mode is known before any application object exists, because the headless modes run
    // on the offscreen platform and must never need a display.
    QCommandLineParser parser;
    const GeneralOptions general;
    addOptions(parser, general);
    if (!parser.parse(argumentList(argc, argv))) {
        err << parser.errorText() << Qt::endl;
        return 2;
    }
    if (parser.isSet(general.help)) {
        // No application object exists yet to name the executable.
        out << parser.helpText().replace(QStringLiteral("<executable_name>"),
                                         QStringLiteral("isolumen"));
        return 0;
    }
    if (parser.isSet(general.version)) {
        out << "Isolumen " ISOLUMEN_VERSION << Qt::endl;
        return 0;
    }
    if (const Result<> usable = modeProblem(parser, general); !usable) {
        err << usable.error().message << Qt::endl;
        return 2;
    }
    return runMode(argc, argv, parser, general, out, err);
}

} // namespace

int runIsolumen(int argc, char** argv)
{
    return checkStandardOutput(runChosenMode(argc, argv));
}

} // namespace isolumen
