// Times the viewer against the floor that any viewer pays for the same work and against numpy
// scripts doing the same jobs, and measures what it keeps in memory.
//
//   benchmark [--switches N] [--measure NAME]
//
// switch         a layer switch of a real image window (offscreen platform) at 256 to 2048
//                pixels a side, against reading the frame's bytes once and writing the pixels
//                once, measured in the same process
// eight-windows  eight 2048 x 2048 image windows: resident memory, and the time until all eight
//                show a new layer
// sparse         opening a sparse 4 GiB acquisition: resident memory
// export         `isolumen --export OUT.png` as a whole process against tools/bench/picture.py
// sums           `isolumen --export-counts OUT.tif --species all --sum` of a 1 GiB acquisition,
//                against reading its bytes once and tools/bench/sumcounts.py; peak memory
// shifts         `isolumen --shifts` of 100 layers of 512 x 512 against tools/bench/phasecorr.py,
//                and the drift estimate's time per layer at 256, 512 and 1024
// drift-targets  the drift estimate's error on stacks of known drift (sparse, binned, well
//                exposed, empty and faint layers, a periodic grid, a still frame, a hot spot)
// planning       FFTW's planning flags: planning time against transform time
// scrub          Page Down held for a second in the real viewer on an X server of its own (Xvfb),
//                1, 4 and 8 windows of 2048 x 2048: the time from the last key until the screen
//                shows the last layer asked for
// expand         the expansion of compressed acquisitions against the command-line tools
// find-regions   `isolumen --export-mask OUT.tif --find-regions 1` of a 2048 x 2048 layer of
//                cells, some touching, against tools/bench/findcells.py (scikit-image)
// regions-table  the Regions table of 1,000 regions in 6 species: its refresh after a layer change
// outlines       a layer switch with 1,000 region outlines on the window against none
//
// Each measurement runs in a process of its own, so that memory one of them frees cannot hide
// what the next one takes; --measure runs one in this process. Acquisitions are made in a
// temporary folder. Build it in a release configuration (RelWithDebInfo or Release).
#include "core/imfile/archive.h"
#include "core/imfile/imfile.h"
#include "core/io/labelmask.h"
#include "core/model/acquisition.h"
#include "core/model/drift.h"
#include "core/parallel.h"
#include "core/render/displaypictures.h"
#include "core/render/displaysettings.h"
#include "driftstack.h"
#include "imbuilder.h"
#include "recordedtexture.h"
#include "ui/canvas.h"
#include "ui/historywindow.h"
#include "ui/imagewindow.h"
#include "ui/mainwindow.h"
#include "ui/menu.h"
#include "ui/messagebox.h"
#include "ui/regionswindow.h"
#include "xserver.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <ctime>
#include <fcntl.h>
#include <fftw3.h>
#include <functional>
#include <optional>
#include <random>
#include <signal.h>
#include <spawn.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace isolumen;

extern char** environ;

namespace {

QTextStream out(stdout);

QString fixed(double v, int decimals = 2)
{
    return QString::number(v, 'f', decimals);
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Milliseconds of each of `runs` calls of f, after one call that warms caches and allocator.
std::vector<double> timed(int runs, const std::function<void(int)>& f)
{
    f(runs);
    std::vector<double> ms;
    QElapsedTimer t;
    for (int i = 0; i < runs; ++i) {
        t.start();
        f(i);
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    return ms;
}

// Milliseconds of wall-clock and processor time (all threads) of one call: on a shared machine
// the processor time shows the work when other programs slow the clock time.
struct Timing
{
    double wall = 0;
    double cpu = 0;
};

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Medians of `runs` calls of f.
Timing medianMs(int runs, const std::function<void()>& f)
{
    std::vector<double> wall, cpu;
    QElapsedTimer t;
    for (int i = 0; i < runs; ++i) {
        const double cpu0 = cpuMs();
        t.start();
        f();
        wall.push_back(t.nsecsElapsed() / 1e6);
        cpu.push_back(cpuMs() - cpu0);
    }
    return {median(wall), median(cpu)};
}

QString firstLine(const QString& path, const QString& prefix = {})
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(prefix.toLatin1()))
            return QString::fromLatin1(line).trimmed();
    }
    return {};
}

// The machine and how busy it is now: the figures of a shared machine mean little without.
QString machine()
{
    const QString cpu = firstLine(QStringLiteral("/proc/cpuinfo"), QStringLiteral("model name"))
                            .section(QLatin1Char(':'), 1)
                            .trimmed();
    const QString load = firstLine(QStringLiteral("/proc/loadavg")).section(QLatin1Char(' '), 0, 2);
    return QStringLiteral("nproc %1, \"%2\", load average %3")
        .arg(QThread::idealThreadCount())
        .arg(cpu, load);
}

void heading(const QString& title)
{
    out << "\n## " << title << "\n\n"
        << QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm")) << " UTC, "
        << machine() << "\n\n";
    out.flush();
}

// A value of /proc/self/status in MiB: "VmRSS:" resident memory, "VmHWM:" its peak.
double statusMiB(const char* field = "VmRSS:")
{
    const QString line = firstLine(QStringLiteral("/proc/self/status"), QLatin1String(field));
    return line.mid(int(qstrlen(field))).trimmed().section(QLatin1Char(' '), 0, 0).toDouble() /
           1024;
}

double residentMiB()
{
    return statusMiB("VmRSS:");
}

// Lets VmHWM start again from the resident memory of now.
void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

qint64 minorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// ---- Other processes ----

struct ProcessRun
{
    bool ok = false;
    double seconds = 0;
    double peakMiB = 0; // the process's own peak resident memory
};

// Runs program to its end with standard output into outputPath and standard error discarded,
// timing it. Its peak resident memory is read from /proc as it exits (it is traced to stop
// there): the kernel's own account of a child counts the memory of the process it was started
// from too.
ProcessRun runProcess(const QString& program, const QStringList& args,
                      const QString& outputPath = QStringLiteral("/dev/null"))
{
    std::vector<QByteArray> storage{QFile::encodeName(program)};
    for (const QString& a : args)
        storage.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const QByteArray output = QFile::encodeName(outputPath);
    ProcessRun run;
    QElapsedTimer t;
    t.start();
    const pid_t pid = fork();
    if (pid == 0) {
        // Only calls that are safe between fork and exec.
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        const int out = open(output.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = open("/dev/null", O_WRONLY);
        dup2(out, 1);
        dup2(null, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0)
        return run;
    bool exec = false;
    for (int status = 0; waitpid(pid, &status, 0) == pid;) {
        if (WIFEXITED(status) || WIFSIGNALED(status)) {
            run.seconds = t.nsecsElapsed() / 1e9;
            run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            break;
        }
        int signal = WSTOPSIG(status);
        if (signal == SIGTRAP && (status >> 16) == PTRACE_EVENT_EXIT) {
            const QString line =
                firstLine(QStringLiteral("/proc/%1/status").arg(pid), QStringLiteral("VmHWM:"));
            run.peakMiB = line.mid(6).trimmed().section(QLatin1Char(' '), 0, 0).toDouble() / 1024;
            signal = 0;
        } else if (signal == SIGTRAP && !exec) {
            // Stopped at the exec: from now on, stop at the exit too.
            ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL);
            exec = true;
            signal = 0;
        }
        ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void*>(qintptr(signal)));
    }
    return run;
}

// Medians of `runs` runs of a process (seconds and peak memory); not ok when any run failed.
ProcessRun medianRun(int runs, const std::function<ProcessRun()>& run)
{
    std::vector<double> seconds, peaks;
    ProcessRun result;
    result.ok = true;
    for (int i = 0; i < runs; ++i) {
        const ProcessRun r = run();
        result.ok = result.ok && r.ok;
        seconds.push_back(r.seconds);
        peaks.push_back(r.peakMiB);
    }
    result.seconds = median(seconds);
    result.peakMiB = median(peaks);
    return result;
}

QString isolumen()
{
    return QStringLiteral(ISOLUMEN_EXECUTABLE);
}

QString benchScript(const QString& name)
{
    return QStringLiteral(ISOLUMEN_SOURCE_DIR "/tools/bench/") + name;
}

// /usr/bin/python3 with numpy, Pillow and tifffile; empty, after saying so, without them.
QString python()
{
    const QString python = QStringLiteral("/usr/bin/python3");
    if (!runProcess(python, {QStringLiteral("-c"), QStringLiteral("import numpy, PIL, tifffile")})
             .ok) {
        out << "(The numpy scripts are skipped: they need /usr/bin/python3 with numpy, Pillow and "
               "tifffile, the Debian packages python3-numpy, python3-pil and "
               "python3-tifffile.)\n\n";
        return {};
    }
    return python;
}

// ---- Acquisitions ----

