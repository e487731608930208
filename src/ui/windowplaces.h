#pragma once

#include <QHash>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <array>

namespace isolumen {

// Where image windows open: the species' remembered place (where its window was last closed),
// else a default place in two rows of four to the right of the main window. The main window
// owns one for the run; nothing is kept between runs.
class WindowPlaces
{
public:
    static constexpr int kSlots = 8;

    // Default places in the screen's available area beside a main window of width mainWidth:
    // columns from the main window's right edge, min(375, (A - L - W) / 4) apart (truncated
    // toward zero); the first row at the area's top, the second rowHeight below it.
    static std::array<QPoint, kSlots> defaultPlaces(const QRect& available, int mainWidth,
                                                    int rowHeight);

    // "Tile Windows": frames of these sizes in rows from (left, the area's top), left to right,
    // a new row wherever the next frame would pass the area's right edge. fits tells whether
    // every frame lies inside the area.
    struct Tiling
    {
        QList<QPoint> places;
        bool fits = false;
    };
    static Tiling tile(const QRect& available, int left, const QList<QSize>& frames);

    // Sets the defaults, as the main window does when it opens.
    void setDefaults(const QRect& available, int mainWidth);
    // The available area the defaults were set for.
    QRect available() const { return m_available; }
    // The place of a window: remembered under key, else default slot `slot` (0 to 7; slots
    // beyond repeat them), whose second row starts rowHeight below the first: the height a
    // first-row window's frame really has, so that the rows never overlap.
    QPoint place(const QString& key, int slot, int rowHeight) const;
    void remember(const QString& key, const QPoint& topLeft) { m_remembered.insert(key, topLeft); }

private:
    QRect m_available;
    int m_mainWidth = 0;
    QHash<QString, QPoint> m_remembered;
};

} // namespace isolumen
