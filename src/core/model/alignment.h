#pragma once

#include <vector>

// A layer's drift: where its content lies relative to the reference layer, in shown pixels,
// x to the right and y down. Aligning moves the layer by (-dx, -dy).
struct Shift
{
    double dx = 0;
    double dy = 0;
};

// The alignment of an acquisition's layers: one shift per layer (layer 1 first), applied to
// every species of the layer. Whole-pixel shifts (the shift rounded) keep counts exact;
// sub-pixel shifts interpolate bilinearly. Pixels that would come from outside the frame have
// no value.
struct Alignment
{
    std::vector<Shift> shifts;
    bool subpixel = false;
    int referenceSpecies = 0; // 0-based
    int referenceLayer = 1;   // from 1

    Shift forLayer(int layer) const
    {
        return layer >= 1 && layer <= int(shifts.size()) ? shifts[layer - 1] : Shift{};
    }
};
