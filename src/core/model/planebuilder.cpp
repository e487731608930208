#include "core/model/planebuilder.h"

#include "core/imfile/imfile.h"
#include "core/model/alignment.h"
#include "core/model/corrections.h"
#include "core/parallel.h"
#include "core/progress.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <new>

namespace isolumen {

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// Rows per band: a band of a 2048-wide layer (and its accumulator) stays in the cache while
// all layers are added into it.
int bandRows(int side)
{
    return std::max(1, 32768 / side);
}

struct Bands
{
    int side;
    int rows;
    int count() const { return (side + rows - 1) / rows; }
    int first(int band) const { return band * rows; }
    int size(int band) const { return std::min(rows, side - band * rows); }
};

// Widens [lo, hi] to take in n values.
template <typename T> void widenExtremes(const T* values, qsizetype n, T& lo, T& hi)
{
    for (qsizetype i = 0; i < n; ++i) {
        lo = values[i] < lo ? values[i] : lo;
        hi = values[i] > hi ? values[i] : hi;
    }
}

// 16-bit values compared as signed ones, offset by 0x8000: processors without SSE4.1 compare
// only signed 16-bit values in one instruction, and the loop is three times as fast.
template <> void widenExtremes(const quint16* values, qsizetype n, quint16& lo, quint16& hi)
{
    qint16 low = qint16(lo ^ 0x8000);
    qint16 high = qint16(hi ^ 0x8000);
    for (qsizetype i = 0; i < n; ++i) {
        const qint16 v = qint16(values[i] ^ 0x8000);
        low = v < low ? v : low;
        high = v > high ? v : high;
    }
    lo = quint16(low) ^ 0x8000;
    hi = quint16(high) ^ 0x8000;
}

// Whether layer l is among the sorted excluded layers.
bool isExcluded(const std::vector<int>& excluded, int l)
{
    return std::binary_search(excluded.begin(), excluded.end(), l);
}

// One layer in the file's type. Its extremes are found band by band while the band is still in
// the cache.
template <typename Sample>
void singleLayer(const ImFile& file, int species, int layer, const Bands& bands, Plane& out,
                 Progress* progress)
{
    const int side = bands.side;
    std::vector<Sample> values(size_t(side) * side);
    Sample lo = std::numeric_limits<Sample>::max();
    Sample hi = 0;
    std::mutex extremes;
    parallelFor(bands.count(), 1, [&](qsizetype begin, qsizetype end) {
        std::vector<uchar> scratch;
        Sample low = std::numeric_limits<Sample>::max();
        Sample high = 0;
        for (qsizetype b = begin; b < end; ++b) {
            Sample* band = values.data() + qsizetype(bands.first(int(b))) * side;
            const qsizetype n = qsizetype(bands.size(int(b))) * side;
            file.readFrameRows(species + 1, layer, bands.first(int(b)), bands.size(int(b)), band,
                               scratch);
            widenExtremes(band, n, low, high);
            advance(progress, bands.size(int(b)));
        }
        const std::lock_guard<std::mutex> guard(extremes);
        lo = std::min(lo, low);
        hi = std::max(hi, high);
    });
    out.samples = std::move(values);
    out.setExtremes(lo, hi);
}

// The layers a sum adds up, of one species of a file.
struct LayerSum
{
    const ImFile& file;
    int species;
    int firstLayer;
    int lastLayer;
    const std::vector<int>& excluded;
    int side;
    Progress* progress;
};

// Adds the rows of one band of every layer not excluded into acc, then mirrors them as a
// layer's rows are. False when cancelled.
template <typename Accumulator>
bool addBandLayers(const LayerSum& s, int y0, int rows, Accumulator* acc,
                   std::vector<uchar>& scratch)
{
    for (int l = s.firstLayer; l <= s.lastLayer; ++l) {
        if (isCancelled(s.progress))
            return false;
        if (!isExcluded(s.excluded, l))
            s.file.addFrameRows(s.species + 1, l, y0, rows, acc, scratch);
        advance(s.progress, rows);
    }
    ImFile::mirrorRows(acc, s.side, rows);
    return true;
}

// A sum of layers in 64 bits (32-bit samples can overflow any narrower sum), kept in 32 bits
// when every value fits.
template <typename Sample> bool summedLayers(const LayerSum& s, const Bands& bands, Plane& out)
{
    const int side = s.side;
    std::atomic<bool> cancelled{false};
    // A 16-bit file cannot overflow a 32-bit sum of fewer than 65537 layers.
    const bool narrow = sizeof(Sample) == 2 && s.lastLayer - s.firstLayer < 65536;
    std::vector<quint64> wide(narrow ? 0 : size_t(side) * side);
    std::vector<quint32> sums(narrow ? size_t(side) * side : 0);
    parallelFor(bands.count(), 1, [&](qsizetype begin, qsizetype end) {
        std::vector<uchar> scratch;
        for (qsizetype b = begin; b < end && !cancelled; ++b) {
            const int y0 = bands.first(int(b));
            const int rows = bands.size(int(b));
            const qsizetype at = qsizetype(y0) * side;
            const bool done = narrow ? addBandLayers(s, y0, rows, sums.data() + at, scratch)
                                     : addBandLayers(s, y0, rows, wide.data() + at, scratch);
            if (!done)
                cancelled = true;
        }
    });
    if (cancelled)
        return false;
    if (narrow) {
        out.samples = std::move(sums);
    } else {
        const quint64 largest = wide.empty() ? 0 : *std::max_element(wide.begin(), wide.end());
        if (largest <= std::numeric_limits<quint32>::max())
            out.samples = std::vector<quint32>(wide.begin(), wide.end());
        else
            out.samples = std::vector<double>(wide.begin(), wide.end());
    }
    out.findExtremes();
    return true;
}

// Integer counts, as recorded: one layer in the file's type, a sum in 64 bits and then in 32
// bits when every value fits.
template <typename Sample>
bool integerPlane(const ImFile& file, int species, int firstLayer, int lastLayer,
                  const std::vector<int>& excluded, Plane& out, Progress* progress)
{
    const int side = *file.frameSide();
    const Bands bands{side, bandRows(side)};
    if (lastLayer <= firstLayer) {
        singleLayer<Sample>(file, species, firstLayer, bands, out, progress);
        return true;
    }
    return summedLayers<Sample>(
        LayerSum{file, species, firstLayer, lastLayer, excluded, side, progress}, bands, out);
}

// One layer's values at shown (x, y), after the correction of its file's detector and the
// alignment shift.
// The raw rows a band needs are read with a margin that covers the shift.
class TransformedLayer
{
public:
    TransformedLayer(const ImFile& file, int species, const Corrections* corrections,
                     const Alignment* alignment)
        : m_file(file), m_species(species), m_corrections(corrections), m_alignment(alignment),
          m_side(*file.frameSide())
    {
    }

