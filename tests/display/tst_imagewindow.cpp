#include "app/dialogs.h"
#include "app/globals.h"
#include "app/menu.h"
#include "app/msgbox.h"
#include "display/canvas.h"
#include "display/imagewindow.h"
#include "mainwindow/mainwindow.h"
#include "windowtesting.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace WindowTesting;

class TestImageWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void newWindow_data();
    void newWindow();
    void pictureMatchesSamples_data();
    void pictureMatchesSamples();

    void typedLimits_data();
    void typedLimits();
    void emptiedManualField_data();
    void emptiedManualField();
    void modeButtons();
    void linLogRedrawsColourBarOnly();

    void saveImage();
    void windowSizeCommands_data();
    void windowSizeCommands();
    void closeRemembersPlace_data();
    void closeRemembersPlace();
    void scaleBarProblemToldOncePerWindow();

private:
    // Writes the file and opens it in the main window.
    void open(const ImBuilder& b, const QString& name);
    // Clicks species button `species` and returns the window it opened, or null.
    ImageWindow* press(int species);
    // Types into a value field as the user does: click into it, select all, type.
    static void typeInto(QLineEdit* field, const QString& text);

    QTemporaryDir m_dir;
    QPointer<Main> m_main;
    QStringList m_messages;
    struct Export
    {
        QWidget* parent;
        QImage picture;
    };
    QList<Export> m_exports;
};

void TestImageWindow::open(const ImBuilder& b, const QString& name)
{
    const QString path = m_dir.filePath(name);
    QVERIFY(b.write(path));
    m_main->OpenImage(path);
    QVERIFY(m_main->file().isOpen());
}

ImageWindow* TestImageWindow::press(int species)
{
    QTest::mouseClick(m_main->ButtonSpecies(species), Qt::LeftButton);
    for (ImageWindow* w : Main::imageWindows()) {
        if (w->IDnumber == species)
            return w;
    }
    return nullptr;
}

void TestImageWindow::typeInto(QLineEdit* field, const QString& text)
{
    QTest::mouseClick(field, Qt::LeftButton);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, text);
}

void TestImageWindow::initTestCase()
{
    QVERIFY(m_dir.isValid());
    setMessageHandler([this](const QString& text) { m_messages << text; });
    Dialogs::setExportPicture([this](QWidget* parent, const QImage& picture) {
        m_exports.append({parent, picture});
    });
}

void TestImageWindow::init()
{
    m_messages.clear();
    m_exports.clear();
    m_main = Main::instance();
    QVERIFY(QTest::qWaitForWindowExposed(m_main));
}

void TestImageWindow::cleanup()
{
    // Closing the main window closes every other window, as at the end of a run.
    if (m_main)
        m_main->close();
    QTRY_VERIFY(m_main.isNull());
    QTRY_VERIFY(Main::imageWindows().isEmpty());
    QTRY_VERIFY(!TextListWindow::existing());
}

void TestImageWindow::newWindow_data()
{
    QTest::addColumn<int>("side");
    QTest::newRow("64: smaller than designed") << 64;
    QTest::newRow("256: the designed size") << 256;
}

void TestImageWindow::newWindow()
{
    QFETCH(int, side);
    open(patternFile(4, 2, side), "new.im");
    Globals::ImageLeft[3] = 411;
    Globals::ImageTop[3] = 97;
    ImageWindow* w = press(3);
    QVERIFY(w);
    QVERIFY(QTest::qWaitForWindowExposed(w));

    QCOMPARE(w->pos(), QPoint(411, 97));
    QCOMPARE(w->windowTitle(), QStringLiteral("16O (Layer 1)"));
    QCOMPARE(w->LinLogButton()->text(), QStringLiteral("Lin Scale"));
    QCOMPARE(w->MinButton()->text(), QStringLiteral("Auto Min:"));
    QCOMPARE(w->MaxButton()->text(), QStringLiteral("Auto Max:"));
    QCOMPARE(w->ColorButton()->text(), QStringLiteral("Color T: 10"));
    QCOMPARE(w->MinValueField()->text(), QStringLiteral("0"));
    QCOMPARE(w->MaxValueField()->text(), QStringLiteral("253"));
    QVERIFY(w->model().AutoMin && w->model().AutoMax && !w->model().LogScale);

    QCOMPARE(w->contentSize(), QSize(side + 121, side + 59));
    if (side == 256)
        QCOMPARE(w->contentSize(), QSize(377, 315));
    // Not resizable by the user, and no maximise button.
    QCOMPARE(w->minimumSize(), w->maximumSize());
    QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(w->ImageCanvas()->geometry(), QRect(20, 27, side + 2, side + 2));
    // The colour bar keeps to the right edge, the scale bar to the bottom edge.
    QCOMPARE(w->ColorBarCanvas()->geometry(), QRect(side + 39, 27, 80, 266));
    QCOMPARE(w->ScaleCanvas()->geometry(), QRect(20, side + 29, 258, 28));
    // Keys go to the window, not into a value field.
    QVERIFY(!qobject_cast<QLineEdit*>(w->focusWidget()));

    // Writing the automatic limits leaves the redraw to the load, which draws once.
    QCOMPARE(historyLines(), QStringList({maxLine, minLine, loadLine, drawLine}));
    QVERIFY(m_messages.isEmpty());
}

