// The planes the acquisition model serves, by value: ratios, dead-time and QSA
// corrections, HSI colours and aligned layers, each worked out here from the samples written.
#include "core/model/acquisition.h"
#include "core/render/colourmapping.h"
#include "core/render/displaysettings.h"
#include "core/render/hsi.h"
#include "featurefiles.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

using namespace isolumen;

using namespace FeatureFiles;

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

bool near(double got, double want)
{
    return std::isnan(want) ? std::isnan(got) : std::abs(got - want) <= 1e-9 * std::abs(want);
}

PlanePtr planeOf(const Acquisition& a, const PlaneSource& source, int first, int last)
{
    PlaneRequest r = a.request(source);
    r.firstLayer = first;
    r.lastLayer = last;
    const Result<PlaneResult> loaded = a.plane(r);
    return loaded ? loaded->shown : nullptr;
}

} // namespace

class TestPlanes : public QObject
{
    Q_OBJECT

private slots:
    void ratios_data();
    void ratios();
    void corrections_data();
    void corrections();
    void noValueCounts_data();
    void noValueCounts();
    void correctedRealCount();
    void chainedDeadTimes();
    void hsi();
    void alignment();

private:
    // b written to a new file and opened; null when either fails.
    std::unique_ptr<Acquisition> open(const ImBuilder& b);

    QTemporaryDir m_dir;
    int m_files = 0;
};

std::unique_ptr<Acquisition> TestPlanes::open(const ImBuilder& b)
{
    const QString path = m_dir.filePath(QStringLiteral("%1.im").arg(m_files++));
    auto a = std::make_unique<Acquisition>();
    if (!b.write(path) || a->open(path) != ImFile::Status::Accepted)
        return nullptr;
    return a;
}

void TestPlanes::ratios_data()
{
    QTest::addColumn<double>("n");
    QTest::addColumn<double>("d");
    QTest::addColumn<double>("tN");
    QTest::addColumn<double>("tD");
    QTest::addColumn<double>("ratio"); // with scale 1000; NaN: no value
    QTest::newRow("0 over a positive denominator is 0") << 0.0 << 5.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("zero denominator") << 3.0 << 0.0 << 0.0 << 0.0 << kNone;
    QTest::newRow("denominator at tD") << 4.0 << 2.0 << 0.0 << 2.0 << kNone;
    QTest::newRow("denominator above tD") << 4.0 << 3.0 << 0.0 << 2.0 << 4000.0 / 3;
    QTest::newRow("numerator below tN") << 1.0 << 10.0 << 2.0 << 0.0 << kNone;
    QTest::newRow("numerator at tN") << 2.0 << 10.0 << 2.0 << 0.0 << 200.0;
    QTest::newRow("numerator without value") << kNone << 10.0 << 0.0 << 0.0 << kNone;
}

void TestPlanes::ratios()
{
    QFETCH(double, n);
    QFETCH(double, d);
    QFETCH(double, tN);
    QFETCH(double, tD);
    QFETCH(double, ratio);
    // The pixel under test, and two more that give the picture a range.
    Plane numerator{2, std::vector<double>{n, 5, 10, 0}};
    Plane denominator{2, std::vector<double>{d, 10, 10, 0}};
    const std::shared_ptr<Plane> r =
        buildRatioPlane(numerator, denominator, RatioDefinition{{0}, {1}, 1000, tN, tD});
    QVERIFY(near(r->value(0, 0), ratio));
    // No value is drawn in the no-value colour, whatever the range.
    const QImage picture = imagePicture(*r, r->min, r->max, DisplaySettings().lut, 0x123456);
    QCOMPARE(picture.pixel(1, 1) == qRgb(0x12, 0x34, 0x56), std::isnan(ratio));
    QCOMPARE(picture.pixel(2, 2), qRgb(0x12, 0x34, 0x56));
}

