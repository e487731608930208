#pragma once

#include <QImage>
#include <QWidget>

// A control that shows a picture as its backdrop, drawn at its top left and clipped to its
// size, on white. Presses, and the mouse moving over it and leaving it, are reported in the
// canvas' own pixels.
class Canvas : public QWidget
{
    Q_OBJECT

public:
    explicit Canvas(QWidget* parent = nullptr);

    const QImage& backdrop() const { return m_backdrop; }
    bool hasBackdrop() const { return !m_backdrop.isNull(); }
    void setBackdrop(const QImage& picture);

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
    QImage m_backdrop;
};
