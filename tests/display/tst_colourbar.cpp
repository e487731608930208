#include "colour/catalogue.h"
#include "display/axismath.h"
#include "display/colourbar.h"
#include "display/imagemodel.h"

#include <QFontMetrics>
#include <QTest>

namespace {

using Rows = QList<int>;

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);

QImage axisPicture(double top, double bottom, bool linear)
{
    QImage picture(80, 300, QImage::Format_RGB32);
    picture.fill(Qt::white);
    AxisRight(picture, top, bottom, 254, linear);
    return picture;
}

// Rows where columns 0 to 4 are black: the ticks. Any other pixel there must be white.
Rows tickRows(const QImage& axis)
{
    Rows rows;
    for (int y = 0; y < axis.height(); ++y) {
        int black = 0;
        for (int x = 0; x <= 4; ++x)
            black += axis.pixel(x, y) == kBlack;
        if (black == 5)
            rows << y;
        else if (black != 0)
            rows << -1000 - y; // a partial tick: never expected
    }
    return rows;
}

bool inkInRows(const QImage& axis, int first, int last)
{
    for (int y = std::max(0, first); y <= std::min(axis.height() - 1, last); ++y) {
        for (int x = 10; x < axis.width(); ++x) {
            if (axis.pixel(x, y) != kWhite)
                return true;
        }
    }
    return false;
}

// Labels sit on their baselines: the digits' ink ends in the row just above every expected
// baseline, and there is no ink right of x = 10 outside those labels' rows.
void checkLabelInk(const QImage& axis, const Rows& baselines)
{
    const int above = QFontMetrics(pictureFont()).ascent();
    for (int b : baselines) {
        QVERIFY2(inkInRows(axis, b - 1, b - 1), qPrintable(QString("baseline %1").arg(b)));
    }
    for (int y = 0; y < axis.height(); ++y) {
        bool inLabel = false;
        for (int b : baselines)
            inLabel = inLabel || (y >= b - above && y <= b - 1);
        if (!inLabel)
            QVERIFY2(!inkInRows(axis, y, y), qPrintable(QString("stray ink in row %1").arg(y)));
    }
    for (int y = 0; y < axis.height(); ++y) {
        for (int x = 5; x < 10; ++x)
            QCOMPARE(axis.pixel(x, y), kWhite); // the gap between ticks and labels
    }
}

Rows innerRows(const QList<AxisMark>& marks, bool baselines)
{
    Rows rows;
    for (qsizetype i = 2; i < marks.size(); ++i)
        rows << (baselines ? marks[i].baseline : marks[i].y);
    return rows;
}

} // namespace

class TestColourBar : public QObject
{
    Q_OBJECT

private slots:
    void linear_data();
    void linear();
    void logarithmic_data();
    void logarithmic();
    void endsOnly_data();
    void endsOnly();
    void labelsFitBesideTheRamp();
    void layout();
};

void TestColourBar::linear_data()
{
    QTest::addColumn<double>("bottom");
    QTest::addColumn<double>("top");
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<Rows>("ticks"); // empty: not checked row by row

    QTest::newRow("0 to 1000, step 100")
        << 0.0 << 1000.0 << QList<double>{100, 200, 300, 400, 500, 600, 700, 800, 900}
        << Rows{232, 207, 182, 156, 131, 106, 80, 55, 30};
    QList<double> thousands;
    for (int v = 5000; v <= 60000; v += 5000)
        thousands << v;
    QTest::newRow("0 to 65535, step 5000") << 0.0 << 65535.0 << thousands << Rows{};
    QTest::newRow("0.1 to 0.8, step 0.05")
        << 0.1 << 0.8
        << QList<double>{0.15, 0.2, 0.25, 0.3, 0.35, 0.4, 0.45, 0.5, 0.55, 0.6, 0.65, 0.7, 0.75}
        << Rows{};
    QTest::newRow("negative bottom")
        << -300.0 << 300.0 << QList<double>{-250, -200, -150, -100, -50, 0, 50, 100, 150, 200, 250}
        << Rows{};
}

