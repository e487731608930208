#include "app/dialogs.h"
#include "app/msgbox.h"
#include "colour/colorbarbutton.h"
#include "colour/colorselector.h"
#include "display/canvas.h"
#include "display/imagewindow.h"
#include "mainwindow/mainwindow.h"
#include "windowtesting.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr QRgb black = 0x000000;
constexpr QRgb gray = 0x999999;
constexpr QRgb white = 0xFFFFFF;

// Three species of 64 x 64 samples from 0 to 253: the display range maps sample v to entry v + 1.
const ImBuilder file = WindowTesting::patternFile(3, 1, 64);

QRgb entry(int table, int k)
{
    return Globals::lut(table, k) & 0xFFFFFF;
}

// Redraws so far: every colour update of an image window writes one such line.
int redraws()
{
    return int(WindowTesting::historyLines().count(WindowTesting::drawLine));
}

// First difference between a window's own table, caption and picture and catalogue table
// `table` with the given caps, or empty. The picture is worked out from the file's samples.
QString mismatch(const ImageWindow* w, int table, QRgb hi, QRgb lo)
{
    const ImageModel& m = w->model();
    if (m.MyLUTnumber != table)
        return QStringLiteral("MyLUTnumber %1, expected %2").arg(m.MyLUTnumber).arg(table);
    for (int k = 0; k < 256; ++k) {
        if ((m.MyLUT[k] & 0xFFFFFF) != (k == 0 ? lo : k == 255 ? hi : entry(table, k)))
            return QStringLiteral("MyLUT(%1)").arg(k);
    }
    if (w->ColorButton()->text() != QStringLiteral("Color T: %1").arg(table + 1))
        return QStringLiteral("colour button reads \"%1\"").arg(w->ColorButton()->text());
    const QImage& picture = w->ImageCanvas()->backdrop();
    for (int r = 0; r < 64; ++r) {
        for (int k = 0; k < 64; ++k) {
            if ((picture.pixel(64 - k, r + 1) & 0xFFFFFF) !=
                entry(table, int(file.sample(w->IDnumber + 1, 1, r, k)) + 1))
                return QStringLiteral("pixel (%1, %2)").arg(64 - k).arg(r + 1);
        }
    }
    return {};
}

QRgb swatchColour(QWidget* swatch)
{
    return swatch->grab().toImage().pixel(swatch->rect().center()) & 0xFFFFFF;
}

} // namespace

#define VERIFY_COLOURS(w, table, hi, lo)                                                           \
    do {                                                                                           \
        const QString m = mismatch(w, table, hi, lo);                                              \
        QVERIFY2(m.isEmpty(), qPrintable(m));                                                      \
    } while (false)

class TestColorSelector : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void openAndChooseTable();
    void applyToAllSendsEverything();
    void currentWindowClosed();
    void sameAsMaxColor();
    void picker();
    void setDefault_data();
    void setDefault();
    void returnCloses_data();
    void returnCloses();
    void windowClosingDuringUpdate();

private:
    ImageWindow* openWindow(int species);
    ColorSelector* openSelectorFrom(ImageWindow* w);

    QTemporaryDir m_dir;
    QPointer<Main> m_main;
    QStringList m_messages;
    QList<std::pair<QRgb, QString>> m_pickerCalls; // initial colour, prompt
    std::optional<QRgb> m_pickerAnswer;
};

void TestColorSelector::initTestCase()
{
    QVERIFY(file.write(m_dir.filePath("three.im")));
    setMessageHandler([this](const QString& text) { m_messages << text; });
    Dialogs::setSelectColor([this](QWidget* parent, QRgb initial, const QString& prompt) {
        if (parent == ColorSelector::existing())
            m_pickerCalls.append({initial, prompt});
        return m_pickerAnswer;
    });
}

void TestColorSelector::init()
{
    m_messages.clear();
    m_pickerCalls.clear();
    m_pickerAnswer.reset();
    m_main = Main::instance();
    QVERIFY(QTest::qWaitForWindowExposed(m_main));
    m_main->OpenImage(m_dir.filePath("three.im"));
}

void TestColorSelector::cleanup()
{
    // Closing the main window closes every other open window, the selector too.
    if (m_main)
        m_main->close();
    QTRY_VERIFY(m_main.isNull());
    QTRY_VERIFY(Main::imageWindows().isEmpty());
    QTRY_VERIFY(!ColorSelector::existing());
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('\n')));
}

ImageWindow* TestColorSelector::openWindow(int species)
{
    QTest::mouseClick(m_main->ButtonSpecies(species), Qt::LeftButton);
    for (ImageWindow* w : Main::imageWindows()) {
        if (w->IDnumber == species)
            return w;
    }
    return nullptr;
}

ColorSelector* TestColorSelector::openSelectorFrom(ImageWindow* w)
{
    QTest::mouseClick(w->ColorButton(), Qt::LeftButton);
    ColorSelector* selector = ColorSelector::existing();
    return selector && QTest::qWaitForWindowExposed(selector) ? selector : nullptr;
}

