// The viewer as a user meets it: the real executable on a real X server (Xvfb of its own, a
// 1366 x 768 screen), its buttons pressed with real pointer clicks (xdotool), and what it shows
// read back from the screen: the picture pixel by pixel against colours computed here from the
// file's samples, and where the windows lie. Every process it starts ends when it finishes,
// passes or fails.
#include "imbuilder.h"
#include "testpictures.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <optional>
#include <vector>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

using namespace isolumen;

namespace {

constexpr int kSide = 256;
constexpr int kTimeoutMs = 30000; // for any one thing the viewer is waited for
const QRect kScreen(0, 0, 1366, 768);

// The main window's content is 316 x 186 (700 with its details open) under the menu bar; the
// places of the controls clicked here. An image window's canvas is at (20, 27) of its content.
constexpr int kMainContentHeight = 186;
const QPoint kDetailsToggle(26, 168);
const QPoint kLayerPlus(276, 124);
QPoint speciesButton(int i)
{
    return {50 + 72 * (i % 4), i < 4 ? 57 : 91};
}

// Different in every plane, species, row and column, and not symmetric from left to right, so
// a wrong plane, a wrong range or an unmirrored row shows. Plane p of species s runs over 300
// values from 100 p + 5 s.
ImBuilder testFile()
{
    ImBuilder b = TestPictures::patternFile(8, 2, kSide);
    b.sample = [](int species, int plane, int row, int k) {
        return quint32(100 * plane + 5 * species + (row * 29 + k * (3 + plane)) % 300);
    };
    return b;
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

public:
    ~TestEndToEnd() override { endAll(); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_xdotool = QStandardPaths::findExecutable("xdotool");
        QVERIFY2(!QStandardPaths::findExecutable("Xvfb").isEmpty() && !m_xdotool.isEmpty(),
                 "This test needs Xvfb and xdotool (Debian packages xvfb and xdotool); "
                 "scripts/setup.sh installs them.");
        QVERIFY2(QFile::exists(ISOLUMEN_SCREENGRAB), ISOLUMEN_SCREENGRAB);
        const QString file = m_dir.filePath("eight.im");
        QVERIFY(testFile().write(file));
        const QString display = startXvfb();
        QVERIFY2(!display.isEmpty(), qPrintable("Xvfb did not start: " + log("xvfb.log")));
        m_env.remove("WAYLAND_DISPLAY");
        m_env.insert("DISPLAY", display);
        m_env.insert("QT_QPA_PLATFORM", "xcb");
        m_env.insert("XDG_RUNTIME_DIR", m_dir.path());
        m_viewer = start(ISOLUMEN_EXECUTABLE, {file}, m_dir.filePath("viewer.log"));
        QVERIFY2(m_viewer->waitForStarted(10000), qPrintable(m_viewer->errorString()));
    }

    // The first species button, then "+1", each shown in the picture; with the details open, the
    // history window lies on the screen, and eight windows lie in two rows that never overlap.
    void viewer()
    {
        const quint64 main = waitForWindow("Isolumen  " ISOLUMEN_VERSION);
        if (!main)
            QFAIL(qPrintable("The main window did not show. " + viewerOutput()));
        const QRect frame = geometry(main);
        QCOMPARE(frame.topLeft(), QPoint(0, 24)); // the top of the screen's free area + 24
        QCOMPARE(frame.width(), 316);
        const QPoint menuBar(0, frame.height() - kMainContentHeight);
        QVERIFY(click(main, kDetailsToggle + menuBar));
        if (!waitUntil([&] { return geometry(main).height() == frame.height() + 700 - 186; }))
            QFAIL(qPrintable("The details did not open. " + viewerOutput()));
        // The buttons show once the file is read: click the first once it is drawn (the area is
        // plain background while it is hidden).
        const QRect button(speciesButton(0) + menuBar - QPoint(30, 11), QSize(60, 22));
        if (!waitUntil([&] {
                const QImage area = grab(main).copy(button);
                return area.pixel(0, 0) != area.pixel(30, 11);
            }))
            QFAIL(qPrintable("The species button never showed. " + viewerOutput()));
        QVERIFY(click(main, speciesButton(0) + menuBar));
        const quint64 image = waitForWindow("12C (Layer 1)");
        if (!image)
            QFAIL(qPrintable("No window \"12C (Layer 1)\" opened. " + viewerOutput()));
        QCOMPARE(geometry(image).topLeft(), QPoint(316, 0)); // right of the main window
        checkCanvas(image, TestPictures::expectedPicture(testFile(), 1, 1, 105, 404));
        QVERIFY(click(main, kLayerPlus + menuBar));
        QCOMPARE(waitForWindow("12C (Layer 2)"), image); // the same window, the next layer
        checkCanvas(image, TestPictures::expectedPicture(testFile(), 1, 2, 205, 504));

        // The first image window's first line opened the history window below the main window,
        // moved up as far as the screen needs.
        const QRect history = geometry(waitForWindow("Text List Window"));
        QVERIFY2(kScreen.contains(history), qPrintable(QString("history window at (%1, %2) %3 x %4")
                                                           .arg(history.x())
                                                           .arg(history.y())
                                                           .arg(history.width())
                                                           .arg(history.height())));
        int firstRowBottom = 0;
        int secondRowTop = kScreen.height();
        for (int s = 1; s < 8; ++s) {
            QVERIFY(click(main, speciesButton(s) + menuBar));
            const quint64 w = waitForWindow(testFile().labels[s] + " (Layer 2)");
            if (!w)
                QFAIL(qPrintable("No window of species " + QString::number(s + 1) + " opened. " +
                                 viewerOutput()));
        }
        for (int s = 0; s < 8; ++s) {
            const QRect w = geometry(waitForWindow(testFile().labels[s] + " (Layer 2)"));
            if (s < 4)
                firstRowBottom = std::max(firstRowBottom, w.y() + w.height());
            else
                secondRowTop = std::min(secondRowTop, w.y());
        }
        QVERIFY2(secondRowTop >= firstRowBottom,
                 qPrintable(QString("the second row starts at %1, above the first row's bottom %2")
                                .arg(secondRowTop)
                                .arg(firstRowBottom)));
    }

    // A viewer holding a compressed file, told to end by a signal, closes its windows, deletes
    // the expanded copy and ends by itself.
    void signalledViewer()
    {
        const QString cache = m_dir.filePath("cache");
        // Large enough that the signal comes while the copy is still being expanded, behind
        // its progress dialog: the quit must wait for the expansion to give up.
        ImBuilder held = testFile();
        held.nPlanes = 60;
        QVERIFY(held.write(m_dir.filePath("held.im")));
        QVERIFY(tool("gzip", {"-1", m_dir.filePath("held.im")}));
        QProcessEnvironment env = m_env;
        env.insert("XDG_CACHE_HOME", cache);
        QProcess viewer;
        viewer.setProcessEnvironment(env);
        viewer.setStandardOutputFile(m_dir.filePath("held.log"));
        viewer.setStandardErrorFile(m_dir.filePath("held.log"));
        viewer.start(ISOLUMEN_EXECUTABLE, {m_dir.filePath("held.im.gz")});
        const QDir copies(cache + "/Isolumen");
        QTRY_COMPARE_WITH_TIMEOUT(copies.entryList({"held-*.im"}).size(), 1, kTimeoutMs);
        ::kill(pid_t(viewer.processId()), SIGTERM);
        QVERIFY(viewer.waitForFinished(kTimeoutMs));
        QVERIFY2(viewer.exitStatus() == QProcess::NormalExit, qPrintable(log("held.log")));
        QCOMPARE(viewer.exitCode(), 128 + SIGTERM);
        QCOMPARE(copies.entryList({"*.im"}), QStringList());
    }

    // A 1024 x 1024 acquisition opens its window inside the 1366 x 768 screen, zoomed to fit;
    // eight windows of 512 x 512 frames, tiled by Ctrl+Shift+T, lie inside it without overlap.
    void largeFramesOnTheScreen()
    {
        ImBuilder large = testFile();
        large.nSpecies = 1;
        large.labels = {"12C"};
        large.nPlanes = 1;
        large.width = large.height = 1024;
        QVERIFY(large.write(m_dir.filePath("large.im")));
        QVERIFY(restartViewer(m_dir.filePath("large.im")));
        quint64 main = waitForWindow("Isolumen  " ISOLUMEN_VERSION);
        const QPoint menuBar(0, geometry(main).height() - kMainContentHeight);
        QVERIFY(waitForButtons(main, menuBar));
        QVERIFY(click(main, speciesButton(0) + menuBar));
        const quint64 image = waitForWindow("12C (Layer 1) \u2013 50%");
        if (!image)
            QFAIL(qPrintable("No window at 50% opened. " + viewerOutput()));
        QVERIFY2(kScreen.contains(geometry(image)), qPrintable(text(geometry(image))));

        ImBuilder eight = testFile();
        eight.width = eight.height = 512;
        eight.nPlanes = 1;
        QVERIFY(eight.write(m_dir.filePath("eight512.im")));
        QVERIFY(restartViewer(m_dir.filePath("eight512.im")));
        main = waitForWindow("Isolumen  " ISOLUMEN_VERSION);
        QVERIFY(waitForButtons(main, menuBar));
        QList<quint64> windows;
        for (int s = 0; s < 8; ++s) {
            QVERIFY(click(main, speciesButton(s) + menuBar));
            windows << waitForWindow(eight.labels[s] + " (Layer 1)");
            if (!windows.last())
                QFAIL(qPrintable("No window of species " + QString::number(s + 1) + ". " +
                                 viewerOutput()));
        }
        QVERIFY(click(main, kLayerPlus + menuBar + QPoint(0, 30))); // the main window in front
        xdotool({"key", "ctrl+shift+t"});
        QString last;
        const bool tiled = waitUntil([&] {
            QList<QRect> frames;
            last.clear();
            for (quint64 w : windows) {
                const QRect f = geometry(w);
                if (!kScreen.contains(f))
                    last = "outside: " + text(f);
                for (const QRect& other : std::as_const(frames)) {
                    if (f.intersects(other))
                        last = "overlapping: " + text(f) + " and " + text(other);
                }
                frames << f;
            }
            return last.isEmpty();
        });
        QVERIFY2(tiled, qPrintable(last + ". " + viewerOutput()));
    }

    // The X server goes away under the viewer: it ends without a crash (no static destructor
    // runs into Qt after the display connection broke). Comes last: it ends the X server.
    void lostDisplay()
    {
        QVERIFY(m_viewer->state() == QProcess::Running);
        m_processes.front()->kill(); // the X server, started first
        QVERIFY(m_viewer->waitForFinished(kTimeoutMs));
        QVERIFY2(m_viewer->exitStatus() == QProcess::NormalExit,
                 qPrintable("The viewer crashed. " + log("viewer.log")));
    }

private:
    static QString text(const QRect& r)
    {
        return QString("(%1, %2) %3 x %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    }

    // Ends the viewer and starts a new one on file.
    bool restartViewer(const QString& file)
    {
        m_viewer->terminate();
        m_viewer->waitForFinished(kTimeoutMs);
        m_viewer = start(ISOLUMEN_EXECUTABLE, {file}, m_dir.filePath("viewer.log"));
        return m_viewer->waitForStarted(10000);
    }

    // Waits until the species buttons show once the file is read (the area is plain
    // background while they are hidden).
    bool waitForButtons(quint64 main, const QPoint& menuBar)
    {
        const QRect button(speciesButton(0) + menuBar - QPoint(30, 11), QSize(60, 22));
        return waitUntil([&] {
            const QImage area = grab(main).copy(button);
            return area.pixel(0, 0) != area.pixel(30, 11);
        });
    }

    // What a process writes goes to the file log, never into a pipe that nobody reads; with
    // readOutput, its standard output stays readable here.
    QProcess* start(const QString& program, const QStringList& args, const QString& log,
                    bool readOutput = false)
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(m_env);
        p->setStandardErrorFile(log, QIODevice::Append);
        if (!readOutput)
            p->setStandardOutputFile(log, QIODevice::Append);
#ifdef Q_OS_LINUX
        // Should the test itself crash, its children die with it.
        p->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
#endif
        p->start(program, args);
        m_processes.push_back(std::move(p));
        return m_processes.back().get();
    }

    // Ends the started processes last first (the viewer before its X server): politely, so
    // that Xvfb removes its sockets, then by force as each QProcess goes.
    void endAll()
    {
        for (; !m_processes.empty(); m_processes.pop_back()) {
            m_processes.back()->terminate();
            m_processes.back()->waitForFinished(3000);
        }
    }

    // The display of a new X server. -displayfd 1: the server picks a free display and writes
    // its number to standard output once it accepts clients. -noreset: it does not reset each
    // time its last client leaves, as the test's short-lived tools do before the viewer has
    // connected; a viewer connecting during such a reset was refused now and then.
    QString startXvfb()
    {
        QProcess* x = start(
            "Xvfb",
            {"-displayfd", "1", "-noreset", "-screen", "0", "1366x768x24", "-nolisten", "tcp"},
            m_dir.filePath("xvfb.log"), true);
        const QByteArray said =
            x->waitForReadyRead(kTimeoutMs) ? x->readAllStandardOutput().trimmed() : "";
        bool number = false;
        said.toInt(&number);
        return number ? ':' + QString::fromLatin1(said) : QString();
    }

    // What a short-lived tool wrote, when it ended with status 0.
    std::optional<QByteArray> tool(const QString& program, const QStringList& args)
    {
        QProcess p; // killed as it goes if it hangs
        p.setProcessEnvironment(m_env);
        p.start(program, args);
        if (!p.waitForFinished(kTimeoutMs) || p.exitStatus() != QProcess::NormalExit ||
            p.exitCode() != 0)
            return std::nullopt;
        return p.readAllStandardOutput();
    }
    QByteArray xdotool(const QStringList& args)
    {
        return tool(m_xdotool, args).value_or("");
    }

    // Polls until done() holds; false on timeout or once the viewer has ended.
    bool waitUntil(const std::function<bool()>& done)
    {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > kTimeoutMs || m_viewer->waitForFinished(50) ||
                m_viewer->state() != QProcess::Running)
                return false;
        }
        return true;
    }

