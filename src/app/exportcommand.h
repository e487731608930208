#pragma once

class QCommandLineParser;
class QTextStream;

namespace isolumen {

// `isolumen --export OUT FILE.im [options]`: writes the picture an image window would show of a
// species' layer or sum of layers, with its colour table, range and axis.
void addExportOptions(QCommandLineParser& parser);
bool isExportRequested(const QCommandLineParser& parser);
// Runs the export under a QGuiApplication. Returns the exit status: 0, or 2 with a message on
// err and no file written.
int runExport(const QCommandLineParser& parser, QTextStream& err);

} // namespace isolumen
