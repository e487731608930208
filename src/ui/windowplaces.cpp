#include "ui/windowplaces.h"

#include <algorithm>

namespace isolumen {

std::array<QPoint, WindowPlaces::kSlots> WindowPlaces::defaultPlaces(const QRect& available,
                                                                     int mainWidth, int rowHeight)
{
    std::array<QPoint, kSlots> places;
    const double L = available.left();
    const double T = available.top();
    const double A = available.width();
    const double W = mainWidth;
    const double step = std::min(375.0, (A - L - W) / 4.0);
    for (int i = 0; i < 4; ++i) {
        const int x = static_cast<int>(L + W + i * step); // truncation toward zero
        places[i] = QPoint(x, int(T));
        places[i + 4] = QPoint(x, int(T) + rowHeight);
    }
    return places;
}

WindowPlaces::Tiling WindowPlaces::tile(const QRect& available, int left,
                                        const QList<QSize>& frames)
{
    Tiling t;
    t.fits = true;
    QPoint at(left, available.top());
    int rowHeight = 0;
    for (const QSize& frame : frames) {
        if (at.x() > left && at.x() + frame.width() > available.right() + 1) {
            at = QPoint(left, at.y() + rowHeight);
            rowHeight = 0;
        }
        t.places << at;
        t.fits = t.fits && available.contains(QRect(at, frame));
        at.rx() += frame.width();
        rowHeight = std::max(rowHeight, frame.height());
    }
    return t;
}

void WindowPlaces::setDefaults(const QRect& available, int mainWidth)
{
    m_available = available;
    m_mainWidth = mainWidth;
}

QPoint WindowPlaces::place(const QString& key, int slot, int rowHeight) const
{
    if (const auto it = m_remembered.constFind(key); it != m_remembered.constEnd())
        return it.value();
    return defaultPlaces(m_available, m_mainWidth, rowHeight)[std::max(0, slot) % kSlots];
}

} // namespace isolumen
