// The analysis features in the windows: the readout, species beyond the eighth, a sum cancelled
// and made, a ratio window following the layers, saving and exporting its counts, alignment on
// and off, compressed and cut-short files.
#include "core/model/acquisition.h"
#include "core/progress.h"
#include "core/text/numbertext.h"
#include "featurefiles.h"
#include "tiffpages.h"
#include "ui/alignmentwindow.h"
#include "ui/canvas.h"
#include "ui/dialogs.h"
#include "ui/imagewindow.h"
#include "ui/mainwindow.h"
#include "ui/menu.h"
#include "ui/messagebox.h"
#include "ui/regiontools.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace isolumen;

using namespace FeatureFiles;

class TestAnalysisWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void readout();
    void moreSpecies();
    void cancelledSum();
    void ratioWindow();
    void overlayWindow();
    void alignmentOnAndOff();
    void excludedLayers();
    void handEditAndStripes();
    void compressedFiles();
    void cutShort();
    void automaticRange();
    void settingsAcrossFiles_data();
    void settingsAcrossFiles();
    void dialogsAndItems();

private:
    QString work(const QString& name) const { return m_dir.filePath(name); }
    // Whether every shown value of the window is the ratio (or, without a ratio species, the
    // count) of the file's counts over layers first to last.
    bool shows(const ImageWindow* w, const ImBuilder& b, int first, int last, int ratioOf = 0);

    QTemporaryDir m_dir;
    std::unique_ptr<Acquisition> m_acquisition;
    QPointer<MainWindow> m_main;
    QStringList m_messages;
};

bool TestAnalysisWindows::shows(const ImageWindow* w, const ImBuilder& b, int first, int last,
                                int ratioOf)
{
    for (int i = 0; i < 64 * 64; ++i) {
        double n = 0, d = 0;
        for (int l = first; l <= last; ++l) {
            n += shown(b, 1, l, i % 64, i / 64);
            d += ratioOf ? shown(b, ratioOf, l, i % 64, i / 64) : 0;
        }
        if (w->planes().shown->value(i % 64, i / 64) != (ratioOf ? n / d : n))
            return false;
    }
    return true;
}

void TestAnalysisWindows::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("XDG_CACHE_HOME", QFile::encodeName(work("cache")));
    setMessageHandler([this](const QString& text) { m_messages << text; });
    // No progress dialog: long work just runs.
    Dialogs::setProgress([](QWidget*, const QString&, Progress&, qint64) {});
}

void TestAnalysisWindows::init()
{
    m_messages.clear();
    m_acquisition = std::make_unique<Acquisition>();
    m_main = new MainWindow(*m_acquisition); // deletes itself when closed
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main));
}

void TestAnalysisWindows::cleanup()
{
    if (m_main)
        m_main->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_acquisition.reset();
}

// The readout at the corners: the file's first sample is shown at the top right; 25,640 nm over
// 64 pixels is 0.400625 µm a pixel (not the 0.4 of the field rounded to 25.6 µm), read out at
// its centre.
void TestAnalysisWindows::readout()
{
    ImBuilder b = small(1, 1, [](int, int, int r, int k) { return quint32(r * 64 + k + 1); });
    b.nmSize = 25640;
    QVERIFY(b.write(work("a.im")));
    m_main->openImage(work("a.im"));
    ImageWindow* w = m_main->openImageWindow({0, {}});
    QCOMPARE(w->readoutText(0, 0), "x 0  y 0  (0.20, 0.20 µm)  64  Layer 1");
    QCOMPARE(w->readoutText(63, 0), "x 63  y 0  (25.44, 0.20 µm)  1  Layer 1");
    QCOMPARE(w->readoutText(0, 63), "x 0  y 63  (0.20, 25.44 µm)  4096  Layer 1");
    QCOMPARE(w->readoutText(63, 63), "x 63  y 63  (25.44, 25.44 µm)  4033  Layer 1");
    QVERIFY(w->readoutText(64, 0).isEmpty());
    // The picture's frame is one pixel wide: canvas pixel (6, 8) shows (5, 7), file row 7,
    // sample 58.
    QTest::mouseMove(w->windowHandle(), w->imageCanvas()->mapTo(w, QPoint(6, 8)));
    QTRY_COMPARE(w->readout()->text(), "x 5  y 7  (2.20, 3.00 µm)  507  Layer 1");
    QTest::mouseMove(w->windowHandle(), w->minField()->mapTo(w, QPoint(2, 2)));
    QTRY_VERIFY2(w->readout()->text().isEmpty(), qPrintable(w->readout()->text()));
}

