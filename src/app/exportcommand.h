#pragma once

class QCommandLineParser;
class QTextStream;

// `isolumen --export OUT FILE.im [options]`: writes the picture an image window would show.
void addExportOptions(QCommandLineParser& parser);
bool isExportRequested(const QCommandLineParser& parser);
// Runs the export under a QGuiApplication on the offscreen platform. Returns the exit status.
int runExport(const QCommandLineParser& parser, QTextStream& err);
