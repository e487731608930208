#pragma once

#include <optional>
#include <utility>

namespace isolumen {

struct Plane;
struct Region;

// Where the automatic display range comes from.
enum class AutoRange {
    Full,       // the plane's minimum and maximum
    Percentile, // the values at two percentiles of the pixels with a value
    Region,     // the minimum and maximum inside the selected region
};

struct AutoRangeChoice
{
    static constexpr double kDefaultLow = 0.1;
    static constexpr double kDefaultHigh = 99.9;

    AutoRange mode = AutoRange::Full;
    double low = kDefaultLow;   // percent
    double high = kDefaultHigh; // percent
};

// The values at percentiles low and high (0 to 100) of the pixels that have a value, exact:
// the value at rank p / 100 x (n - 1) of the n sorted values, between two ranks interpolated
// linearly. Absent when no pixel has a value or the percentiles are not 0 <= low <= high <= 100.
std::optional<std::pair<double, double>> percentileRange(const Plane& plane, double low,
                                                         double high);

// The minimum and maximum of the pixels with a value inside region; absent when it holds none.
std::optional<std::pair<double, double>> regionRange(const Plane& plane, const Region& region);

// The automatic range of a plane under a choice: the plane's extremes for Full, for a region
// mode without a region, and where the choice gives no range with bottom < top.
std::pair<double, double> automaticRange(const Plane& plane, const AutoRangeChoice& choice,
                                         const Region* region);

} // namespace isolumen
