// The wiring of the windows: species buttons open and close image windows, layer changes reload
// them, the display-range controls, the colour selector, the menus, files that cannot be shown,
// drops, the history window and quitting. The pictures themselves are proven in tests/core.
#include "core/model/acquisition.h"
#include "core/render/displaypictures.h"
#include "testpictures.h"
#include "ui/canvas.h"
#include "ui/colorbarbutton.h"
#include "ui/colorselector.h"
#include "ui/dialogs.h"
#include "ui/historywindow.h"
#include "ui/imagewindow.h"
#include "ui/mainwindow.h"
#include "ui/menu.h"
#include "ui/messagebox.h"

#include <QtTest>
#include <QtWidgets>

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
            return QString();
        });
        Dialogs::setSaveFile([this](QWidget*, const QString&, const QString&, const QString&) {
            return m_saveAnswer;
        });
        Dialogs::setSelectColor([this](QWidget*, QRgb initial, const QString& prompt) {
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
        QCOMPARE(w->pos(), QPoint(150, 170));

        QVERIFY(activate(w));
        for (const char* item : {"fileOpen", "windowSize1024", "editUndo", "editCopy"})
            QVERIFY2(!Menu::run(item), item);
        QTest::keyClick(w, Qt::Key_O, Qt::ControlModifier); // nor does the shortcut open a file
        QVERIFY(Menu::run("windowSize512"));
        QCOMPARE(w->contentSize().width(), 512 + 121);
        QVERIFY(Menu::run("windowSize256"));
        QCOMPARE(w->contentSize().width(), 256 + 121);
        // The next load sizes the window after its plane again.
        QTest::mouseClick(m_main->layerPlusButton(), Qt::LeftButton);
        QTRY_COMPARE(w->contentSize().width(), 64 + 121);
        QCOMPARE(m_openDialogs, 0);
        QVERIFY(activate(m_main));
        QVERIFY(!Menu::run("windowSize512"));
        QVERIFY(Menu::run("fileOpen"));
        QCOMPARE(m_openDialogs, 1);
    }

    void saveImage_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("typed");   // in a folder that holds a folder "folder.png"
        QTest::addColumn<QString>("written"); // empty: the save fails with a message
        const auto row = [](const char* name, const char* filter, const char* typed,
                            const char* written) {
            QTest::newRow(name) << QString(filter) << QString(typed) << QString(written);
        };
        row("no suffix: the filter's first", "TIFF image (*.tif *.tiff)", "pic", "pic.tif");
        row("a typed suffix, any case, over the filter", "PNG image (*.png)", "PIC.BMP", "PIC.BMP");
        row("a suffix that cannot be written: the filter's", "BMP image (*.bmp)", "pic.gif",
            "pic.gif.bmp");
        row("a folder that does not exist", "PNG image (*.png)", "nowhere/pic.png", "");
        row("a folder named like a picture", "PNG image (*.png)", "folder.png", "");
    }

    // "Save Image As..." writes exactly the picture of the window's canvas, or nothing.
    void saveImage()
    {
        QFETCH(QString, filter);
        QFETCH(QString, typed);
        QFETCH(QString, written);
        open(patternFile(1, 1, 64));
        ImageWindow* w = press(0);
        QVERIFY(activate(w));
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("folder.png"));
        m_saveAnswer = {dir.filePath(typed), filter};
        QTest::keyClick(w, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).join(' '),
                 ("folder.png " + written).trimmed());
        QCOMPARE(m_messages.size(), written.isEmpty() ? 1 : 0);
        m_messages.clear();
        if (!written.isEmpty())
            COMPARE_PICTURES(QImage(dir.filePath(written)), w->imageCanvas()->backdrop());
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

    void failedOpenKeepsWindows_data()
    {
        QTest::addColumn<QString>("name"); // empty: the dialog was cancelled
        QTest::addColumn<QString>("label");
        QTest::newRow("cancelled") << "" << noFile;
        QTest::newRow("not an image file") << "bad.im"
                                           << "(not an image file)";
        QTest::newRow("missing") << "missing.im" << noFile;
        QTest::newRow("a folder") << "." << noFile;
    }

    // The last accepted file's summary and windows stay; a layer change then reads nothing.
    void failedOpenKeepsWindows()
    {
        QFETCH(QString, name);
        QFETCH(QString, label);
        open(patternFile(2, 2, 64), "good.im");
        ImageWindow* w = press(0);
        ImBuilder bad = patternFile(1, 1, 64);
        bad.marker = "SOMETHING ELSE";
        write(bad, "bad.im");
        m_main->openImage(name.isEmpty() ? QString() : m_dir.filePath(name));
        QCOMPARE(m_main->fileNameLabel()->text(), label);
        QCOMPARE(m_main->speciesNameLabel(1)->text(), "13C");
        QCOMPARE(m_main->imageWindows().windows(), QList<ImageWindow*>{w});
        QVERIFY(m_main->speciesButton(0)->isChecked());
        const QStringList lines = historyLines();
        QTest::mouseClick(m_main->layerPlusButton(), Qt::LeftButton);
        QCoreApplication::processEvents(); // runs the reload the layer change asked for
        QCOMPARE(w->windowTitle(), "12C (Layer 1)");
        QCOMPARE(historyLines(), lines);
    }

    void unshowableFileClosesWindows_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("planes");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("not square")
            << 64 << 128 << 1 << QStringList{"Cannot handle this pixel size."};
        QTest::newRow("header only") << 128 << 128 << 0 << QStringList{};
    }

    // Its values show; its buttons are disabled and say why; the windows of the last file close,
    // having read nothing with the wrong frame size; a good file enables the buttons again.
    void unshowableFileClosesWindows()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, planes);
        QFETCH(QStringList, messages);
        open(patternFile(2, 1, 128));
        QVERIFY(press(0));
        const QStringList lines = historyLines();
        ImBuilder b = patternFile(2, planes, width);
        b.height = qint16(height);
        b.headerSize = 12000; // files of just a header are long enough too
        open(b, "unshowable.im");
        QCOMPARE(m_messages, messages);
        m_messages.clear();
        QCOMPARE(m_main->pixelSizeLabel()->text(), QString("%1 x %2").arg(width).arg(height));
        for (QPushButton* button : {m_main->speciesButton(0), m_main->speciesButton(1)})
            QVERIFY(button->isVisible() && !button->isEnabled() && !button->toolTip().isEmpty());
        QTRY_VERIFY(m_main->imageWindows().windows().isEmpty());
        QVERIFY(!m_main->speciesButton(0)->isChecked());
        QCOMPARE(historyLines(), lines);
        open(patternFile(2, 1, 64));
        QVERIFY(m_main->speciesButton(1)->isEnabled() &&
                m_main->speciesButton(1)->toolTip().isEmpty());
    }

    // A file with fewer species closes the windows it lacks; the others show its first layer.
    void fewerSpeciesCloseTheirWindows()
    {
        open(patternFile(4, 2, 64), "four.im");
        QTest::mouseClick(m_main->layerPlusButton(), Qt::LeftButton);
        QPointer<ImageWindow> kept = press(1);
        QPointer<ImageWindow> lacking = press(3);
        open(patternFile(2, 1, 128, 1000), "two.im");
        QTRY_VERIFY(lacking.isNull());
        QVERIFY(m_main->speciesButton(3)->isHidden() && !m_main->speciesButton(3)->isChecked());
        QTRY_COMPARE(kept->windowTitle(), "13C (Layer 1)");
        QVERIFY(m_main->speciesButton(1)->isChecked());
        QCOMPARE(kept->maxField()->text(), "1253");
        checkShown(kept);
    }

    void drops_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QString>("label"); // the no-file text: refused
        const QUrl first = QUrl::fromLocalFile(write(patternFile(2, 1, 64), "first.im"));
        const QUrl second = QUrl::fromLocalFile(write(patternFile(3, 1, 64), "second.im"));
        const QUrl text = QUrl::fromLocalFile(m_dir.filePath("notes.txt"));
        QTest::newRow("two images: the first opens") << QList<QUrl>{first, second} << "first.im";
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
        QApplication::sendEvent(m_main->fileNameLabel(), &enter);
        QCOMPARE(enter.isAccepted(), label != noFile);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        if (enter.isAccepted())
            QApplication::sendEvent(m_main->fileNameLabel(), &drop);
        QCOMPARE(m_main->fileNameLabel()->text(), label);
    }

    void coloursReachOneOrAll_data()
    {
        QTest::addColumn<bool>("all");
        QTest::newRow("only the current window") << false;
        QTest::newRow("all open image windows") << true;
    }

    void coloursReachOneOrAll()
    {
        QFETCH(bool, all);
        open(patternFile(3, 1, 64));
        const QList<ImageWindow*> windows{press(0), press(1), press(2)};
        QTest::mouseClick(windows[1]->colourButton(), Qt::LeftButton);
        ColorSelector* selector = ColorSelector::existing();
        QVERIFY(selector && QTest::qWaitForWindowExposed(selector));
        if (all)
            QTest::mouseClick(selector->allWindows(), Qt::LeftButton);
        QTest::mousePress(selector->colourBar(5), Qt::LeftButton);
        QTest::mousePress(selector->button("lowBlack"), Qt::LeftButton);
        for (const ImageWindow* w : windows) {
            const bool reached = all || w == windows[1];
            QCOMPARE(w->colourButton()->text(), reached ? "Color T: 6" : "Color T: 10");
            QCOMPARE(w->settings().low, reached ? QRgb(0) : QRgb(0x999999));
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
        QPointer<ColorSelector> selector = ColorSelector::existing();
        QTest::mouseClick(selector->allWindows(), Qt::LeftButton);
        QTest::mouseClick(second->colourButton(), Qt::LeftButton);
        QCOMPARE(ColorSelector::existing(), selector);
        // A "&" shows as itself on the button and in the caption alike.
        QCOMPARE(m_main->speciesButton(1)->text(), "A&&B");
        QCOMPARE(selector->onlyCurrent()->text(), "Only Current Window: A&&B");
        QVERIFY(selector->onlyCurrent()->isChecked());
        QCOMPARE(selector->tableName()->text(), "05 Earth-Land Tones  ");
        for (int k = 0; k < kTableCount; ++k)
            QCOMPARE(selector->colourBar(k)->shownLook(),
                     k == 4 ? ColorBarButton::selectedLook(k) : ColorBarButton::unselectedLook(k));
        // The bars show entry 254 at the top and entry 1 at the bottom.
        QCOMPARE(ColorBarButton::selectedLook(4).pixel(12, 2), colourTable(4)[254] | 0xFF000000u);
        QCOMPARE(ColorBarButton::unselectedLook(4).pixel(11, 255), colourTable(4)[1] | 0xFF000000u);
        QCOMPARE(QList<QRgb>({selector->highSwatch()->color(), selector->lowSwatch()->color(),
                              selector->noValueSwatch()->color()}),
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

    void history()
    {
        HistoryWindow::add("one");
        HistoryWindow::add("two");
        QPointer<HistoryWindow> history = HistoryWindow::existing();
        QVERIFY(history && QTest::qWaitForWindowExposed(history));
        QCOMPARE(historyLines(), QStringList({"one", "two"}));
        QTest::mouseClick(history->clearButton(), Qt::LeftButton);
        HistoryWindow::add("after");
        QCOMPARE(HistoryWindow::existing(), history);
        QCOMPARE(historyLines(), QStringList({"after"}));
        // Closed by the user, it is made anew, empty, by the next line.
        history->close();
        HistoryWindow::add("new");
        QVERIFY(HistoryWindow::existing() != history && HistoryWindow::existing()->isVisible());
        QCOMPARE(historyLines(), QStringList({"new"}));
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
    std::pair<QString, QString> m_saveAnswer; // path and filter
    QList<std::pair<QRgb, QString>> m_pickerCalls;
    std::optional<QRgb> m_pickerAnswer;
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
