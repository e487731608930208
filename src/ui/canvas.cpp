#include "ui/canvas.h"

#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QRegion>
#include <algorithm>

namespace isolumen {

Canvas::Canvas(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QImage Canvas::backdrop() const
{
    if (!m_draw)
        return m_backdrop;
    QImage picture(m_size, QImage::Format_RGB32);
    if (!picture.isNull())
        m_draw(picture.rect(), picture, QPoint(0, 0));
    return picture;
}

void Canvas::setBackdrop(const QImage& picture)
{
    m_backdrop = picture;
    m_size = picture.size();
    m_draw = nullptr;
    update();
}

void Canvas::setBackdrop(const QSize& size, Drawing draw)
{
    m_backdrop = QImage();
    m_size = draw ? size : QSize();
    m_draw = std::move(draw);
    update();
}

void Canvas::setZoomStep(int step)
{
    m_zoomStep = std::clamp(step, ZoomMap::kMinStep, ZoomMap::kMaxStep);
    update();
}

ZoomMap Canvas::zoomMap() const
{
    return {std::max(0, m_size.width() - 2), m_zoomStep};
}

void Canvas::drawPictureArea(const QRect& area, QImage& into, const QPoint& at) const
{
    if (m_draw) {
        m_draw(area, into, at);
        return;
    }
    QPainter painter(&into);
    painter.drawImage(at, m_backdrop, area);
}

void Canvas::paintEvent(QPaintEvent* event)
{
    if (m_zoomStep != 0 && !m_size.isEmpty()) {
        QPainter painter(this);
        const ZoomMap map = zoomMap();
        const QRect view(QPoint(0, 0), map.viewSize());
        for (const QRect& r : event->region().subtracted(view))
            painter.fillRect(r, Qt::white);
        for (const QRect& r : event->region()) {
            const QRect area = r & view;
            if (area.isEmpty())
                continue;
            QImage part(area.size(), QImage::Format_RGB32);
            drawZoomed(
                map,
                [this](const QRect& a, QImage& into, const QPoint& at) {
                    drawPictureArea(a, into, at);
                },
                area, part, QPoint(0, 0));
            painter.drawImage(area.topLeft(), part);
        }
        return;
    }
    QPainter painter(this);
    const QRect picture(QPoint(0, 0), m_size);
    // White only where an opaque picture does not cover the canvas: filling under it too
    // would paint every pixel twice.
    const bool covers = m_draw || (!m_backdrop.isNull() && !m_backdrop.hasAlphaChannel());
    const QRegion blank = covers ? event->region().subtracted(picture) : event->region();
    for (const QRect& r : blank)
        painter.fillRect(r, Qt::white);
    if (m_draw) {
        for (const QRect& r : event->region())
            drawArea(painter, r & picture);
    } else if (!m_backdrop.isNull()) {
        painter.drawImage(0, 0, m_backdrop);
    }
}

void Canvas::drawArea(QPainter& painter, const QRect& area) const
{
    if (area.isEmpty())
        return;
    // Where the painter draws into a 32-bit image one to one (the backing store of a window on
    // a screen without scaling), the picture is drawn straight into it; elsewhere through a
    // picture of the area.
    QPaintDevice* device = painter.paintEngine() ? painter.paintEngine()->paintDevice() : nullptr;
    if (device && device->devType() == QInternal::Image &&
        painter.deviceTransform().type() <= QTransform::TxTranslate) {
        auto* image = static_cast<QImage*>(device);
        const QImage::Format f = image->format();
        if (image->isDetached() && (f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
                                    f == QImage::Format_ARGB32_Premultiplied)) {
            m_draw(area, *image, painter.deviceTransform().map(area.topLeft()));
            return;
        }
    }
    QImage part(area.size(), QImage::Format_RGB32);
    m_draw(area, part, QPoint(0, 0));
    painter.drawImage(area.topLeft(), part);
}

void Canvas::mousePressEvent(QMouseEvent* event)
{
    emit pressed(event->position().toPoint());
    // Not consumed: the click goes on to the window as well.
    event->ignore();
}

void Canvas::mouseMoveEvent(QMouseEvent* event)
{
    emit hovered(event->position().toPoint());
    QWidget::mouseMoveEvent(event);
}

void Canvas::leaveEvent(QEvent* event)
{
    emit left();
    QWidget::leaveEvent(event);
}

} // namespace isolumen
