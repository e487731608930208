// Regions and their statistics: the pixels each shape takes, worked out by hand on a plane
// whose value at shown (x, y) is 10 y + x; the ratio of sums and its Poisson error; regions
// through JSON and back (a bad file is tried in tst_regionswindow); rules that classify regions
// by their statistics.
#include "core/model/acquisition.h"
#include "core/model/planebuilder.h"
#include "core/stats/autorange.h"
#include "core/stats/region.h"
#include "core/stats/regionmeasures.h"
#include "core/stats/statistics.h"

#include <QTest>
#include <cmath>

using namespace isolumen;

namespace {

// A plane of n x n values given in row order.
Plane planeOf(std::vector<double> values)
{
    Plane plane;
    plane.side = int(std::lround(std::sqrt(double(values.size()))));
    plane.samples = std::move(values);
    plane.findExtremes();
    return plane;
}

Region region(const QString& text)
{
    return parseRegion(text).value();
}

} // namespace

class TestRegions : public QObject
{
    Q_OBJECT

private slots:
    void statistics_data();
    void statistics();
    void ratioOfSumsWithPoissonError();
    void ratioTermsAsText();
    void jsonRoundTrip();
    void wholeNumberBins();
    void automaticRange_data();
    void automaticRange();
    void idsStayThroughDeletion();
    void rulesClassify();
};

void TestRegions::statistics_data()
{
    QTest::addColumn<QString>("region");
    // The values of the pixels inside, in row order (so the first is the least, the last the
    // greatest), their sum and sample standard deviation.
    QTest::addColumn<QList<int>>("values");
    QTest::addColumn<double>("sum");
    QTest::addColumn<double>("sd");

    QTest::newRow("rectangle on pixel corners")
        << "rect:2,3,3,2" << QList<int>{32, 33, 34, 42, 43, 44} << 228.0 << std::sqrt(154.0 / 5);
    // Centres on the top and left edges count, those on the bottom and right do not.
    QTest::newRow("rectangle with its edges through pixel centres")
        << "rect:1.5,0.5,2,1" << QList<int>{1, 2} << 3.0 << std::sqrt(0.5);
    QTest::newRow("rectangle with its edges between centres")
        << "rect:1.6,0.4,1.8,1.2" << QList<int>{2, 12} << 14.0 << std::sqrt(50.0);
    // Centre (3.5, 2.5), half-axes 3 and 1: (0, 2), (6, 2), (3, 1) and (3, 3) lie on the edge,
    // (2, 1) just outside it; the left and top ones count, the right and bottom ones do not.
    QTest::newRow("ellipse whose edge passes through pixel centres")
        << "ellipse:0.5,1.5,6,2" << QList<int>{13, 20, 21, 22, 23, 24, 25} << 148.0
        << std::sqrt(664.0 / 7 / 6);
    // Two rectangles meeting on a line of centres: the line goes to the lower one alone.
    QTest::newRow("upper of two tiles")
        << "rect:0,0,2,1.5" << QList<int>{0, 1} << 1.0 << std::sqrt(0.5);
    QTest::newRow("lower of two tiles")
        << "rect:0,1.5,2,1" << QList<int>{10, 11} << 21.0 << std::sqrt(0.5);
    // The long edge crosses rows 0, 1 and 2 at x = 3.38, 2.0 and 0.62.
    QTest::newRow("polygon with fractional vertices")
        << "polygon:0.2,0.2,3.8,0.2,0.2,2.8" << QList<int>{0, 1, 2, 10, 11, 20} << 44.0
        << std::sqrt((626 - 44.0 * 44 / 6) / 5);
    QTest::newRow("rectangle partly outside the frame")
        << "rect:-2,6,4,5" << QList<int>{60, 61, 70, 71} << 262.0 << std::sqrt(101.0 / 3);
    QTest::newRow("rectangle wholly outside")
        << "rect:9,2,3,3" << QList<int>{} << 0.0 << double(NAN);
}

