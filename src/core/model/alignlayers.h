#pragma once

#include "core/model/alignment.h"
#include "core/result.h"

#include <QRect>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace isolumen {

class ImFile;
class Progress;

// Aligning the layers of an open file: the drift of every layer against a reference layer,
// estimated on one species, becomes the shifts applied to every species.

// The species (0-based) with the most counts in a layer (from 1): the default to align on.
int brightestSpecies(const ImFile& file, int layer);

// Why a layer's shift was interpolated, for the user ("no counts", ...); empty for a shift
// measured or set by hand.
QString interpolationReason(ShiftOrigin origin);

// What an alignment is estimated with, beside the file.
struct AlignRequest
{
    int species = 0;        // 0-based
    int referenceLayer = 1; // from 1
    AlignmentSettings settings;
    std::vector<bool> excluded; // by layer from 0; left out and interpolated
    bool subpixel = false;
    // The alignment estimated before, whose shifts set by hand are kept; may be null.
    std::shared_ptr<const Alignment> previous;
};

// Estimates the drift of every complete layer of the species against the reference layer.
// A Failure saying why when the drift cannot be estimated, and one without a message when
// cancelled.
Result<Alignment> alignLayers(const ImFile& file, const AlignRequest& request, Progress* progress);

} // namespace isolumen