    // Rows [y0, y0 + rows) of layer l into out. Marks in lost (rows x side) the pixels that lost
    // their value to saturation: those without one whose sources all lie inside the frame.
    void read(int l, int y0, int rows, double* out, uchar* lost)
    {
        const CountCorrection* correction =
            m_corrections ? m_corrections->forLayer(m_species, l) : nullptr;
        const Shift shift = m_alignment ? m_alignment->forLayer(l) : Shift{};
        const bool subpixel = m_alignment && m_alignment->subpixel;
        const double dx = subpixel ? shift.dx : std::round(shift.dx);
        const double dy = subpixel ? shift.dy : std::round(shift.dy);
        // Source rows: shown y of the aligned layer comes from y + dy of the recorded one.
        const int from = std::clamp(int(std::floor(y0 + dy)), 0, m_side);
        const int to = std::clamp(int(std::floor(y0 + rows - 1 + dy)) + 2, 0, m_side);
        m_raw.resize(size_t(std::max(0, to - from)) * m_side);
        if (to > from) {
            m_file.readFrameRows(m_species + 1, l, from, to - from, m_raw.data(), m_scratch);
            if (correction) {
                for (double& v : m_raw)
                    v = correction->apply(v);
            }
        }
        auto source = [&](int x, int y) -> double {
            if (x < 0 || x >= m_side || y < from || y >= to)
                return kNoValue;
            return m_raw[size_t(y - from) * m_side + x];
        };
        auto inFrame = [&](int x, int y) { return x >= 0 && x < m_side && y >= 0 && y < m_side; };
        for (int r = 0; r < rows; ++r) {
            const double sy = y0 + r + dy;
            double* line = out + qsizetype(r) * m_side;
            for (int x = 0; x < m_side; ++x) {
                const double sx = x + dx;
                if (!subpixel) {
                    // Whole shifts: sx and sy are whole numbers.
                    line[x] = source(int(sx), int(sy));
                    if (correction && std::isnan(line[x]) && inFrame(int(sx), int(sy)))
                        lost[qsizetype(r) * m_side + x] = 1;
                    continue;
                }
                const double x0 = std::floor(sx);
                const double y0f = std::floor(sy);
                const double fx = sx - x0;
                const double fy = sy - y0f;
                const int ix = int(x0);
                const int iy = int(y0f);
                // A neighbour that carries no weight may lie outside the frame.
                const double a = source(ix, iy);
                const double b = fx > 0 ? source(ix + 1, iy) : 0.0;
                const double c = fy > 0 ? source(ix, iy + 1) : 0.0;
                const double d = fx > 0 && fy > 0 ? source(ix + 1, iy + 1) : 0.0;
                line[x] = (a * (1 - fx) + b * fx) * (1 - fy) + (c * (1 - fx) + d * fx) * fy;
                if (correction && std::isnan(line[x]) && inFrame(ix, iy) &&
                    (fx <= 0 || inFrame(ix + 1, iy)) && (fy <= 0 || inFrame(ix, iy + 1)) &&
                    (fx <= 0 || fy <= 0 || inFrame(ix + 1, iy + 1)))
                    lost[qsizetype(r) * m_side + x] = 1;
            }
        }
    }

private:
    const ImFile& m_file;
    int m_species;
    const Corrections* m_corrections;
    const Alignment* m_alignment;
    int m_side;
    std::vector<double> m_raw;
    std::vector<uchar> m_scratch;
};

// Corrected or aligned values: doubles, and a sum has a value only where every layer has one
// (NaN propagates through the addition).
bool realPlane(const ImFile& file, int species, int firstLayer, int lastLayer,
               const std::vector<int>& excluded, const Corrections* corrections,
               const Alignment* alignment, Plane& out, qint64& saturated, Progress* progress)
{
    const int side = *file.frameSide();
    const Bands bands{side, bandRows(side)};
    std::vector<double> sums(size_t(side) * side, 0.0);
    std::atomic<bool> cancelled{false};
    std::atomic<qint64> lost{0};
    parallelFor(bands.count(), 1, [&](qsizetype begin, qsizetype end) {
        TransformedLayer layer(file, species, corrections, alignment);
        std::vector<double> values(size_t(bands.rows) * side);
        // A pixel of a sum lacks a value when it does in any layer: it is counted once.
        std::vector<uchar> lostHere(size_t(bands.rows) * side);
        for (qsizetype b = begin; b < end && !cancelled; ++b) {
            const int y0 = bands.first(int(b));
            const int rows = bands.size(int(b));
            double* acc = sums.data() + qsizetype(y0) * side;
            std::fill(lostHere.begin(), lostHere.end(), uchar(0));
            for (int l = firstLayer; l <= lastLayer; ++l) {
                if (isCancelled(progress)) {
                    cancelled = true;
                    return;
                }
                if (isExcluded(excluded, l) && lastLayer > firstLayer) {
                    advance(progress, rows);
                    continue;
                }
                layer.read(l, y0, rows, values.data(), lostHere.data());
                for (qsizetype i = 0; i < qsizetype(rows) * side; ++i)
                    acc[i] += values[i];
                advance(progress, rows);
            }
            lost += std::count(lostHere.begin(), lostHere.end(), uchar(1));
        }
    });
    if (cancelled)
        return false;
    saturated = lost;
    out.samples = std::move(sums);
    out.findExtremes();
    return true;
}

} // namespace

