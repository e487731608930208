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

HeaderReadResult readBytes(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return readImHeader(buffer, bytes.size(), "test.im");
}

// A well-formed classic file: 2 species, 1 plane of 64 x 64.
ImBuilder smallFile()
{
    ImBuilder b;
    b.nSpecies = 2;
    b.labels = {"16O", "12C"};
    b.width = b.height = 64;
    b.headerSize = 10000;
    return b;
}

// A file without frames whose header fills it; trailing bytes cut off its end.
QByteArray headerOnly(qint32 headerSize, int cut = 0)
{
    ImBuilder b = smallFile();
    b.nPlanes = 0;
    b.headerSize = headerSize;
    return b.bytes().chopped(cut);
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
    void messages_data();
    void messages();
    void position();
    void uncomputableFiguresShowDash();
    void moreThanEightSpecies();
    void fileLargerThan4GiB();
    void randomAndTruncatedHeaders();
    void infoCommand();
};

// In the order the reader tests them: type code, header size, file length, marker.
void TestImHeader::acceptance_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("accepted");

    for (qint32 code : {5, 10, 0, 4, 7, 11, 4108}) {
        ImBuilder t = smallFile();
        t.version = code;
        t.writeImageBlockSize = false; // so no later-version rule applies
        QTest::addRow("type code %d", code) << t.bytes() << (code == 5 || code == 10);
    }
    QTest::newRow("header size equal to the length") << headerOnly(12000) << true;
    QTest::newRow("header size one more than the length") << headerOnly(12000, 1) << false;
    ImBuilder t = smallFile();
    t.patches[8] = QByteArray::fromHex("ffffff00");
    QTest::newRow("negative header size") << t.bytes() << false;
    t.patches[8] = QByteArray::fromHex("0000004f");
    QTest::newRow("header size 79: smaller than its tail") << t.bytes() << false;
    t.patches[8] = QByteArray::fromHex("00000050");
    QTest::newRow("header size 80: just its tail") << t.bytes() << true;
    QTest::newRow("10,000 bytes") << headerOnly(10000) << false;
    QTest::newRow("10,001 bytes") << headerOnly(10001) << true;
    QTest::newRow("empty file") << QByteArray() << false;
    t = smallFile();
    t.marker = "IMAGE ACQUISITIONS";
    QTest::newRow("marker with an extra letter") << t.bytes() << false;
    t.marker = "image acquisition";
    QTest::newRow("marker in lower case") << t.bytes() << false;
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
    QTest::newRow("year 91") << QByteArray("31.12.91") << "31-Dec-1991, 14:30";
    QTest::newRow("year 00") << QByteArray("05.03.00") << "05-Mar-2000, 14:30";
    QTest::newRow("month 13") << QByteArray("05.13.07") << "05--2007, 14:30";
    QTest::newRow("month 00") << QByteArray("05.00.07") << "05--2007, 14:30";
}

void TestImHeader::date()
{
    QFETCH(QByteArray, field);
    QFETCH(QString, expected);
    ImBuilder b = smallFile();
    b.date = field;
    QCOMPARE(readBytes(b.bytes()).header->Date, expected);
}

void TestImHeader::labels_data()
{
    QTest::addColumn<int>("nSpecies");
    QTest::addColumn<QList<QByteArray>>("labels");
    QTest::addColumn<QStringList>("expected"); // the first three of the eight entries

    QTest::newRow("16 bytes without a zero, above 127 one to one")
        << 1 << QList<QByteArray>{"ABCDEFGHIJKLMN\xb5PQRS"}
        << QStringList{"ABCDEFGHIJKLMN\u00b5P", "-", "-"};
    QTest::newRow("empty last label is S.E.")
        << 3 << QList<QByteArray>{"12C", "13C", ""} << QStringList{"12C", "13C", "S.E."};
    QTest::newRow("empty label not last stays empty")
        << 3 << QList<QByteArray>{"12C", "", "16O"} << QStringList{"12C", "", "16O"};
    QTest::newRow("cut at code 20, not at blank")
        << 2 << QList<QByteArray>{QByteArray("12C\x14more"), "12C 14N"}
        << QStringList{"12C", "12C 14N", "-"};
    QTest::newRow("zero species") << 0 << QList<QByteArray>{"12C"} << QStringList{"-", "-", "-"};
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
    const ImHeader h = *readBytes(b.bytes()).header;
    QCOMPARE(QStringList(h.Species.begin(), h.Species.begin() + 3), expected);
    QCOMPARE(h.Species[7], "-");
}

