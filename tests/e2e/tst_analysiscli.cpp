// The command-line modes run as a user runs them: counts written to TIFF and read back through
// libtiff, refusals that leave no file, sums and species beyond eight drawn, the dead times of
// instrument files, drift and alignment, compressed and cut-short files.
#include "driftstack.h"
#include "featurefiles.h"
#include "runisolumen.h"
#include "tiffpages.h"

#include <QCryptographicHash>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

using namespace isolumen;

using namespace FeatureFiles;
using TiffPages::Page;

namespace {

} // namespace

class TestAnalysisCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void exportCounts_data();
    void exportCounts();
    void refusals_data();
    void refusals();
    void pictures_data();
    void pictures();
    void realDeadTimes_data();
    void realDeadTimes();
    void shiftsAndAlignment();
    void alignedSumExact();
    void calibration_data();
    void calibration();
    void unsureShifts();
    void ratioOfSpeciesSums();
    void analysisOption_data();
    void analysisOption();
    void foundRegionsAndMasks();
    void overlay();
    void figures();
    void study();
    void compressed_data();
    void compressed();
    void info();
    void chainedRuns();

private:
    // Runs isolumen in the work folder, with its own cache folder.
    Run run(const QStringList& args) const;
    bool write(const QString& name, const ImBuilder& b, qint64 extraBytes = 0);
    QString work(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QMap<QString, ImBuilder> m_files;
};

Run TestAnalysisCommandLine::run(const QStringList& args) const
{
    return runIsolumen(m_dir.path(), args, {"XDG_CACHE_HOME=" + work("cache")});
}

bool TestAnalysisCommandLine::write(const QString& name, const ImBuilder& b, qint64 extraBytes)
{
    m_files[name] = b;
    return b.write(work(name), extraBytes);
}

void TestAnalysisCommandLine::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // 16-bit; species 2 secondary electrons with zeros among its counts.
    ImBuilder two = small(2, 3, [](int s, int p, int r, int k) {
        return quint32(s == 1 ? (r * 64 + k) % 1000 + p * 1000 : (r + k + p) % 5);
    });
    two.labels[1] = "";
    ImBuilder four = two;
    four.depth = 4;
    four.nSpecies = 1;
    four.nPlanes = 2;
    ImBuilder huge = four;
    huge.sample = [](int, int p, int r, int k) { return 4294967295u - quint32(r * 64 + k + p); };
    ImBuilder cut = two; // cut in the middle of layer 3 of 4
    cut.nSpecies = 1;
    cut.nPlanes = 4;
    cut.headerSize = 10000; // a file is longer than 10000 bytes even with half a layer
    QVERIFY(write("two.im", two) && write("four.im", four) && write("huge.im", huge));
    QVERIFY(write("cut.im", cut, -cut.frameSize() * 3 / 2));
    QVERIFY(write("none.im", cut, -cut.frameSize() * 7 / 2));
    QVERIFY(write("ten.im", FeatureFiles::tenSpecies()) && write("drift.im", driftingCell()));
    // An analysis of two.im: region 2, a dead time for 12C and shifts of its layers.
    const QJsonObject analysis{
        {"format", "isolumen-analysis"},
        {"version", 1},
        {"acquisition",
         QJsonObject{
             {"name", "two.im"},
             {"size", double(two.expectedFileSize())},
             {"headerSha256",
              QString(
                  QCryptographicHash::hash(two.header(), QCryptographicHash::Sha256).toHex())}}},
        {"regions", QJsonArray{QJsonObject{
                        {"id", 2}, {"shape", "rect"}, {"coords", QJsonArray{1, 1, 10, 10}}}}},
        {"corrections", QJsonObject{{"deadTime", true}, {"deadTimeNs", QJsonObject{{"12C", 100}}}}},
        {"alignment", QJsonObject{{"species", "12C"},
                                  {"layer", 1},
                                  {"shifts", QJsonArray{QJsonArray{0, 0}, QJsonArray{1, -2},
                                                        QJsonArray{0, 1}}}}}};
    QFile file(work("two.isolumen"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(analysis).toJson());
}

