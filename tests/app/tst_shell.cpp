#include "app/dialogs.h"
#include "app/filetypes.h"
#include "app/menu.h"
#include "app/textlistwindow.h"
#include "app/viewer.h"
#include "display/imagewindow.h"
#include "imbuilder.h"
#include "mainwindow/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

QList<QWidget*> visibleWindows()
{
    QList<QWidget*> windows;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible())
            windows << w;
    }
    return windows;
}

void activate(QWidget* window)
{
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

} // namespace

// The application shell: the shared menu bar and its dispatch by front window, the history
// window, quitting, and start-up without a display.
class TestShell : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void menuItems_data();
    void menuItems();
    void everyWindowShowsTheSameMenus();
    void commandsGoToTheFrontWindow();

    void historyAddAndClear();
    void historyClosedStartsAnew();

    void fileTypes_data();
    void fileTypes();
    void displayAvailable_data();
    void displayAvailable();
    void withoutDisplayPrintsSummary();

    void closingMainClosesEverything();
    // These two run the application's event loop and end it; they come last.
    void quitFromAnyWindow_data();
    void quitFromAnyWindow();

private:
    ImageWindow* openImageWindow(Main* main);

    QTemporaryDir m_dir;
    QString m_file;
    int m_dialogCalls = 0;
};

void TestShell::initTestCase()
{
    QVERIFY(m_dir.isValid());
    ImBuilder b;
    b.nSpecies = 2;
    b.labels = {"12C", "13C"};
    b.width = 64;
    b.height = 64;
    b.headerSize = 10000;
    m_file = m_dir.filePath("shell.im");
    QVERIFY(b.write(m_file));
    Dialogs::setOpenFile([this](QWidget*, const QString&, const QString&) {
        ++m_dialogCalls;
        return QString();
    });
}

void TestShell::cleanup()
{
    for (QWidget* w : visibleWindows())
        w->close();
    QTRY_VERIFY(visibleWindows().isEmpty());
    QTRY_VERIFY(!Main::existing() && !TextListWindow::existing());
    m_dialogCalls = 0;
}

ImageWindow* TestShell::openImageWindow(Main* main)
{
    main->OpenImage(m_file);
    QTest::mouseClick(main->ButtonSpecies(0), Qt::LeftButton);
    return Main::imageWindows().value(0);
}

void TestShell::menuItems_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::addColumn<bool>("enabled");

    const QKeySequence none;
    const auto row = [](const char* tag) -> QTestData& { return QTest::newRow(tag); };
    row("Open") << "UntitledMenu2" << 0 << "FileOpen"
                << "Open" << QKeySequence("Ctrl+O") << true;
    row("Save") << "UntitledMenu2" << 1 << "FileSaveImage"
                << "Save Image As..." << QKeySequence("Ctrl+S") << true;
    row("Quit") << "UntitledMenu2" << 2 << "FileQuit"
                << "Quit" << QKeySequence("Ctrl+Q") << true;
    row("Undo") << "UntitledMenu0" << 0 << "EditUndo"
                << "Undo" << QKeySequence("Ctrl+Z") << false;
    row("Cut") << "UntitledMenu0" << 2 << "EditCut"
               << "Cut" << QKeySequence("Ctrl+X") << false;
    row("Copy") << "UntitledMenu0" << 3 << "EditCopy"
                << "Copy" << QKeySequence("Ctrl+C") << false;
    row("Paste") << "UntitledMenu0" << 4 << "EditPaste"
                 << "Paste" << QKeySequence("Ctrl+V") << false;
    row("Clear") << "UntitledMenu0" << 5 << "EditClear"
                 << "Clear" << none << false;
    row("256") << "WindowMenu" << 0 << "Windowx256"
               << "256 x 256 (100%)" << none << true;
    row("512") << "WindowMenu" << 1 << "Windowx512"
               << "512 x 512 (200%)" << none << true;
    row("1024") << "WindowMenu" << 2 << "Windowx1024"
                << "1024 x 1024 (400%)" << none << true;
    row("2048") << "WindowMenu" << 3 << "Windowx2048"
                << "2048 x 2048 (800%)" << none << true;
}

void TestShell::menuItems()
{
    QFETCH(QString, menu);
    QFETCH(int, position);
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QKeySequence, shortcut);
    QFETCH(bool, enabled);
    const Menu& m = Menu::instance();
    QAction* item = m.item(name);
    QVERIFY(item);
    QCOMPARE(m.menu(menu)->actions().value(position), item);
    QCOMPARE(item->text(), text);
    QCOMPARE(item->shortcut(), shortcut);
    QCOMPARE(item->isEnabled(), enabled);
}

