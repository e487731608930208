#pragma once

#include <QRgb>
#include <QString>
#include <array>
#include <optional>

// The twenty built-in colour tables. Each has 256 entries indexed by display level; entry 0 is
// white and entry 255 black in every table, and consumers read only entries 1 to 254.
using ColorTable = std::array<QRgb, 256>;

struct Catalogue
{
    std::array<ColorTable, 20> lut{};
    std::array<QString, 20> lutname{};
};

// Reads the twenty table texts, one a line: the name, then entries 0 to 255 as decimal
// 0xRRGGBB values, 257 fields separated by ",". Returns nothing, and the first fault found in
// error, when the text is not exactly that.
std::optional<Catalogue> parseCatalogue(const QString& text, QString* error = nullptr);

namespace Globals {

// The catalogue, built once from the twenty table texts compiled into the program.
const Catalogue& catalogue();

// Entry j (0 to 255) of table i (0 to 19), as 0xRRGGBB in a QRgb.
inline QRgb lut(int i, int j)
{
    return catalogue().lut[i][j];
}

inline const QString& lutname(int i)
{
    return catalogue().lutname[i];
}

} // namespace Globals
