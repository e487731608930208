#include "core/render/displaysettings.h"

#include "core/model/plane.h"
#include "core/text/numbertext.h"

namespace isolumen {

namespace {

QRgb opaque(QRgb c)
{
    return c | 0xFF000000u;
}

} // namespace

ColourTable DisplaySettings::windowTable(int table, QRgb high, QRgb low)
{
    ColourTable t{};
    for (int i = 1; i <= 254; ++i)
        t[i] = opaque(colourTable(table)[i]);
    t[0] = opaque(low);
    t[255] = opaque(high);
    return t;
}

bool setColours(DisplaySettings& s, const ColourChoice& c)
{
    if (c.table < 0 || c.table >= kTableCount)
        return false;
    s.table = c.table;
    s.high = c.high & 0xFFFFFF;
    s.low = c.low & 0xFFFFFF;
    s.noValue = c.noValue & 0xFFFFFF;
    s.lut = DisplaySettings::windowTable(c.table, c.high, c.low);
    return true;
}

ColourChoice colours(const DisplaySettings& s)
{
    return {s.table, s.high, s.low, s.noValue};
}

void settleDisplayRange(DisplaySettings& s, const Plane& plane, const QString& minFieldText,
                        const QString& maxFieldText, const Region* region)
{
    const auto [bottom, top] = automaticRange(plane, s.autoRange, region);
    s.maxValue = s.autoMax ? top : leadingNumber(maxFieldText);
    s.minValue = s.autoMin ? bottom : leadingNumber(minFieldText);
}

QString colourButtonCaption(int table)
{
    return QStringLiteral("Color T: ") + QString::number(table + 1);
}

} // namespace isolumen
