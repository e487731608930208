#include "app/dialogs.h"
#include "app/globals.h"
#include "app/msgbox.h"
#include "display/canvas.h"
#include "display/imagewindow.h"
#include "mainwindow/mainwindow.h"
#include "windowtesting.h"

#include <QtTest>
#include <QtWidgets>

using namespace WindowTesting;

namespace {

const QString noFile = QStringLiteral("(open file or drag file here)");

ImageWindow* windowOf(int species)
{
    for (ImageWindow* w : Main::imageWindows()) {
        if (w->IDnumber == species)
            return w;
    }
    return nullptr;
}

// The window shows plane `plane` of its species in the display range min .. max.
void checkPicture(const ImageWindow* w, const ImBuilder& b, int plane, double min, double max)
{
    const QString diff = pictureDifference(w->ImageCanvas()->backdrop(),
                                           expectedPicture(b, w->IDnumber + 1, plane, min, max));
    QVERIFY2(diff.isEmpty(), qPrintable(w->windowTitle() + ": " + diff));
}

} // namespace

// The main window: its controls, opening files (dialog and drops), the summary it shows, and
// the species buttons and layer controls driving the open image windows.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        setMessageHandler([this](const QString& text) { m_messages << text; });
        Dialogs::setOpenFile([this](QWidget*, const QString& title, const QString& filter) {
            m_dialogCalls << title << filter;
            return m_dialogAnswer;
        });
    }

    void init()
    {
        m_messages.clear();
        m_dialogCalls.clear();
        m_main = Main::instance();
        QVERIFY(QTest::qWaitForWindowExposed(m_main));
    }

    void cleanup()
    {
        // Closing the main window closes every other window, as at the end of a run.
        if (m_main)
            m_main->close();
        QTRY_VERIFY(m_main.isNull());
        QTRY_VERIFY(Main::imageWindows().isEmpty());
        QTRY_VERIFY(!TextListWindow::existing());
        QCOMPARE(m_messages, QStringList()); // none unless a test expects and clears them
    }

    void layout_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QRect>("rect");
        QTest::newRow("first species button") << "ButtonSpecies(0)" << QRect(20, 46, 60, 22);
        QTest::newRow("last species button") << "ButtonSpecies(7)" << QRect(236, 80, 60, 22);
        QTest::newRow("layer pop-up") << "LayerPopUp" << QRect(70, 114, 61, 19);
        QTest::newRow("minus") << "LayerMinus" << QRect(204, 114, 40, 20);
        QTest::newRow("plus") << "LayerPlus" << QRect(256, 114, 40, 20);
        QTest::newRow("details triangle") << "Details" << QRect(20, 162, 12, 12);
        QTest::newRow("first details caption") << "ST(2)" << QRect(20, 186, 110, 12);
    }

    void layout()
    {
        QFETCH(QString, control);
        QFETCH(QRect, rect);
        const QWidget* w = m_main->content()->findChild<QWidget*>(control);
        QVERIFY2(w && w->parentWidget() == m_main->content(), qPrintable(control));
        QCOMPARE(w->geometry(), rect);
    }

    void titleAndDetails()
    {
        QCOMPARE(m_main->windowTitle(), QStringLiteral("Isolumen  0.0.1"));
        const int collapsed = m_main->height();
        QCOMPARE(m_main->content()->height(), 186);
        QTest::mouseClick(m_main->Details(), Qt::LeftButton);
        QCOMPARE(m_main->content()->height(), 700);
        QTRY_COMPARE(m_main->height(), collapsed + 700 - 186);
        QVERIFY(m_main->STspecies(7)->isVisible());
        QTest::mouseClick(m_main->Details(), Qt::LeftButton);
        QTRY_COMPARE(m_main->height(), collapsed);
    }

    void placement()
    {
        // Top left of the area, under a menu bar's height; image windows in two rows of four.
        for (const auto& [available, secondLeft] :
             {std::pair{QRect(0, 22, 1280, 1002), 557}, std::pair{QRect(0, 22, 2560, 1418), 691}}) {
            m_main->placeOn(available);
            QCOMPARE(m_main->pos(), QPoint(0, 22 + 24));
            QCOMPARE(Globals::ImageLeft[0], 316);
            QCOMPARE(Globals::ImageLeft[5], secondLeft);
            QCOMPARE(Globals::ImageTop[1], 22);
            QCOMPARE(Globals::ImageTop[5], 22 + 315);
        }
    }

    void failedOpenKeepsSummaryAndWindows_data()
    {
        QTest::addColumn<QString>("name"); // empty: the dialog was cancelled
        QTest::addColumn<QString>("label");
        QTest::newRow("cancelled") << "" << noFile;
        QTest::newRow("not an image file") << "bad.im"
                                           << "(not an image file)";
        QTest::newRow("missing") << "missing.im" << noFile;
        QTest::newRow("a folder") << "." << noFile;
    }

    void failedOpenKeepsSummaryAndWindows()
    {
        QFETCH(QString, name);
        QFETCH(QString, label);
        open(write(patternFile(2, 2, 64), "good.im"));
        QTest::mouseClick(m_main->ButtonSpecies(0), Qt::LeftButton);
        ImageWindow* w = Main::imageWindows().value(0);
        QVERIFY(w);
        const qsizetype lines = historyLines().size();
        ImBuilder bad = patternFile(1, 1, 64);
        bad.marker = "SOMETHING ELSE";
        write(bad, "bad.im");

        open(name.isEmpty() ? QString() : m_dir.filePath(name));
        QCOMPARE(m_main->TFileName()->text(), label);
        QVERIFY(!m_main->file().isOpen());
        // The last accepted file's values stay, and so do its windows.
        QCOMPARE(m_main->header().FileName, QStringLiteral("good.im"));
        QCOMPARE(m_main->TSpecies(1)->text(), QStringLiteral("13C"));
        QCOMPARE(m_main->detailField("TnSpecies")->text(), QStringLiteral("2"));
        QCOMPARE(Main::imageWindows(), QList<ImageWindow*>{w});
        QVERIFY(m_main->ButtonSpecies(0)->isChecked());
        // A layer change then has nothing to read: the window keeps its layer.
        QTest::mouseClick(m_main->LayerPlus(), Qt::LeftButton);
        QCOMPARE(m_main->SelPlane(), 2);
        QCOMPARE(w->windowTitle(), QStringLiteral("12C (Layer 1)"));
        QCOMPARE(historyLines().size(), lines);
    }

    void drops_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QString>("label"); // the no-file text: refused
        const QUrl first = QUrl::fromLocalFile(write(patternFile(2, 1, 64), "first.im"));
        const QUrl second = QUrl::fromLocalFile(write(patternFile(3, 1, 64), "second.im"));
        const QUrl text = QUrl::fromLocalFile(m_dir.filePath("notes.txt"));
        QFile(text.toLocalFile()).open(QIODevice::WriteOnly);
        QTest::newRow("two images: the first opens") << QList<QUrl>{first, second} << "first.im";
        QTest::newRow("a text file") << QList<QUrl>{text} << noFile;
        QTest::newRow("a text file first") << QList<QUrl>{text, first} << noFile;
        QTest::newRow("a remote file") << QList<QUrl>{QUrl("https://example.org/x.im")} << noFile;
    }

    void drops()
    {
        QFETCH(QList<QUrl>, urls);
        QFETCH(QString, label);
        QMimeData data;
        data.setUrls(urls);
        // Dropped on a label: the main window takes the drop for its controls.
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_main->TFileName(), &enter);
        QCOMPARE(enter.isAccepted(), label != noFile);
        if (enter.isAccepted()) {
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(m_main->TFileName(), &drop);
            QVERIFY(drop.isAccepted());
        }
        QCOMPARE(m_main->TFileName()->text(), label);
        QVERIFY(m_dialogCalls.isEmpty());
    }

    void openThroughDialogShowsSummary()
    {
        ImBuilder b = patternFile(3, 2, 64);
        b.labels = {"16O", "12C", ""}; // the last one unnamed
        b.origName = "test acquisition";
        b.duration = 1200;
        b.positionX = -1234;
        b.positionY = 56789;
        open(write(b, "three.im"));
        QCOMPARE(m_dialogCalls,
                 QStringList({"Select a raw NanoSIMS image (*.im) file", "image/NanoSIMS (*.im)"}));
        QVERIFY(m_main->file().isOpen());
        QCOMPARE(m_main->TFileName()->text(), QStringLiteral("three.im"));
        QCOMPARE(m_main->TPixelSize()->text(), QStringLiteral("64 x 64"));
        QCOMPARE(m_main->TMicronSize()->text(), QStringLiteral("20.0 µm"));
        const QStringList fields = {"TOrigName",      "test acquisition",
                                    "TMeasDate",      "05-Mar-2007, 14:30",
                                    "TFileSize",      "59,152 bytes",
                                    "TPositionX",     "-1,234",
                                    "TPositionY",     "+56,789",
                                    "TDurationLayer", "10.0 min",
                                    "TDurationPixel", "146.5 ms",
                                    "Tnplanes",       "2",
                                    "TnSpecies",      "3"}; // name, text
        for (int i = 0; i < fields.size(); i += 2)
            QCOMPARE(m_main->detailField(fields[i])->text(), fields[i + 1]);

        const QStringList names = {"16O", "12C", "S.E.", "-", "-", "-", "-", "-"};
        for (int i = 0; i < 8; ++i) {
            const bool used = i < 3;
            QCOMPARE(m_main->ButtonSpecies(i)->isHidden(), !used);
            QCOMPARE(m_main->TSpecies(i)->text(), names[i]);
            QCOMPARE(m_main->TSpecies(i)->isEnabled(), used);
            QCOMPARE(m_main->STspecies(i)->text(),
                     used ? QStringLiteral("Species %1:").arg(i + 1) : QStringLiteral("-"));
            if (used)
                QCOMPARE(m_main->ButtonSpecies(i)->text(), names[i]);
        }
        QCOMPARE(m_main->TLayerOf()->text(), QStringLiteral("of 2"));
    }

    void unshowableFile_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("planes");
        QTest::addColumn<int>("extraBytes");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("300 x 300, two stray bytes")
            << 300 << 300 << 1 << 2
            << QStringList{"File size does not compute correctly.",
                           "Cannot handle this pixel size."};
        QTest::newRow("not square")
            << 64 << 128 << 1 << 0 << QStringList{"Cannot handle this pixel size."};
        QTest::newRow("header only") << 128 << 128 << 0 << 0 << QStringList{};
    }

    void unshowableFile()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, planes);
        QFETCH(int, extraBytes);
        QFETCH(QStringList, messages);
        open(write(patternFile(2, 1, 128), "good.im"));
        QTest::mouseClick(m_main->ButtonSpecies(0), Qt::LeftButton);
        QCOMPARE(Main::imageWindows().size(), 1);
        const qsizetype lines = historyLines().size();

        ImBuilder b = patternFile(2, planes, width);
        b.height = qint16(height);
        b.headerSize = 12000; // files of just a header are long enough too
        open(write(b, "unshowable.im", extraBytes));
        QCOMPARE(m_messages, messages);
        m_messages.clear();
        // Every value is shown all the same; the frame side stays the last usable one.
        QCOMPARE(m_main->TFileName()->text(), QStringLiteral("unshowable.im"));
        QCOMPARE(m_main->TPixelSize()->text(), QStringLiteral("%1 x %2").arg(width).arg(height));
        QCOMPARE(Globals::PSize, 128);
        for (int i = 0; i < 2; ++i) {
            QVERIFY(!m_main->ButtonSpecies(i)->isHidden());
            QVERIFY(!m_main->ButtonSpecies(i)->isEnabled());
            QVERIFY(!m_main->ButtonSpecies(i)->toolTip().isEmpty());
        }
        // Its open windows close, having read nothing with the wrong frame size.
        QTRY_VERIFY(Main::imageWindows().isEmpty());
        QVERIFY(!m_main->ButtonSpecies(0)->isChecked());
        QCOMPARE(historyLines().size(), lines);
        // A later good file enables the buttons again.
        open(write(patternFile(2, 1, 64), "good.im"));
        QVERIFY(m_main->ButtonSpecies(1)->isEnabled());
        QVERIFY(m_main->ButtonSpecies(1)->toolTip().isEmpty());
    }

    // ---- Species buttons and layers ----

    void steps_data()
    {
        QTest::addColumn<int>("species");
        QTest::addColumn<int>("planes");
        // Digits click that species' button, "a" to "h" close that species' window with its
        // close box; "+" / "-" click the layer buttons; "D" / "U" are Page Down / Up in the
        // first image window, "F" Page Down there while its minimum field has the focus; "n" /
        // "p" Page Down / Up in the main window.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("plane");
        QTest::addColumn<bool>("minusEnabled");
        QTest::addColumn<bool>("plusEnabled");
        QTest::addColumn<QList<int>>("shown");
        const auto row = [](const char* name) -> QTestData& { return QTest::newRow(name); };
        row("one plane: both buttons off")
            << 1 << 1 << "0Dn" << 1 << false << false << QList<int>{0};
        row("+1 -1, Page Up on the first")
            << 1 << 3 << "0+-U" << 1 << false << true << QList<int>{0};
        row("Page Down to the last and past it")
            << 1 << 3 << "0DDD" << 3 << true << false << QList<int>{0};
        row("Page Down in a value field") << 1 << 3 << "0F" << 2 << true << true << QList<int>{0};
        row("+1 +1, Page Up in the main window")
            << 1 << 3 << "0++p" << 2 << true << true << QList<int>{0};
        row("two windows follow +1 and Page Down")
            << 3 << 3 << "02+D" << 3 << true << false << QList<int>{0, 2};
        row("pressed twice closes") << 4 << 1 << "00" << 1 << false << false << QList<int>{};
        row("two, one released") << 4 << 1 << "313" << 1 << false << false << QList<int>{1};
        row("close box, pressed again") << 4 << 1 << "2c2" << 1 << false << false << QList<int>{2};
        row("all four, some back")
            << 4 << 1 << "0123ad0" << 1 << false << false << QList<int>{0, 1, 2};
        row("closed, then a layer change")
            << 2 << 2 << "01a+" << 2 << true << false << QList<int>{1};
    }

    void steps()
    {
        QFETCH(int, species);
        QFETCH(int, planes);
        QFETCH(QString, steps);
        QFETCH(int, plane);
        QFETCH(bool, minusEnabled);
        QFETCH(bool, plusEnabled);
        QFETCH(QList<int>, shown);
        const ImBuilder b = patternFile(species, planes, 64);
        open(write(b, "steps.im"));
        QList<int> open;
        for (QChar step : steps) {
            const qsizetype lines = historyLines().size();
            const int before = m_main->SelPlane();
            ImageWindow* first = Main::imageWindows().value(0);
            if (step.isDigit()) {
                QTest::mouseClick(m_main->ButtonSpecies(step.digitValue()), Qt::LeftButton);
            } else if (step >= 'a' && step <= 'h') {
                QPointer<ImageWindow> w = windowOf(step.unicode() - 'a');
                QVERIFY(w);
                w->close();
                QTRY_VERIFY(w.isNull());
            } else if (step == '+' || step == '-') {
                QTest::mouseClick(step == '+' ? m_main->LayerPlus() : m_main->LayerMinus(),
                                  Qt::LeftButton);
            } else {
                if (step == 'F') {
                    QTest::mouseClick(first->MinValueField(), Qt::LeftButton);
                    QCOMPARE(first->focusWidget(), first->MinValueField());
                    step = 'D';
                }
                // Through the window system, to whichever control has the window's focus.
                QWidget* window = step.isUpper() ? static_cast<QWidget*>(first) : m_main.data();
                QTest::keyClick(window->windowHandle(),
                                step == 'D' || step == 'n' ? Qt::Key_PageDown : Qt::Key_PageUp);
            }
            // A layer change reloads each window in turn: its new maximum's field line (the
            // minimum, 0 again, writes none), the load and its one redraw. Else nothing loads.
            QStringList reloads;
            for (int i = 0; i < Main::imageWindows().size() && m_main->SelPlane() != before; ++i)
                reloads << maxLine << loadLine << drawLine;
            if (!step.isDigit())
                QCOMPARE(historyLines().mid(lines), reloads);

            const int p = m_main->SelPlane();
            open.clear();
            for (const ImageWindow* w : Main::imageWindows()) {
                open << w->IDnumber;
                QCOMPARE(w->windowTitle(),
                         b.labels[w->IDnumber] + QStringLiteral(" (Layer %1)").arg(p));
                checkPicture(w, b, p, 0, 253.0 * p);
            }
            for (int i = 0; i < 8; ++i)
                QCOMPARE(m_main->ButtonSpecies(i)->isChecked(), open.count(i) == 1);
        }
        QCOMPARE(m_main->SelPlane(), plane);
        QCOMPARE(m_main->LayerPopUp()->currentIndex(), plane - 1);
        QCOMPARE(m_main->LayerMinus()->isEnabled(), minusEnabled);
        QCOMPARE(m_main->LayerPlus()->isEnabled(), plusEnabled);
        std::sort(open.begin(), open.end());
        QCOMPARE(open, shown);
    }

    void manualMaximumKeptAcrossLayers()
    {
        const ImBuilder b = patternFile(2, 2, 64);
        open(write(b, "manual.im"));
        QTest::mouseClick(m_main->ButtonSpecies(0), Qt::LeftButton);
        QTest::mouseClick(m_main->ButtonSpecies(1), Qt::LeftButton);
        ImageWindow* manual = windowOf(0);
        ImageWindow* automatic = windowOf(1);
        QVERIFY(manual && automatic);
        QTest::mouseClick(manual->MaxValueField(), Qt::LeftButton);
        QTest::keyClick(manual->MaxValueField(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(manual->MaxValueField(), QStringLiteral("500"));

        QTest::mouseClick(m_main->LayerPlus(), Qt::LeftButton);
        QCOMPARE(manual->model().ColorMaxValue, 500.0);
        QCOMPARE(manual->MaxValueField()->text(), QStringLiteral("500"));
        QCOMPARE(manual->MaxButton()->text(), QStringLiteral("Man Max:"));
        QCOMPARE(manual->model().ImArrayMax, 506.0);
        QCOMPARE(automatic->MaxValueField()->text(), QStringLiteral("506"));
        // Samples above 500 now show the high colour.
        checkPicture(manual, b, 2, 0, 500);
        checkPicture(automatic, b, 2, 0, 506);
    }

    void fileWithFewerSpecies()
    {
        open(write(patternFile(4, 2, 64), "four.im"));
        QTest::mouseClick(m_main->LayerPlus(), Qt::LeftButton);
        QTest::mouseClick(m_main->ButtonSpecies(1), Qt::LeftButton);
        QTest::mouseClick(m_main->ButtonSpecies(3), Qt::LeftButton);
        QPointer<ImageWindow> kept = windowOf(1);
        QPointer<ImageWindow> lacking = windowOf(3);
        QVERIFY(kept && lacking);
        const qsizetype lines = historyLines().size();

        // Larger frames, other samples.
        const ImBuilder two = patternFile(2, 1, 128, 1000);
        open(write(two, "two.im"));
        QTRY_VERIFY(lacking.isNull());
        QVERIFY(!m_main->ButtonSpecies(3)->isChecked());
        QVERIFY(m_main->ButtonSpecies(3)->isHidden());
        // The other window shows the first layer of the new file, read once; the closed one read
        // nothing.
        QVERIFY(kept && m_main->ButtonSpecies(1)->isChecked());
        QCOMPARE(historyLines().mid(lines), QStringList({maxLine, minLine, loadLine, drawLine}));
        QCOMPARE(kept->windowTitle(), QStringLiteral("13C (Layer 1)"));
        checkPicture(kept, two, 1, 1000, 1253);
    }

private:
    QString write(const ImBuilder& b, const QString& name, qint64 extraBytes = 0)
    {
        const QString path = m_dir.filePath(name);
        return b.write(path, extraBytes) ? path : QString();
    }

    // File > Open with the main window in front; the dialog answers path.
    void open(const QString& path)
    {
        m_dialogAnswer = path;
        m_main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_main));
        QTest::keyClick(m_main, Qt::Key_O, Qt::ControlModifier);
    }

    QTemporaryDir m_dir;
    QPointer<Main> m_main;
    QStringList m_messages;
    QStringList m_dialogCalls; // title and filter of each
    QString m_dialogAnswer;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