void TestPlanes::corrections_data()
{
    QTest::addColumn<int>("trolley");
    QTest::addColumn<double>("countTime"); // s per layer; 0: not recorded
    QTest::addColumn<int>("recordedNs");   // 0: the file records no dead times
    QTest::addColumn<double>("handNs");    // 0: none given; -1: no dead-time correction
    QTest::addColumn<double>("beta");      // QSA, with 10 pA; 0: no QSA
    QTest::addColumn<quint32>("count");
    QTest::addColumn<double>("corrected"); // NaN: no value; -1: refused
    const auto row = [](const char* name, int trolley, double countTime, int recordedNs,
                        double handNs, double beta, quint32 count, double corrected) {
        QTest::newRow(name) << trolley << countTime << recordedNs << handNs << beta << count
                            << corrected;
    };
    // 64 x 64 pixels counted for 4.096 s: a dwell time t of 1 ms. 1000 / (1 - 1000 x 44 ns / 1 ms)
    row("header's dead time", 1, 4.096, 44, 0, 0, 1000, 1046.0251046025105);
    row("dead time by hand over the header's", 2, 4.096, 44, 100, 0, 1000, 1111.111111111111);
    row("saturated: N tau / t = 1.32", 1, 4.096, 44, 0, 0, 30000, kNone);
    // No count time: t = 8192 s / (2 layers x 4096 pixels) = 1 s.
    row("dwell time from the duration", 3, 0, 44, 0, 0, 50000, 50110.24253357386);
    row("secondary electrons never corrected", 8, 4.096, 44, 100, 0, 1000, 1000);
    // N' = 1046.0251; Kexp = N' / (1 ms x 10 pA x 6.2415e6) = 0.0167592;
    // K = Kexp / (1 - Kexp / 2) = 0.0169008; N'' = N' (1 + 0.5 K).
    row("QSA after dead time", 1, 4.096, 44, 0, 0.5, 1000, 1054.8644436234404);
    row("QSA alone", 1, 4.096, 0, -1, 0.5, 1000, 1008.0755874989907);
    row("no recorded dead time: by hand", 1, 4.096, 0, 100, 0, 1000, 1111.111111111111);
    row("no recorded dead time: refused without one", 1, 4.096, 0, 0, 0, 1000, -1);
}

void TestPlanes::corrections()
{
    QFETCH(int, trolley);
    QFETCH(double, countTime);
    QFETCH(int, recordedNs);
    QFETCH(double, handNs);
    QFETCH(double, beta);
    QFETCH(quint32, count);
    QFETCH(double, corrected);
    ImBuilder b = small(1, 2, [count](int, int, int, int) { return count; });
    b.duration = 8192;
    recordCounting(b, {{trolley, countTime}}, recordedNs);
    const auto a = open(b);
    QVERIFY(a);
    CorrectionSettings settings;
    settings.deadTime = handNs >= 0;
    if (handNs > 0)
        settings.deadTimeAllNs = handNs;
    settings.qsa = beta != 0;
    settings.qsaBeta[0] = beta;
    settings.primaryCurrentPa = 10;
    const Result<CorrectionSetup> setup = makeCorrections(a->header(), settings);
    QCOMPARE(setup.has_value(), corrected != -1);
    if (corrected == -1)
        return;
    a->setCorrections(setup->corrections);
    const PlaneResult result = *a->plane(a->request({0, {}}));
    QVERIFY(near(result.shown->value(17, 5), corrected));
    QCOMPARE(result.saturatedPixels, qint64(std::isnan(corrected) ? 64 * 64 : 0));
}

void TestPlanes::noValueCounts_data()
{
    QTest::addColumn<bool>("ratio"); // 12C/13C, else 12C
    QTest::addColumn<int>("last");   // layers 1 to last
    QTest::addColumn<qint64>("count");
    // Saturated in every layer: 40 x 40 pixels of 12C, and of 13C 20 rows lower (800 shared).
    QTest::newRow("a layer") << false << 1 << qint64(1600);
    QTest::newRow("a sum: each pixel once") << false << 3 << qint64(1600);
    QTest::newRow("a ratio: either term's, once") << true << 3 << qint64(2400);
}

// "N pixels have no value" counts the pixels of the plane shown, over every band of rows.
void TestPlanes::noValueCounts()
{
    QFETCH(bool, ratio);
    QFETCH(int, last);
    QFETCH(qint64, count);
    // 256 x 256 pixels for 65.536 s: t = 1 ms, and 44 ns saturate from 22,728 counts.
    ImBuilder b = small(2, 3, [](int s, int, int r, int k) {
        const int top = s == 1 ? 100 : 120;
        return quint32(r >= top && r < top + 40 && k >= 100 && k < 140 ? 30000 : 5);
    });
    b.width = b.height = 256;
    recordCounting(b, {{1, 65.536}, {2, 65.536}}, 44);
    const auto a = open(b);
    QVERIFY(a);
    CorrectionSettings settings;
    settings.deadTime = true;
    a->setCorrections(makeCorrections(a->header(), settings)->corrections);
    PlaneRequest r = a->request(ratio ? PlaneSource{0, RatioDefinition{}} : PlaneSource{0, {}});
    r.lastLayer = last;
    QCOMPARE(a->plane(r)->saturatedPixels, count);
}

