#pragma once

#include "core/model/plane.h"
#include "core/model/ratiodefinition.h"
#include "core/result.h"

#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace isolumen {

class ImFile;
class Progress;
struct Alignment;
struct Corrections;

// The pure computations behind the acquisition model's planes: one species' counts over one
// layer or the sum of a range of layers, corrected and aligned as asked, and the ratio of two
// such planes. Work is spread over all cores by bands of rows, and a sum never holds more than
// its result and one band per core of a layer.

// Progress units of a species plane: one per row of every layer read.
qint64 speciesPlaneWork(int side, int firstLayer, int lastLayer);

// A plane as built, with what it lost to saturated detectors.
struct BuiltPlane
{
    std::shared_ptr<Plane> plane;
    qint64 saturatedPixels = 0; // pixels that lost their value to a saturated detector
};

// The plane of a species (0-based) over layers firstLayer..lastLayer (from 1; a sum when
// lastLayer > firstLayer) of an accepted file with a frame side, each layer corrected as
// `corrections` (when given) say for its file. Uncorrected and unaligned
// counts keep an integer type: a layer the file's, a sum 32-bit while every value fits, else
// double. With a correction or an alignment the values are doubles, and a sum has a value only
// where every summed layer has one. Absent, with the reason in error, when cancelled or when
// the memory cannot be had. A sum leaves out the `excluded` layers (from 1, sorted).
Result<BuiltPlane> buildSpeciesPlane(const ImFile& file, int species, int firstLayer, int lastLayer,
                                     const Corrections* corrections, const Alignment* alignment,
                                     Progress* progress, const std::vector<int>& excluded = {});

// The ratio's value (scale x N / D in its unit) at every pixel where D > tD and N >= tN (both
// with values), N and D the sums of the terms' species; elsewhere no value. A numerator of 0
// over a positive denominator is a valid ratio of 0.
std::shared_ptr<Plane> buildRatioPlane(const Plane& numerator, const Plane& denominator,
                                       const RatioDefinition& terms);

} // namespace isolumen
