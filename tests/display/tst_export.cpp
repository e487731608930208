// `isolumen --export`: the pictures it writes are the image window's, drawn by the same cores,
// and a failed export leaves nothing behind. The picture formats, and that the default export
// equals a window's canvas, are tested with the window's own Save commands in tst_exportformats.
#include "display/displaypictures.h"
#include "display/imagemodel.h"
#include "imbuilder.h"
#include "rawfile/imfile.h"

#include <QCryptographicHash>
#include <QDir>
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
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
}

QByteArray digest(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}

// What an image window set up as m shows of a plane of a file, computed here through the cores.
std::optional<DisplayPictures> corePictures(const QString& path, ImageModel m, int species = 1,
                                            int plane = 1, const QString& minText = {},
                                            const QString& maxText = {})
{
    ImFile file;
    if (file.open(path) != ImFile::Status::Accepted)
        return std::nullopt;
    std::optional<Plane> p =
        loadPlane(*file.stream(), file.header(), file.frameSide().value_or(0), species, plane);
    if (!p)
        return std::nullopt;
    takePlane(m, std::move(*p), minText, maxText);
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
    void imageWithOptions();
    void figure();
    void failures_data();
    void failures();
    void failureKeepsAnEarlierPicture();

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
    QVERIFY(b.write(m_dir.filePath("small.png"))); // an .im file under a picture's name
    ImBuilder refused = b;
    refused.marker = "NOT AN IMAGE";
    QVERIFY(refused.write(m_dir.filePath("refused.im")));
    ImBuilder odd = b;
    odd.width = odd.height = 100;
    QVERIFY(odd.write(m_dir.filePath("odd.im")));
    QVERIFY(QDir(m_dir.path()).mkdir("folder.png"));
    ImBuilder s;
    s.sample = [](int, int, int r, int k) { return quint32((r - 128) * (r - 128) + k * 3); };
    m_square = m_dir.filePath("square.im");
    QVERIFY(s.write(m_square));
}

void TestExport::imageWithOptions()
{
    const QString out = m_dir.filePath("options.png");
    const QString options = "--species 2 --plane 3 --table 3 --min 1000 --max 1500 --low 000000 "
                            "--high ff0000";
    QCOMPARE(run(QStringList{"--export", out, m_small} + options.split(' ')).code, 0);
    ImageModel m;
    m.AutoMin = m.AutoMax = false;
    SetColors(m, 2, 0xFF0000, 0x000000);
    const std::optional<DisplayPictures> want = corePictures(m_small, m, 2, 3, "1000", "1500");
    QVERIFY(want);
    QCOMPARE(readBack(out), want->image);
    QFile::remove(out);
}

void TestExport::figure()
{
    const QString out = m_dir.filePath("figure.png");
    QCOMPARE(run({"--export", out, m_square, "--layout", "figure", "--log"}).code, 0);
    ImageModel m;
    m.LogScale = true;
    const std::optional<DisplayPictures> want = corePictures(m_square, m);
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
    QFile::remove(out);
}

void TestExport::failures_data()
{
    QTest::addColumn<QString>("file"); // in the test folder
    QTest::addColumn<QString>("out");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message");
    const auto row = [](const char* name, const char* file, const char* out, QStringList options,
                        const char* message) {
        QTest::newRow(name) << file << out << options << message;
    };
    row("refused file", "refused.im", "out.png", {}, "(not an image file)");
    row("frames of 100 x 100", "odd.im", "out.png", {}, "100 x 100 pixels cannot be shown");
    row("species 3 of 2", "small.im", "out.png", {"--species", "3"}, "--species 3 is out of range");
    row("plane 4 of 3", "small.im", "out.png", {"--plane", "4"}, "--plane 4 is out of range");
    row("table 21", "small.im", "out.png", {"--table", "21"},
        "--table needs a table number from 1 to 20");
    row("low colour of five digits", "small.im", "out.png", {"--low", "12345"},
        "--low needs a colour of six hex digits");
    row("unknown layout", "small.im", "out.png", {"--layout", "poster"},
        "--layout is either image or figure");
    row("max not a number: 0, below the minimum", "small.im", "out.png", {"--max", "abc"},
        "display range is empty");
    row("unknown picture format", "small.im", "out.gif", {}, "Cannot tell the picture format");
    row("folder that does not exist", "small.im", "nowhere/out.png", {}, "Cannot write");
    row("output is a folder", "small.im", "folder.png", {}, "Cannot write");
    row("output is the input", "small.png", "small.png", {}, "would replace the .im file");
}

void TestExport::failures()
{
    QFETCH(QString, file);
    QFETCH(QString, out);
    QFETCH(QStringList, options);
    QFETCH(QString, message);
    const QDir dir(m_dir.path());
    const QStringList before = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    const QByteArray input = digest(dir.filePath(file));
    const Run r = run(QStringList{"--export", dir.filePath(out), dir.filePath(file)} + options);
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    // Nothing written: not the picture, not a temporary file, and the input is unchanged.
    QCOMPARE(dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    QVERIFY(QDir(dir.filePath("folder.png")).isEmpty());
    QCOMPARE(digest(dir.filePath(file)), input);
}

void TestExport::failureKeepsAnEarlierPicture()
{
    const QString out = m_dir.filePath("kept.png");
    QCOMPARE(run({"--export", out, m_small}).code, 0);
    const QByteArray first = digest(out);
    QCOMPARE(run({"--export", out, m_small, "--min", "9", "--max", "3"}).code, 2);
    QCOMPARE(digest(out), first);
    QFile::remove(out);
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"