// Counts as an instrument records them: a background with bright round cells, different in
// every plane and species.
ImBuilder cellsFile(int side, int species, int layers)
{
    ImBuilder b;
    b.width = b.height = qint16(side);
    b.nSpecies = species;
    b.nPlanes = qint16(layers);
    b.sample = [side](int s, int plane, int r, int k) {
        const int cell = std::max(8, side / 8);
        const int dr = (r + 3 * s) % cell - cell / 2;
        const int dk = k % cell - cell / 2;
        const bool inside = dr * dr + dk * dk < cell * cell / 6;
        const quint32 noise = quint32(r * 7919 + k * 104729 + plane * 31 + s * 13) % 97;
        return inside ? 3000 + noise * 20 + quint32(plane) : noise;
    };
    return b;
}

// Sparse counts without a pattern, about as compressible as recorded ones.
quint32 sparseCount(int species, int plane, int r, int k)
{
    quint64 h = (quint64(plane) << 40 | quint64(species) << 36 | quint64(r) << 18 | quint64(k)) *
                0x9E3779B97F4A7C15u;
    h ^= h >> 29;
    return h % 100 < 70 ? 0u : quint32(h % 11);
}

// Writes the builder's file frame by frame, the frames of a layer made on all cores: files of
// several GB never need to fit in memory at once.
bool writeLarge(const ImBuilder& b, const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(b.header()) != b.headerSize)
        return false;
    std::vector<QByteArray> frames(std::size_t(b.nSpecies));
    for (int p = 1; p <= b.nPlanes; ++p) {
        parallelFor(b.nSpecies, 1, [&](qsizetype begin, qsizetype end) {
            for (qsizetype s = begin; s < end; ++s)
                frames[std::size_t(s)] = b.frame(int(s) + 1, p);
        });
        for (const QByteArray& frame : frames) {
            if (f.write(frame) != frame.size())
                return false;
        }
    }
    return f.flush();
}

// Reads the whole file once so that the timings read from the page cache.
void warmPageCache(const QString& path)
{
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) {
        while (!f.read(1 << 24).isEmpty()) {
        }
    }
}

// Seconds to read every byte of the file once, 1 MiB at a time on one thread, from the page
// cache (median of three).
double readOnceSeconds(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    std::vector<char> buffer(1 << 20);
    const int fd = f.handle();
    std::vector<double> seconds;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer t;
        t.start();
        off_t at = 0;
        for (ssize_t got; (got = pread(fd, buffer.data(), buffer.size(), at)) > 0;)
            at += got;
        seconds.push_back(t.nsecsElapsed() / 1e9);
    }
    return median(seconds);
}

// ---- Windows ----

// Counts the paint events of a widget.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget* widget) : QObject(widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

// Lets shown, resized and updated windows paint, and closed ones go.
void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// The viewer's windows on the offscreen platform: the main window with a file open and the
// image windows of its first species, opened as the species buttons open them.
class Viewer
{
public:
    Viewer() : m_main(new MainWindow(m_acquisition)) { m_main->show(); }
    ~Viewer()
    {
        for (ImageWindow* w : m_main->imageWindows().windows())
            w->close();
        m_main->close(); // deletes itself
        if (HistoryWindow* history = HistoryWindow::existing())
            history->close();
        settle();
    }

    QList<ImageWindow*> open(const QString& path, int species)
    {
        m_main->openImage(path);
        for (int i = 0; i < species; ++i)
            m_main->speciesButton(i)->click();
        settle();
        const QList<ImageWindow*> windows = m_main->imageWindows().windows();
        m_counters.clear();
        for (ImageWindow* w : windows)
            m_counters.push_back(new PaintCounter(w->imageCanvas()));
        return windows;
    }

    MainWindow* main() const { return m_main; }
    Acquisition& acquisition() { return m_acquisition; }

    // Paints of the image canvases so far.
    std::vector<int> paints() const
    {
        std::vector<int> counts;
        for (const PaintCounter* c : m_counters)
            counts.push_back(c->count);
        return counts;
    }

    // Delivers posted events (the windows' reloads, then their paints) until every image
    // canvas has been painted since `before`; the time the reloads took goes to loadMs.
    void untilPainted(const std::vector<int>& before, double* loadMs = nullptr)
    {
        QElapsedTimer t;
        t.start();
        QCoreApplication::sendPostedEvents(); // the queued reloads
        if (loadMs)
            *loadMs = t.nsecsElapsed() / 1e6;
        for (int round = 0; round < 100; ++round) {
            const std::vector<int> now = paints();
            bool all = true;
            for (std::size_t i = 0; i < now.size(); ++i)
                all = all && now[i] > before[i];
            if (all)
                return;
            QCoreApplication::sendPostedEvents();
        }
        out << "(a window was not painted)\n";
    }

private:
    Acquisition m_acquisition;
    MainWindow* m_main;
    std::vector<PaintCounter*> m_counters;
};

struct SwitchRow
{
    int side = 0;
    Timing switchMs;    // layer chosen on the main window until the picture is painted
    double loadMs = 0;  // of which the reload (plane, range, pictures)
    double paintMs = 0; // of which the painting
    double faults = 0;  // minor page faults per switch
    Timing floorMs;
};

constexpr int kSwitchLayers = 4;

// The floor: the frame's bytes read from the page cache, then every pixel of the picture
// written once, both into memory already in use, on one thread.
Timing floorMs(const QString& path, int side, int switches)
{
    ImFile file;
    if (file.open(path) != ImFile::Status::Accepted)
        return {};
    const qint64 frameBytes = qint64(side) * side * file.header().bytesPerSample;
    std::vector<char> bytes(static_cast<std::size_t>(frameBytes));
    std::vector<quint32> pixels(std::size_t(side + 2) * (side + 2));
    int i = 0;
    return medianMs(switches + 1, [&] {
        file.readAt(file.header().headerSize + (i % kSwitchLayers) * frameBytes, bytes.data(),
                    frameBytes);
        std::fill(pixels.begin(), pixels.end(), quint32(bytes[std::size_t(i++) % bytes.size()]));
    });
}

SwitchRow measureSwitch(const QString& path, int side, int switches)
{
    SwitchRow row;
    row.side = side;
    row.floorMs = floorMs(path, side, switches);
    Viewer viewer;
    const QList<ImageWindow*> windows = viewer.open(path, 1);
    if (windows.size() != 1)
        return row;
    QComboBox* layers = viewer.main()->layerPopUp();
    int next = 0;
    std::vector<double> loads, paints;
    qint64 faults = 0;
    QElapsedTimer t;
    row.switchMs = medianMs(switches + 1, [&] {
        next = (next + 1) % kSwitchLayers;
        const std::vector<int> before = viewer.paints();
        const qint64 faultsBefore = minorFaults();
        t.start();
        layers->setCurrentIndex(next);
        double load = 0;
        viewer.untilPainted(before, &load);
        const double total = t.nsecsElapsed() / 1e6;
        faults += minorFaults() - faultsBefore;
        loads.push_back(load);
        paints.push_back(total - load);
    });
    row.loadMs = median(loads);
    row.paintMs = median(paints);
    row.faults = double(faults) / (switches + 1);
    return row;
}

void switchTable(const QTemporaryDir& dir, int switches)
{
    heading(QStringLiteral("Layer switch"));
    std::vector<SwitchRow> rows;
    for (const int side : {256, 512, 1024, 2048}) {
        const QString path = dir.filePath(QStringLiteral("switch%1.im").arg(side));
        if (!cellsFile(side, 1, kSwitchLayers).write(path)) {
            out << "Cannot write " << path << '\n';
            return;
        }
        warmPageCache(path);
        rows.push_back(measureSwitch(path, side, switches));
        QFile::remove(path);
    }
    out << "A layer chosen on the main window until the image window has painted the new "
           "picture, median of "
        << switches
        << " switches (ms). Floor: reading the frame's bytes from the page cache and writing "
           "each pixel once, one thread. Processor time (cpu) counts all threads: the work done, "
           "whatever else the machine runs.\n\n"
           "| side | switch | floor | switch / floor | reload | paint | switch cpu | floor cpu | "
           "page faults |\n|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    for (const SwitchRow& r : rows)
        out << "| " << r.side << " | " << fixed(r.switchMs.wall) << " | " << fixed(r.floorMs.wall)
            << " | " << fixed(r.switchMs.wall / r.floorMs.wall) << " | " << fixed(r.loadMs) << " | "
            << fixed(r.paintMs) << " | " << fixed(r.switchMs.cpu) << " | " << fixed(r.floorMs.cpu)
            << " | " << fixed(r.faults, 0) << " |\n";
    out << "\nTarget: at 2048, switch / floor at most 1.5.\n";
}

QString mib(double v)
{
    return fixed(v, 0) + QStringLiteral(" MiB (") + fixed(v * 1.048576, 0) + QStringLiteral(" MB)");
}

