#include "app/globals.h"
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

namespace {

QList<ImageWindow*> windowsOf(int species)
{
    QList<ImageWindow*> found;
    for (ImageWindow* w : Main::imageWindows()) {
        if (w->IDnumber == species)
            found << w;
    }
    return found;
}

ImageWindow* windowOf(int species)
{
    return windowsOf(species).value(0);
}

} // namespace

class TestNavigation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void layerButtonsAndKeys_data();
    void layerButtonsAndKeys();
    void layerChangeReloadsEveryWindow();
    void manualMaximumKeptAcrossLayers();
    void buttonDownWhileWindowOpen_data();
    void buttonDownWhileWindowOpen();
    void fileWithFewerSpecies();
    void failedOpenKeepsWindows_data();
    void failedOpenKeepsWindows();

private:
    QString write(const ImBuilder& b, const QString& name);
    void open(const ImBuilder& b, const QString& name);
    // The window's picture is that of plane `plane` of its species in the range min .. max.
    static QString pictureProblem(const ImageWindow* w, const ImBuilder& b, int plane, double min,
                                  double max);

    QTemporaryDir m_dir;
    QPointer<Main> m_main;
    QStringList m_messages;
};

QString TestNavigation::write(const ImBuilder& b, const QString& name)
{
    const QString path = m_dir.filePath(name);
    if (!b.write(path))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestNavigation::open(const ImBuilder& b, const QString& name)
{
    m_main->OpenImage(write(b, name));
    QVERIFY(m_main->file().isOpen());
}

QString TestNavigation::pictureProblem(const ImageWindow* w, const ImBuilder& b, int plane,
                                       double min, double max)
{
    return pictureDifference(w->ImageCanvas()->backdrop(),
                             expectedPicture(b, w->IDnumber + 1, plane, min, max));
}

void TestNavigation::initTestCase()
{
    QVERIFY(m_dir.isValid());
    setMessageHandler([this](const QString& text) { m_messages << text; });
}

void TestNavigation::init()
{
    m_messages.clear();
    m_main = Main::instance();
    QVERIFY(QTest::qWaitForWindowExposed(m_main));
}

void TestNavigation::cleanup()
{
    if (m_main)
        m_main->close();
    QTRY_VERIFY(m_main.isNull());
    QTRY_VERIFY(Main::imageWindows().isEmpty());
    QTRY_VERIFY(!TextListWindow::existing());
}

void TestNavigation::layerButtonsAndKeys_data()
{
    QTest::addColumn<int>("planes");
    // "+" / "-": the layer buttons; "D" / "U": Page Down / Up in the image window, "F" the same
    // while its minimum field has the focus; "d" / "u": in the main window, "p" Page Down there
    // while the layer pop-up has the focus.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<int>("plane");
    QTest::addColumn<bool>("minusEnabled");
    QTest::addColumn<bool>("plusEnabled");
    QTest::newRow("one plane: both buttons off") << 1 << "" << 1 << false << false;
    QTest::newRow("one plane: Page Down stays") << 1 << "Dd" << 1 << false << false;
    QTest::newRow("first of three") << 3 << "" << 1 << false << true;
    QTest::newRow("+1") << 3 << "+" << 2 << true << true;
    QTest::newRow("Page Down in the image window") << 3 << "D" << 2 << true << true;
    QTest::newRow("Page Down to the last and past it") << 3 << "DDD" << 3 << true << false;
    QTest::newRow("Page Up back") << 3 << "DDU" << 2 << true << true;
    QTest::newRow("Page Up on the first") << 3 << "U" << 1 << false << true;
    QTest::newRow("Page Down in a value field") << 3 << "F" << 2 << true << true;
    QTest::newRow("Page Down in the main window") << 3 << "d" << 2 << true << true;
    QTest::newRow("Page Down on the layer pop-up") << 3 << "p" << 2 << true << true;
    QTest::newRow("+1 +1, then Page Up in the main window") << 3 << "++u" << 2 << true << true;
    QTest::newRow("+1 -1") << 3 << "+-" << 1 << false << true;
}

void TestNavigation::layerButtonsAndKeys()
{
    QFETCH(int, planes);
    QFETCH(QString, steps);
    QFETCH(int, plane);
    QFETCH(bool, minusEnabled);
    QFETCH(bool, plusEnabled);
    const ImBuilder b = patternFile(1, planes, 64);
    open(b, "layers.im");
    QTest::mouseClick(m_main->ButtonSpecies(0), Qt::LeftButton);
    ImageWindow* w = windowOf(0);
    QVERIFY(w);
    QVERIFY(QTest::qWaitForWindowExposed(w));

    int changes = 0;
    for (const QChar step : steps) {
        const int before = m_main->SelPlane();
        switch (step.unicode()) {
        case '+':
            QTest::mouseClick(m_main->LayerPlus(), Qt::LeftButton);
            break;
        case '-':
            QTest::mouseClick(m_main->LayerMinus(), Qt::LeftButton);
            break;
        case 'D':
        case 'U':
            // Through the window system, to whichever control has the window's focus.
            QTest::keyClick(w->windowHandle(), step == 'D' ? Qt::Key_PageDown : Qt::Key_PageUp);
            break;
        case 'F':
            QTest::mouseClick(w->MinValueField(), Qt::LeftButton);
            QCOMPARE(w->focusWidget(), w->MinValueField());
            QTest::keyClick(w->windowHandle(), Qt::Key_PageDown);
            break;
        case 'd':
        case 'u':
            QTest::keyClick(m_main->windowHandle(),
                            step == 'd' ? Qt::Key_PageDown : Qt::Key_PageUp);
            break;
        case 'p':
            m_main->LayerPopUp()->setFocus();
            QTest::keyClick(m_main->windowHandle(), Qt::Key_PageDown);
            break;
        }
        changes += m_main->SelPlane() != before ? 1 : 0;
    }

    QCOMPARE(m_main->SelPlane(), plane);
    QCOMPARE(m_main->LayerPopUp()->currentIndex(), plane - 1);
    QCOMPARE(m_main->LayerMinus()->isEnabled(), minusEnabled);
    QCOMPARE(m_main->LayerPlus()->isEnabled(), plusEnabled);
    QCOMPARE(w->windowTitle(), QStringLiteral("12C (Layer %1)").arg(plane));
    QCOMPARE(w->MaxValueField()->text(), QString::number(253 * plane));
    // One load at the opening and one per layer actually changed; none at either end.
    QCOMPARE(historyLines().count(loadLine), 1 + changes);
    const QString diff = pictureProblem(w, b, plane, 0, 253.0 * plane);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
}

void TestNavigation::layerChangeReloadsEveryWindow()
{
    const ImBuilder b = patternFile(3, 3, 64);
    open(b, "reload.im");
    QTest::mouseClick(m_main->ButtonSpecies(0), Qt::LeftButton);
    QTest::mouseClick(m_main->ButtonSpecies(2), Qt::LeftButton);
    const QList<ImageWindow*> windows = {windowOf(0), windowOf(2)};
    QVERIFY(windows[0] && windows[1]);
    QTest::mouseClick(TextListWindow::existing()->ClearButton(), Qt::LeftButton);
    QVERIFY(historyLines().isEmpty());

    QTest::mouseClick(m_main->LayerPlus(), Qt::LeftButton);
    // Each window in turn: the new maximum's field line (the minimum, 0 again, writes none),
    // then the load and its one redraw.
    const QStringList perWindow = {maxLine, loadLine, drawLine};
    QCOMPARE(historyLines(), perWindow + perWindow);
    QCOMPARE(windows[0]->windowTitle(), QStringLiteral("12C (Layer 2)"));
    QCOMPARE(windows[1]->windowTitle(), QStringLiteral("14N (Layer 2)"));
    for (const ImageWindow* w : windows) {
        const QString diff = pictureProblem(w, b, 2, 0, 506);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }

    // Page Down in one image window moves them all. A history window closed by the user is
    // made anew, empty, by the next line.
    QPointer<TextListWindow> history = TextListWindow::existing();
    history->close();
    QTRY_VERIFY(history.isNull());
    QTest::keyClick(windows[1]->windowHandle(), Qt::Key_PageDown);
    QCOMPARE(m_main->SelPlane(), 3);
    QCOMPARE(historyLines(), perWindow + perWindow);
    QCOMPARE(windows[0]->windowTitle(), QStringLiteral("12C (Layer 3)"));
    QCOMPARE(windows[1]->windowTitle(), QStringLiteral("14N (Layer 3)"));
    for (const ImageWindow* w : windows) {
        const QString diff = pictureProblem(w, b, 3, 0, 759);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }
}

void TestNavigation::manualMaximumKeptAcrossLayers()
{
    const ImBuilder b = patternFile(2, 3, 64);
    open(b, "manual.im");
    QTest::mouseClick(m_main->ButtonSpecies(0), Qt::LeftButton);
    QTest::mouseClick(m_main->ButtonSpecies(1), Qt::LeftButton);
    ImageWindow* manual = windowOf(0);
    ImageWindow* automatic = windowOf(1);
    QVERIFY(manual && automatic);
    QLineEdit* field = manual->MaxValueField();
    QTest::mouseClick(field, Qt::LeftButton);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, QStringLiteral("500"));
    QCOMPARE(manual->MaxButton()->text(), QStringLiteral("Man Max:"));

    for (int plane = 2; plane <= 3; ++plane) {
        const int lines = int(historyLines().size());
        QTest::mouseClick(m_main->LayerPlus(), Qt::LeftButton);
        // Only the automatic maximum is written into its field.
        const QStringList added = historyLines().mid(lines);
        QCOMPARE(added.count(maxLine), 1);
        QCOMPARE(added.count(loadLine), 2);
        QCOMPARE(added.count(drawLine), 2);
        QCOMPARE(manual->model().ColorMaxValue, 500.0);
        QCOMPARE(field->text(), QStringLiteral("500"));
        QCOMPARE(manual->MaxButton()->text(), QStringLiteral("Man Max:"));
        QCOMPARE(manual->model().ImArrayMax, 253.0 * plane);
        QCOMPARE(automatic->model().ColorMaxValue, 253.0 * plane);
        QCOMPARE(automatic->MaxValueField()->text(), QString::number(253 * plane));
        // Samples above 500 now show the high colour.
        QString diff = pictureProblem(manual, b, plane, 0, 500);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
        diff = pictureProblem(automatic, b, plane, 0, 253.0 * plane);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }
}