void TestAnalysisCommandLine::exportCounts_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QList<QList<int>>>("pages"); // species, first and last layer of each
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("format"); // 1 unsigned, 3 floating point
    // counts, ratio of 1 over 2, dead time, or QSA (beta 0.5, 0.1 pA) of species 1; a dead time
    // is 100 ns
    QTest::addColumn<QString>("kind");
    const auto row = [](const char* name, const char* file, const QStringList& options,
                        const QList<QList<int>>& pages, int bits, int format,
                        const char* kind = "counts") {
        QTest::newRow(name) << file << options << pages << bits << format << kind;
    };
    row("2-byte layer: 16-bit", "two.im", {"--plane", "2"}, {{1, 2, 2}}, 16, 1);
    row("4-byte layer: 32-bit", "four.im", {}, {{1, 1, 1}}, 32, 1);
    row("2-byte sum: 32-bit", "two.im", {"--sum"}, {{1, 1, 3}}, 32, 1);
    row("4-byte sum within 32 bits", "four.im", {"--sum"}, {{1, 1, 2}}, 32, 1);
    row("4-byte sum beyond 2^32: 64-bit float", "huge.im", {"--sum"}, {{1, 1, 2}}, 64, 3);
    row("stack: layer by layer, species in file order", "two.im",
        {"--species", "all", "--layers", "2-3"}, {{1, 2, 2}, {2, 2, 2}, {1, 3, 3}, {2, 3, 3}}, 16,
        1);
    row("sum of a range", "two.im", {"--species", "2", "--layers", "2-3", "--sum"}, {{2, 2, 3}}, 32,
        1);
    row("ratio: 32-bit float, NaN without value", "two.im", {"--ratio", "1/2", "--plane", "3"},
        {{1, 3, 3}}, 32, 3, "ratio");
    row("dead time: 32-bit float for every species", "two.im",
        {"--species", "all", "--deadtime-ns", "100"}, {{1, 1, 1}, {2, 1, 1}}, 32, 3, "dead time");
    row("corrected sum: 64-bit float", "two.im", {"--deadtime-ns", "100", "--sum"}, {{1, 1, 3}}, 64,
        3, "dead time");
    row("QSA by label after the dead time", "two.im",
        {"--species", "all", "--deadtime-ns", "100", "--qsa-beta", "12C=0.5", "--current-pa",
         "0.1"},
        {{1, 1, 1}, {2, 1, 1}}, 32, 3, "qsa");
    row("QSA by species number, without dead time", "two.im",
        {"--plane", "2", "--qsa-beta", "1=0.5", "--current-pa", "0.1"}, {{1, 2, 2}}, 32, 3, "qsa");
    row("cut short: the complete layers exactly", "cut.im", {"--layers", "1-2"},
        {{1, 1, 1}, {1, 2, 2}}, 16, 1);
    row("sum without an excluded layer", "two.im", {"--sum", "--exclude", "2"}, {{1, 1, 3}}, 32, 1,
        "without layer 2");
}

void TestAnalysisCommandLine::exportCounts()
{
    QFETCH(QString, file);
    QFETCH(QStringList, options);
    QFETCH(QList<QList<int>>, pages);
    QFETCH(int, bits);
    QFETCH(int, format);
    QFETCH(QString, kind);
    const Run r = run(QStringList{"--export-counts", "counts.tif", file} + options);
    QVERIFY2(r.status == 0, qPrintable(r.err));
    const QList<Page> got = TiffPages::read(work("counts.tif"));
    QCOMPARE(got.size(), pages.size());
    const ImBuilder& b = m_files[file];
    // Layer by layer, t = 600 s / (3 layers x 4096 pixels): the dead time first, then QSA.
    const double dwell = 600.0 / (3 * 4096);
    const double tau = options.contains("--deadtime-ns") ? 1e-7 : 0;
    const double beta = kind == "qsa" ? 0.5 : 0;
    const auto corrected = [&](double n) {
        n /= 1 - n * tau / dwell;
        const double kExp = n / (dwell * 0.1 * 6.2415e6);
        return n * (1 + beta * kExp / (1 - kExp / 2));
    };
    // Secondary electrons (species 2) stay as counted.
    const auto counts = [&](int s, const QList<int>& page, int i) {
        double sum = 0;
        for (int l = page[1]; l <= page[2]; ++l) {
            if (kind == "without layer 2" && l == 2)
                continue;
            const double n = shown(b, s, l, i % 64, i / 64);
            sum += s == 1 ? corrected(n) : n;
        }
        return sum;
    };
    for (int p = 0; p < got.size(); ++p) {
        QCOMPARE(std::tuple(int(got[p].bits), int(got[p].format), got[p].values.size()),
                 std::tuple(bits, format, size_t(64 * 64)));
        // 64 pixels over 20 µm: 32000 per cm on a page alone, 3.2 per µm in a stack.
        QCOMPARE(std::tuple(got[p].xResolution, got[p].yResolution, got[p].unit),
                 got.size() > 1 ? std::tuple(3.2f, 3.2f, uint16_t(RESUNIT_NONE))
                                : std::tuple(32000.0f, 32000.0f, uint16_t(RESUNIT_CENTIMETER)));
        for (int i = 0; i < 64 * 64; ++i) {
            const double n = counts(pages[p][0], pages[p], i);
            const double d = counts(2, pages[p], i);
            const double want = kind == "ratio" ? (d > 0 ? n / d : NAN) : n;
            // Counts exactly; ratios and corrected counts as near as 32-bit floats hold them.
            const double g = got[p].values[size_t(i)];
            if (std::isnan(want)
                    ? !std::isnan(g)
                    : std::abs(g - want) >
                          (kind != "counts" && kind != "without layer 2") * 1e-6 * want)
                QFAIL(qPrintable(
                    QString::asprintf("page %d, pixel %d: %.17g, not %.17g", p, i, g, want)));
        }
    }
}

