#include "colour/catalogue.h"
#include "colour/colorbarbutton.h"

#include <QSignalSpy>
#include <QTest>

namespace {

QRgb rgb(const QImage& p, int x, int y)
{
    return p.pixel(x, y) & 0xFFFFFF;
}

QRgb entry(int table, int j)
{
    return Globals::lut(table, j) & 0xFFFFFF;
}

} // namespace

class TestColorBarButton : public QObject
{
    Q_OBJECT

private slots:
    void looks_data();
    void looks();
    void pressAlwaysSelectsAndRaisesAction();
    void shownLookFollowsValue();
};

void TestColorBarButton::looks_data()
{
    QTest::addColumn<int>("table");
    for (int t : {0, 3, 9, 19})
        QTest::addRow("%s", qPrintable(Globals::lutname(t))) << t;
}

void TestColorBarButton::looks()
{
    QFETCH(int, table);
    const QImage down = ColorBarButton::selectedLook(table);
    const QImage up = ColorBarButton::unselectedLook(table);
    QCOMPARE(down.size(), QSize(24, 258));
    QCOMPARE(up.size(), QSize(24, 258));

    // Rows 2 to 255 show entries 254 down to 1; entries 0 and 255 are never drawn.
    for (int y = 2; y <= 255; ++y) {
        for (int x = 2; x <= 21; ++x)
            QCOMPARE(rgb(down, x, y), entry(table, 256 - y));
        for (int x = 8; x <= 14; ++x)
            QCOMPARE(rgb(up, x, y), entry(table, 256 - y));
        for (int x : {0, 1, 7, 15, 23})
            QCOMPARE(rgb(up, x, y), QRgb(0xD8D8D8));
    }
    QCOMPARE(rgb(down, 10, 2), entry(table, 254));
    QCOMPARE(rgb(down, 10, 255), entry(table, 1));

    // The selected look's two outermost rows and columns are the grey frame.
    for (int x = 0; x < 24; ++x) {
        for (int y : {0, 1, 256, 257})
            QCOMPARE(rgb(down, x, y), QRgb(0x888888));
    }
    for (int y = 0; y < 258; ++y) {
        for (int x : {0, 1, 22, 23})
            QCOMPARE(rgb(down, x, y), QRgb(0x888888));
    }
    // The unselected look has no frame: its corners are the light grey ground.
    QCOMPARE(rgb(up, 0, 0), QRgb(0xD8D8D8));
    QCOMPARE(rgb(up, 11, 1), QRgb(0xD8D8D8));
    QCOMPARE(rgb(up, 11, 256), QRgb(0xD8D8D8));
}

void TestColorBarButton::pressAlwaysSelectsAndRaisesAction()
{
    ColorBarButton b(9);
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    QVERIFY(!b.Value()); // a new button is unselected
    QSignalSpy action(&b, &ColorBarButton::Action);
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(12, 100));
    QCOMPARE(action.count(), 1);
    QVERIFY(b.Value());
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(12, 100));
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(12, 100));
    QCOMPARE(action.count(), 2); // pressed again while selected
    QVERIFY(b.Value());
}

void TestColorBarButton::shownLookFollowsValue()
{
    ColorBarButton b(4);
    QCOMPARE(b.shownPicture(), b.PictureUp());
    b.setValue(true);
    QCOMPARE(b.shownPicture(), b.PictureDown());
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    QCOMPARE(b.grab().toImage().convertToFormat(QImage::Format_RGB32).pixel(10, 2),
             b.PictureDown().pixel(10, 2));
    b.setValue(false);
    QCOMPARE(b.shownPicture(), b.PictureUp());
}

QTEST_MAIN(TestColorBarButton)
#include "tst_colorbarbutton.moc"