void TestNavigation::buttonDownWhileWindowOpen_data()
{
    // Digits click that species' button; letters a to d close that species' window with its
    // close box.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QList<int>>("open");
    QTest::newRow("press") << "0" << QList<int>{0};
    QTest::newRow("press twice closes") << "00" << QList<int>{};
    QTest::newRow("two species") << "31" << QList<int>{1, 3};
    QTest::newRow("two, one released") << "313" << QList<int>{1};
    QTest::newRow("close box") << "2c" << QList<int>{};
    QTest::newRow("close box, pressed again") << "2c2" << QList<int>{2};
    QTest::newRow("all four, some back") << "0123ad0" << QList<int>{0, 1, 2};
}

void TestNavigation::buttonDownWhileWindowOpen()
{
    QFETCH(QString, steps);
    QFETCH(QList<int>, open);
    this->open(patternFile(4, 1, 64), "buttons.im");
    for (const QChar step : steps) {
        if (step.isDigit()) {
            QTest::mouseClick(m_main->ButtonSpecies(step.digitValue()), Qt::LeftButton);
        } else {
            QPointer<ImageWindow> w = windowOf(step.unicode() - 'a');
            QVERIFY(w);
            w->close();
            QTRY_VERIFY(w.isNull());
        }
        for (int i = 0; i < 8; ++i) {
            const int windows = int(windowsOf(i).size());
            QVERIFY2(windows <= 1, qPrintable(QStringLiteral("species %1").arg(i)));
            QCOMPARE(m_main->ButtonSpecies(i)->isChecked(), windows == 1);
        }
    }
    QList<int> shown;
    for (const ImageWindow* w : Main::imageWindows())
        shown << w->IDnumber;
    std::sort(shown.begin(), shown.end());
    QCOMPARE(shown, open);
}

