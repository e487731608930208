#include "driftstack.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <fftw3.h>
#include <numbers>
#include <numeric>
#include <random>

namespace isolumen {

namespace {

// The texture's spectrum falls as 1/f^kSlope; its log-normal contrast makes cell-like spots.
constexpr double kSlope = 1.6;
constexpr double kContrast = 0.9;
// The field is this much wider than the frame, so drift brings in new content.
constexpr double kFieldScale = 1.5;

using Spectrum = std::vector<std::complex<float>>;

struct Plans
{
    int n;
    std::vector<float> real;
    Spectrum spectrum;
    fftwf_plan forward;
    fftwf_plan inverse;
    explicit Plans(int n)
        : n(n), real(std::size_t(n) * n), spectrum(std::size_t(n) * (n / 2 + 1)),
          forward(fftwf_plan_dft_r2c_2d(n, n, real.data(),
                                        reinterpret_cast<fftwf_complex*>(spectrum.data()),
                                        FFTW_ESTIMATE)),
          inverse(fftwf_plan_dft_c2r_2d(n, n, reinterpret_cast<fftwf_complex*>(spectrum.data()),
                                        real.data(), FFTW_ESTIMATE))
    {
    }
    ~Plans()
    {
        fftwf_destroy_plan(forward);
        fftwf_destroy_plan(inverse);
    }
    double frequency(int k) const { return double(k <= n / 2 ? k : k - n) / n; }
};

// The centre of the recorded texture, field x field pixels, smoothed by a binomial kernel to
// take out most of its counting noise, and mirrored into the four quarters of p.real: a
// Fourier shift of a field that is not periodic would ring from its edges at every frequency,
// a pattern that does not move with the texture.
void recordedTexture(Plans& p, const DriftCase& c, int field)
{
    const int at = (c.textureSide - field) / 2;
    constexpr float kernel[] = {0.0625f, 0.25f, 0.375f, 0.25f, 0.0625f};
    const auto value = [&](int x, int y) {
        x = std::clamp(x + at, 0, c.textureSide - 1);
        y = std::clamp(y + at, 0, c.textureSide - 1);
        return c.texture[std::size_t(y) * c.textureSide + x];
    };
    for (int y = 0; y < field; ++y) {
        for (int x = 0; x < field; ++x) {
            float v = 0;
            for (int j = -2; j <= 2; ++j)
                for (int i = -2; i <= 2; ++i)
                    v += kernel[j + 2] * kernel[i + 2] * value(x + i, y + j);
            for (const int my : {y, p.n - 1 - y})
                for (const int mx : {x, p.n - 1 - x})
                    p.real[std::size_t(my) * p.n + mx] = v;
        }
    }
}

// A log-normal random field with a falling spectrum, into p.real.
void syntheticTexture(Plans& p, std::mt19937& rng)
{
    std::normal_distribution<float> gauss;
    for (float& v : p.real)
        v = gauss(rng);
    fftwf_execute(p.forward);
    const int bins = p.n / 2 + 1;
    for (int r = 0; r < p.n; ++r) {
        for (int k = 0; k < bins; ++k) {
            const double f = std::hypot(p.frequency(r), double(k) / p.n) + 1.0 / p.n;
            p.spectrum[std::size_t(r) * bins + k] *= float(std::pow(f, -kSlope));
        }
    }
    fftwf_execute(p.inverse);
    double sum = 0, squares = 0;
    for (const float v : p.real) {
        sum += v;
        squares += double(v) * v;
    }
    const double mean = sum / double(p.real.size());
    const double sd = std::sqrt(squares / double(p.real.size()) - mean * mean);
    for (float& v : p.real)
        v = float(std::exp(kContrast * (v - mean) / sd));
}

// The texture over the plans' field as a spectrum.
Spectrum textureSpectrum(Plans& p, const DriftCase& c, std::mt19937& rng, bool recorded)
{
    if (recorded)
        recordedTexture(p, c, p.n / 2);
    else
        syntheticTexture(p, rng);
    const double mean =
        std::accumulate(p.real.begin(), p.real.end(), 0.0) / double(p.real.size());
    for (int y = 0; y < p.n; ++y) {
        for (int x = 0; x < p.n; ++x) {
            float& v = p.real[std::size_t(y) * p.n + x];
            v = float(v / mean);
            if (c.grid) // lines two pixels wide every period, much brighter than the texture
                v = 0.02f * v + ((x % kGridPeriod < 2 || y % kGridPeriod < 2) ? 4.0f : 0.0f);
        }
    }
    fftwf_execute(p.forward);
    return p.spectrum;
}

// The field moved by (dx, dy), cut to the frame at `at` on both axes, scaled to `counts` per
// pixel on average over the field.
std::vector<float> moved(Plans& p, const Spectrum& texture, Shift s, int side, int at,
                         double counts)
{
    const int bins = p.n / 2 + 1;
    const double scale = counts / (double(texture[0].real()));
    for (int r = 0; r < p.n; ++r) {
        for (int k = 0; k < bins; ++k) {
            const double phase = -2 * std::numbers::pi * (p.frequency(r) * s.dy + p.frequency(k) * s.dx);
            p.spectrum[std::size_t(r) * bins + k] =
                texture[std::size_t(r) * bins + k] *
                std::complex<float>(float(std::cos(phase) * scale), float(std::sin(phase) * scale));
        }
    }
    fftwf_execute(p.inverse);
    std::vector<float> frame(std::size_t(side) * side);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x)
            frame[std::size_t(y) * side + x] =
                std::max(0.0f, p.real[std::size_t(y + at) * p.n + x + at]);
    }
    return frame;
}

} // namespace

