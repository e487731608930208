#pragma once

#include <QList>
#include <QObject>
#include <memory>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

// The one menu bar of the program: File, Edit and Window with their items, shared by every
// window. It owns the menus and their actions; each window with a menu bar adds the same menus
// to it (attachTo). A chosen item runs the handler that the front window registered under the
// item's name (MenuHandlers) and does nothing where none is registered. "Quit" quits by itself.
//
// Items with a shortcut act from any window of the program, so "Quit" works everywhere; the
// front window decides what the other shortcuts do. The Edit items are never enabled, which
// leaves Ctrl+C, Ctrl+V etc. to the edit fields. The other items stay enabled in every window.
class Menu : public QObject
{
    Q_OBJECT

public:
    ~Menu() override;

    // The shared instance, made on first use; released with the application object at the
    // latest.
    static Menu& instance();
    // Releases the shared instance (shutdown); the next instance() makes a new one.
    static void release();

    // An item by its name ("FileOpen", "EditCopy", "UntitledMenu1" for the separator ...), or
    // null.
    QAction* item(const QString& name) const;
    // A menu by its name ("UntitledMenu2" File, "UntitledMenu0" Edit, "WindowMenu"), or null.
    QMenu* menu(const QString& name) const;
    // The menus in the order of the bar.
    QList<QMenu*> menus() const;

    // Adds the shared menus to a window's menu bar.
    void attachTo(QMenuBar* bar) const;

    // Runs the command of an item as choosing it does: the handler the front window registered
    // for it. Returns whether a handler ran.
    static bool run(const QString& itemName);
    // The window that receives commands: the active window, or null.
    static QWidget* frontWindow();

    // What "Quit" does: closes every window (their closing handlers run) and ends the event
    // loop.
    static void quitApplication();

private:
    Menu();

    void Untitled1(); // File
    void Untitled2(); // Edit
    void Untitled3(); // Window

    struct Entry
    {
        const char* name;
        const char* text;
        const char* shortcut; // empty: none; null: a separator
        bool autoEnable;
    };
    void addMenu(const char* name, const char* text, std::initializer_list<Entry> entries);

    std::vector<std::unique_ptr<QMenu>> m_menus;
    // macOS: the bar shown while a window without a bar of its own is in front.
    std::unique_ptr<QMenuBar> m_applicationBar;
};
