#include "app/textnumber.h"
#include "colour/catalogue.h"
#include "display/colourmapping.h"
#include "display/displaypictures.h"
#include "display/imagemodel.h"

#include <QTest>
#include <cmath>

namespace {

Plane planeOf(int side, const std::function<double(int c, int r)>& value)
{
    Plane p;
    p.side = side;
    p.samples.resize(std::size_t(side) * side);
    p.min = 1e100;
    p.max = -1e100;
    for (int r = 0; r < side; ++r) {
        for (int c = 0; c < side; ++c) {
            const double v = value(c, r);
            p.samples[std::size_t(r) * side + c] = v;
            p.min = std::min(p.min, v);
            p.max = std::max(p.max, v);
        }
    }
    if (p.min == p.max)
        p.max += 1;
    return p;
}

// The table entry a sample gets, worked out here from the mapping's definition rather than
// taken from the code under test.
int expectedEntry(double v, double min, double max)
{
    const double k = (v - min) * (253.0 / (max - min)) + 1;
    if (k <= 0)
        return 0;
    if (k >= 255)
        return 255;
    return int(std::trunc(k));
}

ColorTable tableOf(int table, QRgb high, QRgb low)
{
    ColorTable t{};
    for (int i = 1; i <= 254; ++i)
        t[i] = Globals::lut(table, i) | 0xFF000000u;
    t[0] = low | 0xFF000000u;
    t[255] = high | 0xFF000000u;
    return t;
}

} // namespace

class TestImageModel : public QObject
{
    Q_OBJECT

private slots:
    void newModel();
    void setColors_data();
    void setColors();
    void entries_data();
    void entries();
    void emptyRangeDrawsNothing_data();
    void emptyRangeDrawsNothing();
    void placementAndFrame();
    void wholePictureMatchesTheFormula_data();
    void wholePictureMatchesTheFormula();
    void logScaleLeavesImageAlone();
    void displayRange_data();
    void displayRange();
    void manualLimitKeptAcrossPlanes();
    void picturesFollowTheHeldPlane();
};

void TestImageModel::newModel()
{
    const ImageModel m;
    QCOMPARE(m.MyLUTnumber, 9);
    QCOMPARE(m.MyLUT, tableOf(9, 0xFFFFFF, 0x999999));
    QVERIFY(m.AutoMin && m.AutoMax && !m.LogScale);
}

void TestImageModel::setColors_data()
{
    QTest::addColumn<int>("table");
    QTest::addColumn<QRgb>("high");
    QTest::addColumn<QRgb>("low");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("table 9, white, grey: a new window's")
        << 9 << QRgb(0xFFFFFF) << QRgb(0x999999) << true;
    QTest::newRow("first table, black caps") << 0 << QRgb(0) << QRgb(0) << true;
    QTest::newRow("last table, coloured caps") << 19 << QRgb(0x12AB34) << QRgb(0xFE0001) << true;
    QTest::newRow("index 20 is refused") << 20 << QRgb(0) << QRgb(0) << false;
    QTest::newRow("index -1 is refused") << -1 << QRgb(0) << QRgb(0) << false;
}

void TestImageModel::setColors()
{
    QFETCH(int, table);
    QFETCH(QRgb, high);
    QFETCH(QRgb, low);
    QFETCH(bool, accepted);
    ImageModel m;
    SetColors(m, 4, 0x010203, 0x040506);
    const ImageModel before = m;
    QCOMPARE(SetColors(m, table, high, low), accepted);
    if (!accepted) {
        QCOMPARE(m.MyLUT, before.MyLUT);
        QCOMPARE(m.MyLUTnumber, 4);
        return;
    }
    QCOMPARE(m.MyLUTnumber, table);
    QCOMPARE(m.MyLUT, tableOf(table, high, low));
    // The catalogue's own white and black ends never reach the window's table.
    QCOMPARE(m.MyLUT[0], low | 0xFF000000u);
    QCOMPARE(m.MyLUT[255], high | 0xFF000000u);
    QCOMPARE(colorButtonCaption(table), "Color T: " + QString::number(table + 1));
    if (table == 9)
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
    QTest::newRow("0..253: far above") << 0.0 << 253.0 << 65535.0 << 255;
    QTest::newRow("10..263: half below, truncated") << 10.0 << 263.0 << 9.5 << 0;
    QTest::newRow("10..263: below, raised to 0") << 10.0 << 263.0 << 5.0 << 0;
    QTest::newRow("100..1100: 600") << 100.0 << 1100.0 << 600.0 << 127;
    QTest::newRow("reversed caps: negative min") << -50.0 << 50.0 << 0.0 << 127;
    QTest::newRow("4-byte sample") << 0.0 << 1e9 << 4294967295.0 << 255;
}

