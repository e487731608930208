#include "core/model/drift.h"
#include "core/progress.h"
#include "driftstack.h"
#include "recordedtexture.h"

#include <QTest>
#include <atomic>
#include <cmath>
#include <random>

using namespace isolumen;

namespace {

struct Cell
{
    double x, y, sigma, height;
};
using Frames = std::vector<std::vector<float>>;

// Cells, 30 per 128 x 128 pixels, over the frame widened by `margin` on every side, so that
// content enters the frame as it drifts.
std::vector<Cell> cells(int side, int margin, quint32 seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> at(-margin, side + margin), sigma(1.5, 4), height(2, 6);
    const double extent = side + 2.0 * margin;
    std::vector<Cell> out(std::size_t(30 * extent * extent / (128 * 128)));
    for (Cell& c : out)
        c = {at(rng), at(rng), sigma(rng), height(rng)};
    return out;
}

// The cells moved by (dx, dy), sampled at pixel centres on a background of 1 (or brighter), the
// whole scaled to `counts` per unit; with counts > 0 each sample is then a Poisson draw.
std::vector<float> render(int side, const std::vector<Cell>& field, double dx, double dy,
                          double counts, std::mt19937& rng, double background = 1)
{
    std::vector<double> v(std::size_t(side) * side, background);
    for (const Cell& c : field) {
        const double cx = c.x + dx, cy = c.y + dy, reach = 6 * c.sigma;
        for (int y = std::max(0, int(cy - reach)); y < std::min(side, int(cy + reach) + 1); ++y) {
            for (int x = std::max(0, int(cx - reach)); x < std::min(side, int(cx + reach) + 1);
                 ++x) {
                const double rx = x + 0.5 - cx, ry = y + 0.5 - cy;
                v[std::size_t(y) * side + x] +=
                    c.height * std::exp(-(rx * rx + ry * ry) / (2 * c.sigma * c.sigma));
            }
        }
    }
    std::vector<float> frame(v.size());
    for (std::size_t i = 0; i < v.size(); ++i)
        frame[i] =
            counts > 0 ? float(std::poisson_distribution<int>(v[i] * counts)(rng)) : float(v[i]);
    return frame;
}

LayerSource sourceOf(const Frames& frames)
{
    return [&frames](int layer, std::vector<float>& into) {
        into = frames[std::size_t(layer)];
        return true;
    };
}

// Empty when got is within `within` px of (dx, dy) on both axes.
QString mismatch(const Shift& got, double dx, double dy, double within = 0.1)
{
    if (std::abs(got.dx - dx) <= within && std::abs(got.dy - dy) <= within)
        return {};
    return QString::asprintf("got (%g, %g), expected (%g, %g)", got.dx, got.dy, dx, dy);
}

std::optional<QRect> optionalRegion(QRect region)
{
    return region.isNull() ? std::nullopt : std::optional(region);
}

} // namespace

Q_DECLARE_METATYPE(DriftCase)

class TestDrift : public QObject
{
    Q_OBJECT

private slots:
    void shift_data()
    {
        QTest::addColumn<int>("side");
        QTest::addColumn<double>("counts"); // per background pixel; 0: no noise
        QTest::addColumn<QRect>("region");  // null: none
        QTest::addColumn<QPointF>("left");  // the shift of the cells in the left half
        QTest::addColumn<QPointF>("right"); // and in the right half
        QTest::addColumn<double>("background");
        const auto row = [](const char* name, int side, double counts, QPointF left,
                            QRect region = {}, QPointF right = {}, double background = 1) {
            QTest::newRow(name) << side << counts << region << left
                                << (region.isNull() ? left : right) << background;
        };
        row("whole pixels", 128, 0, {3, -5});
        row("fractions", 128, 0, {0.3, -0.7});
        row("quarter pixels, 256", 256, 0, {-12.25, 7.75});
        row("no drift", 128, 0, {0, 0});
        row("a third of the side", 256, 0, {-80.6, 84.3});
        row("5 counts", 256, 5, {2.4, -1.35});
        row("50 counts", 256, 50, {-6.8, 4.15});
        row("left half", 128, 0, {3.4, -2.2}, QRect(0, 0, 64, 128), {-4.6, 5.3});
        row("right half", 128, 0, {3.4, -2.2}, QRect(64, 0, 64, 128), {-4.6, 5.3});
        row("right half, clipped", 128, 0, {3.4, -2.2}, QRect(64, -30, 200, 190), {-4.6, 5.3});
        row("region of odd size", 128, 0, {3.4, -2.2}, QRect(3, 5, 53, 111), {-4.6, 5.3});
        // Cells 5 to 15 % above the background: what the window holds of a constant must
        // not draw the peak to (0, 0).
        row("faint cells", 256, 0, {-80.6, 84.3}, {}, {}, 40);
        row("faint cells in a region", 128, 0, {3.4, -2.2}, QRect(0, 0, 64, 128), {-4.6, 5.3}, 40);
    }