void TestAnalysisCommandLine::refusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    const auto row = [](const char* name, const QStringList& args, const char* message) {
        QTest::newRow(name) << args << QString(message);
    };
    const QStringList counts{"--export-counts", "refused.tif", "two.im"};
    row("species out of range", counts + QStringList{"--species", "3"}, "--species 3 is out of");
    row("layer out of range", counts + QStringList{"--plane", "4"}, "--plane 4 is out of range");
    row("layers beyond the file", counts + QStringList{"--layers", "2-4"}, "--layers 2-4 is out");
    row("first layer after the last", counts + QStringList{"--layers", "3-2"}, "is after the last");
    row("unknown option", counts + QStringList{"--layer", "2"}, "Unknown option");
    row("output that cannot be written", {"--export-counts", "no/refused.tif", "two.im"},
        "Cannot write");
    row("layer 3 of a file cut in layer 3",
        {"--export-counts", "refused.tif", "cut.im", "--plane", "3"}, "cut.im has layers 1 to 2");
    row("dead times where none are recorded", counts + QStringList{"--deadtime"},
        "records no dead times");
    row("picture of layers without --sum", {"--export", "refused.png", "two.im", "--layers", "1-2"},
        "--layers needs --sum");
    row("species 11 of ten", {"--export", "refused.png", "ten.im", "--species", "11"},
        "--species 11 is out of range");
    row("QSA without the current", counts + QStringList{"--qsa-beta", "12C=0.5"}, "QSA needs both");
    row("QSA of a label the file lacks",
        counts + QStringList{"--qsa-beta", "12C=0.5,99C=1", "--current-pa", "1"},
        "--qsa-beta names 99C");
    row("QSA of secondary electrons",
        counts + QStringList{"--qsa-beta", "S.E.=0.5", "--current-pa", "1"},
        "secondary electrons are never corrected");
    row("exclude layer 0", counts + QStringList{"--sum", "--exclude", "0,2"},
        "--exclude needs layers from 1");
    row("exclude a backward range", counts + QStringList{"--sum", "--exclude", "3-2"},
        "--exclude needs layers from 1");
    row("exclude past the end", counts + QStringList{"--sum", "--exclude", "2,4"},
        "--exclude 4 is out of range");
    row("confidence above 1", counts + QStringList{"--align", "--align-min-confidence", "1.5"},
        "from 0 to 1");
    row("bin of a fraction", counts + QStringList{"--align", "--align-bin", "1.5"},
        "--align-bin needs");
    row("region of three numbers", counts + QStringList{"--align", "--align-region", "1,2,3"},
        "--align-region needs");
    row("step with a trailing letter", counts + QStringList{"--align", "--align-max-step", "4px"},
        "--align-max-step needs");
    const QStringList mask{"--export-mask", "refused.tif", "two.im"};
    row("a mask without regions", mask, "--export-mask needs regions");
    row("smoothing without finding", mask + QStringList{"--roi", "rect:1,1,4,4", "--smooth", "2"},
        "--smooth goes with --find-regions");
    row("a species summed twice", mask + QStringList{"--find-regions", "1+1/2"},
        "--find-regions needs");
    row("a percentile beyond 100", mask + QStringList{"--find-regions", "1", "--threshold", "p101"},
        "--threshold needs");
    row("areas the wrong way round",
        mask + QStringList{"--find-regions", "1", "--min-area", "9", "--max-area", "3"},
        "--min-area is above --max-area");
    row("a species the file lacks", mask + QStringList{"--find-regions", "3"},
        "There is no species 3: two.im has 2");
    row("SVG of the bare image", {"--export", "refused.svg", "two.im"},
        "SVG and PDF files hold figures only");
    row("outlines without regions",
        {"--export", "refused.pdf", "two.im", "--layout", "figure", "--outlines"},
        "--outlines needs regions");
    row("regions without outlines",
        {"--export", "refused.png", "two.im", "--layout", "figure", "--roi", "rect:1,1,4,4"},
        "--roi goes with --outlines");
}

// Exit status 2, a message, and no file, not even a partial or temporary one.
void TestAnalysisCommandLine::refusals()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const QStringList before = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden);
    const Run r = run(args);
    QCOMPARE(r.status, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), before);
}

void TestAnalysisCommandLine::pictures_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("species");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::newRow("--sum") << "two.im" << QStringList{"--sum"} << 1 << 1 << 3;
    QTest::newRow("--layers 2-3 --sum")
        << "two.im" << QStringList{"--layers", "2-3", "--sum"} << 1 << 2 << 3;
    QTest::newRow("species 10 of ten")
        << "ten.im" << QStringList{"--species", "10"} << 10 << 1 << 1;
}

// A sum, or a species beyond the eighth, is drawn as the one layer of a file holding its counts.
void TestAnalysisCommandLine::pictures()
{
    QFETCH(QString, file);
    QFETCH(QStringList, options);
    QFETCH(int, species);
    QFETCH(int, first);
    QFETCH(int, last);
    ImBuilder one = m_files[file];
    one.nSpecies = 1;
    one.nPlanes = 1;
    one.sample = [source = one, species, first, last](int, int, int r, int k) {
        quint32 sum = 0;
        for (int l = first; l <= last; ++l)
            sum += source.sample(species, l, r, k);
        return sum;
    };
    QVERIFY(write("one.im", one));
    QCOMPARE(run(QStringList{"--export", "many.png", file} + options).status, 0);
    QCOMPARE(run({"--export", "one.png", "one.im"}).status, 0);
    QCOMPARE(QImage(work("many.png")), QImage(work("one.png")));
}

