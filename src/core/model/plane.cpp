#include "core/model/plane.h"

#include "core/parallel.h"

#include <mutex>

namespace isolumen {

void Plane::findExtremes()
{
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    std::mutex lock;
    std::visit(
        [&](const auto& v) {
            using T = typename std::decay_t<decltype(v)>::value_type;
            parallelFor(qsizetype(v.size()), 1 << 18, [&](qsizetype begin, qsizetype end) {
                // Compared in the samples' own type, which the compiler vectorizes. NaN fails
                // both comparisons, so pixels without a value never count.
                T low = std::numeric_limits<T>::has_infinity ? std::numeric_limits<T>::infinity()
                                                             : std::numeric_limits<T>::max();
                T high =
                    std::numeric_limits<T>::has_infinity ? -low : std::numeric_limits<T>::lowest();
                for (qsizetype i = begin; i < end; ++i) {
                    low = v[i] < low ? v[i] : low;
                    high = v[i] > high ? v[i] : high;
                }
                const std::lock_guard<std::mutex> guard(lock);
                if (begin < end) {
                    lo = std::min(lo, double(low));
                    hi = std::max(hi, double(high));
                }
            });
        },
        samples);
    setExtremes(lo, hi);
}

void Plane::setExtremes(double lo, double hi)
{
    hasValues = lo <= hi;
    min = hasValues ? lo : 0;
    max = hasValues ? hi : 1;
    if (max == min)
        max += 1;
}

} // namespace isolumen