    // Cells drift over a background; with a region, those of the left and right halves drift
    // differently and the region's half gives the shift.
    void shift()
    {
        QFETCH(int, side);
        QFETCH(double, counts);
        QFETCH(QRect, region);
        QFETCH(QPointF, left);
        QFETCH(QPointF, right);
        QFETCH(double, background);
        std::vector<Cell> field = cells(side, side / 2, 7);
        std::erase_if(field, [&](const Cell& c) { return std::abs(c.x - side / 2) < 12; });
        std::vector<Cell> moved = field;
        for (Cell& c : moved) {
            const QPointF by = c.x < side / 2 ? left : right;
            c.x += by.x();
            c.y += by.y();
        }
        std::mt19937 rng(11);
        const Frames frames = {render(side, field, 0, 0, counts, rng, background),
                               render(side, moved, 0, 0, counts, rng, background)};
        DriftOptions options;
        options.region = optionalRegion(region);
        options.maxStep = side; // two layers: no neighbours to judge a jump by
        const auto drift = estimateDrift(side, 2, sourceOf(frames), options);
        QVERIFY(drift);
        const std::vector<Shift>* shifts = &drift->shifts;
        QVERIFY(shifts && shifts->size() == 2);
        const QPointF expected = region.isNull() || region.center().x() < side / 2 ? left : right;
        // Faint cells that share a third of the frame weigh little against the noise the
        // estimate assumes of their counts.
        const double within = background > 1 && region.isNull() ? 0.15 : 0.1;
        const QString why = mismatch(shifts->at(1), expected.x(), expected.y(), within);
        QVERIFY2(why.isEmpty(), qPrintable(why));
    }

    // A slow random walk with counting noise, aligned on a layer in the middle.
    void randomWalk()
    {
        constexpr int side = 256, layers = 100, reference = 40;
        const std::vector<Cell> field = cells(side, 24, 3);
        std::mt19937 rng(5);
        std::normal_distribution<double> step(0, 0.6);
        std::vector<Shift> walk(layers);
        Frames frames;
        for (int k = 0; k < layers; ++k) {
            if (k > 0)
                walk[k] = {walk[k - 1].dx + step(rng), walk[k - 1].dy + step(rng)};
            frames.push_back(render(side, field, walk[k].dx, walk[k].dy, 20, rng));
        }
        Progress progress;
        DriftOptions options;
        options.referenceLayer = reference;
        const auto drift = estimateDrift(side, layers, sourceOf(frames), options, &progress);
        QVERIFY(drift);
        const std::vector<Shift>* shifts = &drift->shifts;
        QCOMPARE(shifts->at(reference).dx, 0.0);
        QCOMPARE(shifts->at(reference).dy, 0.0);
        for (int k = 0; k < layers; ++k) {
            const QString why = mismatch(shifts->at(k), walk[k].dx - walk[reference].dx,
                                         walk[k].dy - walk[reference].dy);
            QVERIFY2(why.isEmpty(), qPrintable(QStringLiteral("layer %1: ").arg(k) + why));
        }
        QCOMPARE(progress.done(), progress.total());
    }

