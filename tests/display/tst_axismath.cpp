#include "app/msgbox.h"
#include "display/axismath.h"

#include <QTest>
#include <cmath>

namespace {

QByteArray describe(double got, double expected)
{
    return QByteArray("got ") + QByteArray::number(got, 'g', 17) + " expected " +
           QByteArray::number(expected, 'g', 17);
}

} // namespace

class TestAxisMath : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void nextLogStep_data();
    void nextLogStep();
    void repeatedSteps_data();
    void repeatedSteps();
    void negativeSaysSomethingIsWrongOnce();
    void strPlus_data();
    void strPlus();
    void log10();

private:
    QStringList m_messages;
    MessageHandler m_previous;
};

void TestAxisMath::init()
{
    m_messages.clear();
    m_previous = setMessageHandler([this](const QString& t) { m_messages << t; });
}

void TestAxisMath::cleanup()
{
    setMessageHandler(m_previous);
}

void TestAxisMath::nextLogStep_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("expected");
    QTest::newRow("1 -> 2") << 1.0 << 2.0;
    QTest::newRow("3.7 -> 4") << 3.7 << 4.0;
    QTest::newRow("8 -> 9") << 8.0 << 9.0;
    QTest::newRow("9 carries to 10") << 9.0 << 10.0;
    QTest::newRow("25 -> 30") << 25.0 << 30.0;
    QTest::newRow("90 -> 100") << 90.0 << 100.0;
    QTest::newRow("99 -> 100") << 99.0 << 100.0;
    QTest::newRow("950 -> 1000") << 950.0 << 1000.0;
    QTest::newRow("1000 -> 2000") << 1000.0 << 2000.0;
    QTest::newRow("0.5 -> 0.6") << 0.5 << 0.6;
    QTest::newRow("0.9 carries across the point to 1") << 0.9 << 1.0;
    QTest::newRow("0.95 -> 1") << 0.95 << 1.0;
    QTest::newRow("0.09 -> 0.1") << 0.09 << 0.1;
    QTest::newRow("0.0095 -> 0.01") << 0.0095 << 0.01;
    QTest::newRow("nearest Double to 0.3 -> 0.4") << 0.3 << 0.4;
    QTest::newRow("only the leading digit counts: 2.5 -> 3") << 2.5 << 3.0;
    QTest::newRow("sum that misses 0.3 still -> 0.4") << 0.1 + 0.2 << 0.4;
    QTest::newRow("large value 123456789") << 123456789.0 << 200000000.0;
    QTest::newRow("0 has no significant digit") << 0.0 << 0.0;
    QTest::newRow("below ten decimals rounds to 0") << 4e-11 << 0.0;
}

void TestAxisMath::nextLogStep()
{
    QFETCH(double, value);
    QFETCH(double, expected);
    const double got = Globals::NextLogStep(value);
    QVERIFY2(got == expected, describe(got, expected));
    QCOMPARE(m_messages, QStringList());
}

void TestAxisMath::repeatedSteps_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<QList<double>>("expected");
    QTest::newRow("from 1") << 1.0 << QList<double>{2,  3,  4,  5,  6,  7,  8,  9,   10, 20,
                                                    30, 40, 50, 60, 70, 80, 90, 100, 200};
    QTest::newRow("from 0.05") << 0.05 << QList<double>{0.06, 0.07, 0.08, 0.09, 0.1, 0.2, 0.3, 0.4,
                                                        0.5,  0.6,  0.7,  0.8,  0.9, 1,   2,   3};
}

void TestAxisMath::repeatedSteps()
{
    QFETCH(double, start);
    QFETCH(QList<double>, expected);
    double v = start;
    for (double e : expected) {
        v = Globals::NextLogStep(v);
        QVERIFY2(v == e, describe(v, e));
    }
    QCOMPARE(m_messages, QStringList());
}

void TestAxisMath::negativeSaysSomethingIsWrongOnce()
{
    QCOMPARE(Globals::NextLogStep(-2), 0.0);
    QCOMPARE(m_messages, QStringList{"there is something wrong in NextLogStep"});
}

void TestAxisMath::strPlus_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero has a plus") << 0.0 << "+0";
    QTest::newRow("positive") << 12.5 << "+12.5";
    QTest::newRow("negative keeps its minus only") << -3.0 << "-3";
}

void TestAxisMath::strPlus()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(Globals::StrPlus(value), expected);
}

void TestAxisMath::log10()
{
    QCOMPARE(Globals::log10(1), 0.0);
    QVERIFY(std::abs(Globals::log10(1000) - 3) < 1e-12);
    QVERIFY(std::abs(Globals::log10(0.01) + 2) < 1e-12);
}

QTEST_GUILESS_MAIN(TestAxisMath)
#include "tst_axismath.moc"
