// The wiring of the windows: species buttons open and close image windows, layer changes reload
// them, the display-range controls, the colour selector, the menus, files that cannot be shown,
// drops, the history window and quitting. The pictures themselves are proven in tests/core.
#include "core/model/acquisition.h"
#include "core/progress.h"
#include "core/render/displaypictures.h"
#include "testpictures.h"
#include "ui/canvas.h"
#include "ui/colourbarbutton.h"
#include "ui/colourselector.h"
#include "ui/dialogs.h"
#include "ui/historywindow.h"
#include "ui/imagewindow.h"
#include "ui/mainwindow.h"
#include "ui/menu.h"
#include "ui/messagebox.h"

#include <QtTest>
#include <QtWidgets>
#include <utility>

using namespace isolumen;

using TestPictures::patternFile;

namespace {

const QString noFile = QStringLiteral("(open file or drag file here)");

QStringList historyLines()
{
    QStringList lines;
    for (int i = 0; HistoryWindow::existing() && i < HistoryWindow::existing()->lines()->count();
         ++i)
        lines << HistoryWindow::existing()->lines()->item(i)->text();
    return lines;
}

// Types into a value field as the user does: click into it, select all, type.
void typeInto(QLineEdit* field, const QString& text)
{
    QTest::mouseClick(field, Qt::LeftButton);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, text);
}

bool anyWindowShown()
{
    const QWidgetList all = QApplication::topLevelWidgets();
    return std::any_of(all.begin(), all.end(), [](const QWidget* w) { return w->isVisible(); });
}

bool activate(QWidget* window)
{
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

// The window shows what the core draws of its plane under its settings.
void checkShown(const ImageWindow* w)
{
    COMPARE_PICTURES(w->imageCanvas()->backdrop(),
                     displayPictures(*w->planes().shown, w->settings(), 20)->image);
}

} // namespace

class TestWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        setMessageHandler([this](const QString& text) { m_messages << text; });
        Dialogs::setOpenFile([this](QWidget*, const QString&, const QString&) {
            ++m_openDialogs;
            return std::exchange(m_openAnswer, QString());
        });
        Dialogs::setSaveFile([this](QWidget*, const QString&, const QString&, const QString&) {
            return m_saveAnswer;
        });
        Dialogs::setSelectColour([this](QWidget*, QRgb initial, const QString& prompt) {
            m_pickerCalls.append({initial, prompt});
            return m_pickerAnswer;
        });
    }

    void init()
    {
        m_messages.clear();
        m_main = new MainWindow(m_acquisition);
        m_main->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_main));
    }

    void cleanup()
    {
        // Closing the main window closes every other window, as at the end of a run.
        if (m_main)
            m_main->close();
        QTRY_VERIFY(m_main.isNull() && !anyWindowShown());
        QCOMPARE(m_messages, QStringList()); // none unless the test expected and cleared them
    }

    void speciesAndLayers_data()
    {
        QTest::addColumn<int>("species");
        QTest::addColumn<int>("planes");
        // Digits click that species' button; "a" to "h" close that species' window by its close
        // box; "+" and "-" click the layer buttons; "D" and "U" press Page Down and Page Up in
        // the first image window, "n" and "p" in the main window.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("state");
        const auto row = [](const char* name, int species, int planes, const char* steps,
                            const char* state) {
            QTest::newRow(name) << species << planes << QString(steps) << QString(state);
        };
        row("one layer: both buttons off", 1, 1, "0Dn", "layer 1, -1 off, +1 off, shown 0");
        row("+1 -1, Page Up on the first", 1, 3, "0+-U", "layer 1, -1 off, +1 on, shown 0");
        row("Page Down to the last and past", 1, 3, "0DDD", "layer 3, -1 on, +1 off, shown 0");
        row("+1 +1, Page Up in the main window", 1, 3, "0++p", "layer 2, -1 on, +1 on, shown 0");
        row("two windows follow +1 and Page Down", 3, 3, "02+D",
            "layer 3, -1 on, +1 off, shown 0 2");
        row("pressed twice closes", 4, 1, "00", "layer 1, -1 off, +1 off, shown");
        row("two, one released", 4, 1, "313", "layer 1, -1 off, +1 off, shown 1");
        row("close box, pressed again", 4, 1, "2c2", "layer 1, -1 off, +1 off, shown 2");
        row("closed, then a layer change", 2, 2, "01a+", "layer 2, -1 on, +1 off, shown 1");
    }

    // Every open window shows the selected layer of its species, and only their buttons are down.
    void speciesAndLayers()
    {
        QFETCH(int, species);
        QFETCH(int, planes);
        QFETCH(QString, steps);
        QFETCH(QString, state);
        const ImBuilder b = patternFile(species, planes, 64);
        open(b);
        for (const QChar step : steps) {
            if (step.isDigit()) {
                press(step.digitValue());
            } else if (step >= 'a' && step <= 'h') {
                QPointer<ImageWindow> w = windowOf(step.unicode() - 'a');
                w->close();
                QTRY_VERIFY(w.isNull());
            } else if (step == '+' || step == '-') {
                QTest::mouseClick(step == '+' ? m_main->layerPlusButton()
                                              : m_main->layerMinusButton(),
                                  Qt::LeftButton);
            } else {
                QWidget* w = m_main;
                if (step.isUpper())
                    w = m_main->imageWindows().windows().value(0);
                QTest::keyClick(w->windowHandle(),
                                QString("Dn").contains(step) ? Qt::Key_PageDown : Qt::Key_PageUp);
            }
        }
        const int layer = m_main->layerPopUp()->currentIndex() + 1;
        QString got = QString("layer %1, -1 %2, +1 %3, shown")
                          .arg(layer)
                          .arg(m_main->layerMinusButton()->isEnabled() ? "on" : "off")
                          .arg(m_main->layerPlusButton()->isEnabled() ? "on" : "off");
        for (int s = 0; s < species; ++s) {
            const ImageWindow* w = windowOf(s);
            QCOMPARE(m_main->speciesButton(s)->isChecked(), w != nullptr);
            if (!w)
                continue;
            got += QString(" %1").arg(s);
            QTRY_COMPARE(w->windowTitle(), b.labels[s] + QString(" (Layer %1)").arg(layer));
            QCOMPARE(w->maxField()->text(), QString::number(253 * layer)); // the layer's maximum
        }
        QCOMPARE(got, state);
    }

    // Windows open at their default places and reopen where they were closed; a menu command
    // goes to the window in front.
    void placeAndMenus()
    {
        open(patternFile(4, 2, 64));
        const QRect screen(0, 0, 1280, 1024);
        m_main->placeOn(screen);
        QPointer<ImageWindow> w = press(3);
        QCOMPARE(w->pos(),
                 WindowPlaces::defaultPlaces(screen, m_main->width(), m_main->imageRowHeight())[3]);
        w->move(150, 170);
        w->close();
        QTRY_VERIFY(w.isNull());
        w = press(3);
        QVERIFY(w);
        QCOMPARE(w->pos(), QPoint(150, 170));

        QVERIFY(activate(w));
        for (const char* item : {"fileOpen", "windowSize1024", "editCopy"})
            QVERIFY2(!Menu::run(item), item);
        QTest::keyClick(w, Qt::Key_O, Qt::ControlModifier); // nor does the shortcut open a file
        QVERIFY(Menu::run("windowSize512"));
        QCOMPARE(w->contentSize().width(), 512 + ImageWindow::kExtraWidth);
        QVERIFY(Menu::run("windowSize256"));
        QCOMPARE(w->contentSize().width(), 256 + ImageWindow::kExtraWidth);
        // Layers keep the window's size and zoom.
        QTest::mouseClick(m_main->layerPlusButton(), Qt::LeftButton);
        QTRY_COMPARE(w->windowTitle(), "16O (Layer 2)");
        QCOMPARE(w->contentSize().width(), 256 + ImageWindow::kExtraWidth);
        // "Save Image As...": the canvas's picture, named after the chosen filter, or a message.
        m_saveAnswer = {m_dir.filePath("saved"), "TIFF image (*.tif *.tiff)"};
        QTest::keyClick(w, Qt::Key_S, Qt::ControlModifier);
        COMPARE_PICTURES(QImage(m_dir.filePath("saved.tif")), w->imageCanvas()->backdrop());
        m_saveAnswer = {m_dir.filePath("nowhere/saved.png"), "PNG image (*.png)"};
        QVERIFY(Menu::run("fileSaveImage"));
        QCOMPARE(m_messages.size(), 1);
        m_messages.clear();
        QCOMPARE(Dialogs::pictureFileName("a.gif", "BMP image (*.bmp)"), "a.gif.bmp");
        QCOMPARE(Dialogs::pictureFileName("A.BMP", "PNG image (*.png)"), "A.BMP");
        // "Save Figure...": the options through their seam, then the file; "Copy Figure" puts the
        // figure as last chosen on the clipboard.
        const FigureOptions chosen{true, false, FigureOutlines::Names, "Figure", 2};
        Dialogs::setFigureOptions(
            [&](QWidget*, const FigureOptions&, bool) { return std::optional(chosen); });
        m_saveAnswer = {m_dir.filePath("figure"), "PDF document (*.pdf)"};
        QVERIFY(Menu::run("fileSaveFigure"));
        QVERIFY(QFile::exists(m_dir.filePath("figure.pdf")));
        // Cancelled as it starts: no file, no message.
        const Dialogs::ProgressSeam progress =
            Dialogs::setProgress([](QWidget*, const QString&, Progress& p, qint64) { p.cancel(); });
        m_saveAnswer = {m_dir.filePath("cancelled.svg"), "PNG image (*.png)"};
        QVERIFY(Menu::run("fileSaveFigure"));
        QVERIFY(!QFile::exists(m_dir.filePath("cancelled.svg")));
        Dialogs::setProgress(progress);
        Dialogs::setFigureOptions({});
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(w, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        COMPARE_PICTURES(QGuiApplication::clipboard()->image(),
                         figureImage(*w->figureContent(), chosen));
        QCOMPARE(m_openDialogs, 0);
        QVERIFY(activate(m_main));
        for (const char* item : {"windowSize512", "fileSaveImage"})
            QVERIFY2(!Menu::run(item), item);
        QVERIFY(Menu::run("fileOpen"));
        QCOMPARE(m_openDialogs, 1);
        // A further run appended: its layers follow.
        open(patternFile(4, 2, 64));
        m_openAnswer = write(patternFile(4, 3, 64), "run2.im");
        QVERIFY(Menu::run("fileAppend"));
        QCOMPARE(m_acquisition.layerCount(), 5);
    }

    void displayRangeControls()
    {
        open(patternFile(1, 2, 64, 1)); // layer 1 holds 1 to 254, layer 2 holds 1 to 507
        ImageWindow* w = press(0);
        // Writing the automatic limits leaves the redraw to the load, which draws once.
        QCOMPARE(historyLines(),
                 QStringList({"Max TextChange calls Update Display",
                              "Min TextChange calls Update Display",
                              "LoadNewImage calls Update Display", "Update Display called"}));
        const QImage linearBar = w->colourBarCanvas()->backdrop();
        typeInto(w->maxField(), "100");
        QCOMPARE(w->maxButton()->text(), "Man Max:");
        QCOMPARE(w->settings().maxValue, 100.0);
        checkShown(w);
        // A manual limit stays across layers; the automatic one follows.
        QTest::mouseClick(m_main->layerPlusButton(), Qt::LeftButton);
        QTRY_COMPARE(w->windowTitle(), "12C (Layer 2)");
        QCOMPARE(w->maxField()->text() + ' ' + w->minField()->text(), "100 1");
        QCOMPARE(w->settings().maxValue, 100.0);
        QTest::mouseClick(w->maxButton(), Qt::LeftButton);
        QCOMPARE(w->maxButton()->text() + ' ' + w->maxField()->text(), "Auto Max: 507");
        checkShown(w);
        const QImage layer2 = w->imageCanvas()->backdrop();
        // A button made manual changes nothing until its field is edited.
        QTest::mouseClick(w->minButton(), Qt::LeftButton);
        QCOMPARE(w->minButton()->text(), "Man Min:");
        QCOMPARE(w->imageCanvas()->backdrop(), layer2);
        // The scaling of the axis redraws the colour bar only.
        QTest::mouseClick(w->linLogButton(), Qt::LeftButton);
        QCOMPARE(w->linLogButton()->text(), "Log Scale");
        QVERIFY(w->settings().logScale && w->colourBarCanvas()->backdrop() != linearBar);
        QCOMPARE(w->imageCanvas()->backdrop(), layer2);
        // A maximum that is not a number is 0: an empty range, nothing drawn.
        typeInto(w->maxField(), "abc");
        QCOMPARE(w->settings().maxValue, 0.0);
        QCOMPARE(w->imageCanvas()->backdrop(), layer2);
    }

    // A limit written into its field shows at most six significant digits, from its start.
    void fieldTexts_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("a ratio's maximum") << 2271.53065062053 << "2271.53";
        QTest::newRow("a small fraction") << 0.000123456789 << "0.000123457";
        QTest::newRow("a large count") << 1566440.0 << "1566440";
        QTest::newRow("below 0.0001") << 1e-7 << "1e-7";
    }

    void fieldTexts()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        open(patternFile(1, 1, 64));
        ImageWindow* w = press(0);
        w->setManualLimits(-value, value);
        for (QLineEdit* field : {w->maxField(), w->minField()}) {
            QCOMPARE(field->text(), field == w->maxField() ? text : "-" + text);
            QCOMPARE(field->cursorPosition(), 0);
        }
        QCOMPARE(w->settings().maxValue, text.toDouble());
    }

    void openAnother_data()
    {
        QTest::addColumn<QString>("name"); // in the test folder; empty: the dialog was cancelled
        QTest::addColumn<QString>("label");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("titles"); // of the windows open afterwards
        ImBuilder b = patternFile(2, 1, 64);
        b.marker = "SOMETHING ELSE";
        write(b, "bad.im");
        b = patternFile(2, 1, 64);
        b.height = 128;
        write(b, "oblong.im");
        b = patternFile(2, 0, 128);
        b.headerSize = 12000; // long enough without frames
        write(b, "headeronly.im");
        write(patternFile(1, 1, 128, 1000), "one.im");
        const auto row = [](const char* name, const char* file, const char* label,
                            QStringList messages, const char* titles) {
            QTest::newRow(name) << QString(file) << QString(label) << messages << QString(titles);
        };
        const char* kept = "12C (Layer 2), 13C (Layer 2)";
        row("cancelled", "", "(open file or drag file here)", {}, kept);
        row("not an image file", "bad.im", "(not an image file)", {}, kept);
        row("missing", "missing.im", "(open file or drag file here)", {}, kept);
        row("a folder", ".", "(open file or drag file here)", {}, kept);
        row("frames not square", "oblong.im", "oblong.im", {"Cannot handle this pixel size."}, "");
        row("no frames", "headeronly.im", "headeronly.im", {}, "");
        row("fewer species", "one.im", "one.im", {}, "12C (Layer 1)");
    }

    // After a failed open the last file's summary and windows stay, and a layer change reads
    // nothing. A file that cannot be shown disables the buttons, saying why, and closes the
    // windows, having read nothing; a file with fewer species closes the windows it lacks.
    void openAnother()
    {
        QFETCH(QString, name);
        QFETCH(QString, label);
        QFETCH(QStringList, messages);
        QFETCH(QString, titles);
        open(patternFile(2, 2, 64), "good.im");
        QTest::mouseClick(m_main->layerPlusButton(), Qt::LeftButton);
        press(0);
        press(1);
        const QStringList lines = historyLines();
        m_main->openImage(name.isEmpty() ? QString() : m_dir.filePath(name));
        QCOMPARE(m_main->fileNameLabel()->text(), label);
        QCOMPARE(m_messages, messages);
        m_messages.clear();
        QTest::mouseClick(m_main->layerMinusButton(), Qt::LeftButton);
        QCoreApplication::processEvents(); // runs the reloads they asked for
        const auto shown = [this] {
            QStringList list;
            for (const ImageWindow* w : m_main->imageWindows().windows())
                list << w->windowTitle();
            return list.join(", ");
        };
        QTRY_COMPARE(shown(), titles);
        const bool showable = m_acquisition.isOpen() && m_acquisition.unshowableReason().isEmpty();
        if (!showable)
            QCOMPARE(historyLines(), lines);
        QCOMPARE(m_main->speciesNameLabel(1)->text(), label == "one.im" ? "-" : "13C");
        for (int s = 0; s < 2; ++s) {
            QPushButton* button = m_main->speciesButton(s);
            QCOMPARE(button->isChecked(), windowOf(s) != nullptr);
            QCOMPARE(button->isEnabled(), button->toolTip().isEmpty());
            QCOMPARE(button->isEnabled(), showable || !m_acquisition.isOpen());
        }
    }

    // A drop opens its first item when that is a raw image file, and nothing else.
    void drops()
    {
        const QUrl image = QUrl::fromLocalFile(write(patternFile(2, 1, 64), "dropped.im"));
        const QUrl text = QUrl::fromLocalFile(m_dir.filePath("notes.txt"));
        for (const QList<QUrl>& urls : {QList<QUrl>{text, image}, QList<QUrl>{image, text}}) {
            QMimeData data;
            data.setUrls(urls);
            // Dropped on a label: the main window takes the drop for its controls.
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(m_main->fileNameLabel(), &enter);
            QCOMPARE(enter.isAccepted(), urls.first() == image);
            if (enter.isAccepted())
                QApplication::sendEvent(m_main->fileNameLabel(), &drop);
            QCOMPARE(m_main->fileNameLabel()->text(), enter.isAccepted() ? "dropped.im" : noFile);
        }
    }

    void coloursReachOneOrAll_data()
    {
        QTest::addColumn<bool>("all");
        QTest::addColumn<bool>("closing"); // the third window closes while the first redraws
        QTest::newRow("only the current window") << false << false;
        QTest::newRow("all open image windows") << true << false;
        QTest::newRow("all, one closing during the update: skipped") << true << true;
    }

    void coloursReachOneOrAll()
    {
        QFETCH(bool, all);
        QFETCH(bool, closing);
        open(patternFile(3, 1, 64));
        const QList<QPointer<ImageWindow>> windows{press(0), press(1), press(2)};
        QTest::mouseClick(windows[1]->colourButton(), Qt::LeftButton);
        ColourSelector* selector = ColourSelector::existing();
        QVERIFY(selector && QTest::qWaitForWindowExposed(selector));
        if (all)
            QTest::mouseClick(selector->allWindows(), Qt::LeftButton);
        QTest::mousePress(selector->colourBar(5), Qt::LeftButton);
        if (closing) // each redraw writes a line of history
            connect(HistoryWindow::existing()->lines()->model(), &QAbstractItemModel::rowsInserted,
                    windows[2], [&] { windows[2]->close(); });
        QTest::mousePress(selector->button("lowBlack"), Qt::LeftButton);
        for (const ImageWindow* w : windows) {
            const bool reached = (all || w == windows[1]) && !(closing && w == windows[2]);
            QCOMPARE(w->settings().low, reached ? QRgb(0) : QRgb(0x999999));
            QCOMPARE(w->colourButton()->text(),
                     all || w == windows[1] ? "Color T: 6" : "Color T: 10");
            checkShown(w);
        }
    }

    // The selector shows the colours of the window that opened it last, and sends to it alone
    // until told otherwise; its swatches ask the colour picker.
    void colourSelectorFollowsItsWindow()
    {
        ImBuilder b = patternFile(2, 1, 64);
        b.labels = {"12C", "A&B"};
        open(b);
        ImageWindow* first = press(0);
        QPointer<ImageWindow> second = press(1);
        second->setColours({4, 0x010203, 0x040506, 0x070809});
        QTest::mouseClick(first->colourButton(), Qt::LeftButton);
        QPointer<ColourSelector> selector = ColourSelector::existing();
        QTest::mouseClick(selector->allWindows(), Qt::LeftButton);
        QTest::mouseClick(second->colourButton(), Qt::LeftButton);
        QCOMPARE(ColourSelector::existing(), selector);
        // A "&" shows as itself on the button and in the caption alike.
        QCOMPARE(m_main->speciesButton(1)->text(), "A&&B");
        QCOMPARE(selector->onlyCurrent()->text(), "Only Current Window: A&&B");
        QVERIFY(selector->onlyCurrent()->isChecked());
        QCOMPARE(selector->tableName()->text(), "05 Earth-Land Tones  ");
        for (int k = 0; k < kTableCount; ++k)
            QCOMPARE(selector->colourBar(k)->shownLook(), k == 4
                                                              ? ColourBarButton::selectedLook(k)
                                                              : ColourBarButton::unselectedLook(k));
        // The bars show entry 254 at the top and entry 1 at the bottom.
        QCOMPARE(ColourBarButton::selectedLook(4).pixel(12, 2), colourTable(4)[254] | 0xFF000000u);
        QCOMPARE(ColourBarButton::unselectedLook(4).pixel(11, 255),
                 colourTable(4)[1] | 0xFF000000u);
        QCOMPARE(QList<QRgb>({selector->highSwatch()->colour(), selector->lowSwatch()->colour(),
                              selector->noValueSwatch()->colour()}),
                 QList<QRgb>({0x010203, 0x040506, 0x070809}));

        QTest::mousePress(selector->highSwatch(), Qt::LeftButton); // the picker is cancelled
        m_pickerAnswer = 0x336699;
        QTest::mousePress(selector->noValueSwatch(), Qt::LeftButton);
        QCOMPARE(m_pickerCalls,
                 (QList<std::pair<QRgb, QString>>{{0x010203, "Select Hi Color"},
                                                  {0x070809, "Select No Value Color"}}));
        QCOMPARE(second->settings().high, QRgb(0x010203));
        QCOMPARE(second->settings().noValue, QRgb(0x336699));
        QTest::mousePress(selector->button("highSame"), Qt::LeftButton);
        QCOMPARE(second->settings().high, colourTable(4)[254] & 0xFFFFFF);
        QTest::mouseClick(selector->button("setDefault"), Qt::LeftButton);
        const ColourChoice c = colours(second->settings());
        QCOMPARE(QList<QRgb>({QRgb(c.table), c.high, c.low, c.noValue}),
                 QList<QRgb>({9, 0xFFFFFF, 0x999999, 0}));
        QCOMPARE(colours(first->settings()).high, QRgb(0xFFFFFF));
        // Its window closed, it sends to none; Return closes it.
        second->close();
        QTRY_VERIFY(second.isNull());
        QTest::mousePress(selector->colourBar(7), Qt::LeftButton);
        QCOMPARE(first->settings().table, 9);
        QTest::keyClick(selector, Qt::Key_Return);
        QTRY_VERIFY(selector.isNull());
    }

    // Closed by the user, the history window goes at once: the next line makes a new one.
    void historyWindowMadeAnew()
    {
        HistoryWindow::add("one");
        QPointer<HistoryWindow> first = HistoryWindow::existing();
        first->close();
        HistoryWindow::add("two");
        QVERIFY(HistoryWindow::existing() != first && HistoryWindow::existing()->isVisible());
        QCOMPARE(historyLines(), QStringList{"two"});
    }

    // A menu command must not outlive the window whose commands it runs: run after the main
    // window is gone, it would call into freed memory.
    void commandsLeaveWithTheirWindow()
    {
        m_main->close();
        QTRY_VERIFY(m_main.isNull());
        for (const char* item : {"analysisSaveRegions", "analysisRegions", "analysisSum"})
            QVERIFY2(!Menu::run(QLatin1String(item)), item);
    }

    void quit_data()
    {
        QTest::addColumn<bool>("closeMain");
        QTest::newRow("Quit in an image window") << false;
        QTest::newRow("closing the main window") << true;
    }

    // Runs the event loop, which each way of quitting must end; comes last.
    void quit()
    {
        QFETCH(bool, closeMain);
        open(patternFile(1, 1, 64));
        QPointer<ImageWindow> image = press(0);
        QVERIFY(HistoryWindow::existing() && activate(image));
        QTimer::singleShot(0, image, [&] {
            if (closeMain)
                m_main->close();
            else
                QTest::keyClick(image, Qt::Key_Q, Qt::ControlModifier);
        });
        QObject watchdog; // ends the loop should the command fail to
        QTimer::singleShot(20000, &watchdog, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
        QTRY_VERIFY(!anyWindowShown());
    }

private:
    QString write(const ImBuilder& b, const QString& name)
    {
        const QString path = m_dir.filePath(name);
        return b.write(path) ? path : QString();
    }

    void open(const ImBuilder& b, const QString& name = "test.im")
    {
        m_main->openImage(write(b, name));
    }

    ImageWindow* windowOf(int species) const
    {
        for (ImageWindow* w : m_main->imageWindows().windows()) {
            if (!w->source().ratio && w->source().species == species)
                return w;
        }
        return nullptr;
    }

    // Clicks the species button; returns that species' window, or null.
    ImageWindow* press(int species)
    {
        QTest::mouseClick(m_main->speciesButton(species), Qt::LeftButton);
        return windowOf(species);
    }

    QTemporaryDir m_dir;
    Acquisition m_acquisition;
    QPointer<MainWindow> m_main;
    QStringList m_messages;
    int m_openDialogs = 0;
    QString m_openAnswer;                     // what the next open dialog answers
    std::pair<QString, QString> m_saveAnswer; // the save dialog's path and filter
    QList<std::pair<QRgb, QString>> m_pickerCalls;
    std::optional<QRgb> m_pickerAnswer;
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
