#include "app/commandline.h"

#include "app/exportcommand.h"
#include "app/infocommand.h"
#include "app/planeoptions.h"
#include "app/viewer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>

namespace {

QStringList argumentList(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

} // namespace

int runIsolumen(int argc, char** argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("Isolumen"));
    QCoreApplication::setApplicationVersion(QStringLiteral("0.0.1"));

    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);

    // The mode is known before any application object exists, because the headless modes run
    // on the offscreen platform and must never need a display.
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Viewer for the raw ion images of a NanoSIMS ion microprobe (.im)."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version."));
    const QCommandLineOption info(QStringLiteral("info"),
                                  QStringLiteral("Print the summary of FILE.im and exit."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(info);
    addPlaneOptions(parser);
    addExportOptions(parser);
    parser.addPositionalArgument(QStringLiteral("FILE.im"), QStringLiteral("The file to open."));

    if (!parser.parse(argumentList(argc, argv))) {
        err << parser.errorText() << Qt::endl;
        return 2;
    }
    if (parser.isSet(help)) {
        // No application object exists yet to name the executable.
        out << parser.helpText().replace(QStringLiteral("<executable_name>"),
                                         QStringLiteral("isolumen"));
        return 0;
    }
    if (parser.isSet(version)) {
        out << "Isolumen 0.0.1" << Qt::endl;
        return 0;
    }
    const QStringList files = parser.positionalArguments();
    if (parser.isSet(info)) {
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
    if (files.size() > 1) {
        err << "Isolumen opens one file at a time." << Qt::endl;
        return 2;
    }
    return runViewer(argc, argv, files.value(0));
}