void TestShell::everyWindowShowsTheSameMenus()
{
    const QList<QMenu*> menus = Menu::instance().menus();
    QCOMPARE(menus.size(), 3);
    QCOMPARE(menus[0]->title(), QStringLiteral("File"));
    QCOMPARE(menus[1]->title(), QStringLiteral("Edit"));
    QCOMPARE(menus[2]->title(), QStringLiteral("Window"));
    QVERIFY(Menu::instance().item("UntitledMenu1")->isSeparator());
    QCOMPARE(menus[1]->actions().size(), 6);

    QList<QAction*> expected;
    for (QMenu* menu : menus)
        expected << menu->menuAction();
    Main* main = Main::instance();
    QCOMPARE(main->menuBar()->actions(), expected);
    ImageWindow* image = openImageWindow(main);
    QVERIFY(image);
    QCOMPARE(image->menuBar()->actions(), expected);
}

void TestShell::commandsGoToTheFrontWindow()
{
    Main* main = Main::instance();
    ImageWindow* image = openImageWindow(main);
    QVERIFY(image);
    TextListWindow* history = TextListWindow::existing();
    QVERIFY(history);
    const QSize mainSize = main->size();
    const QSize imageSize = image->size();

    // "Open" acts only with the main window in front.
    activate(main);
    QTest::keyClick(main, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(m_dialogCalls, 1);
    activate(image);
    QTest::keyClick(image, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(m_dialogCalls, 1);
    activate(history);
    QTest::keyClick(history, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(m_dialogCalls, 1);
    QVERIFY(!Menu::run("FileOpen"));
    activate(main);
    Menu::instance().item("FileOpen")->trigger();
    QCOMPARE(m_dialogCalls, 2);

    // No window handles the Edit items or the two large window sizes.
    for (QWidget* front : QList<QWidget*>{main, image, history}) {
        activate(front);
        for (const char* name : {"Windowx1024", "Windowx2048", "EditUndo", "EditCut", "EditCopy",
                                 "EditPaste", "EditClear"}) {
            QVERIFY2(!Menu::run(QLatin1String(name)), name);
            Menu::instance().item(QLatin1String(name))->trigger();
        }
    }
    QCOMPARE(m_dialogCalls, 2);
    QCOMPARE(main->size(), mainSize);
    QCOMPARE(image->size(), imageSize);
    QVERIFY(image->isVisible() && main->isVisible());
}

void TestShell::historyAddAndClear()
{
    QVERIFY(!TextListWindow::existing());
    TextListWindow::Add("one");
    TextListWindow* history = TextListWindow::existing();
    QVERIFY(history);
    QVERIFY(QTest::qWaitForWindowExposed(history));
    QCOMPARE(history->windowTitle(), QStringLiteral("Text List Window"));
    QCOMPARE(history->size(), QSize(355, 395));
    QCOMPARE(history->ClearButton()->text(), QStringLiteral("Clear History"));
    QCOMPARE(history->ClearButton()->geometry(), QRect(20, 14, 199, 20));
    QCOMPARE(history->ListBox1()->geometry(), QRect(20, 46, 320, 329));

    for (int i = 0; i < 200; ++i)
        TextListWindow::Add(QStringLiteral("line %1").arg(i));
    QListWidget* list = history->ListBox1();
    QCOMPARE(list->count(), 201);
    QCOMPARE(list->item(0)->text(), QStringLiteral("one"));
    QCOMPARE(list->item(200)->text(), QStringLiteral("line 199"));
    // New rows do not scroll the list.
    QCOMPARE(list->verticalScrollBar()->value(), 0);

    QTest::mouseClick(history->ClearButton(), Qt::LeftButton);
    QCOMPARE(list->count(), 0);
    TextListWindow::Add("after");
    QCOMPARE(TextListWindow::existing(), history);
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), QStringLiteral("after"));

    // The list follows the window's size; the button keeps its place.
    history->resize(455, 495);
    QCOMPARE(list->geometry(), QRect(20, 46, 420, 429));
    QCOMPARE(history->ClearButton()->geometry(), QRect(20, 14, 199, 20));
}

void TestShell::historyClosedStartsAnew()
{
    TextListWindow::Add("old");
    QPointer<TextListWindow> first = TextListWindow::existing();
    first->close();
    QVERIFY(!TextListWindow::existing());
    // A line written before the closed window is gone goes to a new one.
    TextListWindow::Add("new");
    TextListWindow* second = TextListWindow::existing();
    QVERIFY(second && second != first);
    QVERIFY(second->isVisible());
    QCOMPARE(second->ListBox1()->count(), 1);
    QCOMPARE(second->ListBox1()->item(0)->text(), QStringLiteral("new"));
    QTRY_VERIFY(first.isNull());
}

void TestShell::fileTypes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("image");
    QTest::newRow("raw image") << "/data/a.im" << true;
    QTest::newRow("upper case") << "/data/A.IM" << true;
    QTest::newRow("longer extension") << "/data/a.img" << false;
    QTest::newRow("no extension") << "/data/im" << false;
}