void TestNavigation::fileWithFewerSpecies()
{
    const ImBuilder four = patternFile(4, 2, 64);
    open(four, "four.im");
    QTest::mouseClick(m_main->LayerPlus(), Qt::LeftButton);
    QTest::mouseClick(m_main->ButtonSpecies(1), Qt::LeftButton);
    QTest::mouseClick(m_main->ButtonSpecies(3), Qt::LeftButton);
    QPointer<ImageWindow> kept = windowOf(1);
    QPointer<ImageWindow> lacking = windowOf(3);
    QVERIFY(kept && lacking);
    lacking->move(222, 111);
    const int lines = int(historyLines().size());

    // Larger frames, other samples.
    const ImBuilder two = patternFile(2, 1, 128, 1000);
    open(two, "two.im");
    QTRY_VERIFY(lacking.isNull());
    QVERIFY(!m_main->ButtonSpecies(3)->isChecked());
    QVERIFY(m_main->ButtonSpecies(3)->isHidden());
    QCOMPARE(Globals::ImageLeft[3], 222);
    QCOMPARE(Globals::ImageTop[3], 111);
    // The other window shows the first layer of the new file; the closed one read nothing.
    QVERIFY(kept);
    QCOMPARE(historyLines().mid(lines), QStringList({maxLine, minLine, loadLine, drawLine}));
    QVERIFY(m_main->ButtonSpecies(1)->isChecked());
    QCOMPARE(kept->windowTitle(), QStringLiteral("13C (Layer 1)"));
    QCOMPARE(kept->contentSize(), QSize(249, 187));
    QCOMPARE(kept->MinValueField()->text(), QStringLiteral("1000"));
    QCOMPARE(kept->MaxValueField()->text(), QStringLiteral("1253"));
    const QString diff = pictureProblem(kept, two, 1, 1000, 1253);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));

    // With the first file back, the species opens where its window was closed.
    open(four, "four.im");
    QVERIFY(!m_main->ButtonSpecies(3)->isHidden());
    QVERIFY(!m_main->ButtonSpecies(3)->isChecked());
    QTest::mouseClick(m_main->ButtonSpecies(3), Qt::LeftButton);
    QVERIFY(windowOf(3));
    QCOMPARE(windowOf(3)->pos(), QPoint(222, 111));
}

