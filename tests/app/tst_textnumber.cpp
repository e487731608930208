#include "app/globals.h"
#include "app/msgbox.h"
#include "app/textnumber.h"

#include <QTest>
#include <limits>

class TestTextNumber : public QObject
{
    Q_OBJECT

private slots:
    // Str and the four Format patterns; pattern -1 stands for Str.
    void format_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("pattern");
        QTest::addColumn<QString>("expected");
        const int str = -1;
        const int one = int(NumberPattern::OneDecimal);
        const int grouped = int(NumberPattern::Grouped);
        const int signedGrouped = int(NumberPattern::SignedGrouped);
        const int ten = int(NumberPattern::UpToTenDecimals);
        QTest::newRow("one decimal rounds up 0.96") << 0.96 << one << "1.0";
        QTest::newRow("one decimal negative") << -2.25001 << one << "-2.3";
        QTest::newRow("not-a-number") << std::numeric_limits<double>::quiet_NaN() << one << "-";
        QTest::newRow("grouped beyond 32 bits") << 4294968320.0 << grouped << "4,294,968,320";
        QTest::newRow("grouped negative") << -1234567.0 << grouped << "-1,234,567";
        QTest::newRow("signed positive") << 1250.0 << signedGrouped << "+1,250";
        QTest::newRow("signed zero") << 0.0 << signedGrouped << "+0";
        QTest::newRow("ten decimals near 0.3") << 0.3 << ten << "0.3";
        QTest::newRow("ten decimals rounds tiny to zero") << 4e-11 << ten << "0";
        QTest::newRow("Str of a 32-bit sample") << 4294967295.0 << str << "4294967295";
        QTest::newRow("Str of negative zero") << -0.0 << str << "0";
        QTest::newRow("Str hides rounding noise") << 0.1 + 0.05 << str << "0.15";
    }

    void format()
    {
        QFETCH(double, value);
        QFETCH(int, pattern);
        QFETCH(QString, expected);
        QCOMPARE(pattern < 0 ? Str(value) : Format(value, NumberPattern(pattern)), expected);
    }

    void val_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("not a number") << "abc" << 0.0;
        QTest::newRow("leading number") << "  12abc" << 12.0;
        QTest::newRow("negative fraction") << "-.5" << -0.5;
        QTest::newRow("exponent") << "1e3" << 1000.0;
        QTest::newRow("dangling exponent") << "3e" << 3.0;
        QTest::newRow("no infinity") << "inf" << 0.0;
        QTest::newRow("no hexadecimal") << "0x10" << 0.0;
        QTest::newRow("overflow gives 0") << "1e999" << 0.0;
    }

    void val()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(Val(text), expected);
    }

    void nthField()
    {
        QCOMPARE(NthField("05.03.07", ".", 3), QString("07"));
        QCOMPARE(NthField("05.03.07", ".", 4), QString());
        QCOMPARE(NthField("05.03.07", ".", 0), QString());
        QCOMPARE(NthField("a,,b", ",", 2), QString());
    }

    void sansSerifChoice_data()
    {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Geneva missing, Arial present") << QStringList{"Verdana", "Arial"} << ""
                                                       << "Arial";
        QTest::newRow("Linux desktop: platform's own")
            << QStringList{"DejaVu Serif", "DejaVu Sans"} << "DejaVu Sans"
            << "DejaVu Sans";
        QTest::newRow("no font at all") << QStringList{} << "DejaVu Sans"
                                        << "";
    }

    void sansSerifChoice()
    {
        QFETCH(QStringList, installed);
        QFETCH(QString, platform);
        QFETCH(QString, expected);
        QCOMPARE(Globals::chooseSansSerif(installed, platform), expected);
    }

    void defaultImagePositions()
    {
        // Two rows of four beside the 316 wide main window; the column step is capped on wide
        // screens.
        const Globals::ImagePositions narrow =
            Globals::defaultImagePositions({0, 22, 1280, 800}, 316);
        const Globals::ImagePositions wide =
            Globals::defaultImagePositions({0, 0, 2560, 1400}, 316);
        const QList<int> narrowLefts{316, 557, 798, 1039};
        const QList<int> wideLefts{316, 691, 1066, 1441};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(narrow.left[i], narrowLefts[i]);
            QCOMPARE(narrow.left[i + 4], narrowLefts[i]);
            QCOMPARE(wide.left[i + 4], wideLefts[i]);
            QCOMPARE(narrow.top[i], 22);
            QCOMPARE(narrow.top[i + 4], 337);
            QCOMPARE(wide.top[i + 4], 315);
        }
    }

    void messageSeam()
    {
        QStringList seen;
        const MessageHandler previous = setMessageHandler([&](const QString& t) { seen << t; });
        MsgBox("one");
        MsgBox("two");
        setMessageHandler(previous);
        QCOMPARE(seen, QStringList({"one", "two"}));
    }
};

QTEST_GUILESS_MAIN(TestTextNumber)
#include "tst_textnumber.moc"