void TestImageModel::entries()
{
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(double, v);
    QFETCH(int, entry);
    QCOMPARE(colourIndex(v, min, 253.0 / (max - min)), entry);
    const ColorTable lut = tableOf(2, 0xFFFFFF, 0x999999);
    const QImage picture = imagePicture(planeOf(1, [&](int, int) { return v; }), min, max, lut);
    QCOMPARE(picture.size(), QSize(3, 3));
    QCOMPARE(picture.pixel(1, 1), lut[entry]);
}

void TestImageModel::emptyRangeDrawsNothing_data()
{
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::newRow("min = max") << 5.0 << 5.0;
    QTest::newRow("min > max") << 6.0 << 5.0;
}

void TestImageModel::emptyRangeDrawsNothing()
{
    QFETCH(double, min);
    QFETCH(double, max);
    ImageModel m;
    takePlane(m, planeOf(64, [](int c, int) { return c; }), {}, {});
    m.ColorMinValue = min;
    m.ColorMaxValue = max;
    QVERIFY(!displayPictures(m, 20));
    QVERIFY(imagePicture(m.ImArray, min, max, m.MyLUT).isNull());
}

void TestImageModel::placementAndFrame()
{
    const int side = 64;
    // Every sample distinct, so a misplaced one shows.
    const Plane plane = planeOf(side, [](int c, int r) { return r * 64 + c; });
    ColorTable lut{};
    for (int i = 0; i < 256; ++i)
        lut[i] = qRgb(i, 255 - i, 7);
    const double max = side * side - 1;
    const QImage picture = imagePicture(plane, 0, max, lut);
    QCOMPARE(picture.size(), QSize(side + 2, side + 2));
    QCOMPARE(picture.pixel(1, 1), lut[expectedEntry(plane.at(0, 0), 0, max)]);
    QCOMPARE(picture.pixel(1, 1), lut[1]);
    QCOMPARE(picture.pixel(side, side), lut[254]);
    QCOMPARE(picture.pixel(side, 1), lut[expectedEntry(side - 1, 0, max)]);
    const QRgb black = qRgb(0, 0, 0);
    for (int i = 0; i < side + 2; ++i) {
        QCOMPARE(picture.pixel(i, 0), black);
        QCOMPARE(picture.pixel(i, side + 1), black);
        QCOMPARE(picture.pixel(0, i), black);
        QCOMPARE(picture.pixel(side + 1, i), black);
    }
}

void TestImageModel::wholePictureMatchesTheFormula_data()
{
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<quint32>("largest");
    QTest::newRow("range inside the samples") << 1000.0 << 30000.0 << 65535u;
    QTest::newRow("range beyond the samples") << -20.0 << 900000.0 << 65535u;
    QTest::newRow("narrow range, most samples capped") << 100.0 << 101.0 << 300u;
    QTest::newRow("4-byte samples") << 0.0 << 3e9 << 4294967295u;
}

void TestImageModel::wholePictureMatchesTheFormula()
{
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(quint32, largest);
    const int side = 128;
    quint64 x = 88172645463325252ull; // xorshift: deterministic spread of sample values
    const Plane plane = planeOf(side, [&](int, int) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return double(x % (quint64(largest) + 1));
    });
    const ColorTable lut = tableOf(6, 0xFF00FF, 0x00FF00);
    const QImage picture = imagePicture(plane, min, max, lut);
    QVERIFY(!picture.isNull());
    for (int r = 0; r < side; ++r) {
        for (int c = 0; c < side; ++c) {
            const QRgb want = lut[expectedEntry(plane.at(c, r), min, max)];
            if (picture.pixel(c + 1, r + 1) != want)
                QFAIL(qPrintable(QString("pixel (%1, %2) of sample %3")
                                     .arg(c + 1)
                                     .arg(r + 1)
                                     .arg(plane.at(c, r))));
        }
    }
}

