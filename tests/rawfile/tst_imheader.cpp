#include "app/textnumber.h"
#include "imbuilder.h"
#include "rawfile/framereader.h"
#include "rawfile/imfile.h"
#include "rawfile/imheader.h"

#include <QBuffer>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

HeaderReadResult readBytes(const QByteArray& bytes, const QString& name = "test.im")
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return readImHeader(buffer, copy.size(), name);
}

// A well-formed classic file: 2 species, 1 plane of 64 x 64.
ImBuilder smallFile()
{
    ImBuilder b;
    b.nSpecies = 2;
    b.labels = {"16O", "12C"};
    b.width = 64;
    b.height = 64;
    b.nPlanes = 1;
    b.headerSize = 10000;
    return b;
}

QString rowText(const ImHeader& h, const QString& caption)
{
    for (const SummaryRow& row : detailRows(h)) {
        if (row.caption == caption)
            return row.text;
    }
    return "(no such row)";
}

} // namespace

class TestImHeader : public QObject
{
    Q_OBJECT

private slots:
    void acceptance_data();
    void acceptance();
    void date_data();
    void date();
    void labels_data();
    void labels();
    void sizeIdentity_data();
    void sizeIdentity();
    void frameSide();
    void summaryTexts();
    void oddCounts();
    void moreThanEightSpecies();
    void position();
    void fileLargerThan4GiB();
    void randomAndTruncatedHeaders();
    void absurdCountsDoNotOverflow();
    void realInstrumentFile();
    void infoCommand();
};

void TestImHeader::acceptance_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("accepted");

    ImBuilder b = smallFile();
    b.nPlanes = 0; // header only: the file length is the header size
    b.headerSize = 10000;
    QTest::newRow("10,000 bytes refused") << b.bytes() << false;
    b.headerSize = 10001;
    QTest::newRow("10,001 bytes accepted") << b.bytes() << true;

    ImBuilder full = smallFile();
    QTest::newRow("header size equal to length") << [&] {
        ImBuilder h = smallFile();
        h.nPlanes = 0;
        h.headerSize = 12000;
        return h.bytes();
    }() << true;
    QTest::newRow("header size one more than length") << [&] {
        ImBuilder h = smallFile();
        h.nPlanes = 0;
        h.headerSize = 12000;
        QByteArray bytes = h.bytes();
        bytes.chop(1);
        return bytes;
    }() << false;
    for (qint32 code : {5, 10}) {
        ImBuilder t = full;
        t.version = code;
        QTest::addRow("type code %d", code) << t.bytes() << true;
    }
    for (qint32 code : {0, 4, 7, 11, 4108}) {
        ImBuilder t = full;
        t.version = code;
        t.writeImageBlockSize = false; // so no later-version rule applies
        QTest::addRow("type code %d refused", code) << t.bytes() << false;
    }
    {
        ImBuilder t = full;
        t.marker = "IMAGE ACQUISITIONS";
        QTest::newRow("marker with an extra letter") << t.bytes() << false;
        t.marker = "image acquisition";
        QTest::newRow("marker in lower case") << t.bytes() << false;
    }
    {
        ImBuilder t = full;
        t.patches[8] = QByteArray::fromHex("ffffff00"); // negative header size
        QTest::newRow("negative header size") << t.bytes() << false;
        t.patches[8] = QByteArray::fromHex("0000004f"); // 79: smaller than the tail
        QTest::newRow("header smaller than its tail") << t.bytes() << false;
        t.patches[8] = QByteArray::fromHex("00000050"); // 80: just the tail
        QTest::newRow("header of just its tail") << t.bytes() << true;
    }
    QTest::newRow("empty file") << QByteArray() << false;
}

void TestImHeader::acceptance()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, accepted);
    QCOMPARE(readBytes(file).header.has_value(), accepted);
}

