// Times the image pipeline and the viewer's windows against the floor that any viewer pays for
// the same frame (read its bytes from the page cache, write the samples and the pixels once),
// and measures what they keep in memory.
//
//   benchmark [--switches N] [--measure NAME]
//
// The cores alone: one layer switch (read the frame, settle the display range, draw every
// picture of a redraw). The windows: the real Main and ImageWindow on the offscreen platform, a
// layer switch until the new picture is painted on the canvas, a layer change with eight
// 2048 x 2048 windows open, and resident memory. The expansion of compressed acquisitions
// against the command-line tools decompressing them. Each measurement runs in a process of its
// own, so that memory one of them frees cannot hide what the next one takes; --measure runs one.
// Makes its own acquisitions in a temporary folder. Build it in a release configuration
// (RelWithDebInfo or Release).
#include "app/menu.h"
#include "app/textlistwindow.h"
#include "core/imfile/archive.h"
#include "display/canvas.h"
#include "display/colourmapping.h"
#include "display/displaypictures.h"
#include "display/imagemodel.h"
#include "display/imagewindow.h"
#include "imbuilder.h"
#include "mainwindow/mainwindow.h"
#include "rawfile/imfile.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

namespace {

QTextStream out(stdout);

constexpr int kPlanes = 4;

double median(std::vector<double> v)
{
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

// A value of /proc/self/status in MiB: "VmRSS:" resident memory, "VmHWM:" its peak.
double statusMiB(const char* field = "VmRSS:")
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toDouble() / 1024;
    }
    return -1;
}

double residentMiB()
{
    return statusMiB("VmRSS:");
}

QString mib(double v)
{
    return QString::number(v, 'f', 0) + QStringLiteral(" MiB (") +
           QString::number(v * 1.048576, 'f', 0) + QStringLiteral(" MB)");
}

// Counts as an instrument records them: a background with bright round cells, different in
// every plane.
ImBuilder acquisition(int side)
{
    ImBuilder b;
    b.width = b.height = qint16(side);
    b.nSpecies = 1;
    b.nPlanes = kPlanes;
    b.sample = [side](int, int plane, int r, int k) {
        const int cell = side / 8;
        const int dr = r % cell - cell / 2;
        const int dk = k % cell - cell / 2;
        const bool inside = dr * dr + dk * dk < cell * cell / 6;
        const quint32 noise = quint32(r * 7919 + k * 104729 + plane * 31) % 97;
        return inside ? 3000 + noise * 20 + quint32(plane) : noise;
    };
    return b;
}

// Reads the whole file once so that the timings below read from the page cache.
void warmPageCache(const QString& path)
{
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) {
        while (!f.read(1 << 24).isEmpty()) {
        }
    }
}

// The same picture as imagePicture, mapped through a table of colours computed once for every
// 16-bit sample value up to the plane's maximum. Kept here to show why the viewer does not.
QImage byValuePicture(const Plane& plane, double min, double max, const ColorTable& lut)
{
    const int side = plane.side;
    QImage picture(side + 2, side + 2, QImage::Format_RGB32);
    picture.fill(Qt::black);
    const double scale = 253.0 / (max - min);
    const std::size_t size = std::size_t(std::clamp(plane.max + 1, 0.0, 65536.0));
    std::vector<QRgb> byValue(size);
    for (std::size_t w = 0; w < size; ++w)
        byValue[w] = lut[colourIndex(double(w), min, scale)];
    for (int r = 0; r < side; ++r) {
        QRgb* line = reinterpret_cast<QRgb*>(picture.scanLine(r + 1)) + 1;
        const double* src = plane.samples.data() + std::size_t(r) * side;
        for (int c = 0; c < side; ++c) {
            const double v = src[c];
            const int w = v >= 0 && v < double(size) ? static_cast<int>(v) : -1;
            line[c] = w >= 0 && w == v ? byValue[w] : lut[colourIndex(v, min, scale)];
        }
    }
    return picture;
}

struct PipelineRow
{
    int side = 0;
    double switchMs = 0;
    double floorMs = 0;
    double readMs = 0;
    double drawMs = 0;
    double perSampleMs = 0;
    double byValueMs = 0;
};

