#include "app/textnumber.h"
#include "display/colourbar.h"
#include "display/scalebar.h"

#include <QFontMetrics>
#include <QTest>
#include <limits>

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kGrey = qRgb(153, 153, 153);

// First column right of the bar that holds ink: where the label starts.
int firstInkAfter(const QImage& picture, int from)
{
    for (int x = from; x < picture.width(); ++x) {
        for (int y = 0; y < picture.height(); ++y) {
            if (picture.pixel(x, y) != kWhite)
                return x;
        }
    }
    return -1;
}

} // namespace

class TestScaleBar : public QObject
{
    Q_OBJECT

private slots:
    void bar_data();
    void bar();
    void leadingDigit_data();
    void leadingDigit();
    void noBar_data();
    void noBar();
};

void TestScaleBar::bar_data()
{
    QTest::addColumn<double>("micronSize");
    QTest::addColumn<int>("side");
    QTest::addColumn<double>("distance");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("label");
    QTest::newRow("20 um, 256: leading 4 gives 2")
        << 20.0 << 256 << 2.0 << 25 << QString::fromUtf8("2 µm");
    QTest::newRow("40 um, 256: leading 9 gives 5")
        << 40.0 << 256 << 5.0 << 32 << QString::fromUtf8("5 µm");
    QTest::newRow("50 um, 256") << 50.0 << 256 << 10.0 << 51 << QString::fromUtf8("10 µm");
    QTest::newRow("5 um, 256") << 5.0 << 256 << 1.0 << 51 << QString::fromUtf8("1 µm");
    QTest::newRow("0.5 um, 256") << 0.5 << 256 << 0.1 << 51 << QString::fromUtf8("0.1 µm");
    QTest::newRow("100 um, 512") << 100.0 << 512 << 10.0 << 51 << QString::fromUtf8("10 µm");
    QTest::newRow("80 um, 2048") << 80.0 << 2048 << 2.0 << 51 << QString::fromUtf8("2 µm");
    QTest::newRow("2.3 um, 128") << 2.3 << 128 << 1.0 << 55 << QString::fromUtf8("1 µm");
    QTest::newRow("leading 3 gives 2")
        << 3.5 * 256 / 60 << 256 << 2.0 << 34 << QString::fromUtf8("2 µm");
    QTest::newRow("leading 6 gives 5")
        << 6.5 * 256 / 60 << 256 << 5.0 << 46 << QString::fromUtf8("5 µm");
}

void TestScaleBar::bar()
{
    QFETCH(double, micronSize);
    QFETCH(int, side);
    QFETCH(double, distance);
    QFETCH(int, width);
    QFETCH(QString, label);
    const std::optional<ScaleBarLength> length = scaleBarLength(micronSize, side);
    QVERIFY(length);
    QCOMPARE(length->distance, distance);
    QCOMPARE(length->width, width);

    const ScalePicture s = scalePicture(micronSize, side);
    QVERIFY(s.problem.isEmpty());
    QCOMPARE(s.picture.size(), QSize(258, 28));
    for (int y = 0; y < 28; ++y) {
        for (int x = 0; x < width; ++x)
            QCOMPARE(s.picture.pixel(x, y), y >= 7 && y <= 12 ? kGrey : kWhite);
        for (int x = width; x < width + 4; ++x)
            QCOMPARE(s.picture.pixel(x, y), kWhite);
    }
    // The label starts at w + 5 (a glyph's left bearing may leave its first column blank).
    const int labelStart = firstInkAfter(s.picture, width);
    QVERIFY2(labelStart >= width + 5 && labelStart <= width + 6,
             qPrintable(QString::number(labelStart)));
    // Its ink lies about baseline 13 and nowhere below the descent.
    const QFontMetrics metrics(pictureFont());
    for (int y = 13 + metrics.descent() + 1; y < 28; ++y) {
        for (int x = 0; x < 258; ++x)
            QCOMPARE(s.picture.pixel(x, y), kWhite);
    }
    QCOMPARE(scaleBarLabel(length->distance), label);
}

void TestScaleBar::leadingDigit_data()
{
    QTest::addColumn<double>("x"); // micrometres covered by 60 pixels
    QTest::addColumn<double>("distance");
    const double below = std::nextafter(1.0, 0.0);
    QTest::newRow("just below 1") << below << 0.5;
    QTest::newRow("just below 10") << std::nextafter(10.0, 0.0) << 5.0;
    QTest::newRow("just below 1000") << std::nextafter(1000.0, 0.0) << 500.0;
    QTest::newRow("just below 0.001") << std::nextafter(0.001, 0.0) << 0.0005;
    QTest::newRow("exactly 1000 (its logarithm rounds below 3)") << 1000.0 << 1000.0;
    QTest::newRow("exactly 1e-3") << 0.001 << 0.001;
    QTest::newRow("exactly 1e6") << 1e6 << 1e6;
}

void TestScaleBar::leadingDigit()
{
    QFETCH(double, x);
    QFETCH(double, distance);
    // side 60: x is the field size itself.
    const std::optional<ScaleBarLength> length = scaleBarLength(x, 60);
    QVERIFY(length);
    QCOMPARE(length->distance, distance);
    QVERIFY(length->width >= 29 && length->width <= 60);
    QVERIFY(scalePicture(x, 60).problem.isEmpty());
}

void TestScaleBar::noBar_data()
{
    QTest::addColumn<double>("micronSize");
    QTest::addColumn<int>("side");
    QTest::newRow("zero field") << 0.0 << 256;
    QTest::newRow("negative field") << -20.0 << 256;
    QTest::newRow("field not a number") << std::numeric_limits<double>::quiet_NaN() << 256;
    QTest::newRow("infinite field") << std::numeric_limits<double>::infinity() << 256;
    QTest::newRow("no pixels") << 20.0 << 0;
}

void TestScaleBar::noBar()
{
    QFETCH(double, micronSize);
    QFETCH(int, side);
    QVERIFY(!scaleBarLength(micronSize, side));
    const ScalePicture s = scalePicture(micronSize, side);
    QCOMPARE(s.problem, "Scale bar problem.");
    QCOMPARE(s.picture.size(), QSize(258, 28));
    QCOMPARE(firstInkAfter(s.picture, 0), -1); // neither a bar nor a label
}

QTEST_MAIN(TestScaleBar)
#include "tst_scalebar.moc"
