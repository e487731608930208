#pragma once

#include <QPointer>
#include <QWidget>

class QListWidget;
class QPushButton;

namespace isolumen {

// The history window ("Text List Window"): diagnostic lines that the image windows write while
// they load and redraw, with a button that clears them. There is at most one; the first line
// written makes and shows it below the window set as its anchor (the main window), and closing
// it discards it with its lines, so the next line starts a new, empty window. The lines live
// only in its list.
class HistoryWindow : public QWidget
{
    Q_OBJECT

public:
    // The shared window; makes and shows one when none is open.
    static HistoryWindow* instance();
    // The shared window, or null; never makes one.
    static HistoryWindow* existing();
    // The window a new history window opens below.
    static void setAnchor(QWidget* window);

    // Appends a line at the bottom of the shared window's list (made when needed). The list is
    // not scrolled to show it.
    static void add(const QString& text);

    // Where a window of frame size `frame` opens below a window whose frame is `anchor`: 8
    // pixels under it, moved up (and left) as far as needed to lie wholly inside the screen's
    // available area.
    static QPoint placeBelow(const QRect& anchor, const QSize& frame, const QRect& available);

    QPushButton* clearButton() const { return m_clearButton; }
    QListWidget* lines() const { return m_lines; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    HistoryWindow();

    QPushButton* m_clearButton = nullptr;
    QListWidget* m_lines = nullptr;
};

} // namespace isolumen
