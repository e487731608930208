#include "app/dialogs.h"
#include "app/globals.h"
#include "app/msgbox.h"
#include "app/textlistwindow.h"
#include "display/imagewindow.h"
#include "imbuilder.h"
#include "mainwindow/mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUrl>

namespace {

// A well-formed file: 64 x 64 frames, species and planes as asked.
ImBuilder makeFile(int species, int planes, QList<QByteArray> labels = {"16O", "12C", "13C"})
{
    ImBuilder b;
    b.nSpecies = species;
    b.labels = labels;
    b.width = 64;
    b.height = 64;
    b.nPlanes = planes;
    b.headerSize = 10000;
    b.duration = 1200;
    b.positionX = -1234;
    b.positionY = 56789;
    return b;
}

const QString loadLine = QStringLiteral("LoadNewImage calls Update Display");

int historyLoads()
{
    const TextListWindow* history = TextListWindow::existing();
    if (!history)
        return 0;
    return int(history->ListBox1()->findItems(loadLine, Qt::MatchExactly).size());
}

int openImageWindows(int species)
{
    int n = 0;
    for (const ImageWindow* w : Main::imageWindows())
        n += w->IDnumber == species ? 1 : 0;
    return n;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void layout_data();
    void layout();
    void windowAndInitialState();
    void placement_data();
    void placement();

    void openThroughDialog();
    void cancelKeepsSummary();
    void refusedKeepsSummary();
    void dropOpensFirstOnly();
    void dropOfOtherTypeRefused_data();
    void dropOfOtherTypeRefused();

    void summaryOfThreeSpecies();
    void messagesInOrderAndPSizeKept();
    void unshowableFrames_data();
    void unshowableFrames();
    void zeroPlanes();

    void layerControls_data();
    void layerControls();
    void details();

    void speciesButtonsOpenAndClose();
    void closeBoxReleasesButton();
    void layerChangeReloadsEveryWindow();
    void newFileWithFewerSpeciesClosesWindow();
    void unshowableFileClosesWindows();

private:
    QString write(const ImBuilder& b, const QString& name, qint64 extraBytes = 0);
    void open(const QString& path);

    QTemporaryDir m_dir;
    QPointer<Main> m_main;
    QStringList m_messages;
    struct DialogCall
    {
        QString title;
        QString filter;
    };
    QList<DialogCall> m_dialogCalls;
    QString m_dialogAnswer;
};

QString TestMainWindow::write(const ImBuilder& b, const QString& name, qint64 extraBytes)
{
    const QString path = m_dir.filePath(name);
    if (!b.write(path, extraBytes))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestMainWindow::open(const QString& path)
{
    m_dialogAnswer = path;
    // The Open command, as the menu runs it with the main window in front.
    m_main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_main));
    QTest::keyClick(m_main, Qt::Key_O, Qt::ControlModifier);
}

void TestMainWindow::initTestCase()
{
    QVERIFY(m_dir.isValid());
    setMessageHandler([this](const QString& text) { m_messages << text; });
    Dialogs::setOpenFile([this](QWidget*, const QString& title, const QString& filter) {
        m_dialogCalls.append({title, filter});
        return m_dialogAnswer;
    });
}

void TestMainWindow::init()
{
    m_messages.clear();
    m_dialogCalls.clear();
    m_dialogAnswer.clear();
    m_main = Main::instance();
    QVERIFY(QTest::qWaitForWindowExposed(m_main));
}

void TestMainWindow::cleanup()
{
    // Closing the main window closes every other window, as at the end of a run.
    if (m_main)
        m_main->close();
    QTRY_VERIFY(m_main.isNull());
    QTRY_VERIFY(Main::imageWindows().isEmpty());
    QTRY_VERIFY(!TextListWindow::existing());
    QVERIFY(!Main::existing());
}

