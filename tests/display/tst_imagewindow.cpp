#include "app/dialogs.h"
#include "app/globals.h"
#include "app/menu.h"
#include "app/msgbox.h"
#include "display/canvas.h"
#include "display/imagewindow.h"
#include "mainwindow/mainwindow.h"
#include "windowtesting.h"

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
    void modeButtons();
    void saveImage();
    void windowSizeCommands();
    void closeRemembersPlace();
    void scaleBarProblemToldOncePerWindow();

private:
    // Writes the file and opens it in the main window.
    void open(const ImBuilder& b);
    // Clicks species button `species` and returns the window it opened, or null.
    ImageWindow* press(int species);
    // Types into a value field as the user does: click into it, select all, type.
    static void typeInto(QLineEdit* field, const QString& text);

    QTemporaryDir m_dir;
    QPointer<Main> m_main;
    QStringList m_messages;
    QList<QPair<QWidget*, QImage>> m_exports;
};

void TestImageWindow::open(const ImBuilder& b)
{
    const QString path = m_dir.filePath("test.im");
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
    QTest::newRow("256: the designed 377 x 315") << 256;
}

void TestImageWindow::newWindow()
{
    QFETCH(int, side);
    open(patternFile(4, 2, side));
    Globals::ImageLeft[3] = 411;
    Globals::ImageTop[3] = 97;
    ImageWindow* w = press(3);
    QVERIFY(w);
    QVERIFY(QTest::qWaitForWindowExposed(w));

    QCOMPARE(w->pos(), QPoint(411, 97));
    QCOMPARE(w->windowTitle(), "16O (Layer 1)");
    QCOMPARE(w->LinLogButton()->text(), "Lin Scale");
    QCOMPARE(w->MinButton()->text(), "Auto Min:");
    QCOMPARE(w->MaxButton()->text(), "Auto Max:");
    QCOMPARE(w->ColorButton()->text(), "Color T: 10");
    QCOMPARE(w->MinValueField()->text(), "0");
    QCOMPARE(w->MaxValueField()->text(), "253");
    QCOMPARE(w->contentSize(), side == 256 ? QSize(377, 315) : QSize(side + 121, side + 59));
    // Not resizable by the user, and no maximise button.
    QCOMPARE(w->minimumSize(), w->maximumSize());
    QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
    // The colour bar keeps to the right edge, the scale bar to the bottom edge.
    QCOMPARE(w->ImageCanvas()->geometry(), QRect(20, 27, side + 2, side + 2));
    QCOMPARE(w->ColorBarCanvas()->geometry(), QRect(side + 39, 27, 80, 266));
    QCOMPARE(w->ScaleCanvas()->geometry(), QRect(20, side + 29, 258, 28));
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
    QTest::newRow("256, second species, third layer") << 256 << 1 << 3;
}

// Every pixel of the canvas, its backdrop and what it puts on screen, against colours worked out
// from the file's samples: mirrored rows, frame and mapping included.
void TestImageWindow::pictureMatchesSamples()
{
    QFETCH(int, side);
    QFETCH(int, species);
    QFETCH(int, plane);
    const ImBuilder b = patternFile(3, 3, side);
    open(b);
    m_main->LayerPopUp()->setCurrentIndex(plane - 1);
    ImageWindow* w = press(species);
    QVERIFY(w);
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const QImage want = expectedPicture(b, species + 1, plane, 0, 253.0 * plane);
    const QString backdrop = pictureDifference(w->ImageCanvas()->backdrop(), want);
    QVERIFY2(backdrop.isEmpty(), qPrintable(backdrop));
    const QString onScreen = pictureDifference(w->ImageCanvas()->grab().toImage(), want);
    QVERIFY2(onScreen.isEmpty(), qPrintable(onScreen));
}

void TestImageWindow::typedLimits_data()
{
    QTest::addColumn<bool>("maxField");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("limit");
    QTest::newRow("5 into the minimum") << false << "5" << 5.0;
    QTest::newRow("200 into the maximum") << true << "200" << 200.0;
    // A maximum of 0 leaves an empty range: the window keeps its picture and writes no draw line.
    QTest::newRow("text into the maximum") << true << "abc" << 0.0;
}

void TestImageWindow::typedLimits()
{
    QFETCH(bool, maxField);
    QFETCH(QString, text);
    QFETCH(double, limit);
    const ImBuilder b = patternFile(1, 1, 64);
    open(b);
    ImageWindow* w = press(0);
    QVERIFY(w);
    const QImage before = w->ImageCanvas()->backdrop();
    const int lines = int(historyLines().size());
    QLineEdit* field = maxField ? w->MaxValueField() : w->MinValueField();
    const auto value = [&] {
        return maxField ? w->model().ColorMaxValue : w->model().ColorMinValue;
    };
    typeInto(field, text);

    QCOMPARE(w->MinButton()->text(), maxField ? "Auto Min:" : "Man Min:");
    QCOMPARE(w->MaxButton()->text(), maxField ? "Man Max:" : "Auto Max:");
    QCOMPARE(value(), limit);
    // Each keystroke writes its line and redraws at once when the range allows.
    const bool redraws = limit > 0;
    QStringList lineEach;
    for (qsizetype i = 0; i < text.size(); ++i)
        lineEach << (maxField ? maxLine : minLine) << (redraws ? drawLine : QString());
    lineEach.removeAll(QString());
    QCOMPARE(historyLines().mid(lines), lineEach);
    const QImage typed = w->ImageCanvas()->backdrop();
    const QImage want =
        redraws ? expectedPicture(b, 1, 1, maxField ? 0 : limit, maxField ? limit : 253) : before;
    QString diff = pictureDifference(typed, want);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));

    // An emptied manual field gives 0: the plane's own minimum, or a maximum with no range.
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
    QCOMPARE(value(), 0.0);
    diff = pictureDifference(w->ImageCanvas()->backdrop(), maxField ? typed : before);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
}

