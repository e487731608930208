#include "core/render/picturefont.h"

#include <QFontDatabase>
#include <QFontInfo>

namespace isolumen {

QString chooseSansSerif(const QStringList& installed, const QString& platformSansSerif)
{
    static const char* const preferred[] = {"Geneva", "Arial", "Verdana", "Helvetica", "Monaco"};
    for (const char* name : preferred) {
        if (installed.contains(QLatin1String(name)))
            return QLatin1String(name);
    }
    if (installed.isEmpty())
        return {};
    if (!platformSansSerif.isEmpty() && installed.contains(platformSansSerif))
        return platformSansSerif;
    return installed.first();
}

QString sansSerifFamily()
{
    // Fonts do not come and go during a run, so the choice is made once.
    static const QString chosen = [] {
        QFont probe;
        probe.setStyleHint(QFont::SansSerif);
        probe.setFamily(QStringLiteral("sans-serif"));
        return chooseSansSerif(QFontDatabase::families(), QFontInfo(probe).family());
    }();
    return chosen;
}

QFont pictureFont(int textSize)
{
    const QString family = sansSerifFamily();
    QFont font = family.isEmpty() ? QFont() : QFont(family);
    // One pixel larger than the layout's text size: 9-pixel glyphs are hard to read, while at
    // 10 pixels the widest label of 16-bit data ("+65535") still fits beside the ramp.
    font.setPixelSize(textSize + 1);
    return font;
}

} // namespace isolumen
