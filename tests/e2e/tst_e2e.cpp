// The viewer as a user meets it: the real executable on a real X server (Xvfb of its own), the
// species button and "+1" pressed with real pointer clicks (xdotool), and the picture read back
// from the screen and checked pixel by pixel against colours computed here from the file's
// samples. Every process it starts is ended when it finishes, passes or fails.
#include "colour/catalogue.h"
#include "imbuilder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>
#include <vector>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace {

constexpr int kSide = 128;
constexpr int kPlanes = 3;
constexpr int kTimeoutMs = 30000; // for any one thing the viewer is waited for
constexpr int kPollMs = 50;

// Main window: content 316 x 186 under the menu bar; the places of the controls clicked here.
constexpr int kMainContentHeight = 186;
const QRect kButtonSpecies0(20, 46, 60, 22);
const QRect kLayerPlus(256, 114, 40, 20);
// Image window: the canvas sits at (20, 27) of the content.
const QPoint kImageCanvas(20, 27);

// Different in every plane, species, row and column, and not symmetric from left to right, so
// a wrong plane, a wrong range or an unmirrored row shows.
quint32 sampleValue(int species, int plane, int row, int k)
{
    return quint32(100 * plane + 5 * species + (row * 29 + k * (3 + plane)) % 300);
}

// The picture the image window must show of a plane, computed here from the samples: a black
// frame, the first sample of each file row at the right-hand end, the range from the plane's
// extremes, and colours from table "10 Rainbow" with grey below and white above.
QImage expectedPicture(int species, int plane)
{
    std::vector<double> v(std::size_t(kSide) * kSide);
    for (int r = 0; r < kSide; ++r) {
        for (int k = 0; k < kSide; ++k)
            v[std::size_t(r) * kSide + (kSide - 1 - k)] = sampleValue(species, plane, r, k);
    }
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    const double min = *lo;
    // The scale first, then the product, as the mapping is defined: for the plane's maximum
    // this may land just below 254 and give entry 253.
    const double scale = 253.0 / (*hi - min);
    QImage want(kSide + 2, kSide + 2, QImage::Format_RGB32);
    want.fill(qRgb(0, 0, 0));
    for (int r = 0; r < kSide; ++r) {
        for (int c = 0; c < kSide; ++c) {
            const double k =
                std::clamp((v[std::size_t(r) * kSide + c] - min) * scale + 1, 0.0, 255.0);
            const int entry = int(k);
            const QRgb colour = entry == 0     ? 0x999999
                                : entry == 255 ? 0xFFFFFF
                                               : Globals::lut(9, entry);
            want.setPixel(c + 1, r + 1, 0xFF000000 | colour);
        }
    }
    return want;
}

// Where the first difference between two pictures lies, or empty when they are equal.
QString difference(const QImage& got, const QImage& want)
{
    if (got.size() != want.size())
        return QStringLiteral("size %1 x %2, want %3 x %4")
            .arg(got.width())
            .arg(got.height())
            .arg(want.width())
            .arg(want.height());
    int count = 0;
    QString first;
    for (int y = 0; y < want.height(); ++y) {
        for (int x = 0; x < want.width(); ++x) {
            const QRgb g = got.pixel(x, y) & 0xFFFFFF;
            const QRgb w = want.pixel(x, y) & 0xFFFFFF;
            if (g == w)
                continue;
            if (count++ == 0)
                first = QStringLiteral("pixel (%1, %2) is #%3, want #%4")
                            .arg(x)
                            .arg(y)
                            .arg(g, 6, 16, QLatin1Char('0'))
                            .arg(w, 6, 16, QLatin1Char('0'));
        }
    }
    return count ? QStringLiteral("%1 pixels differ; %2").arg(count).arg(first) : QString();
}

// Started processes, ended when it goes: politely first, then by force. Each child also dies
// with this process should the test itself crash.
class Processes
{
public:
    Processes() = default;
    Processes(const Processes&) = delete;
    Processes& operator=(const Processes&) = delete;
    ~Processes() { endAll(); }