void TestRegions::statistics()
{
    QFETCH(QString, region);
    QFETCH(QList<int>, values);
    QFETCH(double, sum);
    QFETCH(double, sd);
    // 8 x 8 pixels of 2 µm: 4 µm² each.
    std::vector<double> grid;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            grid.push_back(10 * y + x);
    const Plane plane = planeOf(grid);
    const std::vector<qint64> pixels = regionPixels(::region(region), 8);

    QList<int> inside;
    for (const double v : pixelValues(plane, pixels))
        inside << int(v);
    QCOMPARE(inside, values);
    const RegionStats s = regionStats(plane, pixels, 2);
    QCOMPARE(s.pixels, values.size());
    QCOMPARE(s.areaUm2, 4.0 * values.size());
    QCOMPARE(s.sum, sum);
    if (values.isEmpty()) {
        QVERIFY(std::isnan(s.mean) && std::isnan(s.sd) && std::isnan(s.min));
        return;
    }
    QCOMPARE(s.mean, sum / values.size());
    QVERIFY2(std::abs(s.sd - sd) < 1e-12, qPrintable(QString::number(s.sd, 'g', 17)));
    QCOMPARE(s.min, double(values.first()));
    QCOMPARE(s.max, double(values.last()));
}

void TestRegions::ratioOfSumsWithPoissonError()
{
    // Counts A, B and C of four pixels, summing to 15, 10 and 10; the fourth pixel has no C, so
    // it is left out where C is counted. A species over another keeps its error exactly.
    const Plane a = planeOf({4, 6, 5, 0});
    const Plane b = planeOf({2, 3, 0, 5});
    const Plane c = planeOf({1, 2, 7, NAN});
    const std::vector<qint64> all = regionPixels(region("rect:0,0,2,2"), 2);
    const double A = 15, B = 10, C = 10, A3 = 15, B3 = 5; // over all pixels; over the first three
    const auto delta = [](RatioDefinition r, double standard) {
        r.unit = RatioUnit::Delta;
        r.standard = standard;
        return r;
    };
    RatioDefinition percent{{0}, {0, 1}};
    percent.unit = RatioUnit::Percent;
    const struct
    {
        RatioDefinition definition;
        std::vector<const Plane*> counts;
        double ratio, error;
    } cases[] = {
        {{{0}, {1}, 2}, {&a, &b}, 3, 3 * std::sqrt(1 / A + 1 / B)},
        {{{0}, {0, 1}}, {&a, &b}, A / (A + B), std::sqrt(A * B / std::pow(A + B, 3))},
        {percent, {&a, &b}, 100 * A / (A + B), 100 * std::sqrt(A * B / std::pow(A + B, 3))},
        {delta({{1}, {0}}, 0.5),
         {&b, &a},
         (B / A / 0.5 - 1) * 1000,
         1000 / 0.5 * B / A * std::sqrt(1 / A + 1 / B)},
        // (A + B) / (B + C): dF/dA = 1 / D, dF/dB = 1 / D - N / D^2, dF/dC = -N / D^2.
        {{{0, 1}, {1, 2}},
         {&a, &b, &c},
         (A3 + B3) / (B3 + C),
         std::sqrt(A3 / std::pow(B3 + C, 2) +
                   std::pow(1 / (B3 + C) - (A3 + B3) / std::pow(B3 + C, 2), 2) * B3 +
                   std::pow((A3 + B3) / std::pow(B3 + C, 2), 2) * C)},
    };
    for (const auto& [definition, counts, ratio, error] : cases) {
        const RatioOfSums r = ratioOfSums(counts, definition, all);
        QVERIFY2(std::abs(r.ratio - ratio) < 1e-12 * std::abs(ratio),
                 qPrintable(QString::number(r.ratio)));
        QVERIFY2(std::abs(r.poissonError - error) < 1e-12 * error,
                 qPrintable(QString::number(r.poissonError)));
    }
    QCOMPARE(ratioOfSums({&a, &b}, {{0}, {1}, 2}, all).poissonError,
             3 * std::sqrt(1.0 / 15 + 1.0 / 10));

    RatioDefinition twice;
    twice.scale = 2;
    const RegionStats pixelRatios = regionStats(*buildRatioPlane(a, b, twice), all, 0.5);
    QCOMPARE(pixelRatios.pixels, 4);
    QCOMPARE(pixelRatios.valued, 3);
    QCOMPARE(pixelRatios.mean, (4 + 4 + 0) / 3.0);
}

