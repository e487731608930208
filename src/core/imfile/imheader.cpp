#include "core/imfile/imheader.h"

#include "core/text/numbertext.h"

#include <QIODevice>
#include <QtEndian>
#include <QtNumeric>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace isolumen {

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

// Where the fields sit, in bytes from the start of the file.
namespace offset {
constexpr qint64 typeCode = 0; // the software version in later layouts
constexpr qint64 analysisType = 4;
constexpr qint64 headerSize = 8;
constexpr qint64 positionX = 20;
constexpr qint64 positionY = 24;
constexpr qint64 marker = 28;
constexpr int markerWidth = 32;
constexpr qint64 userName = 60;
constexpr qint64 sampleName = 76;
constexpr int nameWidth = 16;
constexpr qint64 date = 92;
constexpr qint64 time = 108;
constexpr int dateWidth = 16;
constexpr qint64 duration = 140;
constexpr qint64 speciesCount = 408;
constexpr int originalName2Width = 32;
constexpr int labelWidth = 16;
// Within a mass table entry.
constexpr qint64 entryTrolley = 0;
constexpr qint64 entryMass = 8;
constexpr qint64 entryCountTime = 32;
// Within the image description at the end of the header.
constexpr qint64 tailImageType = 0;
constexpr qint64 tailPixelWidth = 2;
constexpr qint64 tailPixelHeight = 4;
constexpr qint64 tailPixelDepth = 6;
constexpr qint64 tailSpeciesCount = 8;
constexpr qint64 tailPlaneCount = 10;
constexpr qint64 tailNmSize = 12;
constexpr qint64 tailOriginalName = 16;
constexpr int tailOriginalNameWidth = 64;
} // namespace offset

