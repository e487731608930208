#include "core/imfile/imheader.h"

#include "core/text/numbertext.h"

#include <QIODevice>
#include <QtEndian>
#include <QtNumeric>
#include <algorithm>
#include <cmath>
#include <cstring>

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
// The mass table: 192 bytes per species, its label at +65.
constexpr qint32 classicMassTable = 452;
constexpr qint32 laterMassTable = 652;
// Analysis parameters: dead times of detectors 1 to 5 in records of 16 bytes (yield, background,
// dead time), of detectors 6 and 7 in a second block.
const QByteArray analysisMarker("Anal_param_nano");
const QByteArray secondAnalysisMarker("Anal_param_nano_bis");
constexpr qint32 firstDeadTimes = 1632 + 12;
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
        h.deadTimesNs[k] = in.int32(first + firstDeadTimes + 16 * k, order);
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
    h.headerSize = in.int32(8, order);
    h.positionX = in.int32(20, order);
    h.positionY = in.int32(24, order);
    h.userName = in.text(60, 16);
    h.sampleName = in.text(76, 16);
    h.date = dateText(in.text(92, 16)) + QStringLiteral(", ") + in.text(108, 16);
    h.duration = in.int32(140, order);
    h.speciesCount = in.int32(408, order);
    // Headers shorter than this offset hold no second name; it then reads as empty.
    const qint64 origName2At = qint64(h.headerSize) - origName2Back;
    h.originalName2 = origName2At >= 0 ? in.text(origName2At, 32) : QString();

    const int labelled = std::clamp(h.speciesCount, 0, ImHeader::kMaxSpecies);
    for (int i = 0; i < labelled; ++i) {
        QString label = in.text(layout->labelBase + qint64(labelStride) * i, 16);
        const qsizetype cut = label.indexOf(QChar(20));
        if (cut >= 0)
            label.truncate(cut);
        h.species << label;
    }
    const qint64 massTable =
        layout->order == QDataStream::LittleEndian ? laterMassTable : classicMassTable;
    for (int i = 0; i < labelled; ++i) {
        const qint64 entry = massTable + qint64(labelStride) * i;
        SpeciesCounting c;
        c.trolley = in.int32(entry, order);
        c.mass = in.float64(entry + 8, order);
        c.countTime = in.float64(entry + 32, order);
        if (!std::isfinite(c.mass))
            c.mass = 0;
        if (!std::isfinite(c.countTime) || c.countTime < 0)
            c.countTime = 0;
        c.secondaryElectrons = c.trolley == 8 || (c.mass == 0 && h.species[i].isEmpty());
        h.counting << c;
    }
    readDeadTimes(in, qint64(h.headerSize), order, h);

    // An unnamed last channel is the secondary-electron image.
    if (h.speciesCount >= 1 && h.speciesCount == labelled && h.species.last().isEmpty())
        h.species.last() = QStringLiteral("S.E.");

    const qint64 tail = qint64(h.headerSize) - tailSize;
    h.imageType = in.int16(tail, order);
    h.pixelWidth = in.int16(tail + 2, order);
    h.pixelHeight = in.int16(tail + 4, order);
    h.pixelDepth = in.int16(tail + 6, order);
    h.speciesCount2 = in.int16(tail + 8, order);
    h.planeCount = in.int16(tail + 10, order);
    h.nmSize = in.int32(tail + 12, order);
    h.micronSize = std::round(h.nmSize / 100.0) / 10.0;
    h.originalName = in.text(tail + 16, 64);

    h.bytesPerSample = h.pixelDepth == 4 ? 4 : 2;
    h.frameSize = qint64(h.pixelWidth) * h.pixelHeight * h.bytesPerSample;

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
