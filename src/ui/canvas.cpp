#include "ui/canvas.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRegion>

Canvas::Canvas(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Canvas::setBackdrop(const QImage& picture)
{
    m_backdrop = picture;
    update();
}

void Canvas::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // White only where an opaque picture does not cover the canvas: filling under it too
    // would paint every pixel twice.
    const bool covers = !m_backdrop.isNull() && !m_backdrop.hasAlphaChannel();
    const QRegion blank = covers ? QRegion(rect()).subtracted(m_backdrop.rect()) : QRegion(rect());
    for (const QRect& r : blank)
        painter.fillRect(r, Qt::white);
    if (!m_backdrop.isNull())
        painter.drawImage(0, 0, m_backdrop);
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
