#pragma once

#include "core/io/counttiff.h"
#include "core/model/plane.h"
#include "core/result.h"

#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace isolumen {

struct PlaneRequest;

// A plane's values as a page of a count TIFF: in the type the export asks for (see exportType),
// else counts in their own integer type (a layer as the file stores it, a sum in 32 bits) and a
// sum too large for 32 bits as 64-bit float. Owns the converted samples where a conversion was
// needed.
struct CountPage
{
    CountType type = CountType::UInt16;
    const void* samples = nullptr;
    std::vector<float> converted32;
    std::vector<double> converted64;
};

CountPage countPage(const Plane& plane, std::optional<CountType> as);

// The one type every page of an export of planes like `like` is written in, where it is not the
// counts' own: ratios and single corrected or shifted layers as 32-bit float (NaN for no value);
// sums of corrected or shifted counts as 64-bit float, which holds them exactly where 32-bit
// float loses counts above 2^24; a stack of sums of 4-byte counts as 64-bit float, since one of
// them may not fit 32 bits and a stack has one type. fileBytesPerSample: the file's, 2 or 4.
std::optional<CountType> exportType(const PlaneRequest& like, int fileBytesPerSample, qint64 pages);

// Writes the pages of stack, each a plane like `like`, as a count TIFF at path, complete or
// nothing. planes(i) gives the plane of page i, or fails saying why. The first page decides
// the type where exportType does not.
Result<> writeCountTiff(const QString& path, const CountStack& stack, const PlaneRequest& like,
                        int fileBytesPerSample,
                        const std::function<Result<PlanePtr>(int i)>& planes);

} // namespace isolumen
