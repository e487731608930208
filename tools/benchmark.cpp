// Times the image pipeline: one layer switch of an image window's cores (read the frame, settle
// the display range, draw every picture of a redraw) against the floor that any viewer pays for
// the same frame (read its bytes from the page cache, write the samples and the pixels once).
//
//   benchmark [--switches N]
//
// Makes its own acquisitions in a temporary folder, prints one table row per frame side and then
// the memory measurements. Build it in a release configuration (RelWithDebInfo or Release).
#include "display/colourmapping.h"
#include "display/displaypictures.h"
#include "display/imagemodel.h"
#include "imbuilder.h"
#include "rawfile/imfile.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
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

// Resident memory of this process in MiB.
double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return -1;
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

void pipelineTable(const QTemporaryDir& dir, int switches)
{
    out << "Layer switch of the core pipeline (median of " << switches << " switches, ms)\n\n";
    out << "| side | switch | floor | switch/floor | read + range | pictures | map per sample "
           "| map by value |\n";
    out << "|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    for (int side : {256, 512, 1024, 2048}) {
        const QString path = dir.filePath(QStringLiteral("bench%1.im").arg(side));
        if (!acquisition(side).write(path)) {
            out << "| " << side << " | cannot write " << path << " |\n";
            continue;
        }
        warmPageCache(path);
        const PipelineRow r = measurePipeline(path, side, switches);
        out << "| " << r.side << " | " << QString::number(r.switchMs, 'f', 2) << " | "
            << QString::number(r.floorMs, 'f', 2) << " | "
            << QString::number(r.switchMs / r.floorMs, 'f', 2) << " | "
            << QString::number(r.readMs, 'f', 2) << " | " << QString::number(r.drawMs, 'f', 2)
            << " | " << QString::number(r.perSampleMs, 'f', 2) << " | "
            << QString::number(r.byValueMs, 'f', 2) << " |\n";
        out.flush();
        QFile::remove(path);
    }
    out << '\n';
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
    out << "Eight 2048 x 2048 models with their pictures: resident memory grew by "
        << QString::number(after - before, 'f', 0) << " MiB (samples "
        << QString::number(8.0 * side * side * 8 / (1 << 20), 'f', 0) << " MiB, pictures "
        << QString::number(8.0 * (side + 2) * (side + 2) * 4 / (1 << 20), 'f', 0) << " MiB)\n";
    QFile::remove(path);
}

// Opening an acquisition of more than 4 GiB (a sparse file) and loading its last plane: only
// the header and that frame may be read into memory.
void sparseFileMemory(const QTemporaryDir& dir)
{
    ImBuilder b;
    b.width = b.height = 512;
    b.nSpecies = 2;
    b.nPlanes = 4100;
    const qint64 size = b.expectedFileSize();
    const QString path = dir.filePath(QStringLiteral("sparse.im"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(b.header()) != b.headerSize ||
            !f.resize(size)) {
            out << "Cannot make the sparse file in " << dir.path() << '\n';
            return;
        }
    }
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
    out << "Sparse file of " << QString::number(size / double(1 << 30), 'f', 2)
        << " GiB: " << (opened ? "opened" : "NOT opened") << " in "
        << QString::number(openMs, 'f', 2) << " ms; resident memory grew by "
        << QString::number(after - before, 'f', 1) << " MiB with its last 512 x 512 plane ("
        << QString::number(512.0 * 512 * 8 / (1 << 20), 'f', 1) << " MiB of samples)\n";
    QFile::remove(path);
}

// Further measurements (for example a layer change with eight image windows open, which needs
// the widgets of isolumen_ui) are added to this list.
struct Measurement
{
    const char* name;
    std::function<void(const QTemporaryDir&, int switches)> run;
};

const Measurement kMeasurements[] = {
    // Memory first: memory freed by the timings would hide the growth.
    {"sparse", [](const QTemporaryDir& d, int) { sparseFileMemory(d); }},
    {"models", [](const QTemporaryDir& d, int) { eightModelsMemory(d); }},
    {"pipeline", pipelineTable},
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // fonts for the axis and scale bar labels
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times the image pipeline of Isolumen."));
    parser.addHelpOption();
    const QCommandLineOption switchesOption(QStringLiteral("switches"),
                                            QStringLiteral("Layer switches per side (>= 20)."),
                                            QStringLiteral("N"), QStringLiteral("30"));
    parser.addOption(switchesOption);
    parser.process(app);
    const int switches = std::max(20, parser.value(switchesOption).toInt());

    QTemporaryDir dir;
    if (!dir.isValid()) {
        QTextStream(stderr) << "Cannot make a temporary folder.\n";
        return 2;
    }
    for (const Measurement& m : kMeasurements) {
        m.run(dir, switches);
        out.flush();
    }
    return 0;
}
