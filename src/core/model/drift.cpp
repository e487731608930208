#include "core/model/drift.h"

#include "core/parallel.h"
#include "core/progress.h"
#include "core/result.h"

#include <QMutex>
#include <QMutexLocker>
#include <QPoint>
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <complex>
#include <cstdint>
#include <fftw3.h>
#include <iterator>
#include <limits>
#include <memory>
#include <new>
#include <numbers>
#include <numeric>
#include <optional>
#include <type_traits>
#include <variant>

namespace isolumen {

namespace {

// Tukey window: flat over the middle half, cosine tapers over a quarter of each side at each end.
// The tapers take the frame edges out of the correlation; the flat middle keeps the content there
// at full weight.
constexpr double kTaperFraction = 0.25;

// The summit is fitted with shorter tapers: the peak is known by then and the window follows the
// content, so less of the frame need be given up to its edges. Measured on the benchmark's drift
// cases (the 040702 texture, RMS over twelve random walks), tapers of 0.25, 0.15, 0.1 and 0.05 of
// the side: 500 counts per pixel, 0.052, 0.049, 0.051 and 0.061 px; 5 counts, 0.53, 0.53, 0.54
// and 0.53; 2 counts, 0.71, 0.63, 0.59 and 0.57.
constexpr double kSummitTaperFraction = 0.15;

// The least share of the strongest ring's part in the summit's fit that a ring needs to be
// included. The many weak rings of a well-exposed layer add up: at 1e-4 the benchmark's drift
// case of 500 counts per pixel came out at 0.049 px RMS, at 1e-7 0.045 (5000 counts: 0.025 and
// 0.017).
constexpr double kBandShare = 1e-7;

// How deep into the summit's tapers, as a share of their length, the frame may cut a moved area
// before the reference is cut alike: there the window has only reached 0.024.
constexpr double kShallowCut = 0.1;

// The cross-power is normalised by its magnitude plus this many times the power that counting
// noise adds to a bin: frequencies where the texture stands well above the noise count fully
// (phase correlation), those below it count by their strength (cross-correlation), so that the
// high frequencies of sparse layers, which hold mostly noise, fade out by themselves. Measured
// on the benchmark's drift cases (the 040702 texture, 20 and 500 counts per pixel): 0 (plain
// phase correlation) 0.68 and 0.105 px RMS, 1 0.52 and 0.093, 3 0.41 and 0.083, 30 0.38 and
// 0.092, 1000 (cross-correlation) 0.39 and 0.115.
constexpr double kNoiseWeight = 3;

// The least overlap a candidate's height is divided by: further out the layers share so little
// that a peak there is mostly noise.
constexpr double kLeastOverlap = 0.1;

// Candidate peaks kept per correlation, for the choice of the one nearest the previous shift.
constexpr int kCandidates = 9;

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

// The window over n samples with tapers of `fraction` of n, moved by `offset` pixels to follow
// content that moved.
std::vector<float> tukeyWindow(int n, double fraction, double offset)
{
    std::vector<float> w(n);
    const double taper = fraction * n;
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

// w times a taper from 0 at `first` up to 1 over `taper` samples, and from 1 down to 0 at `end`,
// where those lie inside w.
std::vector<float> taperedBetween(std::vector<float> w, int first, int end, double taper)
{
    const auto fade = [taper](double from) {
        return from >= taper ? 1.0f : float(0.5 - 0.5 * std::cos(std::numbers::pi * from / taper));
    };
    const int n = int(w.size());
    for (int i = 0; i < n; ++i) {
        if (first > 0)
            w[std::size_t(i)] *= i < first ? 0.0f : fade(i - first + 0.5);
        if (end < n)
            w[std::size_t(i)] *= i >= end ? 0.0f : fade(end - i - 0.5);
    }
    return w;
}

// exp(-f^2 / (2 sigma^2)) for the signed frequency of each of the first `bins` of n bins.
std::vector<float> lowPassWeight(int n, int bins, double sigma)
{
    std::vector<float> w(bins);
    for (int k = 0; k < bins; ++k) {
        const double f = double(k <= n / 2 ? k : k - n) / n;
        w[std::size_t(k)] = float(std::exp(-f * f / (2 * sigma * sigma)));
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

// The window's overlap with itself moved by d pixels, over its overlap unmoved, for d from 0
// to its length.
std::vector<double> selfOverlap(const std::vector<float>& w)
{
    const std::size_t n = w.size();
    std::vector<double> overlap(n + 1, 0.0);
    for (std::size_t d = 0; d < n; ++d) {
        for (std::size_t i = 0; i + d < n; ++i)
            overlap[d] += double(w[i]) * w[i + d];
    }
    const double whole = overlap[0];
    for (double& o : overlap)
        o = whole > 0 ? o / whole : 0.0;
    return overlap;
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
    double noise = 0; // the counting noise's power per frequency in the windowed layer
    double level = 0; // the layer's window-weighted mean
    std::vector<std::complex<float>> weightedCrossPower; // at full resolution, for the summit
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
          m_cols(fastEvenSize(area.width())),
          m_windowX(tukeyWindow(area.width(), kTaperFraction, 0)),
          m_windowY(tukeyWindow(area.height(), kTaperFraction, 0)),
          m_overlapX(selfOverlap(m_windowX)), m_overlapY(selfOverlap(m_windowY)),
          m_ringOf(ringIndices())
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

    // Plans on the workspace's buffers, the first time, then takes the reference from its
    // layer. False when FFTW cannot plan.
    bool setReference(Workspace& work)
    {
        if (!m_forward) {
            const QMutexLocker lock(&plannerMutex());
            // A plan made alone is destroyed here: Plan's own deleter would wait on this lock.
            const auto plan = [&](unsigned flags) {
                fftwf_plan forward = fftwf_plan_dft_r2c_2d(m_rows, m_cols, work.real.get(),
                                                           work.spectrum.get(), flags);
                fftwf_plan inverse = fftwf_plan_dft_c2r_2d(
                    peakRows(), peakCols(), work.crossPower.get(), work.real.get(), flags);
                fftwf_plan full = fftwf_plan_dft_c2r_2d(m_rows, m_cols, work.spectrum.get(),
                                                        work.real.get(), flags);
                if (forward && inverse && full) {
                    m_forward.reset(forward);
                    m_inverse.reset(inverse);
                    m_inverseFull.reset(full);
                    return true;
                }
                for (fftwf_plan p : {forward, inverse, full}) {
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
        m_referencePhase = conjugateSpectrum(work);
        m_referenceNoise = work.noise;
        m_referenceLayer = work.layer;
        m_summitReference = summitReference(work, summitWindow(m_area.width(), 0),
                                            summitWindow(m_area.height(), 0));
        return true;
    }

    // The candidate peaks of the correlation of the workspace's layer with the reference, the
    // highest first, and how far the highest stands out of the surface's noise. The low-pass
    // weight has standard deviation sigma (cycles per pixel).
    std::pair<std::vector<PeakCandidate>, double> candidates(Workspace& work,
                                                                       double sigma) const
    {
        transform(work, {0, 0}, m_windowX, m_windowY);
        correlate(work, sigma);
        std::vector<PeakCandidate> found = localMaxima(work.real.get());
        return {found, found.empty() ? 0.0 : surfaceConfidence(work.real.get())};
    }

    // The shift near `coarse`: a second correlation, with the window moved to follow the
    // content, fits the summit. With the window fixed, content under the tapers is weighed
    // differently in the two layers, which moves the estimate by up to a few tenths of a pixel
    // at shifts of ten.
    //
    // Where the frame cuts the moved area deeper than a tenth of the tapers, the layer stops
    // short of content the reference holds: an edge that draws the summit (0.2 px at a shift of
    // a third of the side). Both are then windowed alike up to the cut, which costs a transform
    // of the reference.
    Shift refine(Workspace& work, Shift coarse) const
    {
        const QPoint whole(qRound(coarse.dx), qRound(coarse.dy));
        const QRect moved = m_area.translated(whole);
        std::vector<float> windowX = summitWindow(m_area.width(), coarse.dx - whole.x());
        std::vector<float> windowY = summitWindow(m_area.height(), coarse.dy - whole.y());
        std::vector<float> referenceX = summitWindow(m_area.width(), 0);
        std::vector<float> referenceY = summitWindow(m_area.height(), 0);
        bool cut = false;
        const auto cutAlike = [&](std::vector<float>& w, std::vector<float>& reference, int start) {
            const int n = int(w.size());
            const int first = -start;       // the first sample in the frame
            const int end = m_side - start; // past the last
            const double taper = kSummitTaperFraction * n;
            if (std::max(first, n - end) <= kShallowCut * taper)
                return;
            w = taperedBetween(std::move(w), first, end, taper);
            reference = taperedBetween(std::move(reference), first, end, taper);
            cut = true;
        };
        cutAlike(windowX, referenceX, moved.left());
        cutAlike(windowY, referenceY, moved.top());
        std::optional<SummitReference> cutReference;
        if (cut) {
            Workspace reference;
            if (!allocate(reference))
                throw std::bad_alloc();
            reference.layer = m_referenceLayer;
            cutReference = summitReference(reference, referenceX, referenceY);
        }
        transform(work, whole, windowX, windowY);
        const Shift fine = fineSummit(work, {coarse.dx - whole.x(), coarse.dy - whole.y()},
                                      cutReference ? *cutReference : m_summitReference);
        return {whole.x() + fine.dx, whole.y() + fine.dy};
    }

private:
    // The reference as summits are fitted against it: its spectrum under a window, conjugated
    // (which a layer's spectrum multiplies into the cross-power), its power by ring and its
    // window-weighted mean.
    struct SummitReference
    {
        std::vector<std::complex<float>> conjugate;
        RingPower power;
        double level = 0;
    };

    std::vector<float> summitWindow(int n, double offset) const
    {
        return tukeyWindow(n, kSummitTaperFraction, offset);
    }

    std::vector<std::complex<float>> conjugateSpectrum(const Workspace& work) const
    {
        std::vector<std::complex<float>> out(std::size_t(m_rows) * bins());
        for (qsizetype i = 0; i < qsizetype(out.size()); ++i)
            out[std::size_t(i)] = {work.spectrum[i][0], -work.spectrum[i][1]};
        return out;
    }

    // The workspace's layer under the windows as a reference for summits.
    SummitReference summitReference(Workspace& work, const std::vector<float>& windowX,
                                    const std::vector<float>& windowY) const
    {
        transform(work, {0, 0}, windowX, windowY);
        return {conjugateSpectrum(work), ringPower(work), work.level};
    }

    int bins() const { return m_cols / 2 + 1; }
    int peakRows() const { return m_rows / 2; }
    int peakCols() const { return m_cols / 2; }
    int peakBins() const { return peakCols() / 2 + 1; }
    // The number of rings a spectrum's power is averaged in: one per 1 / n cycles per pixel up
    // to the corner, for n the longer side of the transform.
    int ringSpan() const { return std::max(m_rows, m_cols); }
    int rings() const { return int(std::ceil(std::sqrt(0.5) * ringSpan())) + 1; }

    // The ring of each bin of the half spectrum.
    std::vector<std::uint16_t> ringIndices() const
    {
        std::vector<std::uint16_t> ring(std::size_t(m_rows) * bins());
        for (int r = 0; r < m_rows; ++r) {
            const double fy = double(signedIndex(r, m_rows)) / m_rows;
            for (int c = 0; c < bins(); ++c) {
                const double f = std::hypot(double(c) / m_cols, fy);
                ring[std::size_t(r) * bins() + c] =
                    std::uint16_t(std::min(rings() - 1, int(std::lround(f * ringSpan()))));
            }
        }
        return ring;
    }

    // The power of the workspace's spectrum by ring, and its noise.
    RingPower ringPower(const Workspace& work) const
    {
        RingPower power;
        power.mean.assign(std::size_t(rings()), 0.0);
        std::vector<qsizetype> counted(std::size_t(rings()), 0);
        const qsizetype n = qsizetype(m_rows) * bins();
        for (qsizetype i = 0; i < n; ++i) {
            const std::size_t k = m_ringOf[std::size_t(i)];
            power.mean[k] += double(work.spectrum[i][0]) * work.spectrum[i][0] +
                             double(work.spectrum[i][1]) * work.spectrum[i][1];
            ++counted[k];
        }
        for (std::size_t k = 0; k < power.mean.size(); ++k)
            power.mean[k] = counted[k] ? power.mean[k] / double(counted[k]) : 0.0;
        power.noise = work.noise;
        return power;
    }

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
        work.noise = work.level = 0;
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
            double noise = 0;
            for (int y = 0; y < from.height(); ++y) {
                const float* row = sampleRow(y);
                float* dst = out + qsizetype(y0 + y) * m_cols + x0;
                const float wy = windowY[std::size_t(y0 + y)];
                float rowNoise = 0;
                for (int x = 0; x < from.width(); ++x) {
                    const float w = wy * windowX[std::size_t(x0 + x)];
                    dst[x] = w * (row[x] - mean);
                    rowNoise += w * w * std::max(row[x], 0.0f);
                }
                noise += rowNoise;
            }
            work.noise = noise;
            work.level = mean;
        }
        fftwf_execute_dft_r2c(m_forward.get(), out, work.spectrum.get());
    }

    // The correlation of the transformed layer with the reference, into work.real (peakRows
    // by peakCols samples, every second pixel), through a Gaussian low-pass of sigma.
    void correlate(Workspace& work, double sigma) const
    {
        const std::vector<float> weightX = lowPassWeight(m_cols, peakBins(), sigma);
        const std::vector<float> weightsY = lowPassWeight(m_rows, m_rows, sigma);
        // Plain float arithmetic: std::complex's checks for infinities made this loop cost
        // half as much as the transforms.
        fftwf_complex* cross = work.crossPower.get();
        const float noise = noiseFloor(work);
        for (int r = 0; r < peakRows(); ++r) {
            const int row = spectrumRow(r);
            const fftwf_complex* spectrum = work.spectrum.get() + qsizetype(row) * bins();
            const std::complex<float>* phase = m_referencePhase.data() + qsizetype(row) * bins();
            const float weightY = weightsY[std::size_t(row)];
            for (int c = 0; c < peakBins(); ++c, ++phase, ++cross) {
                const float re = spectrum[c][0] * phase->real() - spectrum[c][1] * phase->imag();
                const float im = spectrum[c][0] * phase->imag() + spectrum[c][1] * phase->real();
                const float scale =
                    weightY * weightX[std::size_t(c)] / (std::sqrt(re * re + im * im) + noise);
                (*cross)[0] = re * scale;
                (*cross)[1] = im * scale;
            }
        }
        work.crossPower[0][0] = work.crossPower[0][1] = 0; // the constant carries no position
        fftwf_execute_dft_c2r(m_inverse.get(), work.crossPower.get(), work.real.get());
    }

    // What the counting noise of the layer and the reference adds to a bin of their
    // cross-power, times kNoiseWeight. The smallest normal float keeps a zero from dividing by
    // zero and leaves any other power as it is.
    float noiseFloor(const Workspace& work) const
    {
        return float(kNoiseWeight * std::sqrt(work.noise * m_referenceNoise)) +
               std::numeric_limits<float>::min();
    }

    // The frequencies the summit is fitted on: the first `columns` columns of the half spectrum
    // and the rows up to rowsEachWay either side of the constant.
    struct Band
    {
        int columns = 0;
        int rowsEachWay = 0;
    };

    // The full-resolution cross-power of the transformed layer with the reference over the
    // band where it counts, each ring by its summitWeights(), in place of the layer's spectrum.
    // The band reaches as far as rings whose part in the fit (weight times the cross-power's
    // magnitude) is kBandShare of the strongest's. The rest of the spectrum is left as it
    // is: see sampledSummit().
    Band fullCrossPower(Workspace& work, const SummitReference& reference) const
    {
        const double ratio = reference.level > 0 ? work.level / reference.level : 0.0;
        const std::vector<double> weights = summitWeights(reference.power, ratio, work.noise);
        std::vector<double> part(weights.size(), 0.0);
        for (std::size_t k = 0; k < weights.size(); ++k)
            part[k] = weights[k] * ratio * std::max(0.0, reference.power.mean[k]);
        const double strongest = *std::max_element(part.begin(), part.end());
        int last = 0;
        for (int k = 0; k < int(part.size()); ++k) {
            if (part[std::size_t(k)] > kBandShare * strongest)
                last = k;
        }
        const double reach = double(last + 1) / ringSpan(); // cycles per pixel
        const Band band{std::min(bins(), int(std::ceil(reach * m_cols)) + 1),
                        std::min(m_rows / 2, int(std::ceil(reach * m_rows)))};
        for (int k = -band.rowsEachWay; k <= band.rowsEachWay; ++k) {
            const qsizetype first = qsizetype(k < 0 ? k + m_rows : k) * bins();
            for (qsizetype i = first; i < first + band.columns; ++i) {
                const std::complex<float> phase = reference.conjugate[std::size_t(i)];
                fftwf_complex& bin = work.spectrum[i];
                const float re = bin[0] * phase.real() - bin[1] * phase.imag();
                const float im = bin[0] * phase.imag() + bin[1] * phase.real();
                const float scale = float(weights[m_ringOf[std::size_t(i)]]);
                bin[0] = re * scale;
                bin[1] = im * scale;
            }
        }
        work.spectrum[0][0] = work.spectrum[0][1] = 0;
        return band;
    }

    // The summit of the full-resolution correlation near `start`, within a pixel of no shift:
    // continuousSummit() from `start`, or where that does not settle, sampledSummit().
    Shift fineSummit(Workspace& work, Shift start, const SummitReference& reference) const
    {
        const Band band = fullCrossPower(work, reference);
        const auto* crossPower = reinterpret_cast<const std::complex<float>*>(work.spectrum.get());
        // Started a few tenths of a pixel from the summit, as most are, the steps settle without
        // the correlation being sampled, which costs a whole inverse transform.
        if (const Summit direct = continuousSummit(crossPower, start, band);
            direct.settled && std::hypot(direct.at.dx - start.dx, direct.at.dy - start.dy) <= 1)
            return direct.at;
        return sampledSummit(work, band);
    }

    // continuousSummit() from the highest sample of the correlation within a pixel of no
    // shift, moved by parabolas through it and its neighbours.
    Shift sampledSummit(Workspace& work, Band band) const
    {
        // Only the band holds the cross-power; the rest still holds the layer's spectrum.
        for (int r = 0; r < m_rows; ++r) {
            const int k = signedIndex(r, m_rows);
            const bool inBand = k >= -band.rowsEachWay && k <= band.rowsEachWay;
            float* row = reinterpret_cast<float*>(work.spectrum.get() + qsizetype(r) * bins());
            std::fill(row + 2 * (inBand ? band.columns : 0), row + 2 * bins(), 0.0f);
        }
        // The inverse transform overwrites its input, which the summit's last steps need.
        work.weightedCrossPower.assign(
            reinterpret_cast<const std::complex<float>*>(work.spectrum.get()),
            reinterpret_cast<const std::complex<float>*>(work.spectrum.get()) +
                qsizetype(m_rows) * bins());
        const float* correlation = work.real.get();
        fftwf_execute_dft_c2r(m_inverseFull.get(), work.spectrum.get(), work.real.get());
        const auto at = [&](int r, int c) {
            r = (r % m_rows + m_rows) % m_rows;
            c = (c % m_cols + m_cols) % m_cols;
            return double(correlation[qsizetype(r) * m_cols + c]);
        };
        int row = 0;
        int col = 0;
        for (int r = -1; r <= 1; ++r) {
            for (int c = -1; c <= 1; ++c) {
                if (at(r, c) > at(row, col)) {
                    row = r;
                    col = c;
                }
            }
        }
        const double c0 = at(row, col);
        const double dx = m_cols > 2 ? summitOffset(at(row, col - 1), c0, at(row, col + 1)) : 0.0;
        const double dy = m_rows > 2 ? summitOffset(at(row - 1, col), c0, at(row + 1, col)) : 0.0;
        return continuousSummit(work.weightedCrossPower.data(), {col + dx, row + dy}, band).at;
    }

    struct Summit
    {
        Shift at;
        bool settled = false; // the last step moved less than a ten-thousandth of a pixel
    };

    // The summit of the correlation between samples, which the parabola through three samples
    // only approximates (it pulls towards the nearest sample unless the peak is exactly
    // Gaussian): Newton steps on the correlation as the sum of its frequencies, which is
    // defined at any displacement, from `start`. `crossPower` is the weighted half spectrum,
    // read over `band`.
    Summit continuousSummit(const std::complex<float>* crossPower, Shift start, Band band) const
    {
        constexpr int kSteps = 5;
        constexpr double kSettled = 1e-4;    // pixels
        constexpr double kLongestStep = 0.5; // pixels: further is no longer the same summit
        Summit summit{start};
        Shift& at = summit.at;
        for (int step = 0; step < kSteps && !summit.settled; ++step) {
            const Slope s = slopeAt(crossPower, at, band);
            const double det = s.kxx * s.kyy - s.kxy * s.kxy;
            if (!(s.kxx > 0 && det > 0))
                break; // not near a summit: keep what the samples gave
            const double twoPi = 2 * std::numbers::pi;
            const double sx = -(s.kyy * s.gx - s.kxy * s.gy) / det / twoPi;
            const double sy = -(s.kxx * s.gy - s.kxy * s.gx) / det / twoPi;
            if (!(std::hypot(sx, sy) <= kLongestStep))
                break;
            at = {at.dx + sx, at.dy + sy};
            summit.settled = std::hypot(sx, sy) < kSettled;
        }
        return summit;
    }

    // The correlation's gradient, -2 pi g, and Hessian, -4 pi^2 k, at a displacement.
    struct Slope
    {
        double gx = 0, gy = 0, kxx = 0, kxy = 0, kyy = 0;
    };

    // The slope at `at` from the frequencies of the band.
    Slope slopeAt(const std::complex<float>* crossPower, Shift at, Band band) const
    {
        const int columns = band.columns;
        const int rowsEachWay = band.rowsEachWay;
        const double twoPi = 2 * std::numbers::pi;
        std::vector<double> cosX(std::size_t(columns), 0.0);
        std::vector<double> sinX(std::size_t(columns), 0.0);
        for (int c = 0; c < columns; ++c) {
            // Columns other than the constant and the Nyquist one stand for two bins.
            const double twice = (c == 0 || 2 * c == m_cols) ? 1.0 : 2.0;
            cosX[std::size_t(c)] = twice * std::cos(twoPi * c / m_cols * at.dx);
            sinX[std::size_t(c)] = twice * std::sin(twoPi * c / m_cols * at.dx);
        }
        Slope s;
        for (int k = -rowsEachWay; k <= rowsEachWay; ++k) {
            if (2 * k == -m_rows)
                continue; // the Nyquist row is there once, as +m_rows / 2
            const std::complex<float>* row =
                crossPower + qsizetype(k < 0 ? k + m_rows : k) * bins();
            // Sums over the row of the bins turned to `at` along x: plain, times fx, times fx
            // squared; real and imaginary parts.
            double sr = 0, si = 0, xr = 0, xi = 0, xxr = 0, xxi = 0;
            for (int c = 0; c < columns; ++c) {
                const double re = double(row[c].real()) * cosX[std::size_t(c)] -
                                  double(row[c].imag()) * sinX[std::size_t(c)];
                const double im = double(row[c].real()) * sinX[std::size_t(c)] +
                                  double(row[c].imag()) * cosX[std::size_t(c)];
                const double fx = double(c) / m_cols;
                sr += re;
                si += im;
                xr += fx * re;
                xi += fx * im;
                xxr += fx * fx * re;
                xxi += fx * fx * im;
            }
            const double fy = double(k) / m_rows;
            const double cy = std::cos(twoPi * fy * at.dy);
            const double sy = std::sin(twoPi * fy * at.dy);
            s.gx += xr * sy + xi * cy;
            s.gy += fy * (sr * sy + si * cy);
            s.kxx += xxr * cy - xxi * sy;
            s.kxy += fy * (xr * cy - xi * sy);
            s.kyy += fy * fy * (sr * cy - si * sy);
        }
        return s;
    }

    // The correlation sample at (r, c), wrapping around.
    double sample(const float* correlation, int r, int c) const
    {
        const int rows = peakRows();
        const int cols = peakCols();
        r = (r % rows + rows) % rows;
        c = (c % cols + cols) % cols;
        return double(correlation[qsizetype(r) * cols + c]);
    }

    // The summit near the sample (row, col), in pixels.
    Shift summit(const float* correlation, int row, int col) const
    {
        const auto at = [&](int r, int c) { return sample(correlation, r, c); };
        const double c0 = at(row, col);
        const double dx =
            peakCols() > 2 ? summitOffset(at(row, col - 1), c0, at(row, col + 1)) : 0.0;
        const double dy =
            peakRows() > 2 ? summitOffset(at(row - 1, col), c0, at(row + 1, col)) : 0.0;
        // Correlation samples lie two pixels apart.
        return {2 * (col + dx), 2 * (row + dy)};
    }

    // The kCandidates highest samples above their eight neighbours, highest first, as summits.
    std::vector<PeakCandidate> localMaxima(const float* correlation) const
    {
        const int rows = peakRows();
        const int cols = peakCols();
        // A peak's height over the share of the windowed area the two layers have in common at
        // its shift: aliases of periodic structure nearer no shift would otherwise always
        // stand higher than the true peak further out.
        const auto normalised = [&](int r, int c, float v) {
            const std::size_t dx = std::size_t(std::abs(2 * signedIndex(c, cols)));
            const std::size_t dy = std::size_t(std::abs(2 * signedIndex(r, rows)));
            const double overlap = (dx < m_overlapX.size() ? m_overlapX[dx] : 0.0) *
                                   (dy < m_overlapY.size() ? m_overlapY[dy] : 0.0);
            return float(v / std::max(overlap, kLeastOverlap));
        };
        std::vector<std::pair<float, qsizetype>> maxima;
        const auto above = [&](int r, int c, float v) {
            for (int dr = -1; dr <= 1; ++dr) {
                for (int dc = -1; dc <= 1; ++dc) {
                    if ((dr || dc) && sample(correlation, r + dr, c + dc) >= v)
                        return false;
                }
            }
            return true;
        };
        // Only a sample above the lowest kept candidate needs its neighbours looked at.
        float lowest = -std::numeric_limits<float>::infinity();
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) {
                const float v = correlation[qsizetype(r) * cols + c];
                const float height = normalised(r, c, v);
                if (height <= lowest || !above(r, c, v))
                    continue;
                maxima.emplace_back(height, qsizetype(r) * cols + c);
                std::sort(maxima.begin(), maxima.end(), std::greater<>());
                if (int(maxima.size()) > kCandidates)
                    maxima.pop_back();
                if (int(maxima.size()) == kCandidates)
                    lowest = maxima.back().first;
            }
        }
        std::vector<PeakCandidate> out;
        for (const auto& [v, i] : maxima) {
            const int r = signedIndex(int(i / cols), rows);
            const int c = signedIndex(int(i % cols), cols);
            out.push_back({summit(correlation, r, c), double(v)});
        }
        return out;
    }

    // How far the surface's highest sample stands out of its noise.
    double surfaceConfidence(const float* correlation) const
    {
        const qsizetype n = qsizetype(peakRows()) * peakCols();
        double sum = 0;
        double squares = 0;
        float peak = -std::numeric_limits<float>::infinity();
        for (qsizetype i = 0; i < n; ++i) {
            peak = std::max(peak, correlation[i]);
            sum += correlation[i];
            squares += double(correlation[i]) * correlation[i];
        }
        const double mean = sum / double(n);
        const double deviation = std::sqrt(std::max(0.0, squares / double(n) - mean * mean));
        return peakConfidence(peak, mean, deviation, n);
    }

    int m_side;
    int m_layers;
    QRect m_area;
    int m_rows;
    int m_cols;
    std::vector<float> m_windowX;
    std::vector<float> m_windowY;
    std::vector<double> m_overlapX; // by displacement in pixels, see selfOverlap()
    std::vector<double> m_overlapY;
    Plan m_forward;
    Plan m_inverse;
    Plan m_inverseFull;
    std::vector<std::uint16_t> m_ringOf; // by bin of the half spectrum
    std::vector<std::complex<float>> m_referencePhase;
    double m_referenceNoise = 0;
    std::vector<float> m_referenceLayer;
    SummitReference m_summitReference; // under the summit's window, uncut
};

QString unreadable(int layer)
{
    return QStringLiteral("Layer %1 cannot be read.").arg(layer + 1);
}

QString noMemory()
{
    return QStringLiteral("Not enough memory to align the layers.");
}

// Layers whose counts are looked at to choose the bin: enough for a steady median, few enough
// to cost little beside the estimate.
constexpr int kCountSamples = 16;

// The mean of a layer's values over an area of the frame.
double areaMean(const std::vector<float>& layer, int side, QRect area)
{
    double sum = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const float* row = layer.data() + qsizetype(y) * side;
        sum += std::accumulate(row + area.left(), row + area.right() + 1, 0.0);
    }
    return sum / (double(area.width()) * area.height());
}

// Pixels brighter than all but a thousandth of the layer (a hot spot, a dust grain that
// charges) are brought down to that level: left as they are, a spot that does not drift
// outweighs the texture in the whitened cross-power and pins the shift at no drift. A thousandth
// leaves whole the bright structure of a sparse layer (a few cells on no background). Measured
// on the benchmark's hot spot (2 x 2 pixels at 50 times the mean, 500 counts per pixel):
// 3.2 px RMS unclipped, 0.085 px clipped (as without the spot). The quantile is taken on up to
// kQuantileSample pixels spread over the layer.
constexpr double kOutlierQuantile = 0.999;
constexpr std::size_t kQuantileSample = 16384;

void clipOutliers(std::vector<float>& layer)
{
    const std::size_t stride = std::max<std::size_t>(1, layer.size() / kQuantileSample);
    std::vector<float> sample;
    sample.reserve(layer.size() / stride + 1);
    for (std::size_t i = 0; i < layer.size(); i += stride)
        sample.push_back(layer[i]);
    if (sample.size() < 2)
        return;
    const auto nth = sample.begin() + qsizetype(kOutlierQuantile * double(sample.size() - 1));
    std::nth_element(sample.begin(), nth, sample.end());
    const float bound = *nth;
    std::transform(layer.begin(), layer.end(), layer.begin(),
                   [bound](float v) { return std::min(v, bound); });
}

// A layer with nothing to correlate: every value the same (mostly: no counts at all).
bool isFlat(const std::vector<float>& layer)
{
    // Layers with counts mostly differ within their first few values.
    return layer.empty() || std::all_of(layer.begin(), layer.end(),
                                        [first = layer.front()](float v) { return v == first; });
}

// One run of the estimate: the layers grouped into bins, each bin summed and correlated with
// the reference bin on all cores, then the peaks chosen, the unsure shifts flagged and every
// layer's shift interpolated from the bins' centres.
class DriftRun
{
public:
    DriftRun(int side, int layerCount, const LayerSource& source, const DriftOptions& options,
             QRect area, Progress* progress)
        : m_side(side), m_layers(layerCount), m_source(source), m_options(options), m_area(area),
          m_progress(progress), m_flat(std::size_t(layerCount), 0)
    {
    }

    // Empty when the layer was read whole and holds numbers only.
    QString read(int layer, std::vector<float>& into) const
    {
        if (!m_source(layer, into) || qsizetype(into.size()) != qsizetype(m_side) * m_side)
            return unreadable(layer);
        if (!std::all_of(into.begin(), into.end(), [](float v) { return std::isfinite(v); }))
            return QStringLiteral("Layer %1 holds values that are not numbers.").arg(layer + 1);
        return QString();
    }

    bool excluded(int layer) const
    {
        return layer < int(m_options.excluded.size()) && m_options.excluded[std::size_t(layer)];
    }
    bool byHand(int layer) const
    {
        return layer < int(m_options.byHand.size()) && m_options.byHand[std::size_t(layer)];
    }

    // Groups the included layers into bins of `bin`; false when the reference is excluded.
    bool makeBins(int bin)
    {
        m_bin = std::max(1, bin);
        for (int l = 0; l < m_layers; ++l) {
            // A layer set by hand is not measured, but the reference always is.
            if (excluded(l) || (byHand(l) && l != m_options.referenceLayer))
                continue;
            if (m_bins.empty() || int(m_bins.back().size()) == m_bin)
                m_bins.emplace_back();
            m_bins.back().push_back(l);
            if (l == m_options.referenceLayer)
                m_referenceBin = int(m_bins.size()) - 1;
        }
        return m_referenceBin >= 0;
    }

    // The median counts per pixel of up to kCountSamples included layers.
    Result<double> typicalCounts() const
    {
        std::vector<int> included;
        for (int l = 0; l < m_layers; ++l) {
            if (!excluded(l))
                included.push_back(l);
        }
        std::vector<double> counts;
        std::vector<float> layer;
        const int n = int(included.size());
        for (int k = 0; k < std::min(n, kCountSamples); ++k) {
            const int l = included[std::size_t(qint64(k) * n / std::min(n, kCountSamples))];
            if (const QString why = read(l, layer); !why.isEmpty())
                return Failure{why};
            if (!isFlat(layer))
                counts.push_back(areaMean(layer, m_side, m_area));
        }
        if (counts.empty())
            return 0.0;
        std::nth_element(counts.begin(), counts.begin() + counts.size() / 2, counts.end());
        return counts[counts.size() / 2];
    }

    // Sums bin b into work.layer; marks its flat layers. Empty when read, else why not.
    QString sumBin(int b, Workspace& work)
    {
        std::vector<float> layer;
        work.layer.assign(std::size_t(m_side) * m_side, 0.0f);
        for (const int l : m_bins[std::size_t(b)]) {
            if (const QString why = read(l, layer); !why.isEmpty())
                return why;
            m_flat[std::size_t(l)] = isFlat(layer);
            std::transform(layer.begin(), layer.end(), work.layer.begin(), work.layer.begin(),
                           std::plus<>());
            advance(m_progress);
        }
        clipOutliers(work.layer);
        return QString();
    }

    bool binIsFlat(int b) const
    {
        const std::vector<int>& layers = m_bins[std::size_t(b)];
        return std::all_of(layers.begin(), layers.end(),
                           [&](int l) { return m_flat[std::size_t(l)] != 0; });
    }

    // The low-pass the peak is looked for through, from the sparser of the bin and the
    // reference.
    double lowPassFor(const Workspace& work) const
    {
        return peakLowPass(std::min(areaMean(work.layer, m_side, m_area), m_referenceCounts));
    }

    // Finds the candidate peaks of bin b (already summed into work) against the reference.
    void measureBin(int b, Workspace& work, const PhaseCorrelator& correlator)
    {
        BlockEstimate& e = m_estimates[std::size_t(b)];
        if (binIsFlat(b)) {
            e.origin = ShiftOrigin::Empty;
            return;
        }
        auto [candidates, confidence] = correlator.candidates(work, lowPassFor(work));
        e.candidates = std::move(candidates);
        e.confidence = confidence;
        if (e.candidates.empty()) {
            e.origin = ShiftOrigin::LowConfidence;
            return;
        }
        if (e.confidence < m_options.minConfidence)
            e.origin = ShiftOrigin::LowConfidence;
    }

    Result<DriftEstimate> run();

private:
    QString setReference(PhaseCorrelator& correlator);
    QString measureAll(const PhaseCorrelator& correlator);
    QString refineOnReference(const std::vector<int>& bins, const PhaseCorrelator& correlator);
    // The measured bins, every second one in each.
    using Halves = std::array<std::vector<int>, 2>;
    QString buildTemplates(const Halves& halves, std::array<std::vector<float>, 2>& sums);
    Halves measuredHalves() const;
    Result<bool> readReferenceLayer(Workspace& work) const;
    // Every bin of the halves with its half (0 or 1).
    static std::vector<std::pair<int, int>> byHalf(const Halves& halves);
    // Runs chunk(begin, end) over [0, count) on all cores. The first failure stops every chunk
    // (a message, or a throw: out of memory or otherwise); returned is the one of the earliest
    // chunk, which a run on one core would have met.
    QString onAllCores(qsizetype count, const std::function<QString(qsizetype, qsizetype)>& chunk);
    QString measureOnTemplates(const Halves& halves);
    DriftEstimate assemble() const;
    bool cancelled() const { return m_stop || isCancelled(m_progress); }

    int m_side;
    int m_layers;
    const LayerSource& m_source;
    const DriftOptions& m_options;
    QRect m_area;
    Progress* m_progress;
    std::vector<char> m_flat; // by layer: nothing to correlate
    int m_bin = 1;
    std::vector<std::vector<int>> m_bins;
    int m_referenceBin = -1;
    double m_referenceCounts = 0;
    std::vector<BlockEstimate> m_estimates;
    std::atomic<bool> m_stop{false};
    // Binned: the reference layer's own shift from its bin's, where it was measured.
    std::optional<Shift> m_referenceLayerShift;
};

QString DriftRun::setReference(PhaseCorrelator& correlator)
{
    Workspace work;
    if (!correlator.allocate(work))
        return noMemory();
    if (const QString why = sumBin(m_referenceBin, work); !why.isEmpty())
        return why;
    if (binIsFlat(m_referenceBin))
        return QStringLiteral("The reference layer %1 has no counts to align on.")
            .arg(m_options.referenceLayer + 1);
    m_referenceCounts = areaMean(work.layer, m_side, m_area);
    if (!correlator.setReference(work))
        return noMemory();
    BlockEstimate& e = m_estimates[std::size_t(m_referenceBin)];
    e.confidence = 1;
    e.candidates = {{Shift{}, 1.0}};
    return QString();
}

QString DriftRun::onAllCores(qsizetype count,
                             const std::function<QString(qsizetype, qsizetype)>& chunk)
{
    QMutex mutex;
    qsizetype failedAt = std::numeric_limits<qsizetype>::max();
    QString failure;
    const auto fail = [&](qsizetype at, const QString& why) {
        const QMutexLocker lock(&mutex);
        if (at < failedAt) {
            failedAt = at;
            failure = why;
        }
        m_stop = true;
    };
    parallelFor(count, 1, [&](qsizetype begin, qsizetype end) {
        // Nothing may leave a worker thread: a throw there would end the program.
        try {
            if (const QString why = chunk(begin, end); !why.isEmpty())
                fail(begin, why);
        } catch (const std::bad_alloc&) {
            fail(begin, noMemory());
        } catch (...) {
            fail(begin, QStringLiteral("The layers cannot be aligned."));
        }
    });
    return failure;
}

QString DriftRun::measureAll(const PhaseCorrelator& correlator)
{
    return onAllCores(qsizetype(m_bins.size()), [&](qsizetype begin, qsizetype end) {
        Workspace work;
        if (!correlator.allocate(work))
            return noMemory();
        for (int b = int(begin); b < end && !cancelled(); ++b) {
            if (b == m_referenceBin)
                continue;
            if (const QString why = sumBin(b, work); !why.isEmpty())
                return why;
            measureBin(b, work, correlator);
        }
        return QString();
    });
}

// The summit of every bin in `bins` fitted against the reference, at its chosen peak.
QString DriftRun::refineOnReference(const std::vector<int>& bins, const PhaseCorrelator& correlator)
{
    Workspace work;
    if (!correlator.allocate(work))
        return noMemory();
    for (const int b : bins) {
        if (cancelled())
            return QString();
        if (const QString why = sumBin(b, work); !why.isEmpty())
            return why;
        BlockEstimate& e = m_estimates[std::size_t(b)];
        e.shift = correlator.refine(work, e.shift);
    }
    return QString();
}

// Adds layer, moved back by shift onto the reference (bilinear; nothing from outside the frame),
// to summed.
void addMovedBack(const std::vector<float>& layer, int side, Shift shift,
                  std::vector<float>& summed)
{
    const int wholeX = int(std::floor(shift.dx));
    const int wholeY = int(std::floor(shift.dy));
    const float fx = float(shift.dx - wholeX);
    const float fy = float(shift.dy - wholeY);
    // Pixel x reads columns x + wholeX and the next; both lie in the frame for x in
    // [inside, insideEnd).
    const int inside = std::clamp(-wholeX, 0, side);
    const int insideEnd = std::clamp(side - 1 - wholeX, inside, side);
    const std::vector<float> outsideRow(std::size_t(side), 0.0f);
    const auto sourceRow = [&](int y) {
        return y >= 0 && y < side ? layer.data() + std::size_t(y) * side : outsideRow.data();
    };
    for (int y = 0; y < side; ++y) {
        float* out = summed.data() + std::size_t(y) * side;
        const float* above = sourceRow(y + wholeY);
        const float* below = sourceRow(y + wholeY + 1);
        const auto add = [&](int x) {
            const int sx = x + wholeX;
            const auto at = [&](const float* row, int c) {
                return c >= 0 && c < side ? row[c] : 0.0f;
            };
            out[x] += (1 - fy) * ((1 - fx) * at(above, sx) + fx * at(above, sx + 1)) +
                      fy * ((1 - fx) * at(below, sx) + fx * at(below, sx + 1));
        };
        for (int x = 0; x < inside; ++x)
            add(x);
        const float* a = above + wholeX;
        const float* b = below + wholeX;
        for (int x = inside; x < insideEnd; ++x)
            out[x] += (1 - fy) * ((1 - fx) * a[x] + fx * a[x + 1]) +
                      fy * ((1 - fx) * b[x] + fx * b[x + 1]);
        for (int x = insideEnd; x < side; ++x)
            add(x);
    }
}

// The bins of each half moved back onto the reference and summed, a half into each of `sums`,
// on all cores.
QString DriftRun::buildTemplates(const Halves& halves, std::array<std::vector<float>, 2>& sums)
{
    for (std::vector<float>& sum : sums)
        sum.assign(std::size_t(m_side) * m_side, 0.0f);
    const std::vector<std::pair<int, int>> bins = byHalf(halves);
    QMutex mutex;
    return onAllCores(qsizetype(bins.size()), [&](qsizetype begin, qsizetype end) {
        Workspace work;
        std::array<std::vector<float>, 2> own;
        for (std::vector<float>& sum : own)
            sum.assign(std::size_t(m_side) * m_side, 0.0f);
        for (qsizetype i = begin; i < end && !cancelled(); ++i) {
            const auto [b, h] = bins[std::size_t(i)];
            if (const QString why = sumBin(b, work); !why.isEmpty())
                return why;
            addMovedBack(work.layer, m_side, m_estimates[std::size_t(b)].shift,
                         own[std::size_t(h)]);
        }
        const QMutexLocker lock(&mutex);
        for (std::size_t h = 0; h < 2; ++h)
            std::transform(own[h].begin(), own[h].end(), sums[h].begin(), sums[h].begin(),
                           std::plus<>());
        return QString();
    });
}

// Every measured bin measured again against the sum of the other half of the measured bins
// (every second one), then taken relative to the reference bin. Against a reference as sparse
// as itself, an estimate carries the reference's noise; against a sum that held its own counts,
// it would be drawn to where it was first measured. The two sums are measured against each
// other to bring the halves to one origin. Measured on the benchmark's drift cases (the 040702
// texture, RMS over twelve random walks), against the reference bin and against the halves:
// 500 counts per pixel, 0.060 and 0.049 px; 5 counts in bins of 4, 0.77 and 0.53; 2 counts in
// bins of 10, 0.87 and 0.63.
// Reads the reference layer on its own into work, outliers clipped. False when it holds less
// than half a typical layer's counts: too few to place it by itself.
Result<bool> DriftRun::readReferenceLayer(Workspace& work) const
{
    if (const QString why = read(m_options.referenceLayer, work.layer); !why.isEmpty())
        return Failure{why};
    if (areaMean(work.layer, m_side, m_area) < 0.5 * m_referenceCounts / m_bin)
        return false;
    clipOutliers(work.layer);
    return true;
}

DriftRun::Halves DriftRun::measuredHalves() const
{
    Halves halves;
    for (std::size_t b = 0; b < m_bins.size(); ++b) {
        if (m_estimates[b].origin == ShiftOrigin::Measured)
            halves[halves[0].size() > halves[1].size()].push_back(int(b));
    }
    return halves;
}

std::vector<std::pair<int, int>> DriftRun::byHalf(const Halves& halves)
{
    std::vector<std::pair<int, int>> bins;
    for (int h = 0; h < 2; ++h) {
        for (const int b : halves[std::size_t(h)])
            bins.emplace_back(b, h);
    }
    return bins;
}

QString DriftRun::measureOnTemplates(const Halves& halves)
{
    std::array<PhaseCorrelator, 2> against{PhaseCorrelator(m_side, m_area, int(m_bins.size())),
                                           PhaseCorrelator(m_side, m_area, int(m_bins.size()))};
    std::array<Workspace, 2> sums;
    for (Workspace& w : sums) {
        if (!against[0].allocate(w))
            return noMemory();
    }
    {
        std::array<std::vector<float>, 2> summed;
        if (const QString why = buildTemplates(halves, summed); !why.isEmpty() || cancelled())
            return why;
        sums[0].layer = std::move(summed[0]);
        sums[1].layer = std::move(summed[1]);
    }
    if (!against[0].setReference(sums[0]) || !against[1].setReference(sums[1]))
        return noMemory();
    // Where the second half's sum lies from the first's.
    const Shift between = against[0].refine(sums[1], {});
    // The summit of the layer in `work`, of half h, against the other half's sum, from `start`;
    // both relative to the first half's sum.
    const auto onOtherHalf = [&](int h, Workspace& work, Shift start) {
        const Shift origin = h == 0 ? between : Shift{};
        return against[std::size_t(1 - h)].refine(work, start - origin) + origin;
    };
    const std::vector<std::pair<int, int>> bins = byHalf(halves);
    const QString failure = onAllCores(qsizetype(bins.size()), [&](qsizetype begin, qsizetype end) {
        Workspace own;
        if (!against[0].allocate(own))
            return noMemory();
        for (qsizetype i = begin; i < end && !cancelled(); ++i) {
            const auto [b, h] = bins[std::size_t(i)];
            if (const QString why = sumBin(b, own); !why.isEmpty())
                return why;
            Shift& shift = m_estimates[std::size_t(b)].shift;
            shift = onOtherHalf(h, own, shift);
        }
        return QString();
    });
    if (!failure.isEmpty() || cancelled())
        return failure;
    const Shift reference = m_estimates[std::size_t(m_referenceBin)].shift;
    if (m_bin > 1) {
        const int h = std::count(halves[0].begin(), halves[0].end(), m_referenceBin) ? 0 : 1;
        Workspace own;
        if (!against[0].allocate(own))
            return noMemory();
        const Result<bool> enough = readReferenceLayer(own);
        if (!enough)
            return enough.error().message;
        if (*enough)
            m_referenceLayerShift = onOtherHalf(h, own, reference) - reference;
    }
    for (const std::vector<int>& half : halves) {
        for (const int b : half)
            m_estimates[std::size_t(b)].shift = m_estimates[std::size_t(b)].shift - reference;
    }
    return QString();
}

DriftEstimate DriftRun::assemble() const
{
    DriftEstimate out;
    out.bin = m_bin;
    out.confidences.assign(std::size_t(m_layers), 0.0);
    out.origins.assign(std::size_t(m_layers), ShiftOrigin::Measured);
    std::vector<ShiftPoint> measured;
    for (std::size_t b = 0; b < m_bins.size(); ++b) {
        const BlockEstimate& e = m_estimates[b];
        if (e.origin == ShiftOrigin::Measured)
            measured.push_back({e.centre, e.shift});
        for (const int l : m_bins[b]) {
            out.confidences[std::size_t(l)] = m_flat[std::size_t(l)] ? 0.0 : e.confidence;
            out.origins[std::size_t(l)] = m_flat[std::size_t(l)] ? ShiftOrigin::Empty : e.origin;
        }
    }
    // Shifts read from the reference layer itself, which may lie off its bin's centre. Binned,
    // its place interpolated between the bins and its place measured on its own are about as
    // uncertain (over the benchmark's twelve walks, 0.53 and 0.54 px RMS at 5 counts per pixel,
    // 0.63 and 0.62 at 2), and independent: their mean takes 0.04 and 0.13 px off (0.49 and
    // 0.49).
    Shift offset = interpolateShifts(measured, m_layers)[std::size_t(m_options.referenceLayer)];
    if (m_referenceLayerShift)
        offset = {(offset.dx + m_referenceLayerShift->dx) / 2,
                  (offset.dy + m_referenceLayerShift->dy) / 2};
    std::vector<ShiftPoint> points;
    for (const ShiftPoint& p : measured)
        points.push_back({p.at, p.shift - offset});
    for (int l = 0; l < m_layers; ++l) {
        if (excluded(l))
            out.origins[std::size_t(l)] = ShiftOrigin::Excluded;
        if (byHand(l)) {
            out.origins[std::size_t(l)] = ShiftOrigin::Hand;
            points.push_back({double(l), *m_options.byHand[std::size_t(l)]});
        }
    }
    std::stable_sort(points.begin(), points.end(),
                     [](const auto& a, const auto& b) { return a.at < b.at; });
    out.shifts = interpolateShifts(points, m_layers);
    if (out.origins[std::size_t(m_options.referenceLayer)] != ShiftOrigin::Hand)
        out.shifts[std::size_t(m_options.referenceLayer)] = Shift{};
    return out;
}

Result<DriftEstimate> DriftRun::run()
{
    int bin = m_options.bin;
    if (bin <= 0) {
        const Result<double> counts = typicalCounts();
        if (!counts)
            return counts.error();
        int included = 0;
        for (int l = 0; l < m_layers; ++l)
            included += !excluded(l);
        bin = automaticBin(*counts, included);
    }
    if (!makeBins(bin))
        return Failure{QStringLiteral("The reference layer %1 is excluded.")
                           .arg(m_options.referenceLayer + 1)};
    // Layers are read three times: measured, summed into the halves, measured against them.
    if (m_progress)
        m_progress->setTotal(qint64(m_layers) * 3);
    m_estimates.resize(m_bins.size());
    for (std::size_t b = 0; b < m_bins.size(); ++b)
        m_estimates[b].centre =
            std::accumulate(m_bins[b].begin(), m_bins[b].end(), 0.0) / double(m_bins[b].size());
    PhaseCorrelator correlator(m_side, m_area, int(m_bins.size()));
    if (const QString why = setReference(correlator); !why.isEmpty())
        return Failure{why};
    if (const QString why = measureAll(correlator); !why.isEmpty())
        return Failure{why};
    if (cancelled())
        return Failure{}; // cancelled
    chooseNearestPeaks(m_estimates, m_referenceBin);
    flagJumps(m_estimates, m_options.maxStep.value_or(m_side / 8.0));
    // The summits are fitted against halves of the measured bins, or, with too few bins for
    // two halves of two (one bin is a reference no better than the first), against the
    // reference.
    const Halves halves = measuredHalves();
    QString why;
    if (halves[1].size() >= 2) {
        why = measureOnTemplates(halves);
    } else {
        std::vector<int> others;
        for (const std::vector<int>& half : halves)
            std::copy_if(half.begin(), half.end(), std::back_inserter(others),
                         [&](int b) { return b != m_referenceBin; });
        why = refineOnReference(others, correlator);
    }
    if (!why.isEmpty())
        return Failure{why};
    if (cancelled())
        return Failure{}; // cancelled
    return assemble();
}

} // namespace

Result<DriftEstimate> estimateDrift(int side, int layerCount, const LayerSource& source,
                                    const DriftOptions& options, Progress* progress)
{
    if (side < 1 || side > kMaxSide)
        return Failure{
            QStringLiteral("The frame side %1 is not between 1 and %2.").arg(side).arg(kMaxSide)};
    if (layerCount < 1)
        return Failure{QStringLiteral("There are no layers to align.")};
    const int reference = options.referenceLayer;
    if (reference < 0 || reference >= layerCount)
        return Failure{QStringLiteral("The reference layer %1 is not among layers 1 to %2.")
                           .arg(qint64(reference) + 1)
                           .arg(layerCount)};
    if (!source)
        return Failure{QStringLiteral("No layers were given.")};
    const QRect frame(0, 0, side, side);
    const QRect area = options.region ? options.region->intersected(frame) : frame;
    if (area.isEmpty())
        return Failure{QStringLiteral("The region lies outside the frame.")};
    try {
        DriftRun run(side, layerCount, source, options, area, progress);
        return run.run();
    } catch (const std::bad_alloc&) {
        return Failure{noMemory()};
    } catch (...) {
        return Failure{QStringLiteral("The layers cannot be aligned.")};
    }
}

} // namespace isolumen
