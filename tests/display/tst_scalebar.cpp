#include "display/colourbar.h"
#include "display/scalebar.h"

#include <QFontMetrics>
#include <QTest>
#include <limits>

class TestScaleBar : public QObject
{
    Q_OBJECT

private slots:
    void bar_data();
    void bar();
};

void TestScaleBar::bar_data()
{
    QTest::addColumn<double>("micronSize");
    QTest::addColumn<int>("side");
    QTest::addColumn<int>("width"); // 0: no bar
    QTest::addColumn<QString>("label");
    const auto row = [](const char* name, double micronSize, int side, int width,
                        const char* label) {
        QTest::newRow(name) << micronSize << side << width << QString::fromUtf8(label);
    };
    row("20 um, 256: leading 4 gives 2", 20, 256, 25, "2 µm");
    row("40 um, 256: leading 9 gives 5", 40, 256, 32, "5 µm");
    row("50 um, 256", 50, 256, 51, "10 µm");
    row("5 um, 256", 5, 256, 51, "1 µm");
    row("0.5 um, 256", 0.5, 256, 51, "0.1 µm");
    row("100 um, 512", 100, 512, 51, "10 µm");
    row("80 um, 2048", 80, 2048, 51, "2 µm");
    row("2.3 um, 128", 2.3, 128, 55, "1 µm");
    row("leading 3 gives 2", 3.5 * 256 / 60, 256, 34, "2 µm");
    row("leading 6 gives 5", 6.5 * 256 / 60, 256, 46, "5 µm");
    // With side 60 the field size is x, the micrometres 60 pixels cover; its logarithm may round
    // up to a whole number just below a power of ten, or below it at one.
    row("x just below 1", std::nextafter(1.0, 0.0), 60, 30, "0.5 µm");
    row("x just below 1000", std::nextafter(1000.0, 0.0), 60, 30, "500 µm");
    row("x just below 0.001", std::nextafter(0.001, 0.0), 60, 30, "0.0005 µm");
    row("x exactly 1000", 1000, 60, 60, "1000 µm");
    row("x exactly 0.001", 0.001, 60, 60, "0.001 µm");
    row("zero field", 0, 256, 0, "");
    row("negative field", -20, 256, 0, "");
    row("field not a number", std::numeric_limits<double>::quiet_NaN(), 256, 0, "");
    row("infinite field", std::numeric_limits<double>::infinity(), 256, 0, "");
    row("no pixels", 20, 0, 0, "");
}

// The bar: grey rows 7 to 12 of columns 0 to width - 1; the label from x = width + 5 (a glyph's
// left bearing may leave that column blank) about baseline 13; white everywhere else.
void TestScaleBar::bar()
{
    QFETCH(double, micronSize);
    QFETCH(int, side);
    QFETCH(int, width);
    QFETCH(QString, label);
    const ScalePicture s = scalePicture(micronSize, side);
    QCOMPARE(s.picture.size(), QSize(258, 28));
    QCOMPARE(s.problem, width ? QString() : QStringLiteral("Scale bar problem."));
    const std::optional<ScaleBarLength> length = scaleBarLength(micronSize, side);
    QCOMPARE(length.has_value(), width > 0);
    if (length)
        QCOMPARE(scaleBarLabel(length->distance), label);

    const int bottom = 13 + QFontMetrics(pictureFont()).descent();
    int labelStart = -1;
    for (int x = 0; x < 258; ++x) {
        for (int y = 0; y < 28; ++y) {
            const QRgb c = s.picture.pixel(x, y);
            if (x < width)
                QCOMPARE(c, y >= 7 && y <= 12 ? qRgb(153, 153, 153) : qRgb(255, 255, 255));
            else if (c != qRgb(255, 255, 255) && labelStart < 0)
                labelStart = x;
            if (x >= width && y > bottom)
                QCOMPARE(c, qRgb(255, 255, 255));
        }
    }
    if (!width)
        QCOMPARE(labelStart, -1); // neither a bar nor a label
    else
        QVERIFY2(labelStart == width + 5 || labelStart == width + 6,
                 qPrintable(QString::number(labelStart)));
}

QTEST_MAIN(TestScaleBar)
#include "tst_scalebar.moc"
