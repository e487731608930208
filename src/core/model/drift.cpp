#include "core/model/drift.h"

#include "core/parallel.h"
#include "core/progress.h"

#include <QMutex>
#include <QMutexLocker>
#include <QPoint>
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <complex>
#include <fftw3.h>
#include <limits>
#include <memory>
#include <new>
#include <numbers>
#include <numeric>
#include <type_traits>

namespace {

// Tukey window: flat over the middle half, cosine tapers over a quarter of each side at each end.
// The tapers take the frame edges out of the correlation; the flat middle keeps the content there
// at full weight.
constexpr double kTaperFraction = 0.25;

// Standard deviation, in cycles per pixel, of the Gaussian low-pass weight on the normalised
// cross-power spectrum. Counting noise of sparse layers fills the high frequencies with random
// phases; the weight keeps the frequencies that carry cell-sized structure. It also makes the
// correlation peak a Gaussian (standard deviation 3.2 px), whose logarithm a parabola through
// three samples fits exactly. Chosen on synthetic cells with Poisson counts of 2 to 20 per pixel:
// 0.04 to 0.06 did about equally well; 0.1 let half as much error again through at 5 counts.
constexpr double kLowPassSigma = 0.05;

// The widest frame a file can describe (its width is a 16-bit field); a wider one would only
// run out of memory.
constexpr int kMaxSide = 32768;

// How FFTW plans the transforms for `layers` layers of `pixels` each. Measured with
// tools/benchmark --measure planning (processor time, one thread): FFTW_ESTIMATE plans in about
// a millisecond. FFTW_MEASURE takes 0.3 s at 512 x 512, 0.4 s at 1024 x 1024 and 0.7 s at
// 2048 x 2048 to plan a layer's transforms, which then run 1.6 to 1.8 times as fast. Each layer
// runs them twice, spread over all cores, while planning runs on one: measuring pays from about
// 100 layers of 1024 x 1024 (25 of 2048 x 2048, 400 of 512 x 512) per core.
unsigned planningFlags(qsizetype pixels, int layers)
{
    const bool pays = qint64(layers) * pixels >= qint64(100) * 1024 * 1024 * workerCount();
    return pays ? FFTW_MEASURE : FFTW_ESTIMATE;
}

// FFTW's planner and plan destruction share global state and must not run on two threads.
QMutex& plannerMutex()
{
    static QMutex mutex;
    return mutex;
}

struct FftwFree
{
    void operator()(void* p) const { fftwf_free(p); }
};
template <typename T> using FftwBuffer = std::unique_ptr<T[], FftwFree>;

// SIMD-aligned as FFTW wants it, so that plans made on one buffer run on any other. Null when
// the memory cannot be had.
template <typename T> FftwBuffer<T> allocateFftw(qsizetype count)
{
    return FftwBuffer<T>(static_cast<T*>(fftwf_malloc(std::size_t(count) * sizeof(T))));
}

struct PlanDestroy
{
    void operator()(fftwf_plan plan) const
    {
        const QMutexLocker lock(&plannerMutex());
        fftwf_destroy_plan(plan);
    }
};
using Plan = std::unique_ptr<std::remove_pointer_t<fftwf_plan>, PlanDestroy>;

// The smallest even size >= n with no prime factor above 7, which FFTW transforms fastest.
int fastEvenSize(int n)
{
    for (int m = std::max(n + n % 2, 2);; m += 2) {
        int rest = m;
        for (const int p : {2, 3, 5, 7}) {
            while (rest % p == 0)
                rest /= p;
        }
        if (rest == 1)
            return m;
    }
}

// The window over n samples, its tapers moved by `offset` pixels to follow content that moved.
std::vector<float> tukeyWindow(int n, double offset)
{
    std::vector<float> w(n);
    const double taper = kTaperFraction * n;
    for (int i = 0; i < n; ++i) {
        const double centre = i + 0.5 - offset;
        const double edge = std::min(centre, n - centre); // from the nearer end
        w[std::size_t(i)] = edge <= 0 ? 0.0f
                            : edge >= taper
                                ? 1.0f
                                : float(0.5 - 0.5 * std::cos(std::numbers::pi * edge / taper));
    }
    return w;
}

// exp(-f^2 / (2 sigma^2)) for the signed frequency of each of the first `bins` of n bins.
std::vector<float> lowPassWeight(int n, int bins)
{
    std::vector<float> w(bins);
    for (int k = 0; k < bins; ++k) {
        const double f = double(k <= n / 2 ? k : k - n) / n;
        w[std::size_t(k)] = float(std::exp(-f * f / (2 * kLowPassSigma * kLowPassSigma)));
    }
    return w;
}

// Offset of a peak's summit from its highest sample c0, between neighbours cm and cp: a parabola
// through the logarithms (exact for a Gaussian peak), or through the values where a neighbour is
// not positive.
double summitOffset(double cm, double c0, double cp)
{
    if (cm > 0 && c0 > 0 && cp > 0) {
        cm = std::log(cm);
        c0 = std::log(c0);
        cp = std::log(cp);
    }
    const double curvature = cm - 2 * c0 + cp;
    const double offset = 0.5 * (cm - cp) / curvature;
    return curvature < 0 && std::isfinite(offset) ? std::clamp(offset, -0.5, 0.5) : 0.0;
}

// Position of the largest of n values (0 when none is a number). The maximum is found first,
// with running maxima that do not wait on each other, then its position: four times as fast as
// std::max_element, whose compare-and-keep chain took a third of the correlation's time.
qsizetype indexOfMax(const float* values, qsizetype n)
{
    constexpr int lanes = 8;
    std::array<float, lanes> maxima;
    maxima.fill(-std::numeric_limits<float>::infinity());
    qsizetype i = 0;
    for (; i + lanes <= n; i += lanes) {
        for (int j = 0; j < lanes; ++j)
            maxima[j] = std::max(maxima[j], values[i + j]);
    }
    float best = *std::max_element(maxima.begin(), maxima.end());
    for (; i < n; ++i)
        best = std::max(best, values[i]);
    const qsizetype at = std::find(values, values + n, best) - values;
    return at < n ? at : 0;
}

// A transform index as a signed displacement: up to half the size either way.
int signedIndex(int k, int n)
{
    return k <= n / 2 ? k : k - n;
}

// Transform buffers of one thread.
struct Workspace
{
    std::vector<float> layer;
    FftwBuffer<float> real;               // the windowed layer, then the correlation
    FftwBuffer<fftwf_complex> spectrum;   // the layer's
    FftwBuffer<fftwf_complex> crossPower; // its low frequencies, times the reference's phase
};

// Phase correlation of layers against one reference layer over one area of the frame, padded
// to an even, fast transform size. Owns the plans and the reference's weighted phase; measure()
// may run on several threads at once, each with its own Workspace.
//
// The low-pass weight leaves nothing above a quarter cycle per pixel (it is 4e-6 there), so the
// inverse transform takes only the frequencies below: a quarter of the bins, giving the
// correlation at every second pixel. That is a third off the time of a layer, and the fit to the
// Gaussian peak does not depend on the sample spacing.
class PhaseCorrelator
{
public:
    PhaseCorrelator(int side, QRect area, int layers)
        : m_side(side), m_layers(layers), m_area(area), m_rows(fastEvenSize(area.height())),
          m_cols(fastEvenSize(area.width())), m_windowX(tukeyWindow(area.width(), 0)),
          m_windowY(tukeyWindow(area.height(), 0))
    {
    }

