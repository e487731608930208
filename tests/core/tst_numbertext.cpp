// The number texts and the value axis drawn from them. CTest runs this twice, under the C locale
// and under de_DE.UTF-8 (decimal comma): the results must be the same.
#include "core/render/colourbar.h"
#include "core/render/picturefont.h"
#include "core/text/layerlist.h"
#include "core/text/numbertext.h"

#include <QPainter>
#include <QTest>
#include <clocale>
#include <cmath>

using namespace isolumen;

using Rows = QMap<double, int>; // tick value -> row

class TestNumberText : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The application object has applied the environment's locale; say so explicitly.
        std::setlocale(LC_ALL, "");
        const QByteArray wanted = qgetenv("LC_ALL");
        const QByteArray point = std::localeconv()->decimal_point;
        qInfo("LC_ALL=%s: the C library's decimal point is \"%s\"", wanted.data(), point.data());
        if (wanted.startsWith("de_DE") && point != ",")
            QSKIP("The de_DE.UTF-8 locale is not installed, so the German run would show "
                  "nothing: scripts/setup.sh generates it.");
    }

    void layerList_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("layers"); // {-1}: refused
        QTest::addColumn<QString>("written");   // the layers written back
        QTest::newRow("single and range") << "3,7-9" << QList<int>{3, 7, 8, 9} << "3,7-9";
        QTest::newRow("unsorted, repeated, blanks")
            << " 9 , 2-3,3" << QList<int>{2, 3, 9} << "2,3,9";
        QTest::newRow("empty") << "" << QList<int>{} << "";
        QTest::newRow("layer 0") << "0,2" << QList<int>{-1} << "";
        QTest::newRow("backward range") << "5-3" << QList<int>{-1} << "";
        QTest::newRow("empty item") << "1,,2" << QList<int>{-1} << "";
        QTest::newRow("sign") << "+2" << QList<int>{-1} << "";
        QTest::newRow("three ends") << "1-2-3" << QList<int>{-1} << "";
        QTest::newRow("beyond any file") << "1-2000000000" << QList<int>{-1} << "";
    }

    void layerList()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, layers);
        QFETCH(QString, written);
        const std::optional<std::vector<int>> got = isolumen::parseLayerList(text);
        if (layers == QList<int>{-1}) {
            QVERIFY(!got);
            return;
        }
        QVERIFY(got);
        QCOMPARE(QList<int>(got->begin(), got->end()), layers);
        QCOMPARE(isolumen::layerListText(*got), written);
    }

    void format_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("pattern"); // -1: numberText, -2: signedNumberText
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, double v, int pattern, const char* text) {
            QTest::newRow(name) << v << pattern << QString(text);
        };
        const int one = int(NumberPattern::OneDecimal);
        const int grouped = int(NumberPattern::Grouped);
        row("one decimal rounds 0.96 up", 0.96, one, "1.0");
        row("one decimal, negative", -2.25001, one, "-2.3");
        row("not a number", NAN, one, "-");
        row("grouped beyond 32 bits", 4294968320.0, grouped, "4,294,968,320");
        row("grouped negative", -1234567.0, grouped, "-1,234,567");
        row("signed grouped", 1250.0, int(NumberPattern::SignedGrouped), "+1,250");
        row("ten decimals of 0.3", 0.3, int(NumberPattern::UpToTenDecimals), "0.3");
        row("a 32-bit sample", 4294967295.0, -1, "4294967295");
        row("negative zero", -0.0, -1, "0");
        row("rounding noise hidden", 0.1 + 0.05, -1, "0.15");
        row("signed zero", 0.0, -2, "+0");
        row("signed fraction", 12.5, -2, "+12.5");
    }

    void format()
    {
        QFETCH(double, value);
        QFETCH(int, pattern);
        QFETCH(QString, expected);
        QCOMPARE(pattern == -1   ? numberText(value)
                 : pattern == -2 ? signedNumberText(value)
                                 : formatNumber(value, NumberPattern(pattern)),
                 expected);
    }

    // A value as a field, the readout and a table show it, and as the colour bar labels it: six
    // significant digits at most, whole numbers whole, and the label inside the picture.
    void valueTexts_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("a ratio's maximum") << 2271.53065062053 << "2271.53";
        QTest::newRow("a small fraction") << 0.000123456789 << "0.000123457";
        QTest::newRow("a large count") << 1566440.0 << "1566440";
        QTest::newRow("below 0.0001") << 1e-7 << "1e-7";
        QTest::newRow("a negative fraction") << -0.0818334456 << "-0.0818334";
        QTest::newRow("beyond whole doubles") << 1.234567e20 << "1.23457e20";
        QTest::newRow("a long whole number") << 98765432109876.0 << "98765432109876";
    }

    void valueTexts()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(valueText(value), text);
        const double bottom = value > 0 ? 0 : 2 * value;
        const QList<AxisMark> marks = axisMarks(value, bottom, 254, true);
        QCOMPARE(marks.first().label, (value < 0 ? "" : "+") + text);
        // Drawn whole: nothing reaches the last columns of the picture, as a cut label would.
        QImage axis(80, 300, QImage::Format_RGB32);
        axis.fill(Qt::white);
        drawValueAxis(axis, value, bottom, 254, true);
        for (int y = 0; y < axis.height(); ++y) {
            for (int x = axis.width() - 2; x < axis.width(); ++x)
                QVERIFY2(axis.pixel(x, y) == qRgb(255, 255, 255),
                         qPrintable(QString("%1, %2").arg(x).arg(y)));
        }
        int drawn = 0; // the label is there
        for (int x = 10; x < axis.width(); ++x)
            drawn += axis.pixel(x, 8) != qRgb(255, 255, 255);
        QVERIFY(drawn > 0);
    }

    void leading_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("not a number") << "abc" << 0.0;
        QTest::newRow("leading number") << "  12abc" << 12.0;
        QTest::newRow("decimal point") << "2.5" << 2.5;
        QTest::newRow("a comma ends the number") << "0,5" << 0.0;
        QTest::newRow("negative fraction") << "-.5" << -0.5;
        QTest::newRow("plus sign and exponent") << "+2.5e3" << 2500.0;
        QTest::newRow("dangling exponent") << "3e" << 3.0;
        QTest::newRow("no infinity") << "inf" << 0.0;
        QTest::newRow("no hexadecimal") << "0x10" << 0.0;
        QTest::newRow("overflow gives 0") << "1e999" << 0.0;
    }

    void leading()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(leadingNumber(text), expected);
    }

    void logSteps_data()
    {
        QTest::addColumn<double>("start");
        QTest::addColumn<QList<double>>("steps"); // the values of repeated steps from start
        QTest::addColumn<bool>("malformed");
        const auto row = [](const char* name, double start, QList<double> steps, bool bad = false) {
            QTest::newRow(name) << start << steps << bad;
        };
        row("9 carries to 10", 9, {10});
        row("25: only the leading digit counts", 25, {30});
        row("950", 950, {1000});
        row("0.9 carries across the point", 0.9, {1});
        row("0.0095", 0.0095, {0.01});
        row("a sum that misses 0.3", 0.1 + 0.2, {0.4});
        row("below ten decimals: 0", 4e-11, {0});
        row("negative: 0, malformed", -2, {0}, true);
        row("repeated from 1", 1,
            {2, 3, 4, 5, 6, 7, 8, 9, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100});
        row("repeated from 0.05", 0.05,
            {0.06, 0.07, 0.08, 0.09, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1, 2});
    }

    void logSteps()
    {
        QFETCH(double, start);
        QFETCH(QList<double>, steps);
        QFETCH(bool, malformed);
        double v = start;
        bool bad = false;
        for (double want : steps) {
            v = nextLogStep(v, &bad);
            // Exact: a step near the value would show as 0.30000000000000004 on the axis.
            QVERIFY2(v == want,
                     qPrintable(QString("got %1, expected %2").arg(v, 0, 'g', 17).arg(want)));
        }
        QCOMPARE(bad, malformed);
    }

    void axis_data()
    {
        QTest::addColumn<double>("bottom");
        QTest::addColumn<double>("top");
        QTest::addColumn<bool>("linear");
        QTest::addColumn<QList<double>>("ticks");    // the inner ticks
        QTest::addColumn<QList<double>>("labelled"); // inner labels of a log axis (linear: all)
        QTest::addColumn<Rows>("rows");              // rows of some ticks, worked out by hand
        const auto row = [](const char* name, double bottom, double top, bool linear,
                            QList<double> ticks, QList<double> labelled = {}, Rows rows = {}) {
            QTest::newRow(name) << bottom << top << linear << ticks << labelled << rows;
        };
        QList<double> thousands, logTicks;
        for (int v = 5000; v <= 60000; v += 5000)
            thousands << v;
        for (double p = 1; p < 1000; p *= 10) {
            for (int d = p == 1 ? 2 : 1; d <= 9; ++d)
                logTicks << d * p;
        }
        row("0 to 1000, step 100", 0, 1000, true, {100, 200, 300, 400, 500, 600, 700, 800, 900}, {},
            {{100, 232}, {200, 207}, {500, 131}, {900, 30}});
        row("0 to 65535, step 5000", 0, 65535, true, thousands, {}, {{5000, 238}, {60000, 26}});
        row("0.1 to 0.8, step 0.05", 0.1, 0.8, true,
            {0.15, 0.2, 0.25, 0.3, 0.35, 0.4, 0.45, 0.5, 0.55, 0.6, 0.65, 0.7, 0.75});
        row("negative bottom", -300, 300, true,
            {-250, -200, -150, -100, -50, 0, 50, 100, 150, 200, 250});
        row("log 1 to 1000: labels on the 1s only", 1, 1000, false, logTicks, {10, 100},
            {{2, 232}, {10, 173}, {100, 89}, {900, 8}});
        row("log 3.7 to 500: also on the 2s and 5s", 3.7, 500, false, logTicks.mid(2, 19),
            {5, 10, 20, 50, 100, 200});
        row("log 0.5 to 2.5", 0.5, 2.5, false, {0.6, 0.7, 0.8, 0.9, 1, 2}, {1, 2}, {{1, 149}});
        row("log, bottom 0: the ends only", 0, 1000, false, {});
        row("log, bottom that formats as 0: 999 steps, no tick", 1e-12, 1, false, {});
        row("reversed range", 10, 5, true, {});
        row("range too wide for a double", -1e308, 1e308, true, {});
    }

    // The axis against one drawn here: a tick as a 5-pixel row at y(v) truncated, y(v) being 253
    // - (v's distance from the bottom, linear or in decimal logarithms) / (range per pixel) + 5;
    // a label signedValueText(v) from x = 10 on baseline y(v) + 4; the ends at rows 5 and 258.
    void axis()
    {
        QFETCH(double, bottom);
        QFETCH(double, top);
        QFETCH(bool, linear);
        QFETCH(QList<double>, ticks);
        QFETCH(QList<double>, labelled);
        QFETCH(Rows, rows);
        QStringList gotValues, wantValues; // as the labels show them: no rounding noise
        for (const AxisMark& m : axisMarks(top, bottom, 254, linear))
            gotValues << signedValueText(m.value);
        for (double v : QList<double>({top, bottom}) + ticks)
            wantValues << signedValueText(v);
        QCOMPARE(gotValues, wantValues);

        QImage want(80, 300, QImage::Format_RGB32);
        want.fill(Qt::white);
        QImage got = want;
        QPainter p(&want);
        p.setFont(pictureFont(kAxisTextSize));
        const auto mark = [&](double v, double y, bool label) {
            p.fillRect(0, int(y), 5, 1, Qt::black);
            if (label)
                p.drawText(QPoint(10, int(y + 4)), signedValueText(v));
        };
        mark(top, 5, true);
        mark(bottom, 258, true);
        const auto scale = [linear](double v) { return linear ? v : std::log10(v); };
        const double perPixel = (scale(top) - scale(bottom)) / 253;
        for (double v : ticks) {
            const double y = 253 - (scale(v) - scale(bottom)) / perPixel + 5;
            mark(v, y, linear || labelled.contains(v));
            if (rows.contains(v))
                QCOMPARE(int(y), rows.value(v));
        }
        p.end();
        drawValueAxis(got, top, bottom, 254, linear);
        QCOMPARE(got, want);
    }
};

QTEST_MAIN(TestNumberText)
#include "tst_numbertext.moc"