void TestColourBar::linear()
{
    QFETCH(double, bottom);
    QFETCH(double, top);
    QFETCH(QList<double>, values);
    QFETCH(Rows, ticks);

    const QList<AxisMark> marks = axisMarks(top, bottom, 254, true);
    QCOMPARE(marks.size(), values.size() + 2);
    QCOMPARE(marks[0].y, 5);
    QCOMPARE(marks[0].baseline, 9);
    QCOMPARE(marks[1].y, 258);
    QCOMPARE(marks[1].baseline, 262);
    QCOMPARE(marks[0].label, Globals::StrPlus(top));
    QCOMPARE(marks[1].label, Globals::StrPlus(bottom));
    for (qsizetype i = 0; i < values.size(); ++i) {
        const AxisMark& m = marks[i + 2];
        QCOMPARE(m.value, values[i]);
        QVERIFY(m.labelled);
        QCOMPARE(m.label, Globals::StrPlus(values[i]));
        // Label baselines are the unrounded tick position plus 4, then truncated.
        const double y = 253 - (values[i] - bottom) / ((top - bottom) / 253) + 5;
        QCOMPARE(m.y, int(y));
        QCOMPARE(m.baseline, int(y + 4));
    }
    if (!ticks.isEmpty())
        QCOMPARE(innerRows(marks, false), ticks);
    if (!ticks.isEmpty()) {
        Rows below;
        for (int t : ticks)
            below << t + 4;
        QCOMPARE(innerRows(marks, true), below);
    }

    const QImage axis = axisPicture(top, bottom, true);
    Rows expected{5};
    for (int t : innerRows(marks, false))
        expected << t;
    expected << 258;
    std::sort(expected.begin(), expected.end());
    QCOMPARE(tickRows(axis), expected);
    Rows baselines{9, 262};
    baselines << innerRows(marks, true);
    checkLabelInk(axis, baselines);
}

void TestColourBar::logarithmic_data()
{
    QTest::addColumn<double>("bottom");
    QTest::addColumn<double>("top");
    QTest::addColumn<int>("tickCount");
    QTest::addColumn<QList<double>>("labelled");
    QTest::addColumn<QList<double>>("someValues");
    QTest::addColumn<Rows>("someRows");

    QTest::newRow("1 to 1000: labels on the 1s only")
        << 1.0 << 1000.0 << 26 << QList<double>{10, 100} << QList<double>{2, 10, 100, 900}
        << Rows{232, 173, 89, 8};
    QTest::newRow("3.7 to 500: also the 2s and 5s")
        << 3.7 << 500.0 << 19 << QList<double>{5, 10, 20, 50, 100, 200} << QList<double>{4, 400}
        << Rows{};
    QTest::newRow("0.05 to 0.5") << 0.05 << 0.5 << 8 << QList<double>{0.1, 0.2} << QList<double>{}
                                 << Rows{};
}

void TestColourBar::logarithmic()
{
    QFETCH(double, bottom);
    QFETCH(double, top);
    QFETCH(int, tickCount);
    QFETCH(QList<double>, labelled);
    QFETCH(QList<double>, someValues);
    QFETCH(Rows, someRows);

    const QList<AxisMark> marks = axisMarks(top, bottom, 254, false);
    QCOMPARE(marks.size(), tickCount + 2);
    QList<double> values;
    QList<double> withLabel;
    for (qsizetype i = 2; i < marks.size(); ++i) {
        values << marks[i].value;
        if (marks[i].labelled)
            withLabel << marks[i].value;
    }
    QCOMPARE(withLabel, labelled);
    for (qsizetype i = 0; i < someValues.size(); ++i) {
        QVERIFY(values.contains(someValues[i]));
        if (!someRows.isEmpty())
            QCOMPARE(marks[2 + values.indexOf(someValues[i])].y, someRows[i]);
    }

    const QImage axis = axisPicture(top, bottom, false);
    Rows expected{5, 258};
    Rows baselines{9, 262};
    for (qsizetype i = 2; i < marks.size(); ++i) {
        if (!expected.contains(marks[i].y))
            expected << marks[i].y;
        if (marks[i].labelled)
            baselines << marks[i].baseline;
    }
    std::sort(expected.begin(), expected.end());
    QCOMPARE(tickRows(axis), expected);
    checkLabelInk(axis, baselines);
}