    // Buffers for one thread; false when the memory cannot be had.
    bool allocate(Workspace& work) const
    {
        work.real = allocateFftw<float>(qsizetype(m_rows) * m_cols);
        work.spectrum = allocateFftw<fftwf_complex>(qsizetype(m_rows) * bins());
        work.crossPower = allocateFftw<fftwf_complex>(qsizetype(peakRows()) * peakBins());
        return work.real && work.spectrum && work.crossPower;
    }

    // Plans on the workspace's buffers, then takes the reference from its layer. False when
    // FFTW cannot plan.
    bool setReference(Workspace& work)
    {
        {
            const QMutexLocker lock(&plannerMutex());
            // A plan made alone is destroyed here: Plan's own deleter would wait on this lock.
            const auto plan = [&](unsigned flags) {
                fftwf_plan forward = fftwf_plan_dft_r2c_2d(m_rows, m_cols, work.real.get(),
                                                           work.spectrum.get(), flags);
                fftwf_plan inverse = fftwf_plan_dft_c2r_2d(
                    peakRows(), peakCols(), work.crossPower.get(), work.real.get(), flags);
                if (forward && inverse) {
                    m_forward.reset(forward);
                    m_inverse.reset(inverse);
                    return true;
                }
                for (fftwf_plan p : {forward, inverse}) {
                    if (p)
                        fftwf_destroy_plan(p);
                }
                return false;
            };
            // Sizes this process has measured before are planned again from what FFTW kept.
            if (!plan(FFTW_MEASURE | FFTW_WISDOM_ONLY) &&
                !plan(planningFlags(qsizetype(m_rows) * m_cols, m_layers)))
                return false;
        }
        transform(work, {0, 0}, m_windowX, m_windowY);
        // The conjugate phase with the low-pass weight folded in: a layer's normalised spectrum
        // times this is its weighted, normalised cross-power spectrum.
        const std::vector<float> weightX = lowPassWeight(m_cols, peakBins());
        const std::vector<float> weightsY = lowPassWeight(m_rows, m_rows);
        m_referencePhase.assign(std::size_t(peakRows()) * peakBins(), {});
        for (int r = 0; r < peakRows(); ++r) {
            const int row = spectrumRow(r);
            const float weightY = weightsY[std::size_t(row)];
            for (int c = 0; c < peakBins(); ++c) {
                const fftwf_complex& bin = work.spectrum[qsizetype(row) * bins() + c];
                const std::complex<float> f(bin[0], bin[1]);
                const float magnitude = std::abs(f);
                if (magnitude > 0)
                    m_referencePhase[std::size_t(r) * peakBins() + c] =
                        std::conj(f) / magnitude * (weightY * weightX[std::size_t(c)]);
            }
        }
        m_referencePhase[0] = {}; // the constant carries no position
        return true;
    }

