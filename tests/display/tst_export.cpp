// `isolumen --export`: the pictures it writes are the image window's, drawn by the same cores,
// and a failed export leaves nothing behind.
#include "display/displaypictures.h"
#include "display/imagemodel.h"
#include "imbuilder.h"
#include "rawfile/imfile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run
{
    int code = -1;
    QString err;
};

Run run(const QStringList& args)
{
    QProcess p;
    p.start(ISOLUMEN_EXECUTABLE, args);
    if (!p.waitForFinished(60000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardError())};
}

QByteArray digest(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// What an image window shows of a file, computed here through the cores directly.
struct Expected
{
    int species = 1;
    int plane = 1;
    int table = 9; // index
    std::optional<QString> minText;
    std::optional<QString> maxText;
    bool log = false;
    QRgb low = 0x999999;
    QRgb high = 0xFFFFFF;
};

} // namespace

Q_DECLARE_METATYPE(Expected)

namespace {

std::optional<DisplayPictures> windowPictures(const QString& path, const Expected& e)
{
    ImFile file;
    if (file.open(path) != ImFile::Status::Accepted || !file.frameSide())
        return std::nullopt;
    ImageModel m;
    m.LogScale = e.log;
    m.AutoMin = !e.minText;
    m.AutoMax = !e.maxText;
    SetColors(m, e.table, e.high, e.low);
    std::optional<Plane> plane =
        loadPlane(*file.stream(), file.header(), *file.frameSide(), e.species, e.plane);
    if (!plane)
        return std::nullopt;
    takePlane(m, std::move(*plane), e.minText.value_or(""), e.maxText.value_or(""));
    return displayPictures(m, file.header().micronSize);
}

QImage readBack(const QString& path)
{
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

} // namespace

class TestExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void image_data();
    void image();
    void figure();
    void failures_data();
    void failures();
    void failureKeepsAnEarlierPicture();
    void zeroFieldSize();

private:
    QTemporaryDir m_dir;
    QString m_small;  // 64 x 64, two species, three planes
    QString m_square; // 256 x 256, one species
};

void TestExport::initTestCase()
{
    QVERIFY(m_dir.isValid());
    ImBuilder b;
    b.width = b.height = 64;
    b.nSpecies = 2;
    b.nPlanes = 3;
    b.labels = {"12C", "13C"};
    b.sample = [](int species, int plane, int r, int k) {
        return quint32(species * 700 + plane * 50 + (r * 37 + k * 11) % 600);
    };
    m_small = m_dir.filePath("small.im");
    QVERIFY(b.write(m_small));
    ImBuilder s;
    s.sample = [](int, int, int r, int k) { return quint32((r - 128) * (r - 128) + k * 3); };
    m_square = m_dir.filePath("square.im");
    QVERIFY(s.write(m_square));
}

void TestExport::image_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<Expected>("expected");
    QTest::newRow("defaults") << QStringList{} << "png" << Expected{};
    Expected chosen;
    chosen.species = 2;
    chosen.plane = 3;
    chosen.table = 2;
    chosen.minText = "1000";
    chosen.maxText = "1500";
    chosen.low = 0x000000;
    chosen.high = 0xFF0000;
    QTest::newRow("species 2, plane 3, table 3, manual range, caps")
        << QStringList{"--species", "2",     "--plane", "3",     "--table", "3",      "--min",
                       "1000",      "--max", "1500",    "--low", "000000",  "--high", "ff0000"}
        << "png" << chosen;
    QTest::newRow("log scale: the same image") << QStringList{"--log"} << "png" << Expected{};
    Expected text;
    text.minText = "abc";
    QTest::newRow("a minimum that is not a number is 0")
        << QStringList{"--min", "abc"} << "png" << text;
    QTest::newRow("bmp") << QStringList{"--layout", "image"} << "bmp" << Expected{};
    if (QImageReader::supportedImageFormats().contains("tiff"))
        QTest::newRow("tiff") << QStringList{} << "tif" << Expected{};
}