void TestImHeader::date_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("expected");
    QTest::newRow("worked example") << QByteArray("05.03.07") << "05-Mar-2007, 14:30";
    QTest::newRow("year 90") << QByteArray("05.03.90") << "05-Mar-2090, 14:30";
    QTest::newRow("year 91") << QByteArray("05.03.91") << "05-Mar-1991, 14:30";
    QTest::newRow("year 00") << QByteArray("05.03.00") << "05-Mar-2000, 14:30";
    QTest::newRow("month 13") << QByteArray("05.13.07") << "05--2007, 14:30";
    QTest::newRow("month 00") << QByteArray("05.00.07") << "05--2007, 14:30";
    QTest::newRow("December") << QByteArray("31.12.99") << "31-Dec-1999, 14:30";
    QTest::newRow("empty field") << QByteArray() << "--20, 14:30";
}

void TestImHeader::date()
{
    QFETCH(QByteArray, field);
    QFETCH(QString, expected);
    ImBuilder b = smallFile();
    b.date = field;
    b.time = "14:30";
    QCOMPARE(readBytes(b.bytes()).header->Date, expected);
}

void TestImHeader::labels_data()
{
    QTest::addColumn<int>("nSpecies");
    QTest::addColumn<QList<QByteArray>>("labels");
    QTest::addColumn<QStringList>("expected"); // all eight entries

    QTest::newRow("16 bytes without a zero")
        << 1 << QList<QByteArray>{"ABCDEFGHIJKLMNOPQRS"}
        << QStringList{"ABCDEFGHIJKLMNOP", "-", "-", "-", "-", "-", "-", "-"};
    QTest::newRow("three species, last empty is S.E.")
        << 3 << QList<QByteArray>{"12C", "13C", ""}
        << QStringList{"12C", "13C", "S.E.", "-", "-", "-", "-", "-"};
    QTest::newRow("empty label not last stays empty")
        << 3 << QList<QByteArray>{"12C", "", "16O"}
        << QStringList{"12C", "", "16O", "-", "-", "-", "-", "-"};
    QTest::newRow("cut at code 20, not at blank")
        << 2 << QList<QByteArray>{QByteArray("12C\x14more"), "12C 14N"}
        << QStringList{"12C", "12C 14N", "-", "-", "-", "-", "-", "-"};
    QTest::newRow("bytes above 127 one to one")
        << 1 << QList<QByteArray>{QByteArray("\xb5m")}
        << QStringList{QString::fromLatin1("\xb5m"), "-", "-", "-", "-", "-", "-", "-"};
    QTest::newRow("zero species") << 0 << QList<QByteArray>{"12C"}
                                  << QStringList{"-", "-", "-", "-", "-", "-", "-", "-"};
}

void TestImHeader::labels()
{
    QFETCH(int, nSpecies);
    QFETCH(QList<QByteArray>, labels);
    QFETCH(QStringList, expected);
    ImBuilder b = smallFile();
    b.nSpecies = nSpecies;
    b.labels = labels;
    b.headerSize = 12000; // long enough without frames
    const HeaderReadResult r = readBytes(b.bytes());
    QVERIFY(r.header);
    const ImHeader& h = *r.header;
    QCOMPARE(QStringList(h.Species.begin(), h.Species.end()), expected);
}

void TestImHeader::sizeIdentity_data()
{
    QTest::addColumn<qint64>("extraBytes");
    QTest::addColumn<bool>("message");
    QTest::newRow("exactly 2,622,440 bytes") << qint64(0) << false;
    QTest::newRow("one byte more") << qint64(1) << true;
    QTest::newRow("one byte less") << qint64(-1) << true;
}

void TestImHeader::sizeIdentity()
{
    QFETCH(qint64, extraBytes);
    QFETCH(bool, message);
    ImBuilder b;
    b.headerSize = 1000;
    b.nSpecies = 2;
    b.nPlanes = 10;
    QByteArray bytes = b.bytes();
    QCOMPARE(bytes.size(), 2622440);
    if (extraBytes > 0)
        bytes.append(QByteArray(extraBytes, '\0'));
    else
        bytes.chop(-extraBytes);
    const HeaderReadResult r = readBytes(bytes);
    QVERIFY(r.header);
    QCOMPARE(r.messages.contains("File size does not compute correctly."), message);
    QCOMPARE(r.frameSide, std::optional<int>(256));
}

