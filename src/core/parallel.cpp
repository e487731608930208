#include "core/parallel.h"

#include <QRunnable>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

namespace isolumen {

int workerCount()
{
    return std::max(1, QThread::idealThreadCount());
}

namespace {

// Threads kept waiting for work: starting a thread for every call costs about 40 µs, a sizable
// part of a layer switch. Made once and never destroyed: exit handlers may run after Qt has
// gone (a lost display), and idle threads end with the process.
QThreadPool& helpers()
{
    static QThreadPool* const pool = new QThreadPool;
    return *pool;
}

} // namespace

void parallelFor(qsizetype count, qsizetype minChunk,
                 const std::function<void(qsizetype begin, qsizetype end)>& body)
{
    if (count <= 0)
        return;
    minChunk = std::max<qsizetype>(1, minChunk);
    const int threads = int(std::min<qsizetype>(workerCount(), (count + minChunk - 1) / minChunk));
    if (threads <= 1) {
        body(0, count);
        return;
    }
    // A few chunks per thread evens out threads that get less of the machine.
    const qsizetype chunks = std::min<qsizetype>(count, qsizetype(threads) * 4);
    const qsizetype chunkSize = (count + chunks - 1) / chunks;
    std::atomic<qsizetype> next{0};
    auto work = [&] {
        for (;;) {
            const qsizetype begin = next.fetch_add(chunkSize);
            if (begin >= count)
                return;
            body(begin, std::min(count, begin + chunkSize));
        }
    };
    QSemaphore finished;
    std::vector<std::unique_ptr<QRunnable>> helping;
    for (int t = 1; t < threads; ++t) {
        helping.emplace_back(QRunnable::create([&] {
            work();
            finished.release();
        }));
        helping.back()->setAutoDelete(false);
        helpers().start(helping.back().get());
    }
    work();
    // A helper that has not started yet (every pool thread busy, as in a nested call) is taken
    // back: this thread has done its share already.
    int running = 0;
    for (const auto& h : helping)
        running += helpers().tryTake(h.get()) ? 0 : 1;
    finished.acquire(running);
}

} // namespace isolumen