void TestNavigation::failedOpenKeepsWindows_data()
{
    QTest::addColumn<QString>("name"); // empty: the Open dialog was cancelled
    QTest::addColumn<bool>("refused");
    QTest::newRow("cancelled") << "" << false;
    QTest::newRow("not an image file") << "notimage.im" << true;
    QTest::newRow("missing") << "missing.im" << false;
}

void TestNavigation::failedOpenKeepsWindows()
{
    QFETCH(QString, name);
    QFETCH(bool, refused);
    const ImBuilder b = patternFile(2, 2, 64);
    open(b, "kept.im");
    QTest::mouseClick(m_main->ButtonSpecies(0), Qt::LeftButton);
    ImageWindow* w = windowOf(0);
    QVERIFY(w);
    const QImage picture = w->ImageCanvas()->backdrop();
    const int lines = int(historyLines().size());

    QString path;
    if (refused) {
        ImBuilder bad = patternFile(1, 1, 64);
        bad.marker = "SOMETHING ELSE";
        path = write(bad, name);
    } else if (!name.isEmpty()) {
        path = m_dir.filePath(name);
    }
    m_main->OpenImage(path);
    QVERIFY(!m_main->file().isOpen());
    QCOMPARE(windowOf(0), w);
    QVERIFY(m_main->ButtonSpecies(0)->isChecked());

    // A layer change then has nothing to read: the window keeps its layer and its title.
    QTest::mouseClick(m_main->LayerPlus(), Qt::LeftButton);
    QCOMPARE(m_main->SelPlane(), 2);
    QCOMPARE(windowOf(0), w);
    QCOMPARE(w->windowTitle(), QStringLiteral("12C (Layer 1)"));
    QCOMPARE(w->ImageCanvas()->backdrop(), picture);
    QCOMPARE(historyLines().size(), lines);
    QVERIFY(m_messages.isEmpty());
}

QTEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