// One pixel of an instrument's file worked out by hand: the brightest 12C pixel of 040702
// (2659 counts) with the header's 44 ns and 14417.92 s over 512 x 512 pixels (t = 55 ms):
// 2659 / (1 - 2659 x 44 ns / 55 ms).
void TestPlanes::correctedRealCount()
{
    const QString path = ISOLUMEN_REALDATA "/OpenMIMS_doc_040702_06-05mos-03a.im";
    if (!QFileInfo::exists(path))
        QSKIP("The instrument files of ../shared/realdata are not here.");
    Acquisition a;
    QCOMPARE(a.open(path), ImFile::Status::Accepted);
    const PlanePtr raw = planeOf(a, {0, {}}, 1, 1);
    QCOMPARE(raw->max, 2659.0);
    const auto& counts = std::get<std::vector<quint16>>(raw->samples);
    const qsizetype at = std::max_element(counts.begin(), counts.end()) - counts.begin();
    CorrectionSettings settings;
    settings.deadTime = true;
    a.setCorrections(makeCorrections(a.header(), settings)->corrections);
    const PlanePtr corrected = planeOf(a, {0, {}}, 1, 1);
    QVERIFY(near(corrected->value(int(at % 512), int(at / 512)), 2664.668282370258));
}

// Three runs, each recording its own dead time and count time: each layer is corrected by its
// own file's, and the sum adds them up.
void TestPlanes::chainedDeadTimes()
{
    const double ns[3] = {44, 60, 100};
    const double countTime[3] = {4.096, 8.192, 4.096}; // a dwell time of 1, 2 and 1 ms
    Acquisition a;
    for (int r = 0; r < 3; ++r) {
        ImBuilder b = small(1, 2, [](int, int, int, int) { return 1000u; });
        recordCounting(b, {{1, countTime[r]}}, qint32(ns[r]));
        const QString path = m_dir.filePath(QStringLiteral("run%1.im").arg(r));
        QVERIFY(b.write(path));
        QCOMPARE(r == 0 ? a.open(path) : a.append(path), ImFile::Status::Accepted);
    }
    const auto corrected = [&](double tau, double dwellMs) {
        return 1000 / (1 - 1000 * tau * 1e-9 / (dwellMs * 1e-3));
    };
    CorrectionSettings settings;
    settings.deadTime = true;
    a.setCorrections(makeCorrections(*a.file(), settings)->corrections);
    double sum = 0;
    for (int layer = 1; layer <= 6; ++layer) {
        const int r = (layer - 1) / 2;
        const double want = corrected(ns[r], countTime[r] / 4.096);
        QVERIFY2(near(planeOf(a, {0, {}}, layer, layer)->value(3, 9), want),
                 qPrintable(QString::number(layer)));
        sum += want;
    }
    QVERIFY(near(planeOf(a, {0, {}}, 1, 6)->value(3, 9), sum));
}