    // The cases of a known drift over a cell texture: the RMS error of the shifts, and that no
    // layer of a well-measured stack is flagged.
    void targets_data()
    {
        QTest::addColumn<DriftCase>("drift");
        QTest::addColumn<double>("rms");
        QTest::addColumn<int>("bin"); // 0: chosen from the counts
        DriftCase sparse;
        sparse.layers = 12;
        QTest::newRow("5 counts") << sparse << 0.5 << 0;
        DriftCase scarce = sparse;
        scarce.counts = 2;
        scarce.layers = 30;
        QTest::newRow("2 counts, binned") << scarce << 1.0 << 0;
        DriftCase exposed = sparse;
        exposed.counts = 500;
        QTest::newRow("500 counts") << exposed << 0.08 << 0;
        DriftCase grid = exposed;
        grid.grid = true;
        grid.side = 256;
        grid.trend = {0.5, -0.45}; // eleven pixels in all: beyond half the period
        grid.layers = 24;
        QTest::newRow("periodic grid") << grid << 0.5 << 1;
        DriftCase still;
        still.side = 64;
        still.counts = 50000;
        still.step = 0;
        still.trend = {};
        QTest::newRow("64, no drift") << still << 0.1 << 0;
        DriftCase hot = exposed;
        // A spot that does not drift must not pin the shifts (0.6 px when left whole): the
        // texture's brightest thousandth stays as bright as a third of the spot.
        hot.hotSpot = true;
        QTest::newRow("fixed hot spot") << hot << 0.4 << 0;
    }

    void targets()
    {
        QFETCH(DriftCase, drift);
        QFETCH(double, rms);
        QFETCH(int, bin);
        const DriftStack stack = makeDriftStack(drift);
        DriftOptions options;
        options.bin = bin;
        const auto estimate =
            estimateDrift(stack.side, drift.layers, sourceOf(stack.layers), options);
        QVERIFY(estimate);
        const double error = rmsError(estimate->shifts, stack.truth);
        QVERIFY2(error <= rms, qPrintable(QString::number(error)));
        if (drift.step == 0) {
            for (const Shift& s : estimate->shifts)
                QVERIFY(std::hypot(s.dx, s.dy) < 0.25);
        }
    }

    // Over a recorded texture, the summits are fitted against the half of the layers (or bins)
    // each is not in. Against the reference alone, 5 counts per pixel in bins of 4 come out at
    // 0.68 px RMS and 500 counts at 0.055; against the halves, 0.35 and 0.044.
    void recordedTexture_data()
    {
        QTest::addColumn<double>("counts");
        QTest::addColumn<int>("bin");
        QTest::addColumn<double>("rms");
        QTest::newRow("5 counts") << 5.0 << 4 << 0.45;
        QTest::newRow("500 counts") << 500.0 << 1 << 0.05;
    }

    void recordedTexture()
    {
        QFETCH(double, counts);
        QFETCH(int, bin);
        QFETCH(double, rms);
        DriftCase c;
        c.side = 256;
        c.layers = 40;
        c.counts = counts;
        c.seed = 3;
        if (!useRecordedTexture(c, QStringLiteral(ISOLUMEN_REALDATA)))
            QSKIP("The recorded acquisitions are not at " ISOLUMEN_REALDATA);
        const DriftStack stack = makeDriftStack(c);
        const auto estimate = estimateDrift(stack.side, c.layers, sourceOf(stack.layers), {});
        QVERIFY(estimate);
        QCOMPARE(estimate->bin, bin);
        const double error = rmsError(estimate->shifts, stack.truth);
        QVERIFY2(error <= rms, qPrintable(QString::number(error)));
    }

    // A binned reference layer 1.4 px off its neighbours' steady drift is placed partly by its
    // own measurement: 0.55 px RMS, where placed from the bins alone every shift is off by 1.0.
    void referenceOffTheDrift()
    {
        constexpr int side = 128, layers = 16;
        const std::vector<Cell> field = cells(side, 8, 9);
        std::mt19937 rng(2);
        std::vector<Shift> truth(layers);
        Frames frames;
        for (int k = 0; k < layers; ++k) {
            truth[std::size_t(k)] = k == 0 ? Shift{1, -1} : Shift{0.1 * k, -0.05 * k};
            frames.push_back(
                render(side, field, truth[std::size_t(k)].dx, truth[std::size_t(k)].dy, 50, rng));
        }
        DriftOptions options;
        options.bin = 4;
        const auto estimate = estimateDrift(side, layers, sourceOf(frames), options);
        QVERIFY(estimate);
        const double error = rmsError(estimate->shifts, truth);
        QVERIFY2(error < 0.75, qPrintable(QString::number(error)));
    }