    // Id of the one visible window whose whole title matches, once it shows; 0 if none does.
    quint64 waitForWindow(const QString& title)
    {
        const QString pattern = '^' + QRegularExpression::escape(title) + '$';
        quint64 id = 0;
        waitUntil([&] {
            const QList<QByteArray> ids =
                xdotool({"search", "--onlyvisible", "--name", pattern}).split('\n');
            id = ids.size() == 2 ? ids.first().toULongLong() : 0; // one line and its end
            return id != 0;
        });
        return id;
    }

    QRect geometry(quint64 window)
    {
        static const QRegularExpression shell(
            "X=(-?\\d+)\\nY=(-?\\d+)\\nWIDTH=(\\d+)\\nHEIGHT=(\\d+)");
        const QRegularExpressionMatch m = shell.match(QString::fromLatin1(
            xdotool({"getwindowgeometry", "--shell", QString::number(window)})));
        return {m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(),
                m.captured(4).toInt()};
    }

    QImage grab(quint64 window)
    {
        const QString png = m_dir.filePath("grab.png");
        return tool(ISOLUMEN_SCREENGRAB, {png, QString::number(window)})
                   ? QImage(png).convertToFormat(QImage::Format_RGB32)
                   : QImage();
    }

    bool click(quint64 window, const QPoint& at)
    {
        return tool(m_xdotool, {"mousemove", "--window", QString::number(window),
                                QString::number(at.x()), QString::number(at.y()), "click", "1"})
            .has_value();
    }

