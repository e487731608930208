// libFuzzer target: arbitrary bytes, taken as a compressed acquisition, are expanded into a cache
// folder as the viewer would, and no expanded file may outlive its owner or a refusal.
#include "core/imfile/archive.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>

using namespace isolumen;

namespace {

bool cacheIsEmpty(const QString& cache)
{
    return QDir(cache).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("input.im.gz"));
    const QString cache = dir.filePath(QStringLiteral("cache"));
    QFile file(input);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        return 0;
    file.close();
    // A small disk keeps inputs that expand enormously quick.
    const auto smallDisk = [](const QString&) { return qint64(64) << 20; };
    Result<std::unique_ptr<ExpandedFile>> result =
        ExpandedFile::expand(input, cache, nullptr, smallDisk);
    if (result) {
        if (QFileInfo((*result)->path()).size() != (*result)->size())
            __builtin_trap();
        result->reset();
    } else if (result.error().message.isEmpty()) {
        __builtin_trap(); // every refusal says why
    }
    if (!cacheIsEmpty(cache))
        __builtin_trap();
    return 0;
}