void TestAnalysisWindows::moreSpecies()
{
    const ImBuilder b = tenSpecies();
    QVERIFY(b.write(work("ten.im")));
    m_main->openImage(work("ten.im"));
    QVERIFY(m_main->moreSpeciesButton()->isVisible());
    for (const auto& [species, title] : {std::pair{8, "18O (Layer 1)"}, {9, "19F (Layer 1)"}}) {
        auto* entry = m_main->findChild<QAction*>(QStringLiteral("moreSpecies%1").arg(species));
        QVERIFY(entry);
        entry->trigger();
        const QList<ImageWindow*> windows = m_main->imageWindows().windows();
        QVERIFY(!windows.isEmpty() && windows.last()->source().species == species);
        QCOMPARE(windows.last()->windowTitle(), title);
        QCOMPARE(windows.last()->planes().shown->value(0, 0),
                 double(shown(b, species + 1, 1, 0, 0)));
    }
}

// A sum cancelled leaves the acquisition on its layer and the windows as they were.
void TestAnalysisWindows::cancelledSum()
{
    const ImBuilder b = small(1, 3, [](int, int p, int r, int k) { return r + k + 100u * p; });
    QVERIFY(b.write(work("a.im")));
    m_main->openImage(work("a.im"));
    ImageWindow* w = m_main->openImageWindow({0, {}});
    const QImage picture = w->imageCanvas()->backdrop();
    Dialogs::setLayerRange([](QWidget*, int, int, int) { return std::pair{1, 3}; });
    const Dialogs::ProgressSeam idle =
        Dialogs::setProgress([](QWidget*, const QString&, Progress& p, qint64 ms) {
            if (ms >= 0)
                p.cancel();
        });
    QVERIFY(Menu::run("analysisSum"));
    Dialogs::setProgress(idle);
    QCoreApplication::processEvents();
    QCOMPARE(std::pair(m_acquisition->firstLayer(), m_acquisition->lastLayer()), std::pair(1, 1));
    QCOMPARE(w->windowTitle(), "12C (Layer 1)");
    QCOMPARE(w->imageCanvas()->backdrop(), picture);
    QVERIFY(m_main->layerPopUp()->isVisible() && !m_main->sumLabel()->isVisible());
    QVERIFY(Menu::run("analysisSum"));
    QTRY_COMPARE(w->windowTitle(), "12C (Sum of Layers 1-3)");
    QVERIFY(shows(w, b, 1, 3));
    // The main window's layer line names the sum in place of a layer.
    QVERIFY(m_main->sumLabel()->isVisible() && !m_main->layerPopUp()->isVisible());
    QCOMPARE(m_main->sumLabel()->text(), "Sum 1-3");
}