    // Waits until the canvas of the image window shows want; fails with the last difference.
    void checkCanvas(quint64 window, const QImage& want)
    {
        const QRect frame = geometry(window);
        QCOMPARE(frame.width(), kSide + 121);
        // Below the menu bar: the content, its readout strip of 16 pixels included.
        const QRect canvas(QPoint(20, 27 + frame.height() - (kSide + 59 + 16)), want.size());
        QString last;
        if (!waitUntil([&] {
                last = TestPictures::pictureDifference(grab(window).copy(canvas), want);
                return last.isEmpty();
            }))
            QFAIL(
                qPrintable("The canvas does not show the layer: " + last + ". " + viewerOutput()));
    }

    QString log(const QString& name)
    {
        QFile f(m_dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()).trimmed() : "";
    }

    // Whether the viewer still runs, which windows are on the screen, and what the viewer said.
    QString viewerOutput()
    {
        const QByteArray windows =
            xdotool({"search", "--onlyvisible", "--name", ".", "getwindowname", "%@"});
        return QString("The viewer %1; windows on the screen: %2; the viewer said: %3")
            .arg(m_viewer->state() == QProcess::Running ? "runs" : "has ended",
                 QString::fromUtf8(windows.trimmed()).replace('\n', ", "), log("viewer.log"));
    }

    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<QProcess>> m_processes; // ended however the test ends
    QProcessEnvironment m_env = QProcessEnvironment::systemEnvironment();
    QString m_xdotool;
    QProcess* m_viewer = nullptr;
};

QTEST_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