void TestImageWindow::pictureMatchesSamples_data()
{
    QTest::addColumn<int>("side");
    QTest::addColumn<int>("species");
    QTest::addColumn<int>("plane");
    QTest::newRow("64, first species, first layer") << 64 << 0 << 1;
    QTest::newRow("128, third species, second layer") << 128 << 2 << 2;
    QTest::newRow("256, second species, third layer") << 256 << 1 << 3;
}

void TestImageWindow::pictureMatchesSamples()
{
    QFETCH(int, side);
    QFETCH(int, species);
    QFETCH(int, plane);
    const ImBuilder b = patternFile(3, 3, side);
    open(b, "pixels.im");
    m_main->LayerPopUp()->setCurrentIndex(plane - 1);
    ImageWindow* w = press(species);
    QVERIFY(w);
    QVERIFY(QTest::qWaitForWindowExposed(w));

    const QImage want = expectedPicture(b, species + 1, plane, 0, 253.0 * plane);
    const QString backdrop = pictureDifference(w->ImageCanvas()->backdrop(), want);
    QVERIFY2(backdrop.isEmpty(), qPrintable(backdrop));
    // What the canvas puts on screen is that picture, pixel for pixel.
    const QString onScreen = pictureDifference(w->ImageCanvas()->grab().toImage(), want);
    QVERIFY2(onScreen.isEmpty(), qPrintable(onScreen));
}

void TestImageWindow::typedLimits_data()
{
    QTest::addColumn<bool>("maxField");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("limit");
    QTest::addColumn<bool>("redraws");
    QTest::newRow("5 into the minimum") << false << "5" << 5.0 << true;
    QTest::newRow("200 into the maximum") << true << "200" << 200.0 << true;
    QTest::newRow("-10 into the minimum") << false << "-10" << -10.0 << true;
    // A maximum of 0 leaves an empty range: the window keeps its picture.
    QTest::newRow("text into the maximum") << true << "abc" << 0.0 << false;
}

void TestImageWindow::typedLimits()
{
    QFETCH(bool, maxField);
    QFETCH(QString, text);
    QFETCH(double, limit);
    QFETCH(bool, redraws);
    const ImBuilder b = patternFile(1, 1, 64);
    open(b, "typed.im");
    ImageWindow* w = press(0);
    QVERIFY(w);
    const QImage before = w->ImageCanvas()->backdrop();
    const int lines = int(historyLines().size());

    QLineEdit* field = maxField ? w->MaxValueField() : w->MinValueField();
    typeInto(field, text);

    QCOMPARE(field->text(), text);
    const ImageModel& m = w->model();
    QCOMPARE(maxField ? w->MaxButton()->text() : w->MinButton()->text(),
             maxField ? QStringLiteral("Man Max:") : QStringLiteral("Man Min:"));
    QCOMPARE(maxField ? m.AutoMax : m.AutoMin, false);
    QCOMPARE(maxField ? m.AutoMin : m.AutoMax, true);
    QCOMPARE(maxField ? m.ColorMaxValue : m.ColorMinValue, limit);

    // Each keystroke writes its line and redraws at once.
    QStringList added = historyLines().mid(lines);
    const QString changeLine = maxField ? maxLine : minLine;
    QCOMPARE(added.count(changeLine), text.size());
    QCOMPARE(added.count(drawLine), redraws ? text.size() : 0);
    QCOMPARE(added.first(), changeLine);
    QCOMPARE(added.last(), redraws ? drawLine : changeLine);

    const QImage want =
        redraws ? expectedPicture(b, 1, 1, m.ColorMinValue, m.ColorMaxValue) : before;
    const QString diff = pictureDifference(w->ImageCanvas()->backdrop(), want);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    if (redraws)
        QVERIFY(w->ImageCanvas()->backdrop() != before);
}

void TestImageWindow::emptiedManualField_data()
{
    QTest::addColumn<bool>("maxField");
    QTest::addColumn<QString>("typed");
    QTest::newRow("minimum") << false << "40";
    QTest::newRow("maximum") << true << "100";
}