void TestAnalysisWindows::ratioWindow()
{
    const ImBuilder b = small(2, 3, [](int s, int p, int r, int k) {
        return quint32(s == 1 ? (r + 2 * k + p) % 7 : p + k % 3);
    });
    QVERIFY(b.write(work("a.im")));
    m_main->openImage(work("a.im"));
    const RatioDefinition ratio{{0}, {1}, 1, 0, 0};
    RatioDialogChoice choice;
    choice.ratio = ratio;
    Dialogs::setRatio([choice](QWidget*, const QStringList&, Dialogs::RatioKind) {
        return std::optional(choice);
    });
    QVERIFY(Menu::run("analysisRatio"));
    ImageWindow* w = m_main->imageWindows().windows().value(0);
    QVERIFY(w && w->source() == PlaneSource({0, ratio}));
    QCOMPARE(w->windowTitle(), "12C/13C (Layer 1)");
    QVERIFY(shows(w, b, 1, 1, 2));
    m_main->stepLayer(1);
    QTRY_COMPARE(w->windowTitle(), "12C/13C (Layer 2)");
    QVERIFY(shows(w, b, 2, 2, 2));
    // The ratio of the sums, not the sum of the ratios.
    Dialogs::setLayerRange([](QWidget*, int, int, int) { return std::pair{1, 3}; });
    QVERIFY(Menu::run("analysisSum"));
    QTRY_COMPARE(w->windowTitle(), "12C/13C (Sum of Layers 1-3)");
    QVERIFY(shows(w, b, 1, 3, 2));

    // The front window saves its picture and exports its values.
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QString chosen = work("ratio.png");
    Dialogs::setSaveFile([&](QWidget*, const QString&, const QString&, const QString&) {
        return std::pair{chosen, QString()};
    });
    QVERIFY(Menu::run("fileSaveImage"));
    QCOMPARE(QImage(chosen).convertToFormat(QImage::Format_RGB32),
             w->imageCanvas()->backdrop().convertToFormat(QImage::Format_RGB32));
    chosen = work("ratio.tif");
    QVERIFY(Menu::run("fileExportCounts"));
    const QList<TiffPages::Page> pages = TiffPages::read(chosen);
    QCOMPARE(pages.size(), 1);
    QCOMPARE(std::pair(int(pages[0].bits), int(pages[0].format)), std::pair(32, 3));
    for (int i = 0; i < 64 * 64; ++i)
        QCOMPARE(pages[0].values[i], double(float(w->planes().shown->value(i % 64, i / 64))));
    Dialogs::setSaveFile({});
}

// 12C in red over 0 to 100 and 13C/12C in green over 0 to 2, worked out at chosen pixels of two
// layers; where 12C has no count the ratio has no value and gives no green. The readout gives
// each source's value.
void TestAnalysisWindows::overlayWindow()
{
    const ImBuilder b = small(2, 2, [](int s, int p, int r, int k) {
        return quint32(s == 1 ? (r + k + p) % 4 * 50 : 60);
    });
    QVERIFY(b.write(work("a.im")));
    m_main->openImage(work("a.im"));
    isolumen::OverlayDefinition definition;
    for (const auto& [text, high] : {std::pair{"1", 100.0}, {"2/1", 2.0}})
        definition.sources << isolumen::OverlaySource{*isolumen::parseFindingSource(text, {}),
                                                      {{}, std::pair{0.0, high}}};
    Dialogs::setOverlay(
        [definition](QWidget*, const QStringList&) { return std::optional(definition); });
    QVERIFY(Menu::run("analysisOverlay"));
    Dialogs::setOverlay({});
    ImageWindow* w = m_main->imageWindows().windows().value(0);
    QVERIFY(w && w->overlay());
    QCOMPARE(w->overlayChannels().value(1).colour, qRgb(0, 255, 0));
    // Its figure has the channels' legend in the colour bar's place.
    QTRY_VERIFY(w->figureContent());
    QCOMPARE(w->figureContent()->legend, w->overlayChannels());
    QVERIFY(!w->figureContent()->colourBar);
    for (const int layer : {1, 2}) {
        m_main->stepLayer(layer - 1);
        QTRY_COMPARE(w->windowTitle(),
                     QStringLiteral("Overlay 12C, 13C/12C (Layer %1)").arg(layer));
        const QImage picture = w->imageCanvas()->backdrop();
        for (const auto& [x, y] : {std::pair{0, 0}, {1, 0}, {2, 0}, {3, 0}}) {
            const double n = shown(b, 1, layer, x, y);
            const double ratio = n > 0 ? shown(b, 2, layer, x, y) / n : NAN;
            const int red = int(std::lround(255 * std::clamp(n / 100, 0.0, 1.0)));
            const int green =
                std::isnan(ratio) ? 0 : int(std::lround(255 * std::clamp(ratio / 2, 0.0, 1.0)));
            QCOMPARE(picture.pixel(x + 1, y + 1), qRgb(red, green, 0)); // inside the frame
            QVERIFY(w->readoutText(x, y).contains(
                QStringLiteral("12C %1  13C/12C %2")
                    .arg(valueText(n), std::isnan(ratio) ? "no value" : valueText(ratio))));
        }
    }
}

