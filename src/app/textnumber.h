#pragma once

#include <QString>

// Number and text conversions shared by every part of the viewer. Nothing else formats numbers
// by hand, so every shown value follows the same rules.

// The four number patterns the viewer shows values with.
enum class NumberPattern {
    OneDecimal,      // "#.0": 12.34 -> "12.3"
    Grouped,         // "###,###,###": 2622440 -> "2,622,440"
    SignedGrouped,   // "+###,###": sign always shown, grouped
    UpToTenDecimals, // "#.##########": at most ten decimals, no trailing zeros
};

// Formats x with pattern p, rounding at the last place shown. Values that are not numbers
// (NaN, infinity) give "-" rather than a misleading figure.
QString Format(double x, NumberPattern p);

// Plain decimal text of a number: whole numbers without a point ("65535"), others with up to
// fifteen significant digits ("0.15", "12.5").
QString Str(double x);

// The leading decimal number of a text ("5", "-2.5e3", " 12abc" -> 12), or 0 when the text does
// not begin with one.
double Val(const QString& text);

// Field n (counted from 1) of text split at separator; empty past the last field.
QString NthField(const QString& text, const QString& separator, int n);