void TestImageWindow::emptiedManualField()
{
    QFETCH(bool, maxField);
    QFETCH(QString, typed);
    const ImBuilder b = patternFile(1, 1, 64);
    open(b, "emptied.im");
    ImageWindow* w = press(0);
    QVERIFY(w);
    QLineEdit* field = maxField ? w->MaxValueField() : w->MinValueField();
    typeInto(field, typed);
    const QImage typedPicture = w->ImageCanvas()->backdrop();

    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
    QCOMPARE(field->text(), QString());
    const ImageModel& m = w->model();
    QCOMPARE(maxField ? m.ColorMaxValue : m.ColorMinValue, 0.0);
    QCOMPARE(maxField ? m.AutoMax : m.AutoMin, false);
    // A minimum of 0 is this plane's own; a maximum of 0 leaves no range and the picture.
    const QImage want = maxField ? typedPicture : expectedPicture(b, 1, 1, 0, 253);
    const QString diff = pictureDifference(w->ImageCanvas()->backdrop(), want);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
}

void TestImageWindow::modeButtons()
{
    const ImBuilder b = patternFile(1, 1, 64);
    open(b, "modes.im");
    ImageWindow* w = press(0);
    QVERIFY(w);
    const QImage full = w->ImageCanvas()->backdrop();

    // Automatic to manual by the button: nothing else changes until the field is edited.
    int lines = int(historyLines().size());
    QTest::mouseClick(w->MinButton(), Qt::LeftButton);
    QCOMPARE(w->MinButton()->text(), QStringLiteral("Man Min:"));
    QVERIFY(!w->model().AutoMin);
    QCOMPARE(w->MinValueField()->text(), QStringLiteral("0"));
    QCOMPARE(w->model().ColorMinValue, 0.0);
    QCOMPARE(w->ImageCanvas()->backdrop(), full);
    QCOMPARE(historyLines().size(), lines);

    // Manual to automatic: the plane's maximum comes back into the field and the picture.
    typeInto(w->MaxValueField(), QStringLiteral("100"));
    QCOMPARE(w->MaxButton()->text(), QStringLiteral("Man Max:"));
    QVERIFY(w->ImageCanvas()->backdrop() != full);
    lines = int(historyLines().size());
    QTest::mouseClick(w->MaxButton(), Qt::LeftButton);
    QCOMPARE(w->MaxButton()->text(), QStringLiteral("Auto Max:"));
    QVERIFY(w->model().AutoMax);
    QCOMPARE(w->MaxValueField()->text(), QStringLiteral("253"));
    QCOMPARE(w->model().ColorMaxValue, 253.0);
    QCOMPARE(historyLines().mid(lines), QStringList({maxLine, drawLine}));
    const QString diff = pictureDifference(w->ImageCanvas()->backdrop(), full);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
}

void TestImageWindow::linLogRedrawsColourBarOnly()
{
    ImBuilder b = patternFile(1, 1, 64, 1); // samples 1 to 254: a range a log axis can show
    open(b, "linlog.im");
    ImageWindow* w = press(0);
    QVERIFY(w);
    const QImage image = w->ImageCanvas()->backdrop();
    const QImage linearBar = w->ColorBarCanvas()->backdrop();

    const int lines = int(historyLines().size());
    QTest::mouseClick(w->LinLogButton(), Qt::LeftButton);
    QCOMPARE(w->LinLogButton()->text(), QStringLiteral("Log Scale"));
    QVERIFY(w->model().LogScale);
    QCOMPARE(historyLines().mid(lines), QStringList({drawLine}));
    QVERIFY(w->ColorBarCanvas()->backdrop() != linearBar);
    QCOMPARE(w->ImageCanvas()->backdrop(), image);

    QTest::mouseClick(w->LinLogButton(), Qt::LeftButton);
    QCOMPARE(w->LinLogButton()->text(), QStringLiteral("Lin Scale"));
    QVERIFY(!w->model().LogScale);
    QCOMPARE(w->ColorBarCanvas()->backdrop(), linearBar);
    QCOMPARE(w->ImageCanvas()->backdrop(), image);
}