void TestColourBar::endsOnly_data()
{
    QTest::addColumn<double>("bottom");
    QTest::addColumn<double>("top");
    QTest::addColumn<bool>("linear");
    QTest::newRow("log, bottom 0") << 0.0 << 1000.0 << false;
    QTest::newRow("log, bottom below 0") << -5.0 << 1000.0 << false;
    QTest::newRow("reversed range") << 10.0 << 5.0 << true;
    QTest::newRow("empty range") << 10.0 << 10.0 << true;
    QTest::newRow("range too wide for a double") << -1e308 << 1e308 << true;
    QTest::newRow("log, bottom too small to format: 999 steps, no tick") << 1e-12 << 1.0 << false;
}

void TestColourBar::endsOnly()
{
    QFETCH(double, bottom);
    QFETCH(double, top);
    QFETCH(bool, linear);
    const QList<AxisMark> marks = axisMarks(top, bottom, 254, linear);
    QCOMPARE(marks.size(), 2);
    const QImage axis = axisPicture(top, bottom, linear);
    QCOMPARE(tickRows(axis), (Rows{5, 258}));
    checkLabelInk(axis, {9, 262});
}

void TestColourBar::labelsFitBesideTheRamp()
{
    // Of the 80 columns of the axis picture, the 59 left of the colour-bar picture's edge are
    // seen; labels start at 10.
    QFontMetrics metrics(pictureFont());
    QVERIFY(metrics.horizontalAdvance(Globals::StrPlus(65535)) <= 49);
    QVERIFY(metrics.horizontalAdvance(Globals::StrPlus(0.15)) <= 49);
}

void TestColourBar::layout()
{
    const ColorTable lut = ImageModel::windowTable(3, qRgb(250, 1, 2), qRgb(3, 4, 251));
    const QImage bar = colorBarPicture(lut, 1000, 0, false);
    QCOMPARE(bar.size(), QSize(80, 300));

    auto expected = [&](int x, int y) -> QRgb {
        if (x <= 19 && y <= 265) {
            const bool frame =
                x == 0 || x == 19 || y == 0 || y == 4 || y == 5 || y == 260 || y == 261 || y == 265;
            if (frame)
                return kBlack;
            if (y <= 3)
                return qRgb(250, 1, 2); // top cap: the high colour
            if (y >= 262)
                return qRgb(3, 4, 251); // bottom cap: the low colour
            return Globals::lut(3, 260 - y) | 0xFF000000u;
        }
        return 0; // not checked here
    };
    for (int y = 0; y < 300; ++y) {
        for (int x = 0; x <= 19; ++x) {
            if (y <= 265)
                QCOMPARE(bar.pixel(x, y), expected(x, y));
            else
                QCOMPARE(bar.pixel(x, y), kWhite);
        }
        QCOMPARE(bar.pixel(20, y), kWhite);
    }
    QCOMPARE(bar.pixel(5, 6), Globals::lut(3, 254) | 0xFF000000u);
    QCOMPARE(bar.pixel(5, 259), Globals::lut(3, 1) | 0xFF000000u);

    // The axis, one pixel lower: its top tick beside ramp row 6, its bottom one beside row 259.
    QImage axis = axisPicture(1000, 0, true);
    for (int y = 0; y < 299; ++y) {
        for (int x = 0; x < 59; ++x)
            QCOMPARE(bar.pixel(21 + x, 1 + y), axis.pixel(x, y));
    }
    QCOMPARE(bar.pixel(21, 6), kBlack);
    QCOMPARE(bar.pixel(21, 259), kBlack);
}

QTEST_MAIN(TestColourBar)
#include "tst_colourbar.moc"
