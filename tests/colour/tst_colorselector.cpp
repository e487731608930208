#include "app/dialogs.h"
#include "app/msgbox.h"
#include "app/textlistwindow.h"
#include "colour/catalogue.h"
#include "colour/colorbarbutton.h"
#include "colour/colorselector.h"
#include "display/canvas.h"
#include "display/imagewindow.h"
#include "imbuilder.h"
#include "mainwindow/mainwindow.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr QRgb black = 0x000000;
constexpr QRgb gray = 0x999999;
constexpr QRgb white = 0xFFFFFF;

QRgb rgb(QRgb c)
{
    return c & 0xFFFFFF;
}

QRgb entry(int table, int k)
{
    return rgb(Globals::lut(table, k));
}

// Redraws so far: every SetColors on a window with a valid range writes one such line.
int redraws()
{
    const TextListWindow* history = TextListWindow::existing();
    if (!history)
        return 0;
    return int(history->ListBox1()
                   ->findItems(QStringLiteral("Update Display called"), Qt::MatchExactly)
                   .size());
}

// First difference between a window's own table and catalogue table `table` with the given
// caps, or empty.
QString tableMismatch(const ImageWindow* w, int table, QRgb hi, QRgb lo)
{
    const ImageModel& m = w->model();
    if (m.MyLUTnumber != table)
        return QStringLiteral("MyLUTnumber %1, expected %2").arg(m.MyLUTnumber).arg(table);
    for (int k = 0; k < 256; ++k) {
        const QRgb expected = k == 0 ? lo : k == 255 ? hi : entry(table, k);
        if (rgb(m.MyLUT[k]) != expected)
            return QStringLiteral("MyLUT(%1) = %2, expected %3")
                .arg(k)
                .arg(rgb(m.MyLUT[k]), 6, 16, QLatin1Char('0'))
                .arg(expected, 6, 16, QLatin1Char('0'));
    }
    const QString caption = QStringLiteral("Color T: %1").arg(table + 1);
    if (w->ColorButton()->text() != caption)
        return QStringLiteral("colour button reads \"%1\"").arg(w->ColorButton()->text());
    return {};
}

// First pixel of a window's picture that is not the colour its sample maps to under the
// window's display range, catalogue table `table` and the given caps; or empty.
QString pictureMismatch(const ImageWindow* w, int table, QRgb hi, QRgb lo)
{
    const ImageModel& m = w->model();
    const QImage& picture = w->ImageCanvas()->backdrop();
    const int side = m.ImArray.side;
    if (picture.size() != QSize(side + 2, side + 2))
        return QStringLiteral("picture of the wrong size");
    const double min = m.ColorMinValue;
    const double scale = 253.0 / (m.ColorMaxValue - min);
    for (int r = 0; r < side; ++r) {
        for (int c = 0; c < side; ++c) {
            const double k = std::clamp((m.ImArray.at(c, r) - min) * scale + 1.0, 0.0, 255.0);
            const int index = int(k);
            const QRgb expected = index == 0 ? lo : index == 255 ? hi : entry(table, index);
            if (rgb(picture.pixel(c + 1, r + 1)) != expected)
                return QStringLiteral("pixel (%1, %2)").arg(c + 1).arg(r + 1);
        }
    }
    return {};
}

QString caption(const QWidget* w)
{
    if (auto* label = qobject_cast<const QLabel*>(w))
        return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(w))
        return button->text();
    if (auto* group = qobject_cast<const QGroupBox*>(w))
        return group->title();
    return {};
}

} // namespace

class TestColorSelector : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void layout_data();
    void layout();
    void windowAndLook();

    void opensFromImageWindow_data();
    void opensFromImageWindow();
    void barPressRecoloursCurrentWindow();
    void applyToAllSendsEverything();
    void currentWindowClosed();
    void colourButtons_data();
    void colourButtons();
    void picker_data();
    void picker();
    void setDefault_data();
    void setDefault();
    void closing_data();
    void closing();
    void windowClosingDuringUpdate();

private:
    ImageWindow* openWindow(int species);
    ColorSelector* openSelectorFrom(ImageWindow* w);

    QTemporaryDir m_dir;
    QPointer<Main> m_main;
    QStringList m_messages;

    struct PickerCall
    {
        QWidget* parent;
        QRgb initial;
        QString prompt;
    };
    QList<PickerCall> m_pickerCalls;
    std::optional<QRgb> m_pickerAnswer;
};

