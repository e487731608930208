#pragma once

#include <QPoint>
#include <QScrollArea>
#include <optional>

namespace isolumen {

class Canvas;

// The picture area of an image window: the image canvas in a scrolled area, shown at a zoom of
// 2^step. Ctrl+wheel zooms about the mouse, the middle button drags the picture, the scroll
// bars pan it. It owns the canvas; whatever is laid over the canvas (the regions) is made on
// the canvas and follows it, and the area sees that layer's wheel and middle-button events first.
class ImageView : public QScrollArea
{
    Q_OBJECT

public:
    explicit ImageView(QWidget* parent = nullptr);

    Canvas* canvas() const { return m_canvas; }
    int zoomStep() const;
    // Zooms, keeping the picture's point under `anchor` (the area's own pixels; its middle when
    // absent) where it is.
    void setZoomStep(int step, std::optional<QPointF> anchor = std::nullopt);
    // Sizes the canvas after its picture; called when the picture changed size.
    void fitCanvas();
    // The largest zoom step (at most 100% unless it fits above) at which `side` samples and the
    // frame fit `room` pixels, at least the smallest step.
    static int fittingStep(int side, int room, int highest = 0);

signals:
    void zoomChanged(int step);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watch(QObject* object);

    Canvas* m_canvas = nullptr;
    std::optional<QPointF> m_panFrom; // global position of the last middle-button drag step
};

} // namespace isolumen
