#include "colour/catalogue.h"
#include "colour/colorbarbutton.h"

#include <QSignalSpy>
#include <QTest>

class TestColorBarButton : public QObject
{
    Q_OBJECT

private slots:
    void looks_data();
    void looks();
    void pressAlwaysSelectsAndRaisesAction();
};

void TestColorBarButton::looks_data()
{
    QTest::addColumn<bool>("selected");
    QTest::addColumn<int>("left"); // columns of the bar
    QTest::addColumn<int>("right");
    QTest::newRow("selected") << true << 2 << 21;
    QTest::newRow("unselected") << false << 8 << 14;
}

// Rows 2 to 255 show entries 254 down to 1 of the table; entries 0 and 255 are never drawn.
// The selected look has a grey frame of two pixels; the unselected one is light grey around.
void TestColorBarButton::looks()
{
    QFETCH(bool, selected);
    QFETCH(int, left);
    QFETCH(int, right);
    for (int table : {0, 9}) {
        const QImage look =
            selected ? ColorBarButton::selectedLook(table) : ColorBarButton::unselectedLook(table);
        QCOMPARE(look.size(), QSize(24, 258));
        for (int y = 0; y < 258; ++y) {
            for (int x = 0; x < 24; ++x) {
                const bool bar = x >= left && x <= right && y >= 2 && y <= 255;
                const bool frame = x < 2 || x > 21 || y < 2 || y > 255;
                const QRgb expected = bar                 ? Globals::lut(table, 256 - y)
                                      : frame && selected ? 0x888888
                                                          : 0xD8D8D8;
                QCOMPARE(look.pixel(x, y) & 0xFFFFFF, expected & 0xFFFFFF);
            }
        }
    }
}

void TestColorBarButton::pressAlwaysSelectsAndRaisesAction()
{
    ColorBarButton b(9);
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    QVERIFY(!b.Value());
    QCOMPARE(b.shownPicture(), b.PictureUp());
    QSignalSpy action(&b, &ColorBarButton::Action);
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(12, 100));
    QCOMPARE(action.count(), 1);
    QVERIFY(b.Value());
    QCOMPARE(b.shownPicture(), b.PictureDown());
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(12, 100));
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(12, 100));
    QCOMPARE(action.count(), 2); // pressed again while selected
    QVERIFY(b.Value());
}

QTEST_MAIN(TestColorBarButton)
#include "tst_colorbarbutton.moc"