// Eight image windows on 2048 x 2048 frames: the memory they hold, and a layer change, which
// reloads and repaints all eight.
void eightWindows(const QTemporaryDir& dir, int)
{
    heading(QStringLiteral("Eight 2048 x 2048 windows"));
    constexpr int side = 2048;
    constexpr int runs = 9;
    const QString path = dir.filePath(QStringLiteral("eight.im"));
    if (!writeLarge(cellsFile(side, 8, 2), path)) {
        out << "Cannot write " << path << '\n';
        return;
    }
    warmPageCache(path);
    const double start = residentMiB();
    Viewer viewer;
    settle();
    const double before = residentMiB();
    const QList<ImageWindow*> windows = viewer.open(path, 8);
    const double open = residentMiB();
    int delta = 1;
    std::vector<double> reloads;
    const std::vector<double> change = timed(runs, [&](int) {
        const std::vector<int> paints = viewer.paints();
        double load = 0;
        viewer.main()->stepLayer(delta);
        viewer.untilPainted(paints, &load);
        reloads.push_back(load);
        delta = -delta;
    });
    const double after = residentMiB();
    const QSize window = windows.value(0)->size();
    out << windows.size() << " windows open. A layer change (stepLayer), median of " << runs
        << ": all eight reloaded after " << fixed(median(reloads), 1)
        << " ms, all eight painted after " << fixed(median(change), 1) << " ms.\n\n"
        << "Resident memory: " << mib(start) << " at start, " << mib(before)
        << " with the main window, " << mib(open) << " with the eight windows open, " << mib(after)
        << " after the layer changes; peak " << mib(statusMiB("VmHWM:"))
        << ". Per window: the samples " << fixed(double(side) * side * 2 / (1 << 20), 0)
        << " MiB, a backing store of " << window.width() << " x " << window.height() << " pixels "
        << fixed(double(window.width()) * window.height() * 4 / (1 << 20), 0)
        << " MiB.\n\nTarget: at most 350 MB resident with the eight windows open.\n";
    QFile::remove(path);
}

// An acquisition of more than 4 GiB of 512 x 512 frames, all but its header a hole in the file:
// opening it may read only the header.
void sparseFile(const QTemporaryDir& dir, int)
{
    heading(QStringLiteral("A sparse 4 GiB acquisition"));
    ImBuilder b;
    b.width = b.height = 512;
    b.nSpecies = 2;
    b.nPlanes = 4100;
    const QString path = dir.filePath(QStringLiteral("sparse.im"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(b.header()) != b.headerSize ||
        !f.resize(b.expectedFileSize())) {
        out << "Cannot make the sparse file in " << dir.path() << '\n';
        return;
    }
    f.close();
    Viewer viewer;
    settle();
    const double before = residentMiB();
    QElapsedTimer t;
    t.start();
    viewer.main()->openImage(path);
    const double openMs = t.nsecsElapsed() / 1e6;
    settle();
    out << "Opened in the main window in " << fixed(openMs) << " ms; resident memory grew by "
        << fixed(residentMiB() - before, 1) << " MiB ("
        << fixed(b.expectedFileSize() / 1073741824.0) << " GiB file). Target: under 20 MB.\n";
    QFile::remove(path);
}

// ---- Whole processes against numpy ----

// The picture of layer 1 of species 1: the viewer's --export against the numpy + Pillow script
// doing the same job with the same colours.
void exportTable(const QTemporaryDir& dir, int)
{
    heading(QStringLiteral("Export of a picture"));
    const QString py = python();
    out << "`isolumen --export OUT.png FILE.im` as a whole process (median of 5) against "
           "tools/bench/picture.py (numpy and Pillow, median of 3); layer 1 of 4, "
           "automatic range, table 10.\n\n"
           "| side | isolumen (s) | numpy + Pillow (s) | isolumen / script | PNG (kB) | script's "
           "PNG (kB) | same pixels |\n|---:|---:|---:|---:|---:|---:|---|\n";
    // The window's colours, one 0xRRGGBB number a line: entry 0 (below the range), 1 to 254,
    // 255 (above).
    const QString tablePath = dir.filePath(QStringLiteral("table.txt"));
    {
        QFile table(tablePath);
        if (!table.open(QIODevice::WriteOnly))
            return;
        QTextStream t(&table);
        for (const QRgb c : DisplaySettings().lut)
            t << (c & 0xFFFFFF) << '\n';
    }
    for (const int side : {512, 1024, 2048}) {
        const ImBuilder b = cellsFile(side, 1, 4);
        const QString path = dir.filePath(QStringLiteral("export%1.im").arg(side));
        const QString png = dir.filePath(QStringLiteral("viewer%1.png").arg(side));
        const QString scriptPng = dir.filePath(QStringLiteral("script%1.png").arg(side));
        if (!b.write(path))
            return;
        warmPageCache(path);
        const ProcessRun viewer = medianRun(5, [&] {
            return runProcess(isolumen(), {QStringLiteral("--export"), png, path});
        });
        ProcessRun script;
        if (!py.isEmpty())
            script = medianRun(3, [&] {
                return runProcess(py,
                                  {benchScript(QStringLiteral("picture.py")), path,
                                   QString::number(b.headerSize), QString::number(side),
                                   QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("2"),
                                   QStringLiteral("big"), tablePath, scriptPng});
            });
        const QImage a(png), c(scriptPng);
        out << "| " << side << " | "
            << (viewer.ok ? fixed(viewer.seconds, 3) : QStringLiteral("FAILED")) << " | "
            << (script.ok ? fixed(script.seconds, 3) : QStringLiteral("-")) << " | "
            << (script.ok ? fixed(viewer.seconds / script.seconds) : QStringLiteral("-")) << " | "
            << fixed(QFileInfo(png).size() / 1000.0, 0) << " | "
            << (script.ok ? fixed(QFileInfo(scriptPng).size() / 1000.0, 0) : QStringLiteral("-"))
            << " | "
            << (script.ok ? (a.convertToFormat(QImage::Format_RGB32) ==
                                     c.convertToFormat(QImage::Format_RGB32)
                                 ? QStringLiteral("yes")
                                 : QStringLiteral("NO"))
                          : QStringLiteral("-"))
            << " |\n";
        QFile::remove(path);
    }
    out << "\nTarget: at 2048, isolumen / script at most 0.25.\n";
}

// The sum of every species over all layers of an acquisition of more than 1 GiB, written as a
// count TIFF: against reading the file's bytes once and against the numpy script.
void sumsTable(const QTemporaryDir& dir, int)
{
    heading(QStringLiteral("Sums"));
    constexpr int side = 512, species = 8, layers = 264;
    ImBuilder b;
    b.width = b.height = side;
    b.nSpecies = species;
    b.nPlanes = layers;
    b.sample = sparseCount;
    const QString path = dir.filePath(QStringLiteral("sums.im"));
    if (!writeLarge(b, path)) {
        out << "Cannot write " << path << '\n';
        return;
    }
    const QString py = python();
    warmPageCache(path);
    const QString tif = dir.filePath(QStringLiteral("sums.tif"));
    const QString scriptTif = dir.filePath(QStringLiteral("script.tif"));
    const double read = readOnceSeconds(path);
    const ProcessRun opened = medianRun(3, [&] {
        return runProcess(isolumen(), {QStringLiteral("--info"), path});
    });
    const ProcessRun sums = medianRun(3, [&] {
        return runProcess(isolumen(), {QStringLiteral("--export-counts"), tif, path,
                                       QStringLiteral("--species"), QStringLiteral("all"),
                                       QStringLiteral("--sum")});
    });
    ProcessRun script;
    if (!py.isEmpty())
        script = medianRun(3, [&] {
            return runProcess(py, {benchScript(QStringLiteral("sumcounts.py")), path,
                                   QString::number(b.headerSize), QString::number(side),
                                   QString::number(species), QString::number(layers),
                                   QStringLiteral("2"), QStringLiteral("big"), scriptTif});
        });
    const double planeOfDoubles = double(side) * side * 8 / (1 << 20);
    out << "`isolumen --export-counts OUT.tif FILE.im --species all --sum` of " << species
        << " species over " << layers << " layers of " << side << " x " << side << " ("
        << fixed(b.expectedFileSize() / 1073741824.0) << " GiB), from the page cache, as a whole "
        << "process (median of 3).\n\n"
        << "| measurement | seconds | ratio | target |\n|---|---:|---:|---|\n"
        << "| reading the file's bytes once (1 MiB reads, one thread) | " << fixed(read, 3)
        << " | 1 | |\n"
        << "| isolumen --export-counts | "
        << (sums.ok ? fixed(sums.seconds, 3) : QStringLiteral("FAILED")) << " | "
        << fixed(sums.seconds / read) << " | at most 1.5 |\n";
    if (script.ok)
        out << "| tools/bench/sumcounts.py (numpy, tifffile) | " << fixed(script.seconds, 3)
            << " | " << fixed(script.seconds / read)
            << " | isolumen at most half: " << fixed(sums.seconds / script.seconds) << " |\n";
    out << "\nPeak resident memory: " << fixed(opened.peakMiB, 1) << " MiB for `isolumen --info` "
        << "(opening the file), " << fixed(sums.peakMiB, 1) << " MiB for the sums: it grew by "
        << fixed(sums.peakMiB - opened.peakMiB, 1) << " MiB; a plane of doubles is "
        << fixed(planeOfDoubles, 1) << " MiB. Target: growth at most two planes of doubles ("
        << fixed(2 * planeOfDoubles, 1) << " MiB).";
    if (script.ok)
        out << " The script's peak: " << fixed(script.peakMiB, 1) << " MiB.";
    out << '\n';
    QFile::remove(path);
}

// ---- Drift ----

// Cells on a background of 20 counts with Poisson noise, drifting by a random walk: layer k's
// value at shown (x, y).
struct DriftingCells
{
    struct Cell
    {
        double x, y, sigma, height;
    };
    int side;
    std::vector<Cell> cells;
    std::vector<double> dx, dy;

    DriftingCells(int side, int layers) : side(side), dx(layers), dy(layers)
    {
        std::mt19937 rng(17);
        std::uniform_real_distribution<double> pos(0, side), sigma(1.5, 4), height(40, 120);
        std::normal_distribution<double> step(0, 0.6);
        for (int i = 0; i < side * side / 1500; ++i)
            cells.push_back({pos(rng), pos(rng), sigma(rng), height(rng)});
        for (int k = 1; k < layers; ++k) {
            dx[k] = dx[k - 1] + step(rng);
            dy[k] = dy[k - 1] + step(rng);
        }
    }

    std::vector<float> layer(int k) const
    {
        std::vector<double> v(std::size_t(side) * side, 20.0);
        for (const Cell& c : cells) {
            const int reach = int(std::ceil(4 * c.sigma));
            const int cx = int(c.x + dx[k]), cy = int(c.y + dy[k]);
            for (int y = std::max(0, cy - reach); y < std::min(side, cy + reach); ++y) {
                for (int x = std::max(0, cx - reach); x < std::min(side, cx + reach); ++x) {
                    const double rx = x + 0.5 - c.x - dx[k], ry = y + 0.5 - c.y - dy[k];
                    v[std::size_t(y) * side + x] +=
                        c.height * std::exp(-(rx * rx + ry * ry) / (2 * c.sigma * c.sigma));
                }
            }
        }
        std::mt19937 rng(k);
        std::vector<float> counts(v.size());
        for (std::size_t i = 0; i < v.size(); ++i)
            counts[i] = float(std::poisson_distribution<int>(v[i])(rng));
        return counts;
    }

    std::vector<std::vector<float>> layers() const
    {
        std::vector<std::vector<float>> all(dx.size());
        parallelFor(qsizetype(all.size()), 1, [&](qsizetype b, qsizetype e) {
            for (qsizetype k = b; k < e; ++k)
                all[std::size_t(k)] = layer(int(k));
        });
        return all;
    }

    // Largest distance of shifts from the drift the layers were made with.
    double worstError(const std::vector<Shift>& shifts) const
    {
        double worst = 0;
        for (std::size_t k = 0; k < shifts.size() && k < dx.size(); ++k)
            worst =
                std::max({worst, std::abs(shifts[k].dx - dx[k]), std::abs(shifts[k].dy - dy[k])});
        return worst;
    }
};

// "layer,dx,dy" lines as --shifts and phasecorr.py print them.
std::vector<Shift> readShifts(const QString& path)
{
    std::vector<Shift> shifts;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return shifts;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> fields = line.trimmed().split(',');
        bool number = false;
        fields.value(0).toInt(&number);
        if (fields.size() >= 3 && number)
            shifts.push_back({fields[1].toDouble(), fields[2].toDouble()});
    }
    return shifts;
}