void TestImHeader::frameSide()
{
    ImBuilder b = smallFile();
    b.width = 300;
    b.height = 300;
    // Both messages, in their order: the size identity fails too (frames were never written).
    b.nPlanes = 2;
    QByteArray bytes = b.header() + QByteArray(20000, '\0');
    HeaderReadResult r = readBytes(bytes);
    QVERIFY(r.header);
    QVERIFY(!r.frameSide);
    QCOMPARE(r.messages, QStringList({"File size does not compute correctly.",
                                      "Cannot handle this pixel size."}));
    QCOMPARE(pixelSizeText(*r.header), "300 x 300");

    for (int side : {64, 128, 256, 512, 1024, 2048}) {
        b.width = b.height = side;
        QCOMPARE(readBytes(b.header() + QByteArray(20000, '\0')).frameSide, std::optional(side));
    }
    b.width = 256;
    b.height = 128;
    QVERIFY(!readBytes(b.header() + QByteArray(20000, '\0')).frameSide);
}

void TestImHeader::summaryTexts()
{
    ImBuilder b = smallFile();
    b.positionX = 1250;
    b.positionY = -3370;
    b.duration = 1500;
    b.nPlanes = 5;
    b.nmSize = 20049; // rounds to 20.0 micrometres
    b.userName = "ana";
    b.origName = "cells_01";
    b.imageType = 1;
    const HeaderReadResult r = readBytes(b.bytes(), "cells.im");
    const ImHeader& h = *r.header;
    QVERIFY(r.messages.isEmpty());
    QCOMPARE(h.FileName, "cells.im");
    QCOMPARE(pixelSizeText(h), "64 x 64");
    QCOMPARE(micronSizeText(h), QString::fromUtf8("20.0 µm"));
    const QList<SummaryRow> rows = detailRows(h);
    QStringList captions;
    for (const SummaryRow& row : rows)
        captions << row.caption;
    QCOMPARE(captions,
             QStringList({"Original Name:", "Date, Time:", "File Size:", "Header Size:",
                          "X Position:", "Y Position:", "Duration (total):", "Duration/Layer:",
                          "Duration/Pixel:", "User Name:", "Image Type:", "Pixel Width:",
                          "Pixel Height:", "Pixel Depth:", "Image Size:", "Number of Planes:",
                          "Number of Species:", "Species 1:", "Species 2:"}));
    QCOMPARE(rowText(h, "Original Name:"), "cells_01");
    QCOMPARE(rowText(h, "File Size:"), "91,920 bytes");
    QCOMPARE(rowText(h, "Header Size:"), "10,000 bytes");
    QCOMPARE(rowText(h, "X Position:"), "+1,250");
    QCOMPARE(rowText(h, "Y Position:"), "-3,370");
    QCOMPARE(rowText(h, "Duration (total):"), "25.0 min");
    QCOMPARE(rowText(h, "Duration/Layer:"), "5.0 min");
    QCOMPARE(rowText(h, "Duration/Pixel:"), "73.2 ms");
    QCOMPARE(rowText(h, "User Name:"), "ana");
    QCOMPARE(rowText(h, "Image Type:"), "1");
    QCOMPARE(rowText(h, "Pixel Depth:"), "2");
    QCOMPARE(rowText(h, "Image Size:"), "20,049 nm");
    QCOMPARE(rowText(h, "Number of Planes:"), "5");
    QCOMPARE(rowText(h, "Species 2:"), "12C");
}

void TestImHeader::oddCounts()
{
    // Zero planes and a zero width: figures that cannot be computed show "-", never inf or nan.
    ImBuilder b = smallFile();
    b.nPlanes = 0;
    b.width = 0;
    b.headerSize = 12000;
    const HeaderReadResult r = readBytes(b.bytes());
    QVERIFY(r.header);
    QCOMPARE(rowText(*r.header, "Duration/Layer:"), "-");
    QCOMPARE(rowText(*r.header, "Duration/Pixel:"), "-");
    QVERIFY(!r.header->hasFrames());
    for (const SummaryRow& row : detailRows(*r.header)) {
        QVERIFY2(!row.text.contains("inf") && !row.text.contains("nan"), qPrintable(row.text));
    }
    b.nSpecies = -3;
    const ImHeader h = *readBytes(b.bytes()).header;
    QCOMPARE(h.shownSpecies(), 0);
    QCOMPARE(rowText(h, "Number of Species:"), "-3");
}

