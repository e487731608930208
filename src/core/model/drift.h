#pragma once

#include "core/model/alignment.h"
#include "core/model/driftsteps.h"
#include "core/result.h"

#include <QRect>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace isolumen {

class Progress;

// Estimating how far the sample drifted between the layers of an acquisition, so that the
// layers can be aligned before they are summed. Pure: layers come in through a callback, shifts
// go out as numbers; only FFTW's record of the plans it measured outlives a call.

// Reads layer `layer` (0-based) as side * side values, row-major in shown orientation (value
// (x, y) at y * side + x), into `into`, resizing it. Called from several threads at once.
// Returns false when the layer cannot be read.
using LayerSource = std::function<bool(int layer, std::vector<float>& into)>;

// What the drift is estimated against, and how.
struct DriftOptions
{
    int referenceLayer = 0;      // 0-based
    std::optional<QRect> region; // shown pixels to align on, clipped to the frame; absent: all
    int bin = 0;                 // layers summed per estimate; 0: chosen from the counts
    double minConfidence = kDefaultMinConfidence; // less sure shifts are interpolated
    std::optional<double> maxStep; // pixels from the neighbours' shifts; absent: side / 8
    std::vector<bool> excluded;    // by layer (may be shorter): left out, interpolated
    std::vector<std::optional<Shift>> byHand; // by layer (may be shorter): kept as given
};

// The drift of every layer, with how sure each is and where it comes from.
struct DriftEstimate
{
    std::vector<Shift> shifts;
    std::vector<double> confidences; // 0 to 1; 0 for layers without an estimate of their own
    std::vector<ShiftOrigin> origins;
    int bin = 1; // layers summed per estimate
};

// One shift per layer, by phase correlation against the reference layer: up to half the aligned
// width or height either way, to a tenth of a pixel or better while the layers share most of
// their content and hold some hundreds of counts per pixel. Layers are summed in bins of
// consecutive layers when sparse; a layer between bin centres, an empty or excluded layer, and
// a layer whose estimate is unsure or jumps away from its neighbours' get a shift interpolated
// from the others. The reference reads exactly (0, 0). A Failure when the input is unusable or
// a layer cannot be read (saying why, layers numbered from 1), and one without a message when
// cancelled through progress.
Result<DriftEstimate> estimateDrift(int side, int layerCount, const LayerSource& source,
                                    const DriftOptions& options, Progress* progress = nullptr);

} // namespace isolumen