void TestAnalysisCommandLine::realDeadTimes_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("deadTimes"); // of each species, ns
    for (const auto& [file, deadTimes] :
         {std::pair{"OpenMIMS_doc_040702_06-05mos-03a.im", "44 44 44 44"},
          {"OpenMIMS_doc_051117_05-32dRe-03b.im", "44 44 44 44"},
          {"image_sun.im", "36 36 36 36 36 -"},
          {"RTIimage.im", "- -"}, // trolley 0
          {"grain_mode_cameca.im", "44 44 44 44 44 - 44 44"},
          {"grain_mode_ciw.im", "44 44 44 44 44 - 44 44"}})
        QTest::newRow(file) << QString(file) << QString(deadTimes);
}

void TestAnalysisCommandLine::realDeadTimes()
{
    QFETCH(QString, file);
    QFETCH(QString, deadTimes);
    const QString path = ISOLUMEN_REALDATA "/" + file;
    if (!QFileInfo::exists(path))
        QSKIP("The instrument files of ../shared/realdata are not here.");
    const Run r = run({"--info", path});
    QCOMPARE(r.status, 0);
    QStringList want;
    for (const QString& ns : deadTimes.split(' '))
        want << QStringLiteral("Dead Time %1: %2")
                    .arg(want.size() + 1)
                    .arg(ns == "-" ? ns : ns + " ns");
    QCOMPARE(r.out.split('\n').filter(QRegularExpression("^Dead Time")), want);
}

void TestAnalysisCommandLine::shiftsAndAlignment()
{
    const Run shifts = run({"--shifts", "drift.im"});
    QCOMPARE(shifts.status, 0);
    const QStringList lines = shifts.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], "layer,dx,dy,confidence");
    QCOMPARE(lines[1], "1,0,0,1");
    for (int l = 1; l < 3; ++l) {
        const QStringList f = lines[l + 1].split(',');
        QCOMPARE(f[0], QString::number(l + 1));
        QVERIFY(std::abs(f[1].toDouble() - kDrift[l][0]) < 0.1);
        QVERIFY(std::abs(f[2].toDouble() - kDrift[l][1]) < 0.1);
    }
    // Aligned, the sum of the disc is three layers of it, and pixels that a layer lacks have
    // no value.
    QCOMPARE(run({"--export-counts", "aligned.tif", "drift.im", "--align", "--sum"}).status, 0);
    const QList<Page> pages = TiffPages::read(work("aligned.tif"));
    QCOMPARE(pages.size(), 1);
    QCOMPARE(pages[0].values[30 * 64 + 30], 600.0);
    QVERIFY(std::isnan(pages[0].values[63 * 64 + 63]));
    QCOMPARE(run({"--export", "aligned.png", "drift.im", "--align", "--sum"}).status, 0);
    // The region's sum: three times the scene's counts in it.
    double want = 0;
    for (int y = 25; y < 35; ++y) {
        for (int x = 25; x < 35; ++x)
            want += 3 * scene(1, x, y);
    }
    const QStringList stats = {"--stats", "drift.im", "--sum", "--roi", "rect:25,25,10,10"};
    const auto sumOf12C = [](const Run& r) {
        return r.out.split('\n').filter(QRegularExpression("^1,,12C,")).value(0).section(',', 6, 6);
    };
    QCOMPARE(sumOf12C(run(stats + QStringList{"--align"})).toDouble(), want);
    QVERIFY(sumOf12C(run(stats)).toDouble() != want);
    // A profile leaves an excluded layer out.
    const Run profile = run({"--stats", "drift.im", "--per-layer", "--species", "1", "--roi",
                             "rect:25,25,10,10", "--exclude", "2"});
    QCOMPARE(profile.status, 0);
    QStringList layers;
    for (const QString& line : profile.out.trimmed().split('\n').mid(1))
        layers << line.section(',', 3, 3);
    QCOMPARE(layers, (QStringList{"1", "3"}));
}

// 300 aligned layers of about 59,000 counts add up beyond 2^24: every pixel's sum is exact.
void TestAnalysisCommandLine::alignedSumExact()
{
    constexpr int kLayers = 300;
    const auto count = [](int p, int r, int k) {
        return quint32(59000 + (r * 7 + k * 13) % 997 + (p == 1)); // odd sums
    };
    QVERIFY(write("long.im",
                  small(1, kLayers, [&](int, int p, int r, int k) { return count(p, r, k); })));
    QCOMPARE(run({"--export-counts", "long.tif", "long.im", "--align", "--sum"}).status, 0);
    const QList<Page> pages = TiffPages::read(work("long.tif"));
    QCOMPARE(pages.size(), 1);
    QCOMPARE(std::pair(int(pages[0].bits), int(pages[0].format)), std::pair(64, 3));
    for (int i = 0; i < 64 * 64; ++i) {
        double want = 0;
        for (int p = 1; p <= kLayers; ++p)
            want += count(p, i / 64, 63 - i % 64);
        if (pages[0].values[size_t(i)] != want)
            QFAIL(qPrintable(QString::asprintf("pixel %d: %.17g, not %.17g", i,
                                               pages[0].values[size_t(i)], want)));
    }
}