void TestImageWindow::modeButtons()
{
    open(patternFile(1, 1, 64, 1)); // samples 1 to 254: a range a log axis can show
    ImageWindow* w = press(0);
    QVERIFY(w);
    const QImage full = w->ImageCanvas()->backdrop();
    const QImage linearBar = w->ColorBarCanvas()->backdrop();

    // Automatic to manual by the button: nothing else changes until the field is edited.
    int lines = int(historyLines().size());
    QTest::mouseClick(w->MinButton(), Qt::LeftButton);
    QCOMPARE(w->MinButton()->text(), "Man Min:");
    QCOMPARE(w->MinValueField()->text(), "1");
    QCOMPARE(w->ImageCanvas()->backdrop(), full);
    QCOMPARE(historyLines().size(), lines);

    // Manual to automatic: the plane's maximum comes back into the field and the picture.
    typeInto(w->MaxValueField(), "100");
    QVERIFY(w->ImageCanvas()->backdrop() != full);
    lines = int(historyLines().size());
    QTest::mouseClick(w->MaxButton(), Qt::LeftButton);
    QCOMPARE(w->MaxButton()->text(), "Auto Max:");
    QCOMPARE(w->MaxValueField()->text(), "254");
    QCOMPARE(historyLines().mid(lines), QStringList({maxLine, drawLine}));
    QCOMPARE(w->ImageCanvas()->backdrop(), full);

    // The scaling mode redraws the axis only.
    QTest::mouseClick(w->LinLogButton(), Qt::LeftButton);
    QCOMPARE(w->LinLogButton()->text(), "Log Scale");
    QCOMPARE(historyLines().mid(lines + 2), QStringList({drawLine}));
    QVERIFY(w->ColorBarCanvas()->backdrop() != linearBar);
    QCOMPARE(w->ImageCanvas()->backdrop(), full);
    QTest::mouseClick(w->LinLogButton(), Qt::LeftButton);
    QCOMPARE(w->LinLogButton()->text(), "Lin Scale");
    QCOMPARE(w->ColorBarCanvas()->backdrop(), linearBar);
}

void TestImageWindow::saveImage()
{
    // After the Open dialog was cancelled the file is closed but its species buttons stay:
    // a window opened now has no picture, draws none for a typed range, and saves nothing.
    const ImBuilder b = patternFile(2, 1, 64);
    open(b);
    m_main->OpenImage(QString());
    ImageWindow* empty = press(1);
    QVERIFY(empty);
    QCOMPARE(empty->windowTitle(), "-");
    const int lines = int(historyLines().size());
    typeInto(empty->MaxValueField(), "5");
    QCOMPARE(historyLines().mid(lines), QStringList({maxLine}));
    QVERIFY(!empty->ImageCanvas()->hasBackdrop());
    QVERIFY(m_messages.isEmpty());
    empty->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(empty));
    QTest::keyClick(empty, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(m_exports.isEmpty());

    // With a picture, exactly the image canvas's picture goes to the export.
    open(b);
    ImageWindow* w = press(0);
    QVERIFY(w);
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QTest::keyClick(w, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(m_exports.size(), 1);
    QCOMPARE(m_exports[0].first, w);
    QCOMPARE(m_exports[0].second.size(), QSize(66, 66));
    QCOMPARE(m_exports[0].second, w->ImageCanvas()->backdrop());
}

void TestImageWindow::windowSizeCommands()
{
    open(patternFile(1, 2, 64));
    ImageWindow* w = press(0);
    QVERIFY(w);
    const QImage picture = w->ImageCanvas()->backdrop();
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    // 1024 and 2048 are not commands of an image window: its size stays.
    const QList<QPair<QString, int>> commands{
        {"Windowx256", 256}, {"Windowx1024", 256}, {"Windowx512", 512}, {"Windowx2048", 512}};
    for (const auto& [item, side] : commands) {
        QCOMPARE(Menu::run(item), item.endsWith(QString::number(side)));
        QCOMPARE(w->contentSize(), QSize(side, side));
    }
    QCOMPARE(w->ImageCanvas()->backdrop(), picture);
    // The next load sizes the window from the plane again.
    QTest::mouseClick(m_main->LayerPlus(), Qt::LeftButton);
    QCOMPARE(w->contentSize(), QSize(185, 123));
}

void TestImageWindow::closeRemembersPlace()
{
    open(patternFile(8, 1, 64));
    QPointer<ImageWindow> w = press(7);
    QVERIFY(w);
    QVERIFY(m_main->ButtonSpecies(7)->isChecked());
    w->move(150, 170);
    w->close(); // its close box
    QVERIFY(!m_main->ButtonSpecies(7)->isChecked());
    QCOMPARE(Globals::ImageLeft[7], 150);
    QCOMPARE(Globals::ImageTop[7], 170);
    QTRY_VERIFY(w.isNull());
    ImageWindow* again = press(7);
    QVERIFY(again);
    QCOMPARE(again->pos(), QPoint(150, 170));
}

void TestImageWindow::scaleBarProblemToldOncePerWindow()
{
    ImBuilder b = patternFile(2, 1, 64);
    b.nmSize = 0; // no field size: no scale bar can be drawn
    open(b);
    ImageWindow* w = press(0);
    QVERIFY(w);
    QCOMPARE(m_messages, QStringList({"Scale bar problem."}));
    QTest::mouseClick(w->LinLogButton(), Qt::LeftButton);
    typeInto(w->MaxValueField(), "100");
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
