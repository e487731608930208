#include "core/colour/catalogue.h"

#include <QFile>
#include <QStringList>
#include <QtDebug>

// The resource lives in a static library; naming its initialiser keeps the linker from
// dropping it. Qt's initialiser is global, so it is called from outside the namespace.
static void initCatalogueResource()
{
    Q_INIT_RESOURCE(colourtables);
}

namespace isolumen {

namespace {

constexpr int kEntries = 256;
constexpr quint32 kMaxColour = 0xFFFFFF;

// An entry is an unsigned decimal integer without sign, blanks or exponent.
std::optional<quint32> entryValue(const QString& field)
{
    if (field.isEmpty() || field.size() > 8)
        return std::nullopt;
    quint32 v = 0;
    for (QChar c : field) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        v = v * 10 + quint32(c.unicode() - '0');
    }
    if (v > kMaxColour)
        return std::nullopt;
    return v;
}

QRgb colour(quint32 v)
{
    return qRgb(int(v / 65536), int(v % 65536 / 256), int(v % 256));
}

// Stands in for a catalogue whose texts are damaged, so that the viewer still has twenty
// usable tables: grey ramps, named by number.
Catalogue greyCatalogue()
{
    Catalogue c;
    for (int i = 0; i < kTableCount; ++i) {
        c.lutname[i] = QStringLiteral("%1 GrayScale").arg(i + 1, 2, 10, QLatin1Char('0'));
        for (int j = 0; j < kEntries; ++j)
            c.lut[i][j] = qRgb(255 - j, 255 - j, 255 - j);
    }
    return c;
}

Catalogue buildCatalogue()
{
    initCatalogueResource();
    QFile file(QStringLiteral(":/colour/colourtables.txt"));
    QString error;
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        Result<Catalogue> c = parseCatalogue(QString::fromLatin1(file.readAll()));
        if (c)
            return *std::move(c);
        error = c.error().message;
    } else {
        error = file.errorString();
    }
    qWarning("Colour tables damaged (%s); grey ramps stand in for them.", qPrintable(error));
    return greyCatalogue();
}

} // namespace

Result<Catalogue> parseCatalogue(const QString& text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    if (lines.size() != kTableCount)
        return Failure{
            QStringLiteral("%1 tables instead of %2").arg(lines.size()).arg(kTableCount)};

    Catalogue c;
    for (int i = 0; i < kTableCount; ++i) {
        const QStringList fields = lines[i].split(QLatin1Char(','));
        if (fields.size() != kEntries + 1)
            return Failure{QStringLiteral("table %1 has %2 fields instead of %3")
                               .arg(i + 1)
                               .arg(fields.size())
                               .arg(kEntries + 1)};
        if (fields[0].isEmpty())
            return Failure{QStringLiteral("table %1 has no name").arg(i + 1)};
        c.lutname[i] = fields[0];
        for (int j = 0; j < kEntries; ++j) {
            const std::optional<quint32> v = entryValue(fields[j + 1]);
            if (!v)
                return Failure{QStringLiteral("entry %1 of table %2 is not a colour: \"%3\"")
                                   .arg(j)
                                   .arg(i + 1)
                                   .arg(fields[j + 1])};
            c.lut[i][j] = colour(*v);
        }
    }
    return c;
}

const Catalogue& catalogue()
{
    static const Catalogue c = buildCatalogue();
    return c;
}

} // namespace isolumen