void TestAnalysisCommandLine::calibration_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<double>("nm"); // the field as recorded
    QTest::addColumn<int>("side");
    QTest::addColumn<int>("species");
    QTest::newRow("2,549 nm over 64") << "field.im" << 2549.0 << 64 << 1;
    QTest::newRow("image_sun: 7,011 nm over 256")
        << ISOLUMEN_REALDATA "/image_sun.im" << 7011.0 << 256 << 6;
}

// The pixel is the field in nm / 1000 / side, never the field rounded to 0.1 µm: in the area of
// a region of the whole frame, and in the resolution of one page (per cm) and of a stack of two
// layers (per µm, species as channels and layers as slices).
void TestAnalysisCommandLine::calibration()
{
    QFETCH(QString, file);
    QFETCH(double, nm);
    QFETCH(int, side);
    QFETCH(int, species);
    ImBuilder field = small(1, 2, [](int, int, int r, int k) { return quint32(r + k); });
    field.nmSize = 2549;
    QVERIFY(write("field.im", field));
    file = QDir::isAbsolutePath(file) ? file : work(file);
    if (!QFileInfo::exists(file))
        QSKIP("The instrument files of ../shared/realdata are not here.");
    const double pixel = nm / 1000 / side;
    const auto near = [](double got, double want, double within) {
        return std::abs(got / want - 1) < within;
    };
    const Run stats = run({"--stats", file, "--roi", QStringLiteral("rect:0,0,%1,%1").arg(side)});
    QCOMPARE(stats.status, 0);
    const double area = stats.out.section('\n', 1, 1).section(',', 5, 5).toDouble();
    QVERIFY2(near(area, nm * nm / 1e6, 1e-12), qPrintable(stats.out.section('\n', 1, 1)));

    QCOMPARE(run({"--export-counts", "one.tif", file}).status, 0);
    const Page one = TiffPages::read(work("one.tif")).value(0);
    QCOMPARE(one.unit, uint16_t(RESUNIT_CENTIMETER));
    QVERIFY(near(one.xResolution, 1e4 / pixel, 1e-6) && near(one.yResolution, 1e4 / pixel, 1e-6));

    QCOMPARE(
        run({"--export-counts", "stack.tif", file, "--species", "all", "--layers", "1-2"}).status,
        0);
    const QList<Page> stack = TiffPages::read(work("stack.tif"));
    QCOMPARE(stack.size(), 2 * species);
    QVERIFY2(stack[0].description.contains(
                 QStringLiteral("\nchannels=%1\nslices=2\n").arg(species).toUtf8()),
             stack[0].description.constData());
    QCOMPARE(stack[0].unit, uint16_t(RESUNIT_NONE));
    QVERIFY(near(1 / stack[0].xResolution, pixel, 1e-6));
}

// An empty and an excluded layer are named on standard error and interpolated; the empty one
// has confidence 0.
void TestAnalysisCommandLine::unsureShifts()
{
    DriftCase c;
    c.side = 64;
    c.layers = 6;
    c.counts = 300;
    c.empty = {3};
    const DriftStack stack = makeDriftStack(c);
    ImBuilder b = small(1, c.layers, [layers = stack.layers](int, int p, int row, int k) {
        return quint32(layers[std::size_t(p - 1)][std::size_t(row) * 64 + 63 - k]);
    });
    QVERIFY(write("unsure.im", b));
    const Run r = run({"--shifts", "unsure.im", "--exclude", "5", "--align-bin", "1"});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.err.contains("Layer 4: no counts; its shift is interpolated."), qPrintable(r.err));
    QVERIFY2(r.err.contains("Layer 5: excluded; its shift is interpolated."), qPrintable(r.err));
    const QStringList lines = r.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines[4].section(',', 3), "0");
    QVERIFY(lines[3].section(',', 3).toDouble() > 0.5);
}

// 13C/(12C+13C) over the whole frame in atom percent, with its error from both species' counts.
void TestAnalysisCommandLine::ratioOfSpeciesSums()
{
    const Run r =
        run({"--stats", "ten.im", "--ratio", "4/3+4", "--percent", "--roi", "rect:0,0,64,64"});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    const QStringList row = r.out.split('\n').filter("13C/(12C+13C) at-%").value(0).split(',');
    double c12 = 0, c13 = 0;
    for (int i = 0; i < 64 * 64; ++i) {
        c12 += shown(m_files["ten.im"], 3, 1, i % 64, i / 64);
        c13 += shown(m_files["ten.im"], 4, 1, i % 64, i / 64);
    }
    const double c = c12 + c13;
    QCOMPARE(row.size(), 13);
    QCOMPARE(row[11].toDouble(), 100 * c13 / c);
    QVERIFY2(std::abs(row[12].toDouble() / (100 * std::sqrt(c12 * c13 / (c * c * c))) - 1) < 1e-12,
             qPrintable(row.join(',')));
}

