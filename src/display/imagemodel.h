#pragma once

#include "colour/catalogue.h"
#include "rawfile/framereader.h"

#include <QRgb>
#include <QString>
#include <optional>

class QIODevice;
struct ImHeader;

// The state of one image window: the loaded plane, its extremes, the display range, the scaling
// mode and the window's own colour table. The window holds one and changes it only through the
// functions below; it owns nothing else of the picture.
struct ImageModel
{
    bool LogScale = false;    // the value axis is logarithmic; image pixels never depend on it
    int IDnumber = 0;         // species index, 0-based
    bool AutoMax = true;      // the top of the display range follows the plane's maximum
    bool AutoMin = true;      // the bottom follows the plane's minimum
    Plane ImArray;            // the loaded samples; ImArray.side is 0 before the first load
    double ImArrayMax = 0;    // largest sample, raised by 1 for a flat plane
    double ImArrayMin = 0;    // smallest sample
    double ColorMinValue = 0; // value at the bottom of the colour ramp
    double ColorMaxValue = 0; // value at the top of the colour ramp
    ColorTable MyLUT = windowTable(9, qRgb(255, 255, 255), qRgb(153, 153, 153));
    int MyLUTnumber = 9; // catalogue index (0 to 19) of the ramp in MyLUT

    // A window's own table: entries 1 to 254 from catalogue table `table`, entry 0 the low
    // colour and entry 255 the high colour. The catalogue's own entries 0 and 255 are never
    // used. Every entry is opaque (alpha 0xFF), whatever alpha the colours came with.
    static ColorTable windowTable(int table, QRgb high, QRgb low);
};

// The colour selector's choice: table index 0 to 19 with the high and low colours. Returns false
// and changes nothing for an index outside the catalogue.
bool SetColors(ImageModel& m, int table, QRgb high, QRgb low);

// Caption of the window's colour button for a table index: "Color T: 10" for index 9.
QString colorButtonCaption(int table);

// Reads the frame of species `species` in plane `plane` (both counted from 1) of an open file
// with frames of side x side samples. Bytes the file does not hold read as 0. Absent only when
// the memory for the frame cannot be had or side is not positive.
std::optional<Plane> loadPlane(QIODevice& stream, const ImHeader& header, int side, int species,
                               int plane);

// Takes a freshly read plane into the model and settles the display range: a limit in automatic
// mode becomes the plane's extreme, a manual one the number in its field's text (0 when the text
// is not a number). The caller then writes Str(ColorMinValue) / Str(ColorMaxValue) into the
// fields of automatic limits.
void takePlane(ImageModel& m, Plane plane, const QString& minFieldText,
               const QString& maxFieldText);

// A load as the window makes it: loadPlane, then takePlane. Returns false, leaving the model as
// it was, when the memory for the frame cannot be had.
bool loadIntoModel(ImageModel& m, QIODevice& stream, const ImHeader& header, int side, int species,
                   int plane, const QString& minFieldText, const QString& maxFieldText);

// The display range part of takePlane, for a model that already holds its plane.
void settleDisplayRange(ImageModel& m, const QString& minFieldText, const QString& maxFieldText);
