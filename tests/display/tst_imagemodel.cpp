#include "app/globals.h"
#include "app/textnumber.h"
#include "colour/catalogue.h"
#include "display/colourmapping.h"
#include "display/displaypictures.h"
#include "display/imagemodel.h"
#include "display/scalebar.h"

#include <QBuffer>
#include <QTest>
#include <cmath>

namespace {

// A plane as the file reader makes it (extremes included) from samples given in display order.
Plane planeOf(int side, const std::function<quint32(int c, int r)>& value)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly); // big-endian
    for (int r = 0; r < side; ++r) {
        for (int k = 0; k < side; ++k)
            out << value(side - 1 - k, r); // a file row runs right to left on screen
    }
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    return *readPlane(in, 0, side, {4, QDataStream::BigEndian});
}

// The table entry a sample gets, worked out here from the mapping's definition.
int expectedEntry(double v, double min, double max)
{
    const double k = (v - min) * (253.0 / (max - min)) + 1;
    return k <= 0 ? 0 : k >= 255 ? 255 : int(k);
}

} // namespace

class TestImageModel : public QObject
{
    Q_OBJECT

private slots:
    void setColors();
    void entries_data();
    void entries();
    void pictureMatchesTheFormula_data();
    void pictureMatchesTheFormula();
    void displayRange_data();
    void displayRange();
    void manualLimitKeptAcrossPlanes();
};

void TestImageModel::setColors()
{
    ImageModel m;
    QVERIFY(SetColors(m, 19, 0x12AB34, 0xFE0001));
    QCOMPARE(m.MyLUTnumber, 19);
    // Entries 1 to 254 from the catalogue; its own white and black ends give way to the caps.
    for (int i = 1; i <= 254; ++i)
        QCOMPARE(m.MyLUT[i], Globals::lut(19, i) | 0xFF000000u);
    QCOMPARE(m.MyLUT[0], 0xFFFE0001u);
    QCOMPARE(m.MyLUT[255], 0xFF12AB34u);
    // Table 9 with white and grey gives a new window's table.
    QVERIFY(SetColors(m, 9, 0xFFFFFF, 0x999999));
    QCOMPARE(m.MyLUT, ImageModel().MyLUT);
    // An index outside the catalogue changes nothing.
    QVERIFY(!SetColors(m, 20, 0, 0));
    QVERIFY(!SetColors(m, -1, 0, 0));
    QCOMPARE(m.MyLUTnumber, 9);
    QCOMPARE(m.MyLUT, ImageModel().MyLUT);
}

void TestImageModel::entries_data()
{
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<double>("v");
    QTest::addColumn<int>("entry");
    QTest::newRow("0..253: bottom of the range") << 0.0 << 253.0 << 0.0 << 1;
    QTest::newRow("0..253: 100") << 0.0 << 253.0 << 100.0 << 101;
    QTest::newRow("0..253: top of the range") << 0.0 << 253.0 << 253.0 << 254;
    QTest::newRow("0..253: half a step above the top") << 0.0 << 253.0 << 253.5 << 254;
    QTest::newRow("0..253: a step above the top") << 0.0 << 253.0 << 254.0 << 255;
    QTest::newRow("10..263: half below, truncated") << 10.0 << 263.0 << 9.5 << 0;
    QTest::newRow("10..263: below, raised to 0") << 10.0 << 263.0 << 5.0 << 0;
    QTest::newRow("100..1100: 600") << 100.0 << 1100.0 << 600.0 << 127;
}

void TestImageModel::entries()
{
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(double, v);
    QFETCH(int, entry);
    QCOMPARE(colourIndex(v, min, 253.0 / (max - min)), entry);
}

void TestImageModel::pictureMatchesTheFormula_data()
{
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<quint32>("largest");
    QTest::addColumn<bool>("logScale");
    QTest::newRow("range inside the samples") << 1000.0 << 30000.0 << 65535u << false;
    QTest::newRow("range beyond the samples") << -20.0 << 900000.0 << 65535u << false;
    QTest::newRow("narrow range, most samples capped") << 100.0 << 101.0 << 300u << false;
    QTest::newRow("4-byte samples") << 0.0 << 3e9 << 4294967295u << false;
    QTest::newRow("log scale: the same mapping") << 1000.0 << 30000.0 << 65535u << true;
}