    // An empty layer and a layer with 2 % of the counts have no shift of their own: they are
    // interpolated, at the lowest confidence, while a well-exposed one is sure.
    void unsureLayers()
    {
        DriftCase c;
        c.counts = 200;
        c.empty = {4};
        c.faint = 0.0001;
        c.faintLayers = {7};
        const DriftStack stack = makeDriftStack(c);
        DriftOptions options;
        options.bin = 1;
        const auto estimate = estimateDrift(stack.side, c.layers, sourceOf(stack.layers), options);
        QVERIFY(estimate);
        QCOMPARE(estimate->origins[4], ShiftOrigin::Empty);
        QCOMPARE(estimate->confidences[4], 0.0);
        QCOMPARE(estimate->origins[7], ShiftOrigin::LowConfidence);
        QVERIFY(estimate->confidences[7] < options.minConfidence);
        for (const int l : {4, 7}) {
            const Shift& got = estimate->shifts[std::size_t(l)];
            const Shift& before = estimate->shifts[std::size_t(l - 1)];
            const Shift& after = estimate->shifts[std::size_t(l + 1)];
            QCOMPARE(got.dx, (before.dx + after.dx) / 2);
            QCOMPARE(got.dy, (before.dy + after.dy) / 2);
        }
        QCOMPARE(estimate->origins[3], ShiftOrigin::Measured);
        QVERIFY(estimate->confidences[3] > 0.5);
    }

    // Excluded layers and layers set by hand are not measured; the hand-set shift is kept.
    void excludedAndByHand()
    {
        DriftCase c;
        c.counts = 100;
        const DriftStack stack = makeDriftStack(c);
        DriftOptions options;
        options.excluded = {false, false, true};
        options.byHand.resize(6);
        options.byHand[5] = Shift{7, -3};
        int reads = 0;
        const LayerSource source = [&](int layer, std::vector<float>& into) {
            reads += layer == 2;
            into = stack.layers[std::size_t(layer)];
            return true;
        };
        const auto estimate = estimateDrift(stack.side, c.layers, source, options);
        QVERIFY(estimate);
        QCOMPARE(reads, 0);
        QCOMPARE(estimate->origins[2], ShiftOrigin::Excluded);
        QCOMPARE(estimate->origins[5], ShiftOrigin::Hand);
        QCOMPARE(estimate->shifts[5], (Shift{7, -3}));
        QCOMPARE(estimate->origins[6], ShiftOrigin::Measured);
    }

    void automaticBin_data()
    {
        QTest::addColumn<double>("counts"); // per pixel of a layer
        QTest::addColumn<int>("layers");
        QTest::addColumn<int>("bin");
        QTest::newRow("well exposed") << 500.0 << 40 << 1;
        QTest::newRow("20 counts exactly") << 20.0 << 40 << 1;
        QTest::newRow("5 counts") << 5.0 << 40 << 4;
        QTest::newRow("2 counts") << 2.0 << 40 << 10;
        QTest::newRow("three bins at least") << 0.1 << 12 << 4;
        QTest::newRow("no counts") << 0.0 << 9 << 3;
    }

    void automaticBin()
    {
        QFETCH(double, counts);
        QFETCH(int, layers);
        QFETCH(int, bin);
        QCOMPARE(isolumen::automaticBin(counts, layers), bin);
    }

    // Between bin centres linearly, beyond them along the nearest two.
    void interpolation()
    {
        const std::vector<Shift> s = isolumen::interpolateShifts({{1.5, {1, 0}}, {5.5, {5, 2}}}, 8);
        QCOMPARE(s[0], (Shift{-0.5, -0.75}));
        QCOMPARE(s[3], (Shift{2.5, 0.75}));
        QCOMPARE(s[7], (Shift{6.5, 2.75}));
        QCOMPARE(isolumen::interpolateShifts({{2, {3, 4}}}, 3)[0], (Shift{3, 4}));
    }

    // Rings weigh by how sure their phase is: one whose texture barely stands above the noise
    // counts for less than a strong one, the more so the noisier the layer, and one without
    // texture not at all.
    void summitWeights()
    {
        const isolumen::RingPower reference{{0, 5000, 1100, 900}, 1000};
        const std::vector<double> w = isolumen::summitWeights(reference, 0.5, 300);
        QCOMPARE(w.size(), std::size_t(4));
        QCOMPARE(w[0], 0.0);
        QCOMPARE(w[3], 0.0);
        QVERIFY(w[2] > 0 && w[2] < w[1]);
        const std::vector<double> noisier = isolumen::summitWeights(reference, 0.5, 3000);
        QVERIFY(noisier[2] / noisier[1] < w[2] / w[1]);
    }