void shiftsTable(const QTemporaryDir& dir, int)
{
    heading(QStringLiteral("Shifts"));
    constexpr int side = 512, layers = 100;
    const DriftingCells cells(side, layers);
    const auto frames = cells.layers();
    ImBuilder b;
    b.width = b.height = side;
    b.nPlanes = layers;
    b.labels = {"12C"};
    // The first sample of a file row is shown at the right-hand end.
    b.sample = [&](int, int plane, int row, int k) {
        return quint32(std::min(
            65535.0f, frames[std::size_t(plane - 1)][std::size_t(row) * side + (side - 1 - k)]));
    };
    const QString path = dir.filePath(QStringLiteral("drift.im"));
    if (!b.write(path))
        return;
    warmPageCache(path);
    const QString ours = dir.filePath(QStringLiteral("shifts.csv"));
    const QString theirs = dir.filePath(QStringLiteral("phasecorr.csv"));
    const ProcessRun viewer = medianRun(3, [&] {
        return runProcess(isolumen(), {QStringLiteral("--shifts"), path}, ours);
    });
    const QString py = python();
    ProcessRun script;
    if (!py.isEmpty())
        script = medianRun(3, [&] {
            return runProcess(py,
                              {benchScript(QStringLiteral("phasecorr.py")), path,
                               QString::number(b.headerSize), QString::number(side),
                               QStringLiteral("1"), QStringLiteral("1"), QString::number(layers),
                               QStringLiteral("2"), QStringLiteral("big")},
                              theirs);
        });
    out << "`isolumen --shifts FILE.im` of " << layers << " layers of " << side << " x " << side
        << " (cells drifting by a random walk, Poisson counts), whole process, median of 3: "
        << (viewer.ok ? fixed(viewer.seconds, 3) + QStringLiteral(" s") : QStringLiteral("FAILED"))
        << ", worst error " << fixed(cells.worstError(readShifts(ours)), 3) << " px.";
    if (script.ok)
        out << " tools/bench/phasecorr.py (numpy): " << fixed(script.seconds, 3)
            << " s, worst error " << fixed(cells.worstError(readShifts(theirs)), 3)
            << " px. isolumen / script: " << fixed(viewer.seconds / script.seconds)
            << " (target: at most 0.5).";
    out << "\n\nThe estimate alone (estimateDrift in this process, layers in memory, "
        << workerCount() << " threads), medians of 5 runs over 20 layers:\n\n"
        << "| side | wall ms per layer | cpu ms per layer | worst error (px) |\n"
           "|---:|---:|---:|---:|\n";
    for (const int s : {256, 512, 1024}) {
        constexpr int count = 20;
        const DriftingCells stack(s, count);
        const auto made = stack.layers();
        const LayerSource source = [&](int k, std::vector<float>& into) {
            into = made[std::size_t(k)];
            return true;
        };
        std::vector<Shift> shifts;
        const Timing t = medianMs(5, [&] { shifts = estimateDrift(s, count, source, {})->shifts; });
        out << "| " << s << " | " << fixed(t.wall / count) << " | " << fixed(t.cpu / count) << " | "
            << fixed(stack.worstError(shifts), 3) << " |\n";
    }
    QFile::remove(path);
}

// Random walks each drift case is also measured on, for a figure that one walk's luck does not
// decide.
constexpr int kDriftWalks = 12;

struct DriftFigures
{
    double rms = 0;       // against the truth, both relative to layer 1
    double alignment = 0; // the same less the mean error: the layers against each other
    double worst = 0;     // of a layer, relative to layer 1
    DriftEstimate estimate;
};

std::optional<DriftFigures> measureDrift(const DriftCase& drift)
{
    const DriftStack stack = makeDriftStack(drift);
    const LayerSource source = [&](int k, std::vector<float>& into) {
        into = stack.layers[std::size_t(k)];
        return true;
    };
    Result<DriftEstimate> e = estimateDrift(stack.side, drift.layers, source, {});
    if (!e)
        return std::nullopt;
    DriftFigures f{rmsError(e->shifts, stack.truth), alignmentError(e->shifts, stack.truth),
                   worstError(e->shifts, stack.truth), std::move(*e)};
    if (drift.step == 0) // no drift: the largest shift
        for (const Shift& sh : f.estimate.shifts)
            f.rms = std::max(f.rms, std::hypot(sh.dx, sh.dy));
    return f;
}

// The RMS of the figure over kDriftWalks walks of the case (seeds 1 to kDriftWalks).
double meanOverWalks(DriftCase drift)
{
    double squares = 0;
    for (int seed = 1; seed <= kDriftWalks; ++seed) {
        drift.seed = quint32(seed);
        const std::optional<DriftFigures> f = measureDrift(drift);
        squares += f ? f->rms * f->rms : qInf();
    }
    return std::sqrt(squares / kDriftWalks);
}

struct DriftRow
{
    const char* name;
    DriftCase drift;
    double target; // RMS, px; for the still frame the largest shift; NaN: none
};

