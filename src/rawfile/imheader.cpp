#include "rawfile/imheader.h"

#include "app/textnumber.h"

#include <QIODevice>
#include <QtEndian>
#include <algorithm>
#include <cmath>

namespace {

// The classic layout: a big-endian file whose type code and marker identify it.
constexpr qint32 classicTypeCodes[] = {5, 10};
const QLatin1String classicMarker("IMAGE ACQUISITION");

// Later software versions, recognised by their image block (below).
constexpr qint32 bigEndianVersions[] = {5, 9, 10, 11};
constexpr qint32 littleEndianVersion = 4108;
constexpr qint32 imageAnalysisTypes[] = {27, 29, 39, 41};
const QLatin1String variantMarkers[] = {
    QLatin1String("IMAGE ACQUISITION"), QLatin1String("NANOSIMS 50 - IMAGE RTI"),
    QLatin1String("GRAIN MODE - IMAGE"), QLatin1String("LINESCAN - BEAM CONTROL - IMAGE")};

constexpr qint64 minimumFileSize = 10000; // a file must be longer than this
constexpr qint32 tailSize = 80;           // the image description at the end of the header
constexpr qint32 imageBlockSize = 84;     // tail plus the Int32 that holds its size
constexpr qint32 origName2Back = 18180;
constexpr qint32 classicLabelBase = 517;
constexpr qint32 laterLabelBase = 717; // version 4108 and later
constexpr qint32 labelStride = 192;

template <typename T, std::size_t N> bool contains(const T (&list)[N], const T& v)
{
    for (const T& x : list) {
        if (x == v)
            return true;
    }
    return false;
}

// Random access to the header bytes. Positions outside the file read as zero bytes, so a
// damaged header gives defined values instead of a read outside the file.
class HeaderBytes
{
public:
    HeaderBytes(QIODevice& device, qint64 length) : m_device(device), m_length(length) {}

    QByteArray bytes(qint64 pos, int n) const
    {
        QByteArray out(n, '\0');
        if (pos >= m_length || pos + n <= 0)
            return out;
        const qint64 from = std::max<qint64>(pos, 0);
        const qint64 to = std::min<qint64>(pos + n, m_length);
        if (!m_device.seek(from))
            return out;
        const QByteArray got = m_device.read(to - from);
        std::copy(got.begin(), got.end(), out.begin() + (from - pos));
        return out;
    }

    qint32 int32(qint64 pos, QDataStream::ByteOrder order) const
    {
        const QByteArray b = bytes(pos, 4);
        return order == QDataStream::BigEndian ? qFromBigEndian<qint32>(b.constData())
                                               : qFromLittleEndian<qint32>(b.constData());
    }

    qint16 int16(qint64 pos, QDataStream::ByteOrder order) const
    {
        const QByteArray b = bytes(pos, 2);
        return order == QDataStream::BigEndian ? qFromBigEndian<qint16>(b.constData())
                                               : qFromLittleEndian<qint16>(b.constData());
    }

    // A fixed-width text field: its bytes up to the first zero byte, one character per byte.
    QString text(qint64 pos, int width) const
    {
        const QByteArray b = bytes(pos, width);
        const qsizetype end = b.indexOf('\0');
        return QString::fromLatin1(b.left(end < 0 ? b.size() : end));
    }

private:
    QIODevice& m_device;
    qint64 m_length;
};

struct Layout
{
    QDataStream::ByteOrder order = QDataStream::BigEndian;
    qint32 labelBase = classicLabelBase;
    bool variant = false;
};

bool headerSizeFits(qint32 hs, qint64 length, qint32 minimum)
{
    return hs >= minimum && hs <= length;
}

std::optional<Layout> recognise(const HeaderBytes& in, qint64 length)
{
    const QString marker = in.text(28, 32);
    if (length <= minimumFileSize)
        return std::nullopt;

    // The classic checks first: files that pass them are read as they always were.
    {
        const qint32 typeCode = in.int32(0, QDataStream::BigEndian);
        const qint32 hs = in.int32(8, QDataStream::BigEndian);
        if (contains(classicTypeCodes, typeCode) && headerSizeFits(hs, length, tailSize) &&
            marker == classicMarker)
            return Layout{};
    }

    // Later software versions: the structure must prove an image file.
    for (const auto order : {QDataStream::BigEndian, QDataStream::LittleEndian}) {
        const qint32 version = in.int32(0, order);
        const qint32 analysisType = in.int32(4, order);
        const qint32 hs = in.int32(8, order);
        const bool versionKnown = order == QDataStream::BigEndian
                                      ? contains(bigEndianVersions, version)
                                      : version == littleEndianVersion;
        if (!versionKnown || !contains(imageAnalysisTypes, analysisType) ||
            !headerSizeFits(hs, length, imageBlockSize) ||
            in.int32(hs - imageBlockSize, order) != imageBlockSize ||
            std::find(std::begin(variantMarkers), std::end(variantMarkers), marker) ==
                std::end(variantMarkers))
            continue;
        Layout layout;
        layout.order = order;
        layout.variant = true;
        layout.labelBase = order == QDataStream::LittleEndian ? laterLabelBase : classicLabelBase;
        return layout;
    }
    return std::nullopt;
}

} // namespace

