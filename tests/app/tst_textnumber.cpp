#include "app/globals.h"
#include "app/msgbox.h"
#include "app/textnumber.h"

#include <QTest>
#include <limits>

class TestTextNumber : public QObject
{
    Q_OBJECT

private slots:
    void format_data();
    void format();
    void str_data();
    void str();
    void val_data();
    void val();
    void nthField();
    void sansSerifChoice_data();
    void sansSerifChoice();
    void defaultImagePositions_data();
    void defaultImagePositions();
    void messageSeam();
};

void TestTextNumber::format_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("pattern");
    QTest::addColumn<QString>("expected");
    const int one = int(NumberPattern::OneDecimal);
    const int grouped = int(NumberPattern::Grouped);
    const int signedGrouped = int(NumberPattern::SignedGrouped);
    const int ten = int(NumberPattern::UpToTenDecimals);
    QTest::newRow("one decimal rounds 12.34") << 12.34 << one << "12.3";
    QTest::newRow("one decimal rounds up 0.96") << 0.96 << one << "1.0";
    QTest::newRow("one decimal of a whole number") << 20.0 << one << "20.0";
    QTest::newRow("one decimal negative") << -2.25001 << one << "-2.3";
    QTest::newRow("one decimal of not-a-number")
        << std::numeric_limits<double>::quiet_NaN() << one << "-";
    QTest::newRow("grouped millions") << 2622440.0 << grouped << "2,622,440";
    QTest::newRow("grouped below a thousand") << 999.0 << grouped << "999";
    QTest::newRow("grouped zero") << 0.0 << grouped << "0";
    QTest::newRow("grouped beyond 32 bits") << 4294968320.0 << grouped << "4,294,968,320";
    QTest::newRow("grouped negative") << -1234567.0 << grouped << "-1,234,567";
    QTest::newRow("signed positive") << 1250.0 << signedGrouped << "+1,250";
    QTest::newRow("signed negative") << -3370.0 << signedGrouped << "-3,370";
    QTest::newRow("signed zero") << 0.0 << signedGrouped << "+0";
    QTest::newRow("ten decimals near 0.3") << 0.3 << ten << "0.3";
    QTest::newRow("ten decimals 25") << 25.0 << ten << "25";
    QTest::newRow("ten decimals 0.09") << 0.09 << ten << "0.09";
    QTest::newRow("ten decimals rounds tiny to zero") << 4e-11 << ten << "0";
    QTest::newRow("ten decimals 0.0095") << 0.0095 << ten << "0.0095";
}

void TestTextNumber::format()
{
    QFETCH(double, value);
    QFETCH(int, pattern);
    QFETCH(QString, expected);
    QCOMPARE(Format(value, NumberPattern(pattern)), expected);
}

void TestTextNumber::str_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("whole") << 65535.0 << "65535";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("fraction") << 12.5 << "12.5";
    QTest::newRow("negative") << -3.0 << "-3";
    QTest::newRow("a million, no exponent") << 1e6 << "1000000";
    QTest::newRow("32-bit sample") << 4294967295.0 << "4294967295";
    QTest::newRow("rounding noise hidden") << 0.1 + 0.05 << "0.15";
}

void TestTextNumber::str()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(Str(value), expected);
}

void TestTextNumber::val_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("integer") << "5" << 5.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("not a number") << "abc" << 0.0;
    QTest::newRow("leading number") << "12abc" << 12.0;
    QTest::newRow("leading blanks") << "  7" << 7.0;
    QTest::newRow("negative fraction") << "-2.5" << -2.5;
    QTest::newRow("point first") << ".5" << 0.5;
    QTest::newRow("exponent") << "1e3" << 1000.0;
    QTest::newRow("dangling exponent") << "3e" << 3.0;
    QTest::newRow("no infinity") << "inf" << 0.0;
    QTest::newRow("no hexadecimal") << "0x10" << 0.0;
    QTest::newRow("overflow gives 0") << "1e999" << 0.0;
    QTest::newRow("round trip of Str") << Str(0.15) << 0.15;
}

void TestTextNumber::val()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(Val(text), expected);
}

void TestTextNumber::nthField()
{
    QCOMPARE(NthField("05.03.07", ".", 1), QString("05"));
    QCOMPARE(NthField("05.03.07", ".", 3), QString("07"));
    QCOMPARE(NthField("05.03.07", ".", 4), QString());
    QCOMPARE(NthField("05.03.07", ".", 0), QString());
    QCOMPARE(NthField("a,,b", ",", 2), QString());
    QCOMPARE(NthField("a,,b", ",", 3), QString("b"));
}

void TestTextNumber::sansSerifChoice_data()
{
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first preferred") << QStringList{"Arial", "Geneva"} << "DejaVu Sans"
                                     << "Geneva";
    QTest::newRow("Geneva missing, Arial present") << QStringList{"Verdana", "Arial"} << ""
                                                   << "Arial";
    QTest::newRow("usual Linux desktop: platform's own")
        << QStringList{"DejaVu Serif", "DejaVu Sans"} << "DejaVu Sans"
        << "DejaVu Sans";
    QTest::newRow("platform name unknown: any installed")
        << QStringList{"Liberation Sans"} << "Nonexistent"
        << "Liberation Sans";
    QTest::newRow("no font at all") << QStringList{} << "DejaVu Sans"
                                    << "";
}

void TestTextNumber::sansSerifChoice()
{
    QFETCH(QStringList, installed);
    QFETCH(QString, platform);
    QFETCH(QString, expected);
    QCOMPARE(Globals::chooseSansSerif(installed, platform), expected);
}

void TestTextNumber::defaultImagePositions_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QList<int>>("left");
    QTest::addColumn<int>("top0");
    QTest::addColumn<int>("top4");
    QTest::newRow("1280 wide") << QRect(0, 22, 1280, 800) << QList<int>{316, 557, 798, 1039} << 22
                               << 337;
    QTest::newRow("2560 wide, step capped")
        << QRect(0, 0, 2560, 1400) << QList<int>{316, 691, 1066, 1441} << 0 << 315;
}

void TestTextNumber::defaultImagePositions()
{
    QFETCH(QRect, available);
    QFETCH(QList<int>, left);
    QFETCH(int, top0);
    QFETCH(int, top4);
    const Globals::ImagePositions p = Globals::defaultImagePositions(available, 316);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(p.left[i], left[i]);
        QCOMPARE(p.left[i + 4], left[i]);
        QCOMPARE(p.top[i], top0);
        QCOMPARE(p.top[i + 4], top4);
    }
}

void TestTextNumber::messageSeam()
{
    QStringList seen;
    const MessageHandler previous = setMessageHandler([&](const QString& t) { seen << t; });
    MsgBox("one");
    MsgBox("two");
    setMessageHandler(previous);
    QCOMPARE(seen, QStringList({"one", "two"}));
}

QTEST_GUILESS_MAIN(TestTextNumber)
#include "tst_textnumber.moc"
