#include "app/msgbox.h"
#include "display/axismath.h"

#include <QTest>
#include <cmath>

class TestAxisMath : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void nextLogStep_data();
    void nextLogStep();
    void strPlusAndLog10();

private:
    QStringList m_messages;
};

void TestAxisMath::initTestCase()
{
    setMessageHandler([this](const QString& t) { m_messages << t; });
}

void TestAxisMath::nextLogStep_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<QList<double>>("steps"); // the values of repeated steps from start
    QTest::addColumn<QStringList>("messages");
    const auto row = [](const char* name, double start, QList<double> steps, QStringList m = {}) {
        QTest::newRow(name) << start << steps << m;
    };
    row("1", 1, {2});
    row("3.7", 3.7, {4});
    row("8", 8, {9});
    row("9 carries to 10", 9, {10});
    row("25", 25, {30});
    row("90", 90, {100});
    row("99", 99, {100});
    row("950", 950, {1000});
    row("1000", 1000, {2000});
    row("0.5", 0.5, {0.6});
    row("0.9 carries across the point", 0.9, {1});
    row("0.95", 0.95, {1});
    row("0.09", 0.09, {0.1});
    row("0.0095", 0.0095, {0.01});
    row("nearest double to 0.3", 0.3, {0.4});
    row("only the leading digit counts: 2.5", 2.5, {3});
    row("sum that misses 0.3", 0.1 + 0.2, {0.4});
    row("below ten decimals rounds to 0", 4e-11, {0});
    row("0 has no significant digit, no message", 0, {0});
    row("negative: 0 and the message once", -2, {0}, {"there is something wrong in NextLogStep"});
    row("repeated from 1", 1,
        {2, 3, 4, 5, 6, 7, 8, 9, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 200});
    row("repeated from 0.05", 0.05,
        {0.06, 0.07, 0.08, 0.09, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1, 2, 3});
}

void TestAxisMath::nextLogStep()
{
    QFETCH(double, start);
    QFETCH(QList<double>, steps);
    QFETCH(QStringList, messages);
    m_messages.clear();
    double v = start;
    for (double want : steps) {
        v = Globals::NextLogStep(v);
        // Exact: a step that lands near the value would show as 0.30000000000000004 on the axis.
        QVERIFY2(v == want,
                 qPrintable(QString("got %1, expected %2").arg(v, 0, 'g', 17).arg(want)));
    }
    QCOMPARE(m_messages, messages);
}

void TestAxisMath::strPlusAndLog10()
{
    QCOMPARE(Globals::StrPlus(0), "+0");
    QCOMPARE(Globals::StrPlus(12.5), "+12.5");
    QCOMPARE(Globals::StrPlus(-3), "-3");
    QCOMPARE(Globals::log10(1), 0.0);
    QVERIFY(std::abs(Globals::log10(1000) - 3) < 1e-12);
}

QTEST_GUILESS_MAIN(TestAxisMath)
#include "tst_axismath.moc"