void TestMainWindow::layout_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("file name") << "TFileName" << QRect(62, 14, 234, 20);
    QTest::newRow("first species button") << "ButtonSpecies(0)" << QRect(20, 46, 60, 22);
    QTest::newRow("last species button") << "ButtonSpecies(7)" << QRect(236, 80, 60, 22);
    QTest::newRow("layer pop-up") << "LayerPopUp" << QRect(70, 114, 61, 19);
    QTest::newRow("minus") << "LayerMinus" << QRect(204, 114, 40, 20);
    QTest::newRow("plus") << "LayerPlus" << QRect(256, 114, 40, 20);
    QTest::newRow("details triangle") << "Details" << QRect(20, 162, 12, 12);
    QTest::newRow("first details caption") << "ST(2)" << QRect(20, 186, 110, 12);
    QTest::newRow("species count field") << "TnSpecies" << QRect(152, 506, 144, 12);
    QTest::newRow("last species caption") << "STspecies(7)" << QRect(20, 666, 110, 12);
}

void TestMainWindow::layout()
{
    QFETCH(QString, control);
    QFETCH(QRect, rect);
    const QWidget* w = m_main->content()->findChild<QWidget*>(control);
    QVERIFY2(w, qPrintable(control));
    QCOMPARE(w->parentWidget(), m_main->content());
    QCOMPARE(w->geometry(), rect);
}

void TestMainWindow::windowAndInitialState()
{
    QCOMPARE(m_main->windowTitle(), QStringLiteral("Isolumen  0.0.1"));
    QCOMPARE(m_main->content()->size(), QSize(316, 186));
    QCOMPARE(m_main->width(), 316);
    // Not resizable, and no zoom button.
    QCOMPARE(m_main->minimumSize(), m_main->maximumSize());
    QVERIFY(!(m_main->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(m_main->acceptDrops());

    for (int i = 0; i < 8; ++i) {
        QVERIFY(m_main->ButtonSpecies(i)->isHidden());
        QVERIFY(m_main->ButtonSpecies(i)->isCheckable());
        QCOMPARE(m_main->ButtonSpecies(i)->text(), QStringLiteral("Sp%1").arg(i + 1));
        QCOMPARE(m_main->TSpecies(i)->text(), QStringLiteral("-"));
        QCOMPARE(m_main->STspecies(i)->text(), QStringLiteral("Species %1:").arg(i + 1));
    }
    QCOMPARE(m_main->TFileName()->text(), QStringLiteral("(open file or drag file here)"));
    QCOMPARE(m_main->LayerPopUp()->count(), 1);
    QCOMPARE(m_main->LayerPopUp()->currentText(), QStringLiteral("-"));
    QCOMPARE(m_main->TLayerOf()->text(), QStringLiteral("of -"));
    QVERIFY(m_main->LayerMinus()->isEnabled());
    QVERIFY(m_main->LayerPlus()->isEnabled());
    QVERIFY(!m_main->Details()->isChecked());
    QCOMPARE(m_main->TFileName()->font().pixelSize(), 12);
    QCOMPARE(m_main->ST(2)->font().pixelSize(), 10);
    QVERIFY(!m_main->file().isOpen());
}

void TestMainWindow::placement_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QList<int>>("lefts");
    QTest::newRow("1280 wide, top 22")
        << QRect(0, 22, 1280, 1002) << QList<int>{316, 557, 798, 1039};
    QTest::newRow("2560 wide: columns 375 apart")
        << QRect(0, 22, 2560, 1418) << QList<int>{316, 691, 1066, 1441};
}

void TestMainWindow::placement()
{
    // At start-up the window placed itself on the main screen.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(m_main->pos(), screen.topLeft() + QPoint(0, 24));
    QCOMPARE(Globals::ImageLeft[0], screen.left() + 316);

    QFETCH(QRect, available);
    QFETCH(QList<int>, lefts);
    m_main->placeOn(available);
    QCOMPARE(m_main->pos(), QPoint(available.left(), available.top() + 24));
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(Globals::ImageLeft[i], lefts[i]);
        QCOMPARE(Globals::ImageLeft[i + 4], lefts[i]);
        QCOMPARE(Globals::ImageTop[i], available.top());
        QCOMPARE(Globals::ImageTop[i + 4], available.top() + 315);
    }
}

