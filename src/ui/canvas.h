#pragma once

#include "core/render/zoom.h"

#include <QImage>
#include <QWidget>
#include <functional>

namespace isolumen {

// A control that shows a picture as its backdrop, drawn at its top left and clipped to its
// size, on white. The picture is either held, or drawn on demand by the one who set it: a
// 2048 x 2048 image is then drawn at paint time straight into the window's backing store, so
// that neither a picture of 16 MB is kept per window nor copied on every paint. Presses, and the
// mouse moving over it and leaving it, are reported in the canvas' own pixels. A framed picture
// (a plane's) can be shown zoomed: the canvas then draws it through its ZoomMap, which also
// turns the canvas' pixels into shown coordinates for whoever reads the mouse.
class Canvas : public QWidget
{
    Q_OBJECT

public:
    // Draws the pixels of `area` of the picture into `into` (32-bit) with the area's top left at
    // `at`.
    using Drawing = std::function<void(const QRect& area, QImage& into, const QPoint& at)>;

    explicit Canvas(QWidget* parent = nullptr);

    // The picture shown; drawn whole when it is drawn on demand.
    QImage backdrop() const;
    bool hasBackdrop() const { return !m_size.isEmpty(); }
    void setBackdrop(const QImage& picture);
    // Shows an opaque picture of `size` that `draw` draws on demand.
    void setBackdrop(const QSize& size, Drawing draw);

    // The zoom is 2^step; the canvas does not resize itself: its owner sizes it to viewSize().
    int zoomStep() const { return m_zoomStep; }
    void setZoomStep(int step);
    ZoomMap zoomMap() const;
    QSize viewSize() const { return zoomMap().viewSize(); }
    // Shown coordinates of a point of the canvas, and back.
    QPointF toShown(const QPointF& at) const { return zoomMap().toShown(at); }
    QPointF toView(const QPointF& shown) const { return zoomMap().toView(shown); }

signals:
    void pressed(const QPoint& at);
    void hovered(const QPoint& at);
    void left();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void drawArea(QPainter& painter, const QRect& area) const;

    void drawPictureArea(const QRect& area, QImage& into, const QPoint& at) const;

    QImage m_backdrop;
    int m_zoomStep = 0;
    QSize m_size;
    Drawing m_draw;
};

} // namespace isolumen
