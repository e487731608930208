#include "core/temporaryfiles.h"

#include <QFile>
#include <atomic>
#include <climits>
#include <cstring>
#include <unistd.h>

namespace isolumen {

namespace {

// A slot is free (0), being filled (1) or holds a path (2).
struct HeldFile
{
    std::atomic<int> state{0};
    char path[PATH_MAX];
};
constexpr int kSlots = 256;
HeldFile heldFiles[kSlots];

// Files still held when the program ends normally go as it ends.
struct RemoveAtExit
{
    ~RemoveAtExit() { removeTemporaryFilesNow(); }
} removeAtExit;

} // namespace

void holdTemporaryFile(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    if (native.size() >= PATH_MAX)
        return; // an expanded copy then goes at a later start, as after SIGKILL
    for (HeldFile& slot : heldFiles) {
        int free = 0;
        if (slot.state.compare_exchange_strong(free, 1)) {
            std::memcpy(slot.path, native.constData(), size_t(native.size()) + 1);
            slot.state.store(2);
            return;
        }
    }
}

void releaseTemporaryFile(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    for (HeldFile& slot : heldFiles) {
        if (slot.state.load() == 2 && std::strcmp(slot.path, native.constData()) == 0) {
            slot.state.store(0);
            return;
        }
    }
}

void removeTemporaryFilesNow()
{
    for (HeldFile& slot : heldFiles) {
        if (slot.state.load() == 2)
            ::unlink(slot.path);
    }
}

} // namespace isolumen
