#pragma once

class QCommandLineParser;
class QTextStream;

namespace isolumen {

// `isolumen --shifts FILE.im [--align-species N] [--align-layer L]`: the drift of every layer
// as CSV on standard output: layer,dx,dy in shown pixels, the reference layer at 0,0.
void addShiftsOptions(QCommandLineParser& parser);
bool isShiftsRequested(const QCommandLineParser& parser);
// Returns the exit status: 0, or 2 with a message on err.
int runShifts(const QCommandLineParser& parser, QTextStream& err);

} // namespace isolumen