std::vector<DriftRow> driftRows()
{
    const auto make = [](int side, int layers, double counts) {
        DriftCase c;
        c.side = side;
        c.layers = layers;
        c.counts = counts;
        c.seed = 3;
        useRecordedTexture(
            c, qEnvironmentVariable("ISOLUMEN_REALDATA", QStringLiteral("/work/shared/realdata")));
        return c;
    };
    DriftCase empty = make(256, 40, 5);
    empty.empty = {17};
    DriftCase faint = make(256, 40, 500);
    faint.faintLayers = {23};
    faint.faint = 0.02;
    DriftCase sparseFaint = make(256, 40, 5);
    sparseFaint.faintLayers = {23};
    sparseFaint.faint = 0.02;
    DriftCase grid = make(256, 40, 500);
    grid.grid = true;
    grid.trend = {0.3, -0.25};
    DriftCase still = make(64, 40, 50000);
    still.step = 0;
    still.trend = {};
    DriftCase hot = make(256, 40, 500);
    hot.hotSpot = true;
    const double none = qQNaN();
    return {
        {"256, 40 layers, 5 counts/px", make(256, 40, 5), 0.5},
        {"256, 40 layers, 2 counts/px", make(256, 40, 2), 1.0},
        {"256, 40 layers, 500 counts/px", make(256, 40, 500), 0.05},
        {"5 counts/px, layer 18 empty", empty, none},
        {"500 counts/px, layer 24 at 2 %", faint, none},
        {"5 counts/px, layer 24 at 2 %", sparseFaint, none},
        {"16 px grid, 500 counts/px, 12 px drift", grid, 0.5},
        {"64, no drift, 50000 counts/px (largest shift)", still, 0.25},
        {"500 counts/px, a fixed hot spot", hot, none},
    };
}

// The drift cases of known truth (tests/support/driftstack), each estimated as --shifts would by
// default: errors against the truth, the bin chosen, and the layers flagged; the cases with a
// target also over kDriftWalks walks.
void driftTargetsTable(const QTemporaryDir&, int)
{
    heading(QStringLiteral("Drift targets"));
    const std::vector<DriftRow> rows = driftRows();
    out << (rows.front().drift.texture.empty() ? "A synthesized texture"
                                               : "The 12C plane of 040702, lightly smoothed,")
        << " moved by Fourier shifts along a random walk of 0.15 px per layer plus a "
           "trend, Poisson counts; estimateDrift with its defaults, layers in memory. RMS: "
           "against the truth, both relative to layer 1. Between layers: the same less the mean "
           "error. "
        << kDriftWalks << " walks: the RMS over that many random walks.\n\n"
        << "| case | RMS (px) | between layers | worst layer | " << kDriftWalks
        << " walks | target | bin | flagged layers (lowest confidence) |\n"
           "|---|---:|---:|---:|---:|---:|---:|---|\n";
    for (const DriftRow& row : rows) {
        const std::optional<DriftFigures> f = measureDrift(row.drift);
        if (!f) {
            out << "| " << row.name << " | FAILED | | | | | | |\n";
            continue;
        }
        QString flagged;
        for (std::size_t l = 0; l < f->estimate.origins.size(); ++l)
            if (f->estimate.origins[l] != ShiftOrigin::Measured)
                flagged += QStringLiteral("%1 ").arg(l + 1);
        const std::vector<double>& confidences = f->estimate.confidences;
        const double lowest = *std::min_element(confidences.begin(), confidences.end());
        const bool targeted = !std::isnan(row.target);
        out << "| " << row.name << " | " << fixed(f->rms, 3) << " | " << fixed(f->alignment, 3)
            << " | " << fixed(f->worst, 2) << " | "
            << (targeted ? fixed(meanOverWalks(row.drift), 3) : QStringLiteral("—")) << " | "
            << (targeted ? QString::number(row.target) : QStringLiteral("—")) << " | "
            << f->estimate.bin << " | " << flagged << "(" << fixed(lowest, 2) << ") |\n";
    }
}

// Planning (from no wisdom) and one run of the transforms the estimate makes twice per layer: a
// forward one of the whole side and an inverse one of half the side. Processor times, which
// other programs on a shared machine disturb less than the clock.
void planningTable(const QTemporaryDir&, int)
{
    heading(QStringLiteral("FFTW planning"));
    out << "Single precision, one thread, processor time (ms).\n\n"
           "| side | flag | plan | forward + inverse (median of 5) | layers to pay on one core "
           "|\n|---:|---|---:|---:|---:|\n";
    for (const int side : {256, 512, 1024, 2048}) {
        const int half = side / 2;
        const qsizetype n = qsizetype(side) * side;
        float* real = fftwf_alloc_real(std::size_t(n));
        fftwf_complex* spectrum = fftwf_alloc_complex(std::size_t(side) * (half + 1));
        fftwf_complex* cropped = fftwf_alloc_complex(std::size_t(half) * (half / 2 + 1));
        double estimatePlan = 0, estimateRun = 0;
        for (const auto& [name, flag] :
             {std::pair{"estimate", FFTW_ESTIMATE}, std::pair{"measure", FFTW_MEASURE}}) {
            fftwf_forget_wisdom();
            fftwf_plan forward = nullptr, inverse = nullptr;
            const double plan =
                medianMs(1, [&] {
                    forward = fftwf_plan_dft_r2c_2d(side, side, real, spectrum, flag);
                    inverse = fftwf_plan_dft_c2r_2d(half, half, cropped, real, flag);
                }).cpu;
            std::fill(real, real + n, 1.0f);
            const double run = medianMs(5, [&] {
                                   fftwf_execute(forward);
                                   std::fill_n(&cropped[0][0], 2 * half * (half / 2 + 1), 1.0f);
                                   fftwf_execute(inverse);
                               }).cpu;
            fftwf_destroy_plan(forward);
            fftwf_destroy_plan(inverse);
            out << "| " << side << " | " << name << " | " << fixed(plan, 1) << " | " << fixed(run)
                << " | ";
            if (flag == FFTW_ESTIMATE) {
                estimatePlan = plan;
                estimateRun = run;
            } else {
                // Layers after which the slower planning has paid for itself: each layer runs
                // the pair twice.
                const double saved = 2 * (estimateRun - run);
                out << (saved > 0 ? fixed((plan - estimatePlan) / saved, 0)
                                  : QStringLiteral("never"));
            }
            out << " |\n";
        }
        fftwf_free(real);
        fftwf_free(spectrum);
        fftwf_free(cropped);
    }
}

// ---- Scrubbing on a real X server ----

// The scrubbing measurement needs an X server before the application object exists, so that
// this process, too, can read the screen.
std::unique_ptr<XServer>& scrubServer()
{
    static std::unique_ptr<XServer> server;
    return server;
}

constexpr int kScrubSide = 2048;
constexpr int kScrubKeys = 30;
constexpr int kScrubLayers = kScrubKeys + 1;
const QSize kScrubScreen(3840, 2160);

// Runs a short-lived tool on the X server; what it wrote, or nothing when it failed.
std::optional<QByteArray> xtool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return p.readAllStandardOutput();
}

QByteArray xdotool(const QStringList& args)
{
    return xtool(QStringLiteral("xdotool"), args).value_or(QByteArray());
}

struct ScreenWindow
{
    quint64 id = 0;
    QString title;
    QRect frame;
};

// The viewer's visible windows whose titles match pattern.
QList<ScreenWindow> windowsNamed(const QString& pattern)
{
    QList<ScreenWindow> found;
    for (const QByteArray& id :
         xdotool({"search", "--onlyvisible", "--name", pattern}).split('\n')) {
        if (id.trimmed().isEmpty())
            continue;
        ScreenWindow w;
        w.id = id.trimmed().toULongLong();
        w.title = QString::fromUtf8(xdotool({"getwindowname", QString::number(w.id)})).trimmed();
        static const QRegularExpression shell(
            "X=(-?\\d+)\\nY=(-?\\d+)\\nWIDTH=(\\d+)\\nHEIGHT=(\\d+)");
        const QRegularExpressionMatch m = shell.match(
            QString::fromLatin1(xdotool({"getwindowgeometry", "--shell", QString::number(w.id)})));
        w.frame = QRect(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(),
                        m.captured(4).toInt());
        found << w;
    }
    return found;
}

// The row of the picture at y of layer `layer` of species s (both from 1), as an image window
// with automatic limits draws it.
std::vector<QRgb> expectedRow(const ImFile& file, int species, int layer, int y)
{
    std::vector<QRgb> row;
    const Result<BuiltPlane> built =
        buildSpeciesPlane(file, species - 1, layer, layer, nullptr, nullptr, nullptr);
    if (!built)
        return row;
    DisplaySettings s;
    settleDisplayRange(s, *built->plane, {}, {});
    const std::optional<DisplayPictures> pictures =
        displayPictures(*built->plane, s, file.header().micronSize);
    if (!pictures)
        return row;
    const QRgb* line = reinterpret_cast<const QRgb*>(pictures->image.constScanLine(y));
    row.assign(line, line + pictures->image.width());
    return row;
}

struct ScrubResult
{
    bool ok = false;
    double latencyMs = 0; // from the last key until every window shows the last layer
    double keysMs = 0;    // sending the keys
    int titlesSeen = 0;   // distinct layers the first window's title showed while keys came
    QString problem;
};

// Where on the screen each visible window shows row kProbeRow of its picture, and the colours
// it must show there for the last layer; checked for every window whose probe is on the screen.
struct Probe
{
    QRect onScreen; // one row of the picture, clipped to the screen and to later windows
    std::vector<QRgb> want;
};
constexpr int kProbeRow = 40;