DriftStack makeDriftStack(const DriftCase& c)
{
    std::mt19937 rng(c.seed);
    const int field = int(std::ceil(c.side * kFieldScale / 2)) * 2;
    const bool recorded = c.textureSide >= field &&
                          c.texture.size() == std::size_t(c.textureSide) * c.textureSide;
    Plans plans(recorded ? 2 * field : field);
    const Spectrum texture = textureSpectrum(plans, c, rng, recorded);
    const int at = (field - c.side) / 2;
    DriftStack stack;
    stack.side = c.side;
    std::normal_distribution<double> step(0, c.step);
    for (int l = 0; l < c.layers; ++l) {
        Shift s;
        if (l > 0)
            s = {stack.truth.back().dx + c.trend.dx + step(rng),
                 stack.truth.back().dy + c.trend.dy + step(rng)};
        stack.truth.push_back(s);
        const bool faint = std::count(c.faintLayers.begin(), c.faintLayers.end(), l) > 0;
        std::vector<float> frame =
            moved(plans, texture, s, c.side, at, c.counts * (faint ? c.faint : 1));
        if (c.hotSpot) // a few pixels that do not move, fifty times as bright as the mean
            for (int y = c.side / 3; y < c.side / 3 + 2; ++y)
                for (int x = c.side / 3; x < c.side / 3 + 2; ++x)
                    frame[std::size_t(y) * c.side + x] = float(50 * c.counts);
        for (float& v : frame)
            v = std::count(c.empty.begin(), c.empty.end(), l)
                    ? 0.0f
                    : float(std::poisson_distribution<int>(double(v))(rng));
        stack.layers.push_back(std::move(frame));
    }
    return stack;
}

double rmsError(const std::vector<Shift>& estimated, const std::vector<Shift>& truth, int reference)
{
    const std::size_t n = std::min(estimated.size(), truth.size());
    if (n == 0)
        return 0;
    const Shift e0 = estimated[std::size_t(reference)];
    const Shift t0 = truth[std::size_t(reference)];
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double dx = (estimated[i].dx - e0.dx) - (truth[i].dx - t0.dx);
        const double dy = (estimated[i].dy - e0.dy) - (truth[i].dy - t0.dy);
        sum += dx * dx + dy * dy;
    }
    return std::sqrt(sum / double(n));
}

double alignmentError(const std::vector<Shift>& estimated, const std::vector<Shift>& truth)
{
    const std::size_t n = std::min(estimated.size(), truth.size());
    if (n == 0)
        return 0;
    double meanX = 0, meanY = 0;
    for (std::size_t i = 0; i < n; ++i) {
        meanX += (estimated[i].dx - truth[i].dx) / double(n);
        meanY += (estimated[i].dy - truth[i].dy) / double(n);
    }
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += std::pow(estimated[i].dx - truth[i].dx - meanX, 2) +
               std::pow(estimated[i].dy - truth[i].dy - meanY, 2);
    return std::sqrt(sum / double(n));
}

double worstError(const std::vector<Shift>& estimated, const std::vector<Shift>& truth)
{
    double worst = 0;
    for (std::size_t i = 0; i < std::min(estimated.size(), truth.size()); ++i)
        worst = std::max(
            worst, std::hypot((estimated[i].dx - estimated[0].dx) - (truth[i].dx - truth[0].dx),
                              (estimated[i].dy - estimated[0].dy) - (truth[i].dy - truth[0].dy)));
    return worst;
}

} // namespace isolumen
