// The planes the acquisition model serves, by value: sums, ratios, dead-time and QSA
// corrections, HSI colours and aligned layers, each worked out here from the samples written.
#include "core/model/acquisition.h"
#include "core/model/alignlayers.h"
#include "core/render/colourmapping.h"
#include "core/render/displaysettings.h"
#include "core/render/hsi.h"
#include "featurefiles.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

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
    return a.plane(r).shown;
}

} // namespace

class TestPlanes : public QObject
{
    Q_OBJECT

private slots:
    void sums_data();
    void sums();
    void ratios_data();
    void ratios();
    void ratioOfSums();
    void corrections_data();
    void corrections();
    void correctedRealCount();
    void hsiHues();
    void hsiBrightness_data();
    void hsiBrightness();
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

void TestPlanes::sums_data()
{
    QTest::addColumn<int>("depth");
    QTest::addColumn<quint32>("top"); // samples lie a little below it
    QTest::addColumn<int>("layers");  // summed from layer 2
    QTest::addColumn<int>("type");    // of the samples: 0 16-bit, 1 32-bit, 2 double
    QTest::newRow("2-byte layer") << 2 << 65535u << 1 << 0;
    QTest::newRow("2-byte sum beyond 65535: exact in 32 bits") << 2 << 65535u << 3 << 1;
    QTest::newRow("4-byte layer") << 4 << 4294967295u << 1 << 1;
    QTest::newRow("4-byte sum within 32 bits") << 4 << 1000000000u << 4 << 1;
    QTest::newRow("4-byte sum beyond 2^32: doubles") << 4 << 4294967295u << 3 << 2;
}

// A sum equals its layers added one by one and never clips.
void TestPlanes::sums()
{
    QFETCH(int, depth);
    QFETCH(quint32, top);
    QFETCH(int, layers);
    QFETCH(int, type);
    ImBuilder b;
    b.width = b.height = 64;
    b.depth = qint16(depth);
    b.nSpecies = 2;
    b.nPlanes = qint16(layers + 1);
    b.sample = [top](int s, int p, int r, int k) {
        return top - quint32((r * 64 + k + 100 * p + 7 * s) % 4000);
    };
    const auto a = open(b);
    QVERIFY(a);
    const PlanePtr sum = planeOf(*a, {1, {}}, 2, layers + 1);
    QVERIFY(sum);
    QCOMPARE(int(sum->samples.index()), type);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            quint64 want = 0;
            for (int l = 2; l <= layers + 1; ++l)
                want += shown(b, 2, l, x, y);
            QCOMPARE(sum->value(x, y), double(want));
        }
    }
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
    RatioSpec spec{0, 1, 1000, tN, tD};
    const std::shared_ptr<Plane> r = buildRatioPlane(numerator, denominator, spec);
    QVERIFY(near(r->value(0, 0), ratio));
    // No value is drawn in the no-value colour, whatever the range.
    const QImage picture = imagePicture(*r, r->min, r->max, DisplaySettings().lut, 0x123456);
    QCOMPARE(picture.pixel(1, 1) == qRgb(0x12, 0x34, 0x56), std::isnan(ratio));
    QCOMPARE(picture.pixel(2, 2), qRgb(0x12, 0x34, 0x56));
}

// The ratio of a sum is the sum of the numerators over the sum of the denominators.
void TestPlanes::ratioOfSums()
{
    ImBuilder b;
    b.width = b.height = 64;
    b.nSpecies = 2;
    b.nPlanes = 2;
    // Layer 1: 1 over 1; layer 2: 3 over 9. Sum: 4 / 10, where a sum of ratios gives 4/3.
    b.sample = [](int s, int p, int, int) { return p == 1 ? 1u : s == 1 ? 3u : 9u; };
    const auto a = open(b);
    QVERIFY(a);
    const PlanePtr r = planeOf(*a, {0, RatioSpec{0, 1, 1, 0, 0}}, 1, 2);
    QVERIFY(r);
    QCOMPARE(r->min, 0.4);
    QCOMPARE(r->value(63, 63), 0.4);
}