void TestAnalysisCommandLine::analysisOption_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("byHand"); // what the same options by hand print
    QTest::addColumn<QString>("out");        // else what is printed
    const QStringList analysis{"--analysis", "two.isolumen"};
    // Layer 1 is the reference of its alignment: shifted by nothing.
    QTest::newRow("stats: its regions and corrections")
        << QStringList{"--stats"} + analysis
        << QStringList{"--stats", "two.im", "--rois", "two.isolumen", "--deadtime-ns", "100"} << "";
    QTest::newRow("an option beside it takes the place of its corrections")
        << QStringList{"--stats", "--deadtime-ns", "50", "two.im"} + analysis
        << QStringList{"--stats", "two.im", "--rois", "two.isolumen", "--deadtime-ns", "50"} << "";
    QTest::newRow("shifts: its own") << QStringList{"--shifts"} + analysis << QStringList{}
                                     << "layer,dx,dy,confidence\n1,0,0,1\n2,1,-2,1\n3,0,1,1\n";
    QTest::newRow("another acquisition refused")
        << QStringList{"--stats", "four.im"} + analysis << QStringList{} << "";
}

void TestAnalysisCommandLine::analysisOption()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, byHand);
    QFETCH(QString, out);
    const Run r = run(args);
    if (byHand.isEmpty() && out.isEmpty()) {
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("analysis of another acquisition"), qPrintable(r.err));
        return;
    }
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QCOMPARE(r.out, byHand.isEmpty() ? out : run(byHand).out);
    if (args.first() == "--stats")
        QVERIFY(r.out.contains("\n2,,12C,")); // region 2 keeps its id
}

void TestAnalysisCommandLine::compressed_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QString>("archive");
    QTest::addColumn<bool>("cut"); // half the archive kept
    QTest::newRow("gzip") << QStringList{"gzip", "-kf", "two.im"} << "two.im.gz" << false;
    QTest::newRow("bzip2") << QStringList{"bzip2", "-kf", "two.im"} << "two.im.bz2" << false;
    QTest::newRow("xz") << QStringList{"xz", "-kf", "two.im"} << "two.im.xz" << false;
    QTest::newRow("zstd") << QStringList{"zstd", "-qf", "two.im"} << "two.im.zst" << false;
    QTest::newRow("zip") << QStringList{"zip", "-q", "two.zip", "two.im"} << "two.zip" << false;
    QTest::newRow("gzip cut") << QStringList{"gzip", "-kf", "two.im"} << "two.im.gz" << true;
    QTest::newRow("zip cut") << QStringList{"zip", "-q", "two.zip", "two.im"} << "two.zip" << true;
}

// The same summary (but the name) and pictures as the plain file; a broken archive is refused
// and leaves nothing in the cache folder.
void TestAnalysisCommandLine::compressed()
{
    QFETCH(QStringList, command);
    QFETCH(QString, archive);
    QFETCH(bool, cut);
    QFile::remove(work(archive));
    QProcess make;
    make.setWorkingDirectory(m_dir.path());
    make.start(command.first(), command.mid(1));
    if (QStandardPaths::findExecutable(command.first()).isEmpty() || !make.waitForFinished() ||
        make.exitCode() != 0)
        QSKIP(qPrintable(command.first() + " is not installed or failed"));
    if (cut)
        QVERIFY(QFile::resize(work(archive), QFileInfo(work(archive)).size() / 2));
    const Run info = run({"--info", archive});
    const Run plain = run({"--info", "two.im"});
    QVERIFY(filesUnder(work("cache")).isEmpty());
    if (cut) {
        QCOMPARE(info.status, 2);
        QVERIFY2(info.err.contains(archive + " ends early"), qPrintable(info.err));
        QCOMPARE(run({"--export", "broken.png", archive}).status, 2);
        QVERIFY(!QFileInfo::exists(work("broken.png")));
        QVERIFY(filesUnder(work("cache")).isEmpty());
        return;
    }
    QCOMPARE(info.status, 0);
    QCOMPARE(info.out.section('\n', 0, 0), "File: " + archive);
    QCOMPARE(info.out.section('\n', 1), plain.out.section('\n', 1));
    QCOMPARE(run({"--export", "packed.png", archive, "--sum"}).status, 0);
    QCOMPARE(run({"--export", "plain.png", "two.im", "--sum"}).status, 0);
    QCOMPARE(QImage(work("packed.png")), QImage(work("plain.png")));
    QVERIFY(filesUnder(work("cache")).isEmpty());
}

// Species beyond the eighth, and the complete layers of a cut-short file after the planes.
void TestAnalysisCommandLine::info()
{
    QVERIFY(run({"--info", "ten.im"}).out.contains("Species 9: 18O\nSpecies 10: 19F\n"));
    const Run cut = run({"--info", "cut.im"});
    QCOMPARE(cut.status, 0);
    QVERIFY(cut.out.contains("\nNumber of Planes: 4\nComplete Planes: 2\n"));
    QCOMPARE(cut.err.count("The file ends after layer 2 of 4."), 1);
    QVERIFY(run({"--info", "none.im"}).out.contains("\nNumber of Planes: 4\nComplete Planes: 0\n"));
    QVERIFY(!run({"--info", "two.im"}).out.contains("Complete Planes"));
}

