#include "ui/imageview.h"

#include "ui/canvas.h"

#include <QChildEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <cmath>

namespace isolumen {

ImageView::ImageView(QWidget* parent) : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setBackgroundRole(QPalette::Base);
    m_canvas = new Canvas;
    setWidget(m_canvas);
    watch(m_canvas);
}

void ImageView::watch(QObject* object)
{
    object->installEventFilter(this);
    for (QObject* child : object->children())
        watch(child);
}

int ImageView::zoomStep() const
{
    return m_canvas->zoomStep();
}

int ImageView::fittingStep(int side, int room, int highest)
{
    for (int step = highest; step > ZoomMap::kMinStep; --step) {
        if (ZoomMap{side, step}.viewSide() + 2 <= room)
            return step;
    }
    return ZoomMap::kMinStep;
}

void ImageView::fitCanvas()
{
    m_canvas->resize(m_canvas->viewSize());
}

void ImageView::setZoomStep(int step, std::optional<QPointF> anchor)
{
    step = std::clamp(step, ZoomMap::kMinStep, ZoomMap::kMaxStep);
    if (step == zoomStep())
        return;
    const QPointF at = anchor.value_or(QRectF(viewport()->rect()).center());
    const QPointF shown = m_canvas->toShown(at - QPointF(m_canvas->pos()));
    m_canvas->setZoomStep(step);
    fitCanvas();
    emit zoomChanged(step); // the window may resize the area
    const QPointF there = m_canvas->toView(shown) - at;
    horizontalScrollBar()->setValue(int(std::lround(there.x())));
    verticalScrollBar()->setValue(int(std::lround(there.y())));
}

bool ImageView::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ChildAdded: // a layer laid over the canvas
        watch(static_cast<QChildEvent*>(event)->child());
        break;
    case QEvent::Wheel: {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (!(wheel->modifiers() & Qt::ControlModifier) || wheel->angleDelta().y() == 0)
            break;
        auto* widget = qobject_cast<QWidget*>(watched);
        const QPointF at =
            widget ? widget->mapTo(viewport(), wheel->position()) : wheel->position();
        setZoomStep(zoomStep() + (wheel->angleDelta().y() > 0 ? 1 : -1), at);
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::MiddleButton) {
            m_panFrom = mouse->globalPosition();
            return true;
        }
        if (!m_panFrom)
            break;
        if (event->type() == QEvent::MouseButtonRelease && mouse->button() == Qt::MiddleButton) {
            m_panFrom.reset();
            return true;
        }
        if (event->type() == QEvent::MouseMove) {
            const QPointF d = mouse->globalPosition() - *m_panFrom;
            m_panFrom = mouse->globalPosition();
            horizontalScrollBar()->setValue(horizontalScrollBar()->value() -
                                            int(std::lround(d.x())));
            verticalScrollBar()->setValue(verticalScrollBar()->value() - int(std::lround(d.y())));
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QScrollArea::eventFilter(watched, event);
}

} // namespace isolumen
