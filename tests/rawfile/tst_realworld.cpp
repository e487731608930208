// Files as the instruments' software versions write them: both byte orders, 4-byte samples,
// header-only acquisitions, and the seven recorded files in the shared data folder.
#include "display/imagemodel.h"
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

struct Read
{
    HeaderReadResult result;
    QByteArray bytes;
};

Read readBytes(const QByteArray& bytes)
{
    Read r{{}, bytes};
    QBuffer buffer(&r.bytes);
    buffer.open(QIODevice::ReadOnly);
    r.result = readImHeader(buffer, r.bytes.size(), "x.im");
    return r;
}

std::optional<Plane> planeOf(const Read& r, int species, int plane)
{
    QByteArray copy = r.bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    const ImHeader& h = *r.result.header;
    return readPlane(buffer, Position(h, species, plane), h.PixelWidth,
                     {h.bytesPerSample, h.byteOrder});
}

// A later-version file: big-endian version 9 unless changed, with the image block.
ImBuilder laterFile()
{
    ImBuilder b;
    b.version = 9;
    b.analysisType = 27;
    b.headerSize = 25184;
    b.nSpecies = 2;
    b.labels = {"12C ", "13C "};
    b.width = b.height = 64;
    b.nPlanes = 2;
    b.sample = [](int s, int p, int r, int k) { return quint32(s * 1000 + p * 100 + r + k); };
    return b;
}

QStringList shownLabels(const ImHeader& h)
{
    return QStringList(h.Species.begin(), h.Species.begin() + h.shownSpecies());
}

} // namespace

class TestRealWorld : public QObject
{
    Q_OBJECT

private slots:
    void variants_data();
    void variants();
    void littleEndianDepth4Twin();
    void classicFilesUnchanged();
    void headerOnlyFile();
    void instrumentFiles_data();
    void instrumentFiles();
};

void TestRealWorld::variants_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("big-endian version 9 with an image block") << laterFile().bytes() << true;
    {
        ImBuilder b = laterFile();
        b.writeImageBlockSize = false; // zeros at header size - 84
        QTest::newRow("same file without the image block") << b.bytes() << false;
    }
    for (qint32 v : {5, 10, 11}) {
        ImBuilder b = laterFile();
        b.version = v;
        b.marker = "GRAIN MODE - IMAGE";
        QTest::addRow("big-endian version %d, grain mode", v) << b.bytes() << true;
    }
    {
        ImBuilder b = laterFile();
        b.version = 7;
        QTest::newRow("type code 7") << b.bytes() << false;
    }
    {
        ImBuilder b = laterFile();
        b.marker = "DEPTH PROFILE";
        QTest::newRow("unknown marker") << b.bytes() << false;
    }
    for (qint32 t : {27, 29, 39, 41}) {
        ImBuilder b = laterFile();
        b.analysisType = t;
        QTest::addRow("analysis type %d", t) << b.bytes() << true;
    }
    {
        ImBuilder b = laterFile();
        b.analysisType = 26;
        QTest::newRow("analysis type that is no image") << b.bytes() << false;
    }
    {
        ImBuilder b = laterFile();
        b.byteOrder = QDataStream::LittleEndian;
        b.version = 4108;
        b.marker = "NANOSIMS 50 - IMAGE RTI";
        QTest::newRow("little-endian version 4108") << b.bytes() << true;
        b.version = 9;
        QTest::newRow("little-endian with a big-endian version") << b.bytes() << false;
    }
    {
        ImBuilder b = laterFile();
        b.version = 4108; // little-endian version in a big-endian file
        QTest::newRow("big-endian with version 4108") << b.bytes() << false;
    }
    {
        ImBuilder b = laterFile();
        b.nPlanes = 0;
        b.headerSize = 10000;
        QTest::newRow("10,000 bytes") << b.bytes() << false;
    }
}

void TestRealWorld::variants()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, accepted);
    QCOMPARE(readBytes(file).result.header.has_value(), accepted);
}

