// Reading one frame into display order: placement, sample formats and files that end early.
#include "rawfile/framereader.h"

#include <QBuffer>
#include <QTest>

namespace {

// 64 x 64 big-endian 16-bit samples, sample(r, k) for the k-th sample of file row r.
QByteArray frameBytes(const std::function<quint16(int r, int k)>& sample)
{
    QByteArray bytes;
    for (int r = 0; r < 64; ++r) {
        for (int k = 0; k < 64; ++k)
            bytes.append(char(sample(r, k) >> 8)).append(char(sample(r, k) & 0xFF));
    }
    return bytes;
}

std::optional<Plane> read(QByteArray bytes, qint64 offset = 0, int side = 64,
                          SampleFormat format = {})
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
    void placement();
    void samples_data();
    void samples();
    void shortFile_data();
    void shortFile();
};

void TestFrameReader::placement()
{
    // Each sample's value tells where it was in the file: row r, k-th sample.
    const std::optional<Plane> plane = read(frameBytes([](int r, int k) { return r * 100 + k; }));
    QVERIFY(plane);
    QCOMPARE(plane->at(63, 0), 0.0);   // bytes 0-1: first sample, right-hand end of row 0
    QCOMPARE(plane->at(62, 0), 1.0);   // bytes 2-3
    QCOMPARE(plane->at(63, 1), 100.0); // the 65th sample starts the next row
    for (int r = 0; r < 64; ++r) {
        for (int c = 0; c < 64; ++c)
            QCOMPARE(plane->at(c, r), double(r * 100 + 63 - c));
    }

    // A flat plane: its largest value is raised by one so that the range is never empty.
    const QByteArray flat = frameBytes([](int, int) { return 7; });
    QCOMPARE(read(flat)->min, 7.0);
    QCOMPARE(read(flat)->max, 8.0);
    QVERIFY(!read(flat, 0, 0));
    QVERIFY(!read(flat, 0, -64));
}

void TestFrameReader::samples_data()
{
    QTest::addColumn<QByteArray>("first"); // bytes of the first sample; the rest are zeros
    QTest::addColumn<int>("bytesPerSample");
    QTest::addColumn<QDataStream::ByteOrder>("order");
    QTest::addColumn<double>("value");
    const auto big = QDataStream::BigEndian;
    const auto little = QDataStream::LittleEndian;
    QTest::newRow("0xFF 0xFF is 65535") << QByteArray("\xff\xff") << 2 << big << 65535.0;
    QTest::newRow("0x01 0x00 big-endian") << QByteArray("\x01\x00", 2) << 2 << big << 256.0;
    QTest::newRow("0x01 0x00 little-endian") << QByteArray("\x01\x00", 2) << 2 << little << 1.0;
    QTest::newRow("4 bytes big-endian") << QByteArray("\x01\x02\x03\x04") << 4 << big << 16909060.0;
    QTest::newRow("4 bytes little-endian")
        << QByteArray("\x01\x02\x03\x04") << 4 << little << 67305985.0;
    QTest::newRow("4 bytes, all ones")
        << QByteArray("\xff\xff\xff\xff") << 4 << big << 4294967295.0;
}

void TestFrameReader::samples()
{
    QFETCH(QByteArray, first);
    QFETCH(int, bytesPerSample);
    QFETCH(QDataStream::ByteOrder, order);
    QFETCH(double, value);
    QByteArray bytes(64 * 64 * bytesPerSample, '\0');
    bytes.replace(0, first.size(), first);
    const std::optional<Plane> plane = read(bytes, 0, 64, {bytesPerSample, order});
    QVERIFY(plane);
    QCOMPARE(plane->at(63, 0), value);
    QCOMPARE(plane->at(62, 0), 0.0);
    QCOMPARE(plane->max, value);
}

void TestFrameReader::shortFile_data()
{
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<int>("keep");          // bytes of the frame present in the file
    QTest::addColumn<double>("lastSample"); // the frame's last sample, at (0, 63)
    QTest::addColumn<double>("max");
    QTest::newRow("whole frame") << qint64(0) << 8192 << double(0x0505) << double(0x0600);
    QTest::newRow("last byte missing: low byte reads as 0")
        << qint64(0) << 8191 << double(0x0500) << double(0x0600);
    QTest::newRow("last row missing: zeros") << qint64(0) << 64 * 63 * 2 << 0.0 << double(0x0600);
    // Nothing to read: a flat plane of zeros.
    QTest::newRow("offset far past the end (64-bit)") << (qint64(5) << 32) << 8192 << 0.0 << 1.0;
    QTest::newRow("negative offset") << qint64(-2) << 8192 << 0.0 << 1.0;
}

void TestFrameReader::shortFile()
{
    QFETCH(qint64, offset);
    QFETCH(int, keep);
    QFETCH(double, lastSample);
    QFETCH(double, max);
    const QByteArray bytes =
        frameBytes([](int r, int k) { return r == 0 && k == 0 ? 0x0600 : 0x0505; }).left(keep);
    const std::optional<Plane> plane = read(bytes, offset);
    QVERIFY(plane);
    QCOMPARE(plane->at(0, 63), lastSample);
    QCOMPARE(plane->max, max);
    QCOMPARE(plane->min, lastSample);
}

QTEST_GUILESS_MAIN(TestFrameReader)
#include "tst_framereader.moc"