void TestRegions::ratioTermsAsText()
{
    const QStringList labels{"12C", "13C", "14N"};
    const Result<RatioDefinition> numbers = parseRatioTerms("2/1+2", {});
    const Result<RatioDefinition> named = parseRatioTerms(" 13C /( 12C+13C)", labels);
    QVERIFY(numbers && named);
    QCOMPARE(numbers->numerator, QList<int>{1});
    QCOMPARE(numbers->denominator, (QList<int>{0, 1}));
    QCOMPARE(*named, *numbers);
    RatioDefinition percent = *named;
    percent.unit = RatioUnit::Percent;
    const auto name = [&](int s) { return labels.value(s); };
    QCOMPARE(ratioLabel(percent, name), "13C/(12C+13C) at-%");
    QCOMPARE(ratioLabel({{1}, {0}, 10000}, name), "13C/12C \u00d710000");
    QCOMPARE(ratioTermsText(ratioLabel(percent, name)), "13C/(12C+13C)");
    QVERIFY(parseRatioTerms("1+2", {})->denominator.isEmpty()); // a sum alone
    for (const char* bad : {"1/2/3", "1/", "/2", "0/1", "1+1/2", "1/x", "1/(2+)"})
        QVERIFY2(!parseRatioTerms(bad, labels), bad);
}

// Counts 0 to 1000 in at most 256 bins: 1001 whole numbers need bins of 4 counts, 251 of them,
// from -0.5 to 1003.5; 3 is in the first bin, 4 in the second.
void TestRegions::wholeNumberBins()
{
    const Histogram h = wholeNumberHistogram({0, 3, 4, 1000}, 256);
    QCOMPARE(h.counts.size(), size_t(251));
    QCOMPARE(std::pair(h.from, h.to), std::pair(-0.5, 1003.5));
    QCOMPARE(std::vector<qint64>(h.counts.begin(), h.counts.begin() + 2),
             std::vector<qint64>({2, 1}));
    QCOMPARE(h.counts.back(), 1);
    // A short span: one bin a count.
    const Histogram few = wholeNumberHistogram({5, 7}, 256);
    QCOMPARE(few.counts, std::vector<qint64>({1, 0, 1}));
    QCOMPARE(std::pair(few.from, few.to), std::pair(4.5, 7.5));
}

// The automatic range on a 3 x 3 plane with one hot pixel (604) and one without a value: the
// eight values sorted are 1 2 3 5 7 8 9 604, so the p-th percentile lies at rank 7 p / 100.
void TestRegions::automaticRange_data()
{
    using isolumen::AutoRange;
    QTest::addColumn<int>("mode");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<QString>("region");
    QTest::addColumn<double>("bottom");
    QTest::addColumn<double>("top");
    const auto row = [](const char* name, AutoRange mode, double low, double high,
                        const char* region, double bottom, double top) {
        QTest::newRow(name) << int(mode) << low << high << QString(region) << bottom << top;
    };
    row("full: the hot pixel on top", AutoRange::Full, 0.1, 99.9, "", 1, 604);
    row("10-90: ranks 0.7 and 6.3", AutoRange::Percentile, 10, 90, "", 1.7, 9 + 0.3 * 595);
    row("0-100: the extremes", AutoRange::Percentile, 0, 100, "", 1, 604);
    row("0-85.7: below the hot pixel", AutoRange::Percentile, 0, 600.0 / 7, "", 1, 9);
    row("region: its top-left 2 x 2", AutoRange::Region, 0, 0, "rect:0,0,2,2", 1, 7);
    row("region without a region: full", AutoRange::Region, 0, 0, "", 1, 604);
    row("region holding only the empty pixel: full", AutoRange::Region, 0, 0, "rect:2,1,1,1", 1,
        604);
}

void TestRegions::automaticRange()
{
    QFETCH(int, mode);
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(QString, region);
    QFETCH(double, bottom);
    QFETCH(double, top);
    const Plane plane = planeOf({5, 1, 9, 3, 7, NAN, 2, 8, 604});
    const std::optional<Region> r =
        region.isEmpty() ? std::nullopt : std::optional<Region>(::region(region));
    const auto [b, t] =
        isolumen::automaticRange(plane, {isolumen::AutoRange(mode), low, high}, r ? &*r : nullptr);
    QVERIFY2(std::abs(b - bottom) < 1e-9 && std::abs(t - top) < 1e-9,
             qPrintable(QString("%1 to %2").arg(b).arg(t)));
}

void TestRegions::jsonRoundTrip()
{
    QList<Region> regions{region("rect:1.25,2,3.5,4"), region("ellipse:0,0,7,3"),
                          region("polygon:0.1,0.2,5,0.5,2.75,6,-1,3")};
    regions[0].name = QStringLiteral("Zelle \"A\", rechts");
    regions[2].name = QStringLiteral("frei – µm²");
    regions[1].regionClass = QStringLiteral("Kern");
    regions[0].id = 7;
    regions[2].id = 3;
    const Result<QList<Region>> back = regionsFromJson(regionsToJson(regions));
    QVERIFY2(back, qPrintable(back ? QString() : back.error().message));
    QCOMPARE(*back, regions);
}