void TestExport::image()
{
    QFETCH(QStringList, options);
    QFETCH(QString, suffix);
    QFETCH(Expected, expected);
    const QString out = m_dir.filePath("out." + suffix);
    QFile::remove(out);
    const QByteArray before = digest(m_small);
    const Run r = run(QStringList{"--export", out, m_small} + options);
    QCOMPARE(r.code, 0);
    QCOMPARE(digest(m_small), before);
    const std::optional<DisplayPictures> want = windowPictures(m_small, expected);
    QVERIFY(want);
    const QImage got = readBack(out);
    QCOMPARE(got.size(), QSize(66, 66));
    QCOMPARE(got, want->image);
    QFile::remove(out);
}

void TestExport::figure()
{
    const QString out = m_dir.filePath("figure.png");
    const Run r = run({"--export", out, m_square, "--layout", "figure", "--log"});
    QCOMPARE(r.code, 0);
    Expected e;
    e.log = true;
    const std::optional<DisplayPictures> want = windowPictures(m_square, e);
    QVERIFY(want);
    const QImage got = readBack(out);
    QCOMPARE(got.size(), QSize(377, 315)); // the window's own size for 256 x 256 frames
    QCOMPARE(got.copy(20, 27, 258, 258), want->image);
    QCOMPARE(got.copy(295, 27, 80, 266), want->colorBar.copy(0, 0, 80, 266));
    QCOMPARE(got.copy(20, 285, 258, 28), want->scale);
    // The button row and the left margin stay white.
    for (int y = 0; y < 315; ++y) {
        for (int x = 0; x < (y < 27 ? 377 : 20); ++x)
            QCOMPARE(got.pixel(x, y), qRgb(255, 255, 255));
    }

    // A JPEG is written too, at the same size.
    const QString jpeg = m_dir.filePath("figure.jpg");
    QCOMPARE(run({"--export", jpeg, m_square, "--layout", "figure"}).code, 0);
    QCOMPARE(QImage(jpeg).size(), QSize(377, 315));
    QFile::remove(out);
    QFile::remove(jpeg);
}

void TestExport::failures_data()
{
    QTest::addColumn<QString>("file"); // name of a file made in the test folder
    QTest::addColumn<QString>("out");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message");

    QTest::newRow("refused file") << "refused.im"
                                  << "out.png" << QStringList{} << "(not an image file)";
    QTest::newRow("missing file") << "missing.im"
                                  << "out.png" << QStringList{} << "No such file";
    QTest::newRow("frames of 100 x 100")
        << "odd.im"
        << "out.png" << QStringList{} << "100 x 100 pixels cannot be shown";
    QTest::newRow("file without frames") << "headeronly.im"
                                         << "out.png" << QStringList{} << "holds no frames";
    QTest::newRow("species 3 of 2")
        << "small.im"
        << "out.png" << QStringList{"--species", "3"} << "--species 3 is out of range";
    QTest::newRow("species 0") << "small.im"
                               << "out.png" << QStringList{"--species", "0"}
                               << "--species needs a whole number";
    QTest::newRow("plane 4 of 3") << "small.im"
                                  << "out.png" << QStringList{"--plane", "4"}
                                  << "--plane 4 is out of range";
    QTest::newRow("plane 1.5") << "small.im"
                               << "out.png" << QStringList{"--plane", "1.5"}
                               << "--plane needs a whole number";
    QTest::newRow("table 21") << "small.im"
                              << "out.png" << QStringList{"--table", "21"}
                              << "--table needs a table number from 1 to 20";
    QTest::newRow("table 0") << "small.im"
                             << "out.png" << QStringList{"--table", "0"}
                             << "--table needs a table number";
    QTest::newRow("low colour of five digits")
        << "small.im"
        << "out.png" << QStringList{"--low", "12345"} << "--low needs a colour of six hex digits";
    QTest::newRow("high colour not hex")
        << "small.im"
        << "out.png" << QStringList{"--high", "GG0000"} << "--high needs a colour";
    QTest::newRow("unknown layout")
        << "small.im"
        << "out.png" << QStringList{"--layout", "poster"} << "--layout is either image or figure";
    QTest::newRow("min = max: nothing to draw")
        << "small.im"
        << "out.png" << QStringList{"--min", "5", "--max", "5"} << "display range is empty";
    QTest::newRow("max that is not a number: 0, below the minimum")
        << "small.im"
        << "out.png" << QStringList{"--max", "abc"} << "display range is empty";
    QTest::newRow("unknown picture format")
        << "small.im"
        << "out.gif" << QStringList{} << "Cannot tell the picture format";
    QTest::newRow("folder that does not exist")
        << "small.im"
        << "nowhere/out.png" << QStringList{} << "Cannot write";
    QTest::newRow("output is a folder") << "small.im"
                                        << "folder.png" << QStringList{} << "Cannot write";
    QTest::newRow("output is the input")
        << "small.png"
        << "small.png" << QStringList{} << "would replace the .im file";
    QTest::newRow("two input files") << "small.im"
                                     << "out.png" << QStringList{m_small} << "exactly one .im file";
}

