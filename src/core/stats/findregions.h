#pragma once

#include "core/model/acquisition.h"
#include "core/result.h"
#include "core/stats/segmentation.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <variant>

namespace isolumen {

// What cells are found in: a species, a sum of species, or a ratio of species or sums, over one
// range of layers, with the segmentation's options.
struct RegionFinding
{
    RatioDefinition terms; // without a denominator: the numerator's species summed
    SegmentationOptions options;
};

// A source as text: a species, a sum "A+B" or a ratio "A/B" of species or sums
// (parseRatioTerms). Absent when the text is none of these.
std::optional<RegionFinding> parseFindingSource(const QString& text, const QStringList& labels);

// The plane of a finding's source over the layers first..last (a sum when they differ), under
// the acquisition's corrections and alignment; or why there is none. A sum of layers not yet
// computed reports to progress and stops when it is cancelled.
Result<PlanePtr> findingPlane(const RegionFinding& f, std::pair<int, int> layers,
                              const Acquisition& acquisition, Progress* progress = nullptr);
// The requests findingPlane asks the acquisition for, to tell whether it answers at once.
QList<PlaneRequest> findingRequests(const RegionFinding& f, std::pair<int, int> layers,
                                    const Acquisition& acquisition);
// The source as text, each species by its label: "12C", "12C+13C" or "13C/12C".
QString findingSourceText(const RegionFinding& f, const QStringList& labels);

// The cells found in a plane, as polygon regions along their pixels' edges named "Cell N".
QList<Region> foundRegions(const Plane& plane, const SegmentationOptions& options);

} // namespace isolumen