void TestColorSelector::openAndChooseTable()
{
    ImageWindow* first = openWindow(0);
    ImageWindow* third = openWindow(2);
    third->SetColors(4, 0x010203, 0x040506);
    // Targeted at another window first, with "All" chosen there.
    ColorSelector* selector = openSelectorFrom(first);
    QVERIFY(selector);
    QTest::mouseClick(selector->All(), Qt::LeftButton);

    QCOMPARE(openSelectorFrom(third), selector); // the same selector, retargeted
    QCOMPARE(selector->CalledFrom(), 2);
    QCOMPARE(selector->OnlyCurrent()->text(), "Only Current Window: 14N");
    QVERIFY(selector->OnlyCurrent()->isChecked());
    QCOMPARE(selector->CTname()->text(), "05 Earth-Land Tones  ");
    for (int k = 0; k < 20; ++k)
        QCOMPARE(selector->colorBarButton(k)->Value(), k == 4);
    QCOMPARE(swatchColour(selector->HiColorDisp()), QRgb(0x010203));
    QCOMPARE(swatchColour(selector->LoColorDisp()), QRgb(0x040506));
    VERIFY_COLOURS(first, 9, white, gray); // loading the selector sends nothing
    const int before = redraws();

    QTest::mousePress(selector->colorBarButton(0), Qt::LeftButton);
    QCOMPARE(selector->CTname()->text(), "01 Hot Metal  ");
    for (int k = 0; k < 20; ++k)
        QCOMPARE(selector->colorBarButton(k)->Value(), k == 0);
    QCOMPARE(third->ColorButton()->text(), "Color T: 1");
    VERIFY_COLOURS(third, 0, 0x010203, 0x040506);
    QCOMPARE(redraws(), before + 1);
    VERIFY_COLOURS(first, 9, white, gray); // the other window keeps its colours
    // Pressing the chosen bar again sends again.
    QTest::mousePress(selector->colorBarButton(0), Qt::LeftButton);
    QCOMPARE(redraws(), before + 2);
}

void TestColorSelector::applyToAllSendsEverything()
{
    QList<ImageWindow*> windows{openWindow(0), openWindow(1), openWindow(2)};
    ColorSelector* selector = openSelectorFrom(windows[1]);
    QVERIFY(selector);
    QTest::mousePress(selector->colorBarButton(5), Qt::LeftButton);
    QTest::mousePress(selector->button("LoBlack"), Qt::LeftButton);
    VERIFY_COLOURS(windows[0], 9, white, gray);

    const int before = redraws();
    QTest::mouseClick(selector->All(), Qt::LeftButton);
    QCOMPARE(redraws(), before); // choosing where to apply sends nothing
    QTest::mousePress(selector->button("HiWhite"), Qt::LeftButton);
    QCOMPARE(redraws(), before + 3); // once each
    for (const ImageWindow* w : windows)
        VERIFY_COLOURS(w, 5, white, black);
}

void TestColorSelector::currentWindowClosed()
{
    ImageWindow* first = openWindow(0);
    QPointer<ImageWindow> third = openWindow(2);
    ColorSelector* selector = openSelectorFrom(third);
    QVERIFY(selector);
    third->close();
    const int before = redraws();

    QTest::mousePress(selector->colorBarButton(3), Qt::LeftButton);
    QTest::mousePress(selector->button("HiBlack"), Qt::LeftButton);
    QTest::mouseClick(selector->button("SetDefault"), Qt::LeftButton);
    QTest::mousePress(selector->colorBarButton(7), Qt::LeftButton);
    QTRY_VERIFY(third.isNull());
    QTest::mousePress(selector->button("LoBlack"), Qt::LeftButton);

    QCOMPARE(selector->CTname()->text(), Globals::lutname(7) + "  ");
    QCOMPARE(selector->LoColor(), black);
    QCOMPARE(redraws(), before);
    VERIFY_COLOURS(first, 9, white, gray);
}

void TestColorSelector::sameAsMaxColor()
{
    ImageWindow* w = openWindow(1);
    w->SetColors(9, 0x123456, 0x654321);
    ColorSelector* selector = openSelectorFrom(w);
    QVERIFY(selector);
    const int before = redraws();

    // It acts on the press; no release follows.
    QTest::mousePress(selector->button("HiSame"), Qt::LeftButton);
    QCOMPARE(swatchColour(selector->HiColorDisp()), QRgb(0xFF0000)); // top of "10 Rainbow"
    VERIFY_COLOURS(w, 9, 0xFF0000, 0x654321);
    QCOMPARE(redraws(), before + 1);
    // The colour was copied once: another table leaves it as it is.
    QTest::mousePress(selector->colorBarButton(0), Qt::LeftButton);
    VERIFY_COLOURS(w, 0, 0xFF0000, 0x654321);
}

