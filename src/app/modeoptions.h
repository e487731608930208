#pragma once

#include "core/result.h"

#include <QString>

class QCommandLineParser;

namespace isolumen {

// Which options each command-line mode uses, in one table: an option that the chosen mode does
// not use is refused rather than ignored, and so is an option given twice (but for the few
// that may repeat). Giving a mode a new option is one line of the table.

// The mode of a command line: the name of its mode option ("info", "export", ...), or empty for
// the viewer.
QString chosenMode(const QCommandLineParser& parser);

// Whether the options of the command line fit its mode; why not.
Result<> optionsProblem(const QCommandLineParser& parser);

} // namespace isolumen