void TestRealWorld::littleEndianDepth4Twin()
{
    ImBuilder big = laterFile();
    ImBuilder little = big;
    little.byteOrder = QDataStream::LittleEndian;
    little.version = 4108;
    little.depth = 4;
    little.marker = "NANOSIMS 50 - IMAGE RTI";
    const Read b = readBytes(big.bytes());
    const Read l = readBytes(little.bytes());
    QVERIFY(b.result.header && l.result.header);
    QVERIFY(b.result.messages.isEmpty());
    QVERIFY(l.result.messages.isEmpty()); // the size identity holds with 4-byte samples
    const ImHeader& lh = *l.result.header;
    QCOMPARE(lh.FrameSize, 64 * 64 * 4);
    QCOMPARE(shownLabels(lh), shownLabels(*b.result.header)); // labels found at 717
    QCOMPARE(lh.Nplanes, 2);
    for (int s = 1; s <= 2; ++s) {
        for (int p = 1; p <= 2; ++p) {
            const std::optional<Plane> pb = planeOf(b, s, p);
            const std::optional<Plane> pl = planeOf(l, s, p);
            QVERIFY(pb && pl);
            QCOMPARE(pl->samples, pb->samples);
            QCOMPARE(pl->min, double(s * 1000 + p * 100));
        }
    }

    // Samples above 16 bits are kept whole.
    little.sample = [](int, int, int r, int k) { return quint32(70000 + r * 64 + k); };
    const Read wide = readBytes(little.bytes());
    const std::optional<Plane> p = planeOf(wide, 1, 1);
    QCOMPARE(p->max, 70000.0 + 63 * 64 + 63);
    QCOMPARE(p->at(63, 0), 70000.0);
}

void TestRealWorld::classicFilesUnchanged()
{
    // A file the classic checks accept reads the same whether or not it also carries an image
    // block, so files that were always accepted keep their summary.
    ImBuilder b;
    b.nSpecies = 3;
    b.labels = {"12C", "13C", ""};
    b.width = b.height = 64;
    b.nPlanes = 3;
    b.headerSize = 10000;
    b.writeImageBlockSize = false;
    const Read plain = readBytes(b.bytes());
    b.writeImageBlockSize = true;
    const Read withBlock = readBytes(b.bytes());
    QVERIFY(plain.result.header && withBlock.result.header);
    const QList<SummaryRow> a = detailRows(*plain.result.header);
    const QList<SummaryRow> c = detailRows(*withBlock.result.header);
    QCOMPARE(a.size(), c.size());
    for (int i = 0; i < a.size(); ++i)
        QCOMPARE(a[i].text, c[i].text);
    QCOMPARE(plain.result.header->byteOrder, QDataStream::BigEndian);
    QCOMPARE(plain.result.header->Species[2], "S.E.");
}

void TestRealWorld::headerOnlyFile()
{
    ImBuilder b = laterFile();
    b.byteOrder = QDataStream::LittleEndian;
    b.version = 4108;
    b.analysisType = 29;
    b.marker = "GRAIN MODE - IMAGE";
    b.depth = 4;
    b.nSpecies = 8;
    b.labels = {"12C2 ", "a", "b", "c", "d", "", "e", "f"};
    b.nPlanes = 0;
    b.headerSize = 27400;
    const Read r = readBytes(b.bytes());
    QVERIFY(r.result.header);
    QCOMPARE(r.bytes.size(), 27400);
    QVERIFY(r.result.messages.isEmpty());
    QVERIFY(!r.result.header->hasFrames());
    QCOMPARE(r.result.header->Species[5], ""); // an empty label that is not the last
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
    QCOMPARE(shownLabels(h), labels);
    QCOMPARE(h.PixelWidth, side);
    QCOMPARE(h.PixelHeight, side);
    QCOMPARE(h.Nplanes, planes);
    QCOMPARE(h.PixelDepth, depth);
    QVERIFY2(file.messages().isEmpty(), qPrintable(file.messages().join(' ')));
    QCOMPARE(file.frameSide(), std::optional(side));
    QCOMPARE(h.hasFrames(), !ranges.isEmpty());
    for (int s = 1; s <= ranges.size() / 2; ++s) {
        for (int p = 1; p <= planes; ++p) {
            const std::optional<Plane> plane =
                readPlane(*file.stream(), Position(h, s, p), side, {h.bytesPerSample, h.byteOrder});
            QVERIFY(plane);
            if (p == 1) {
                QCOMPARE(plane->min, ranges[2 * (s - 1)]);
                QCOMPARE(plane->max, ranges[2 * (s - 1) + 1]);
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestRealWorld)
#include "tst_realworld.moc"