PipelineRow measurePipeline(const QString& path, int side, int switches)
{
    PipelineRow row;
    row.side = side;
    ImFile file;
    if (file.open(path) != ImFile::Status::Accepted || !file.frameSide())
        return row;
    const ImHeader& h = file.header();

    // A layer switch as an image window does it, all cores included.
    ImageModel m;
    double micron = h.micronSize;
    std::vector<double> reads;
    std::vector<double> draws;
    QElapsedTimer t;
    const std::vector<double> switchMs = timed(switches, [&](int i) {
        t.start();
        loadIntoModel(m, *file.stream(), h, side, 1, i % kPlanes + 1, QString(), QString());
        const qint64 read = t.nsecsElapsed();
        const std::optional<DisplayPictures> pictures = displayPictures(m, micron);
        reads.push_back(read / 1e6);
        draws.push_back((t.nsecsElapsed() - read) / 1e6);
        Q_UNUSED(pictures);
    });
    row.switchMs = median(switchMs);
    row.readMs = median(reads);
    row.drawMs = median(draws);

    // The mapping alone, and the alternative of a table of colours by sample value.
    row.perSampleMs = median(timed(switches, [&](int) {
        imagePicture(m.ImArray, m.ColorMinValue, m.ColorMaxValue, m.MyLUT);
    }));
    row.byValueMs = median(timed(switches, [&](int) {
        byValuePicture(m.ImArray, m.ColorMinValue, m.ColorMaxValue, m.MyLUT);
    }));

    // The floor: the frame's bytes from the page cache, then plain copies of the sizes of the
    // samples (Double) and of the pixels (32-bit), into memory that is already in use.
    const std::size_t n = std::size_t(side) * side;
    std::vector<char> bytes(n * h.bytesPerSample);
    std::vector<double> samplesFrom(n, 1.0), samples(n);
    std::vector<quint32> pixelsFrom(n, 2u), pixels(n);
    row.floorMs = median(timed(switches, [&](int i) {
        file.stream()->seek(Position(h, 1, i % kPlanes + 1));
        file.stream()->read(bytes.data(), qint64(bytes.size()));
        std::memcpy(samples.data(), samplesFrom.data(), n * sizeof(double));
        std::memcpy(pixels.data(), pixelsFrom.data(), n * sizeof(quint32));
    }));
    return row;
}

// ---- The windows: the real Main and ImageWindow on the offscreen platform ----

// Lets shown, resized and updated windows paint, and closed ones go.
void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// The main window with the file at path open and the image windows of the first `species`
// species open, as the species buttons open them.
QList<ImageWindow*> openWindows(const QString& path, int species)
{
    Main* main = Main::instance();
    main->OpenImage(path);
    for (int i = 0; i < species; ++i)
        main->ButtonSpecies(i)->click();
    settle();
    return Main::imageWindows();
}

void closeImageWindows()
{
    for (ImageWindow* w : Main::imageWindows())
        w->close();
    if (Main* main = Main::existing())
        main->OpenImage(QString()); // closes the file
    settle();
}

// The new pictures on screen: the image canvas at once, then whatever else the redraw marked.
void paint(const QList<ImageWindow*>& windows)
{
    for (ImageWindow* w : windows)
        w->ImageCanvas()->repaint();
    QCoreApplication::processEvents();
}

struct WindowRow
{
    double switchMs = 0; // layer chosen on the main window until the picture is painted
    double loadMs = 0;   // of which LoadNewImage with UpdateDisplay
    double paintMs = 0;  // of which the painting
};

// One image window open; each switch chooses the next layer in the main window's pop-up, which
// reloads the window (LoadNewImage, UpdateDisplay), and paints it. The history window starts
// with historyLines lines (each switch adds four).
WindowRow measureWindowSwitch(const QString& path, int switches, int historyLines = 0)
{
    WindowRow row;
    if (TextListWindow* history = TextListWindow::existing())
        history->close();
    settle();
    for (int i = 0; i < historyLines; ++i)
        TextListWindow::Add(QStringLiteral("Update Display called"));
    const QList<ImageWindow*> windows = openWindows(path, 1);
    if (windows.size() != 1) {
        closeImageWindows();
        return row;
    }
    QComboBox* layers = Main::instance()->LayerPopUp();
    int next = 0;
    std::vector<double> loads;
    std::vector<double> paints;
    QElapsedTimer t;
    row.switchMs = median(timed(switches, [&](int) {
        next = (next + 1) % kPlanes;
        t.start();
        layers->setCurrentIndex(next);
        const qint64 loaded = t.nsecsElapsed();
        paint(windows);
        loads.push_back(loaded / 1e6);
        paints.push_back((t.nsecsElapsed() - loaded) / 1e6);
    }));
    row.loadMs = median(loads);
    row.paintMs = median(paints);
    closeImageWindows();
    return row;
}

