// Files as the instruments' software versions write them: both byte orders, 4-byte samples,
// header-only acquisitions, and the seven recorded files in the shared data folder.
#include "imbuilder.h"
#include "rawfile/framereader.h"
#include "rawfile/imfile.h"
#include "rawfile/imheader.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

HeaderReadResult readBytes(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return readImHeader(buffer, bytes.size(), "x.im");
}

std::optional<Plane> planeOf(QByteArray bytes, const ImHeader& h, int species, int plane)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return readPlane(buffer, Position(h, species, plane), h.PixelWidth,
                     {h.bytesPerSample, h.byteOrder});
}

// A later-version file: big-endian version 9 with the image block.
ImBuilder laterFile()
{
    ImBuilder b;
    b.version = 9;
    b.headerSize = 25184;
    b.nSpecies = 2;
    b.labels = {"12C ", "13C "};
    b.width = b.height = 64;
    b.nPlanes = 2;
    b.sample = [](int s, int p, int r, int k) { return quint32(s * 1000 + p * 100 + r + k); };
    return b;
}

QStringList texts(const ImHeader& h)
{
    QStringList out;
    for (const SummaryRow& row : detailRows(h))
        out << row.caption + row.text;
    return out;
}

// Runs the program with args: exit status and standard error.
std::pair<int, QString> run(const QStringList& args)
{
    QProcess p;
    p.start(ISOLUMEN_EXECUTABLE, args);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

class TestRealWorld : public QObject
{
    Q_OBJECT

private slots:
    void variants_data();
    void variants();
    void littleEndianDepth4Twin();
    void classicFileWithOrWithoutImageBlock();
    void instrumentFiles_data();
    void instrumentFiles();
};

void TestRealWorld::variants_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("accepted");
    const auto row = [](const char* name, bool accepted, auto change) {
        ImBuilder b = laterFile();
        change(b);
        QTest::newRow(name) << b.bytes() << accepted;
    };
    row("big-endian version 9 with an image block", true, [](ImBuilder&) {});
    row("the same with zeros at header size - 84", false,
        [](ImBuilder& b) { b.writeImageBlockSize = false; });
    row("type code 7", false, [](ImBuilder& b) { b.version = 7; });
    row("unknown marker", false, [](ImBuilder& b) { b.marker = "DEPTH PROFILE"; });
    row("analysis type 41", true, [](ImBuilder& b) { b.analysisType = 41; });
    row("analysis type 26, no image", false, [](ImBuilder& b) { b.analysisType = 26; });
    row("big-endian with version 4108", false, [](ImBuilder& b) { b.version = 4108; });
    row("little-endian with version 9", false,
        [](ImBuilder& b) { b.byteOrder = QDataStream::LittleEndian; });
}

void TestRealWorld::variants()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, accepted);
    QCOMPARE(readBytes(file).header.has_value(), accepted);
}

void TestRealWorld::littleEndianDepth4Twin()
{
    ImBuilder big = laterFile();
    ImBuilder little = big;
    little.byteOrder = QDataStream::LittleEndian;
    little.version = 4108;
    little.depth = 4;
    little.marker = "NANOSIMS 50 - IMAGE RTI";
    const HeaderReadResult b = readBytes(big.bytes());
    const HeaderReadResult l = readBytes(little.bytes());
    QVERIFY(b.header && l.header);
    QVERIFY(l.messages.isEmpty());                  // the size identity holds with 4-byte samples
    QCOMPARE(l.header->Species, b.header->Species); // labels found at 717
    for (int s = 1; s <= 2; ++s) {
        for (int p = 1; p <= 2; ++p) {
            const std::optional<Plane> pl = planeOf(little.bytes(), *l.header, s, p);
            QVERIFY(pl);
            QCOMPARE(pl->samples, planeOf(big.bytes(), *b.header, s, p)->samples);
            QCOMPARE(pl->min, double(s * 1000 + p * 100));
        }
    }
    // Samples above 16 bits are kept whole.
    little.sample = [](int, int, int r, int k) { return quint32(70000 + r * 64 + k); };
    const std::optional<Plane> wide = planeOf(little.bytes(), *l.header, 1, 1);
    QCOMPARE(wide->max, 70000.0 + 63 * 64 + 63);
    QCOMPARE(wide->at(63, 0), 70000.0);
}

// A file the classic checks accept reads the same whether or not it also carries an image
// block, so files that were always accepted keep their summary.
void TestRealWorld::classicFileWithOrWithoutImageBlock()
{
    ImBuilder b;
    b.nSpecies = 3;
    b.labels = {"12C", "13C", ""};
    b.width = b.height = 64;
    b.nPlanes = 3;
    b.headerSize = 10000;
    b.writeImageBlockSize = false;
    const HeaderReadResult plain = readBytes(b.bytes());
    b.writeImageBlockSize = true;
    const HeaderReadResult withBlock = readBytes(b.bytes());
    QVERIFY(plain.header && withBlock.header);
    QCOMPARE(texts(*plain.header), texts(*withBlock.header));
    QCOMPARE(texts(*plain.header).last(), "Species 3:S.E.");
}