std::optional<qint64> product(std::initializer_list<qint64> factors)
{
    qint64 p = 1;
    for (const qint64 f : factors) {
        if (__builtin_mul_overflow(p, f, &p))
            return std::nullopt;
    }
    return p;
}

int ImHeader::shownSpecies() const
{
    return std::clamp(Nspecies, 0, 8);
}

bool ImHeader::hasFrames() const
{
    return Nplanes >= 1 && Nspecies >= 1 && FrameSize > 0 && FileSize > HeaderSize;
}

QString dateText(const QString& d)
{
    static const QString months = QStringLiteral("Jan.Feb.Mar.Apr.May.Jun.Jul.Aug.Sep.Oct.Nov.Dec");
    const QString day = NthField(d, QStringLiteral("."), 1);
    const double monthNumber = Val(NthField(d, QStringLiteral("."), 2));
    const int n = static_cast<int>(monthNumber);
    const QString month =
        (n >= 1 && n <= 12) ? NthField(months, QStringLiteral("."), n) : QString();
    const QString yearField = NthField(d, QStringLiteral("."), 3);
    const QString year =
        (Val(yearField) <= 90 ? QStringLiteral("20") : QStringLiteral("19")) + yearField;
    return day + QLatin1Char('-') + month + QLatin1Char('-') + year;
}

HeaderReadResult readImHeader(QIODevice& device, qint64 length, const QString& displayName)
{
    HeaderReadResult result;
    const HeaderBytes in(device, length);
    const std::optional<Layout> layout = recognise(in, length);
    if (!layout)
        return result;
    const auto order = layout->order;

    ImHeader h;
    h.byteOrder = order;
    h.FileSize = length;
    h.FileName = displayName;
    h.HeaderSize = in.int32(8, order);
    h.PositionX = in.int32(20, order);
    h.PositionY = in.int32(24, order);
    h.UserName = in.text(60, 16);
    h.SampleName = in.text(76, 16);
    h.Date = dateText(in.text(92, 16)) + QStringLiteral(", ") + in.text(108, 16);
    h.Duration = in.int32(140, order);
    h.Nspecies = in.int32(408, order);
    // Headers shorter than this offset hold no second name; it then reads as empty.
    const qint64 origName2At = qint64(h.HeaderSize) - origName2Back;
    h.OrigName2 = origName2At >= 0 ? in.text(origName2At, 32) : QString();

    h.Species.fill(QStringLiteral("-"));
    for (int i = 0; i < h.shownSpecies(); ++i) {
        QString label = in.text(layout->labelBase + qint64(labelStride) * i, 16);
        const qsizetype cut = label.indexOf(QChar(20));
        if (cut >= 0)
            label.truncate(cut);
        h.Species[i] = label;
    }
    // An unnamed last channel is the secondary-electron image. With more species than the
    // viewer shows, the last one is not among them.
    if (h.Nspecies >= 1 && h.Nspecies <= 8 && h.Species[h.Nspecies - 1].isEmpty())
        h.Species[h.Nspecies - 1] = QStringLiteral("S.E.");

    const qint64 tail = qint64(h.HeaderSize) - tailSize;
    h.ImageType = in.int16(tail, order);
    h.PixelWidth = in.int16(tail + 2, order);
    h.PixelHeight = in.int16(tail + 4, order);
    h.PixelDepth = in.int16(tail + 6, order);
    h.Nspecies2 = in.int16(tail + 8, order);
    h.Nplanes = in.int16(tail + 10, order);
    h.nmSize = in.int32(tail + 12, order);
    h.micronSize = std::round(h.nmSize / 100.0) / 10.0;
    h.OrigName = in.text(tail + 16, 64);

    h.bytesPerSample = h.PixelDepth == 4 ? 4 : 2;
    h.FrameSize = qint64(h.PixelWidth) * h.PixelHeight * h.bytesPerSample;

    // Absurd counts in a damaged header must not overflow: a product that does not fit 64 bits
    // cannot equal the file's length either.
    const std::optional<qint64> data =
        product({qint64(h.Nplanes), qint64(h.Nspecies), h.FrameSize});
    if (!data || qint64(h.HeaderSize) + *data != h.FileSize)
        result.messages << QStringLiteral("File size does not compute correctly.");

    static constexpr int sides[] = {64, 128, 256, 512, 1024, 2048};
    if (h.PixelWidth == h.PixelHeight && contains(sides, int(h.PixelWidth)))
        result.frameSide = h.PixelWidth;
    else
        result.messages << QStringLiteral("Cannot handle this pixel size.");

    result.header = std::move(h);
    return result;
}

