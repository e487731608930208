#include "app/menu.h"

#include "app/menuhandlers.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

namespace {

std::unique_ptr<Menu>& sharedMenu()
{
    static std::unique_ptr<Menu> menu;
    return menu;
}

} // namespace

Menu::Menu()
{
    Untitled1();
    Untitled2();
    Untitled3();
#ifdef Q_OS_MACOS
    m_applicationBar = std::make_unique<QMenuBar>();
    attachTo(m_applicationBar.get());
#endif
}

Menu::~Menu() = default;

Menu& Menu::instance()
{
    std::unique_ptr<Menu>& menu = sharedMenu();
    if (!menu) {
        menu.reset(new Menu);
        // The menus are widgets: they must go before the application object does.
        static bool registered = false;
        if (!registered) {
            qAddPostRoutine(&Menu::release);
            registered = true;
        }
    }
    return *menu;
}

void Menu::release()
{
    sharedMenu().reset();
}

void Menu::Untitled1()
{
    addMenu("UntitledMenu2", "File",
            {{"FileOpen", "Open", "Ctrl+O", true},
             {"FileSaveImage", "Save Image As...", "Ctrl+S", true},
             {"FileQuit", "Quit", "Ctrl+Q", true}});
}

void Menu::Untitled2()
{
    addMenu("UntitledMenu0", "Edit",
            {{"EditUndo", "Undo", "Ctrl+Z", false},
             {"UntitledMenu1", "-", nullptr, false},
             {"EditCut", "Cut", "Ctrl+X", false},
             {"EditCopy", "Copy", "Ctrl+C", false},
             {"EditPaste", "Paste", "Ctrl+V", false},
             {"EditClear", "Clear", "", false}});
}

void Menu::Untitled3()
{
    addMenu("WindowMenu", "Window",
            {{"Windowx256", "256 x 256 (100%)", "", true},
             {"Windowx512", "512 x 512 (200%)", "", true},
             {"Windowx1024", "1024 x 1024 (400%)", "", true},
             {"Windowx2048", "2048 x 2048 (800%)", "", true}});
}

void Menu::addMenu(const char* name, const char* text, std::initializer_list<Entry> entries)
{
    auto menu = std::make_unique<QMenu>(QString::fromLatin1(text));
    menu->setObjectName(QLatin1String(name));
    menu->menuAction()->setObjectName(QLatin1String(name));
    for (const Entry& e : entries) {
        auto* action = new QAction(QString::fromLatin1(e.text), menu.get());
        const QString itemName = QLatin1String(e.name);
        action->setObjectName(itemName);
        action->setProperty("AutoEnable", e.autoEnable);
        if (!e.shortcut) {
            action->setSeparator(true);
        } else if (*e.shortcut) {
            action->setShortcut(QKeySequence(QLatin1String(e.shortcut)));
            action->setShortcutContext(Qt::ApplicationShortcut);
        }
        if (itemName.startsWith(QLatin1String("Edit")))
            action->setEnabled(false);
        if (itemName == QLatin1String("FileQuit")) {
            action->setMenuRole(QAction::QuitRole);
            connect(action, &QAction::triggered, this, &Menu::quitApplication);
        } else if (!action->isSeparator()) {
            connect(action, &QAction::triggered, this, [itemName] { run(itemName); });
        }
        menu->addAction(action);
    }
    m_menus.push_back(std::move(menu));
}

QAction* Menu::item(const QString& name) const
{
    for (const auto& menu : m_menus) {
        for (QAction* action : menu->actions()) {
            if (action->objectName() == name)
                return action;
        }
    }
    return nullptr;
}

QMenu* Menu::menu(const QString& name) const
{
    for (const auto& menu : m_menus) {
        if (menu->objectName() == name)
            return menu.get();
    }
    return nullptr;
}

QList<QMenu*> Menu::menus() const
{
    QList<QMenu*> list;
    for (const auto& menu : m_menus)
        list << menu.get();
    return list;
}

void Menu::attachTo(QMenuBar* bar) const
{
    for (const auto& menu : m_menus)
        bar->addMenu(menu.get());
}

QWidget* Menu::frontWindow()
{
    return QApplication::activeWindow();
}

bool Menu::run(const QString& itemName)
{
    auto* handlers = dynamic_cast<MenuHandlers*>(frontWindow());
    return handlers && handlers->runMenuHandler(itemName);
}

void Menu::quitApplication()
{
    QApplication::closeAllWindows();
    QCoreApplication::quit();
}
