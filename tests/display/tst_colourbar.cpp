#include "colour/catalogue.h"
#include "display/axismath.h"
#include "display/colourbar.h"
#include "display/imagemodel.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTest>
#include <cmath>

namespace {

QImage axisPicture(double top, double bottom, bool linear)
{
    QImage picture(80, 300, QImage::Format_RGB32);
    picture.fill(Qt::white);
    AxisRight(picture, top, bottom, 254, linear);
    return picture;
}

// The numbers 1 to 9 times a power of ten (from 1 up) above bottom and below top.
QList<double> oneDigitValues(double bottom, double top)
{
    QList<double> values;
    for (double p = 1; p < top; p *= 10) {
        for (int d = 1; d <= 9; ++d) {
            if (d * p > bottom && d * p < top)
                values << d * p;
        }
    }
    return values;
}

using Rows = QMap<double, int>; // tick value -> row

} // namespace

class TestColourBar : public QObject
{
    Q_OBJECT

private slots:
    void axis_data();
    void axis();
    void layout();
};

void TestColourBar::axis_data()
{
    QTest::addColumn<double>("bottom");
    QTest::addColumn<double>("top");
    QTest::addColumn<bool>("linear");
    QTest::addColumn<QList<double>>("ticks");    // inner ticks
    QTest::addColumn<QList<double>>("labelled"); // inner labels of a log axis; linear: every tick
    QTest::addColumn<Rows>("rows");              // rows of some ticks, worked out by hand

    QTest::newRow("0 to 1000, step 100")
        << 0.0 << 1000.0 << true << QList<double>{100, 200, 300, 400, 500, 600, 700, 800, 900}
        << QList<double>{} << Rows{{100, 232}, {200, 207}, {300, 182}, {400, 156}, {500, 131},
                                   {600, 106}, {700, 80},  {800, 55},  {900, 30}};
    QList<double> thousands;
    for (int v = 5000; v <= 60000; v += 5000)
        thousands << v;
    QTest::newRow("0 to 65535, step 5000")
        << 0.0 << 65535.0 << true << thousands << QList<double>{} << Rows{{5000, 238}, {60000, 26}};
    QTest::newRow("0.1 to 0.8, step 0.05")
        << 0.1 << 0.8 << true
        << QList<double>{0.15, 0.2, 0.25, 0.3, 0.35, 0.4, 0.45, 0.5, 0.55, 0.6, 0.65, 0.7, 0.75}
        << QList<double>{} << Rows{};
    QTest::newRow("negative bottom: labels with their minus")
        << -300.0 << 300.0 << true
        << QList<double>{-250, -200, -150, -100, -50, 0, 50, 100, 150, 200, 250} << QList<double>{}
        << Rows{};
    QTest::newRow("log 1 to 1000: 26 ticks, labels on the 1s only")
        << 1.0 << 1000.0 << false << oneDigitValues(1, 1000) << QList<double>{10, 100}
        << Rows{{2, 232}, {10, 173}, {100, 89}, {900, 8}};
    QTest::newRow("log 3.7 to 500: also the 2s and 5s")
        << 3.7 << 500.0 << false << oneDigitValues(3.7, 500)
        << QList<double>{5, 10, 20, 50, 100, 200} << Rows{};
    const QList<double> none;
    QTest::newRow("log, bottom 0: ends only") << 0.0 << 1000.0 << false << none << none << Rows{};
    QTest::newRow("log, bottom below 0") << -5.0 << 1000.0 << false << none << none << Rows{};
    QTest::newRow("log, bottom that formats as 0: 999 steps, no tick")
        << 1e-12 << 1.0 << false << none << none << Rows{};
    QTest::newRow("reversed range") << 10.0 << 5.0 << true << none << none << Rows{};
    QTest::newRow("empty range") << 10.0 << 10.0 << true << none << none << Rows{};
    QTest::newRow("range too wide for a double")
        << -1e308 << 1e308 << true << none << none << Rows{};
}

// The axis picture against one drawn here: a tick as a 5-pixel row at y(v) truncated, y(v) being
// 253 - (v's distance from the bottom, linear or in decimal logarithms) / (the range per pixel)
// + 5; a label StrPlus(v) from x = 10 on baseline y(v) + 4 truncated; the ends at rows 5 and 258.
void TestColourBar::axis()
{
    QFETCH(double, bottom);
    QFETCH(double, top);
    QFETCH(bool, linear);
    QFETCH(QList<double>, ticks);
    QFETCH(QList<double>, labelled);
    QFETCH(Rows, rows);
    QCOMPARE(axisMarks(top, bottom, 254, linear).size(), ticks.size() + 2);

    QImage want(80, 300, QImage::Format_RGB32);
    want.fill(Qt::white);
    QPainter p(&want);
    p.setFont(pictureFont());
    const auto mark = [&](double v, double y, bool label) {
        p.fillRect(0, int(y), 5, 1, Qt::black);
        if (label)
            p.drawText(QPoint(10, int(y + 4)), Globals::StrPlus(v));
    };
    mark(top, 5, true);
    mark(bottom, 258, true);
    const double perPixel = (linear ? top - bottom : std::log10(top) - std::log10(bottom)) / 253;
    for (double v : ticks) {
        const double y =
            253 - (linear ? v - bottom : std::log10(v) - std::log10(bottom)) / perPixel + 5;
        mark(v, y, linear || labelled.contains(v));
        if (rows.contains(v))
            QCOMPARE(int(y), rows.value(v));
    }
    p.end();
    QCOMPARE(axisPicture(top, bottom, linear), want);
}

void TestColourBar::layout()
{
    const QRgb high = qRgb(250, 1, 2);
    const QRgb low = qRgb(3, 4, 251);
    const QImage bar = colorBarPicture(ImageModel::windowTable(3, high, low), 1000, 0, false);

    // Framed caps and ramp in columns 0 to 19, white column 20, the axis one pixel lower from 21.
    QImage want(80, 300, QImage::Format_RGB32);
    want.fill(Qt::white);
    QPainter(&want).drawImage(21, 1, axisPicture(1000, 0, true));
    for (int y = 0; y <= 265; ++y) {
        for (int x = 0; x <= 19; ++x) {
            const bool frame =
                x == 0 || x == 19 || y == 0 || y == 4 || y == 5 || y == 260 || y == 261 || y == 265;
            want.setPixel(x, y,
                          frame      ? qRgb(0, 0, 0)
                          : y <= 3   ? high
                          : y >= 262 ? low
                                     : Globals::lut(3, 260 - y) | 0xFF000000u);
        }
    }
    QCOMPARE(bar, want);
    // Entry 254 in ramp row 6 and entry 1 in row 259, beside the axis' end ticks.
    QCOMPARE(bar.pixel(5, 6), Globals::lut(3, 254) | 0xFF000000u);
    QCOMPARE(bar.pixel(5, 259), Globals::lut(3, 1) | 0xFF000000u);
    QCOMPARE(bar.pixel(21, 6), qRgb(0, 0, 0));
    QCOMPARE(bar.pixel(21, 259), qRgb(0, 0, 0));
    // The widest label of 16-bit data fits the 49 columns the picture leaves beside the ramp.
    QVERIFY(QFontMetrics(pictureFont()).horizontalAdvance(Globals::StrPlus(65535)) <= 49);
}

QTEST_MAIN(TestColourBar)
#include "tst_colourbar.moc"
