#include "display/axismath.h"

#include "app/msgbox.h"
#include "app/textnumber.h"

#include <cmath>

namespace Globals {

double NextLogStep(double v)
{
    // Working on the decimal text makes every result the Double nearest to a short decimal
    // (0.1, 0.6), which arithmetic on v itself would not.
    const QString s = Format(v, NumberPattern::UpToTenDecimals);
    QString r = QStringLiteral("0"); // room for a carry from 9 to 10
    bool first = true;
    for (QChar c : s) {
        if (c == QLatin1Char('0') || c == QLatin1Char('.')) {
            r += c;
        } else if (first) {
            first = false;
            if (c >= QLatin1Char('1') && c <= QLatin1Char('8')) {
                r += QChar(c.unicode() + 1);
            } else if (c == QLatin1Char('9')) {
                if (r.endsWith(QLatin1Char('.'))) {
                    r.chop(2);
                    r += QStringLiteral("1.0");
                } else {
                    r.chop(1);
                    r += QStringLiteral("10");
                }
            } else {
                MsgBox(QStringLiteral("there is something wrong in NextLogStep"));
            }
        } else {
            r += QLatin1Char('0');
        }
    }
    return Val(r);
}

double log10(double x)
{
    return std::log(x) / std::log(10.0);
}

QString StrPlus(double x)
{
    if (x < 0)
        return Str(x);
    return QStringLiteral("+") + Str(x);
}

} // namespace Globals
