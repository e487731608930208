#include "core/model/alignlayers.h"

#include "core/imfile/imfile.h"
#include "core/model/drift.h"

#include <numeric>

int brightestSpecies(const ImFile& file, int layer)
{
    const int side = file.frameSide().value_or(0);
    int best = 0;
    double most = -1;
    std::vector<double> values(size_t(side) * side);
    std::vector<uchar> scratch;
    for (int s = 0; s < file.header().usableSpecies(); ++s) {
        file.readFrameRows(s + 1, layer, 0, side, values.data(), scratch);
        const double total = std::accumulate(values.begin(), values.end(), 0.0);
        if (total > most) {
            most = total;
            best = s;
        }
    }
    return best;
}

std::optional<Alignment> alignLayers(const ImFile& file, int species, int referenceLayer,
                                     std::optional<QRect> region, bool subpixel, Progress* progress,
                                     QString* problem)
{
    const int side = file.frameSide().value_or(0);
    const int layers = file.completePlanes();
    if (side <= 0 || species < 0 || species >= file.header().usableSpecies() ||
        referenceLayer < 1 || referenceLayer > layers) {
        if (problem)
            *problem = QStringLiteral("There is no such layer or species to align on.");
        return std::nullopt;
    }
    DriftOptions options;
    options.referenceLayer = referenceLayer - 1;
    options.region = region;
    const LayerSource source = [&](int layer, std::vector<float>& into) {
        into.resize(size_t(side) * side);
        std::vector<uchar> scratch;
        file.readFrameRows(species + 1, layer + 1, 0, side, into.data(), scratch);
        return true;
    };
    std::optional<std::vector<Shift>> shifts =
        estimateDrift(side, layers, source, options, progress, problem);
    if (!shifts)
        return std::nullopt;
    Alignment alignment;
    alignment.shifts = std::move(*shifts);
    alignment.subpixel = subpixel;
    alignment.referenceSpecies = species;
    alignment.referenceLayer = referenceLayer;
    return alignment;
}