void TestImageWindow::saveImage()
{
    // After the Open dialog was cancelled the file is closed but its species buttons stay:
    // a window opened now has no picture, and saving it does nothing.
    const ImBuilder b = patternFile(2, 1, 64);
    open(b, "save.im");
    m_main->OpenImage(QString());
    QPointer<ImageWindow> empty = press(1);
    QVERIFY(empty);
    QVERIFY(!empty->ImageCanvas()->hasBackdrop());
    QCOMPARE(empty->windowTitle(), QStringLiteral("-"));
    // A range typed into it draws nothing either: there is no plane to draw, nor a field size.
    const int lines = int(historyLines().size());
    typeInto(empty->MaxValueField(), QStringLiteral("5"));
    QCOMPARE(empty->model().ColorMaxValue, 5.0);
    QCOMPARE(historyLines().mid(lines), QStringList({maxLine}));
    QVERIFY(!empty->ImageCanvas()->hasBackdrop());
    QVERIFY(m_messages.isEmpty());
    empty->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(empty));
    QTest::keyClick(empty, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(Menu::run(QStringLiteral("FileSaveImage")));
    QVERIFY(m_exports.isEmpty());

    // With a picture, exactly the image canvas's picture goes to the export.
    open(b, "save.im");
    QVERIFY(empty);
    QCOMPARE(empty->windowTitle(), QStringLiteral("13C (Layer 1)"));
    QVERIFY(empty->ImageCanvas()->hasBackdrop());
    ImageWindow* w = press(0);
    QVERIFY(w);
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QTest::keyClick(w, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(m_exports.size(), 1);
    QCOMPARE(m_exports[0].parent, w);
    QCOMPARE(m_exports[0].picture, w->ImageCanvas()->backdrop());
    QCOMPARE(m_exports[0].picture.size(), QSize(66, 66));
}

void TestImageWindow::windowSizeCommands_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<bool>("handled");
    QTest::addColumn<QSize>("size");
    QTest::newRow("256 x 256") << "Windowx256" << true << QSize(256, 256);
    QTest::newRow("512 x 512") << "Windowx512" << true << QSize(512, 512);
    QTest::newRow("1024 x 1024: not a command here") << "Windowx1024" << false << QSize(185, 123);
    QTest::newRow("2048 x 2048: not a command here") << "Windowx2048" << false << QSize(185, 123);
}

void TestImageWindow::windowSizeCommands()
{
    QFETCH(QString, item);
    QFETCH(bool, handled);
    QFETCH(QSize, size);
    open(patternFile(1, 2, 64), "sizes.im");
    ImageWindow* w = press(0);
    QVERIFY(w);
    const QImage picture = w->ImageCanvas()->backdrop();
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));

    QCOMPARE(Menu::run(item), handled);
    QCOMPARE(w->contentSize(), size);
    QCOMPARE(w->ImageCanvas()->backdrop(), picture);
    QCOMPARE(Globals::PSize, 64);
    // The next load sizes the window from the plane again.
    QTest::mouseClick(m_main->LayerPlus(), Qt::LeftButton);
    QCOMPARE(w->contentSize(), QSize(185, 123));
}

void TestImageWindow::closeRemembersPlace_data()
{
    QTest::addColumn<int>("species");
    QTest::newRow("first species") << 0;
    QTest::newRow("eighth species") << 7;
}

void TestImageWindow::closeRemembersPlace()
{
    QFETCH(int, species);
    open(patternFile(8, 1, 64), "eight.im");
    QPointer<ImageWindow> w = press(species);
    QVERIFY(w);
    QVERIFY(m_main->ButtonSpecies(species)->isChecked());
    w->move(150, 170);
    w->close(); // its close box
    QVERIFY(!m_main->ButtonSpecies(species)->isChecked());
    QCOMPARE(Globals::ImageLeft[species], 150);
    QCOMPARE(Globals::ImageTop[species], 170);
    QTRY_VERIFY(w.isNull());

    ImageWindow* again = press(species);
    QVERIFY(again);
    QCOMPARE(again->pos(), QPoint(150, 170));
    QCOMPARE(Main::imageWindows().size(), 1);
}

void TestImageWindow::scaleBarProblemToldOncePerWindow()
{
    ImBuilder b = patternFile(2, 1, 64);
    b.nmSize = 0; // no field size: no scale bar can be drawn
    open(b, "noscale.im");
    ImageWindow* w = press(0);
    QVERIFY(w);
    QCOMPARE(m_messages, QStringList({"Scale bar problem."}));
    QTest::mouseClick(w->LinLogButton(), Qt::LeftButton);
    typeInto(w->MaxValueField(), QStringLiteral("100"));
    QCOMPARE(m_messages.size(), 1);
    // The picture is drawn all the same.
    const QString diff =
        pictureDifference(w->ImageCanvas()->backdrop(), expectedPicture(b, 1, 1, 0, 100));
    QVERIFY2(diff.isEmpty(), qPrintable(diff));

    QVERIFY(press(1));
    QCOMPARE(m_messages.size(), 2);
}

QTEST_MAIN(TestImageWindow)
#include "tst_imagewindow.moc"