// Aligning changes the sum every window shows; undoing gives back the very same picture.
void TestAnalysisWindows::alignmentOnAndOff()
{
    QVERIFY(driftingCell().write(work("drift.im")));
    m_main->openImage(work("drift.im"));
    ImageWindow* w = m_main->openImageWindow({0, {}});
    m_acquisition->setLayerRange(1, 3);
    QTRY_COMPARE(w->windowTitle(), "12C (Sum of Layers 1-3)");
    const QImage unaligned = w->imageCanvas()->backdrop();
    Dialogs::setAlign([](QWidget*, const QStringList&, int, const QStringList&,
                         const AlignChoice& proposed) { return std::optional(proposed); });
    QVERIFY(Menu::run("analysisAlign"));
    QTRY_COMPARE(w->windowTitle(), "12C (Sum of Layers 1-3, aligned)");
    QCOMPARE(w->planes().shown->max, 600.0);
    QVERIFY(w->imageCanvas()->backdrop() != unaligned);
    QVERIFY(Menu::run("analysisUndoAlign"));
    QTRY_COMPARE(w->windowTitle(), "12C (Sum of Layers 1-3)");
    QCOMPARE(w->imageCanvas()->backdrop(), unaligned);
}

// Layers left out of a sum: the title says how many, and the values lack them.
void TestAnalysisWindows::excludedLayers()
{
    const ImBuilder b = small(1, 4, [](int, int p, int r, int k) { return r + k + 100u * p; });
    QVERIFY(b.write(work("a.im")));
    m_main->openImage(work("a.im"));
    ImageWindow* w = m_main->openImageWindow({0, {}});
    m_acquisition->setLayerRange(1, 4);
    QTRY_COMPARE(w->windowTitle(), "12C (Sum of Layers 1-4)");
    Dialogs::setExcludeLayers([](QWidget*, const std::vector<int>&, int) {
        return std::optional(std::vector<int>{2, 3});
    });
    QVERIFY(Menu::run("analysisExclude"));
    Dialogs::setExcludeLayers({});
    QTRY_COMPARE(w->windowTitle(), "12C (Sum of Layers 1-4, 2 excluded)");
    QCOMPARE(m_acquisition->excludedLayers(), (std::vector<int>{2, 3}));
    QCOMPARE(w->planes().shown->value(5, 7), double(shown(b, 1, 1, 5, 7) + shown(b, 1, 4, 5, 7)));
}

