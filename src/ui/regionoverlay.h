#pragma once

#include "core/stats/region.h"

#include <QImage>
#include <QLineF>
#include <QList>
#include <QPointF>
#include <QWidget>

namespace isolumen {

class Acquisition;
class Canvas;
class RegionTools;

// The layer over an image window's picture on which regions and the profile line are drawn,
// picked, moved, resized and deleted with the mouse and the keyboard, in the manner of the
// common image tools: drag to draw, click to select (Shift adds), drag a region to move it, drag
// a handle to resize it, Delete to remove it; a polygon is clicked vertex by vertex and closed
// by a double-click or a click on its first vertex. It paints the acquisition's regions with
// their numbers, each in the colour of its class, and paints nothing where there are none, so that
// the picture stays as it is. It covers the image canvas it is made on and follows its size, and
// passes the mouse's position on to it, so that the window's readout keeps working. It owns only
// the gesture in progress: the regions belong to the acquisition, the tool, selection and line to
// RegionTools.
class RegionOverlay : public QWidget
{
    Q_OBJECT

public:
    RegionOverlay(Acquisition& acquisition, Canvas* canvas);

    // Shown coordinates of a point of the overlay, through the canvas' zoom: at 100% the
    // picture's pixel (x + 1, y + 1) shows value (x, y), its frame none.
    QPointF shownPoint(const QPointF& at) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    enum class Gesture {
        None,
        Drawing,   // a rectangle, ellipse or freehand shape being dragged out
        Clicking,  // a press that selects unless it turns into a drag
        Moving,    // the selected regions follow the mouse
        Resizing,  // a handle of the one selected region follows the mouse
        Polygon,   // vertices clicked so far
        LineEnd,   // an end of the line follows the mouse
        LineMoving // the whole line follows the mouse
    };

    // A region, point or line in shown coordinates as drawn over the zoomed picture.
    Region inView(const Region& region) const;
    QPointF inView(const QPointF& p) const;
    // How near, in shown units, a press must come to take a handle: a few screen pixels.
    double grab() const;

    // The mouse position in shown coordinates, kept inside the frame, on whole pixels (corners
    // for regions, centres for the line).
    QPointF cornerAt(const QPointF& at) const;
    QPointF centreAt(const QPointF& at) const;
    double side() const;
    // The topmost region at a shown point, or -1.
    int regionAt(const QPointF& p) const;
    // The handles of a region, in shown coordinates: corners and edge middles of a rectangle or
    // ellipse, the vertices of a polygon.
    static QList<QPointF> handles(const Region& region);
    // The handle of the one selected region near p, or -1.
    int handleAt(const QPointF& p) const;
    Region resized(const Region& original, int handle, const QPointF& p) const;
    // The shape being dragged out from m_pressAt to p.
    Region draft(const QPointF& p) const;
    // The steps of a press: on the line tool's line, on a region or its handle (false when
    // the press is on none), and on empty ground.
    void pressLine(const QPointF& raw, const QPointF& centre);
    bool pressRegion(const QPointF& raw);
    void pressEmpty(const QPointF& raw);
    void finishPolygon();
    void deleteSelected();
    void cancelGesture();
    // A drag, or a deletion of several regions, is one step of the analysis history.
    void holdHistory();
    void releaseHistory();

    // colour: the light line's, unless selected (the class's colour, or that of regions
    // without one).
    // The regions drawn over a transparent picture of the part of the overlay in view (at
    // least `needed`), kept until outlinesChanged().
    const QImage& outlines(const QRect& needed) const;
    void outlinesChanged();
    void paintRegion(QPainter& painter, const Region& region, int number, bool selected,
                     const QColor& colour) const;
    void paintLabel(QPainter& painter, const Region& region, int number,
                    const QColor& colour) const;
    void paintLine(QPainter& painter) const;
    static void paintHandle(QPainter& painter, const QPointF& at);

    Acquisition& m_acquisition;
    Canvas* m_canvas;
    RegionTools& m_tools;
    Gesture m_gesture = Gesture::None;
    QPointF m_pressAt;                        // shown, on whole pixels, where the gesture began
    QPointF m_pressRaw;                       // shown, where a click was pressed
    QPointF m_mouseAt;                        // shown, the last position seen
    QList<QPointF> m_points;                  // a polygon's vertices or a freehand path so far
    QList<Region> m_originals;                // the selected regions as they were when moving began
    QLineF m_originalLine;                    // the line as it was when moving began
    int m_handle = -1;                        // the handle or line end being dragged
    bool m_adding = false;                    // Shift held at the press
    bool m_holding = false;                   // the history waits for the gesture's end
    mutable QImage m_outlines;                // null when it must be drawn again
    mutable QRect m_outlinesArea;             // the part of the overlay they cover
    mutable QList<QPointF> m_outlinesMapping; // two points in view, as the outlines were drawn
};

} // namespace isolumen