// Hue by ratio: blue at Rmin through cyan, green and yellow to red at Rmax, held there beyond;
// no ratio is black. Brightness from the counts each mode names, stretched between their
// extremes over the pixels that have a ratio onto 10 % to 100 %: the dimmest is not black.
void TestPlanes::hsi()
{
    PlaneResult hues;
    hues.shown = std::make_shared<Plane>(
        Plane{3, std::vector<double>{1, 1.25, 1.5, 1.75, 2, 0.5, 3, kNone, 1}});
    hues.numerator = hues.denominator = std::make_shared<Plane>(Plane{3, std::vector(9, 5.0)});
    const QImage picture = hsiPicture(hues, 1, 2, HsiBrightness::Denominator);
    const QList<QRgb> want{qRgb(0, 0, 255), qRgb(0, 255, 255), qRgb(0, 255, 0), qRgb(255, 255, 0),
                           qRgb(255, 0, 0), qRgb(0, 0, 255),   qRgb(255, 0, 0), qRgb(0, 0, 0)};
    for (int i = 0; i < want.size(); ++i)
        QCOMPARE(picture.pixel(1 + i % 3, 1 + i / 3), want[i]);
    // Pixels A (N 0, D 10), B (N 30, D 20), C (N 10, D 15), and one without a ratio.
    PlaneResult counts;
    counts.shown = std::make_shared<Plane>(Plane{2, std::vector<double>{1.5, 1.5, 1.5, kNone}});
    counts.numerator = std::make_shared<Plane>(Plane{2, std::vector<double>{0, 30, 10, 1000}});
    counts.denominator = std::make_shared<Plane>(Plane{2, std::vector<double>{10, 20, 15, 1000}});
    // C between A and B: 15 of 10 to 20, 10 of 0 to 30, 15 of 10 to 30, 12.5 of 5 to 25.
    const auto green = [](double stretched) { return 255 * (0.1 + 0.9 * stretched); };
    for (const auto& [mode, c] :
         {std::pair{"den", 0.5}, {"num", 1.0 / 3}, {"max", 0.25}, {"mean", 0.375}}) {
        const QImage p = hsiPicture(counts, 1, 2, *hsiBrightnessNamed(mode));
        QCOMPARE(std::tuple(p.pixel(2, 1), p.pixel(2, 2)),
                 std::tuple(qRgb(0, 255, 0), qRgb(0, 0, 0)));
        for (const auto& [x, y, want] : {std::tuple{1, 1, green(0)}, {1, 2, green(c)}}) {
            const QRgb got = p.pixel(x, y);
            QVERIFY2(qRed(got) == 0 && qBlue(got) == 0 && std::abs(qGreen(got) - want) <= 1, mode);
        }
    }
}

// Every species of every layer moves back by its drift: the aligned sum is the scene times three
// where every layer has a value, and has none elsewhere.
void TestPlanes::alignment()
{
    const auto a = open(driftingCell());
    QVERIFY(a);
    Alignment drift;
    for (const auto& [dx, dy] : kDrift)
        drift.shifts.push_back({double(dx), double(dy)});
    const PlanePtr recorded3 = planeOf(*a, {0, {}}, 3, 3);
    const PlanePtr unalignedSum = planeOf(*a, {0, {}}, 1, 3);
    const PlanePtr unalignedRatio = planeOf(*a, {1, RatioDefinition{{1}, {0}, 1, 0, 0}}, 1, 3);
    a->setAlignment(std::make_shared<Alignment>(drift));
    const PlanePtr aligned3 = planeOf(*a, {0, {}}, 3, 3);
    const PlanePtr sum = planeOf(*a, {0, {}}, 1, 3);
    const PlanePtr ratio = planeOf(*a, {1, RatioDefinition{{1}, {0}, 1, 0, 0}}, 1, 3);
    double overlap = 0, shiftedTotal = 0;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            bool inside = true;
            for (const auto& [dx, dy] : kDrift)
                inside = inside && x + dx >= 0 && x + dx < 64 && y + dy >= 0 && y + dy < 64;
            QCOMPARE(sum->value(x, y), inside ? 3.0 * scene(1, x, y) : kNone);
            if (inside)
                QVERIFY(ratio->value(x, y) == 0 || ratio->value(x, y) == 2);
            if (!std::isnan(aligned3->value(x, y)))
                shiftedTotal += aligned3->value(x, y);
            if (x - kDrift[2][0] >= 0 && x - kDrift[2][0] < 64 && y - kDrift[2][1] >= 0 &&
                y - kDrift[2][1] < 64)
                overlap += recorded3->value(x, y);
        }
    }
    QCOMPARE(shiftedTotal, overlap);
    QCOMPARE(sum->max, 600.0);
    QVERIFY(unalignedSum->max < 600);
    // Unaligned, the disc's rims mix the two species' layers: ratios between 0 and 2.
    const auto& mixed = std::get<std::vector<double>>(unalignedRatio->samples);
    QVERIFY(std::any_of(mixed.begin(), mixed.end(), [](double v) { return v > 0 && v < 2; }));
}

QTEST_GUILESS_MAIN(TestPlanes)
#include "tst_planes.moc"