// The stripes of a known drift are straight once aligned; a shift set by hand in the table is
// put in force and kept when the drift is estimated again.
void TestAnalysisWindows::handEditAndStripes()
{
    QVERIFY(driftingCell().write(work("drift.im")));
    m_main->openImage(work("drift.im"));
    // On species 2, the disc alone: its profiles hold all of it in every layer.
    Dialogs::setAlign(
        [](QWidget*, const QStringList&, int, const QStringList&, const AlignChoice& proposed) {
            AlignChoice disc = proposed;
            disc.species = 1;
            return std::optional(disc);
        });
    const auto alignmentWindow = [] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* a = qobject_cast<AlignmentWindow*>(w); a && a->isVisible())
                return a;
        }
        return static_cast<AlignmentWindow*>(nullptr);
    };
    QVERIFY(Menu::run("analysisAlign"));
    AlignmentWindow* window = alignmentWindow();
    QVERIFY(window);
    QCOMPARE(window->stripes().size(), 4);
    // Three layers of 32 rows each; columns 10 to 53 have a value in every aligned layer.
    const QImage before = window->stripes()[0]->pixmap().toImage();
    const QImage after = window->stripes()[2]->pixmap().toImage();
    QCOMPARE(after.size(), QSize(64, 96));
    const auto sameRows = [](const QImage& p, int a, int b) {
        for (int x = 10; x < 54; ++x) {
            if (p.pixel(x, a) != p.pixel(x, b))
                return false;
        }
        return true;
    };
    QVERIFY(sameRows(after, 0, 32) && sameRows(after, 0, 64));
    QVERIFY(!sameRows(before, 0, 32));

    window->table()->item(1, 1)->setText("2.5");
    QCOMPARE(m_acquisition->alignment()->origin(2), ShiftOrigin::Hand);
    const Shift byHand = m_acquisition->alignment()->forLayer(2);
    QVERIFY(byHand.dx == 2.5 && std::abs(byHand.dy - 1) < 0.1);
    QTRY_VERIFY(alignmentWindow() && alignmentWindow() != window);
    QCOMPARE(alignmentWindow()->table()->item(1, 6)->text(), "set by hand");
    QVERIFY(Menu::run("analysisAlign"));
    QCOMPARE(m_acquisition->alignment()->forLayer(2), byHand);
    QCOMPARE(m_acquisition->alignment()->origin(3), ShiftOrigin::Measured);
}

// One expanded copy while a compressed file is open, none after a refusal or the end.
void TestAnalysisWindows::compressedFiles()
{
    const ImBuilder b = small(1, 1, [](int, int, int r, int k) { return quint32(r * k); });
    QVERIFY(b.write(work("a.im")) && b.write(work("b.im")) && b.write(work("c.im")));
    for (const char* name : {"a.im", "b.im", "c.im"}) {
        if (QProcess::execute("gzip", {"-f", work(name)}) != 0)
            QSKIP("gzip is not installed or failed");
    }
    QVERIFY(QFile::resize(work("c.im.gz"), QFileInfo(work("c.im.gz")).size() / 2));
    m_main->openImage(work("a.im.gz"));
    QCOMPARE(m_main->fileNameLabel()->text(), "a.im.gz");
    QCOMPARE(filesUnder(work("cache")).size(), 1);
    m_main->openImage(work("c.im.gz"));
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages[0].contains("c.im.gz ends early"), qPrintable(m_messages[0]));
    QVERIFY(m_acquisition->isOpen());
    QCOMPARE(m_main->fileNameLabel()->text(), "a.im.gz");
    QCOMPARE(filesUnder(work("cache")).size(), 1);
    m_main->openImage(work("b.im.gz"));
    QCOMPARE(m_main->fileNameLabel()->text(), "b.im.gz");
    QCOMPARE(filesUnder(work("cache")).size(), 1);
    Menu::quitApplication();
    QVERIFY(filesUnder(work("cache")).isEmpty());
}

// A file that ends in layer 3 of 4 offers the two layers it holds, said once.
void TestAnalysisWindows::cutShort()
{
    ImBuilder b = small(1, 4, [](int, int p, int r, int k) { return r + 3u * k + 1000u * p; });
    b.headerSize = 10000;
    QVERIFY(b.write(work("cut.im"), -b.frameSize() * 3 / 2));
    m_main->openImage(work("cut.im"));
    QCOMPARE(m_main->layerPopUp()->count(), 2);
    QCOMPARE(m_main->layerOfLabel()->text(), "of 2");
    ImageWindow* w = m_main->openImageWindow({0, {}});
    m_main->stepLayer(1);
    QTRY_COMPARE(w->windowTitle(), "12C (Layer 2)");
    QVERIFY(shows(w, b, 2, 2));
    QCOMPARE(int(m_messages.count("The file ends after layer 2 of 4.")), 1);
}

