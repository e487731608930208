#pragma once

#include <QImage>
#include <QWidget>

namespace isolumen {

// One colour table of the catalogue shown as a vertical bar that acts as one choice of a
// radio-style group: selected, a wide bar in a grey two-pixel frame; unselected, a narrow bar
// on light grey. Both looks are rendered once, when the button is made, so a paint or a change
// of state is one picture copy. The window that holds the buttons keeps one of them selected.
class ColourBarButton : public QWidget
{
    Q_OBJECT

public:
    static constexpr int Width = 24;
    static constexpr int Height = 258;

    explicit ColourBarButton(int table, QWidget* parent = nullptr);

    int table() const { return m_table; }
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    // The look on screen now.
    const QImage& shownLook() const { return m_selected ? m_selectedLook : m_unselectedLook; }

    // Both looks of a button showing catalogue table `table`.
    static QImage selectedLook(int table);
    static QImage unselectedLook(int table);

signals:
    // The button was pressed; raised at every press, also when it was selected already. A
    // press is complete on mouse-down.
    void pressed();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    const int m_table;
    bool m_selected = false;
    QImage m_unselectedLook;
    QImage m_selectedLook;
};

} // namespace isolumen