void TestColorSelector::initTestCase()
{
    QVERIFY(m_dir.isValid());
    setMessageHandler([this](const QString& text) { m_messages << text; });
    Dialogs::setSelectColor([this](QWidget* parent, QRgb initial, const QString& prompt) {
        m_pickerCalls.append({parent, initial, prompt});
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

    // Three species of 64 x 64 samples spread over a few hundred counts.
    ImBuilder b;
    b.nSpecies = 3;
    b.labels = {"16O", "12C", "13C"};
    b.width = 64;
    b.height = 64;
    b.headerSize = 10000;
    b.sample = [](int species, int, int row, int k) {
        return quint32((row * 64 + k) * 37 % 900 + species * 10);
    };
    const QString path = m_dir.filePath(QStringLiteral("three.im"));
    QVERIFY(b.write(path));
    m_main->OpenImage(path);
    QCOMPARE(m_main->header().Species[2], QStringLiteral("13C"));
}

void TestColorSelector::cleanup()
{
    // Closing the main window closes every other open window, the selector too; one made in
    // a test and never shown is closed here.
    if (ColorSelector* selector = ColorSelector::existing(); selector && !selector->isVisible())
        selector->close();
    if (m_main)
        m_main->close();
    QTRY_VERIFY(m_main.isNull());
    QTRY_VERIFY(Main::imageWindows().isEmpty());
    QTRY_VERIFY(!ColorSelector::existing());
    QTRY_VERIFY(!TextListWindow::existing());
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
    return ColorSelector::existing();
}

void TestColorSelector::layout_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QString>("text");
    QTest::newRow("Rectangle1") << "Rectangle1" << QRect(20, 14, 492, 290) << "";
    QTest::newRow("CTname") << "CTname" << QRect(26, 17, 480, 20) << "Select a Color Table  ";
    QTest::newRow("first bar") << "ColorBarButton0" << QRect(26, 39, 24, 258) << "";
    QTest::newRow("last bar") << "ColorBarButton19" << QRect(482, 39, 24, 258) << "";
    QTest::newRow("StaticText1") << "StaticText1" << QRect(26, 316, 80, 20) << "High Color";
    QTest::newRow("HiColorDisp") << "HiColorDisp" << QRect(108, 316, 32, 22) << "";
    QTest::newRow("HiBlack") << "HiBlack" << QRect(152, 316, 60, 22) << "Black";
    QTest::newRow("HiGray") << "HiGray" << QRect(224, 316, 60, 22) << "Gray";
    QTest::newRow("HiWhite") << "HiWhite" << QRect(296, 316, 60, 22) << "White";
    QTest::newRow("HiSame") << "HiSame" << QRect(368, 316, 144, 22) << "Same as Max Color";
    QTest::newRow("StaticText2") << "StaticText2" << QRect(26, 350, 80, 20) << "Low Color";
    QTest::newRow("LoColorDisp") << "LoColorDisp" << QRect(108, 350, 32, 22) << "";
    QTest::newRow("LoBlack") << "LoBlack" << QRect(152, 350, 60, 22) << "Black";
    QTest::newRow("LoGray") << "LoGray" << QRect(224, 350, 60, 22) << "Gray";
    QTest::newRow("LoWhite") << "LoWhite" << QRect(296, 350, 60, 22) << "White";
    QTest::newRow("LoSame") << "LoSame" << QRect(368, 350, 144, 22) << "Same as Min Color";
    QTest::newRow("GroupBox1") << "GroupBox1" << QRect(20, 384, 336, 94) << "Apply to";
    QTest::newRow("OnlyCurrent") << "OnlyCurrent" << QRect(36, 414, 275, 20)
                                 << "Only Current Window:";
    QTest::newRow("All") << "All" << QRect(36, 446, 275, 20) << "All Open Image Windows";
    QTest::newRow("SetDefault") << "SetDefault" << QRect(368, 395, 144, 22)
                                << "Set Colors to Default";
    QTest::newRow("FCloseButton") << "FCloseButton" << QRect(368, 454, 144, 22) << "Close";
}

void TestColorSelector::layout()
{
    QFETCH(QString, control);
    QFETCH(QRect, rect);
    QFETCH(QString, text);
    // As made, before any image window has loaded it.
    ColorSelector* selector = ColorSelector::instance();
    const QWidget* w = selector->findChild<QWidget*>(control);
    QVERIFY2(w, qPrintable(control));
    QCOMPARE(QRect(w->mapTo(selector, QPoint(0, 0)), w->size()), rect);
    QCOMPARE(caption(w), text);
    QCOMPARE(w->font().pixelSize(), 12);
}

void TestColorSelector::windowAndLook()
{
    ColorSelector* selector = ColorSelector::instance();
    QCOMPARE(ColorSelector::instance(), selector);
    QCOMPARE(selector->windowTitle(), QStringLiteral("Color Selector"));
    QCOMPARE(selector->minimumSize(), QSize(532, 498));
    QCOMPARE(selector->maximumSize(), QSize(532, 498));
    const Qt::WindowFlags flags = selector->windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(selector->FCloseButton()->isDefault());
    QVERIFY(selector->OnlyCurrent()->isChecked());
    QVERIFY(!selector->All()->isChecked());
    for (int k = 0; k < 20; ++k) {
        QCOMPARE(selector->colorBarButton(k)->ColorTable(), k);
        QVERIFY(!selector->colorBarButton(k)->Value());
    }
    QCOMPARE(selector->HiColorDisp()->color(), white);
    QCOMPARE(selector->LoColorDisp()->color(), white);

    selector->SetHiColor(qRgb(10, 20, 30));
    const QImage look = selector->grab().toImage();
    QCOMPARE(look.size(), QSize(532, 498));
    // Rectangle1: grey inside a black line.
    QCOMPARE(rgb(look.pixel(20, 14)), black);
    QCOMPARE(rgb(look.pixel(511, 303)), black);
    QCOMPARE(rgb(look.pixel(23, 300)), QRgb(0xD8D8D8));
    // The swatches: their colour inside a (131, 131, 131) border.
    QCOMPARE(rgb(look.pixel(108, 316)), QRgb(0x838383));
    QCOMPARE(rgb(look.pixel(139, 337)), QRgb(0x838383));
    QCOMPARE(rgb(look.pixel(124, 327)), QRgb(0x0A141E));
    QCOMPARE(rgb(look.pixel(124, 361)), white);
}

void TestColorSelector::opensFromImageWindow_data()
{
    QTest::addColumn<bool>("byBar");
    QTest::newRow("colour button") << false;
    QTest::newRow("press on the colour bar") << true;
}

void TestColorSelector::opensFromImageWindow()
{
    QFETCH(bool, byBar);
    ImageWindow* first = openWindow(0);
    ImageWindow* third = openWindow(2);
    QVERIFY(first && third);
    third->SetColors(4, qRgb(1, 2, 3), qRgb(4, 5, 6));

    // Targeted at another window first, with "All" chosen there.
    ColorSelector* selector = openSelectorFrom(first);
    QVERIFY(selector);
    QTest::mouseClick(selector->All(), Qt::LeftButton);
    QVERIFY(selector->All()->isChecked());

    if (byBar)
        QTest::mousePress(third->ColorBarCanvas(), Qt::LeftButton, {}, QPoint(10, 100));
    else
        QTest::mouseClick(third->ColorButton(), Qt::LeftButton);

    QCOMPARE(ColorSelector::existing(), selector); // the same selector, retargeted
    QVERIFY(QTest::qWaitForWindowExposed(selector));
    QCOMPARE(selector->CalledFrom(), 2);
    QCOMPARE(selector->OnlyCurrent()->text(), QStringLiteral("Only Current Window: 13C"));
    QVERIFY(selector->OnlyCurrent()->isChecked());
    QVERIFY(!selector->All()->isChecked());
    QCOMPARE(selector->CT(), 4);
    QCOMPARE(selector->CTname()->text(), Globals::lutname(4) + QStringLiteral("  "));
    for (int k = 0; k < 20; ++k)
        QCOMPARE(selector->colorBarButton(k)->Value(), k == 4);
    QCOMPARE(selector->HiColor(), qRgb(1, 2, 3) & 0xFFFFFF);
    QCOMPARE(selector->LoColor(), qRgb(4, 5, 6) & 0xFFFFFF);
    QCOMPARE(selector->HiColorDisp()->color(), QRgb(0x010203));
    QCOMPARE(selector->LoColorDisp()->color(), QRgb(0x040506));
    // Loading the selector sends nothing.
    QVERIFY(tableMismatch(first, 9, white, gray).isEmpty());
}

void TestColorSelector::barPressRecoloursCurrentWindow()
{
    ImageWindow* first = openWindow(0);
    ImageWindow* third = openWindow(2);
    ColorSelector* selector = openSelectorFrom(third);
    QVERIFY(selector);
    const int before = redraws();

    QTest::mousePress(selector->colorBarButton(0), Qt::LeftButton);

    QCOMPARE(selector->CTname()->text(), QStringLiteral("01 Hot Metal  "));
    QCOMPARE(selector->CT(), 0);
    for (int k = 0; k < 20; ++k)
        QCOMPARE(selector->colorBarButton(k)->Value(), k == 0);
    QCOMPARE(third->ColorButton()->text(), QStringLiteral("Color T: 1"));
    QString mismatch = tableMismatch(third, 0, white, gray);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    mismatch = pictureMismatch(third, 0, white, gray);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    QCOMPARE(redraws(), before + 1);
    // The other window keeps its colours.
    QVERIFY(tableMismatch(first, 9, white, gray).isEmpty());
    QVERIFY(pictureMismatch(first, 9, white, gray).isEmpty());

    // Pressing the chosen bar again sends again.
    QTest::mousePress(selector->colorBarButton(0), Qt::LeftButton);
    QVERIFY(selector->colorBarButton(0)->Value());
    QCOMPARE(redraws(), before + 2);
}

void TestColorSelector::applyToAllSendsEverything()
{
    QList<ImageWindow*> windows{openWindow(0), openWindow(1), openWindow(2)};
    ColorSelector* selector = openSelectorFrom(windows[1]);
    QVERIFY(selector);
    QTest::mousePress(selector->colorBarButton(5), Qt::LeftButton);
    QTest::mousePress(selector->button(QStringLiteral("LoBlack")), Qt::LeftButton);
    QTest::mousePress(selector->button(QStringLiteral("HiBlack")), Qt::LeftButton);
    QVERIFY(tableMismatch(windows[1], 5, black, black).isEmpty());
    QVERIFY(tableMismatch(windows[0], 9, white, gray).isEmpty());

    // Choosing where to apply sends nothing.
    int before = redraws();
    QTest::mouseClick(selector->All(), Qt::LeftButton);
    QVERIFY(selector->All()->isChecked());
    QVERIFY(!selector->OnlyCurrent()->isChecked());
    QCOMPARE(redraws(), before);

    QTest::mousePress(selector->button(QStringLiteral("HiWhite")), Qt::LeftButton);
    QCOMPARE(redraws(), before + 3); // once each
    for (const ImageWindow* w : windows) {
        const QString mismatch = tableMismatch(w, 5, white, black);
        QVERIFY2(mismatch.isEmpty(), qPrintable(w->windowTitle() + ": " + mismatch));
        QVERIFY(pictureMismatch(w, 5, white, black).isEmpty());
    }
}

void TestColorSelector::currentWindowClosed()
{
    ImageWindow* first = openWindow(0);
    QPointer<ImageWindow> third = openWindow(2);
    ColorSelector* selector = openSelectorFrom(third);
    QVERIFY(selector);
    third->close();
    QVERIFY(third); // closed, not yet deleted
    const int before = redraws();

    QTest::mousePress(selector->colorBarButton(3), Qt::LeftButton);
    QTest::mousePress(selector->button(QStringLiteral("HiBlack")), Qt::LeftButton);
    QTest::mouseClick(selector->button(QStringLiteral("SetDefault")), Qt::LeftButton);
    QTest::mousePress(selector->colorBarButton(7), Qt::LeftButton);

    QCOMPARE(selector->CT(), 7);
    QCOMPARE(selector->CTname()->text(), Globals::lutname(7) + QStringLiteral("  "));
    QCOMPARE(redraws(), before);
    QVERIFY(tableMismatch(third, 9, white, gray).isEmpty());
    QVERIFY(tableMismatch(first, 9, white, gray).isEmpty());
    QTRY_VERIFY(third.isNull());
    QTest::mousePress(selector->button(QStringLiteral("LoBlack")), Qt::LeftButton);
    QCOMPARE(selector->LoColor(), black);
    QCOMPARE(redraws(), before);
}

void TestColorSelector::colourButtons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("high");
    QTest::addColumn<QRgb>("colour");
    QTest::newRow("HiBlack") << "HiBlack" << true << black;
    QTest::newRow("HiGray") << "HiGray" << true << gray;
    QTest::newRow("HiWhite") << "HiWhite" << true << white;
    // The top of "10 Rainbow".
    QTest::newRow("HiSame, table 9") << "HiSame" << true << QRgb(0xFF0000);
    QTest::newRow("LoBlack") << "LoBlack" << false << black;
    QTest::newRow("LoGray") << "LoGray" << false << gray;
    QTest::newRow("LoWhite") << "LoWhite" << false << white;
    QTest::newRow("LoSame, table 9") << "LoSame" << false << entry(9, 1);
}