// Every pixel, frame included: sample (c, r) at (c + 1, r + 1), so ImArray(0, 0) at (1, 1).
// The pictures follow the plane the model holds, not the frame size of the file open now.
void TestImageModel::pictureMatchesTheFormula()
{
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(quint32, largest);
    QFETCH(bool, logScale);
    const int side = 128;
    Globals::PSize = 256;
    quint64 x = 88172645463325252ull; // xorshift: deterministic spread, every sample placed
    const Plane plane = planeOf(side, [&](int, int) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return quint32(x % (quint64(largest) + 1));
    });
    ImageModel m;
    SetColors(m, 6, 0xFF00FF, 0x00FF00);
    m.AutoMin = m.AutoMax = false;
    m.LogScale = logScale;
    takePlane(m, plane, Str(min), Str(max));
    QImage want(side + 2, side + 2, QImage::Format_RGB32);
    want.fill(Qt::black);
    for (int r = 0; r < side; ++r) {
        for (int c = 0; c < side; ++c)
            want.setPixel(c + 1, r + 1, m.MyLUT[expectedEntry(plane.at(c, r), min, max)]);
    }
    const std::optional<DisplayPictures> got = displayPictures(m, 20);
    QVERIFY(got);
    QCOMPARE(got->image.convertToFormat(QImage::Format_RGB32), want);
    QCOMPARE(got->scale, scalePicture(20, side).picture);
}

void TestImageModel::displayRange_data()
{
    QTest::addColumn<bool>("autoMin");
    QTest::addColumn<bool>("autoMax");
    QTest::addColumn<QString>("minText");
    QTest::addColumn<QString>("maxText");
    QTest::addColumn<double>("colorMin");
    QTest::addColumn<double>("colorMax");
    const auto row = [](const char* name, bool autoMin, bool autoMax, const char* minText,
                        const char* maxText, double colorMin, double colorMax) {
        QTest::newRow(name) << autoMin << autoMax << QString(minText) << QString(maxText)
                            << colorMin << colorMax;
    };
    // The plane below holds 7 to 900.
    row("automatic: the plane's extremes", true, true, "3", "4", 7, 900);
    row("manual max", true, false, "", "500", 7, 500);
    row("manual min", false, true, "12.5", "", 12.5, 900);
    row("manual text not a number is 0", false, true, "abc", "", 0, 900);
    row("manual, reversed range: nothing drawn", false, false, "800", "20", 800, 20);
    row("min = max: nothing drawn", false, true, "900", "", 900, 900);
}

void TestImageModel::displayRange()
{
    QFETCH(bool, autoMin);
    QFETCH(bool, autoMax);
    QFETCH(QString, minText);
    QFETCH(QString, maxText);
    QFETCH(double, colorMin);
    QFETCH(double, colorMax);
    ImageModel m;
    m.AutoMin = autoMin;
    m.AutoMax = autoMax;
    takePlane(m, planeOf(8, [](int c, int r) { return c == 3 && r == 4 ? 900 : 7; }), minText,
              maxText);
    QCOMPARE(m.ImArrayMin, 7.0);
    QCOMPARE(m.ImArrayMax, 900.0);
    QCOMPARE(m.ColorMinValue, colorMin);
    QCOMPARE(m.ColorMaxValue, colorMax);
    QCOMPARE(displayPictures(m, 20).has_value(), colorMin < colorMax);
}

void TestImageModel::manualLimitKeptAcrossPlanes()
{
    ImageModel m;
    m.AutoMax = false;
    takePlane(m, planeOf(8, [](int c, int) { return c * 100; }), {}, "500");
    QCOMPARE(m.ColorMaxValue, 500.0);
    takePlane(m, planeOf(8, [](int c, int) { return c * 1000; }), Str(m.ColorMinValue), "500");
    QCOMPARE(m.ColorMaxValue, 500.0);
    QCOMPARE(m.ImArrayMax, 7000.0);
    // A flat plane of 7: the automatic limits become 7 and 8, the texts the fields then show.
    m.AutoMax = true;
    takePlane(m, planeOf(8, [](int, int) { return 7; }), {}, {});
    QCOMPARE(Str(m.ColorMinValue), "7");
    QCOMPARE(Str(m.ColorMaxValue), "8");
}

QTEST_MAIN(TestImageModel)
#include "tst_imagemodel.moc"