void TestMainWindow::openThroughDialog()
{
    const QString path = write(makeFile(2, 1), "dialog.im");
    open(path);
    QCOMPARE(m_dialogCalls.size(), 1);
    QCOMPARE(m_dialogCalls[0].title, QStringLiteral("Select a raw NanoSIMS image (*.im) file"));
    QVERIFY(m_dialogCalls[0].filter.contains(QStringLiteral("*.im")));
    QCOMPARE(m_main->TFileName()->text(), QStringLiteral("dialog.im"));
    QVERIFY(m_main->file().isOpen());
    QCOMPARE(m_main->header().Nspecies, 2);
    QCOMPARE(Globals::PSize, 64);
    QVERIFY(m_messages.isEmpty());
}

void TestMainWindow::cancelKeepsSummary()
{
    open(write(makeFile(2, 1), "shown.im"));
    QVERIFY(m_main->file().isOpen());
    open(QString()); // the user cancels the dialog
    QCOMPARE(m_dialogCalls.size(), 2);
    QCOMPARE(m_main->TFileName()->text(), QStringLiteral("(open file or drag file here)"));
    QVERIFY(!m_main->file().isOpen());
    QCOMPARE(m_main->TPixelSize()->text(), QStringLiteral("64 x 64"));
    QCOMPARE(m_main->TSpecies(1)->text(), QStringLiteral("12C"));
    QVERIFY(!m_main->ButtonSpecies(1)->isHidden());
    QCOMPARE(m_main->header().FileName, QStringLiteral("shown.im"));

    // A folder is no usable file either.
    open(write(makeFile(2, 1), "again.im"));
    open(m_dir.path());
    QCOMPARE(m_main->TFileName()->text(), QStringLiteral("(open file or drag file here)"));
    QVERIFY(!m_main->file().isOpen());
}

void TestMainWindow::refusedKeepsSummary()
{
    open(write(makeFile(2, 1), "good.im"));
    ImBuilder bad = makeFile(1, 1);
    bad.marker = "SOMETHING ELSE";
    open(write(bad, "bad.im"));
    QCOMPARE(m_main->TFileName()->text(), QStringLiteral("(not an image file)"));
    QVERIFY(!m_main->file().isOpen());
    QCOMPARE(m_main->detailField("TnSpecies")->text(), QStringLiteral("2"));
    QCOMPARE(m_main->TLayerOf()->text(), QStringLiteral("of 1"));
    QCOMPARE(m_main->header().FileName, QStringLiteral("good.im"));
    QVERIFY(m_messages.isEmpty());
}

void TestMainWindow::dropOpensFirstOnly()
{
    const QString first = write(makeFile(2, 1), "first.im");
    const QString second = write(makeFile(3, 1), "second.im");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(first), QUrl::fromLocalFile(second)});

    // Dropped on a label: the main window takes the drop for its controls.
    QWidget* target = m_main->TFileName();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QVERIFY(drop.isAccepted());

    QCOMPARE(m_main->TFileName()->text(), QStringLiteral("first.im"));
    QCOMPARE(m_main->header().Nspecies, 2);
    QVERIFY(m_dialogCalls.isEmpty());
}

void TestMainWindow::dropOfOtherTypeRefused_data()
{
    QTest::addColumn<QList<QUrl>>("urls");
    const QString text = m_dir.filePath("notes.txt");
    QFile(text).open(QIODevice::WriteOnly);
    const QString image = m_dir.filePath("image.im");
    QTest::newRow("a text file") << QList<QUrl>{QUrl::fromLocalFile(text)};
    QTest::newRow("a text file first")
        << QList<QUrl>{QUrl::fromLocalFile(text), QUrl::fromLocalFile(image)};
    QTest::newRow("a remote file") << QList<QUrl>{QUrl("https://example.org/x.im")};
}