    // What the process writes goes to the file log, never into a pipe that nobody reads;
    // with keepOutput, its standard output stays readable here and only its errors go there.
    QProcess* start(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                    const QString& log, bool keepOutput = false)
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        if (keepOutput) {
            p->setStandardErrorFile(log, QIODevice::Append);
        } else {
            p->setProcessChannelMode(QProcess::MergedChannels);
            p->setStandardOutputFile(log, QIODevice::Append);
        }
#ifdef Q_OS_LINUX
        p->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
#endif
        p->start(program, args);
        m_all.push_back(std::move(p));
        return m_all.back().get();
    }

    // Last started first: the viewer before its X server.
    void endAll()
    {
        for (auto it = m_all.rbegin(); it != m_all.rend(); ++it) {
            QProcess& p = **it;
            if (p.state() == QProcess::NotRunning)
                continue;
            p.terminate();
            if (!p.waitForFinished(3000)) {
                p.kill();
                p.waitForFinished(3000);
            }
        }
        m_all.clear();
    }

private:
    std::vector<std::unique_ptr<QProcess>> m_all;
};

struct Run
{
    int code = -1;
    QByteArray out;
    QByteArray err;
};

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void speciesButtonOpensItsWindow();
    void plusOneShowsTheNextLayer();

private:
    QString startXvfb();
    Run tool(const QString& program, const QStringList& args);
    // Id of the one visible window whose whole title matches, once it shows; 0 on timeout.
    quint64 waitForWindow(const QString& title);
    QRect geometry(quint64 window);
    QImage grab(quint64 window);
    void click(quint64 window, const QPoint& at);
    // Waits until the canvas of the image window shows want; fails with the last difference.
    void checkCanvas(quint64 window, const QImage& want);
    // Waits one polling interval; false once the viewer has ended.
    bool pause();
    // A log file of a started process.
    QString log(const QString& name);
    QString viewerOutput();

    QTemporaryDir m_dir;
    Processes m_processes;
    QProcessEnvironment m_env;
    QString m_xdotool;
    QProcess* m_viewer = nullptr;
    quint64 m_main = 0;
    int m_mainMenuBar = 0; // height of the menu bar above the main window's content
    quint64 m_image = 0;
};

void TestEndToEnd::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    m_xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    if (xvfb.isEmpty() || m_xdotool.isEmpty())
        QFAIL("This test needs Xvfb and xdotool (Debian packages xvfb and xdotool); "
              "scripts/setup.sh installs them.");
    QVERIFY2(QFile::exists(ISOLUMEN_SCREENGRAB), ISOLUMEN_SCREENGRAB);

    ImBuilder b;
    b.width = b.height = kSide;
    b.nSpecies = 2;
    b.labels = {"16O", "12C"};
    b.nPlanes = kPlanes;
    b.sample = sampleValue;
    const QString file = m_dir.filePath(QStringLiteral("twospecies.im"));
    QVERIFY(b.write(file));

    const QString display = startXvfb();
    QVERIFY2(!display.isEmpty(),
             qPrintable("Xvfb did not start on any display from :90 on. It said: " +
                        log(QStringLiteral("xvfb.log"))));

    m_env = QProcessEnvironment::systemEnvironment();
    m_env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    m_env.insert(QStringLiteral("DISPLAY"), display);
    m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());

    m_viewer = m_processes.start(QStringLiteral(ISOLUMEN_EXECUTABLE), {file}, m_env,
                                 m_dir.filePath(QStringLiteral("viewer.log")));
    QVERIFY2(m_viewer->waitForStarted(10000), qPrintable(m_viewer->errorString()));

    m_main = waitForWindow(QStringLiteral("Isolumen  0.0.1"));
    if (!m_main)
        QFAIL(qPrintable("The main window did not show. " + viewerOutput()));
    const QRect main = geometry(m_main);
    QCOMPARE(main.topLeft(), QPoint(0, 24)); // the top of the screen's free area + 24
    QCOMPARE(main.width(), 316);
    m_mainMenuBar = main.height() - kMainContentHeight;
    QVERIFY2(m_mainMenuBar >= 0 && m_mainMenuBar < 80, qPrintable(QString::number(main.height())));
}