ScrubResult scrub(const QString& path, int windows)
{
    ScrubResult r;
    QTemporaryDir logs;
    QProcess viewer;
    viewer.setStandardOutputFile(QProcess::nullDevice());
    viewer.setStandardErrorFile(QProcess::nullDevice());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("XDG_RUNTIME_DIR", logs.path());
    viewer.setProcessEnvironment(env);
    viewer.start(isolumen(), {path});
    viewer.waitForStarted();
    auto fail = [&](const QString& why) {
        r.problem = why;
        viewer.terminate();
        viewer.waitForFinished(5000);
        return r;
    };
    auto waitFor = [&](const std::function<bool()>& done, int ms) {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms || viewer.waitForFinished(5) ||
                viewer.state() != QProcess::Running)
                return false;
        }
        return true;
    };
    QList<ScreenWindow> main;
    if (!waitFor(
            [&] { return !(main = windowsNamed("^Isolumen  " ISOLUMEN_VERSION "$")).isEmpty(); },
            30000))
        return fail(QStringLiteral("the main window did not show"));
    const QRect frame = main.first().frame;
    const int menuBar = frame.height() - 186;
    // The species buttons, two rows of four at (20 + 72 i, 46 or 80), 60 x 22, show once the
    // file is read: the first one's area is plain background until then.
    const QRect firstButton(frame.topLeft() + QPoint(20, 46 + menuBar), QSize(60, 22));
    if (!waitFor(
            [&] {
                const QImage area = QGuiApplication::primaryScreen()
                                        ->grabWindow(0, firstButton.x(), firstButton.y(),
                                                     firstButton.width(), firstButton.height())
                                        .toImage()
                                        .convertToFormat(QImage::Format_RGB32);
                for (int y = 0; y < area.height(); ++y) {
                    for (int x = 0; x < area.width(); ++x) {
                        if (area.pixel(x, y) != area.pixel(0, 0))
                            return true;
                    }
                }
                return false;
            },
            60000))
        return fail(QStringLiteral("the species buttons did not show"));
    for (int i = 0; i < windows; ++i) {
        const QPoint at(20 + 72 * (i % 4) + 30, (i < 4 ? 46 : 80) + 11 + menuBar);
        xdotool({"mousemove", "--window", QString::number(main.first().id), QString::number(at.x()),
                 QString::number(at.y()), "click", "1"});
        if (!waitFor([&] { return windowsNamed(QStringLiteral("\\(Layer 1\\)$")).size() == i + 1; },
                     60000))
            return fail(QStringLiteral("image window %1 did not open").arg(i + 1));
    }
    QList<ScreenWindow> images = windowsNamed(QStringLiteral("\\(Layer 1\\)$"));
    // Keys go to the window under the pointer: the main window's empty lower left.
    xdotool({"mousemove", "--window", QString::number(main.first().id), "6",
             QString::number(frame.height() - 6)});

    ImFile file;
    if (file.open(path) != ImFile::Status::Accepted)
        return fail(QStringLiteral("cannot read the file"));
    // Later windows lie above earlier ones.
    std::vector<Probe> probes;
    for (int i = 0; i < images.size(); ++i) {
        const ScreenWindow& w = images[i];
        const int species = w.title.startsWith(QLatin1String("Sp")) ? w.title.mid(2, 1).toInt() : 0;
        const int top = w.frame.height() - (kScrubSide + 59 + ImageWindow::kReadoutHeight);
        QRect row(w.frame.topLeft() + QPoint(20, top + 27 + kProbeRow), QSize(kScrubSide + 2, 1));
        row &= QRect(QPoint(0, 0), kScrubScreen);
        for (int j = i + 1; j < images.size(); ++j) {
            if (images[j].frame.intersects(row))
                row.setRight(std::min(row.right(), images[j].frame.left() - 1));
        }
        if (row.isEmpty() || species < 1)
            continue;
        const std::vector<QRgb> line = expectedRow(file, species, kScrubLayers, kProbeRow);
        const int from = row.left() - (w.frame.left() + 20);
        probes.push_back(
            {row, std::vector<QRgb>(line.begin() + from, line.begin() + from + row.width())});
    }
    if (probes.empty())
        return fail(QStringLiteral("no picture is on the screen"));
    const QString last = QStringLiteral("(Layer %1)").arg(kScrubLayers);
    auto allShowLast = [&] {
        for (const Probe& p : probes) {
            const QImage got =
                QGuiApplication::primaryScreen()
                    ->grabWindow(0, p.onScreen.x(), p.onScreen.y(), p.onScreen.width(), 1)
                    .toImage()
                    .convertToFormat(QImage::Format_RGB32);
            const QRgb* line = reinterpret_cast<const QRgb*>(got.constScanLine(0));
            for (int x = 0; x < p.onScreen.width(); ++x) {
                if ((line[x] | 0xFF000000u) != (p.want[std::size_t(x)] | 0xFF000000u))
                    return false;
            }
        }
        return windowsNamed(QRegularExpression::escape(last) + '$').size() == images.size();
    };

    // Page Down held: 29 keys 33 ms apart, then the last one; the titles of the first window
    // are read meanwhile.
    QStringList keys{"key", "--delay", "33"};
    for (int k = 0; k < kScrubKeys - 1; ++k)
        keys << "Next";
    QElapsedTimer t;
    t.start();
    QProcess typing;
    typing.start(QStringLiteral("xdotool"), keys);
    QSet<QString> titles;
    while (!typing.waitForFinished(1)) {
        titles.insert(
            QString::fromUtf8(xdotool({"getwindowname", QString::number(images.first().id)})));
    }
    xdotool({"key", "--delay", "0", "Next"});
    const qint64 lastKey = t.nsecsElapsed();
    r.keysMs = lastKey / 1e6;
    if (!waitFor(allShowLast, 30000))
        return fail(QStringLiteral("the windows did not show layer %1").arg(kScrubLayers));
    r.latencyMs = (t.nsecsElapsed() - lastKey) / 1e6;
    r.titlesSeen = int(titles.size());
    r.ok = true;
    viewer.terminate();
    viewer.waitForFinished(5000);
    return r;
}

void scrubTable(const QTemporaryDir& dir, int)
{
    heading(QStringLiteral("Scrubbing on an X server"));
    if (!scrubServer() || scrubServer()->display().isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        out << "Skipped: this needs Xvfb and xdotool (Debian packages xvfb and xdotool).\n";
        return;
    }
    ImBuilder b = cellsFile(kScrubSide, 8, kScrubLayers);
    b.labels = {"Sp1", "Sp2", "Sp3", "Sp4", "Sp5", "Sp6", "Sp7", "Sp8"};
    const QString path = dir.filePath(QStringLiteral("scrub.im"));
    if (!writeLarge(b, path)) {
        out << "Cannot write " << path << '\n';
        return;
    }
    warmPageCache(path);
    out << "The viewer on Xvfb (" << kScrubScreen.width() << " x " << kScrubScreen.height()
        << ", no window manager), image windows of " << kScrubSide << " x " << kScrubSide
        << " opened with the species buttons, " << kScrubKeys
        << " Page Down keys 33 ms apart sent to the main window (xdotool): the time from the "
           "last key until every window's title names layer "
        << kScrubLayers << " and the screen shows that layer's picture.\n\n"
        << "| windows | keys took (ms) | last key to last layer shown (ms) | layers the first "
           "title showed | target (ms) |\n|---:|---:|---:|---:|---:|\n";
    for (const int windows : {1, 4, 8}) {
        const ScrubResult r = scrub(path, windows);
        out << "| " << windows << " | " << (r.ok ? fixed(r.keysMs, 0) : QStringLiteral("-"))
            << " | " << (r.ok ? fixed(r.latencyMs, 0) : QStringLiteral("FAILED: ") + r.problem)
            << " | " << r.titlesSeen << " | "
            << (windows == 1   ? QStringLiteral("300")
                : windows == 8 ? QStringLiteral("1000")
                               : QStringLiteral("-"))
            << " |\n";
        out.flush();
    }
    QFile::remove(path);
}

// ---- Expansion ----

// Runs a command-line tool in folder with its standard output written to outFile; seconds it
// took, or -1 when it is missing or failed.
double runTool(const QString& folder, const QString& program, const QStringList& args,
               const QString& outFile = QString())
{
    QProcess p;
    p.setWorkingDirectory(folder);
    if (!outFile.isEmpty())
        p.setStandardOutputFile(outFile);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    const bool ok =
        p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return ok ? t.nsecsElapsed() / 1e9 : -1;
}