// The size identity and the frame side only produce messages, in this order.
void TestImHeader::messages_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<int>("frameSide"); // 0: none
    const QString size = "File size does not compute correctly.";
    const QString side = "Cannot handle this pixel size.";

    ImBuilder b; // 1,000 + 10 planes x 2 species x 131,072 bytes = 2,622,440 bytes
    b.headerSize = 1000;
    b.nSpecies = 2;
    b.nPlanes = 10;
    for (qsizetype length : {2622440, 2622441, 2622439}) {
        QByteArray bytes = b.bytes();
        bytes.resize(length, '\0');
        QTest::addRow("%lld bytes", qlonglong(length))
            << bytes << (length == 2622440 ? QStringList() : QStringList{size}) << 256;
    }
    b = smallFile();
    b.width = b.height = 300;
    QTest::newRow("300 x 300, frames missing")
        << b.header() + QByteArray(20000, '\0') << QStringList{size, side} << 0;
    // Found by fuzzing: counts whose product exceeds 64 bits.
    b.nSpecies = 16974096;
    b.labels = {};
    b.width = 9217;
    b.height = 13825;
    b.nPlanes = 27649;
    QTest::newRow("absurd counts")
        << b.header() + QByteArray(5911, '\0') << QStringList{size, side} << 0;
}

void TestImHeader::messages()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, messages);
    QFETCH(int, frameSide);
    const HeaderReadResult r = readBytes(file);
    QVERIFY(r.header);
    QCOMPARE(r.messages, messages);
    QCOMPARE(r.frameSide.value_or(0), frameSide);
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
    // Found by fuzzing: 9217 x 13825 frames with counts whose product exceeds 64 bits.
    h.FrameSize = qint64(9217) * 13825 * 2;
    h.Nspecies = 16974096;
    QCOMPARE(Position(h, 16974096, 27649), qint64(-1));
}

void TestImHeader::uncomputableFiguresShowDash()
{
    ImBuilder b = smallFile();
    b.nPlanes = 0;
    b.nSpecies = 0;
    b.width = 0;
    b.headerSize = 12000;
    const ImHeader h = *readBytes(b.bytes()).header;
    QCOMPARE(rowText(h, "Duration/Layer:"), "-");
    QCOMPARE(rowText(h, "Duration/Pixel:"), "-");
    QVERIFY(!h.hasFrames());
    for (const SummaryRow& row : detailRows(h))
        QVERIFY2(!row.text.contains("inf") && !row.text.contains("nan"), qPrintable(row.text));
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
    QCOMPARE(detailRows(h).last().caption, "Species 8:");
    QCOMPARE(detailRows(h).last().text, "h");
    // Frames stay addressed with the true species count.
    QCOMPARE(Position(h, 1, 2), qint64(h.HeaderSize) + 10 * h.FrameSize);
}

void TestImHeader::fileLargerThan4GiB()
{
    QTemporaryDir dir;
    ImBuilder b;
    b.width = b.height = 512;
    b.nSpecies = 2;
    b.nPlanes = 4100; // 2,048 + 8,200 frames of 512 KiB = 4,299,163,648 bytes
    b.sample = [](int, int, int r, int k) { return quint32(r * 7 + k); };
    const qint64 size = b.expectedFileSize();
    const QString path = dir.filePath("large.im");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.write(b.header()) == b.headerSize);
        QVERIFY(f.resize(size)); // sparse: only the last frame is written
        QVERIFY(f.seek(size - b.frameSize()));
        QVERIFY(f.write(b.frame(2, 4100)) == b.frameSize());
    }
    ImFile file;
    QCOMPARE(file.open(path), ImFile::Status::Accepted);
    QVERIFY(file.messages().isEmpty());
    QCOMPARE(rowText(file.header(), "File Size:"), "4,299,163,648 bytes");
    const qint64 last = Position(file.header(), 2, 4100);
    QCOMPARE(last, size - b.frameSize());
    const std::optional<Plane> plane = readPlane(*file.stream(), last, 512, {});
    QVERIFY(plane);
    QCOMPARE(plane->at(511 - 5, 3), 26.0); // r * 7 + k with r = 3, k = 5
}

