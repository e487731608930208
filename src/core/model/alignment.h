#pragma once

#include <QRect>
#include <optional>
#include <vector>

namespace isolumen {

// A layer's drift: where its content lies relative to the reference layer, in shown pixels,
// x to the right and y down. Aligning moves the layer by (-dx, -dy).
struct Shift
{
    double dx = 0;
    double dy = 0;

    bool operator==(const Shift&) const = default;
    Shift operator+(Shift other) const { return {dx + other.dx, dy + other.dy}; }
    Shift operator-(Shift other) const { return {dx - other.dx, dy - other.dy}; }
};

// Where a layer's shift comes from. Every origin but Measured and Hand means the shift was
// interpolated from the neighbouring layers, for the reason it names.
enum class ShiftOrigin
{
    Measured,      // estimated on the layer (or on the bin of layers it belongs to)
    Hand,          // set by hand; kept when the alignment is estimated again
    Empty,         // the layer has no counts
    LowConfidence, // the correlation peak hardly stood out of its noise
    Jump,          // too far from the neighbouring layers' shifts
    Excluded,      // the layer is left out of sums and alignment
};

// How the drift is estimated: kept with the alignment so that estimating it again (after a hand
// edit, say) asks the same.
struct AlignmentSettings
{
    int bin = 0;                    // layers summed per estimate; 0: chosen from the counts
    std::optional<QRect> region;    // shown pixels to align on; absent: the whole frame
    std::optional<double> minConfidence; // absent: the default
    std::optional<double> maxStep;       // pixels; absent: an eighth of the side

    bool operator==(const AlignmentSettings&) const = default;
};

// The alignment of an acquisition's layers: one shift per layer (layer 1 first), applied to
// every species of the layer. Whole-pixel shifts (the shift rounded) keep counts exact;
// sub-pixel shifts interpolate bilinearly. Pixels that would come from outside the frame have
// no value. Confidences and origins run beside the shifts; they may be empty (shifts given
// whole, as by a test).
struct Alignment
{
    std::vector<Shift> shifts;
    std::vector<double> confidences; // 0 to 1, see the drift estimate
    std::vector<ShiftOrigin> origins;
    bool subpixel = false;
    int referenceSpecies = 0; // 0-based
    int referenceLayer = 1;   // from 1
    AlignmentSettings settings;
    int usedBin = 1; // layers summed per estimate, as chosen

    Shift forLayer(int layer) const
    {
        return layer >= 1 && layer <= int(shifts.size()) ? shifts[layer - 1] : Shift{};
    }
    double confidence(int layer) const
    {
        return layer >= 1 && layer <= int(confidences.size()) ? confidences[layer - 1] : 1.0;
    }
    ShiftOrigin origin(int layer) const
    {
        return layer >= 1 && layer <= int(origins.size()) ? origins[layer - 1]
                                                           : ShiftOrigin::Measured;
    }
    // Sets a layer's shift by hand.
    void setByHand(int layer, Shift shift)
    {
        if (layer < 1 || layer > int(shifts.size()))
            return;
        origins.resize(shifts.size(), ShiftOrigin::Measured);
        confidences.resize(shifts.size(), 1.0);
        shifts[layer - 1] = shift;
        origins[layer - 1] = ShiftOrigin::Hand;
    }
};

} // namespace isolumen