// two.im's three layers as a chain of two runs, one named with a '+': the summary counts both and
// the statistics are those of two.im; a run of another field is refused.
void TestAnalysisCommandLine::chainedRuns()
{
    ImBuilder first = m_files["two.im"];
    first.nPlanes = 1;
    first.duration = 200; // the dwell time of two.im's layers, for the dead-time correction
    ImBuilder second = first;
    second.nPlanes = 2;
    second.duration = 400;
    second.sample = [sample = first.sample](int s, int p, int r, int k) {
        return sample(s, p + 1, r, k);
    };
    QVERIFY(write("run1.im", first) && write("run+2.im", second));
    const QString chain = "run1.im+run+2.im";
    const Run info = run({"--info", chain});
    QCOMPARE(info.status, 0);
    QVERIFY2(info.out.contains("\nNumber of Planes: 3\nAppended: run+2.im (2 planes)\nNumber of "
                               "Species: 2\n"),
             qPrintable(info.out));
    const QStringList stats{"--stats", "--roi", "rect:3,3,20,20", "--sum", "--deadtime-ns", "90"};
    const Run whole = run(stats + QStringList{"two.im"});
    QCOMPARE(whole.status, 0);
    QCOMPARE(run(stats + QStringList{chain}).out, whole.out);

    const Run refused = run({"--info", "two.im+four.im"});
    QCOMPARE(refused.status, 2);
    QCOMPARE(refused.err.trimmed(),
             "four.im cannot be appended to two.im: its number of species differs (1, not 2).");
}

QTEST_GUILESS_MAIN(TestAnalysisCommandLine)
#include "tst_analysiscli.moc"

// Three discs of 12C, one touching the frame's edge: found, written as a mask, read back as
// regions with the same pixels, and saved as JSON; --exclude-edge leaves the edge one out.
void TestAnalysisCommandLine::foundRegionsAndMasks()
{
    const QList<std::array<int, 3>> discs = {{20, 20, 6}, {44, 40, 8}, {2, 50, 5}}; // x, y, r
    const auto inDisc = [&](int x, int y) {
        for (int i = 0; i < discs.size(); ++i) {
            const auto [cx, cy, r] = discs[i];
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r)
                return i + 1;
        }
        return 0;
    };
    QVERIFY(write("cells.im", small(2, 2, [&](int s, int, int row, int k) {
                      return quint32(s == 1 && inDisc(63 - k, row) ? 50 : 2);
                  })));
    const QStringList find{"cells.im", "--find-regions", "1", "--smooth", "0"};
    QCOMPARE(
        run(QStringList{"--export-mask", "m.tif", "--save-regions", "cells.json"} + find).status,
        0);
    const std::vector<double> labels = TiffPages::read(work("m.tif")).value(0).values;
    QCOMPARE(labels.size(), size_t(64 * 64));
    for (int i = 0; i < 64 * 64; ++i) {
        // Found in row order: the discs at y 20, 40 and 50 get 1, 2 and 3.
        if (labels[size_t(i)] != inDisc(i % 64, i / 64))
            QFAIL(qPrintable(QStringLiteral("pixel %1: %2").arg(i).arg(labels[size_t(i)])));
    }
    const auto statsRows = [&](const QStringList& args) {
        return run(QStringList{"--stats", "cells.im", "--species", "1"} + args).out.count('\n') - 1;
    };
    QCOMPARE(statsRows({"--regions-mask", "m.tif"}), 3);
    QCOMPARE(statsRows({"--rois", "cells.json"}), 3);
    QCOMPARE(statsRows(find.mid(1) + QStringList{"--exclude-edge"}), 2);
    // The same regions, ids included, whichever way they come; --roi takes the next id.
    const auto rows = [&](const QString& option, const QString& file) {
        QStringList lines =
            run({"--stats", "cells.im", option, file, "--roi", "rect:0,0,64,64", "--species", "1"})
                .out.split('\n');
        lines.sort();
        return lines;
    };
    QCOMPARE(rows("--regions-mask", "m.tif"), rows("--rois", "cells.json"));
}

// 12C in red over 0:100 and 13C/12C in green over 0:2, worked out at chosen pixels; where 12C
// has no count the ratio has no value and gives no green.
void TestAnalysisCommandLine::overlay()
{
    const auto count = [](int s, int x, int y) { return quint32(s == 1 ? (x + y) % 4 * 50 : 60); };
    QVERIFY(write("overlay.im",
                  small(2, 1, [&](int s, int, int row, int k) { return count(s, 63 - k, row); })));
    QCOMPARE(run({"--export", "overlay.png", "overlay.im", "--overlay", "1,2/1", "--overlay-range",
                  "0:100,0:2"})
                 .status,
             0);
    const QImage picture(work("overlay.png"));
    QCOMPARE(picture.size(), QSize(64, 64));
    for (const auto& [x, y] : {std::pair{0, 0}, {1, 0}, {2, 0}, {3, 0}}) {
        const double n = count(1, x, y);
        const double ratio = n > 0 ? 60 / n : NAN;
        const int red = int(std::lround(255 * std::clamp(n / 100, 0.0, 1.0)));
        const int green =
            std::isnan(ratio) ? 0 : int(std::lround(255 * std::clamp(ratio / 2, 0.0, 1.0)));
        QCOMPARE(picture.pixel(x, y), qRgb(red, green, 0));
    }
    const Run refused = run({"--export", "o.png", "overlay.im", "--overlay", "1,2", "--log"});
    QCOMPARE(refused.status, 2);
    QVERIFY(refused.err.contains("--log is not an option of --overlay"));
}