void TestMainWindow::dropOfOtherTypeRefused()
{
    QFETCH(QList<QUrl>, urls);
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_main->content(), &enter);
    QVERIFY(!enter.isAccepted());
    QCOMPARE(m_main->TFileName()->text(), QStringLiteral("(open file or drag file here)"));
}

void TestMainWindow::summaryOfThreeSpecies()
{
    ImBuilder b = makeFile(3, 2, {"16O", "12C", ""});
    b.origName = "test acquisition";
    const QString path = write(b, "three.im");
    open(path);

    QCOMPARE(m_main->TPixelSize()->text(), QStringLiteral("64 x 64"));
    QCOMPARE(m_main->TMicronSize()->text(), QStringLiteral("20.0 µm"));
    const QList<std::pair<const char*, QString>> fields = {
        {"TOrigName", "test acquisition"},
        {"TMeasDate", "05-Mar-2007, 14:30"},
        {"TFileSize", "59,152 bytes"},
        {"TPositionX", "-1,234"},
        {"TPositionY", "+56,789"},
        {"TDurationLayer", "10.0 min"},
        {"TDurationPixel", "146.5 ms"},
        {"Tnplanes", "2"},
        {"TnSpecies", "3"},
    };
    for (const auto& [name, text] : fields)
        QCOMPARE(m_main->detailField(QLatin1String(name))->text(), text);

    const QStringList names = {"16O", "12C", "S.E.", "-", "-", "-", "-", "-"};
    for (int i = 0; i < 8; ++i) {
        const bool used = i < 3;
        QCOMPARE(m_main->ButtonSpecies(i)->isHidden(), !used);
        QCOMPARE(m_main->TSpecies(i)->text(), names[i]);
        QCOMPARE(m_main->TSpecies(i)->isEnabled(), used);
        QCOMPARE(m_main->STspecies(i)->text(),
                 used ? QStringLiteral("Species %1:").arg(i + 1) : QStringLiteral("-"));
        QCOMPARE(m_main->STspecies(i)->isEnabled(), used);
        if (used) {
            QCOMPARE(m_main->ButtonSpecies(i)->text(), names[i]);
            QVERIFY(m_main->ButtonSpecies(i)->isEnabled());
        }
    }
    QCOMPARE(m_main->LayerPopUp()->count(), 2);
    QCOMPARE(m_main->LayerPopUp()->itemText(1), QStringLiteral("2"));
    QCOMPARE(m_main->TLayerOf()->text(), QStringLiteral("of 2"));
    QCOMPARE(m_main->SelPlane(), 1);
}

void TestMainWindow::messagesInOrderAndPSizeKept()
{
    open(write(makeFile(1, 1), "first.im"));
    QCOMPARE(Globals::PSize, 64);
    ImBuilder odd = makeFile(1, 1);
    odd.width = 300;
    odd.height = 300;
    odd.nmSize = 30000;
    open(write(odd, "odd.im", 2)); // two stray bytes at the end, too
    QCOMPARE(m_messages, QStringList({"File size does not compute correctly.",
                                      "Cannot handle this pixel size."}));
    // Every value is shown all the same.
    QCOMPARE(m_main->TFileName()->text(), QStringLiteral("odd.im"));
    QCOMPARE(m_main->TPixelSize()->text(), QStringLiteral("300 x 300"));
    QCOMPARE(m_main->TMicronSize()->text(), QStringLiteral("30.0 µm"));
    QCOMPARE(Globals::PSize, 64);
}

void TestMainWindow::unshowableFrames_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("planes");
    QTest::newRow("300 x 300") << 300 << 300 << 1;
    QTest::newRow("not square") << 64 << 128 << 1;
    QTest::newRow("header only") << 64 << 64 << 0;
}

