#include "core/model/ratiodefinition.h"

#include "core/text/numbertext.h"

namespace isolumen {

namespace {

const QString kTimes = QStringLiteral(" \u00d7");
const QString kPercent = QStringLiteral(" at-%");
const QString kDelta = QStringLiteral(" \u03b4 (\u2030)");

std::optional<int> speciesNamed(const QString& text, const QStringList& labels)
{
    const QString name = text.trimmed();
    for (int i = 0; i < labels.size(); ++i) {
        if (labels[i].trimmed() == name)
            return i;
    }
    bool ok = false;
    const int number = name.toInt(&ok);
    return ok && number >= 1 ? std::optional<int>(number - 1) : std::nullopt;
}

Result<QList<int>> parseTerm(QString text, const QStringList& labels)
{
    text = text.trimmed();
    if (text.startsWith(QLatin1Char('(')) && text.endsWith(QLatin1Char(')')))
        text = text.mid(1, text.size() - 2);
    QList<int> species;
    for (const QString& part : text.split(QLatin1Char('+'))) {
        const std::optional<int> s = speciesNamed(part, labels);
        if (!s) {
            return Failure{QStringLiteral("\"%1\" is no species").arg(part.trimmed())};
        }
        if (species.contains(*s)) {
            return Failure{QStringLiteral("\"%1\" is summed twice").arg(part.trimmed())};
        }
        species << *s;
    }
    return species;
}

QString termLabel(const QList<int>& species, const std::function<QString(int)>& name)
{
    QStringList names;
    for (const int s : species)
        names << name(s).trimmed();
    const QString sum = names.join(QLatin1Char('+'));
    return species.size() > 1 ? QLatin1Char('(') + sum + QLatin1Char(')') : sum;
}

} // namespace

double RatioDefinition::gain() const
{
    switch (unit) {
    case RatioUnit::Percent:
        return 100 * scale;
    case RatioUnit::Delta:
        return 1000 * scale / standard;
    case RatioUnit::Plain:
        break;
    }
    return scale;
}

double RatioDefinition::offset() const
{
    return unit == RatioUnit::Delta ? -1000 : 0;
}

QList<int> RatioDefinition::species() const
{
    QList<int> all;
    for (const int s : numerator + denominator) {
        if (!all.contains(s))
            all << s;
    }
    return all;
}

Result<RatioDefinition> parseRatioTerms(const QString& text, const QStringList& labels)
{
    QString why;
    const QStringList terms = text.split(QLatin1Char('/'));
    RatioDefinition ratio;
    ratio.denominator.clear();
    if (terms.size() > 2)
        why = QStringLiteral("a ratio has one \"/\"");
    else if (const Result<QList<int>> n = parseTerm(terms.first(), labels); n)
        ratio.numerator = *n;
    else
        why = n.error().message;
    if (why.isEmpty() && terms.size() == 2) {
        if (const Result<QList<int>> d = parseTerm(terms.last(), labels); d)
            ratio.denominator = *d;
        else
            why = d.error().message;
    }
    if (why.isEmpty())
        return ratio;
    return Failure{why};
}

QString ratioTermsLabel(const RatioDefinition& ratio, const std::function<QString(int)>& name)
{
    return termLabel(ratio.numerator, name) + QLatin1Char('/') + termLabel(ratio.denominator, name);
}

QString ratioLabel(const RatioDefinition& ratio, const std::function<QString(int)>& name)
{
    QString label = ratioTermsLabel(ratio, name);
    // A scaled ratio says so wherever it is named: "13C/12C ×10000".
    if (ratio.scale != 1)
        label += kTimes + valueText(ratio.scale);
    if (ratio.unit == RatioUnit::Percent)
        label += kPercent;
    else if (ratio.unit == RatioUnit::Delta)
        label += kDelta;
    return label;
}

QString ratioTermsText(const QString& label)
{
    qsizetype end = label.size();
    for (const QString& suffix : {kTimes, kPercent, kDelta}) {
        const qsizetype at = label.indexOf(suffix);
        if (at >= 0)
            end = std::min(end, at);
    }
    return label.left(end);
}

} // namespace isolumen
