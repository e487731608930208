#include "display/canvas.h"

#include <QMouseEvent>
#include <QPainter>

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
    painter.fillRect(rect(), Qt::white);
    if (!m_backdrop.isNull())
        painter.drawImage(0, 0, m_backdrop);
}

void Canvas::mousePressEvent(QMouseEvent* event)
{
    emit pressed(event->position().toPoint());
    // Not consumed: the click goes on to the window as well.
    event->ignore();
}