    // Where the workspace's layer lies relative to the reference. A first correlation finds the
    // shift; a second one, with the window moved to follow the content, refines it. With the
    // window fixed, content under the tapers is weighed differently in the two layers, which
    // moves the estimate by up to a few tenths of a pixel at shifts of ten.
    Shift measure(Workspace& work) const
    {
        transform(work, {0, 0}, m_windowX, m_windowY);
        const Shift coarse = correlationPeak(work, false);
        const QPoint whole(qRound(coarse.dx), qRound(coarse.dy));
        transform(work, whole, tukeyWindow(m_area.width(), coarse.dx - whole.x()),
                  tukeyWindow(m_area.height(), coarse.dy - whole.y()));
        const Shift fine = correlationPeak(work, true);
        return {whole.x() + fine.dx, whole.y() + fine.dy};
    }

private:
    int bins() const { return m_cols / 2 + 1; }
    int peakRows() const { return m_rows / 2; }
    int peakCols() const { return m_cols / 2; }
    int peakBins() const { return peakCols() / 2 + 1; }
    // The row of the full spectrum that row r of the cropped one takes: the same frequency.
    int spectrumRow(int r) const
    {
        const int k = signedIndex(r, peakRows());
        return k >= 0 ? k : k + m_rows;
    }

    // The spectrum of the layer's area moved by `shift` and clipped to the frame, less its
    // window-weighted mean, times the window, padded with zeros. Without the weighted mean a
    // constant would stay under the window and correlate with itself at (0, 0).
    void transform(Workspace& work, QPoint shift, const std::vector<float>& windowX,
                   const std::vector<float>& windowY) const
    {
        float* out = work.real.get();
        std::fill(out, out + qsizetype(m_rows) * m_cols, 0.0f);
        const QRect moved = m_area.translated(shift);
        const QRect from = moved.intersected(QRect(0, 0, m_side, m_side));
        if (!from.isEmpty()) {
            const int x0 = from.left() - moved.left(); // first transform column with a sample
            const int y0 = from.top() - moved.top();
            const auto sampleRow = [&](int y) {
                return work.layer.data() + qsizetype(from.top() + y) * m_side + from.left();
            };
            double weighted = 0;
            for (int y = 0; y < from.height(); ++y) {
                const float* row = sampleRow(y);
                double sum = 0;
                for (int x = 0; x < from.width(); ++x)
                    sum += double(windowX[std::size_t(x0 + x)]) * row[x];
                weighted += windowY[std::size_t(y0 + y)] * sum;
            }
            const double weights =
                std::accumulate(windowX.begin() + x0, windowX.begin() + x0 + from.width(), 0.0) *
                std::accumulate(windowY.begin() + y0, windowY.begin() + y0 + from.height(), 0.0);
            const float mean = weights > 0 ? float(weighted / weights) : 0.0f;
            for (int y = 0; y < from.height(); ++y) {
                const float* row = sampleRow(y);
                float* dst = out + qsizetype(y0 + y) * m_cols + x0;
                const float wy = windowY[std::size_t(y0 + y)];
                for (int x = 0; x < from.width(); ++x)
                    dst[x] = wy * windowX[std::size_t(x0 + x)] * (row[x] - mean);
            }
        }
        fftwf_execute_dft_r2c(m_forward.get(), out, work.spectrum.get());
    }