// Expanding a compressed acquisition into a cache folder, against the command-line tool
// decompressing the same archive into a file (the same libraries do the work) and against
// copying the plain file. Peak memory shows that the expansion streams.
// 100 acquisitions of 256 x 256, 4 species and 20 layers (copies of one file: the work is the
// same), 20 rectangles each, summed over all layers with one ratio, against numpy.
void studyTable(const QTemporaryDir& dir, int)
{
    heading(QStringLiteral("Study"));
    constexpr int files = 100, side = 256, species = 4, layers = 20, regions = 20;
    ImBuilder b = cellsFile(side, species, layers);
    const QString first = dir.filePath(QStringLiteral("a000.im"));
    if (!writeLarge(b, first)) {
        out << "Cannot write " << first << '\n';
        return;
    }
    QStringList inputs{first};
    for (int i = 1; i < files; ++i) {
        inputs << dir.filePath(QStringLiteral("a%1.im").arg(i, 3, 10, QLatin1Char('0')));
        QFile::copy(first, inputs.back());
    }
    QJsonArray rects;
    for (int i = 0; i < regions; ++i)
        rects.append(
            QJsonObject{{"shape", "rect"},
                        {"coords", QJsonArray{10 + 50 * (i % 5), 10 + 60 * (i / 5), 30, 30}}});
    const QString regionsFile = dir.filePath(QStringLiteral("regions.json"));
    QFile json(regionsFile);
    if (!json.open(QIODevice::WriteOnly) ||
        json.write(QJsonDocument(QJsonObject{{"regions", rects}}).toJson()) < 0)
        return;
    json.close();
    for (const QString& input : inputs)
        warmPageCache(input);
    const QStringList measured{QStringLiteral("--rois"), regionsFile, QStringLiteral("--ratio"),
                               QStringLiteral("2/1"), QStringLiteral("--sum")};
    const ProcessRun one = medianRun(3, [&] {
        return runProcess(isolumen(), QStringList{QStringLiteral("--stats"), first} + measured);
    });
    const ProcessRun study = medianRun(3, [&] {
        return runProcess(isolumen(), QStringList{QStringLiteral("--study"),
                                                  dir.filePath(QStringLiteral("study.csv"))} +
                                          inputs + measured);
    });
    const QString py = python();
    ProcessRun script;
    if (!py.isEmpty())
        script = medianRun(3, [&] {
            return runProcess(py,
                              QStringList{benchScript(QStringLiteral("study.py")),
                                          dir.filePath(QStringLiteral("script.csv")), regionsFile,
                                          QString::number(b.headerSize), QString::number(side),
                                          QString::number(species), QString::number(layers),
                                          QString::number(b.nmSize / 1000.0)} +
                                  inputs);
        });
    out << "`isolumen --study OUT.csv` over " << files << " acquisitions of " << side << " x "
        << side << ", " << species << " species and " << layers << " layers, " << regions
        << " rectangles each, `--ratio 2/1 --sum`, from the page cache, whole process, median "
           "of 3 (all cores).\n\n| measurement | seconds | peak MiB |\n|---|---:|---:|\n"
        << "| isolumen --stats, one acquisition | " << fixed(one.seconds, 3) << " | "
        << fixed(one.peakMiB, 1) << " |\n| isolumen --study | "
        << (study.ok ? fixed(study.seconds, 3) : QStringLiteral("FAILED")) << " | "
        << fixed(study.peakMiB, 1) << " |\n";
    if (script.ok)
        out << "| tools/bench/study.py (numpy) | " << fixed(script.seconds, 3) << " | "
            << fixed(script.peakMiB, 1)
            << " |\n\nisolumen / script: " << fixed(study.seconds / script.seconds)
            << " (target: at most 0.5).";
    out << " Peak memory of the study over one acquisition's: "
        << fixed(study.peakMiB / one.peakMiB) << " (target: below 2).\n";
    for (const QString& input : inputs)
        QFile::remove(input);
}

void expandTable(const QTemporaryDir& dir, int)
{
    heading(QStringLiteral("Expansion"));
    ImBuilder b = cellsFile(2048, 1, 16);
    b.sample = sparseCount;
    const QString plain = dir.filePath(QStringLiteral("big.im"));
    if (!writeLarge(b, plain))
        return;
    const QString cache = dir.filePath(QStringLiteral("cache"));
    QDir().mkpath(cache);
    QElapsedTimer t;
    t.start();
    QFile::copy(plain, dir.filePath(QStringLiteral("copy.im")));
    const double copySeconds = t.nsecsElapsed() / 1e9;
    QFile::remove(dir.filePath(QStringLiteral("copy.im")));
    out << "Expanding a " << fixed(b.expectedFileSize() / 1e6, 0)
        << " MB acquisition (copying the plain file: " << fixed(copySeconds)
        << " s), medians of three\n\n"
        << "| form | compressed (MB) | expand (s) | tool decompressing (s) | expand / tool | "
           "peak memory growth (MiB) |\n|---|---:|---:|---:|---:|---:|\n";
    struct Form
    {
        QString archive, program;
        QStringList compress, decompress;
    };
    const QList<Form> forms{
        {"big.im.gz", "gzip", {"-k", "big.im"}, {"-dc", "big.im.gz"}},
        {"big.im.bz2", "bzip2", {"-k", "big.im"}, {"-dc", "big.im.bz2"}},
        {"big.im.xz", "xz", {"-k", "-T2", "big.im"}, {"-dc", "big.im.xz"}},
        {"big.im.zst", "zstd", {"-q", "big.im"}, {"-dc", "big.im.zst"}},
        {"big.zip", "zip", {"-q", "big.zip", "big.im"}, {"-p", "big.zip"}},
    };
    for (const Form& f : forms) {
        const QString unpacker =
            f.program == QLatin1String("zip") ? QStringLiteral("unzip") : f.program;
        if (runTool(dir.path(), f.program, f.compress) < 0) {
            out << "| " << f.archive << " | " << f.program << " missing or failed | | | | |\n";
            continue;
        }
        // The tool's runs and the expansion's alternate.
        std::vector<double> toolRuns, expandRuns;
        bool ok = true;
        double peakGrowth = 0;
        for (int run = 0; run < 3; ++run) {
            toolRuns.push_back(runTool(dir.path(), unpacker, f.decompress,
                                       dir.filePath(QStringLiteral("out.im"))));
            QFile::remove(dir.filePath(QStringLiteral("out.im")));
            resetPeakMemory();
            const double peakBefore = statusMiB("VmHWM:");
            t.start();
            const Result<std::unique_ptr<ExpandedFile>> r =
                ExpandedFile::expand(dir.filePath(f.archive), cache);
            expandRuns.push_back(t.nsecsElapsed() / 1e9);
            peakGrowth = std::max(peakGrowth, statusMiB("VmHWM:") - peakBefore);
            ok = ok && r && (*r)->size() == b.expectedFileSize();
        }
        const double toolSeconds = median(toolRuns);
        const double expandSeconds = median(expandRuns);
        out << "| " << f.archive << " | "
            << fixed(QFileInfo(dir.filePath(f.archive)).size() / 1e6, 1) << " | "
            << (ok ? fixed(expandSeconds) : QStringLiteral("FAILED")) << " | " << fixed(toolSeconds)
            << " | " << fixed(expandSeconds / toolSeconds) << " | " << fixed(peakGrowth, 1)
            << " |\n";
        QFile::remove(dir.filePath(f.archive));
    }
}

// ---- Regions ----

// Cells on a jittered grid of 32 pixels, radius 5 to 7, every fifth with a neighbour touching
// it, over a faint background; counts with a little noise.
ImBuilder gridCellsFile(int side, int species, int layers)
{
    ImBuilder b;
    b.width = b.height = qint16(side);
    b.nSpecies = species;
    b.nPlanes = qint16(layers);
    b.sample = [](int s, int plane, int r, int k) {
        constexpr int period = 32;
        const int gy = r / period, gx = k / period;
        const quint32 h = quint32(gy * 7919 + gx * 104729) * 2654435761u;
        const int radius = 5 + int(h % 3);
        auto inDisc = [&](int cx, int cy) {
            return (r - cy) * (r - cy) + (k - cx) * (k - cx) < radius * radius;
        };
        const int cx = gx * period + 9 + int(h >> 8) % 3, cy = gy * period + 12 + int(h >> 12) % 5;
        const bool inside = inDisc(cx, cy) || (h % 5 == 0 && inDisc(cx + 2 * radius - 2, cy));
        const quint32 noise = quint32(r * 7919 + k * 104729 + plane * 31 + s * 13) % 23;
        return inside ? 200 + noise * 4 + quint32(10 * s) : noise / 4;
    };
    return b;
}

