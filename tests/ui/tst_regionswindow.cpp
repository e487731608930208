// Regions on real image windows: a rectangle dragged out and moved with the mouse shows in the
// "Regions" table while it moves; the table's CSV reads back with Python's csv module, ratio
// rows included; the depth profile plots each layer's sums; the line profile and the histogram
// follow their window; regions drawn by hand are saved and loaded back, and a bad file is told.
#include "core/model/acquisition.h"
#include "imbuilder.h"
#include "ui/canvas.h"
#include "ui/depthprofilewindow.h"
#include "ui/dialogs.h"
#include "ui/histogramwindow.h"
#include "ui/imagewindow.h"
#include "ui/lineprofilewindow.h"
#include "ui/mainwindow.h"
#include "ui/menu.h"
#include "ui/messagebox.h"
#include "ui/regionoverlay.h"
#include "ui/regionswindow.h"
#include "ui/regiontools.h"

#include <QAreaSeries>
#include <QChart>
#include <QClipboard>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineSeries>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

namespace {

constexpr int kSide = 64;
using Tool = RegionTools::Tool;

// Two species over three layers; a file row shows mirrored, its sample k at x = side - 1 - k.
ImBuilder testFile()
{
    ImBuilder b;
    b.nSpecies = 2;
    b.labels = {"12C", "13C"};
    b.nPlanes = 3;
    b.width = b.height = kSide; // over 20 µm
    b.sample = [](int s, int p, int r, int k) {
        return quint32((3 * r + 7 * k + 11 * s) % 50 + 10 * p);
    };
    return b;
}

double shownValue(int species, int layer, int x, int y)
{
    return testFile().sample(species, layer, y, kSide - 1 - x);
}

double rectSum(int species, int layer, const QRect& r)
{
    double sum = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            sum += shownValue(species, layer, x, y);
    return sum;
}

template <typename T> T* window()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible())
            return t;
    return nullptr;
}

Region rect(const QRectF& bounds)
{
    Region r;
    r.bounds = bounds;
    return r;
}

} // namespace

class TestRegionsWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void dragUpdatesTable();
    void tableReadsAsCsv();
    void depthProfileIsLayerSums();
    void lineProfileAndHistogramFollowWindow();
    void drawnRegionsSaveAndLoad();

private:
    void drag(Tool tool, QList<QPoint> path);

    QTemporaryDir m_dir;
    QString m_chosenFile;
    QStringList m_messages;
    std::unique_ptr<Acquisition> m_acquisition;
    QPointer<MainWindow> m_main;
    ImageWindow* m_window = nullptr;
    RegionOverlay* m_overlay = nullptr;
};

void TestRegionsWindow::initTestCase()
{
    QVERIFY(testFile().write(m_dir.filePath("test.im")));
    setMessageHandler([this](const QString& text) { m_messages << text; });
    Dialogs::setSaveFile([this](auto...) { return std::pair{m_chosenFile, QString()}; });
    Dialogs::setOpenFile([this](auto...) { return m_chosenFile; });
    Dialogs::setProgress([](QWidget*, const QString&, Progress&, qint64) {});
}

void TestRegionsWindow::init()
{
    m_messages.clear();
    m_acquisition = std::make_unique<Acquisition>();
    m_main = new MainWindow(*m_acquisition);
    m_main->openImage(m_dir.filePath("test.im"));
    m_window = m_main->openImageWindow(PlaneSource{0, std::nullopt});
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    m_overlay = m_window->imageCanvas()->findChild<RegionOverlay*>();
    QVERIFY(m_overlay);
}

void TestRegionsWindow::cleanup()
{
    m_main->close(); // closes every window
    QTRY_VERIFY(m_main.isNull());
    m_acquisition.reset();
    RegionTools::instance().setTool(Tool::Select);
    RegionTools::instance().setLineWidth(1);
}

// Presses at the first point (overlay pixels), moves through the others and releases at the last.
void TestRegionsWindow::drag(Tool tool, QList<QPoint> path)
{
    RegionTools::instance().setTool(tool);
    QTest::mousePress(m_overlay, Qt::LeftButton, {}, path.first());
    for (const QPoint& p : path.mid(1))
        QTest::mouseMove(m_overlay, p);
    QTest::mouseRelease(m_overlay, Qt::LeftButton, {}, path.last());
}

