#pragma once

#include <QProcessEnvironment>
#include <QString>

class QCommandLineParser;

namespace isolumen {

// Runs the windowed viewer; file, when not empty, is opened as if dropped on the main window.
// Without a display it prints the summary of file instead. The parser, which read the command
// line, gives a study opened in the viewer its options. Returns the exit status.
int runViewer(int argc, char** argv, const QString& file, const QCommandLineParser& parser);

// Whether the environment offers a display to open windows on. Only X11/Wayland systems can
// lack one; there an explicit QT_QPA_PLATFORM counts as a display.
bool displayAvailable(const QProcessEnvironment& environment);

} // namespace isolumen