qint64 speciesPlaneWork(int side, int firstLayer, int lastLayer)
{
    return qint64(side) * std::max(0, lastLayer - firstLayer + 1);
}

Result<BuiltPlane> buildSpeciesPlane(const ImFile& file, int species, int firstLayer, int lastLayer,
                                     const Corrections* corrections, const Alignment* alignment,
                                     Progress* progress, const std::vector<int>& excluded)
{
    if (!file.isOpen() || !file.frameSide() || species < 0 ||
        species >= file.header().usableSpecies() || firstLayer < 1 || lastLayer < firstLayer ||
        lastLayer > file.completePlanes())
        return Failure{QStringLiteral("There is no such layer or species in this file.")};
    BuiltPlane built;
    try {
        built.plane = std::make_shared<Plane>();
        Plane& p = *built.plane;
        p.side = *file.frameSide();
        bool done = false;
        if ((corrections && corrections->corrects(species)) || alignment)
            done = realPlane(file, species, firstLayer, lastLayer, excluded, corrections, alignment,
                             p, built.saturatedPixels, progress);
        else if (file.widestSample() == 4)
            done =
                integerPlane<quint32>(file, species, firstLayer, lastLayer, excluded, p, progress);
        else
            done =
                integerPlane<quint16>(file, species, firstLayer, lastLayer, excluded, p, progress);
        if (!done)
            return Failure{QStringLiteral("Cancelled.")};
    } catch (const std::bad_alloc&) {
        return Failure{QStringLiteral("There is not enough memory for this plane.")};
    }
    return built;
}

std::shared_ptr<Plane> buildRatioPlane(const Plane& numerator, const Plane& denominator,
                                       const RatioDefinition& terms)
{
    if (numerator.side != denominator.side)
        return nullptr;
    auto ratio = std::make_shared<Plane>();
    ratio->side = numerator.side;
    std::vector<double> values(size_t(numerator.size()));
    const double gain = terms.gain();
    const double offset = terms.offset();
    std::visit(
        [&](const auto& n, const auto& d) {
            parallelFor(qsizetype(values.size()), 65536, [&](qsizetype begin, qsizetype end) {
                for (qsizetype i = begin; i < end; ++i) {
                    const double nv = double(n[i]);
                    const double dv = double(d[i]);
                    // NaN fails both comparisons: a pixel without counts has no ratio.
                    values[i] = dv > terms.denominatorThreshold && nv >= terms.numeratorThreshold
                                    ? gain * nv / dv + offset
                                    : kNoValue;
                }
            });
        },
        numerator.samples, denominator.samples);
    ratio->samples = std::move(values);
    ratio->findExtremes();
    return ratio;
}

} // namespace isolumen
