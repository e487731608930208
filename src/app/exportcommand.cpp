#include "app/exportcommand.h"

#include <QCommandLineParser>
#include <QTextStream>

void addExportOptions(QCommandLineParser&) {}

bool isExportRequested(const QCommandLineParser&)
{
    return false;
}

int runExport(const QCommandLineParser&, QTextStream& err)
{
    err << "--export is not available yet." << Qt::endl;
    return 2;
}
