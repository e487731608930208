#pragma once

#include "core/model/alignment.h"

#include <QRect>
#include <QString>
#include <optional>

class ImFile;
class Progress;

// Aligning the layers of an open file: the drift of every layer against a reference layer,
// estimated on one species, becomes the shifts applied to every species.

// The species (0-based) with the most counts in a layer (from 1): the default to align on.
int brightestSpecies(const ImFile& file, int layer);

// Estimates the drift of every complete layer of `species` against `referenceLayer` (from 1),
// on the pixels of `region` only when given. Absent when cancelled (problem empty) or when the
// drift cannot be estimated (problem says why).
std::optional<Alignment> alignLayers(const ImFile& file, int species, int referenceLayer,
                                     std::optional<QRect> region, bool subpixel, Progress* progress,
                                     QString* problem);