void TestShell::fileTypes()
{
    QFETCH(QString, path);
    QFETCH(bool, image);
    QCOMPARE(FileTypes::pImageNanoSIMS().matches(path), image);
    QCOMPARE(FileTypes::pImageNanoSIMS().dialogFilter(), QStringLiteral("image/NanoSIMS (*.im)"));
}

void TestShell::displayAvailable_data()
{
    QTest::addColumn<QStringList>("variables");
    QTest::addColumn<bool>("available");
    QTest::newRow("nothing set") << QStringList{} << false;
    QTest::newRow("X11") << QStringList{"DISPLAY=:0"} << true;
    QTest::newRow("Wayland") << QStringList{"WAYLAND_DISPLAY=wayland-0"} << true;
    QTest::newRow("platform chosen") << QStringList{"QT_QPA_PLATFORM=offscreen"} << true;
}

void TestShell::displayAvailable()
{
#if !defined(Q_OS_UNIX) || defined(Q_OS_DARWIN)
    QSKIP("Only X11 and Wayland systems can be without a display");
#endif
    QFETCH(QStringList, variables);
    QFETCH(bool, available);
    QProcessEnvironment env;
    env.insert("HOME", "/tmp");
    for (const QString& v : variables)
        env.insert(v.section('=', 0, 0), v.section('=', 1));
    QCOMPARE(::displayAvailable(env), available);
}

void TestShell::withoutDisplayPrintsSummary()
{
#if !defined(Q_OS_UNIX) || defined(Q_OS_DARWIN)
    QSKIP("Only X11 and Wayland systems can be without a display");
#endif
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    process.setProcessEnvironment(env);
    process.start(ISOLUMEN_EXECUTABLE, {m_file});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    QVERIFY2(err.contains("No display available: printing the summary instead."), qPrintable(err));
    QVERIFY(!err.contains("platform plugin"));
    QVERIFY2(out.contains("File: shell.im"), qPrintable(out));
    QVERIFY(out.contains("Number of Species: 2"));
}

void TestShell::closingMainClosesEverything()
{
    QPointer<Main> main = Main::instance();
    QPointer<ImageWindow> image = openImageWindow(main);
    QPointer<TextListWindow> history = TextListWindow::existing();
    QVERIFY(image && history);
    QVERIFY(main->file().isOpen());

    main->close();
    QVERIFY(!main->file().isOpen());
    QVERIFY(!image->isVisible());
    QVERIFY(!history->isVisible());
    QVERIFY(!Main::existing());
    QTRY_VERIFY(main.isNull() && image.isNull() && history.isNull());
    // The image window's closing made no new main window.
    QVERIFY(!Main::existing());
}

void TestShell::quitFromAnyWindow_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Quit from the history window") << "quit key in history";
    QTest::newRow("closing the main window") << "close main";
}

void TestShell::quitFromAnyWindow()
{
    QFETCH(QString, how);
    QPointer<Main> main = Main::instance();
    QPointer<ImageWindow> image = openImageWindow(main);
    QPointer<TextListWindow> history = TextListWindow::existing();
    QVERIFY(image && history);
    activate(history);

    QSignalSpy aboutToQuit(qApp, &QCoreApplication::aboutToQuit);
    QTimer::singleShot(0, history, [&] {
        if (how == "close main")
            main->close();
        else
            QTest::keyClick(history, Qt::Key_Q, Qt::ControlModifier);
    });
    QTimer watchdog; // ends the loop should the command fail to
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    watchdog.start(20000);
    const int status = QApplication::exec();

    QCOMPARE(status, 0);
    QCOMPARE(aboutToQuit.count(), 1);
    QVERIFY(visibleWindows().isEmpty());
    QTRY_VERIFY(main.isNull() && image.isNull() && history.isNull());
}

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