void TestColorSelector::colourButtons()
{
    QFETCH(QString, name);
    QFETCH(bool, high);
    QFETCH(QRgb, colour);
    ImageWindow* w = openWindow(1);
    const QRgb hi = 0x123456;
    const QRgb lo = 0x654321;
    w->SetColors(9, hi, lo);
    ColorSelector* selector = openSelectorFrom(w);
    QVERIFY(selector);
    const int before = redraws();

    // They act on the press; no release follows.
    QTest::mousePress(selector->button(name), Qt::LeftButton);

    QCOMPARE(high ? selector->HiColor() : selector->LoColor(), colour);
    QCOMPARE(high ? selector->LoColor() : selector->HiColor(), high ? lo : hi);
    QCOMPARE((high ? selector->HiColorDisp() : selector->LoColorDisp())->color(), colour);
    QString mismatch = tableMismatch(w, 9, high ? colour : hi, high ? lo : colour);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    QCOMPARE(redraws(), before + 1);
    QTest::mouseRelease(selector->button(name), Qt::LeftButton);
    QCOMPARE(redraws(), before + 1);

    // The colour was copied once: another table leaves it as it is.
    QTest::mousePress(selector->colorBarButton(0), Qt::LeftButton);
    QCOMPARE(high ? selector->HiColor() : selector->LoColor(), colour);
    mismatch = tableMismatch(w, 0, high ? colour : hi, high ? lo : colour);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

void TestColorSelector::picker_data()
{
    QTest::addColumn<bool>("high");
    QTest::addColumn<std::optional<QRgb>>("answer");
    QTest::newRow("high, cancelled") << true << std::optional<QRgb>();
    QTest::newRow("high, confirmed") << true << std::optional<QRgb>(0x336699);
    QTest::newRow("low, cancelled") << false << std::optional<QRgb>();
    QTest::newRow("low, confirmed") << false << std::optional<QRgb>(0x336699);
}

void TestColorSelector::picker()
{
    QFETCH(bool, high);
    QFETCH(std::optional<QRgb>, answer);
    ImageWindow* w = openWindow(0);
    const QRgb hi = 0x123456;
    const QRgb lo = 0x654321;
    w->SetColors(2, hi, lo);
    ColorSelector* selector = openSelectorFrom(w);
    QVERIFY(selector);
    const int before = redraws();
    m_pickerAnswer = answer;

    QTest::mousePress(high ? selector->HiColorDisp() : selector->LoColorDisp(), Qt::LeftButton);

    QCOMPARE(m_pickerCalls.size(), 1);
    QCOMPARE(m_pickerCalls[0].parent, static_cast<QWidget*>(selector));
    QCOMPARE(m_pickerCalls[0].prompt,
             high ? QStringLiteral("Select Hi Color") : QStringLiteral("Select Lo Color"));
    QCOMPARE(m_pickerCalls[0].initial, high ? hi : lo);
    const QRgb newHi = high && answer ? *answer : hi;
    const QRgb newLo = !high && answer ? *answer : lo;
    QCOMPARE(selector->HiColor(), newHi);
    QCOMPARE(selector->LoColor(), newLo);
    QCOMPARE(selector->HiColorDisp()->color(), newHi);
    QCOMPARE(selector->LoColorDisp()->color(), newLo);
    QCOMPARE(redraws(), before + (answer ? 1 : 0));
    const QString mismatch = tableMismatch(w, 2, newHi, newLo);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
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

    QTest::mouseClick(selector->button(QStringLiteral("SetDefault")), Qt::LeftButton);

    QCOMPARE(selector->CT(), 9);
    QCOMPARE(selector->CTname()->text(), QStringLiteral("10 Rainbow  "));
    for (int k = 0; k < 20; ++k)
        QCOMPARE(selector->colorBarButton(k)->Value(), k == 9);
    QCOMPARE(selector->HiColor(), white);
    QCOMPARE(selector->LoColor(), gray);
    QCOMPARE(selector->HiColorDisp()->color(), white);
    QCOMPARE(selector->LoColorDisp()->color(), gray);
    QCOMPARE(redraws(), before + (all ? 2 : 1)); // one update, once each
    QVERIFY(tableMismatch(third, 9, white, gray).isEmpty());
    // The table a new window starts with.
    QVERIFY(third->model().MyLUT == ImageModel().MyLUT);
    if (all)
        QVERIFY(tableMismatch(first, 9, white, gray).isEmpty());
    else
        QVERIFY(tableMismatch(first, 4, black, white).isEmpty());
}

void TestColorSelector::closing_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Return") << "Return";
    QTest::newRow("Return after a colour button") << "Return after";
    QTest::newRow("Close button") << "Close";
    QTest::newRow("close box") << "close box";
}

