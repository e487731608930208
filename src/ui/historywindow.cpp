#include "ui/historywindow.h"

#include "ui/systemfont.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>

namespace isolumen {

namespace {

QPointer<HistoryWindow>& shared()
{
    static QPointer<HistoryWindow> window;
    return window;
}

QPointer<QWidget>& anchor()
{
    static QPointer<QWidget> window;
    return window;
}

// Where the parts of the window sit as it opens: the button at the top, the list under it. The
// list keeps its distances to the window's edges as the window is resized.
namespace place {
constexpr QSize window(355, 395);
constexpr QRect clearButton(20, 14, 199, 20);
constexpr QRect list(20, 46, 320, 329);
constexpr QMargins listMargins(list.left(), list.top(), window.width() - 1 - list.right(),
                               window.height() - 1 - list.bottom());
// Between the main window's frame and this one's, under it.
constexpr int belowAnchor = 8;
} // namespace place

} // namespace

HistoryWindow::HistoryWindow() : QWidget(nullptr, Qt::Window)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Text List Window"));
    setMinimumSize(64, 64);
    resize(place::window);

    m_clearButton = new QPushButton(QStringLiteral("Clear History"), this);
    m_clearButton->setObjectName(QStringLiteral("clearButton"));
    m_clearButton->setFont(systemFont(12));
    m_clearButton->setGeometry(place::clearButton);
    connect(m_clearButton, &QPushButton::clicked, this, [this] { m_lines->clear(); });

    m_lines = new QListWidget(this);
    m_lines->setObjectName(QStringLiteral("lines"));
    m_lines->setFont(systemFont(10));
    // Every row is one line of the same font: the list need not measure each row anew, which
    // would slow every load down as the history grows.
    m_lines->setUniformItemSizes(true);
    m_lines->setGeometry(place::list);
}

QPoint HistoryWindow::placeBelow(const QRect& anchorFrame, const QSize& frame,
                                 const QRect& available)
{
    QPoint at(anchorFrame.left(), anchorFrame.bottom() + place::belowAnchor);
    at.setX(std::max(available.left(), std::min(at.x(), available.right() + 1 - frame.width())));
    at.setY(std::max(available.top(), std::min(at.y(), available.bottom() + 1 - frame.height())));
    return at;
}

HistoryWindow* HistoryWindow::instance()
{
    QPointer<HistoryWindow>& window = shared();
    if (!window) {
        window = new HistoryWindow;
        // Under the main window, where it covers neither the summary nor the image windows,
        // which open to the right of the main window; but never off the screen.
        if (const QWidget* main = anchor(); main && main->isVisible()) {
            const QScreen* screen =
                main->screen() ? main->screen() : QGuiApplication::primaryScreen();
            // The frame is the content plus the decorations the main window has too.
            const QSize decorations = main->frameGeometry().size() - main->geometry().size();
            const QPoint at = placeBelow(main->frameGeometry(), window->size() + decorations,
                                         screen->availableGeometry());
            window->move(at);
        }
        window->show();
    }
    return window;
}

HistoryWindow* HistoryWindow::existing()
{
    return shared();
}

void HistoryWindow::setAnchor(QWidget* window)
{
    anchor() = window;
}

void HistoryWindow::add(const QString& text)
{
    instance()->m_lines->addItem(text);
}

void HistoryWindow::closeEvent(QCloseEvent* event)
{
    // Forget it at once, not when it is deleted later: a line written in between must go to a
    // new window.
    if (shared() == this)
        shared() = nullptr;
    QWidget::closeEvent(event);
}

void HistoryWindow::resizeEvent(QResizeEvent* event)
{
    m_lines->setGeometry(rect().marginsRemoved(place::listMargins));
    QWidget::resizeEvent(event);
}

} // namespace isolumen