void TestRegionsWindow::dragUpdatesTable()
{
    // The picture's pixel (x + 1, y + 1) shows value (x, y).
    drag(Tool::Rectangle, {{11, 21}, {21, 31}});
    QCOMPARE(m_acquisition->regions(), QList<Region>{rect(QRectF(10, 20, 10, 10))});
    Menu::run(QStringLiteral("analysisRegions"));
    RegionsWindow* regions = window<RegionsWindow>();
    QVERIFY(regions);
    auto cell = [&](int row, int column) { return regions->table()->item(row, column)->text(); };
    QCOMPARE(regions->table()->rowCount(), 2); // 12C and 13C
    QCOMPARE(cell(0, 4), "100");
    QCOMPARE(cell(0, 6), QString::number(rectSum(1, 1, {10, 20, 10, 10})));
    QCOMPARE(cell(1, 6), QString::number(rectSum(2, 1, {10, 20, 10, 10})));

    // Moved 5 pixels right: the table follows before the button is released.
    RegionTools::instance().setTool(Tool::Select);
    QTest::mousePress(m_overlay, Qt::LeftButton, {}, {16, 26});
    QTest::mouseMove(m_overlay, {21, 26});
    QTRY_COMPARE(cell(0, 6), QString::number(rectSum(1, 1, {15, 20, 10, 10})));
    QTest::mouseRelease(m_overlay, Qt::LeftButton, {}, {21, 26});

    regions->table()->item(1, 1)->setText(QStringLiteral("cell"));
    QCOMPARE(m_acquisition->regions().first().name, "cell");
    QTRY_COMPARE(cell(0, 1), "cell");
    QTest::keyClick(m_overlay, Qt::Key_Delete);
    QVERIFY(m_acquisition->regions().isEmpty());
    QTRY_COMPARE(regions->table()->rowCount(), 0);
}

void TestRegionsWindow::tableReadsAsCsv()
{
    m_acquisition->addRegion(rect(QRectF(0, 0, 8, 4)));
    m_acquisition->addRegion(rect(QRectF(30, 30, 5, 5)));
    Region named = m_acquisition->regions()[1];
    named.name = QStringLiteral("cells, \"bright\"");
    m_acquisition->replaceRegion(1, named);
    RatioSpec ratio{1, 0, 1, 0, 0}; // 13C/12C
    m_main->openImageWindow(PlaneSource{1, ratio});
    Menu::run(QStringLiteral("analysisRegions"));
    RegionsWindow* regions = window<RegionsWindow>();
    QVERIFY(regions);
    m_chosenFile = m_dir.filePath("regions.csv");
    regions->findChild<QPushButton*>("exportCsv")->click();
    regions->findChild<QPushButton*>("copy")->click();
    QCOMPARE(QApplication::clipboard()->text().count('\n'), 7); // headers, 2 regions x 3 sources

    QProcess python;
    python.start("/usr/bin/python3", {"-c",
                                      "import csv, json, sys; print(json.dumps(list("
                                      "csv.reader(open(sys.argv[1], encoding='utf-8')))))",
                                      m_chosenFile});
    if (!python.waitForFinished(60000) || python.exitCode() != 0)
        QSKIP("No Python 3 to read the CSV with");
    const QJsonArray rows = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    QCOMPARE(rows.size(), 7);
    QCOMPARE(rows[0].toArray().size(), 13);
    QCOMPARE(rows[0][12].toString(), "Poisson error");
    QCOMPARE(rows[4][1].toString(), "cells, \"bright\"");
    QCOMPARE(rows[6][2].toString(), "13C/12C");
    const double n = rectSum(2, 1, {30, 30, 5, 5}), d = rectSum(1, 1, {30, 30, 5, 5});
    QCOMPARE(rows[6][11].toString().toDouble(), n / d);
    QCOMPARE(rows[6][12].toString().toDouble(), n / d * std::sqrt(1 / n + 1 / d));
}

void TestRegionsWindow::depthProfileIsLayerSums()
{
    const QRect r(40, 8, 6, 9);
    m_acquisition->addRegion(rect(r));
    Menu::run(QStringLiteral("analysisDepthProfile"));
    DepthProfileWindow* profile = window<DepthProfileWindow>();
    QVERIFY(profile);
    const QList<QAbstractSeries*> curves = profile->chart()->series();
    QCOMPARE(curves.size(), 2);
    for (int species = 1; species <= 2; ++species) {
        const QList<QPointF> points = static_cast<QLineSeries*>(curves[species - 1])->points();
        QCOMPARE(points.size(), 3);
        for (int layer = 1; layer <= 3; ++layer)
            QCOMPARE(points[layer - 1], QPointF(layer, rectSum(species, layer, r)));
    }
    // Each sum with its Poisson error, the square root of the counts.
    QCOMPARE(profile->table()->item(2, 2)->text(),
             QString::number(std::sqrt(rectSum(1, 3, r)), 'g', 6));
    profile->quantityBox()->setCurrentIndex(1); // the mean
    QCOMPARE(static_cast<QLineSeries*>(profile->chart()->series()[0])->at(0).y(),
             rectSum(1, 1, r) / 54);
}