QString ms(double v)
{
    return QString::number(v, 'f', 2);
}

void pipelineTable(const QTemporaryDir& dir, int switches)
{
    std::vector<std::pair<PipelineRow, WindowRow>> rows;
    constexpr int kLongHistory = 4000;
    WindowRow longHistory;
    for (int side : {256, 512, 1024, 2048}) {
        const QString path = dir.filePath(QStringLiteral("bench%1.im").arg(side));
        if (!acquisition(side).write(path)) {
            out << "Cannot write " << path << '\n';
            return;
        }
        warmPageCache(path);
        const PipelineRow core = measurePipeline(path, side, switches);
        const WindowRow window = measureWindowSwitch(path, switches);
        rows.emplace_back(core, window);
        if (side == 2048)
            longHistory = measureWindowSwitch(path, switches, kLongHistory);
        QFile::remove(path);
    }

    out << "Layer switch of an image window: the layer chosen on the main window until the new "
           "picture is painted (median of "
        << switches << " switches, ms)\n\n";
    out << "| side | window switch | floor | switch/floor | LoadNewImage | paint |\n";
    out << "|---:|---:|---:|---:|---:|---:|\n";
    for (const auto& [core, window] : rows) {
        out << "| " << core.side << " | " << ms(window.switchMs) << " | " << ms(core.floorMs)
            << " | " << ms(window.switchMs / core.floorMs) << " | " << ms(window.loadMs) << " | "
            << ms(window.paintMs) << " |\n";
    }
    out << "\nEach side starts with an empty history window. With " << kLongHistory
        << " lines in it, a 2048 switch takes " << ms(longHistory.switchMs) << " ms (LoadNewImage "
        << ms(longHistory.loadMs) << ", paint " << ms(longHistory.paintMs) << ").\n";
    out << "\nThe same switch in the cores alone (ms)\n\n";
    out << "| side | switch | floor | switch/floor | read + range | pictures | map per sample "
           "| map by value |\n";
    out << "|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    for (const auto& [r, window] : rows) {
        out << "| " << r.side << " | " << ms(r.switchMs) << " | " << ms(r.floorMs) << " | "
            << ms(r.switchMs / r.floorMs) << " | " << ms(r.readMs) << " | " << ms(r.drawMs) << " | "
            << ms(r.perSampleMs) << " | " << ms(r.byValueMs) << " |\n";
    }
    out << '\n';
}

// Eight image windows on 2048 x 2048 frames: the memory they hold, and a layer change, which
// reloads and repaints all eight.
void eightWindows(const QTemporaryDir& dir, int)
{
    const int side = 2048;
    const int runs = 9;
    ImBuilder b = acquisition(side);
    b.nSpecies = 8;
    b.nPlanes = 2;
    const QString path = dir.filePath(QStringLiteral("eight.im"));
    if (!b.write(path)) {
        out << "Cannot write " << path << '\n';
        return;
    }
    warmPageCache(path);
    Main::instance();
    settle();
    const double before = residentMiB();
    const QList<ImageWindow*> windows = openWindows(path, 8);
    const double open = residentMiB();
    int delta = 1;
    std::vector<double> reloads;
    QElapsedTimer t;
    const std::vector<double> change = timed(runs, [&](int) {
        t.start();
        Main::instance()->stepLayer(delta);
        reloads.push_back(t.nsecsElapsed() / 1e6);
        delta = -delta;
        paint(windows);
    });
    const double after = residentMiB();
    const double peak = statusMiB("VmHWM:");
    out << "Eight 2048 x 2048 image windows (" << windows.size() << " open), median of " << runs
        << " layer changes: Main::stepLayer reloads all eight in " << ms(median(reloads))
        << " ms (fastest " << ms(*std::min_element(reloads.begin(), reloads.end())) << ", slowest "
        << ms(*std::max_element(reloads.begin(), reloads.end()))
        << "); until all eight are painted " << ms(median(change)) << " ms\n";
    out << "Resident memory with them open: " << mib(open) << "; after the layer changes "
        << mib(after) << "; peak " << mib(peak) << ". Opening them added " << mib(open - before)
        << ": per window samples " << QString::number(double(side) * side * 8 / (1 << 20), 'f', 0)
        << " MiB, picture "
        << QString::number(double(side + 2) * (side + 2) * 4 / (1 << 20), 'f', 0)
        << " MiB, and the window's own backing store.\n";
    closeImageWindows();
    QFile::remove(path);
}

