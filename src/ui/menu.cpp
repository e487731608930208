#include "ui/menu.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <utility>

namespace isolumen {

namespace {

// Not an owning static: the menus are widgets and must never be destroyed by the exit handlers,
// which run after Qt has gone when the display is lost. The application object releases it.
Menu*& sharedMenu()
{
    static Menu* menu = nullptr;
    return menu;
}

} // namespace

void Menu::addFileMenu()
{
    addMenu("fileMenu", "File",
            {{"fileOpen", "Open", "Ctrl+O"},
             {"fileAppend", "Append Acquisition..."},
             {"fileOpenAnalysis", "Open Analysis..."},
             {"fileSaveAnalysis", "Save Analysis...", "Ctrl+Shift+S"},
             {"fileOpenStudy", "Open Study..."},
             {"fileSaveImage", "Save Image As...", "Ctrl+S"},
             {"fileSaveFigure", "Save Figure..."},
             {"fileExportCounts", "Export Counts..."},
             {"fileQuit", "Quit", "Ctrl+Q"}},
            {4, 5, 8});
}

void Menu::addEditMenu()
{
    addMenu("editMenu", "Edit",
            {{"editUndo", "Undo", "Ctrl+Z", false},
             {"editRedo", "Redo", "Ctrl+Shift+Z", false},
             {"editCut", "Cut", "Ctrl+X", false},
             {"editCopy", "Copy", "Ctrl+C", false},
             {"editPaste", "Paste", "Ctrl+V", false},
             {"editClear", "Clear", "", false},
             {"editCopyFigure", "Copy Figure", "Ctrl+Shift+C"}},
            {2, 6});
}

void Menu::addViewMenu()
{
    addMenu("viewMenu", "View",
            {{"viewZoomIn", "Zoom In", "Ctrl++"},
             {"viewZoomOut", "Zoom Out", "Ctrl+-"},
             {"viewActualSize", "Actual Size", "Ctrl+0"},
             {"viewFit", "Zoom to Fit", "Ctrl+9"}});
}

void Menu::addWindowMenu()
{
    addMenu("windowMenu", "Window",
            {{"windowSize256", "256 x 256 (100%)"},
             {"windowSize512", "512 x 512 (200%)"},
             {"windowSize1024", "1024 x 1024 (400%)"},
             {"windowSize2048", "2048 x 2048 (800%)"},
             {"windowTile", "Tile Windows", "Ctrl+Shift+T"}},
            {4});
}

void Menu::addAnalysisMenu()
{
    addMenu("analysisMenu", "Analysis",
            {{"analysisSum", "Sum of Layers..."},
             {"analysisSingleLayer", "Single Layer"},
             {"analysisRatio", "Ratio Image..."},
             {"analysisHsi", "HSI Image..."},
             {"analysisOverlay", "Overlay Image..."},
             {"analysisDeadTime", "Dead-Time Correction", "", true, true},
             {"analysisCorrections", "Correction Settings..."},
             {"analysisAlign", "Align Layers..."},
             {"analysisUndoAlign", "Undo Alignment"},
             {"analysisShowAlign", "Show Alignment"},
             {"analysisExclude", "Exclude Layers..."},
             {"analysisRegions", "Regions"},
             {"analysisDepthProfile", "Depth Profile"},
             {"analysisLineProfile", "Line Profile"},
             {"analysisHistogram", "Histogram"},
             {"analysisSaveRegions", "Save Regions..."},
             {"analysisLoadRegions", "Load Regions..."},
             {"analysisFindRegions", "Find Regions..."},
             {"analysisClassify", "Classify Regions..."},
             {"analysisScatter", "Scatter Plot"},
             {"analysisExportMask", "Export Region Mask..."},
             {"analysisImportMask", "Import Region Mask..."}},
            {2, 5, 7, 11, 15, 17});
}

Menu::Menu()
{
    addFileMenu();
    addEditMenu();
    addViewMenu();
    addWindowMenu();
    addAnalysisMenu();
    addToolMenu();
    addAutoRangeMenu();
#ifdef Q_OS_MACOS
    m_applicationBar = std::make_unique<QMenuBar>();
    attachTo(m_applicationBar.get());
#endif
}

Menu::~Menu() = default;

Menu& Menu::instance()
{
    Menu*& menu = sharedMenu();
    if (!menu) {
        menu = new Menu;
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
    delete std::exchange(sharedMenu(), nullptr);
}

bool Menu::exists()
{
    return sharedMenu() != nullptr;
}

void Menu::addMenu(const char* name, const char* text, std::initializer_list<Entry> entries,
                   std::initializer_list<int> separatorsBefore)
{
    auto menu = std::make_unique<QMenu>(QString::fromLatin1(text));
    menu->setObjectName(QLatin1String(name));
    int index = 0;
    for (const Entry& e : entries) {
        if (std::find(separatorsBefore.begin(), separatorsBefore.end(), index++) !=
            separatorsBefore.end())
            menu->addSeparator();
        auto* action = new QAction(QString::fromUtf8(e.text), menu.get());
        const QString itemName = QLatin1String(e.name);
        action->setObjectName(itemName);
        action->setEnabled(e.enabled);
        action->setCheckable(e.checkable);
        if (*e.shortcut) {
            action->setShortcut(QKeySequence(QLatin1String(e.shortcut)));
            action->setShortcutContext(Qt::ApplicationShortcut);
        }
        if (itemName == QLatin1String("fileQuit")) {
            action->setMenuRole(QAction::QuitRole);
            connect(action, &QAction::triggered, this, &Menu::quitApplication);
        } else {
            connect(action, &QAction::triggered, this, [itemName] { run(itemName); });
        }
        menu->addAction(action);
    }
    m_menus.push_back(std::move(menu));
}

void Menu::addToolMenu()
{
    QMenu* analysis = m_menus.back().get();
    auto* tools = new QMenu(QStringLiteral("Region Tool"), analysis);
    tools->setObjectName(QStringLiteral("regionToolMenu"));
    auto* group = new QActionGroup(tools); // one tool at a time
    for (const auto& [name, text] : {std::pair{"regionToolSelect", "Select"},
                                     {"regionToolRectangle", "Rectangle"},
                                     {"regionToolEllipse", "Ellipse"},
                                     {"regionToolPolygon", "Polygon"},
                                     {"regionToolFreehand", "Freehand"},
                                     {"regionToolLine", "Line"}}) {
        QAction* action = tools->addAction(QLatin1String(text));
        const QString itemName = QLatin1String(name);
        action->setObjectName(itemName);
        action->setCheckable(true);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [itemName] { run(itemName); });
    }
    tools->actions().first()->setChecked(true);
    analysis->insertMenu(item(QStringLiteral("analysisRegions")), tools);
}

void Menu::addAutoRangeMenu()
{
    QMenu* view = nullptr;
    for (const auto& menu : m_menus) {
        if (menu->objectName() == QLatin1String("viewMenu"))
            view = menu.get();
    }
    view->addSeparator();
    auto* ranges = view->addMenu(QStringLiteral("Automatic Range"));
    ranges->setObjectName(QStringLiteral("autoRangeMenu"));
    auto* group = new QActionGroup(ranges); // one range at a time
    for (const auto& [name, text] : {std::pair{"viewAutoFull", "Full"},
                                     {"viewAutoPercentile", "Percentile 0.1\u2013"
                                                            "99.9 %"},
                                     {"viewAutoRegion", "From Selected Region"},
                                     {"viewAutoPercentiles", "Percentiles..."}}) {
        QAction* action = ranges->addAction(QString::fromUtf8(text));
        const QString itemName = QLatin1String(name);
        action->setObjectName(itemName);
        if (itemName != QLatin1String("viewAutoPercentiles")) {
            action->setCheckable(true);
            group->addAction(action);
        }
        connect(action, &QAction::triggered, this, [itemName] { run(itemName); });
    }
    group->actions().first()->setChecked(true);
    // The View items act on the front window: shown greyed where it has no use for them. They
    // are enabled again once the menu closes, so that their shortcuts reach an image window.
    const auto itemsOf = [view] { return view->findChildren<QAction*>(); };
    connect(view, &QMenu::aboutToShow, this, [itemsOf] {
        const auto* handlers = dynamic_cast<const MenuHandlers*>(frontWindow());
        for (QAction* a : itemsOf()) {
            if (!a->objectName().isEmpty())
                a->setEnabled(handlers && handlers->hasMenuHandler(a->objectName()));
        }
    });
    connect(view, &QMenu::aboutToHide, this, [itemsOf] {
        for (QAction* a : itemsOf())
            a->setEnabled(true);
    });
}

QAction* Menu::item(const QString& name) const
{
    for (const auto& menu : m_menus) {
        if (auto* action = menu->findChild<QAction*>(name)) // submenus' items too
            return action;
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

MenuCommand Menu::setCommand(const QString& itemName, std::function<void()> command)
{
    const quint64 serial = ++m_lastSerial;
    m_commands.insert(itemName, {serial, std::move(command)});
    return MenuCommand(itemName, serial);
}

void Menu::removeCommand(const QString& itemName, quint64 serial)
{
    // The menu may already be gone at shutdown; then so are its commands.
    Menu* menu = sharedMenu();
    if (!menu)
        return;
    const auto it = menu->m_commands.constFind(itemName);
    if (it != menu->m_commands.constEnd() && it->serial == serial)
        menu->m_commands.erase(it);
}

MenuCommand::MenuCommand(QString itemName, quint64 serial)
    : m_itemName(std::move(itemName)), m_serial(serial)
{
}

MenuCommand::MenuCommand(MenuCommand&& other) noexcept
    : m_itemName(std::move(other.m_itemName)), m_serial(std::exchange(other.m_serial, 0))
{
}

MenuCommand& MenuCommand::operator=(MenuCommand&& other) noexcept
{
    if (this != &other) {
        unregister();
        m_itemName = std::move(other.m_itemName);
        m_serial = std::exchange(other.m_serial, 0);
    }
    return *this;
}

MenuCommand::~MenuCommand()
{
    unregister();
}

void MenuCommand::unregister()
{
    if (m_serial != 0)
        Menu::removeCommand(m_itemName, std::exchange(m_serial, 0));
}

QWidget* Menu::frontWindow()
{
    return QApplication::activeWindow();
}

bool Menu::run(const QString& itemName)
{
    if (auto* handlers = dynamic_cast<MenuHandlers*>(frontWindow());
        handlers && handlers->runMenuHandler(itemName))
        return true;
    const auto it = instance().m_commands.constFind(itemName);
    if (it == instance().m_commands.constEnd())
        return false;
    const std::function<void()> command = it->run; // a copy: it may replace commands
    command();
    return true;
}

void Menu::setQuitGuard(std::function<bool()> guard)
{
    m_quitGuard = std::move(guard);
}

void Menu::quitApplication()
{
    if (const std::function<bool()> guard = instance().m_quitGuard; guard && !guard())
        return;
    QApplication::closeAllWindows();
    QCoreApplication::quit();
}

bool MenuHandlers::runMenuHandler(const QString& itemName)
{
    const auto it = m_handlers.constFind(itemName);
    if (it == m_handlers.constEnd())
        return false;
    // A copy, so that a handler may replace handlers while it runs.
    const Handler handler = it.value();
    handler();
    return true;
}

void MenuHandlers::addMenuHandler(const QString& itemName, Handler handler)
{
    m_handlers.insert(itemName, std::move(handler));
}

} // namespace isolumen
