#include "app/dialogs.h"
#include "app/menu.h"
#include "app/textlistwindow.h"
#include "app/viewer.h"
#include "display/imagewindow.h"
#include "mainwindow/mainwindow.h"
#include "windowtesting.h"

#include <QtTest>
#include <QtWidgets>

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

// The application shell: menu dispatch by front window, the history window, quitting, and
// start-up without a display.
class TestShell : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_file = m_dir.filePath("shell.im");
        QVERIFY(WindowTesting::patternFile(2, 1, 64).write(m_file));
        Dialogs::setOpenFile([this](QWidget*, const QString&, const QString&) {
            ++m_dialogCalls;
            return QString();
        });
    }

    void cleanup()
    {
        for (QWidget* w : visibleWindows())
            w->close();
        QTRY_VERIFY(visibleWindows().isEmpty());
        QTRY_VERIFY(!Main::existing() && !TextListWindow::existing());
        m_dialogCalls = 0;
    }

    void commandsGoToTheFrontWindow()
    {
        Main* main = Main::instance();
        ImageWindow* image = openImageWindow(main);
        TextListWindow* history = TextListWindow::existing();
        QVERIFY(image && history);
        const QSize imageSize = image->size();

        // "Open" acts only with the main window in front; no window handles the Edit items or
        // the two large window sizes.
        for (QWidget* front : QList<QWidget*>{main, image, history}) {
            activate(front);
            QTest::keyClick(front, Qt::Key_O, Qt::ControlModifier);
            QCOMPARE(m_dialogCalls, 1);
            for (const char* name : {"Windowx1024", "Windowx2048", "EditUndo", "EditCut",
                                     "EditCopy", "EditPaste", "EditClear"}) {
                QVERIFY2(!Menu::run(QLatin1String(name)), name);
                Menu::instance().item(QLatin1String(name))->trigger();
            }
        }
        QCOMPARE(m_dialogCalls, 1);
        QCOMPARE(image->size(), imageSize);
        QVERIFY(image->isVisible() && main->isVisible());
    }

    void historyAddAndClear()
    {
        QVERIFY(!TextListWindow::existing());
        TextListWindow::Add("one");
        TextListWindow::Add("two");
        QPointer<TextListWindow> history = TextListWindow::existing();
        QVERIFY(history);
        QVERIFY(QTest::qWaitForWindowExposed(history));
        QCOMPARE(WindowTesting::historyLines(), QStringList({"one", "two"}));

        QTest::mouseClick(history->ClearButton(), Qt::LeftButton);
        QVERIFY(WindowTesting::historyLines().isEmpty());
        TextListWindow::Add("after");
        QCOMPARE(TextListWindow::existing(), history);
        QCOMPARE(WindowTesting::historyLines(), QStringList({"after"}));

        // Closed by the user, it is made anew, empty, by the next line.
        history->close();
        QVERIFY(!TextListWindow::existing());
        TextListWindow::Add("new");
        TextListWindow* second = TextListWindow::existing();
        QVERIFY(second && second != history);
        QVERIFY(second->isVisible());
        QCOMPARE(WindowTesting::historyLines(), QStringList({"new"}));
        QTRY_VERIFY(history.isNull());
    }

    void withoutDisplayPrintsSummary()
    {
#if !defined(Q_OS_UNIX) || defined(Q_OS_DARWIN)
        QSKIP("Only X11 and Wayland systems can be without a display");
#endif
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        QVERIFY(!displayAvailable(env));
        QProcessEnvironment wayland = env;
        wayland.insert("WAYLAND_DISPLAY", "wayland-0");
        QVERIFY(displayAvailable(wayland));

        QProcess process;
        process.setProcessEnvironment(env);
        process.start(ISOLUMEN_EXECUTABLE, {m_file});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        const QString err = QString::fromUtf8(process.readAllStandardError());
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(err.contains("No display available: printing the summary instead."),
                 qPrintable(err));
        QVERIFY2(out.contains("File: shell.im"), qPrintable(out));
        QVERIFY(out.contains("Number of Species: 2"));
    }

    // Runs the application's event loop and ends it; comes last.
    void quitFromAnyWindow_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Quit in the history window") << "history";
        QTest::newRow("Quit in an image window") << "image";
        QTest::newRow("closing the main window") << "close main";
    }

    void quitFromAnyWindow()
    {
        QFETCH(QString, how);
        QPointer<Main> main = Main::instance();
        QPointer<ImageWindow> image = openImageWindow(main);
        QPointer<TextListWindow> history = TextListWindow::existing();
        QVERIFY(image && history);
        QWidget* front = how == "image" ? static_cast<QWidget*>(image) : history;
        activate(front);

        QSignalSpy aboutToQuit(qApp, &QCoreApplication::aboutToQuit);
        QTimer::singleShot(0, front, [&] {
            if (how == "close main")
                main->close();
            else
                QTest::keyClick(front, Qt::Key_Q, Qt::ControlModifier);
        });
        QObject watchdog; // ends the loop should the command fail to
        QTimer::singleShot(20000, &watchdog, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(aboutToQuit.count(), 1);
        QVERIFY(visibleWindows().isEmpty());
        QTRY_VERIFY(main.isNull() && image.isNull() && history.isNull());
    }

private:
    // Opens the test file and the image window of its first species.
    ImageWindow* openImageWindow(Main* main)
    {
        main->OpenImage(m_file);
        QTest::mouseClick(main->ButtonSpecies(0), Qt::LeftButton);
        return Main::imageWindows().value(0);
    }

    QTemporaryDir m_dir;
    QString m_file;
    int m_dialogCalls = 0;
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