QString pixelSizeText(const ImHeader& h)
{
    return Str(h.PixelWidth) + QStringLiteral(" x ") + Str(h.PixelHeight);
}

QString micronSizeText(const ImHeader& h)
{
    return Format(h.micronSize, NumberPattern::OneDecimal) + QStringLiteral(" µm");
}

namespace {

// A per-plane or per-pixel figure: "-" when the counts make it meaningless (zero planes or
// pixels), never "inf" or "nan".
QString perUnit(double value, const QString& unit)
{
    if (!std::isfinite(value))
        return QStringLiteral("-");
    return Format(value, NumberPattern::OneDecimal) + unit;
}

} // namespace

QList<SummaryRow> detailRows(const ImHeader& h)
{
    const double duration = h.Duration;
    const QString min = QStringLiteral(" min");
    const auto grouped = [](double v) { return Format(v, NumberPattern::Grouped); };
    QList<SummaryRow> rows = {
        {"TOrigName", "Original Name:", h.OrigName},
        {"TMeasDate", "Date, Time:", h.Date},
        {"TFileSize", "File Size:", grouped(double(h.FileSize)) + " bytes"},
        {"Theadersize", "Header Size:", grouped(h.HeaderSize) + " bytes"},
        {"TPositionX", "X Position:", Format(h.PositionX, NumberPattern::SignedGrouped)},
        {"TPositionY", "Y Position:", Format(h.PositionY, NumberPattern::SignedGrouped)},
        {"TDuration", "Duration (total):", perUnit(duration / 60, min)},
        {"TDurationLayer", "Duration/Layer:", perUnit(duration / h.Nplanes / 60, min)},
        {"TDurationPixel", "Duration/Pixel:",
         perUnit(duration / h.Nplanes / h.PixelHeight / h.PixelWidth * 1000,
                 QStringLiteral(" ms"))},
        {"TUserName", "User Name:", h.UserName},
        {"Timagetype", "Image Type:", Str(h.ImageType)},
        {"Tpixelwidth", "Pixel Width:", Str(h.PixelWidth)},
        {"Tpixelheight", "Pixel Height:", Str(h.PixelHeight)},
        {"Tpixeldepth", "Pixel Depth:", Str(h.PixelDepth)},
        {"Tsizenm", "Image Size:", grouped(h.nmSize) + " nm"},
        {"Tnplanes", "Number of Planes:", Str(h.Nplanes)},
        {"TnSpecies", "Number of Species:", Str(h.Nspecies)},
    };
    for (int i = 0; i < h.shownSpecies(); ++i)
        rows.append({QStringLiteral("TSpecies(%1)").arg(i),
                     QStringLiteral("Species %1:").arg(i + 1), h.Species[i]});
    return rows;
}

qint64 Position(const ImHeader& h, int species, int plane)
{
    const std::optional<qint64> planes =
        product({h.FrameSize, qint64(h.Nspecies), qint64(plane) - 1});
    const std::optional<qint64> withinPlane = product({h.FrameSize, qint64(species) - 1});
    qint64 offset = 0;
    if (!planes || !withinPlane || __builtin_add_overflow(*planes, *withinPlane, &offset) ||
        __builtin_add_overflow(offset, qint64(h.HeaderSize), &offset))
        return -1;
    return offset;
}
