#include "ui/colourbarbutton.h"

#include "core/colour/catalogue.h"

#include <QMouseEvent>
#include <QPainter>

namespace isolumen {

namespace {

constexpr QRgb frameGrey = 0xFF888888;  // (136, 136, 136)
constexpr QRgb groundGrey = 0xFFD8D8D8; // (216, 216, 216)

// Rows 2 to 255 show entries 254 down to 1: high display levels at the top.
void drawBar(QImage& picture, int table, int fromX, int toX)
{
    for (int y = 2; y <= 255; ++y) {
        const QRgb c = 0xFF000000 | colourTable(table)[256 - y];
        QRgb* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        std::fill(line + fromX, line + toX + 1, c);
    }
}

void outline(QImage& picture, int x, int y, int w, int h, QRgb c)
{
    for (int i = x; i < x + w; ++i) {
        picture.setPixel(i, y, c);
        picture.setPixel(i, y + h - 1, c);
    }
    for (int j = y; j < y + h; ++j) {
        picture.setPixel(x, j, c);
        picture.setPixel(x + w - 1, j, c);
    }
}

} // namespace

ColourBarButton::ColourBarButton(int table, QWidget* parent)
    : QWidget(parent), m_table(table), m_unselectedLook(unselectedLook(table)),
      m_selectedLook(selectedLook(table))
{
    setFixedSize(Width, Height);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QImage ColourBarButton::selectedLook(int table)
{
    QImage p(Width, Height, QImage::Format_RGB32);
    p.fill(Qt::white);
    drawBar(p, table, 1, 23);
    // The two outlines cover the ends of the bar lines: the visible bar is columns 2 to 21.
    outline(p, 0, 0, Width, Height, frameGrey);
    outline(p, 1, 1, Width - 2, Height - 2, frameGrey);
    return p;
}

QImage ColourBarButton::unselectedLook(int table)
{
    QImage p(Width, Height, QImage::Format_RGB32);
    p.fill(groundGrey);
    drawBar(p, table, 8, 14);
    return p;
}

void ColourBarButton::setSelected(bool selected)
{
    m_selected = selected;
    update();
}

void ColourBarButton::mousePressEvent(QMouseEvent* event)
{
    setSelected(true);
    event->accept();
    emit pressed();
}

void ColourBarButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, shownLook());
}

} // namespace isolumen