void TestEndToEnd::cleanupTestCase()
{
    m_processes.endAll();
}

QString TestEndToEnd::startXvfb()
{
    for (int n = 90; n < 190; ++n) {
        // A lock file or a socket: another X server has (or had) this display.
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)) ||
            QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            continue;
        const QString display = QStringLiteral(":%1").arg(n);
        // -displayfd 1: the server writes its display number to standard output once it
        // accepts clients. -noreset: it does not reset each time its last client leaves, as
        // the test's short-lived tools do before the viewer has connected; a viewer connecting
        // during such a reset was refused now and then.
        QProcess* x = m_processes.start(QStringLiteral("Xvfb"),
                                        {display, QStringLiteral("-displayfd"), QStringLiteral("1"),
                                         QStringLiteral("-noreset"), QStringLiteral("-screen"),
                                         QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                                         QStringLiteral("-nolisten"), QStringLiteral("tcp")},
                                        QProcessEnvironment::systemEnvironment(),
                                        m_dir.filePath(QStringLiteral("xvfb.log")), true);
        QByteArray said;
        QElapsedTimer t;
        t.start();
        while (!said.contains('\n') && x->state() != QProcess::NotRunning &&
               t.elapsed() < kTimeoutMs) {
            x->waitForReadyRead(kPollMs);
            said += x->readAllStandardOutput();
        }
        if (said.trimmed() == QByteArray::number(n))
            return display;
        // Taken in the meantime, or refused: the next number.
        x->kill();
        x->waitForFinished(3000);
    }
    return {};
}

Run TestEndToEnd::tool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.setProcessEnvironment(m_env);
    p.start(program, args);
    if (!p.waitForFinished(kTimeoutMs)) {
        p.kill();
        p.waitForFinished(3000);
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

quint64 TestEndToEnd::waitForWindow(const QString& title)
{
    const QString pattern = QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$');
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < kTimeoutMs) {
        const Run r = tool(m_xdotool, {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                       QStringLiteral("--name"), pattern});
        const QList<QByteArray> ids = r.out.trimmed().split('\n');
        if (r.code == 0 && ids.size() == 1 && !ids.first().isEmpty())
            return ids.first().toULongLong();
        if (!pause())
            break;
    }
    return 0;
}

QRect TestEndToEnd::geometry(quint64 window)
{
    const Run r = tool(m_xdotool, {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"),
                                   QString::number(window)});
    QMap<QByteArray, int> v;
    for (const QByteArray& line : r.out.split('\n')) {
        const int eq = line.indexOf('=');
        if (eq > 0)
            v[line.left(eq)] = line.mid(eq + 1).toInt();
    }
    return {v.value("X"), v.value("Y"), v.value("WIDTH"), v.value("HEIGHT")};
}

QImage TestEndToEnd::grab(quint64 window)
{
    const QString png = m_dir.filePath(QStringLiteral("grab.png"));
    QFile::remove(png);
    if (tool(QStringLiteral(ISOLUMEN_SCREENGRAB), {png, QString::number(window)}).code != 0)
        return {};
    return QImage(png).convertToFormat(QImage::Format_RGB32);
}

void TestEndToEnd::click(quint64 window, const QPoint& at)
{
    const Run r =
        tool(m_xdotool, {QStringLiteral("mousemove"), QStringLiteral("--window"),
                         QString::number(window), QString::number(at.x()), QString::number(at.y()),
                         QStringLiteral("click"), QStringLiteral("1")});
    QVERIFY2(r.code == 0, r.err.constData());
}