    // The peak of the correlation of the transformed layer with the reference, anywhere or
    // (nearOrigin) within two pixels of no shift.
    Shift correlationPeak(Workspace& work, bool nearOrigin) const
    {
        // Plain float arithmetic: std::complex's checks for infinities made this loop cost
        // half as much as the transforms.
        const std::complex<float>* phase = m_referencePhase.data();
        fftwf_complex* cross = work.crossPower.get();
        for (int r = 0; r < peakRows(); ++r) {
            const fftwf_complex* spectrum =
                work.spectrum.get() + qsizetype(spectrumRow(r)) * bins();
            for (int c = 0; c < peakBins(); ++c, ++phase, ++cross) {
                const float re = spectrum[c][0];
                const float im = spectrum[c][1];
                // The smallest normal float keeps a zero from dividing by zero and leaves any
                // other power as it is.
                const float scale =
                    1.0f / std::sqrt(re * re + im * im + std::numeric_limits<float>::min());
                const float pr = phase->real() * scale;
                const float pi = phase->imag() * scale;
                (*cross)[0] = re * pr - im * pi;
                (*cross)[1] = re * pi + im * pr;
            }
        }
        const int rows = peakRows();
        const int cols = peakCols();
        float* correlation = work.real.get();
        fftwf_execute_dft_c2r(m_inverse.get(), work.crossPower.get(), correlation);

        const auto at = [&](int r, int c) {
            r = (r % rows + rows) % rows;
            c = (c % cols + cols) % cols;
            return double(correlation[qsizetype(r) * cols + c]);
        };
        int row = 0;
        int col = 0;
        if (nearOrigin) {
            for (int r = -1; r <= 1; ++r) {
                for (int c = -1; c <= 1; ++c) {
                    if (at(r, c) > at(row, col)) {
                        row = r;
                        col = c;
                    }
                }
            }
        } else {
            const qsizetype best = indexOfMax(correlation, qsizetype(rows) * cols);
            row = signedIndex(int(best / cols), rows);
            col = signedIndex(int(best % cols), cols);
        }
        const double c0 = at(row, col);
        const double dx = cols > 2 ? summitOffset(at(row, col - 1), c0, at(row, col + 1)) : 0.0;
        const double dy = rows > 2 ? summitOffset(at(row - 1, col), c0, at(row + 1, col)) : 0.0;
        // Correlation samples lie two pixels apart.
        return {2 * (col + dx), 2 * (row + dy)};
    }

