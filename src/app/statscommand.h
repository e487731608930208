#pragma once

class QCommandLineParser;
class QTextStream;

// `isolumen --stats FILE.im --roi SHAPE ... [options]`: the statistics of regions of interest as
// CSV on standard output, one row per region and species (and ratio), over one layer, a sum of
// layers, or layer by layer.
void addStatsOptions(QCommandLineParser& parser);
bool isStatsRequested(const QCommandLineParser& parser);
// Returns the exit status: 0, or 2 with a message on err.
int runStats(const QCommandLineParser& parser, QTextStream& err);
