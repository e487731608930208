#pragma once

#include "core/model/alignment.h"

#include <QtGlobal>
#include <vector>

// The steps of the drift estimate that work on numbers only: how many layers to sum, how much
// of the spectrum to trust, how sure a peak is, which peak to take, which shifts to distrust and
// how to fill them in. Pure functions, tested on their own.

namespace isolumen {

// The counts per pixel a sum of layers needs for a sure estimate.
constexpr double kBinCounts = 20;
// Below this confidence a shift is interpolated unless asked otherwise. Measured on single
// faint layers among layers of 500 counts per pixel (the benchmark's textures, 256 x 256): on
// the 040702 texture layers of 0.02 to 0.5 counts per pixel scored 0 to 0.43 and were off by
// 1 to 28 px, layers of 1 to 5 counts 0.50 to 0.72 and off by 0.4 to 0.8 px; well-exposed and
// binned layers score 0.67 to 0.93 on both textures.
constexpr double kDefaultMinConfidence = 0.4;

// The smallest number of consecutive layers whose sum holds kBinCounts per pixel, for layers of
// `countsPerPixel` (a typical layer), limited so that at least three sums remain of `layers`.
int automaticBin(double countsPerPixel, int layers);

// Standard deviation, in cycles per pixel, of the Gaussian low-pass weight on the cross-power
// spectrum in which the peak is looked for, for layers with `countsPerPixel`: sparse layers
// need a strong low-pass (counting noise fills the high frequencies); well-exposed ones keep
// their fine structure.
double peakLowPass(double countsPerPixel);

// A spectrum's power in rings around the constant (ring k holds the bins whose frequency
// rounds to k / n cycles per pixel, for a transform n wide), and the power that counting noise
// adds to every bin (the sum of the squared window times the counts).
struct RingPower
{
    std::vector<double> mean; // by ring
    double noise = 0;
};

// Weights, by ring, of the cross-power of a layer and a reference for fitting the summit. The
// layer holds the reference's texture at `ratio` times its counts, and counting noise of
// `layerNoise`. With s1 and s2 the texture's power in a ring of the layer and of the reference
// (the reference's ring mean less its noise, times ratio squared for the layer) and n1 and n2
// their noise, a bin's phase wanders by about (s1 n2 + s2 n1 + n1 n2) / (2 s1 s2) squared
// radians. The cross-power, whose magnitude is about sqrt(s1 s2), times
// sqrt(s1 s2) / (s1 n2 + s2 n1 + n1 n2) weighs each phase by how sure it is, which fits the
// shift by least squares over the phases. 0 where the reference holds no texture.
std::vector<double> summitWeights(const RingPower& reference, double ratio, double layerNoise);

// How far a correlation peak stands out of the surface's noise, 0 to 1: 1 - z0 / z, where z is
// the peak's height over the surface's mean in standard deviations and z0 = sqrt(2 ln N) is the
// height the highest of N samples of pure noise reaches. 0 at or below the noise.
double peakConfidence(double peak, double mean, double deviation, qsizetype samples);

// A candidate peak of a correlation surface.
struct PeakCandidate
{
    Shift at;
    double height = 0;
};

// One estimate: of a layer or of the sum of a bin of layers.
struct BlockEstimate
{
    double centre = 0;                     // mean of its layers (0-based)
    std::vector<PeakCandidate> candidates; // highest first
    int chosen = 0;                        // the candidate taken
    Shift shift;                           // where the chosen candidate's peak lies
    double confidence = 0;
    ShiftOrigin origin = ShiftOrigin::Measured;
};

// The share of the highest peak's height another candidate needs to be taken for being nearer.
// 0.7 left a 16-pixel grid's true peak, 11 pixels out, behind an alias nearer no shift at 0.65
// of its height (the test builder's grid case).
constexpr double kCandidateShare = 0.5;

// For every block, walking out from the reference block, takes the candidate nearest the
// previous block's shift among those at least kCandidateShare of the highest: periodic
// structure gives peaks a period apart, and the drift between neighbours is small. Sets
// chosen, and the shift of every block with candidates to the chosen one's.
void chooseNearestPeaks(std::vector<BlockEstimate>& blocks, int referenceBlock);

// Marks Jump every measured block more than maxStep pixels (on either axis) from the median
// of up to two measured neighbours on each side.
void flagJumps(std::vector<BlockEstimate>& blocks, double maxStep);

// A known shift at a (fractional) layer position.
struct ShiftPoint
{
    double at = 0;
    Shift shift;
};

// Shifts of layers 0..layers-1 by linear interpolation between the points (sorted by position),
// and linear extrapolation from the two nearest beyond the ends; all (0, 0) without points.
std::vector<Shift> interpolateShifts(const std::vector<ShiftPoint>& points, int layers);

} // namespace isolumen