// The automatic range from the View menu: percentiles leave a hot pixel out (counts 0 to 39 and
// one of 604: ranks 4.095 and 4090.905 of the 4096 sorted hold 0 and 39), the selected region
// gives its own extremes, and "Full" goes back to the minimum and maximum.
void TestAnalysisWindows::automaticRange()
{
    const ImBuilder b = small(1, 1, [](int, int, int r, int k) {
        return r == 0 && k == 63 ? 604u : quint32((r * 64 + 63 - k) % 40);
    });
    QVERIFY(b.write(work("hot.im")));
    m_main->openImage(work("hot.im"));
    ImageWindow* w = m_main->openImageWindow({0, {}});
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QCOMPARE(w->maxField()->text(), "604");
    QVERIFY(Menu::run("viewAutoPercentile"));
    QCOMPARE(w->minField()->text() + " " + w->maxField()->text(), "0 39");
    QVERIFY(Menu::instance().item("viewAutoPercentile")->isChecked());
    // Percentiles 50 to 100: rank 2047.5 lies among the 102 pixels of 19 (ranks 1953 to 2054).
    Dialogs::setPercentiles([](QWidget*, double, double) { return std::pair{50.0, 100.0}; });
    QVERIFY(Menu::run("viewAutoPercentiles"));
    QCOMPARE(w->minField()->text() + " " + w->maxField()->text(), "19 604");
    QCOMPARE(Menu::instance().item("viewAutoPercentile")->text(), "Percentile 50\u2013100 %");
    // Shown (1, 0) to (2, 1): counts 1, 2, 65 % 40 and 66 % 40.
    m_acquisition->addRegion(parseRegion("rect:1,0,2,2").value());
    RegionTools::instance().select(0, false);
    QVERIFY(Menu::run("viewAutoRegion"));
    QCOMPARE(w->minField()->text() + " " + w->maxField()->text(), "1 26");
    QVERIFY(Menu::run("viewAutoFull"));
    QCOMPARE(w->minField()->text() + " " + w->maxField()->text(), "0 604");
    Dialogs::setPercentiles(nullptr);
}

// A new file: a ratio window finds its species by their labels and keeps its range, or closes
// and says why; a species window keeps its range only while its button's label stays.
void TestAnalysisWindows::settingsAcrossFiles_data()
{
    QTest::addColumn<QList<QByteArray>>("labels");
    QTest::addColumn<QString>("title");      // of the ratio window; empty: it closed
    QTest::addColumn<QString>("speciesMax"); // the first species window's maximum
    QTest::newRow("the labels in another order")
        << QList<QByteArray>{"14N", "12C", "13C"} << "13C/12C \u00d710000 (Layer 1)"
        << "Auto Max: 127";
    QTest::newRow("13C missing") << QList<QByteArray>{"12C", "14N"} << ""
                                 << "Man Max: 5";
}

