#include "core/model/plane.h"

void Plane::findExtremes()
{
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    std::visit(
        [&](const auto& v) {
            for (const auto s : v) {
                const double d = double(s);
                // NaN fails both comparisons, so pixels without a value never count.
                lo = d < lo ? d : lo;
                hi = d > hi ? d : hi;
            }
        },
        samples);
    hasValues = lo <= hi;
    min = hasValues ? lo : 0;
    max = hasValues ? hi : 1;
    if (max == min)
        max += 1;
}