void TestRealWorld::instrumentFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<int>("side");
    QTest::addColumn<int>("planes");
    QTest::addColumn<int>("depth");
    QTest::addColumn<QList<double>>("ranges"); // min, max of plane 1 per species; empty: no frames

    const QStringList four{"12C ", "13C ", "12C 14N ", "12C 15N "};
    const QStringList grain{"12C2 ", "12C 13C ", "12C 14N ", "12C 15N ",
                            "28Si ", "",         "29Si ",    "30Si "};
    QTest::newRow("040702") << "OpenMIMS_doc_040702_06-05mos-03a.im" << four << 512 << 1 << 2
                            << QList<double>{462, 2659, 0, 604, 304, 3071, 0, 54};
    QTest::newRow("051117") << "OpenMIMS_doc_051117_05-32dRe-03b.im" << four << 256 << 1 << 2
                            << QList<double>{123, 9884, 0, 124, 307, 9419, 0, 70};
    QTest::newRow("image_sun") << "image_sun.im" << QStringList{"12C ",     "16O ",     "18O ",
                                                                "12C 14N ", "12C 15N ", "S.E."}
                               << 256 << 2 << 2 << QList<double>{0, 9781, 0, 8862, 0,   26,
                                                                 0, 3931, 0, 25,   100, 11395};
    QTest::newRow("RTIimage") << "RTIimage.im" << QStringList{"12C2 ", "S.E."} << 256 << 1 << 4
                              << QList<double>{0, 39, 0, 7};
    for (const char* name :
         {"grain_mode_cameca.im", "grain_mode_ciw.im", "line_scan_beam_control.im"})
        QTest::newRow(name) << name << grain << 256 << 0 << 4 << QList<double>{};
}

// Each file is accepted without messages and summarised; every species of every plane reads and
// exports, and a file without frames refuses the export.
void TestRealWorld::instrumentFiles()
{
    QFETCH(QString, name);
    QFETCH(QStringList, labels);
    QFETCH(int, side);
    QFETCH(int, planes);
    QFETCH(int, depth);
    QFETCH(QList<double>, ranges);
    const QString path = QDir(ISOLUMEN_REALDATA).filePath(name);
    if (!QFile::exists(path))
        QSKIP("The folder of instrument files is absent; skipping.");
    ImFile file;
    QCOMPARE(file.open(path), ImFile::Status::Accepted);
    const ImHeader& h = file.header();
    QCOMPARE(QStringList(h.Species.begin(), h.Species.begin() + h.shownSpecies()), labels);
    QCOMPARE(h.PixelWidth, side);
    QCOMPARE(h.PixelHeight, side);
    QCOMPARE(h.Nplanes, planes);
    QCOMPARE(h.PixelDepth, depth);
    QVERIFY2(file.messages().isEmpty(), qPrintable(file.messages().join(' ')));
    QCOMPARE(file.frameSide(), std::optional(side));
    QCOMPARE(texts(h).last(), QString("Species %1:%2").arg(labels.size()).arg(labels.last()));
    QCOMPARE(h.hasFrames(), !ranges.isEmpty());

    QTemporaryDir dir;
    const QString out = dir.filePath("out.png");
    for (int s = 1; s <= ranges.size() / 2; ++s) {
        for (int p = 1; p <= planes; ++p) {
            const std::optional<Plane> plane =
                readPlane(*file.stream(), Position(h, s, p), side, {h.bytesPerSample, h.byteOrder});
            QVERIFY(plane);
            if (p == 1) {
                QCOMPARE(plane->min, ranges[2 * (s - 1)]);
                QCOMPARE(plane->max, ranges[2 * (s - 1) + 1]);
            }
            const auto [code, err] = run({"--export", out, "--species", QString::number(s),
                                          "--plane", QString::number(p), path});
            QVERIFY2(code == 0, qPrintable(err));
            QCOMPARE(QImage(out).size(), QSize(side + 2, side + 2));
            QVERIFY(QFile::remove(out));
        }
    }
    if (ranges.isEmpty()) {
        const auto [code, err] = run({"--export", out, path});
        QCOMPARE(code, 2);
        QVERIFY2(err.contains(path + " holds no frames."), qPrintable(err));
        QVERIFY(!QFile::exists(out));
    }
}

QTEST_GUILESS_MAIN(TestRealWorld)
#include "tst_realworld.moc"
