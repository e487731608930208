#include "core/render/classcolours.h"

#include <QStringList>

namespace isolumen {

QList<QRgb> classPalette()
{
    return {qRgb(230, 159, 0), qRgb(86, 180, 233),  qRgb(0, 158, 115),
            qRgb(213, 94, 0),  qRgb(204, 121, 167), qRgb(0, 114, 178)};
}

QList<QPair<QString, QRgb>> classColours(const QList<Region>& regions)
{
    QStringList classes;
    for (const Region& r : regions)
        classes << r.regionClass;
    return classColours(classes);
}

QList<QPair<QString, QRgb>> classColours(const QStringList& classes)
{
    const QList<QRgb> palette = classPalette();
    QList<QPair<QString, QRgb>> colours;
    QStringList seen;
    for (const QString& text : classes) {
        const QString name = text.trimmed();
        if (name.isEmpty() || seen.contains(name))
            continue;
        seen << name;
        colours << qMakePair(name, palette[(seen.size() - 1) % palette.size()]);
    }
    return colours;
}

} // namespace isolumen
