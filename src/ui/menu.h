#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace isolumen {

// A command registered with the shared Menu. Destroying the handle removes the command, unless a
// later registration for the same item has replaced it; so an owner that holds its handles as
// members can never leave behind a command that calls into it after it is gone.
class MenuCommand
{
public:
    MenuCommand() = default;
    MenuCommand(MenuCommand&& other) noexcept;
    MenuCommand& operator=(MenuCommand&& other) noexcept;
    MenuCommand(const MenuCommand&) = delete;
    MenuCommand& operator=(const MenuCommand&) = delete;
    ~MenuCommand();

private:
    friend class Menu;
    MenuCommand(QString itemName, quint64 serial);
    void unregister();

    QString m_itemName;
    quint64 m_serial = 0; // 0: holds nothing
};

// The one menu bar of the program (File, Edit, Window, Analysis), shared by every window. It
// owns the menus and their actions; each window with a menu bar adds the same menus to it
// (attachTo). A chosen item runs the handler the front window registered for it (MenuHandlers);
// where the front window has none, the acquisition-wide command set for it, if any; else
// nothing. "Quit" quits by itself.
//
// Items with a shortcut act from any window of the program. Undo and Redo follow the analysis
// history; "Copy Figure" copies the front window's figure; the other Edit items stay disabled,
// which leaves Ctrl+C, Ctrl+V and the like to the edit fields.
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
    // Whether the shared instance exists (owners of commands that may outlive it ask).
    static bool exists();

    // An item by its name ("fileOpen", "windowSize256", "analysisSum" ...), or null.
    QAction* item(const QString& name) const;
    // The menus in the order of the bar.
    QList<QMenu*> menus() const;

    // Adds the shared menus to a window's menu bar.
    void attachTo(QMenuBar* bar) const;

    // Registers the command an item runs when the front window has no handler of its own for
    // it. The command stays registered as long as the returned handle lives.
    [[nodiscard]] MenuCommand setCommand(const QString& itemName, std::function<void()> command);

    // Runs the command of an item as choosing it does. Returns whether anything ran.
    static bool run(const QString& itemName);
    // The window that receives commands: the active window, or null.
    static QWidget* frontWindow();

    // What "Quit" does: asks the quit guard, if one is set, then closes every window (their
    // closing handlers run) and ends the event loop.
    static void quitApplication();
    // Asked before Quit closes anything; false keeps the program running. Empty: none.
    void setQuitGuard(std::function<bool()> guard);

private:
    Menu();

    struct Entry
    {
        const char* name;
        const char* text;
        const char* shortcut = ""; // empty: none
        bool enabled = true;
        bool checkable = false;
    };
    void addMenu(const char* name, const char* text, std::initializer_list<Entry> entries,
                 std::initializer_list<int> separatorsBefore = {});
    // The menus of the bar, left to right.
    void addFileMenu();
    void addEditMenu();
    void addViewMenu();
    void addWindowMenu();
    void addAnalysisMenu();
    // The Analysis menu's "Region Tool" submenu: one checked tool at a time.
    void addToolMenu();
    // The View menu's "Automatic Range" submenu: the range the front window's limits follow.
    void addAutoRangeMenu();

    std::vector<std::unique_ptr<QMenu>> m_menus;
    friend class MenuCommand;
    struct Command
    {
        quint64 serial;
        std::function<void()> run;
    };
    // Removes the command of an item if it is still the one registered under serial.
    static void removeCommand(const QString& itemName, quint64 serial);

    QHash<QString, Command> m_commands;
    quint64 m_lastSerial = 0;
    std::function<bool()> m_quitGuard;
    // macOS: the bar shown while a window without a bar of its own is in front.
    std::unique_ptr<QMenuBar> m_applicationBar;
};

// The menu commands one window serves. A window class derives from this and registers one
// handler per menu item name it serves; the shared Menu runs the handler that the front window
// registered for a chosen item.
class MenuHandlers
{
public:
    using Handler = std::function<void()>;

    virtual ~MenuHandlers() = default;

    // Runs the handler for itemName; false when there is none.
    bool runMenuHandler(const QString& itemName);
    bool hasMenuHandler(const QString& itemName) const { return m_handlers.contains(itemName); }

protected:
    void addMenuHandler(const QString& itemName, Handler handler);

private:
    QHash<QString, Handler> m_handlers;
};

} // namespace isolumen
