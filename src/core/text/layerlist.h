#pragma once

#include <QString>
#include <optional>
#include <vector>

// Lists of layers as users type them: "3,7-9". Layers count from 1.

namespace isolumen {

// Far more layers than a file holds, and few enough to list.
constexpr int kMostListedLayer = 1 << 20;

// The layers of a list, sorted and without repeats; an empty text is no layers. Absent when the
// text is not such a list (a number below 1 or above kMostListedLayer, a range that runs
// backwards, anything but digits, commas and hyphens; blanks around items are allowed).
std::optional<std::vector<int>> parseLayerList(const QString& text);

// The shortest list of sorted layers: runs of three or more as ranges ("1,2,7-9").
QString layerListText(const std::vector<int>& layers);

} // namespace isolumen
