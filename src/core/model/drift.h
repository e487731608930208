#pragma once

#include "core/model/alignment.h"

#include <QRect>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

class Progress;

// Estimating how far the sample drifted between the layers of an acquisition, so that the
// layers can be aligned before they are summed. Pure: layers come in through a callback, shifts
// go out as numbers; only FFTW's record of the plans it measured outlives a call.

// Reads layer `layer` (0-based) as side * side values, row-major in shown orientation (value
// (x, y) at y * side + x), into `into`, resizing it. Called from several threads at once.
// Returns false when the layer cannot be read.
using LayerSource = std::function<bool(int layer, std::vector<float>& into)>;

// What the drift is estimated against.
struct DriftOptions
{
    int referenceLayer = 0;      // 0-based
    std::optional<QRect> region; // shown pixels to align on, clipped to the frame; absent: all
};

// One shift per layer, by phase correlation against the reference layer: up to half the aligned
// width or height either way, to a tenth of a pixel or better while the layers share most of
// their content. The reference reads exactly (0, 0). Absent when cancelled through progress
// (problem left empty) or when the input is unusable or a layer cannot be read (problem says
// why, layers numbered from 1).
std::optional<std::vector<Shift>> estimateDrift(int side, int layerCount, const LayerSource& source,
                                                const DriftOptions& options,
                                                Progress* progress = nullptr,
                                                QString* problem = nullptr);
