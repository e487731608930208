#pragma once

#include <QWidget>

class QListWidget;
class QPushButton;

// The history window: a list of diagnostic lines that the image windows write while they load
// and redraw, with a button that clears it. There is at most one; the first line written makes
// and shows it, and closing it discards it with its lines, so the next line starts a new, empty
// window. The lines live only in its list.
class TextListWindow : public QWidget
{
    Q_OBJECT

public:
    // The shared window; makes and shows one when none is open.
    static TextListWindow* instance();
    // The shared window, or null; never makes one.
    static TextListWindow* existing();

    // Appends a line at the bottom of the list of the shared window (made when needed). The
    // list is not scrolled to show it.
    static void Add(const QString& text);

    QPushButton* ClearButton() const { return m_clearButton; }
    QListWidget* ListBox1() const { return m_listBox; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    TextListWindow();
    void ClearButton_Action();

    QPushButton* m_clearButton = nullptr;
    QListWidget* m_listBox = nullptr;
};
