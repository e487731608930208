#pragma once

#include <QString>

// Runs the windowed viewer; file, when not empty, is opened as if dropped on the main window.
// Returns the exit status.
int runViewer(int argc, char** argv, const QString& file);
