#pragma once

#include "core/result.h"

#include <QRgb>
#include <QString>
#include <array>
#include <optional>

namespace isolumen {

// The twenty built-in colour tables. Each has 256 entries indexed by display level; entry 0 is
// white and entry 255 black in every table, and consumers read only entries 1 to 254.
using ColourTable = std::array<QRgb, 256>;

// The twenty tables and their names ("01 Hot Metal" to "20 World Colors Rainbow").
struct Catalogue
{
    std::array<ColourTable, 20> lut{};
    std::array<QString, 20> lutname{};
};

// Reads the twenty table texts, one a line: the name, then entries 0 to 255 as decimal
// 0xRRGGBB values, 257 fields separated by ",". Returns nothing, and the first fault found in
// error, when the text is not exactly that.
Result<Catalogue> parseCatalogue(const QString& text);

constexpr int kTableCount = 20;

// The catalogue, built once from the twenty table texts compiled into the program. Damaged
// texts (which the build checks against their generator) give grey ramps instead.
const Catalogue& catalogue();

// Table i (0 to 19) and its name ("10 Rainbow" for index 9).
inline const ColourTable& colourTable(int i)
{
    return catalogue().lut[i];
}

inline const QString& colourTableName(int i)
{
    return catalogue().lutname[i];
}

} // namespace isolumen
