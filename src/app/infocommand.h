#pragma once

#include <QString>

class QTextStream;

namespace isolumen {

// `isolumen --info FILE`: prints the summary of a raw image file, one "Caption text" line each,
// to out; the reader's messages and failures go to err. Returns the exit status: 0 for an
// accepted file, 2 for a refused, missing or unreadable one.
int printInfo(const QString& path, QTextStream& out, QTextStream& err);

} // namespace isolumen
