#include "app/textlistwindow.h"

#include "app/systemfont.h"

#include <QApplication>
#include <QCloseEvent>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>

namespace {

QPointer<TextListWindow>& shared()
{
    static QPointer<TextListWindow> window;
    return window;
}

// The list keeps these distances to the window's edges as the window is resized.
constexpr int listLeft = 20;
constexpr int listTop = 46;
constexpr int listRightMargin = 355 - (20 + 320);
constexpr int listBottomMargin = 395 - (46 + 329);

} // namespace

TextListWindow::TextListWindow() : QWidget(nullptr, Qt::Window)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Text List Window"));
    setMinimumSize(64, 64);
    resize(355, 395);

    m_clearButton = new QPushButton(QStringLiteral("Clear History"), this);
    m_clearButton->setObjectName(QStringLiteral("ClearButton"));
    m_clearButton->setFont(systemFont(12));
    m_clearButton->setGeometry(20, 14, 199, 20);
    connect(m_clearButton, &QPushButton::clicked, this, &TextListWindow::ClearButton_Action);

    m_listBox = new QListWidget(this);
    m_listBox->setObjectName(QStringLiteral("ListBox1"));
    m_listBox->setFont(systemFont(10));
    // Every row is one line of the same font: the list need not measure each row anew, which
    // would slow every load down as the history grows.
    m_listBox->setUniformItemSizes(true);
    m_listBox->setGeometry(listLeft, listTop, 320, 329);
}

namespace {

const QWidget* mainWindow()
{
    for (const QWidget* w : QApplication::topLevelWidgets()) {
        if (w->inherits("Main") && w->isVisible())
            return w;
    }
    return nullptr;
}

} // namespace

TextListWindow* TextListWindow::instance()
{
    QPointer<TextListWindow>& window = shared();
    if (!window) {
        window = new TextListWindow;
        // Under the main window, where it covers neither the summary nor the image windows,
        // which open to the right of the main window.
        if (const QWidget* main = mainWindow())
            window->move(main->frameGeometry().left(), main->frameGeometry().bottom() + 8);
        window->show();
    }
    return window;
}

TextListWindow* TextListWindow::existing()
{
    return shared();
}

void TextListWindow::Add(const QString& text)
{
    instance()->m_listBox->addItem(text);
}

void TextListWindow::ClearButton_Action()
{
    m_listBox->clear();
}

void TextListWindow::closeEvent(QCloseEvent* event)
{
    // Forget it at once, not when it is deleted later: a line written in between must go to a
    // new window.
    if (shared() == this)
        shared() = nullptr;
    QWidget::closeEvent(event);
}

void TextListWindow::resizeEvent(QResizeEvent* event)
{
    m_listBox->setGeometry(listLeft, listTop, width() - listLeft - listRightMargin,
                           height() - listTop - listBottomMargin);
    QWidget::resizeEvent(event);
}
