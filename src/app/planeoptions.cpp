#include "app/planeoptions.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <limits>

namespace {

const QString kSpecies = QStringLiteral("species");
const QString kPlane = QStringLiteral("plane");
const QString kLayers = QStringLiteral("layers");
const QString kSum = QStringLiteral("sum");

} // namespace

std::optional<int> wholeNumber(const QString& text, int first, int last)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok || n < first || n > last)
        return std::nullopt;
    return n;
}

void addPlaneOptions(QCommandLineParser& parser)
{
    parser.addOption(
        {kSpecies, QStringLiteral("The species, from 1 (default 1)."), QStringLiteral("N")});
    parser.addOption(
        {kPlane, QStringLiteral("The layer, from 1 (default 1)."), QStringLiteral("P")});
    parser.addOption(
        {kLayers, QStringLiteral("The layers A to B, from 1."), QStringLiteral("A-B")});
    parser.addOption({kSum, QStringLiteral("Sum the layers (all, or those of --layers).")});
}

std::variant<PlaneChoice, Failure> readPlaneChoice(const QCommandLineParser& parser,
                                                   bool allowAllSpecies)
{
    PlaneChoice c;
    constexpr int most = std::numeric_limits<int>::max();
    if (parser.isSet(kSpecies)) {
        const QString v = parser.value(kSpecies);
        if (allowAllSpecies && v == QLatin1String("all"))
            c.allSpecies = true;
        else if (!(c.species = wholeNumber(v, 1, most)))
            return Failure{QStringLiteral("--species needs a whole number from 1%1: %2")
                               .arg(allowAllSpecies ? QStringLiteral(" or all") : QString(), v)};
    }
    if (parser.isSet(kPlane) && !(c.plane = wholeNumber(parser.value(kPlane), 1, most)))
        return Failure{
            QStringLiteral("--plane needs a whole number from 1: %1").arg(parser.value(kPlane))};
    if (parser.isSet(kLayers)) {
        static const QRegularExpression range(QStringLiteral("^\\s*(\\d+)\\s*-\\s*(\\d+)\\s*$"));
        const QRegularExpressionMatch m = range.match(parser.value(kLayers));
        const int a = m.hasMatch() ? wholeNumber(m.captured(1), 1, most).value_or(0) : 0;
        const int b = m.hasMatch() ? wholeNumber(m.captured(2), 1, most).value_or(0) : 0;
        if (a < 1 || b < 1)
            return Failure{QStringLiteral("--layers needs two layer numbers from 1, as A-B: %1")
                               .arg(parser.value(kLayers))};
        if (a > b)
            return Failure{QStringLiteral("--layers %1: the first layer is after the last.")
                               .arg(parser.value(kLayers))};
        c.layers = std::pair{a, b};
    }
    if (c.plane && c.layers)
        return Failure{QStringLiteral("--plane and --layers cannot be given together.")};
    c.sum = parser.isSet(kSum);
    if (c.sum && c.plane)
        return Failure{QStringLiteral("--sum adds layers: give --layers A-B, not --plane.")};
    return c;
}

std::optional<Failure> openForMode(Acquisition& acquisition, const QString& path,
                                   const std::function<void(const QString&)>& warn)
{
    const ImFile::Status status = acquisition.open(path);
    if (status == ImFile::Status::Unusable)
        return Failure{acquisition.errorString()};
    if (status == ImFile::Status::Refused)
        return Failure{QStringLiteral("%1: (not an image file)").arg(path)};
    for (const QString& m : acquisition.messages())
        warn(m);
    const QString reason = acquisition.unshowableReason();
    if (!reason.isEmpty())
        return Failure{QStringLiteral("%1: %2").arg(path, reason)};
    return std::nullopt;
}

std::variant<QList<int>, Failure> chosenSpecies(const PlaneChoice& choice,
                                                const Acquisition& acquisition)
{
    const int count = acquisition.speciesCount();
    QList<int> species;
    if (choice.allSpecies) {
        for (int s = 0; s < count; ++s)
            species << s;
        return species;
    }
    const int s = choice.species.value_or(1);
    if (s > count)
        return Failure{QStringLiteral("--species %1 is out of range: the file has species 1 to %2.")
                           .arg(s)
                           .arg(count)};
    return QList<int>{s - 1};
}

std::variant<QList<std::pair<int, int>>, Failure> chosenLayers(const PlaneChoice& choice,
                                                               const Acquisition& acquisition)
{
    const int count = acquisition.layerCount();
    auto outOfRange = [&](const QString& option) {
        return Failure{QStringLiteral("%1 is out of range: the file has layers 1 to %2.")
                           .arg(option)
                           .arg(count)};
    };
    if (choice.plane) {
        if (*choice.plane > count)
            return outOfRange(QStringLiteral("--plane %1").arg(*choice.plane));
        return QList<std::pair<int, int>>{{*choice.plane, *choice.plane}};
    }
    std::pair<int, int> range{1, choice.sum ? count : 1};
    if (choice.layers) {
        range = *choice.layers;
        if (range.second > count)
            return outOfRange(QStringLiteral("--layers %1-%2").arg(range.first).arg(range.second));
    }
    if (choice.sum || !choice.layers)
        return QList<std::pair<int, int>>{range};
    QList<std::pair<int, int>> each;
    for (int l = range.first; l <= range.second; ++l)
        each << std::pair{l, l};
    return each;
}
