#pragma once

#include <QString>

// Arithmetic of the value axis beside the colour bar and of the scale bar.
namespace Globals {

// The next tick value of a logarithmic axis: the leading significant digit of v (written with
// at most ten decimals) goes up by one and every later digit becomes zero, so 2 after 1, 10
// after 9, 0.6 after 0.5 and 30 after 25. 0 for a value that has no significant digit at ten
// decimals. A negative value says "there is something wrong in NextLogStep" and gives 0.
double NextLogStep(double v);

// Decimal logarithm.
double log10(double x);

// Str(x) with an explicit "+" for values that are not negative ("+0", "+12.5", "-3").
QString StrPlus(double x);

} // namespace Globals