// The swatches open the colour picker: a cancelled one changes and sends nothing, a confirmed
// one changes the colour and sends it.
void TestColorSelector::picker()
{
    ImageWindow* w = openWindow(0);
    w->SetColors(2, 0x123456, 0x654321);
    ColorSelector* selector = openSelectorFrom(w);
    QVERIFY(selector);
    const int before = redraws();

    QTest::mousePress(selector->HiColorDisp(), Qt::LeftButton);
    QCOMPARE(swatchColour(selector->HiColorDisp()), QRgb(0x123456));
    QCOMPARE(redraws(), before);
    m_pickerAnswer = 0x336699;
    QTest::mousePress(selector->LoColorDisp(), Qt::LeftButton);
    QCOMPARE(swatchColour(selector->LoColorDisp()), QRgb(0x336699));
    QCOMPARE(redraws(), before + 1);
    VERIFY_COLOURS(w, 2, 0x123456, 0x336699);
    QCOMPARE(m_pickerCalls, (QList<std::pair<QRgb, QString>>{{0x123456, "Select Hi Color"},
                                                             {0x654321, "Select Lo Color"}}));
}

void TestColorSelector::setDefault_data()
{
    QTest::addColumn<bool>("all");
    QTest::newRow("only current") << false;
    QTest::newRow("all open image windows") << true;
}

void TestColorSelector::setDefault()
{
    QFETCH(bool, all);
    ImageWindow* first = openWindow(0);
    ImageWindow* third = openWindow(2);
    first->SetColors(4, black, white);
    third->SetColors(4, black, white);
    ColorSelector* selector = openSelectorFrom(third);
    QVERIFY(selector);
    if (all)
        QTest::mouseClick(selector->All(), Qt::LeftButton);
    const int before = redraws();

    QTest::mouseClick(selector->button("SetDefault"), Qt::LeftButton);

    QCOMPARE(selector->CTname()->text(), "10 Rainbow  ");
    for (int k = 0; k < 20; ++k)
        QCOMPARE(selector->colorBarButton(k)->Value(), k == 9);
    QCOMPARE(swatchColour(selector->HiColorDisp()), white);
    QCOMPARE(swatchColour(selector->LoColorDisp()), gray);
    QCOMPARE(redraws(), before + (all ? 2 : 1)); // one update, once each
    VERIFY_COLOURS(third, 9, white, gray);
    if (all)
        VERIFY_COLOURS(first, 9, white, gray);
    else
        VERIFY_COLOURS(first, 4, black, white);
}

void TestColorSelector::returnCloses_data()
{
    QTest::addColumn<bool>("afterColourButton");
    QTest::newRow("Return") << false;
    // The pressed button takes the focus; Return still means "Close".
    QTest::newRow("Return after a colour button") << true;
}

void TestColorSelector::returnCloses()
{
    QFETCH(bool, afterColourButton);
    ImageWindow* first = openWindow(0);
    ImageWindow* second = openWindow(1);
    QPointer<ColorSelector> selector = openSelectorFrom(first);
    QVERIFY(selector);
    QVERIFY(QTest::qWaitForWindowActive(selector));
    QTest::mousePress(selector->colorBarButton(6), Qt::LeftButton);
    if (afterColourButton)
        QTest::mouseClick(selector->button("LoBlack"), Qt::LeftButton);
    const int before = redraws();

    QWidget* focus = selector->focusWidget();
    QTest::keyClick(focus ? focus : selector.data(), Qt::Key_Return);
    QTRY_VERIFY(selector.isNull());
    QCOMPARE(redraws(), before);
    QCOMPARE(first->model().MyLUTnumber, 6); // the window keeps what was sent

    // The next request makes a new selector, loaded from the asking window.
    ColorSelector* next = openSelectorFrom(second);
    QVERIFY(next);
    QCOMPARE(next->CalledFrom(), 1);
    QCOMPARE(next->CT(), 9);
}

// Regression: a window that closed while an update to all windows was under way is skipped.
void TestColorSelector::windowClosingDuringUpdate()
{
    QList<QPointer<ImageWindow>> windows{openWindow(0), openWindow(1), openWindow(2)};
    ColorSelector* selector = openSelectorFrom(windows[0]);
    QVERIFY(selector);
    QTest::mouseClick(selector->All(), Qt::LeftButton);

    // While the first window redraws, a window not yet updated closes.
    QPointer<ImageWindow> closed;
    int lines = 0;
    const QMetaObject::Connection hook = connect(TextListWindow::existing()->ListBox1()->model(),
                                                 &QAbstractItemModel::rowsInserted, this, [&] {
                                                     if (++lines > 1 || closed)
                                                         return;
                                                     for (ImageWindow* w : Main::imageWindows()) {
                                                         if (w->model().MyLUTnumber != 11) {
                                                             closed = w;
                                                             w->close();
                                                             return;
                                                         }
                                                     }
                                                 });
    QTest::mousePress(selector->colorBarButton(11), Qt::LeftButton);
    disconnect(hook);

    QVERIFY(closed);
    QCOMPARE(lines, 2); // the two open windows, once each
    QCOMPARE(closed->model().MyLUTnumber, 9);
    for (const QPointer<ImageWindow>& w : windows) {
        if (w != closed)
            VERIFY_COLOURS(w, 11, white, gray);
    }
    QTRY_VERIFY(closed.isNull());
}

QTEST_MAIN(TestColorSelector)
#include "tst_colorselector.moc"