void findRegionsTable(const QTemporaryDir& dir, int)
{
    heading(QStringLiteral("Finding regions"));
    constexpr int side = 2048;
    const ImBuilder b = gridCellsFile(side, 1, 1);
    const QString path = dir.filePath(QStringLiteral("cells.im"));
    const QString ours = dir.filePath(QStringLiteral("ours.tif"));
    const QString theirs = dir.filePath(QStringLiteral("theirs.tif"));
    if (!b.write(path))
        return;
    warmPageCache(path);
    const QStringList options{QStringLiteral("--split"), QStringLiteral("5"),
                              QStringLiteral("--min-area"), QStringLiteral("20")};
    const ProcessRun viewer = medianRun(3, [&] {
        return runProcess(isolumen(),
                          QStringList{QStringLiteral("--export-mask"), ours,
                                      QStringLiteral("--find-regions"), QStringLiteral("1"), path} +
                              options);
    });
    auto cells = [&](const QString& mask) {
        const auto regions = isolumen::readRegionMask(mask, side);
        return regions ? QString::number(regions->size()) : QStringLiteral("?");
    };
    out << "Cells in a 2048 x 2048 layer (4,096 on a grid of 32 pixels, one in five with a "
           "neighbour touching it): Gaussian sigma 1, Otsu, watershed with seeds 5 pixels apart, "
           "at least 20 pixels. Whole processes, median of 3, writing a 16-bit label TIFF.\n\n"
        << "`isolumen --export-mask OUT.tif --find-regions 1 --split 5 --min-area 20`: "
        << (viewer.ok ? fixed(viewer.seconds, 3) + QStringLiteral(" s") : QStringLiteral("FAILED"))
        << ", " << cells(ours) << " cells.";
    const QString py = python();
    const bool skimage =
        !py.isEmpty() &&
        runProcess(py, {QStringLiteral("-c"), QStringLiteral("import skimage")}).ok;
    if (!skimage) {
        out << " (tools/bench/findcells.py is skipped: it needs scikit-image, the Debian package "
               "python3-skimage.)\n";
        return;
    }
    const ProcessRun script = medianRun(3, [&] {
        return runProcess(py, {benchScript(QStringLiteral("findcells.py")), path,
                               QString::number(b.headerSize), QString::number(side),
                               QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("2"),
                               QStringLiteral("big"), QStringLiteral("5"), QStringLiteral("20"),
                               theirs});
    });
    out << " tools/bench/findcells.py (scikit-image): "
        << (script.ok ? fixed(script.seconds, 3) + QStringLiteral(" s") : QStringLiteral("FAILED"))
        << ", " << cells(theirs)
        << " cells. isolumen / script: " << fixed(viewer.seconds / script.seconds) << ".\n";
}

// 1,000 ellipses of 10 x 8 pixels on a grid over a frame of side pixels.
QList<Region> thousandRegions(int side)
{
    QList<Region> regions;
    const int perRow = 40;
    const double step = double(side) / perRow;
    for (int i = 0; i < 1000; ++i) {
        Region r;
        r.shape = Region::Shape::Ellipse;
        r.bounds = QRectF((i % perRow) * step + 1, (i / perRow) * step + 1, 10, 8);
        regions << r;
    }
    return regions;
}

void regionsTableRefresh(const QTemporaryDir& dir, int)
{
    heading(QStringLiteral("Regions table"));
    constexpr int side = 512, runs = 9;
    const QString path = dir.filePath(QStringLiteral("six.im"));
    if (!gridCellsFile(side, 6, 2).write(path))
        return;
    warmPageCache(path);
    Acquisition acquisition;
    if (acquisition.open(path) != ImFile::Status::Accepted)
        return;
    acquisition.setRegions(thousandRegions(side));
    auto* window = new RegionsWindow(acquisition, [] { return QList<PlaneSource>(); });
    window->show();
    settle();
    int layer = 1;
    const Timing t = medianMs(runs, [&] {
        layer = 3 - layer;
        acquisition.setLayer(layer);
        window->refresh();
        QCoreApplication::sendPostedEvents(); // its paint
    });
    out << "The Regions window with 1,000 regions in 6 species (6,000 rows) of " << side << " x "
        << side << " frames: a layer change until the table is refreshed and painted, median of "
        << runs << ": " << fixed(t.wall, 1) << " ms (cpu " << fixed(t.cpu, 1)
        << " ms). Target: at most 200 ms.\n";
    window->close();
    settle();
}

void outlinesTable(const QTemporaryDir& dir, int switches)
{
    heading(QStringLiteral("Region outlines"));
    constexpr int side = 1024;
    const QString path = dir.filePath(QStringLiteral("outlines.im"));
    if (!gridCellsFile(side, 1, kSwitchLayers).write(path))
        return;
    warmPageCache(path);
    Viewer viewer;
    if (viewer.open(path, 1).size() != 1)
        return;
    QComboBox* layers = viewer.main()->layerPopUp();
    int next = 0;
    auto switchMs = [&] {
        return medianMs(switches + 1, [&] {
            next = (next + 1) % kSwitchLayers;
            const std::vector<int> before = viewer.paints();
            layers->setCurrentIndex(next);
            viewer.untilPainted(before);
        });
    };
    const Timing none = switchMs();
    QList<Region> regions = thousandRegions(side);
    for (qsizetype i = 0; i < regions.size(); i += 3) // a third in each of two classes
        regions[i].regionClass = i % 2 ? QStringLiteral("a") : QStringLiteral("b");
    viewer.acquisition().setRegions(regions);
    settle();
    const Timing outlined = switchMs();
    out << "A layer switch of a " << side << " x " << side
        << " image window (as in \"Layer switch\"), median of " << switches + 1
        << ": without regions " << fixed(none.wall) << " ms (cpu " << fixed(none.cpu)
        << "), with 1,000 ellipses outlined and numbered, a third of them in two classes, "
        << fixed(outlined.wall) << " ms (cpu " << fixed(outlined.cpu)
        << "): " << fixed(100 * (outlined.wall / none.wall - 1), 1)
        << " % slower in wall-clock time, " << fixed(100 * (outlined.cpu / none.cpu - 1), 1)
        << " % in processor time (the work, whatever else the machine runs). Target: at most "
           "10 % slower.\n";
}

struct Measurement
{
    const char* name;
    std::function<void(const QTemporaryDir&, int switches)> run;
};

const Measurement kMeasurements[] = {
    {"switch", switchTable},
    {"eight-windows", eightWindows},
    {"sparse", sparseFile},
    {"export", exportTable},
    {"sums", sumsTable},
    {"shifts", shiftsTable},
    {"planning", planningTable},
    {"drift-targets", driftTargetsTable},
    {"scrub", scrubTable},
    {"expand", expandTable},
    {"study", studyTable},
    {"find-regions", findRegionsTable},
    {"regions-table", regionsTableRefresh},
    {"outlines", outlinesTable},
};

// Runs each measurement in a process of its own and passes on what it prints.
int runAll(int switches)
{
    out << "# Isolumen benchmark\n\n" << machine() << '\n';
    out.flush();
    for (const Measurement& m : kMeasurements) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--measure"), QString::fromLatin1(m.name),
                     QStringLiteral("--switches"), QString::number(switches)});
        if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit ||
            child.exitCode() != 0) {
            QTextStream(stderr) << "The measurement " << m.name << " failed.\n";
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // The scrubbing measurement reads the screen of its own X server; everything else runs on
    // the offscreen platform.
    bool scrubbing = false;
    for (int i = 1; i + 1 < argc; ++i)
        scrubbing =
            scrubbing || (qstrcmp(argv[i], "--measure") == 0 && qstrcmp(argv[i + 1], "scrub") == 0);
    if (scrubbing && !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        scrubServer() = std::make_unique<XServer>(kScrubScreen.width(), kScrubScreen.height());
        if (!scrubServer()->display().isEmpty()) {
            qputenv("DISPLAY", scrubServer()->display().toLatin1());
            qputenv("QT_QPA_PLATFORM", "xcb");
            qunsetenv("WAYLAND_DISPLAY");
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !scrubbing)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform says so for every window that is given a fixed size.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& m) {
        if (!m.contains(QLatin1String("does not support propagateSizeHints")))
            QTextStream(stderr) << qFormatLogMessage(type, context, m) << '\n';
    });
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Times the windows and command-line modes of Isolumen."));
    parser.addHelpOption();
    const QCommandLineOption switchesOption(QStringLiteral("switches"),
                                            QStringLiteral("Layer switches per side (>= 20)."),
                                            QStringLiteral("N"), QStringLiteral("30"));
    QStringList names;
    for (const Measurement& m : kMeasurements)
        names << QString::fromLatin1(m.name);
    const QCommandLineOption measureOption(
        QStringLiteral("measure"),
        QStringLiteral("Only this measurement, in this process: %1.").arg(names.join(", ")),
        QStringLiteral("NAME"));
    parser.addOption(switchesOption);
    parser.addOption(measureOption);
    parser.process(app);
    const int switches = std::max(20, parser.value(switchesOption).toInt());
    if (!parser.isSet(measureOption))
        return runAll(switches);

    const auto* m =
        std::find_if(std::begin(kMeasurements), std::end(kMeasurements), [&](const Measurement& k) {
            return QLatin1String(k.name) == parser.value(measureOption);
        });
    if (m == std::end(kMeasurements)) {
        QTextStream(stderr) << "No measurement " << parser.value(measureOption) << ": "
                            << names.join(", ") << '\n';
        return 2;
    }
    QTemporaryDir dir;
    if (!dir.isValid()) {
        QTextStream(stderr) << "Cannot make a temporary folder.\n";
        return 2;
    }
    // Messages (a scale bar problem ...) are printed, never shown in a box that waits.
    setMessageHandler([](const QString& text) { QTextStream(stderr) << text << '\n'; });
    m->run(dir, switches);
    out.flush();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Menu::release();
    scrubServer().reset();
    return 0;
}
