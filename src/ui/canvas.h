#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

// A control that shows a picture as its backdrop, drawn at its top left and clipped to its
// size, on white. The picture is either held, or drawn on demand by the one who set it: a
// 2048 x 2048 image is then drawn at paint time straight into the window's backing store, so
// that neither a picture of 16 MB is kept per window nor copied on every paint. Presses, and the
// mouse moving over it and leaving it, are reported in the canvas' own pixels.
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

    QImage m_backdrop;
    QSize m_size;
    Drawing m_draw;
};