void TestImHeader::moreThanEightSpecies()
{
    ImBuilder b = smallFile();
    b.nSpecies = 10;
    b.labels = {"a", "b", "c", "d", "e", "f", "g", "h", "i", ""};
    const HeaderReadResult r = readBytes(b.bytes());
    const ImHeader& h = *r.header;
    QVERIFY(r.messages.isEmpty());
    QCOMPARE(h.shownSpecies(), 8);
    QCOMPARE(h.Species[7], "h");
    QCOMPARE(detailRows(h).last().caption, "Species 8:");
    // Frames stay addressed with the true species count.
    QCOMPARE(Position(h, 1, 2), qint64(h.HeaderSize) + 10 * h.FrameSize);
}

void TestImHeader::position()
{
    ImHeader h;
    h.HeaderSize = 1000;
    h.FrameSize = 131072;
    h.Nspecies = 3;
    QCOMPARE(Position(h, 1, 1), qint64(1000));
    QCOMPARE(Position(h, 3, 1), qint64(263144));
    QCOMPARE(Position(h, 1, 2), qint64(394216));
    QCOMPARE(Position(h, 2, 2), qint64(525288));
}

void TestImHeader::fileLargerThan4GiB()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ImBuilder b;
    b.width = b.height = 512;
    b.nSpecies = 2;
    b.nPlanes = 4100; // 8200 frames of 512 KiB: just over 4 GiB
    const qint64 size = b.expectedFileSize();
    QVERIFY(size > (qint64(1) << 32));
    const QString path = dir.filePath("large.im");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.write(b.header()) == b.headerSize);
        QVERIFY(f.resize(size)); // sparse: only the last frame is written
        QVERIFY(f.seek(size - b.frameSize()));
        b.sample = [](int, int, int r, int k) { return quint32(r * 7 + k); };
        QVERIFY(f.write(b.frame(2, 4100)) == b.frameSize());
    }
    ImFile file;
    QCOMPARE(file.open(path), ImFile::Status::Accepted);
    const ImHeader& h = file.header();
    QCOMPARE(h.FileSize, size);
    QVERIFY(file.messages().isEmpty());
    QCOMPARE(rowText(h, "File Size:"), Format(double(size), NumberPattern::Grouped) + " bytes");
    QVERIFY(rowText(h, "File Size:").startsWith("4,"));
    const qint64 last = Position(h, 2, 4100);
    QCOMPARE(last, size - h.FrameSize);
    const std::optional<Plane> plane = readPlane(*file.stream(), last, 512, {});
    QVERIFY(plane);
    QCOMPARE(plane->at(511, 0), 0.0);      // first sample of the file row at the right
    QCOMPARE(plane->at(511 - 5, 3), 26.0); // r * 7 + k with r = 3, k = 5
    QCOMPARE(plane->max, 511.0 * 7 + 511);
}

void TestImHeader::randomAndTruncatedHeaders()
{
    QRandomGenerator rng(12345);
    ImBuilder b = smallFile();
    const QByteArray good = b.bytes();
    for (int i = 0; i < 400; ++i) {
        QByteArray bytes = good;
        // Scramble some bytes, sometimes the identifying ones, and cut the file anywhere.
        const int changes = rng.bounded(1, 40);
        for (int c = 0; c < changes; ++c) {
            const int at = i % 2 ? rng.bounded(0, 64) : rng.bounded(0, int(bytes.size()));
            bytes[at] = char(rng.bounded(256));
        }
        bytes.truncate(rng.bounded(0, int(bytes.size()) + 1));
        const HeaderReadResult r = readBytes(bytes);
        if (r.header) {
            for (const SummaryRow& row : detailRows(*r.header))
                QVERIFY(!row.text.contains("nan"));
        }
    }
    for (qint64 cut = 0; cut < good.size(); cut += 997)
        readBytes(good.left(cut));
}