constexpr qint64 minimumFileSize = 10000; // a file must be longer than this
constexpr qint32 tailSize = 80;           // the image description at the end of the header
constexpr qint32 imageBlockSize = 84;     // tail plus the Int32 that holds its size
constexpr qint32 origName2Back = 18180;
constexpr qint32 classicLabelBase = 517;
constexpr qint32 laterLabelBase = 717; // version 4108 and later
constexpr qint32 labelStride = 192;
// The mass table: 192 bytes per species, its label at +65.
constexpr qint32 classicMassTable = 452;
constexpr qint32 laterMassTable = 652;
// Analysis parameters: dead times of detectors 1 to 5 in records of 16 bytes (yield, background,
// dead time), of detectors 6 and 7 in a second block.
const QByteArray analysisMarker("Anal_param_nano");
const QByteArray secondAnalysisMarker("Anal_param_nano_bis");
constexpr qint32 firstDeadTimes = 1632 + 12;
constexpr qint32 deadTimeRecord = 16;
constexpr qint32 secondDeadTimes[] = {124, 228};
// Headers are tens of kilobytes; the search for the markers stops well beyond that.
constexpr qint64 markerSearchLimit = qint64(4) << 20;

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

    double float64(qint64 pos, QDataStream::ByteOrder order) const
    {
        const QByteArray b = bytes(pos, 8);
        const quint64 bits = order == QDataStream::BigEndian
                                 ? qFromBigEndian<quint64>(b.constData())
                                 : qFromLittleEndian<quint64>(b.constData());
        double v = 0;
        std::memcpy(&v, &bits, sizeof v);
        return v;
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
    const QString marker = in.text(offset::marker, offset::markerWidth);
    if (length <= minimumFileSize)
        return std::nullopt;

    // The classic checks first: files that pass them are read as they always were.
    {
        const qint32 typeCode = in.int32(offset::typeCode, QDataStream::BigEndian);
        const qint32 hs = in.int32(offset::headerSize, QDataStream::BigEndian);
        if (contains(classicTypeCodes, typeCode) && headerSizeFits(hs, length, tailSize) &&
            marker == classicMarker)
            return Layout{};
    }

    // Later software versions: the structure must prove an image file.
    for (const auto order : {QDataStream::BigEndian, QDataStream::LittleEndian}) {
        const qint32 version = in.int32(offset::typeCode, order);
        const qint32 analysisType = in.int32(offset::analysisType, order);
        const qint32 hs = in.int32(offset::headerSize, order);
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

// The first occurrence of marker in the header that is not the start of a longer marker
// ("Anal_param_nano" but not "Anal_param_nano_bis").
qint64 findMarker(const QByteArray& header, const QByteArray& marker)
{
    for (qsizetype at = header.indexOf(marker); at >= 0; at = header.indexOf(marker, at + 1)) {
        const qsizetype next = at + marker.size();
        if (next >= header.size() || header[next] != '_')
            return at;
    }
    return -1;
}

void readDeadTimes(const HeaderBytes& in, qint64 headerSize, QDataStream::ByteOrder order,
                   ImHeader& h)
{
    const QByteArray header =
        in.bytes(0, int(std::clamp<qint64>(headerSize, 0, markerSearchLimit)));
    const qint64 first = findMarker(header, analysisMarker);
    if (first < 0)
        return;
    h.deadTimesRecorded = true;
    for (int k = 0; k < 5; ++k)
        h.deadTimesNs[k] = in.int32(first + firstDeadTimes + deadTimeRecord * k, order);
    const qint64 second = findMarker(header, secondAnalysisMarker);
    if (second < 0)
        return;
    for (int k = 0; k < 2; ++k)
        h.deadTimesNs[5 + k] = in.int32(second + secondDeadTimes[k], order);
}

} // namespace

int SpeciesCounting::detector() const
{
    if (secondaryElectrons)
        return 0;
    if (trolley >= 1 && trolley <= 5)
        return trolley;
    if (trolley == 10 || trolley == 11)
        return trolley - 4;
    return 0;
}

std::optional<qint64> product(std::initializer_list<qint64> factors)
{
    qint64 p = 1;
    for (const qint64 f : factors) {
        if (qMulOverflow(p, f, &p))
            return std::nullopt;
    }
    return p;
}

QString dateText(const QString& d)
{
    static const QString months = QStringLiteral("Jan.Feb.Mar.Apr.May.Jun.Jul.Aug.Sep.Oct.Nov.Dec");
    const QString day = nthField(d, QStringLiteral("."), 1);
    // Compared as a double first: a field such as "1e99" has no integer value.
    const double monthNumber = leadingNumber(nthField(d, QStringLiteral("."), 2));
    const QString month = (monthNumber >= 1 && monthNumber < 13)
                              ? nthField(months, QStringLiteral("."), int(monthNumber))
                              : QString();
    const QString yearField = nthField(d, QStringLiteral("."), 3);
    const QString year =
        (leadingNumber(yearField) <= 90 ? QStringLiteral("20") : QStringLiteral("19")) + yearField;
    return day + QLatin1Char('-') + month + QLatin1Char('-') + year;
}

namespace {

void readFixedFields(const HeaderBytes& in, QDataStream::ByteOrder order, ImHeader& h)
{
    h.headerSize = in.int32(offset::headerSize, order);
    h.positionX = in.int32(offset::positionX, order);
    h.positionY = in.int32(offset::positionY, order);
    h.userName = in.text(offset::userName, offset::nameWidth);
    h.sampleName = in.text(offset::sampleName, offset::nameWidth);
    h.date = dateText(in.text(offset::date, offset::dateWidth)) + QStringLiteral(", ") +
             in.text(offset::time, offset::dateWidth);
    h.duration = in.int32(offset::duration, order);
    h.speciesCount = in.int32(offset::speciesCount, order);
    // Headers shorter than this offset hold no second name; it then reads as empty.
    const qint64 origName2At = qint64(h.headerSize) - origName2Back;
    h.originalName2 =
        origName2At >= 0 ? in.text(origName2At, offset::originalName2Width) : QString();
}

// The labels and counting of the first `labelled` species.
void readSpecies(const HeaderBytes& in, const Layout& layout, int labelled, ImHeader& h)
{
    const QDataStream::ByteOrder order = layout.order;
    for (int i = 0; i < labelled; ++i) {
        QString label = in.text(layout.labelBase + qint64(labelStride) * i, offset::labelWidth);
        const qsizetype cut = label.indexOf(QChar(20));
        if (cut >= 0)
            label.truncate(cut);
        h.species << label;
    }
    const qint64 massTable = order == QDataStream::LittleEndian ? laterMassTable : classicMassTable;
    for (int i = 0; i < labelled; ++i) {
        const qint64 entry = massTable + qint64(labelStride) * i;
        SpeciesCounting c;
        c.trolley = in.int32(entry + offset::entryTrolley, order);
        c.mass = in.float64(entry + offset::entryMass, order);
        c.countTime = in.float64(entry + offset::entryCountTime, order);
        if (!std::isfinite(c.mass))
            c.mass = 0;
        if (!std::isfinite(c.countTime) || c.countTime < 0)
            c.countTime = 0;
        c.secondaryElectrons = c.trolley == 8 || (c.mass == 0 && h.species[i].isEmpty());
        h.counting << c;
    }
}

// The image description at the end of the header.
void readImageTail(const HeaderBytes& in, QDataStream::ByteOrder order, ImHeader& h)
{
    const qint64 tail = qint64(h.headerSize) - tailSize;
    h.imageType = in.int16(tail + offset::tailImageType, order);
    h.pixelWidth = in.int16(tail + offset::tailPixelWidth, order);
    h.pixelHeight = in.int16(tail + offset::tailPixelHeight, order);
    h.pixelDepth = in.int16(tail + offset::tailPixelDepth, order);
    h.speciesCount2 = in.int16(tail + offset::tailSpeciesCount, order);
    h.planeCount = in.int16(tail + offset::tailPlaneCount, order);
    h.nmSize = in.int32(tail + offset::tailNmSize, order);
    h.micronSize = std::round(h.nmSize / 100.0) / 10.0;
    h.originalName = in.text(tail + offset::tailOriginalName, offset::tailOriginalNameWidth);
    h.bytesPerSample = h.pixelDepth == 4 ? 4 : 2;
    h.frameSize = qint64(h.pixelWidth) * h.pixelHeight * h.bytesPerSample;
}

// Whether the header's sizes fit the file and the frames are of a side the viewer shows.
void checkSizes(const ImHeader& h, HeaderReadResult& result)
{
    // Absurd counts in a damaged header must not overflow: a product that does not fit 64 bits
    // cannot equal the file's length either.
    const std::optional<qint64> data =
        product({qint64(h.planeCount), qint64(h.speciesCount), h.frameSize});
    if (!data || qint64(h.headerSize) + *data != h.fileSize)
        result.messages << QStringLiteral("File size does not compute correctly.");

    static constexpr int sides[] = {64, 128, 256, 512, 1024, 2048};
    if (h.pixelWidth == h.pixelHeight && contains(sides, int(h.pixelWidth)))
        result.frameSide = h.pixelWidth;
    else
        result.messages << QStringLiteral("Cannot handle this pixel size.");
}

} // namespace

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
    h.fileSize = length;
    h.fileName = displayName;
    readFixedFields(in, order, h);
    const int labelled = std::clamp(h.speciesCount, 0, ImHeader::kMaxSpecies);
    readSpecies(in, *layout, labelled, h);
    readDeadTimes(in, qint64(h.headerSize), order, h);

    // An unnamed last channel is the secondary-electron image.
    if (h.speciesCount >= 1 && h.speciesCount == labelled && h.species.last().isEmpty())
        h.species.last() = QStringLiteral("S.E.");

    readImageTail(in, order, h);
    checkSizes(h, result);
    result.header = std::move(h);
    return result;
}

qint64 framePosition(const ImHeader& h, int species, int plane)
{
    const std::optional<qint64> planes =
        product({h.frameSize, qint64(h.speciesCount), qint64(plane) - 1});
    const std::optional<qint64> withinPlane = product({h.frameSize, qint64(species) - 1});
    qint64 offset = 0;
    if (!planes || !withinPlane || qAddOverflow(*planes, *withinPlane, &offset) ||
        qAddOverflow(offset, qint64(h.headerSize), &offset))
        return -1;
    return offset;
}

} // namespace isolumen