void TestImHeader::randomAndTruncatedHeaders()
{
    QRandomGenerator rng(12345);
    const QByteArray good = smallFile().bytes();
    for (int i = 0; i < 400; ++i) {
        QByteArray bytes = good;
        // Scramble some bytes, often the identifying ones, and cut the file anywhere.
        for (int c = rng.bounded(1, 40); c > 0; --c)
            bytes[i % 2 ? rng.bounded(0, 64) : rng.bounded(0, int(bytes.size()))] =
                char(rng.bounded(256));
        bytes.truncate(rng.bounded(0, int(bytes.size()) + 1));
        const HeaderReadResult r = readBytes(bytes);
        for (const SummaryRow& row : r.header ? detailRows(*r.header) : QList<SummaryRow>())
            QVERIFY(!row.text.contains("nan"));
    }
}

// `isolumen --info FILE`: the whole summary of a built file on standard output, its messages on
// standard error.
void TestImHeader::infoCommand()
{
    QTemporaryDir dir;
    ImBuilder b = smallFile();
    b.labels = {"16O", ""};
    b.positionX = 1250;
    b.positionY = -3370;
    b.duration = 1500;
    b.nPlanes = 5;
    b.nmSize = 20049; // rounds to 20.0 micrometres
    b.userName = "ana";
    b.origName = "cells_01";
    b.imageType = 1;
    const QString good = dir.filePath("good.im");
    QVERIFY(b.write(good, 5)); // five bytes too many
    b.marker = "NOT AN IMAGE";
    const QString refused = dir.filePath("refused.im");
    QVERIFY(b.write(refused));
    const QString missing = dir.filePath("missing.im");

    auto run = [](const QString& file) {
        QProcess p;
        p.start(ISOLUMEN_EXECUTABLE, {"--info", file});
        p.waitForFinished(30000);
        return std::tuple(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                          QString::fromUtf8(p.readAllStandardError()));
    };
    auto [code, out, err] = run(good);
    QCOMPARE(code, 0);
    QCOMPARE(out.split('\n', Qt::SkipEmptyParts), QStringList({"File: good.im",
                                                               "Frame: 64 x 64",
                                                               "Field: 20.0 \u00b5m",
                                                               "Original Name: cells_01",
                                                               "Date, Time: 05-Mar-2007, 14:30",
                                                               "File Size: 91,925 bytes",
                                                               "Header Size: 10,000 bytes",
                                                               "X Position: +1,250",
                                                               "Y Position: -3,370",
                                                               "Duration (total): 25.0 min",
                                                               "Duration/Layer: 5.0 min",
                                                               "Duration/Pixel: 73.2 ms",
                                                               "User Name: ana",
                                                               "Image Type: 1",
                                                               "Pixel Width: 64",
                                                               "Pixel Height: 64",
                                                               "Pixel Depth: 2",
                                                               "Image Size: 20,049 nm",
                                                               "Number of Planes: 5",
                                                               "Number of Species: 2",
                                                               "Species 1: 16O",
                                                               "Species 2: S.E."}));
    QCOMPARE(err, "File size does not compute correctly.\n");

    std::tie(code, out, err) = run(refused);
    QCOMPARE(code, 2);
    QCOMPARE(out, "File: (not an image file)\n");

    for (const QString& unusable : {missing, dir.path()}) {
        std::tie(code, out, err) = run(unusable);
        QCOMPARE(code, 2);
        QVERIFY(out.isEmpty());
        QVERIFY2(err.contains(QDir::toNativeSeparators(unusable)), qPrintable(err));
        QVERIFY(err.contains(unusable == missing ? "No such file" : "folder"));
    }
}

QTEST_GUILESS_MAIN(TestImHeader)
#include "tst_imheader.moc"