void TestImHeader::absurdCountsDoNotOverflow()
{
    // Found by fuzzing: counts whose product exceeds 64 bits.
    ImBuilder b = smallFile();
    b.nSpecies = 16974096;
    b.labels = {};
    b.width = 9217;
    b.height = 13825;
    b.nPlanes = 27649;
    HeaderReadResult r = readBytes(b.header() + QByteArray(5911, '\0'));
    QVERIFY(r.header);
    QCOMPARE(r.messages, QStringList({"File size does not compute correctly.",
                                      "Cannot handle this pixel size."}));
    QCOMPARE(Position(*r.header, 16974096, 27649), qint64(-1));

    b.width = b.height = 2048; // a frame size the viewer shows, with absurd counts
    b.nSpecies = 2147483647;
    b.nPlanes = 32767;
    r = readBytes(b.header() + QByteArray(5911, '\0'));
    QCOMPARE(r.frameSide, std::optional(2048));
    QCOMPARE(Position(*r.header, 2147483647, 32767), qint64(-1));
    QCOMPARE(Position(*r.header, 1, 1), qint64(b.headerSize));
}

void TestImHeader::realInstrumentFile()
{
    const QString path = QDir(ISOLUMEN_REALDATA).filePath("OpenMIMS_doc_040702_06-05mos-03a.im");
    if (!QFile::exists(path))
        QSKIP("The folder of instrument files is absent; skipping.");
    ImFile file;
    QCOMPARE(file.open(path), ImFile::Status::Accepted);
    const ImHeader& h = file.header();
    QCOMPARE(h.Nspecies, 4);
    QCOMPARE(h.PixelWidth, 512);
    QCOMPARE(h.PixelHeight, 512);
    QCOMPARE(h.Nplanes, 1);
    QCOMPARE(QStringList(h.Species.begin(), h.Species.begin() + 4),
             QStringList({"12C ", "13C ", "12C 14N ", "12C 15N "}));
    QVERIFY(file.messages().isEmpty());
    QCOMPARE(file.frameSide(), std::optional(512));
}

void TestImHeader::infoCommand()
{
    QTemporaryDir dir;
    ImBuilder b = smallFile();
    b.labels = {"16O", ""};
    const QString good = dir.filePath("good.im");
    QVERIFY(b.write(good, 5)); // five bytes too many: a message on standard error
    ImBuilder bad = smallFile();
    bad.marker = "NOT AN IMAGE";
    const QString refused = dir.filePath("refused.im");
    QVERIFY(bad.write(refused));

    auto run = [](const QStringList& args) {
        QProcess p;
        p.start(ISOLUMEN_EXECUTABLE, args);
        p.waitForFinished(30000);
        return std::tuple(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                          QString::fromUtf8(p.readAllStandardError()));
    };

    auto [code, out, err] = run({"--info", good});
    QCOMPARE(code, 0);
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.value(0), "File: good.im");
    QCOMPARE(lines.value(1), "Frame: 64 x 64");
    QCOMPARE(lines.value(2), QString::fromUtf8("Field: 20.0 µm"));
    QCOMPARE(lines.value(3), "Original Name: builder acquisition");
    QCOMPARE(lines.value(19), "Number of Species: 2");
    QCOMPARE(lines.value(20), "Species 1: 16O");
    QCOMPARE(lines.value(21), "Species 2: S.E.");
    QCOMPARE(lines.size(), 22);
    QCOMPARE(err, "File size does not compute correctly.\n");

    std::tie(code, out, err) = run({"--info", refused});
    QCOMPARE(code, 2);
    QCOMPARE(out, "File: (not an image file)\n");

    const QString missing = dir.filePath("missing.im");
    std::tie(code, out, err) = run({"--info", missing});
    QCOMPARE(code, 2);
    QVERIFY(out.isEmpty());
    QVERIFY2(err.contains(QDir::toNativeSeparators(missing)), qPrintable(err));

    std::tie(code, out, err) = run({"--info", dir.path()});
    QCOMPARE(code, 2);
    QVERIFY(err.contains("folder"));
}

QTEST_GUILESS_MAIN(TestImHeader)
#include "tst_imheader.moc"
