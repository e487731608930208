// Times the layer drift estimate on synthetic stacks made in memory: the time per layer at
// 256, 512 and 1024 pixels a side, a whole 100-layer 512 x 512 job, and FFTW's planning flags
// (planning time against transform time), which chose the flags the estimate uses.
//
//   driftbench                 the timings above
//   driftbench --file OUT.im   writes a 100-layer 512 x 512 acquisition (one species, 2-byte
//                              big-endian samples, 2048-byte header), times the estimate read
//                              from it as the viewer will, and prints its shifts as
//                              "layer,dx,dy" lines (layers from 1) for tools/bench/phasecorr.py
//
// Build it in a release configuration (RelWithDebInfo or Release).
#include "core/model/drift.h"
#include "core/parallel.h"
#include "imbuilder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <ctime>
#include <fftw3.h>
#include <functional>
#include <random>
#include <vector>

namespace {

QTextStream out(stdout);

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Milliseconds of wall-clock and processor time (all threads) of one call of f: on a shared
// machine the processor time shows the work when other programs slow the clock time.
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

// Medians over `runs` calls of f.
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

// Cells on a background of 20 counts with Poisson noise, drifting by a random walk: layer k's
// value at shown (x, y).
struct Stack
{
    struct Cell
    {
        double x, y, sigma, height;
    };
    int side;
    std::vector<Cell> cells;
    std::vector<double> dx, dy;

    Stack(int side, int layers) : side(side), dx(layers), dy(layers)
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
};

// Largest distance of the estimate from the drift the stack was made with.
double worstError(const Stack& stack, const std::vector<Shift>& shifts)
{
    double worst = 0;
    for (std::size_t k = 0; k < shifts.size(); ++k)
        worst = std::max(
            {worst, std::abs(shifts[k].dx - stack.dx[k]), std::abs(shifts[k].dy - stack.dy[k])});
    return worst;
}

void timeLayers()
{
    out << "estimateDrift on " << workerCount() << " threads, Poisson counts (background 20)\n";
    out << "side,layers,wall ms per layer,cpu ms per layer (medians of 5),worst error px\n";
    for (const int side : {256, 512, 1024}) {
        const int layers = 20;
        const Stack stack(side, layers);
        const auto frames = stack.layers();
        const LayerSource source = [&](int k, std::vector<float>& into) {
            into = frames[std::size_t(k)];
            return true;
        };
        std::vector<Shift> shifts;
        const Timing t = medianMs(5, [&] { shifts = *estimateDrift(side, layers, source, {}); });
        out << side << ',' << layers << ',' << t.wall / layers << ',' << t.cpu / layers << ','
            << worstError(stack, shifts) << '\n';
    }
    const Stack stack(512, 100);
    const auto frames = stack.layers();
    const LayerSource source = [&](int k, std::vector<float>& into) {
        into = frames[std::size_t(k)];
        return true;
    };
    std::vector<Shift> shifts;
    const Timing t = medianMs(3, [&] { shifts = *estimateDrift(512, 100, source, {}); });
    out << "100 layers of 512 x 512: " << t.wall << " ms wall, " << t.cpu
        << " ms cpu (medians of 3), worst error " << worstError(stack, shifts) << " px\n";
}

// Planning (from no wisdom) and one run of the transforms the estimate makes twice per layer: a
// forward one of the whole side and an inverse one of half the side. Processor times, which
// other programs on a shared machine disturb less than the clock.
void timePlanning()
{
    out << "\nFFTW planning, single precision, one thread (processor time)\n";
    out << "side,flag,plan ms,forward+inverse ms (median of 5),layers to pay on one core\n";
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
            out << side << ',' << name << ',' << plan << ',' << run;
            if (flag == FFTW_ESTIMATE) {
                estimatePlan = plan;
                estimateRun = run;
                out << ",\n";
            } else {
                // Layers after which the slower planning has paid for itself: each layer runs
                // the pair twice.
                const double saved = 2 * (estimateRun - run);
                out << ','
                    << (saved > 0 ? QString::number((plan - estimatePlan) / saved, 'f', 0)
                                  : QStringLiteral("never"))
                    << '\n';
            }
        }
        fftwf_free(real);
        fftwf_free(spectrum);
        fftwf_free(cropped);
    }
}

int writeAndTimeFile(const QString& path)
{
    constexpr int side = 512, layers = 100;
    const Stack stack(side, layers);
    const auto frames = stack.layers();
    ImBuilder b;
    b.width = side;
    b.height = side;
    b.nPlanes = layers;
    b.labels = {"12C"};
    // The first sample of a file row is shown at the right-hand end.
    b.sample = [&](int, int plane, int row, int k) {
        return quint32(std::min(
            65535.0f, frames[std::size_t(plane - 1)][std::size_t(row) * side + (side - 1 - k)]));
    };
    if (!b.write(path)) {
        QTextStream(stderr) << "cannot write " << path << '\n';
        return 2;
    }
    QFile file(path);
    const uchar* bytes = file.open(QIODevice::ReadOnly) ? file.map(0, file.size()) : nullptr;
    if (!bytes) {
        QTextStream(stderr) << "cannot map " << path << '\n';
        return 2;
    }
    const qint64 frameBytes = qint64(side) * side * 2;
    const LayerSource source = [&](int k, std::vector<float>& into) {
        into.resize(std::size_t(side) * side);
        const uchar* frame = bytes + b.headerSize + k * frameBytes;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x)
                into[std::size_t(y) * side + x] =
                    qFromBigEndian<quint16>(frame + (qint64(y) * side + (side - 1 - x)) * 2);
        }
        return true;
    };
    std::vector<Shift> shifts;
    const Timing t = medianMs(3, [&] { shifts = *estimateDrift(side, layers, source, {}); });
    QTextStream(stderr) << "100 layers of 512 x 512 from " << path << ": " << t.wall << " ms wall, "
                        << t.cpu << " ms cpu (medians of 3), worst error "
                        << worstError(stack, shifts) << " px\n";
    out << "layer,dx,dy\n";
    for (int k = 0; k < layers; ++k)
        out << k + 1 << ',' << QString::number(shifts[k].dx, 'f', 3) << ','
            << QString::number(shifts[k].dy, 'f', 3) << '\n';
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--file"))
        return writeAndTimeFile(args[2]);
    if (args.size() != 1) {
        QTextStream(stderr) << "usage: driftbench [--file OUT.im]\n";
        return 2;
    }
    timeLayers();
    timePlanning();
    return 0;
}
