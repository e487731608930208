#include "core/text/numbertext.h"

#include <QStringList>
#include <charconv>
#include <cmath>

namespace isolumen {

namespace {

// Inserts a comma between groups of three digits of an unsigned digit string.
QString groupThousands(const QString& digits)
{
    QString out;
    const qsizetype n = digits.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += QLatin1Char(',');
        out += digits[i];
    }
    return out;
}

QString wholeDigits(double x)
{
    // Beyond 2^53 doubles are whole anyway; 'f' with no decimals prints the exact digits.
    return QString::number(std::abs(std::round(x)), 'f', 0);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

QString formatNumber(double x, NumberPattern p)
{
    if (!std::isfinite(x))
        return QStringLiteral("-");
    switch (p) {
    case NumberPattern::OneDecimal: {
        QString s = QString::number(x, 'f', 1);
        if (s == QLatin1String("-0.0"))
            s = QStringLiteral("0.0");
        return s;
    }
    case NumberPattern::Grouped:
    case NumberPattern::SignedGrouped: {
        const bool negative = std::round(x) < 0;
        const QString sign = negative                            ? QStringLiteral("-")
                             : p == NumberPattern::SignedGrouped ? QStringLiteral("+")
                                                                 : QString();
        return sign + groupThousands(wholeDigits(x));
    }
    case NumberPattern::UpToTenDecimals: {
        QString s = QString::number(x, 'f', 10);
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
        if (s == QLatin1String("-0"))
            s = QStringLiteral("0");
        return s;
    }
    }
    return {};
}

QString numberText(double x)
{
    if (x == 0)
        return QStringLiteral("0"); // also for -0
    if (!std::isfinite(x))
        return std::isnan(x) ? QStringLiteral("nan")
                             : (x > 0 ? QStringLiteral("inf") : QStringLiteral("-inf"));
    return QString::number(x, 'g', 15);
}

QString valueText(double x)
{
    if (!std::isfinite(x) || x == 0)
        return numberText(x);
    constexpr double kWholeLimit = 1e15; // beyond, doubles hold no more digits worth reading
    if (x == std::round(x) && std::abs(x) < kWholeLimit)
        return QString::number(x, 'f', 0);
    QString s = QString::number(x, 'g', 6);
    const qsizetype e = s.indexOf(QLatin1Char('e'));
    if (e < 0)
        return s;
    // "1e-07" -> "1e-7", "1.5e+20" -> "1.5e20".
    QString exponent = s.mid(e + 1);
    const bool negative = exponent.startsWith(QLatin1Char('-'));
    exponent.remove(0, 1);
    while (exponent.size() > 1 && exponent.startsWith(QLatin1Char('0')))
        exponent.remove(0, 1);
    return s.left(e + 1) + (negative ? QStringLiteral("-") : QString()) + exponent;
}

QString signedValueText(double x)
{
    return x < 0 ? valueText(x) : QStringLiteral("+") + valueText(x);
}

QString signedNumberText(double x)
{
    return x < 0 ? numberText(x) : QStringLiteral("+") + numberText(x);
}

double leadingNumber(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    const char* s = bytes.constData();
    const char* end = s + bytes.size();
    while (s < end && (*s == ' ' || *s == '\t'))
        ++s;
    // Find the extent of a plain decimal number: sign, digits, point, digits, exponent.
    const char* p = s;
    if (p < end && (*p == '+' || *p == '-'))
        ++p;
    const char* digits = p;
    while (p < end && isDigit(*p))
        ++p;
    bool anyDigit = p != digits;
    if (p < end && *p == '.') {
        const char* fraction = ++p;
        while (p < end && isDigit(*p))
            ++p;
        anyDigit = anyDigit || p != fraction;
    }
    if (!anyDigit)
        return 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
        const char* q = p + 1;
        if (q < end && (*q == '+' || *q == '-'))
            ++q;
        if (q < end && isDigit(*q)) {
            while (q < end && isDigit(*q))
                ++q;
            p = q;
        }
    }
    // from_chars reads "." as the point in every locale; it takes no leading "+".
    const char* from = *s == '+' ? s + 1 : s;
    double v = 0;
    const auto [stop, error] = std::from_chars(from, p, v, std::chars_format::general);
    if (error != std::errc() || stop != p || !std::isfinite(v))
        return 0;
    return v;
}

QString nthField(const QString& text, const QString& separator, int n)
{
    if (n < 1)
        return {};
    const QStringList fields = text.split(separator);
    return n <= fields.size() ? fields[n - 1] : QString();
}

double nextLogStep(double v, bool* malformed)
{
    const QString s = formatNumber(v, NumberPattern::UpToTenDecimals);
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
            } else if (malformed) {
                *malformed = true;
            }
        } else {
            r += QLatin1Char('0');
        }
    }
    return leadingNumber(r);
}

} // namespace isolumen