void TestPlanes::corrections_data()
{
    QTest::addColumn<int>("trolley");
    QTest::addColumn<double>("countTime"); // s per layer; 0: not recorded
    QTest::addColumn<int>("duration");     // s, of the two layers
    QTest::addColumn<int>("recordedNs");   // 0: the file records no dead times
    QTest::addColumn<double>("handNs");    // 0: none given
    QTest::addColumn<double>("beta");      // QSA, with 10 pA; 0: no QSA
    QTest::addColumn<quint32>("count");
    QTest::addColumn<double>("corrected"); // NaN: no value; -1: refused
    // 64 x 64 pixels counted for 4.096 s: a dwell time t of 1 ms.
    // 1000 / (1 - 1000 x 44 ns / 1 ms) = 1000 / 0.956
    QTest::newRow("header's dead time")
        << 1 << 4.096 << 600 << 44 << 0.0 << 0.0 << 1000u << 1046.0251046025105;
    QTest::newRow("dead time by hand over the header's")
        << 2 << 4.096 << 600 << 44 << 100.0 << 0.0 << 1000u << 1111.111111111111;
    QTest::newRow("saturated: N tau / t = 1.32")
        << 1 << 4.096 << 600 << 44 << 0.0 << 0.0 << 30000u << kNone;
    // No count time: t = 8192 s / (2 layers x 4096 pixels) = 1 s.
    QTest::newRow("dwell time from the duration")
        << 3 << 0.0 << 8192 << 44 << 0.0 << 0.0 << 50000u << 50110.24253357386;
    QTest::newRow("secondary electrons never corrected")
        << 8 << 4.096 << 600 << 44 << 100.0 << 0.0 << 1000u << 1000.0;
    // N' = 1046.0251; Kexp = N' / (1 ms x 10 pA x 6.2415e6) = 0.0167592;
    // K = Kexp / (1 - Kexp / 2) = 0.0169008; N'' = N' (1 + 0.5 K).
    QTest::newRow("QSA after dead time")
        << 1 << 4.096 << 600 << 44 << 0.0 << 0.5 << 1000u << 1054.8644436234404;
    QTest::newRow("QSA alone") << 1 << 4.096 << 600 << 0 << -1.0 << 0.5 << 1000u
                               << 1008.0755874989907;
    QTest::newRow("no recorded dead time: by hand")
        << 1 << 4.096 << 600 << 0 << 100.0 << 0.0 << 1000u << 1111.111111111111;
    QTest::newRow("no recorded dead time: refused without one")
        << 1 << 4.096 << 600 << 0 << 0.0 << 0.0 << 1000u << -1.0;
}

void TestPlanes::corrections()
{
    QFETCH(int, trolley);
    QFETCH(double, countTime);
    QFETCH(int, duration);
    QFETCH(int, recordedNs);
    QFETCH(double, handNs);
    QFETCH(double, beta);
    QFETCH(quint32, count);
    QFETCH(double, corrected);
    ImBuilder b;
    b.width = b.height = 64;
    b.nPlanes = 2;
    b.duration = duration;
    b.labels = {"12C"};
    b.sample = [count](int, int, int, int) { return count; };
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
    const CorrectionSetup setup = makeCorrections(a->header(), settings);
    QCOMPARE(setup.error.isEmpty(), corrected != -1);
    if (corrected == -1)
        return;
    a->setCorrections(setup.corrections);
    const PlaneResult result = a->plane(a->request({0, {}}));
    QVERIFY(result.shown);
    QVERIFY2(near(result.shown->value(17, 5), corrected),
             qPrintable(QString::number(result.shown->value(17, 5), 'g', 17)));
    QCOMPARE(result.saturatedPixels, qint64(std::isnan(corrected) ? 64 * 64 : 0));
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
    a.setCorrections(makeCorrections(a.header(), settings).corrections);
    const PlanePtr corrected = planeOf(a, {0, {}}, 1, 1);
    QVERIFY(near(corrected->value(int(at % 512), int(at / 512)), 2664.668282370258));
}

