#pragma once

#include <QImage>
#include <QWidget>

// One colour table of the catalogue shown as a vertical bar that acts as one choice of a
// radio-style group: selected, a wide bar in a grey two-pixel frame; unselected, a narrow bar
// on light grey. Both looks are rendered once, when the button is made, so a paint or a change
// of state is one picture copy. The window that holds the buttons keeps one of them selected.
class ColorBarButton : public QWidget
{
    Q_OBJECT

public:
    static constexpr int Width = 24;
    static constexpr int Height = 258;

    explicit ColorBarButton(int colorTable, QWidget* parent = nullptr);

    bool Value() const { return m_value; }
    int ColorTable() const { return m_colorTable; }
    const QImage& PictureUp() const { return m_pictureUp; }
    const QImage& PictureDown() const { return m_pictureDown; }
    // The look on screen now: PictureDown while selected, else PictureUp.
    const QImage& shownPicture() const { return m_value ? m_pictureDown : m_pictureUp; }

    void setValue(bool v);
    void redraw();
    void drawWhenDown();
    void drawWhenUp();

    // Both looks of a button showing catalogue table colorTable.
    static QImage selectedLook(int colorTable);
    static QImage unselectedLook(int colorTable);

signals:
    // The button was pressed; raised at every press, also when it was selected already.
    void Action();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    const int m_colorTable;
    bool m_value = false;
    bool m_showDown = false;
    QImage m_pictureUp;
    QImage m_pictureDown;
};
