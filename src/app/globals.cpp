#include "app/globals.h"

#include "app/msgbox.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <algorithm>

namespace Globals {

ImagePositions defaultImagePositions(const QRect& available, int mainWidth)
{
    ImagePositions p;
    const double L = available.left();
    const double T = available.top();
    const double A = available.width();
    const double W = mainWidth;
    const double step = std::min(375.0, (A - L - W) / 4.0);
    for (int i = 0; i < 4; ++i) {
        const int x = static_cast<int>(L + W + i * step); // truncation toward zero
        p.top[i] = static_cast<int>(T);
        p.top[i + 4] = static_cast<int>(T) + 315;
        p.left[i] = x;
        p.left[i + 4] = x;
    }
    return p;
}

bool FontAvailable(const QString& name)
{
    return QFontDatabase::families().contains(name);
}

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

QString SansSerifFont()
{
    // Fonts do not come and go during a run, so the choice is made once.
    static const QString chosen = [] {
        QFont probe;
        probe.setStyleHint(QFont::SansSerif);
        probe.setFamily(QStringLiteral("sans-serif"));
        const QString platform = QFontInfo(probe).family();
        QString name = chooseSansSerif(QFontDatabase::families(), platform);
        if (name.isEmpty())
            MsgBox(QStringLiteral("Is there no sans serif font installed?"));
        return name;
    }();
    return chosen;
}

} // namespace Globals