// Resident memory of eight image windows' models on 2048 x 2048 frames, with the pictures of
// their last redraw: what eight open windows hold beyond the widgets themselves.
void eightModelsMemory(const QTemporaryDir& dir)
{
    const int side = 2048;
    const QString path = dir.filePath(QStringLiteral("eight.im"));
    if (!acquisition(side).write(path))
        return;
    ImFile file;
    if (file.open(path) != ImFile::Status::Accepted)
        return;
    const double before = residentMiB();
    std::vector<ImageModel> models(8);
    std::vector<DisplayPictures> pictures;
    for (int i = 0; i < 8; ++i) {
        loadIntoModel(models[i], *file.stream(), file.header(), side, 1, i % kPlanes + 1, QString(),
                      QString());
        pictures.push_back(*displayPictures(models[i], file.header().micronSize));
    }
    const double after = residentMiB();
    out << "Eight 2048 x 2048 models with their pictures, without windows: resident memory grew "
           "by "
        << QString::number(after - before, 'f', 0) << " MiB (samples "
        << QString::number(8.0 * side * side * 8 / (1 << 20), 'f', 0) << " MiB, pictures "
        << QString::number(8.0 * (side + 2) * (side + 2) * 4 / (1 << 20), 'f', 0) << " MiB)\n";
    QFile::remove(path);
}