// Hue by ratio at full brightness: blue at Rmin through cyan, green and yellow to red at Rmax,
// held there beyond; no ratio is black.
void TestPlanes::hsiHues()
{
    const std::vector<double> ratios{1, 1.25, 1.5, 1.75, 2, 0.5, 3, kNone, 1, 1, 1, 1, 1, 1, 1, 1};
    const QList<QRgb> want{qRgb(0, 0, 255), qRgb(0, 255, 255), qRgb(0, 255, 0), qRgb(255, 255, 0),
                           qRgb(255, 0, 0), qRgb(0, 0, 255),   qRgb(255, 0, 0), qRgb(0, 0, 0)};
    PlaneResult result;
    result.shown = std::make_shared<Plane>(Plane{4, ratios});
    result.numerator = result.denominator =
        std::make_shared<Plane>(Plane{4, std::vector<double>(16, 5)});
    const QImage picture = hsiPicture(result, 1, 2, HsiBrightness::Denominator);
    for (int i = 0; i < want.size(); ++i)
        QCOMPARE(picture.pixel(1 + i % 4, 1 + i / 4), want[i]);
}

void TestPlanes::hsiBrightness_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<double>("middle"); // the brightness of pixel C
    // A: N 0, D 10; B: N 30, D 20; C: N 10, D 15; D without a ratio: N = D = 1000.
    QTest::newRow("denominator") << "den" << 0.5;   // 10, 20, 15
    QTest::newRow("numerator") << "num" << 1.0 / 3; // 0, 30, 10
    QTest::newRow("larger") << "max" << 0.25;       // 10, 30, 15
    QTest::newRow("mean") << "mean" << 0.375;       // 5, 25, 12.5
}

// Brightness stretched between its own extremes over the pixels that have a ratio.
void TestPlanes::hsiBrightness()
{
    QFETCH(QString, mode);
    QFETCH(double, middle);
    PlaneResult result;
    result.shown = std::make_shared<Plane>(Plane{2, std::vector<double>{1.5, 1.5, 1.5, kNone}});
    result.numerator = std::make_shared<Plane>(Plane{2, std::vector<double>{0, 30, 10, 1000}});
    result.denominator = std::make_shared<Plane>(Plane{2, std::vector<double>{10, 20, 15, 1000}});
    const QImage picture = hsiPicture(result, 1, 2, *hsiBrightnessNamed(mode));
    QCOMPARE(picture.pixel(1, 1), qRgb(0, 0, 0));
    QCOMPARE(picture.pixel(2, 1), qRgb(0, 255, 0));
    QVERIFY(std::abs(qGreen(picture.pixel(1, 2)) - 255 * middle) <= 1);
    QCOMPARE(picture.pixel(2, 2), qRgb(0, 0, 0));
}

// The drift of the scene is found, and every species of every layer moves back by it: the
// aligned sum is the scene times three where every layer has a value, and nothing elsewhere.
void TestPlanes::alignment()
{
    const auto a = open(driftingCell());
    QVERIFY(a);
    QString problem;
    const std::optional<Alignment> estimate =
        alignLayers(*a->file(), 0, 1, std::nullopt, false, nullptr, &problem);
    QVERIFY2(estimate, qPrintable(problem));
    for (int l = 0; l < 3; ++l) {
        QVERIFY(std::abs(estimate->shifts[l].dx - kDrift[l][0]) < 0.1);
        QVERIFY(std::abs(estimate->shifts[l].dy - kDrift[l][1]) < 0.1);
    }
    const PlanePtr recorded3 = planeOf(*a, {0, {}}, 3, 3);
    const PlanePtr unalignedSum = planeOf(*a, {0, {}}, 1, 3);
    const PlanePtr unalignedRatio = planeOf(*a, {1, RatioSpec{1, 0, 1, 0, 0}}, 1, 3);
    a->setAlignment(std::make_shared<Alignment>(*estimate));
    const PlanePtr aligned3 = planeOf(*a, {0, {}}, 3, 3);
    const PlanePtr sum = planeOf(*a, {0, {}}, 1, 3);
    const PlanePtr ratio = planeOf(*a, {1, RatioSpec{1, 0, 1, 0, 0}}, 1, 3);
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
