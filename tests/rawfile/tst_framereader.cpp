// Reading one frame into display order: placement, extremes and files that end early.
#include "rawfile/framereader.h"

#include <QBuffer>
#include <QTest>

namespace {

// side x side big-endian 16-bit samples, sample(r, k) for the k-th sample of file row r.
QByteArray frameBytes(int side, const std::function<quint16(int r, int k)>& sample)
{
    QByteArray bytes;
    for (int r = 0; r < side; ++r) {
        for (int k = 0; k < side; ++k) {
            const quint16 v = sample(r, k);
            bytes.append(char(v >> 8));
            bytes.append(char(v & 0xFF));
        }
    }
    return bytes;
}

std::optional<Plane> read(QByteArray bytes, qint64 offset, int side, SampleFormat format = {})
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return readPlane(buffer, offset, side, format);
}

} // namespace

class TestFrameReader : public QObject
{
    Q_OBJECT

private slots:
    void extremes_data();
    void extremes();
    void mirroredRows();
    void shortFile_data();
    void shortFile();
    void nothingToRead_data();
    void nothingToRead();
};

void TestFrameReader::extremes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("bytesPerSample");
    QTest::addColumn<bool>("bigEndian");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    const int side = 64;
    QTest::newRow("flat plane of 7: max raised to 8")
        << frameBytes(side, [](int, int) { return 7; }) << 2 << true << 7.0 << 8.0;
    QTest::newRow("flat plane of 0")
        << frameBytes(side, [](int, int) { return 0; }) << 2 << true << 0.0 << 1.0;
    QTest::newRow("0xFF 0xFF is 65535: unsigned, high byte first")
        << frameBytes(side, [](int r, int k) { return r == 10 && k == 3 ? 0xFFFF : 12; }) << 2
        << true << 12.0 << 65535.0;
    QTest::newRow("0x01 0x00 is 256 big-endian")
        << frameBytes(side, [](int r, int k) { return r == 0 && k == 0 ? 0x0100 : 0; }) << 2 << true
        << 0.0 << 256.0;
    QTest::newRow("0x01 0x00 is 1 little-endian")
        << frameBytes(side, [](int r, int k) { return r == 0 && k == 0 ? 0x0100 : 0; }) << 2
        << false << 0.0 << 1.0;
    QByteArray wide(side * side * 4, '\0');
    wide[8] = wide[9] = wide[10] = wide[11] = char(0xFF);
    QTest::newRow("4-byte 0xFFFFFFFF") << wide << 4 << true << 0.0 << 4294967295.0;
}

void TestFrameReader::extremes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, bytesPerSample);
    QFETCH(bool, bigEndian);
    QFETCH(double, min);
    QFETCH(double, max);
    const SampleFormat format{bytesPerSample,
                              bigEndian ? QDataStream::BigEndian : QDataStream::LittleEndian};
    const std::optional<Plane> plane = read(bytes, 0, 64, format);
    QVERIFY(plane);
    QCOMPARE(plane->min, min);
    QCOMPARE(plane->max, max);
    QVERIFY(plane->min < plane->max);
}

void TestFrameReader::mirroredRows()
{
    // Each sample's value tells where it was in the file: row r, k-th sample.
    const int side = 64;
    const std::optional<Plane> plane =
        read(frameBytes(side, [](int r, int k) { return r * 100 + k; }), 0, side);
    QVERIFY(plane);
    QCOMPARE(plane->side, side);
    QCOMPARE(plane->samples.size(), std::size_t(side * side));
    QCOMPARE(plane->at(63, 0), 0.0);   // bytes 0-1: first sample, right-hand end of row 0
    QCOMPARE(plane->at(62, 0), 1.0);   // bytes 2-3
    QCOMPARE(plane->at(0, 0), 63.0);   // last sample of the first file row at the left
    QCOMPARE(plane->at(63, 1), 100.0); // the 65th sample starts the next row
    QCOMPARE(plane->at(0, 63), 6363.0);
    for (int r = 0; r < side; ++r) {
        for (int c = 0; c < side; ++c)
            QCOMPARE(plane->at(c, r), double(r * 100 + (side - 1 - c)));
    }
}

void TestFrameReader::shortFile_data()
{
    QTest::addColumn<int>("keep");          // bytes of the frame present in the file
    QTest::addColumn<double>("lastSample"); // the frame's last sample, at (0, 63)
    QTest::addColumn<double>("min");
    QTest::newRow("whole frame") << 64 * 64 * 2 << 0x0505 * 1.0 << 0x0505 * 1.0;
    QTest::newRow("last byte missing: low byte reads as 0")
        << 64 * 64 * 2 - 1 << 0x0500 * 1.0 << 0x0500 * 1.0;
    QTest::newRow("last row missing: zeros") << 64 * 63 * 2 << 0.0 << 0.0;
    QTest::newRow("one sample only") << 2 << 0.0 << 0.0;
}

void TestFrameReader::shortFile()
{
    QFETCH(int, keep);
    QFETCH(double, lastSample);
    QFETCH(double, min);
    const QByteArray bytes =
        frameBytes(64, [](int r, int k) { return r == 0 && k == 0 ? 0x0600 : 0x0505; }).left(keep);
    const std::optional<Plane> plane = read(bytes, 0, 64);
    QVERIFY(plane);
    QCOMPARE(plane->at(0, 63), lastSample);
    QCOMPARE(plane->at(63, 0), double(0x0600)); // the first sample is always there
    QCOMPARE(plane->min, min);
    QCOMPARE(plane->max, double(0x0600));
}

void TestFrameReader::nothingToRead_data()
{
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<int>("side");
    QTest::addColumn<bool>("plane");
    QTest::newRow("offset at the end: all zeros") << qint64(8192) << 64 << true;
    QTest::newRow("offset past the end: all zeros") << qint64(9000) << 128 << true;
    QTest::newRow("offset far past the end (64-bit)") << (qint64(5) << 32) << 64 << true;
    QTest::newRow("negative offset: all zeros") << qint64(-2) << 64 << true;
    QTest::newRow("side 0: no plane") << qint64(0) << 0 << false;
    QTest::newRow("negative side: no plane") << qint64(0) << -64 << false;
}

void TestFrameReader::nothingToRead()
{
    QFETCH(qint64, offset);
    QFETCH(int, side);
    QFETCH(bool, plane);
    const std::optional<Plane> p = read(frameBytes(64, [](int, int) { return 9; }), offset, side);
    QCOMPARE(bool(p), plane);
    if (!p)
        return;
    if (offset < 8192 && offset >= 0) {
        QCOMPARE(p->max, 9.0); // what the file holds, then zeros
    } else {
        QCOMPARE(p->max, 1.0); // a flat plane of zeros
    }
    QCOMPARE(p->min, 0.0);
    QCOMPARE(p->samples.size(), std::size_t(side) * side);
}

QTEST_MAIN(TestFrameReader)
#include "tst_framereader.moc"