// An acquisition of more than 4 GiB of 512 x 512 frames, all but its header a hole in the file.
QString sparseFile(const QTemporaryDir& dir, ImBuilder& b)
{
    b.width = b.height = 512;
    b.nSpecies = 2;
    b.nPlanes = 4100;
    const QString path = dir.filePath(QStringLiteral("sparse.im"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(b.header()) != b.headerSize ||
        !f.resize(b.expectedFileSize())) {
        out << "Cannot make the sparse file in " << dir.path() << '\n';
        return {};
    }
    return path;
}

QString gib(qint64 bytes)
{
    return QString::number(bytes / double(1 << 30), 'f', 2) + QStringLiteral(" GiB");
}

// Opening the sparse acquisition and loading its last plane: only the header and that frame
// may be read into memory.
void sparseFileMemory(const QTemporaryDir& dir)
{
    ImBuilder b;
    const QString path = sparseFile(dir, b);
    if (path.isEmpty())
        return;
    const double before = residentMiB();
    ImFile file;
    QElapsedTimer t;
    t.start();
    const bool opened = file.open(path) == ImFile::Status::Accepted;
    const double openMs = t.nsecsElapsed() / 1e6;
    ImageModel m;
    if (opened) {
        loadIntoModel(m, *file.stream(), file.header(), 512, 2, 4100, QString(), QString());
    }
    const double after = residentMiB();
    out << "Sparse file of " << gib(b.expectedFileSize())
        << ", cores: " << (opened ? "opened" : "NOT opened") << " in " << ms(openMs)
        << " ms; resident memory grew by " << QString::number(after - before, 'f', 1)
        << " MiB with its last 512 x 512 plane ("
        << QString::number(512.0 * 512 * 8 / (1 << 20), 'f', 1) << " MiB of samples)\n";
    QFile::remove(path);
}

// The same file opened in the main window, no image window open.
void sparseFileInMainWindow(const QTemporaryDir& dir)
{
    ImBuilder b;
    const QString path = sparseFile(dir, b);
    if (path.isEmpty())
        return;
    Main* main = Main::instance();
    settle();
    const double before = residentMiB();
    QElapsedTimer t;
    t.start();
    main->OpenImage(path);
    const double openMs = t.nsecsElapsed() / 1e6;
    settle();
    const double after = residentMiB();
    out << "Sparse file of " << gib(b.expectedFileSize())
        << " in the main window: " << (main->file().isOpen() ? "opened" : "NOT opened") << " in "
        << ms(openMs) << " ms; resident memory grew by " << QString::number(after - before, 'f', 1)
        << " MiB\n";
    main->OpenImage(QString());
    QFile::remove(path);
}

// Lets VmHWM start again from the resident memory of now.
void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

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
void expandTable(const QTemporaryDir& dir, int)
{
    // Sparse counts without a pattern compress by about as much as recorded ones do.
    ImBuilder b = acquisition(2048);
    b.nPlanes = 16;
    b.sample = [](int, int plane, int r, int k) {
        quint64 h = (quint64(plane) << 40 | quint64(r) << 20 | quint64(k)) * 0x9E3779B97F4A7C15u;
        h ^= h >> 29;
        return h % 100 < 70 ? 0u : quint32(h % 11);
    };
    const QString plain = dir.filePath(QStringLiteral("big.im"));
    if (!b.write(plain))
        return;
    const QString cache = dir.filePath(QStringLiteral("cache"));
    QDir().mkpath(cache);
    QElapsedTimer t;
    t.start();
    QFile::copy(plain, dir.filePath(QStringLiteral("copy.im")));
    const double copySeconds = t.nsecsElapsed() / 1e9;
    QFile::remove(dir.filePath(QStringLiteral("copy.im")));
    out << "Expanding a " << QString::number(b.expectedFileSize() / 1e6, 'f', 0)
        << " MB acquisition (copying the plain file: " << QString::number(copySeconds, 'f', 2)
        << " s)\n\n"
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
        // Medians of three runs, the tool's and the expansion's alternating.
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
            const ExpandedFile::Result r = ExpandedFile::expand(dir.filePath(f.archive), cache);
            expandRuns.push_back(t.nsecsElapsed() / 1e9);
            peakGrowth = std::max(peakGrowth, statusMiB("VmHWM:") - peakBefore);
            ok = ok && std::holds_alternative<std::unique_ptr<ExpandedFile>>(r) &&
                 std::get<0>(r)->size() == b.expectedFileSize();
        }
        const double toolSeconds = median(toolRuns);
        const double expandSeconds = median(expandRuns);
        out << "| " << f.archive << " | "
            << QString::number(QFileInfo(dir.filePath(f.archive)).size() / 1e6, 'f', 1) << " | "
            << (ok ? QString::number(expandSeconds, 'f', 2) : QStringLiteral("FAILED")) << " | "
            << QString::number(toolSeconds, 'f', 2) << " | "
            << QString::number(expandSeconds / toolSeconds, 'f', 2) << " | "
            << QString::number(peakGrowth, 'f', 1) << " |\n";
        QFile::remove(dir.filePath(f.archive));
    }
}

struct Measurement
{
    const char* name;
    std::function<void(const QTemporaryDir&, int switches)> run;
};

const Measurement kMeasurements[] = {
    {"sparse", [](const QTemporaryDir& d, int) { sparseFileMemory(d); }},
    {"sparse-window", [](const QTemporaryDir& d, int) { sparseFileInMainWindow(d); }},
    {"eight-windows", eightWindows},
    {"models", [](const QTemporaryDir& d, int) { eightModelsMemory(d); }},
    {"switch", pipelineTable},
    {"expand", expandTable},
};

// Runs each measurement in a process of its own and passes on what it prints.
int runAll(int switches)
{
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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform says so for every window that is given a fixed size.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& m) {
        if (!m.contains(QLatin1String("does not support propagateSizeHints")))
            QTextStream(stderr) << qFormatLogMessage(type, context, m) << '\n';
    });
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Times the image pipeline and the windows of Isolumen."));
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
    m->run(dir, switches);
    out.flush();

    // Windows go before the shared menus, as at the end of a run.
    if (Main* main = Main::existing())
        main->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Menu::release();
    return 0;
}
