#pragma once

#include <QtGlobal>
#include <cmath>
#include <limits>
#include <memory>
#include <variant>
#include <vector>

namespace isolumen {

// One picture's worth of values in shown orientation: side x side values, row-major, the value
// at shown (x, y) at index y * side + x. Counts keep the file's integer type (a layer of a
// 2-byte file stays 16-bit), so a window holds a quarter of what doubles would take; values
// that are not whole numbers (ratios, corrected counts, shifted layers) are doubles, NaN where
// a pixel has no value.
struct Plane
{
    using Samples = std::variant<std::vector<quint16>, std::vector<quint32>, std::vector<double>>;

    int side = 0;
    Samples samples;
    // Extremes over the pixels that have a value. max is raised by 1 for a flat plane, so that
    // min < max always holds for a plane with values.
    double min = 0;
    double max = 0;
    bool hasValues = false; // false when no pixel has a value

    qsizetype size() const { return qsizetype(side) * side; }
    // Whether the values are counts (integers), not ratios or corrected values.
    bool wholeNumbers() const { return !std::holds_alternative<std::vector<double>>(samples); }

    // The value at shown (x, y); NaN where the pixel has no value or lies outside.
    double value(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= side || y >= side)
            return std::numeric_limits<double>::quiet_NaN();
        const qsizetype i = qsizetype(y) * side + x;
        return std::visit([i](const auto& v) { return double(v[i]); }, samples);
    }

    // Sets min, max and hasValues from the samples, on all cores for a large plane.
    void findExtremes();
    // Sets min, max and hasValues from extremes found elsewhere (lo > hi: no value).
    void setExtremes(double lo, double hi);
};

using PlanePtr = std::shared_ptr<const Plane>;

} // namespace isolumen
