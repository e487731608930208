#include "core/text/layerlist.h"

#include <QStringList>
#include <algorithm>

namespace isolumen {

namespace {

// A whole number from 1 to kMostListedLayer written in digits only.
std::optional<int> layerNumber(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || !std::all_of(t.begin(), t.end(), [](QChar c) { return c.isDigit(); }))
        return std::nullopt;
    bool ok = false;
    const int n = t.toInt(&ok);
    return ok && n >= 1 && n <= kMostListedLayer ? std::optional<int>(n) : std::nullopt;
}

} // namespace

std::optional<std::vector<int>> parseLayerList(const QString& text)
{
    std::vector<int> layers;
    if (text.trimmed().isEmpty())
        return layers;
    for (const QString& item : text.split(QLatin1Char(','))) {
        const QStringList ends = item.split(QLatin1Char('-'));
        if (ends.size() > 2)
            return std::nullopt;
        const std::optional<int> a = layerNumber(ends.first());
        const std::optional<int> b = ends.size() == 2 ? layerNumber(ends[1]) : a;
        if (!a || !b || *a > *b)
            return std::nullopt;
        for (int l = *a; l <= *b; ++l)
            layers.push_back(l);
    }
    std::sort(layers.begin(), layers.end());
    layers.erase(std::unique(layers.begin(), layers.end()), layers.end());
    return layers;
}

QString layerListText(const std::vector<int>& layers)
{
    QStringList items;
    for (std::size_t i = 0; i < layers.size();) {
        std::size_t j = i;
        while (j + 1 < layers.size() && layers[j + 1] == layers[j] + 1)
            ++j;
        if (j - i >= 2) {
            items << QStringLiteral("%1-%2").arg(layers[i]).arg(layers[j]);
        } else {
            for (std::size_t k = i; k <= j; ++k)
                items << QString::number(layers[k]);
        }
        i = j + 1;
    }
    return items.join(QLatin1Char(','));
}

} // namespace isolumen
