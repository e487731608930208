#pragma once

class QCommandLineParser;
class QTextStream;

namespace isolumen {

// `isolumen --export-counts OUT.tif FILE.im [options]`: writes the values themselves (counts,
// sums, ratios, corrected counts) as a multi-page TIFF, one page per species and layer (or
// sum), calibrated in micrometres.
void addCountsOptions(QCommandLineParser& parser);
bool isCountsExportRequested(const QCommandLineParser& parser);
// Returns the exit status: 0, or 2 with a message on err and no file written.
int runCountsExport(const QCommandLineParser& parser, QTextStream& err);

} // namespace isolumen