void TestRegions::idsStayThroughDeletion()
{
    Acquisition model;
    for (int i = 0; i < 3; ++i)
        model.addRegion(region("rect:0,0,2,2"));
    model.removeRegion(1);
    QCOMPARE(model.regions()[1].id, 3);
    QCOMPARE(model.regions()[1].name, QStringLiteral("Region 3"));
    model.addRegion(region("rect:1,1,2,2"));
    QCOMPARE(model.regions().last().id, 4); // 2 is never given again
    // Read back from a file: ids kept, a missing or repeated one given anew.
    QList<Region> loaded = model.regions();
    loaded << region("rect:0,0,1,1") << loaded.first();
    model.setRegions(loaded);
    QList<int> ids;
    for (const Region& r : model.regions())
        ids << r.id;
    QCOMPARE(ids, (QList<int>{1, 3, 4, 5, 6}));
}

QTEST_GUILESS_MAIN(TestRegions)
#include "tst_regions.moc"

// Three regions of D = 10 a pixel under N = 1, 5 and 2 a pixel: ratios of sums 0.1, 0.5, 0.2
// and sums of N 4, 20, 16. Rules are weighed against the rows' own statistics.
void TestRegions::rulesClassify()
{
    PlaneResult d, n, ratio;
    d.shown = std::make_shared<Plane>(planeOf(std::vector<double>(16, 10)));
    n.shown = std::make_shared<Plane>(planeOf({1, 1, 5, 5, 1, 1, 5, 5, 2, 2, 2, 2, 2, 2, 2, 2}));
    ratio.numerator = n.shown;
    ratio.denominator = d.shown;
    ratio.shown = buildRatioPlane(*n.shown, *d.shown, RatioDefinition{{1}, {0}, 1, 0, 0});
    ratio.counts = {n.shown, d.shown}; // in the order of the ratio's species
    QList<Region> regions{region("rect:0,0,2,2"), region("rect:2,0,2,2"), region("rect:0,2,4,2")};
    QList<StatsRow> table;
    for (int i = 0; i < 3; ++i) {
        regions[i].id = i + 1;
        const std::vector<qint64> pixels = regionPixels(regions[i], 4);
        const RegionMeasure ratioOfSums{RegionMeasure::Statistic::RatioOfSums, 1, 0};
        for (const auto& [planes, source] :
             {std::pair{d, PlaneSource{0, {}}}, std::pair{n, PlaneSource{1, {}}},
              std::pair{ratio, ratioOfSums.source()}}) {
            table << statsRow(planes, source, pixels, 1);
            table.last().region = i + 1;
        }
    }
    regions[0].regionClass = QStringLiteral("kept");
    const QList<RegionRows> rows = rowsByRegion(regions, table);
    const RegionMeasure sumN{RegionMeasure::Statistic::Sum, 1, std::nullopt};
    const RegionMeasure r{RegionMeasure::Statistic::RatioOfSums, 1, 0};
    QCOMPARE(measuredValue(sumN, rows[2]).value, table[2 * 3 + 1].stats.sum); // 16
    QCOMPARE(measuredValue(r, rows[1]).value, table[1 * 3 + 2].ratio->ratio); // 0.5
    QCOMPARE(measuredValue(r, rows[1]).error, table[1 * 3 + 2].ratio->poissonError);
    QVERIFY(std::isnan(measuredValue({RegionMeasure::Statistic::Sum, 1, 0}, rows[0]).value));

    auto classes = [&](const QList<ClassRule>& rules) {
        QStringList result;
        for (const Region& region : classified(regions, rows, {rules, QStringLiteral("hit")}))
            result << region.regionClass;
        return result;
    };
    using C = ClassRule::Comparison;
    const double sixteen = measuredValue(sumN, rows[2]).value;
    // Both rules: A fails the ratio, B the sum; C is on the boundary of the sum.
    QCOMPARE(classes({{r, C::GreaterOrEqual, 0.2}, {sumN, C::LessOrEqual, sixteen}}),
             (QStringList{"kept", "", "hit"}));
    QCOMPARE(classes({{r, C::GreaterOrEqual, 0.2}, {sumN, C::Less, sixteen}}),
             (QStringList{"kept", "", ""}));
    QCOMPARE(classes({{r, C::Greater, 0.2}}), (QStringList{"kept", "hit", ""}));
    QCOMPARE(classes({{{RegionMeasure::Statistic::Mean, 0, std::nullopt}, C::Greater, 9.5}}),
             (QStringList{"hit", "hit", "hit"}));
}
