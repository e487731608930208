#pragma once

#include "core/model/alignment.h"

#include <QtGlobal>
#include <vector>

namespace isolumen {

// Layers of a known drift for tests and the benchmark: a cell-like texture (a log-normal random
// field with a falling spectrum), moved by Fourier sub-pixel shifts along a smooth random walk
// with a slow trend, cut from a larger field so that content enters the frame as it drifts, and
// counted with Poisson noise.
struct DriftCase
{
    int side = 128;
    int layers = 10;
    double counts = 5;          // mean counts per pixel of a layer
    double step = 0.15;         // standard deviation of a step of the walk, per axis, in pixels
    Shift trend{0.1, -0.06};    // drift per layer on top of the walk
    bool grid = false;          // a 16-pixel grid dominates the texture
    bool hotSpot = false;       // a bright spot that does not drift
    std::vector<int> empty;     // layers (0-based) recorded without counts
    double faint = 1;           // a layer's share of the counts for layers in `faintLayers`
    std::vector<int> faintLayers;
    quint32 seed = 1;
    // A recorded plane to use as the texture (shown orientation, row-major), lightly smoothed;
    // used when at least as wide as the field, else the texture is synthesized.
    std::vector<float> texture;
    int textureSide = 0;
};

// The period of the grid, in pixels.
constexpr int kGridPeriod = 16;

struct DriftStack
{
    int side = 0;
    std::vector<Shift> truth;               // layer 0 at (0, 0)
    std::vector<std::vector<float>> layers; // shown orientation, row-major
};

DriftStack makeDriftStack(const DriftCase& c);

// The RMS distance of estimated shifts from the truth, both taken relative to layer `reference`.
double rmsError(const std::vector<Shift>& estimated, const std::vector<Shift>& truth,
                int reference = 0);

// The RMS distance of estimated shifts from the truth less their mean distance: how far the
// aligned layers lie from each other, whatever the reference's own error.
double alignmentError(const std::vector<Shift>& estimated, const std::vector<Shift>& truth);

// The largest distance of a layer's estimated shift from the truth, both relative to layer 0.
double worstError(const std::vector<Shift>& estimated, const std::vector<Shift>& truth);

} // namespace isolumen