void TestColorSelector::closing()
{
    QFETCH(QString, how);
    ImageWindow* first = openWindow(0);
    ImageWindow* second = openWindow(1);
    QPointer<ColorSelector> selector = openSelectorFrom(first);
    QVERIFY(selector);
    QVERIFY(QTest::qWaitForWindowActive(selector));
    QTest::mousePress(selector->colorBarButton(6), Qt::LeftButton);

    if (how == QLatin1String("Close")) {
        QTest::mouseClick(selector->FCloseButton(), Qt::LeftButton);
    } else if (how == QLatin1String("close box")) {
        selector->close();
    } else {
        if (how == QLatin1String("Return after")) {
            // The pressed button takes the focus; Return still means "Close".
            QTest::mouseClick(selector->button(QStringLiteral("LoBlack")), Qt::LeftButton);
            QCOMPARE(selector->focusWidget(),
                     static_cast<QWidget*>(selector->button(QStringLiteral("LoBlack"))));
        }
        QWidget* focus = selector->focusWidget();
        const int before = redraws();
        QTest::keyClick(focus ? focus : selector.data(), Qt::Key_Return);
        QCOMPARE(redraws(), before);
    }
    QTRY_VERIFY(selector.isNull());
    QVERIFY(!ColorSelector::existing());
    // The window keeps what was sent.
    QCOMPARE(first->model().MyLUTnumber, 6);

    // The next request makes a new selector, loaded from the asking window.
    QTest::mouseClick(second->ColorButton(), Qt::LeftButton);
    ColorSelector* next = ColorSelector::existing();
    QVERIFY(next);
    QVERIFY(QTest::qWaitForWindowExposed(next));
    QCOMPARE(next->CalledFrom(), 1);
    QCOMPARE(next->CT(), 9);
    QCOMPARE(next->OnlyCurrent()->text(), QStringLiteral("Only Current Window: 12C"));
}

void TestColorSelector::windowClosingDuringUpdate()
{
    QList<QPointer<ImageWindow>> windows{openWindow(0), openWindow(1), openWindow(2)};
    ColorSelector* selector = openSelectorFrom(windows[0]);
    QVERIFY(selector);
    QTest::mouseClick(selector->All(), Qt::LeftButton);

    // While the first window redraws, a window not yet updated closes.
    QPointer<ImageWindow> closed;
    int lines = 0;
    QListWidget* history = TextListWindow::existing()->ListBox1();
    const QMetaObject::Connection hook =
        connect(history->model(), &QAbstractItemModel::rowsInserted, this, [&] {
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
            QVERIFY(tableMismatch(w, 11, white, gray).isEmpty());
    }
    QTRY_VERIFY(closed.isNull());
}

QTEST_MAIN(TestColorSelector)
#include "tst_colorselector.moc"
