#pragma once

#include <QString>

namespace isolumen {

// The number texts the viewer shows and reads. Every shown value goes through these, so they
// follow one set of rules: "." is the decimal point whatever the user's locale, and values that
// are not numbers show as "-" rather than as a misleading figure.

// The four fixed patterns values are shown with.
enum class NumberPattern {
    OneDecimal,      // "#.0": 12.34 -> "12.3"
    Grouped,         // "###,###,###": 2622440 -> "2,622,440"
    SignedGrouped,   // "+###,###": sign always shown, grouped
    UpToTenDecimals, // "#.##########": at most ten decimals, no trailing zeros
};

// x in pattern p, rounded at the last place shown; "-" for NaN and infinities.
QString formatNumber(double x, NumberPattern p);

// Plain decimal text: whole numbers without a point ("65535"), others with up to fifteen
// significant digits ("0.15", "12.5").
QString numberText(double x);

// A value as the windows show it in fields, axis labels, the readout and table cells: whole
// numbers in full ("1566440"), others to at most six significant digits, in plain decimals
// from 0.0001 on ("2271.53", "0.000123457") and with a short exponent beyond ("1e-7",
// "1.23457e+15" becomes "1.23457e15"). Never longer than a dozen characters or so, so it
// is never cut to a tail.
QString valueText(double x);
// valueText with "+" before values that are not negative: the colour bar's labels.
QString signedValueText(double x);

// numberText with an explicit "+" for values that are not negative ("+0", "+12.5", "-3"): the
// labels of the value axis.
QString signedNumberText(double x);

// The leading decimal number of a text (" 12abc" -> 12, "-2.5e3" -> -2500), or 0 when the text
// does not begin with one. Only plain decimals count: never "inf", "nan" or hexadecimal.
double leadingNumber(const QString& text);

// Field n (counted from 1) of text split at separator; empty past the last field.
QString nthField(const QString& text, const QString& separator, int n);

// The next tick of a logarithmic axis: the leading significant digit of v (written with at most
// ten decimals) goes up by one and every later digit becomes zero, so 2 after 1, 10 after 9,
// 0.6 after 0.5, 30 after 25. Working on the decimal text makes every result the double nearest
// to a short decimal (0.1, 0.6). 0 for a value without a significant digit at ten decimals.
// A text that does not start with a digit (a negative value) sets *malformed, when given, and
// its remaining digits count as later ones (-2 gives 0).
double nextLogStep(double v, bool* malformed = nullptr);

} // namespace isolumen
