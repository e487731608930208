#include "app/commandline.h"

#include "app/infocommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int runIsolumen(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Isolumen"));
    QCoreApplication::setApplicationVersion(QStringLiteral("0.0.1"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Viewer for the raw ion images of a NanoSIMS ion microprobe (.im)."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption info(QStringLiteral("info"),
                                  QStringLiteral("Print the summary of FILE.im and exit."));
    parser.addOption(info);
    parser.addPositionalArgument(QStringLiteral("FILE.im"), QStringLiteral("The file to open."));
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);
    const QStringList files = parser.positionalArguments();
    if (parser.isSet(info)) {
        if (files.size() != 1) {
            err << "--info needs exactly one file." << Qt::endl;
            return 2;
        }
        return printInfo(files.first(), out, err);
    }
    err << "The viewer window is not available yet; use --info FILE.im." << Qt::endl;
    return 2;
}