void TestRegionsWindow::lineProfileAndHistogramFollowWindow()
{
    drag(Tool::Line, {{3, 6}, {13, 6}}); // through the centres of row 5, x 2 to 12
    Menu::run(QStringLiteral("analysisLineProfile"));
    LineProfileWindow* line = window<LineProfileWindow>();
    QVERIFY(line);
    QList<QPointF> points = line->curve()->points();
    QCOMPARE(points.size(), 11);
    QCOMPARE(points[10], QPointF(10 * 20.0 / kSide, shownValue(1, 1, 12, 5)));
    m_acquisition->setLayer(2);
    QTRY_COMPARE(line->curve()->at(0).y(), shownValue(1, 2, 2, 5));
    line->widthBox()->setValue(3); // the mean of rows 4 to 6
    QCOMPARE(line->curve()->at(0).y(),
             (shownValue(1, 2, 2, 4) + shownValue(1, 2, 2, 5) + shownValue(1, 2, 2, 6)) / 3);

    const QRect r(20, 20, 7, 5);
    m_acquisition->addRegion(rect(r));
    Menu::run(QStringLiteral("analysisHistogram"));
    HistogramWindow* histogram = window<HistogramWindow>();
    QVERIFY(histogram);
    histogram->regionBox()->setCurrentIndex(1);
    // Whole counts over a short span: a bin per count from the least to the greatest.
    QMap<int, int> counts;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            ++counts[int(shownValue(1, 2, x, y))];
    QTableWidget* bins = histogram->table();
    QCOMPARE(bins->rowCount(), counts.lastKey() - counts.firstKey() + 1);
    for (int i = 0; i < bins->rowCount(); ++i)
        QCOMPARE(bins->item(i, 2)->text().toInt(), counts.value(counts.firstKey() + i));
    m_window->setManualLimits(25, 40);
    QTRY_COMPARE(histogram->rangeBand()->lowerSeries()->points(),
                 QList<QPointF>({{25, 0}, {40, 0}}));
}

void TestRegionsWindow::drawnRegionsSaveAndLoad()
{
    drag(Tool::Freehand, {{6, 41}, {16, 41}, {16, 51}, {6, 51}});
    RegionTools::instance().setTool(Tool::Polygon);
    for (const QPoint& p : QList<QPoint>{{31, 31}, {41, 31}, {41, 41}, {32, 32}})
        QTest::mouseClick(m_overlay, Qt::LeftButton, {}, p); // the last closes it
    drag(Tool::Ellipse, {{51, 11}, {61, 16}});
    const QList<Region> drawn = m_acquisition->regions();
    QCOMPARE(drawn.size(), 3);
    QCOMPARE(drawn[0].polygon, QList<QPointF>({{5, 40}, {15, 40}, {15, 50}, {5, 50}}));
    QCOMPARE(drawn[1].polygon, QList<QPointF>({{30, 30}, {40, 30}, {40, 40}}));
    QCOMPARE(drawn[2].bounds, QRectF(50, 10, 10, 5));

    m_chosenFile = m_dir.filePath("regions.json");
    Menu::run(QStringLiteral("analysisSaveRegions"));
    m_acquisition->setRegions({});
    Menu::run(QStringLiteral("analysisLoadRegions"));
    QCOMPARE(m_acquisition->regions(), drawn);

    QFile bad(m_dir.filePath("bad.json"));
    QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write("{\"regions\": [{\"shape\": \"rect\"}]}"));
    bad.close();
    m_chosenFile = bad.fileName();
    Menu::run(QStringLiteral("analysisLoadRegions"));
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages.first().contains("is not a regions file: region 1 has no list"),
             qPrintable(m_messages.first()));
    QCOMPARE(m_acquisition->regions(), drawn);
}

QTEST_MAIN(TestRegionsWindow)
#include "tst_regionswindow.moc"