    int m_side;
    int m_layers;
    QRect m_area;
    int m_rows;
    int m_cols;
    std::vector<float> m_windowX;
    std::vector<float> m_windowY;
    Plan m_forward;
    Plan m_inverse;
    std::vector<std::complex<float>> m_referencePhase;
};

QString unreadable(int layer)
{
    return QStringLiteral("Layer %1 cannot be read.").arg(layer + 1);
}

QString noMemory()
{
    return QStringLiteral("Not enough memory to align the layers.");
}

} // namespace

std::optional<std::vector<Shift>> estimateDrift(int side, int layerCount, const LayerSource& source,
                                                const DriftOptions& options, Progress* progress,
                                                QString* problem)
{
    const auto refuse = [&](const QString& why) -> std::optional<std::vector<Shift>> {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    if (problem)
        problem->clear();
    if (side < 1 || side > kMaxSide)
        return refuse(
            QStringLiteral("The frame side %1 is not between 1 and %2.").arg(side).arg(kMaxSide));
    if (layerCount < 1)
        return refuse(QStringLiteral("There are no layers to align."));
    const int reference = options.referenceLayer;
    if (reference < 0 || reference >= layerCount)
        return refuse(QStringLiteral("The reference layer %1 is not among layers 1 to %2.")
                          .arg(qint64(reference) + 1)
                          .arg(layerCount));
    if (!source)
        return refuse(QStringLiteral("No layers were given."));
    const QRect frame(0, 0, side, side);
    const QRect area = options.region ? options.region->intersected(frame) : frame;
    if (area.isEmpty())
        return refuse(QStringLiteral("The region lies outside the frame."));

    if (progress)
        progress->setTotal(layerCount);
    // Empty when the layer was read whole and holds numbers only.
    const auto readLayer = [&](int layer, std::vector<float>& into) {
        if (!source(layer, into) || qsizetype(into.size()) != qsizetype(side) * side)
            return unreadable(layer);
        if (!std::all_of(into.begin(), into.end(), [](float v) { return std::isfinite(v); }))
            return QStringLiteral("Layer %1 holds values that are not numbers.").arg(layer + 1);
        return QString();
    };

    try {
        PhaseCorrelator correlator(side, area, layerCount);
        {
            Workspace work;
            if (!correlator.allocate(work))
                return refuse(noMemory());
            if (isCancelled(progress))
                return std::nullopt;
            if (const QString why = readLayer(reference, work.layer); !why.isEmpty())
                return refuse(why);
            if (!correlator.setReference(work))
                return refuse(noMemory());
            advance(progress);
        }

        std::vector<Shift> shifts(layerCount);
        std::atomic<bool> stop{false};
        QMutex failureMutex;
        int failedLayer = std::numeric_limits<int>::max();
        QString failure;
        const auto fail = [&](int layer, const QString& why) {
            const QMutexLocker lock(&failureMutex);
            if (layer < failedLayer) {
                failedLayer = layer;
                failure = why;
            }
            stop = true;
        };

        parallelFor(layerCount, 1, [&](qsizetype begin, qsizetype end) {
            // Nothing may leave a worker thread: a throw there would end the program.
            int layer = int(begin);
            try {
                Workspace work;
                if (!correlator.allocate(work)) {
                    fail(layer, noMemory());
                    return;
                }
                for (; layer < end && !stop; ++layer) {
                    if (layer == reference)
                        continue;
                    if (isCancelled(progress)) {
                        stop = true;
                        return;
                    }
                    if (const QString why = readLayer(layer, work.layer); !why.isEmpty()) {
                        fail(layer, why);
                        return;
                    }
                    shifts[std::size_t(layer)] = correlator.measure(work);
                    advance(progress);
                }
            } catch (const std::bad_alloc&) {
                fail(layer, noMemory());
            } catch (...) {
                fail(layer, unreadable(layer));
            }
        });
        if (!failure.isEmpty())
            return refuse(failure);
        if (stop || isCancelled(progress))
            return std::nullopt;
        return shifts;
    } catch (const std::bad_alloc&) {
        return refuse(noMemory());
    } catch (...) {
        return refuse(QStringLiteral("The layers cannot be aligned."));
    }
}
