#include "core/model/alignlayers.h"

#include "core/imfile/imfile.h"
#include "core/model/drift.h"

#include <numeric>

namespace isolumen {

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

QString interpolationReason(ShiftOrigin origin)
{
    switch (origin) {
    case ShiftOrigin::Empty:
        return QStringLiteral("no counts");
    case ShiftOrigin::LowConfidence:
        return QStringLiteral("low confidence");
    case ShiftOrigin::Jump:
        return QStringLiteral("too far from its neighbours' shifts");
    case ShiftOrigin::Excluded:
        return QStringLiteral("excluded");
    case ShiftOrigin::Measured:
    case ShiftOrigin::Hand:
        break;
    }
    return {};
}

Result<Alignment> alignLayers(const ImFile& file, const AlignRequest& request, Progress* progress)
{
    const int side = file.frameSide().value_or(0);
    const int layers = file.completePlanes();
    const int species = request.species;
    if (side <= 0 || species < 0 || species >= file.header().usableSpecies() ||
        request.referenceLayer < 1 || request.referenceLayer > layers)
        return Failure{QStringLiteral("There is no such layer or species to align on.")};
    const AlignmentSettings& settings = request.settings;
    DriftOptions options;
    options.referenceLayer = request.referenceLayer - 1;
    options.region = settings.region;
    options.bin = settings.bin;
    options.minConfidence = settings.minConfidence.value_or(options.minConfidence);
    options.maxStep = settings.maxStep;
    options.excluded = request.excluded;
    if (const Alignment* before = request.previous.get()) {
        options.byHand.resize(before->shifts.size());
        for (int l = 1; l <= int(before->shifts.size()); ++l) {
            if (before->origin(l) == ShiftOrigin::Hand)
                options.byHand[std::size_t(l - 1)] = before->forLayer(l);
        }
    }
    const LayerSource source = [&](int layer, std::vector<float>& into) {
        into.resize(size_t(side) * side);
        std::vector<uchar> scratch;
        file.readFrameRows(species + 1, layer + 1, 0, side, into.data(), scratch);
        return true;
    };
    Result<DriftEstimate> drift = estimateDrift(side, layers, source, options, progress);
    if (!drift)
        return drift.error();
    Alignment alignment;
    alignment.shifts = std::move(drift->shifts);
    alignment.confidences = std::move(drift->confidences);
    alignment.origins = std::move(drift->origins);
    alignment.usedBin = drift->bin;
    alignment.settings = settings;
    alignment.subpixel = request.subpixel;
    alignment.referenceSpecies = species;
    alignment.referenceLayer = request.referenceLayer;
    return alignment;
}

} // namespace isolumen
