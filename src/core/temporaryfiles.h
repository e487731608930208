#pragma once

#include <QString>

namespace isolumen {

// The files this process deletes however it ends, short of being killed outright: expanded
// copies of compressed acquisitions and written files not yet in place. They are kept where a
// signal handler can reach them without allocating or locking.

// Adds a file to delete at the end; its owner releases it when it deletes or keeps it itself.
void holdTemporaryFile(const QString& path);
void releaseTemporaryFile(const QString& path);

// Deletes every file held, at once. Safe in a signal handler: it only unlinks the files, which
// the process may still have open. Runs by itself when the program ends normally.
void removeTemporaryFilesNow();

} // namespace isolumen
