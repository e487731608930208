#pragma once

#include "core/colour/catalogue.h"
#include "core/stats/autorange.h"

#include <QRgb>
#include <QString>

namespace isolumen {

struct Plane;
struct Region;

// The colours the colour selector offers for values out of range and pixels without a value;
// a window starts with white above, grey below and black without a value.
namespace ChoiceColours {
constexpr QRgb kWhite = 0xFFFFFF;
constexpr QRgb kGrey = 0x999999; // (153, 153, 153)
constexpr QRgb kBlack = 0x000000;
} // namespace ChoiceColours

// The colour selector's choice: a catalogue table (0 to 19) with the colours of values above
// and below the range and of pixels without a value.
struct ColourChoice
{
    int table = 9;
    QRgb high = ChoiceColours::kWhite;
    QRgb low = ChoiceColours::kGrey;
    QRgb noValue = ChoiceColours::kBlack;
};

// How one image window shows its plane: the display range and whether each limit follows the
// plane, the scaling of the value axis, and the window's own colour table. A window holds one
// and changes it only through the functions below; --export builds one from its options.
struct DisplaySettings
{
    static constexpr int kDefaultTable = 9; // "10 Rainbow"

    bool logScale = false; // the value axis is logarithmic; image pixels never depend on it
    bool autoMin = true;   // the bottom of the display range follows the plane's minimum
    bool autoMax = true;   // the top follows the plane's maximum
    AutoRangeChoice autoRange; // what the automatic limits follow
    double minValue = 0;                 // value at the bottom of the colour ramp
    double maxValue = 0;                 // value at the top of the colour ramp
    int table = kDefaultTable;
    QRgb high = ChoiceColours::kWhite;    // values above the range
    QRgb low = ChoiceColours::kGrey;      // values below the range
    QRgb noValue = ChoiceColours::kBlack; // pixels without a value (a ratio without a denominator)
    ColourTable lut = windowTable(kDefaultTable, ChoiceColours::kWhite, ChoiceColours::kGrey);

    // A window's own table: entries 1 to 254 from catalogue table `table`, entry 0 the low
    // colour and entry 255 the high colour. The catalogue's own entries 0 and 255 are never
    // used. Every entry is opaque, whatever alpha the colours came with.
    static ColourTable windowTable(int table, QRgb high, QRgb low);
};

// Takes the colour selector's choice. Returns false and changes nothing for a table outside the
// catalogue.
bool setColours(DisplaySettings& s, const ColourChoice& choice);
ColourChoice colours(const DisplaySettings& s);

// Settles the display range for a freshly loaded plane: a limit in automatic mode becomes the
// automatic range's end (automaticRange, with the selected region if any), a manual
// one the number in its field's text (0 when the text is not a number).
void settleDisplayRange(DisplaySettings& s, const Plane& plane, const QString& minFieldText,
                        const QString& maxFieldText, const Region* region = nullptr);

// Caption of the window's colour button for a table index: "Color T: 10" for index 9.
QString colourButtonCaption(int table);

} // namespace isolumen
