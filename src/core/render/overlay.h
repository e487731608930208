#pragma once

#include "core/render/figure.h"
#include "core/result.h"
#include "core/stats/autorange.h"
#include "core/stats/findregions.h"

#include <QImage>
#include <QList>
#include <QRgb>
#include <QString>
#include <optional>
#include <utility>
#include <variant>

namespace isolumen {

struct Plane;

// Composite pictures of two or three sources, each drawn in a colour of its own.

// One source of an overlay: its plane, its colour and the range that maps it from 0 (low) to
// 1 (high).
struct OverlayChannel
{
    const Plane* plane = nullptr;
    QRgb colour = 0;
    double low = 0;
    double high = 1;
};

// How a channel's range is set: typed, or else automatically as an image window's automatic range
// (the plane's extremes, or two percentiles of its pixels with a value).
struct OverlayRange
{
    AutoRangeChoice automatic;
    std::optional<std::pair<double, double>> typed;
};
std::pair<double, double> overlayRange(const Plane& plane, const OverlayRange& range);

// The colour sets offered: red, green, blue; or magenta, green, cyan, which readers with a
// red-green colour vision deficiency tell apart.
enum class OverlayColours { RedGreenBlue, MagentaGreenCyan };
QList<QRgb> overlayColours(OverlayColours set);

// The overlay picture, side x side pixels as shown (no frame): each component is the sum over
// the channels of the channel colour's component times the channel's mapped value, clamped to
// 255. A pixel where a source has no value takes nothing from it. The channels' planes must
// have the same side; null when there is no channel.
QImage overlayPicture(const QList<OverlayChannel>& channels);

// The legend a window shows in its colour bar's place, width x height: per channel its name, a
// ramp from black to its colour, and its range's ends under the ramp's ends.
QImage overlayLegend(const QList<FigureLegendEntry>& channels, QSize size);

// One source of an overlay as chosen: a species, a sum or a ratio (its segmentation options
// unused), and its range.
struct OverlaySource
{
    RegionFinding source;
    OverlayRange range;
};
struct OverlayDefinition
{
    QList<OverlaySource> sources; // two or three
    OverlayColours colours = OverlayColours::RedGreenBlue;
};

// The planes of the sources over the layers first..last, under the acquisition's corrections and
// alignment; or why there are none. A sum of layers not yet computed reports to progress.
Result<QList<PlanePtr>> overlayPlanes(const OverlayDefinition& definition,
                                      std::pair<int, int> layers, const Acquisition& acquisition,
                                      Progress* progress = nullptr);
// The channels of those planes, each in the set's colour of its place and over its range.
QList<OverlayChannel> overlayChannels(const OverlayDefinition& definition,
                                      const QList<PlanePtr>& planes);

} // namespace isolumen