// Figures with the outlines of the regions given and of an analysis's, as PNG, SVG and PDF.
void TestAnalysisCommandLine::figures()
{
    const QStringList figure{"two.im", "--layout", "figure", "--outlines", "--title", "Two"};
    for (const QString out : {"fig.png", "fig.svg", "fig.pdf"})
        QCOMPARE(run(QStringList{"--export", out, "--roi", "rect:10,10,20,20"} + figure).status, 0);
    QCOMPARE(
        run(QStringList{"--export", "analysis.png", "--analysis", "two.isolumen"} + figure).status,
        0);
    // The picture's sample (x, y) is at (21 + x, 28 + y); an edge is light on its first pixels.
    const QRgb light = qRgb(255, 255, 0);
    QCOMPARE(QImage(work("fig.png")).pixel(31, 40), light);
    QCOMPARE(QImage(work("fig.png")).pixel(30, 40), qRgb(0, 0, 0));
    QCOMPARE(QImage(work("analysis.png")).pixel(22, 34), light); // region 2 at 1, 1
    QFile svg(work("fig.svg")), pdf(work("fig.pdf"));
    QVERIFY(svg.open(QIODevice::ReadOnly) && pdf.open(QIODevice::ReadOnly));
    QVERIFY(svg.readAll().contains(">Two</text>"));
    QVERIFY(pdf.read(4) == "%PDF");
}

// A study of two analyses with classes and treatments and a damaged one between them: the rows
// of each are its --stats rows behind its file and treatment; the damaged one is named and left
// out (status 3); one job or two give the same table.
void TestAnalysisCommandLine::study()
{
    for (const auto& [name, treatment, seed] :
         {std::tuple{"s1", "heat", 3}, std::tuple{"s2", "cold", 5}}) {
        const ImBuilder b = small(2, 2, [seed = seed](int s, int p, int r, int k) {
            return quint32(s * 10 + p * seed + (r * seed + k) % 11);
        });
        QVERIFY(write(QString(name) + ".im", b));
        const QJsonObject analysis{
            {"format", "isolumen-analysis"},
            {"version", 1},
            {"treatment", treatment},
            {"acquisition",
             QJsonObject{
                 {"name", QString(name) + ".im"},
                 {"size", double(b.expectedFileSize())},
                 {"headerSha256",
                  QString(
                      QCryptographicHash::hash(b.header(), QCryptographicHash::Sha256).toHex())}}},
            {"regions", QJsonArray{QJsonObject{{"id", 4},
                                               {"class", "cyano"},
                                               {"shape", "rect"},
                                               {"coords", QJsonArray{2, 3, 20, 10}}}}}};
        QFile file(work(QString(name) + ".isolumen"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(analysis).toJson());
    }
    QFile damaged(work("bad.isolumen"));
    QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write("{not json") > 0);
    damaged.close();

    const QStringList inputs{"s1.isolumen", "bad.isolumen", "s2.isolumen"};
    const Run one =
        run(QStringList{"--study", "one.csv", "--jobs", "1", "--ratio", "2/1"} + inputs);
    QCOMPARE(one.status, 3);
    QVERIFY2(one.err.contains("bad.isolumen"), qPrintable(one.err));
    const Run two =
        run(QStringList{"--study", "two.csv", "--jobs", "2", "--ratio", "2/1"} + inputs);
    QCOMPARE(two.status, 3);
    QFile a(work("one.csv")), b(work("two.csv"));
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    const QByteArray table = a.readAll();
    QCOMPARE(table, b.readAll());

    QStringList want{"file,treatment,region,class,species,layers,pixels,area_um2,sum,mean,sd,min,"
                     "max,ratio_of_sums,poisson_error"};
    for (const auto& [name, treatment] : {std::pair{"s1", "heat"}, std::pair{"s2", "cold"}}) {
        const Run stats =
            run({"--stats", "--analysis", QString(name) + ".isolumen", "--ratio", "2/1"});
        for (const QString& line : stats.out.trimmed().split('\n').mid(1))
            want << QStringLiteral("%1.im,%2,").arg(name, treatment) + line;
    }
    QCOMPARE(QString(table).trimmed().split('\n'), want);
    QVERIFY(table.contains("s1.im,heat,4,cyano,13C/12C,"));

    // The cluster recipe: shards measured apart and joined give the table of one run.
    for (const auto& [shard, input] :
         {std::pair{"shard1.csv", "s1.isolumen"}, std::pair{"shard2.csv", "s2.isolumen"}})
        QCOMPARE(run({"--study", shard, "--ratio", "2/1", input}).status, 0);
    QCOMPARE(run({"--study", "whole.csv", "--ratio", "2/1", "s1.isolumen", "s2.isolumen"}).status,
             0);
    QProcess concat;
    concat.setWorkingDirectory(m_dir.path());
    concat.start(ISOLUMEN_SOURCE_DIR "/tools/concat-study",
                 {"joined.csv", "shard1.csv", "shard2.csv"});
    QVERIFY(concat.waitForFinished() && concat.exitCode() == 0);
    QFile whole(work("whole.csv")), joined(work("joined.csv"));
    QVERIFY(whole.open(QIODevice::ReadOnly) && joined.open(QIODevice::ReadOnly));
    QCOMPARE(joined.readAll(), whole.readAll());
}