void TestMainWindow::unshowableFrames()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, planes);
    ImBuilder b = makeFile(2, planes);
    b.width = qint16(width);
    b.height = qint16(height);
    b.headerSize = 12000; // files of just a header are long enough too
    open(write(b, "unshowable.im"));
    QCOMPARE(m_main->TFileName()->text(), QStringLiteral("unshowable.im"));
    for (int i = 0; i < 2; ++i) {
        QPushButton* button = m_main->ButtonSpecies(i);
        QVERIFY(!button->isHidden());
        QVERIFY(!button->isEnabled());
        QVERIFY(!button->toolTip().isEmpty());
    }
    // A later good file enables them again.
    open(write(makeFile(2, 1), "good.im"));
    QVERIFY(m_main->ButtonSpecies(1)->isEnabled());
    QVERIFY(m_main->ButtonSpecies(1)->toolTip().isEmpty());
}

void TestMainWindow::zeroPlanes()
{
    ImBuilder b = makeFile(2, 0);
    b.headerSize = 12000;
    open(write(b, "noplanes.im"));
    QCOMPARE(m_main->LayerPopUp()->count(), 0);
    QCOMPARE(m_main->TLayerOf()->text(), QStringLiteral("of 0"));
    QVERIFY(!m_main->LayerMinus()->isEnabled());
    QVERIFY(!m_main->LayerPlus()->isEnabled());
    QCOMPARE(m_main->SelPlane(), 1);
    QCOMPARE(m_main->detailField("TDurationLayer")->text(), QStringLiteral("-"));
}

void TestMainWindow::layerControls_data()
{
    QTest::addColumn<int>("planes");
    QTest::addColumn<QString>("clicks"); // "+" and "-" on the layer buttons
    QTest::addColumn<int>("selPlane");
    QTest::addColumn<bool>("minusEnabled");
    QTest::addColumn<bool>("plusEnabled");
    QTest::newRow("one plane") << 1 << "" << 1 << false << false;
    QTest::newRow("first of three") << 3 << "" << 1 << false << true;
    QTest::newRow("middle") << 3 << "+" << 2 << true << true;
    QTest::newRow("last") << 3 << "++" << 3 << true << false;
    QTest::newRow("back to first") << 3 << "++--" << 1 << false << true;
}