    // A period away from its neighbours a shift is a jump; of two nearly equal peaks the one
    // nearer the previous shift is taken, of a much lower one the highest.
    void jumpsAndPeaks()
    {
        std::vector<isolumen::BlockEstimate> blocks(5);
        const double xs[] = {0, 0.1, 0.2, 16.3, 0.4};
        for (int b = 0; b < 5; ++b) {
            blocks[b].shift = {xs[b], 0};
            blocks[b].candidates = {{{xs[b], 0}, 1.0}};
        }
        isolumen::flagJumps(blocks, 8);
        for (int b = 0; b < 5; ++b)
            QCOMPARE(blocks[b].origin, b == 3 ? ShiftOrigin::Jump : ShiftOrigin::Measured);
        blocks[3].origin = ShiftOrigin::Measured;
        blocks[3].candidates.push_back({{0.3, 0}, 0.9});
        blocks[4].candidates = {{{-15.6, 0}, 1.0}, {{0.4, 0}, 0.4}};
        isolumen::chooseNearestPeaks(blocks, 0);
        QCOMPARE(blocks[3].chosen, 1);
        QCOMPARE(blocks[3].shift.dx, 0.3);
        QCOMPARE(blocks[4].chosen, 0);
        QCOMPARE(blocks[4].shift.dx, -15.6);
    }

    void refused_data()
    {
        QTest::addColumn<int>("side");
        QTest::addColumn<int>("layers");
        QTest::addColumn<int>("reference");
        QTest::addColumn<QRect>("region"); // null: none
        QTest::addColumn<int>("badLayer");
        // What reading the bad layer does: "refuse", "short", "not a number" or "cancel"
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("problem");
        const auto row = [](const char* name, int side, int layers, int reference, QRect region,
                            int bad, const char* fault, const char* problem) {
            QTest::newRow(name) << side << layers << reference << region << bad << QString(fault)
                                << QString(problem);
        };
        row("no side", 0, 3, 0, {}, -1, "", "The frame side 0 is not between 1 and 32768.");
        row("side too large", 32769, 3, 0, {}, -1, "",
            "The frame side 32769 is not between 1 and 32768.");
        row("no layers", 64, 0, 0, {}, -1, "", "There are no layers to align.");
        row("reference past the end", 64, 3, 3, {}, -1, "",
            "The reference layer 4 is not among layers 1 to 3.");
        row("region outside", 64, 3, 0, QRect(64, 0, 10, 10), -1, "",
            "The region lies outside the frame.");
        row("unreadable layer", 64, 5, 0, {}, 3, "refuse", "Layer 4 cannot be read.");
        row("short layer", 64, 5, 0, {}, 2, "short", "Layer 3 cannot be read.");
        row("unreadable reference", 64, 5, 1, {}, 1, "refuse", "Layer 2 cannot be read.");
        row("cancelled", 64, 200, 0, {}, 5, "cancel", ""); // nothing, and no problem named
        row("infinity", 64, 5, 0, {}, 4, "not a number",
            "Layer 5 holds values that are not numbers.");
        row("empty reference", 64, 5, 2, {}, 2, "empty",
            "The reference layer 3 has no counts to align on.");
    }

    void refused()
    {
        QFETCH(int, side);
        QFETCH(int, layers);
        QFETCH(int, reference);
        QFETCH(QRect, region);
        QFETCH(int, badLayer);
        QFETCH(QString, fault);
        QFETCH(QString, problem);
        Progress progress;
        std::atomic<int> reads{0};
        const LayerSource source = [&](int layer, std::vector<float>& into) {
            ++reads;
            const bool bad = layer == badLayer;
            into.assign(std::size_t(side) * side - (bad && fault == "short"), 0.0f);
            for (std::size_t i = 0; i < into.size(); ++i)
                into[i] = float(i % 7);
            if (bad && fault == "empty")
                std::fill(into.begin(), into.end(), 0.0f);
            if (bad && fault == "not a number")
                into[7] = INFINITY;
            if (bad && fault == "cancel")
                progress.cancel();
            return !bad || fault != "refuse";
        };
        DriftOptions options;
        options.referenceLayer = reference;
        options.region = optionalRegion(region);
        options.bin = 1;
        const auto drift = estimateDrift(side, layers, source, options, &progress);
        QVERIFY(!drift);
        QCOMPARE(drift.error().message, problem);
        if (fault == "cancel")
            QVERIFY(reads < layers); // and stopped early
    }
};

QTEST_GUILESS_MAIN(TestDrift)
#include "tst_drift.moc"
