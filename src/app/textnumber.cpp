#include "app/textnumber.h"

#include <QStringList>
#include <cmath>
#include <cstdlib>

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

} // namespace

QString Format(double x, NumberPattern p)
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
    case NumberPattern::Grouped: {
        const bool negative = std::round(x) < 0;
        return (negative ? QStringLiteral("-") : QString()) + groupThousands(wholeDigits(x));
    }
    case NumberPattern::SignedGrouped: {
        const bool negative = std::round(x) < 0;
        return (negative ? QStringLiteral("-") : QStringLiteral("+")) +
               groupThousands(wholeDigits(x));
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

QString Str(double x)
{
    if (x == 0)
        return QStringLiteral("0"); // also for -0
    if (!std::isfinite(x))
        return std::isnan(x) ? QStringLiteral("nan")
                             : (x > 0 ? QStringLiteral("inf") : QStringLiteral("-inf"));
    return QString::number(x, 'g', 15);
}

double Val(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    const char* s = bytes.constData();
    while (*s == ' ' || *s == '\t')
        ++s;
    // Accept only a plain decimal number: sign, digits, point, digits, exponent. strtod alone
    // would also take "inf", "nan" and hexadecimal, which a typed limit must never become.
    const char* p = s;
    if (*p == '+' || *p == '-')
        ++p;
    const char* digitsStart = p;
    while (*p >= '0' && *p <= '9')
        ++p;
    bool anyDigit = p != digitsStart;
    if (*p == '.') {
        ++p;
        const char* frac = p;
        while (*p >= '0' && *p <= '9')
            ++p;
        anyDigit = anyDigit || p != frac;
    }
    if (!anyDigit)
        return 0;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        if (*q == '+' || *q == '-')
            ++q;
        if (*q >= '0' && *q <= '9') {
            while (*q >= '0' && *q <= '9')
                ++q;
            p = q;
        }
    }
    const std::string number(s, p);
    const double v = std::strtod(number.c_str(), nullptr);
    return std::isfinite(v) ? v : 0;
}

QString NthField(const QString& text, const QString& separator, int n)
{
    if (n < 1)
        return {};
    const QStringList fields = text.split(separator);
    return n <= fields.size() ? fields[n - 1] : QString();
}