void TestMainWindow::layerControls()
{
    QFETCH(int, planes);
    QFETCH(QString, clicks);
    QFETCH(int, selPlane);
    QFETCH(bool, minusEnabled);
    QFETCH(bool, plusEnabled);
    open(write(makeFile(1, planes), "layers.im"));
    QCOMPARE(m_main->LayerPopUp()->count(), planes);
    for (const QChar c : clicks) {
        QPushButton* button = c == '+' ? m_main->LayerPlus() : m_main->LayerMinus();
        QVERIFY(button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QCOMPARE(m_main->SelPlane(), selPlane);
    QCOMPARE(m_main->LayerPopUp()->currentIndex(), selPlane - 1);
    QCOMPARE(m_main->LayerMinus()->isEnabled(), minusEnabled);
    QCOMPARE(m_main->LayerPlus()->isEnabled(), plusEnabled);

    // Selecting in code runs the change handler too.
    m_main->LayerPopUp()->setCurrentIndex(planes - 1);
    QCOMPARE(m_main->SelPlane(), planes);
    QVERIFY(!m_main->LayerPlus()->isEnabled());
}

void TestMainWindow::details()
{
    const int collapsedWindow = m_main->height();
    QTest::mouseClick(m_main->Details(), Qt::LeftButton);
    QVERIFY(m_main->Details()->isChecked());
    QCOMPARE(m_main->content()->height(), 700);
    QTRY_COMPARE(m_main->height(), collapsedWindow + 700 - 186);
    QVERIFY(m_main->STspecies(7)->isVisible());
    QTest::mouseClick(m_main->Details(), Qt::LeftButton);
    QCOMPARE(m_main->content()->height(), 186);
    QTRY_COMPARE(m_main->height(), collapsedWindow);
}

void TestMainWindow::speciesButtonsOpenAndClose()
{
    open(write(makeFile(2, 1), "species.im"));
    QPushButton* button = m_main->ButtonSpecies(1);
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(button->isChecked());
    QCOMPARE(Globals::AssignID, 1);
    QCOMPARE(Main::imageWindows().size(), 1);
    ImageWindow* window = Main::imageWindows().first();
    QCOMPARE(window->IDnumber, 1);
    QCOMPARE(window->pos(), QPoint(Globals::ImageLeft[1], Globals::ImageTop[1]));
    // The first load brings up the history window.
    QVERIFY(TextListWindow::existing());
    QCOMPARE(historyLoads(), 1);

    QTest::mouseClick(m_main->ButtonSpecies(0), Qt::LeftButton);
    QCOMPARE(Main::imageWindows().size(), 2);

    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!button->isChecked());
    QCOMPARE(openImageWindows(1), 0);
    QCOMPARE(openImageWindows(0), 1);
    QVERIFY(m_main->ButtonSpecies(0)->isChecked());
}

void TestMainWindow::closeBoxReleasesButton()
{
    open(write(makeFile(3, 1), "close.im"));
    QPushButton* button = m_main->ButtonSpecies(2);
    QTest::mouseClick(button, Qt::LeftButton);
    QPointer<ImageWindow> window = Main::imageWindows().value(0);
    QVERIFY(window);
    window->move(123, 145);
    window->close();
    QVERIFY(!button->isChecked());
    QTRY_VERIFY(window.isNull());
    // Pressed again, it opens a new window where the last one was.
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(button->isChecked());
    QCOMPARE(Main::imageWindows().size(), 1);
    QCOMPARE(Main::imageWindows().first()->pos(), QPoint(123, 145));
}

void TestMainWindow::layerChangeReloadsEveryWindow()
{
    open(write(makeFile(3, 4), "reload.im"));
    QTest::mouseClick(m_main->ButtonSpecies(0), Qt::LeftButton);
    QTest::mouseClick(m_main->ButtonSpecies(2), Qt::LeftButton);
    QCOMPARE(historyLoads(), 2);
    QTest::mouseClick(m_main->LayerPlus(), Qt::LeftButton);
    QCOMPARE(historyLoads(), 4);
    // Reading a new file reloads once, at its end, not for each change of the pop-up.
    open(write(makeFile(3, 4), "reload2.im"));
    QCOMPARE(historyLoads(), 6);
    QCOMPARE(m_main->SelPlane(), 1);
    // A refused file tells the image windows nothing.
    open(m_dir.filePath("missing.im"));
    QCOMPARE(historyLoads(), 6);
}

void TestMainWindow::newFileWithFewerSpeciesClosesWindow()
{
    open(write(makeFile(3, 1), "three.im"));
    QTest::mouseClick(m_main->ButtonSpecies(0), Qt::LeftButton);
    QTest::mouseClick(m_main->ButtonSpecies(2), Qt::LeftButton);
    open(write(makeFile(2, 1), "two.im"));
    QCOMPARE(openImageWindows(2), 0);
    QCOMPARE(openImageWindows(0), 1);
    QVERIFY(!m_main->ButtonSpecies(2)->isChecked());
    QVERIFY(m_main->ButtonSpecies(2)->isHidden());
    QVERIFY(m_main->ButtonSpecies(0)->isChecked());
}

void TestMainWindow::unshowableFileClosesWindows()
{
    open(write(makeFile(2, 1), "good.im"));
    QTest::mouseClick(m_main->ButtonSpecies(0), Qt::LeftButton);
    const int loads = historyLoads();
    ImBuilder odd = makeFile(2, 1);
    odd.width = 300;
    odd.height = 300;
    open(write(odd, "odd.im"));
    QVERIFY(Main::imageWindows().isEmpty());
    QVERIFY(!m_main->ButtonSpecies(0)->isChecked());
    QCOMPARE(historyLoads(), loads); // nothing was read with the wrong frame size
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