void TestImageModel::logScaleLeavesImageAlone()
{
    ImageModel m;
    takePlane(m, planeOf(64, [](int c, int r) { return 1 + c * r * 13; }), {}, {});
    const std::optional<DisplayPictures> linear = displayPictures(m, 20);
    m.LogScale = true;
    const std::optional<DisplayPictures> log = displayPictures(m, 20);
    QVERIFY(linear && log);
    QCOMPARE(log->image, linear->image);
    QCOMPARE(log->scale, linear->scale);
    QVERIFY(log->colorBar != linear->colorBar); // the axis does change
}

void TestImageModel::displayRange_data()
{
    QTest::addColumn<bool>("autoMin");
    QTest::addColumn<bool>("autoMax");
    QTest::addColumn<QString>("minText");
    QTest::addColumn<QString>("maxText");
    QTest::addColumn<double>("colorMin");
    QTest::addColumn<double>("colorMax");
    // The plane below holds 7 to 900.
    QTest::newRow("both automatic: the plane's extremes") << true << true << "3"
                                                          << "4" << 7.0 << 900.0;
    QTest::newRow("manual max") << true << false << ""
                                << "500" << 7.0 << 500.0;
    QTest::newRow("manual min") << false << true << "12.5"
                                << "" << 12.5 << 900.0;
    QTest::newRow("manual text that is not a number is 0") << false << true << "abc"
                                                           << "" << 0.0 << 900.0;
    QTest::newRow("manual, leading number taken") << false << false << "5x"
                                                  << " 42abc" << 5.0 << 42.0;
    QTest::newRow("manual, reversed range kept as typed") << false << false << "800"
                                                          << "20" << 800.0 << 20.0;
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
}

void TestImageModel::manualLimitKeptAcrossPlanes()
{
    ImageModel m;
    m.AutoMax = false;
    takePlane(m, planeOf(8, [](int c, int) { return c * 100; }), {}, "500");
    QCOMPARE(m.ColorMaxValue, 500.0);
    QCOMPARE(m.ImArrayMax, 700.0);
    takePlane(m, planeOf(8, [](int c, int) { return c * 1000; }), Str(m.ColorMinValue), "500");
    QCOMPARE(m.ColorMaxValue, 500.0);
    QCOMPARE(m.ImArrayMax, 7000.0);
    QCOMPARE(m.ColorMinValue, 0.0);
    // A flat plane: the automatic limits become 7 and 8, the text the fields then show.
    m.AutoMax = true;
    takePlane(m, planeOf(8, [](int, int) { return 7; }), {}, {});
    QCOMPARE(Str(m.ColorMinValue), "7");
    QCOMPARE(Str(m.ColorMaxValue), "8");
}

void TestImageModel::picturesFollowTheHeldPlane()
{
    // A window not yet reloaded after a file of larger frames was opened holds its old plane:
    // its pictures keep that plane's size.
    ImageModel m;
    takePlane(m, planeOf(64, [](int c, int) { return c; }), {}, {});
    const std::optional<DisplayPictures> p = displayPictures(m, 20);
    QVERIFY(p);
    QCOMPARE(p->image.size(), QSize(66, 66));
    QCOMPARE(p->colorBar.size(), QSize(80, 300));
    QCOMPARE(p->scale.size(), QSize(258, 28));
    QVERIFY(p->scaleProblem.isEmpty());
    // Before any load the model holds no samples; a redraw then gives just the frame.
    ImageModel fresh;
    fresh.ColorMinValue = 0;
    fresh.ColorMaxValue = 1;
    const std::optional<DisplayPictures> empty = displayPictures(fresh, 20);
    QVERIFY(empty);
    QCOMPARE(empty->image.size(), QSize(2, 2));
    QCOMPARE(empty->scaleProblem, "Scale bar problem.");
}

QTEST_MAIN(TestImageModel)
#include "tst_imagemodel.moc"
