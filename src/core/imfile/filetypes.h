#pragma once

#include <QString>
#include <QStringList>

namespace isolumen {

// The names of the files the viewer opens: raw images, plain or compressed. The open dialog's
// filter and the main window's drop acceptance are both made from this list, so the two routes
// agree.

// Whether the path ends, in any letter case, in .im or a compressed form of it (.im.gz,
// .im.bz2, .im.xz, .im.zst, or .zip holding one .im).
bool isRawImageName(const QString& path);

// The open dialog's filter: "image/NanoSIMS (*.im *.im.gz ...)".
QString rawImageDialogFilter();

// Why path, which exists and is no folder, cannot be read as a file: a named pipe, a device or
// a socket would block or never end. Empty for a regular file (and for anything else, which
// opening then names).
QString specialFileProblem(const QString& path);

// The files of a chain of runs given as one argument, FILE+FILE2+...: an argument naming an
// existing file is that file alone, '+' in its name or not. Otherwise it is cut at each '+',
// each file taking the longest run of the pieces that names an existing file (a file whose name
// holds '+' goes before shorter names), or one piece when none does.
QStringList chainedFiles(const QString& argument);

} // namespace isolumen