void TestAnalysisWindows::settingsAcrossFiles()
{
    QFETCH(QList<QByteArray>, labels);
    QFETCH(QString, title);
    QFETCH(QString, speciesMax);
    ImBuilder b = small(2, 1, [](int s, int, int r, int k) { return quint32(s + r + k); });
    QVERIFY(b.write(work("first.im")));
    m_main->openImage(work("first.im"));
    QPointer<ImageWindow> ratio =
        m_main->openImageWindow({0, RatioDefinition{{1}, {0}, 10000, 0, 0}});
    QCOMPARE(ratio->windowTitle(), "13C/12C \u00d710000 (Layer 1)");
    ratio->setManualLimits(40, 150);
    ImageWindow* species = m_main->openImageWindow({0, {}});
    species->setManualLimits(1, 5);
    b.nSpecies = int(labels.size());
    b.labels = labels;
    QVERIFY(b.write(work("second.im")));
    m_main->openImage(work("second.im"));
    QTRY_COMPARE(species->windowTitle(), labels[0] + " (Layer 1)");
    QCOMPARE(species->maxButton()->text() + " " + species->maxField()->text(), speciesMax);
    if (title.isEmpty()) {
        QTRY_VERIFY(ratio.isNull());
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages[0].contains("13C/12C") && m_messages[0].contains("no 13C"),
                 qPrintable(m_messages[0]));
        return;
    }
    QTRY_COMPARE(ratio->windowTitle(), title);
    QCOMPARE(ratio->source(), PlaneSource({0, RatioDefinition{{2}, {1}, 10000, 0, 0}}));
    QCOMPARE(std::pair(ratio->settings().minValue, ratio->settings().maxValue),
             std::pair(40.0, 150.0));
}

// Menu items that would do nothing are off; the ratio dialog holds its own rows only; the
// correction table shows every column; a long detail value ends in "…", whole in its tooltip.
void TestAnalysisWindows::dialogsAndItems()
{
    ImBuilder b = small(2, 3, [](int s, int p, int r, int k) { return quint32(s + p + r + k); });
    b.origName = "a long original name, longer than its field";
    QVERIFY(b.write(work("a.im")));
    m_main->openImage(work("a.im"));
    const auto enabled = [](const char* name) { return Menu::instance().item(name)->isEnabled(); };
    QVERIFY(enabled("analysisSum") && !enabled("analysisSingleLayer"));
    QVERIFY(!enabled("analysisUndoAlign") && !enabled("analysisShowAlign"));
    m_acquisition->setLayerRange(1, 3);
    QVERIFY(enabled("analysisSingleLayer"));
    // The View items act on an image window: greyed while the main window is in front.
    QMenu* view = Menu::instance().menus()[2];
    QCOMPARE(view->objectName(), "viewMenu");
    m_main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_main));
    emit view->aboutToShow();
    QVERIFY(!enabled("viewZoomIn") && !enabled("viewAutoFull"));
    emit view->aboutToHide();
    QVERIFY(enabled("viewZoomIn"));

    QLabel* name = m_main->detailField("Original Name:");
    QVERIFY(name->text().endsWith("\u2026"));
    QCOMPARE(name->toolTip(), QString(b.origName));
    QVERIFY(name->fontMetrics().horizontalAdvance(name->text()) <= name->width());

    int lineEdits = -1, combos = -1, hiddenColumns = -1, tries = 0;
    // Runs inside the dialog's exec(): it reads the dialog, then closes it, so nothing waits.
    const std::function<void()> inspect = [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog) {
            if (++tries < 100)
                QTimer::singleShot(10, inspect);
            return;
        }
        lineEdits = int(dialog->findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly).size());
        combos = int(dialog->findChildren<QComboBox*>(Qt::FindDirectChildrenOnly).size());
        if (auto* table = dialog->findChild<QTableWidget*>())
            hiddenColumns = table->horizontalHeader()->length() - table->viewport()->width();
        dialog->close();
    };
    Dialogs::setRatio(nullptr);
    QTimer::singleShot(0, inspect);
    QVERIFY(!Dialogs::ratio(m_main, {"12C", "13C"}, Dialogs::RatioKind::Ratio));
    QCOMPARE(std::pair(lineEdits, combos), std::pair(0, 1));
    Dialogs::setCorrections(nullptr);
    QTimer::singleShot(0, inspect);
    QVERIFY(!Dialogs::corrections(m_main, m_acquisition->header(), {}));
    QVERIFY2(hiddenColumns <= 0, qPrintable(QString::number(hiddenColumns)));
}

QTEST_MAIN(TestAnalysisWindows)
#include "tst_analysiswindows.moc"