void TestExport::failures()
{
    QFETCH(QString, file);
    QFETCH(QString, out);
    QFETCH(QStringList, options);
    QFETCH(QString, message);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ImBuilder b;
    b.width = b.height = 64;
    b.nSpecies = 2;
    b.nPlanes = 3;
    b.sample = [](int, int, int r, int k) { return quint32(r + k + 1); };
    QVERIFY(b.write(dir.filePath("small.im")));
    QVERIFY(b.write(dir.filePath("small.png")));
    ImBuilder refused = b;
    refused.marker = "NOT AN IMAGE";
    QVERIFY(refused.write(dir.filePath("refused.im")));
    ImBuilder odd = b;
    odd.width = odd.height = 100;
    QVERIFY(odd.write(dir.filePath("odd.im")));
    ImBuilder headerOnly = b;
    headerOnly.version = 9; // later software writes acquisitions without frames
    headerOnly.headerSize = 25184;
    headerOnly.nPlanes = 0;
    QVERIFY(headerOnly.write(dir.filePath("headeronly.im")));
    QVERIFY(QDir(dir.path()).mkdir("folder.png"));

    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    const QString input = dir.filePath(file);
    const QByteArray inputDigest = digest(input);
    const Run r = run(QStringList{"--export", dir.filePath(out), input} + options);
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    // Nothing written: not the picture, not a temporary file, and the input is unchanged.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    QCOMPARE(digest(input), inputDigest);
}

void TestExport::failureKeepsAnEarlierPicture()
{
    const QString out = m_dir.filePath("kept.png");
    QCOMPARE(run({"--export", out, m_small}).code, 0);
    const QByteArray first = digest(out);
    QVERIFY(!first.isEmpty());
    QCOMPARE(run({"--export", out, m_small, "--min", "9", "--max", "3"}).code, 2);
    QCOMPARE(digest(out), first);
    QCOMPARE(run({"--export", out, m_small, "--table", "3"}).code, 0);
    QVERIFY(digest(out) != first);
}

void TestExport::zeroFieldSize()
{
    ImBuilder b;
    b.nmSize = 0;
    b.sample = [](int, int, int r, int k) { return quint32(r + k); };
    const QString in = m_dir.filePath("nofield.im");
    QVERIFY(b.write(in));
    const QString out = m_dir.filePath("nofield.png");
    const Run r = run({"--export", out, in, "--layout", "figure"});
    QCOMPARE(r.code, 0); // the picture is still worth having; the message says what is missing
    QVERIFY2(r.err.contains("Scale bar problem."), qPrintable(r.err));
    const QImage got = readBack(out);
    QCOMPARE(got.size(), QSize(377, 315));
    for (int y = 285; y < 313; ++y) {
        for (int x = 20; x < 278; ++x)
            QCOMPARE(got.pixel(x, y), qRgb(255, 255, 255)); // no bar, no label
    }
    QFile::remove(out);
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"
