#include "display/imagemodel.h"

#include "app/textnumber.h"
#include "rawfile/imheader.h"

namespace {

constexpr int kTables = 20;

QRgb opaque(QRgb c)
{
    return c | 0xFF000000u;
}

} // namespace

ColorTable ImageModel::windowTable(int table, QRgb high, QRgb low)
{
    ColorTable t{};
    for (int i = 1; i <= 254; ++i)
        t[i] = opaque(Globals::lut(table, i));
    t[0] = opaque(low);
    t[255] = opaque(high);
    return t;
}

bool SetColors(ImageModel& m, int table, QRgb high, QRgb low)
{
    if (table < 0 || table >= kTables)
        return false;
    m.MyLUTnumber = table;
    m.MyLUT = ImageModel::windowTable(table, high, low);
    return true;
}

QString colorButtonCaption(int table)
{
    return QStringLiteral("Color T: ") + QString::number(table + 1);
}

std::optional<Plane> loadPlane(QIODevice& stream, const ImHeader& header, int side, int species,
                               int plane)
{
    const SampleFormat format{header.bytesPerSample, header.byteOrder};
    return readPlane(stream, Position(header, species, plane), side, format);
}

void takePlane(ImageModel& m, Plane plane, const QString& minFieldText, const QString& maxFieldText)
{
    m.ImArrayMin = plane.min;
    m.ImArrayMax = plane.max;
    m.ImArray = std::move(plane);
    settleDisplayRange(m, minFieldText, maxFieldText);
}

bool loadIntoModel(ImageModel& m, QIODevice& stream, const ImHeader& header, int side, int species,
                   int plane, const QString& minFieldText, const QString& maxFieldText)
{
    // Read into the plane the model holds, reusing its memory.
    const SampleFormat format{header.bytesPerSample, header.byteOrder};
    if (!readPlaneInto(stream, Position(header, species, plane), side, format, m.ImArray))
        return false;
    m.ImArrayMin = m.ImArray.min;
    m.ImArrayMax = m.ImArray.max;
    settleDisplayRange(m, minFieldText, maxFieldText);
    return true;
}

void settleDisplayRange(ImageModel& m, const QString& minFieldText, const QString& maxFieldText)
{
    m.ColorMaxValue = m.AutoMax ? m.ImArrayMax : Val(maxFieldText);
    m.ColorMinValue = m.AutoMin ? m.ImArrayMin : Val(minFieldText);
}
