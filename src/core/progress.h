#pragma once

#include <QtGlobal>
#include <atomic>

namespace isolumen {

// Progress and cancellation of one piece of long work, shared between the threads that do it
// and the one that shows it. The work sets a total, advances as it goes and stops soon after
// cancelled() turns true; a cancelled piece of work changes nothing it does not own.
class Progress
{
public:
    void setTotal(qint64 total) { m_total.store(total, std::memory_order_relaxed); }
    void advance(qint64 steps = 1) { m_done.fetch_add(steps, std::memory_order_relaxed); }
    qint64 total() const { return m_total.load(std::memory_order_relaxed); }
    qint64 done() const { return m_done.load(std::memory_order_relaxed); }
    // 0 to 1; 0 while no total is known.
    double fraction() const
    {
        const qint64 t = total();
        return t > 0 ? qBound(0.0, double(done()) / double(t), 1.0) : 0.0;
    }

    void cancel() { m_cancelled.store(true, std::memory_order_relaxed); }
    bool cancelled() const { return m_cancelled.load(std::memory_order_relaxed); }

private:
    std::atomic<qint64> m_total{0};
    std::atomic<qint64> m_done{0};
    std::atomic<bool> m_cancelled{false};
};

// For work that may be given no Progress.
inline bool isCancelled(const Progress* p)
{
    return p && p->cancelled();
}
inline void advance(Progress* p, qint64 steps = 1)
{
    if (p)
        p->advance(steps);
}

} // namespace isolumen
