#pragma once

#include <QtGlobal>
#include <functional>

namespace isolumen {

// Runs body(begin, end) over consecutive chunks of [0, count) on all cores and returns when
// every chunk is done. Chunks hold at least minChunk items, so that small jobs stay on the
// calling thread; the calling thread works too. body must be safe to run on several threads.
void parallelFor(qsizetype count, qsizetype minChunk,
                 const std::function<void(qsizetype begin, qsizetype end)>& body);

// Threads parallelFor uses at most (the machine's cores).
int workerCount();

} // namespace isolumen
