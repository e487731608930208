#include "core/parallel.h"

#include <QThread>
#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

int workerCount()
{
    return std::max(1, QThread::idealThreadCount());
}

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
    std::vector<std::thread> pool;
    pool.reserve(threads - 1);
    for (int t = 1; t < threads; ++t)
        pool.emplace_back(work);
    work();
    for (std::thread& t : pool)
        t.join();
}