void TestEndToEnd::checkCanvas(quint64 window, const QImage& want)
{
    const QRect frame = geometry(window);
    // The window is its content (side + 121 by side + 59) under a menu bar.
    QCOMPARE(frame.width(), kSide + 121);
    const int menuBar = frame.height() - (kSide + 59);
    QVERIFY2(menuBar >= 0 && menuBar < 80, qPrintable(QString::number(frame.height())));
    const QRect canvas(kImageCanvas + QPoint(0, menuBar), want.size());

    QString last;
    QElapsedTimer t;
    t.start();
    // Until the window has painted what it was asked to show.
    while (t.elapsed() < kTimeoutMs) {
        const QImage shot = grab(window);
        last = shot.isNull() ? QStringLiteral("no picture from screengrab")
                             : difference(shot.copy(canvas), want);
        if (last.isEmpty())
            return;
        if (!pause())
            break;
    }
    QFAIL(qPrintable(QStringLiteral("The canvas does not show the layer: ") + last + ". " +
                     viewerOutput()));
}

bool TestEndToEnd::pause()
{
    return !m_viewer->waitForFinished(kPollMs) && m_viewer->state() == QProcess::Running;
}

QString TestEndToEnd::log(const QString& name)
{
    QFile f(m_dir.filePath(name));
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()).trimmed() : QString();
}

// Whether the viewer still runs, which windows are on the screen, and what the viewer said.
QString TestEndToEnd::viewerOutput()
{
    QStringList windows;
    const Run r = tool(m_xdotool, {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                   QStringLiteral("--name"), QStringLiteral(".")});
    for (const QByteArray& id : r.out.trimmed().split('\n')) {
        if (id.isEmpty())
            continue;
        const Run name =
            tool(m_xdotool, {QStringLiteral("getwindowname"), QString::fromLatin1(id)});
        windows << QStringLiteral("\"%1\"").arg(QString::fromUtf8(name.out.trimmed()));
    }
    m_viewer->waitForFinished(0);
    const QString state = m_viewer->state() == QProcess::Running ? QStringLiteral("runs")
                          : m_viewer->exitStatus() == QProcess::CrashExit
                              ? QStringLiteral("crashed")
                              : QStringLiteral("ended with status %1").arg(m_viewer->exitCode());
    return QStringLiteral("The viewer %1; windows on the screen: %2; the viewer said: %3")
        .arg(state, windows.join(QStringLiteral(", ")), log(QStringLiteral("viewer.log")));
}

void TestEndToEnd::speciesButtonOpensItsWindow()
{
    QVERIFY(m_main);
    // The species buttons show once the file is read: wait until the first one is drawn, so
    // that the click meets it (the area is plain background while it is hidden).
    const QRect button = kButtonSpecies0.translated(0, m_mainMenuBar);
    QElapsedTimer t;
    t.start();
    bool drawn = false;
    while (!drawn && t.elapsed() < kTimeoutMs) {
        const QImage area = grab(m_main).copy(button);
        for (int y = 0; y < area.height() && !drawn; ++y) {
            for (int x = 0; x < area.width() && !drawn; ++x)
                drawn = area.pixel(x, y) != area.pixel(0, 0);
        }
        if (!drawn && !pause())
            break;
    }
    if (!drawn)
        QFAIL(qPrintable("The species button never showed. " + viewerOutput()));

    click(m_main, button.center());
    if (QTest::currentTestFailed())
        return;
    m_image = waitForWindow(QStringLiteral("16O (Layer 1)"));
    if (!m_image)
        QFAIL(qPrintable("No window \"16O (Layer 1)\" opened. " + viewerOutput()));
    // Species 0 opens right of the main window, at the top of the screen's free area.
    QCOMPARE(geometry(m_image).topLeft(), QPoint(316, 0));
    checkCanvas(m_image, expectedPicture(1, 1));
}

void TestEndToEnd::plusOneShowsTheNextLayer()
{
    QVERIFY(m_image);
    click(m_main, kLayerPlus.translated(0, m_mainMenuBar).center());
    if (QTest::currentTestFailed())
        return;
    // The same window, now titled after the next layer.
    QCOMPARE(waitForWindow(QStringLiteral("16O (Layer 2)")), m_image);
    checkCanvas(m_image, expectedPicture(1, 2));
}

QTEST_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
