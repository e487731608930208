// Regions on real image windows: a rectangle dragged out and moved with the mouse shows in the
// "Regions" table while it moves; the table's CSV reads back with Python's csv module, ratio
// rows included; the depth profile plots each layer's sums; the line profile and the histogram
// follow their window; shapes drawn by hand are saved and loaded back, and a bad file is told.
#include "core/stats/findregions.h"
#include "imbuilder.h"
#include "ui/analysishistory.h"
#include "ui/canvas.h"
#include "ui/depthprofilewindow.h"
#include "ui/dialogs.h"
#include "ui/histogramwindow.h"
#include "ui/imagewindow.h"
#include "ui/lineprofilewindow.h"
#include "ui/mainwindow.h"
#include "ui/messagebox.h"
#include "ui/regionoverlay.h"
#include "ui/regionswindow.h"
#include "ui/regiontools.h"
#include "ui/scatterplotwindow.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QProcess>
#include <QPushButton>
#include <QScatterSeries>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>
#include <QValueAxis>

using namespace isolumen;

namespace {

constexpr int kSide = 64;
constexpr double kField = 20.04; // µm as recorded, shown rounded to 20.0
using Tool = RegionTools::Tool;

// Two species over three layers. A file row shows mirrored: its sample k at x = side - 1 - k.
quint32 sample(int species, int layer, int row, int k)
{
    return quint32((3 * row + 7 * k + 11 * species) % 50 + 10 * layer);
}

double shown(int species, int layer, int x, int y)
{
    return sample(species, layer, y, kSide - 1 - x);
}

double rectSum(int species, int layer, const QRect& r)
{
    double sum = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            sum += shown(species, layer, x, y);
    return sum;
}

template <typename T> T* window()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible())
            return t;
    return nullptr;
}

} // namespace

class TestRegionsWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_chosenFile;
    QStringList m_messages;
    std::unique_ptr<Acquisition> m_acquisition;
    QPointer<MainWindow> m_main;
    ImageWindow* m_window = nullptr;
    RegionOverlay* m_overlay = nullptr;

    void add(const char* region) { m_acquisition->addRegion(*parseRegion(region)); }
    // Presses at the first point (overlay pixels), moves through the rest, releases at the last.
    void drag(Tool tool, const QList<QPoint>& path)
    {
        RegionTools::instance().setTool(tool);
        QTest::mousePress(m_overlay, Qt::LeftButton, {}, path.first());
        for (const QPoint& p : path.mid(1))
            QTest::mouseMove(m_overlay, p);
        QTest::mouseRelease(m_overlay, Qt::LeftButton, {}, path.last());
    }

private slots:
    void initTestCase()
    {
        ImBuilder b;
        b.nSpecies = 2;
        b.labels = {"12C", "13C"};
        b.nPlanes = 3;
        b.width = b.height = kSide;
        b.nmSize = 20040;
        b.sample = sample;
        QVERIFY(b.write(m_dir.filePath("test.im")));
        setMessageHandler([this](const QString& text) { m_messages << text; });
        Dialogs::setSaveFile([this](auto...) { return std::pair{m_chosenFile, QString()}; });
        Dialogs::setOpenFile([this](auto...) { return m_chosenFile; });
    }

    void init()
    {
        m_messages.clear();
        m_acquisition = std::make_unique<Acquisition>();
        m_main = new MainWindow(*m_acquisition);
        m_main->openImage(m_dir.filePath("test.im"));
        m_window = m_main->openImageWindow(PlaneSource{0, std::nullopt});
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        m_overlay = m_window->findChild<RegionOverlay*>();
    }

    void cleanup()
    {
        m_main->close(); // closes every window
        QTRY_VERIFY(m_main.isNull());
        RegionTools::instance().setTool(Tool::Select);
        RegionTools::instance().setLineWidth(1);
    }

    void dragUpdatesTable()
    {
        drag(Tool::Rectangle, {{11, 21}, {21, 31}}); // the picture's (x + 1, y + 1) shows (x, y)
        QCOMPARE(m_acquisition->regions().first().bounds, QRectF(10, 20, 10, 10));
        Menu::run(QStringLiteral("analysisRegions"));
        RegionsWindow* regions = window<RegionsWindow>();
        QVERIFY(regions);
        auto cell = [&](int row, int column) {
            return regions->table()->item(row, column)->text();
        };
        QCOMPARE(regions->table()->rowCount(), 2); // 12C and 13C
        QCOMPARE(cell(0, 0), "1");                 // the id
        QCOMPARE(cell(0, 5), "100");
        QCOMPARE(cell(0, 6), QString::number(100 * (kField / kSide) * (kField / kSide)));
        QCOMPARE(cell(1, 7), QString::number(rectSum(2, 1, {10, 20, 10, 10})));

        // Moved 5 pixels right: the table follows before the button is released.
        RegionTools::instance().setTool(Tool::Select);
        QTest::mousePress(m_overlay, Qt::LeftButton, {}, {16, 26});
        QTest::mouseMove(m_overlay, {21, 26});
        QTRY_COMPARE(cell(0, 7), QString::number(rectSum(1, 1, {15, 20, 10, 10})));
        QTest::mouseRelease(m_overlay, Qt::LeftButton, {}, {21, 26});

        regions->table()->item(1, 1)->setText(QStringLiteral("cell"));
        QTRY_COMPARE(cell(0, 1), "cell");
        QTest::keyClick(m_overlay, Qt::Key_Delete);
        QTRY_COMPARE(regions->table()->rowCount(), 0);
    }

    void tableReadsAsCsv()
    {
        add("rect:30,30,5,5");
        Region named = m_acquisition->regions()[0];
        named.name = QStringLiteral("cells, \"bright\"");
        m_acquisition->replaceRegion(0, named);
        m_main->openImageWindow(PlaneSource{1, RatioDefinition{{1}, {0}, 1, 0, 0}}); // 13C/12C
        Menu::run(QStringLiteral("analysisRegions"));
        m_chosenFile = m_dir.filePath("regions.csv");
        window<RegionsWindow>()->findChild<QPushButton*>("exportCsv")->click();

        QProcess python;
        python.start("/usr/bin/python3", {"-c",
                                          "import csv, json, sys; print(json.dumps(list("
                                          "csv.reader(open(sys.argv[1], encoding='utf-8')))))",
                                          m_chosenFile});
        if (!python.waitForFinished(60000) || python.exitCode() != 0)
            QSKIP("No Python 3 to read the CSV with");
        const QJsonArray rows = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
        QCOMPARE(rows.size(), 4); // headers, then 12C, 13C and 13C/12C
        QCOMPARE(rows[0][0].toString(), "id");
        QCOMPARE(rows[0][13].toString(), "Poisson error");
        QCOMPARE(rows[1][1].toString(), "cells, \"bright\"");
        QCOMPARE(rows[3][3].toString(), "13C/12C");
        const double n = rectSum(2, 1, {30, 30, 5, 5}), d = rectSum(1, 1, {30, 30, 5, 5});
        QCOMPARE(rows[3][12].toString().toDouble(), n / d);
        QCOMPARE(rows[3][13].toString().toDouble(), n / d * std::sqrt(1 / n + 1 / d));
    }

    void outlinesShowOnEveryTable_data()
    {
        QTest::addColumn<int>("table");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QRgb>("light");
        QTest::addColumn<int>("width"); // of the light line
        QTest::addColumn<QString>("regionClass");
        QTest::newRow("Rainbow") << 9 << false << qRgb(255, 255, 0) << 1 << "";
        QTest::newRow("GrayScale") << 6 << false << qRgb(255, 255, 0) << 1 << "";
        QTest::newRow("Rainbow, selected, thicker") << 9 << true << qRgb(0, 255, 255) << 2 << "";
        QTest::newRow("a class: its colour") << 6 << false << qRgb(230, 159, 0) << 1 << "cyano";
    }

    void outlinesShowOnEveryTable()
    {
        QFETCH(int, table);
        QFETCH(bool, selected);
        QFETCH(QRgb, light);
        QFETCH(int, width);
        QFETCH(QString, regionClass);
        ColourChoice colours;
        colours.table = table;
        m_window->setColours(colours);
        add("rect:10,10,30,20");
        Region classed = m_acquisition->regions()[0];
        classed.regionClass = regionClass;
        m_acquisition->replaceRegion(0, classed);
        if (selected)
            RegionTools::instance().select(0, false);
        // Down a column through the top edge, clear of its handle: light between dark lines.
        const QImage picture = m_window->imageCanvas()->grab().toImage();
        QList<QRgb> column;
        for (int y = 6; y < 18; ++y)
            column << (picture.pixel(16, y) & 0xFFFFFF);
        const qsizetype first = column.indexOf(light & 0xFFFFFF);
        QVERIFY2(first > 0, "no light line");
        QCOMPARE(column.lastIndexOf(light & 0xFFFFFF) - first + 1, width);
        QCOMPARE(column[first - 1], 0u);
        QCOMPARE(column[first + width], 0u);
    }

    void depthProfileIsLayerSums()
    {
        const QRect r(40, 8, 6, 9);
        add("rect:40,8,6,9");
        Menu::run(QStringLiteral("analysisDepthProfile"));
        DepthProfileWindow* profile = window<DepthProfileWindow>();
        QVERIFY(profile);
        auto curve = [&](int i) {
            return static_cast<QLineSeries*>(profile->chart()->series()[i]);
        };
        QCOMPARE(profile->chart()->series().size(), 2);
        for (int species = 1; species <= 2; ++species) {
            QCOMPARE(curve(species - 1)->count(), 3);
            for (int layer = 1; layer <= 3; ++layer)
                QCOMPARE(curve(species - 1)->at(layer - 1),
                         QPointF(layer, rectSum(species, layer, r)));
        }
        // Each sum with its Poisson error, the square root of the counts.
        QCOMPARE(profile->table()->item(2, 2)->text(),
                 QString::number(std::sqrt(rectSum(1, 3, r)), 'g', 6));
        profile->quantityBox()->setCurrentIndex(1); // the mean
        QCOMPARE(curve(0)->at(0).y(), rectSum(1, 1, r) / 54);
        QCOMPARE(curve(0)->name(), "Region 1 · 12C");
        QVERIFY(curve(0)->color() != curve(1)->color());
        QCOMPARE(static_cast<QValueAxis*>(profile->chart()->axes(Qt::Vertical)[0])->min(), 0.0);

        // It follows renames and new regions, and a second call raises it.
        Region renamed = m_acquisition->regions()[0];
        renamed.name = QStringLiteral("cell");
        m_acquisition->replaceRegion(0, renamed);
        add("rect:2,2,3,3");
        QTRY_COMPARE(profile->chart()->series().size(), 4);
        QCOMPARE(curve(1)->name(), "cell · 13C");
        QVERIFY(curve(0)->lightMarker().isNull()); // colours tell eight curves apart
        for (const char* more : {"rect:5,40,3,3", "rect:12,40,3,3", "rect:20,40,3,3"})
            add(more);
        QTRY_COMPARE(profile->chart()->series().size(), 10); // beyond eight: a shape per region
        auto shape = [&](int i) { return curve(i)->lightMarker().createAlphaMask(); };
        QCOMPARE(shape(0), shape(1)); // one region, two species
        QVERIFY(shape(0) != shape(2));
        Menu::run(QStringLiteral("analysisDepthProfile"));
        int open = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            open += qobject_cast<DepthProfileWindow*>(w) && w->isVisible();
        QCOMPARE(open, 1);
    }

    // A layer left out is a gap: each curve breaks into runs of layers around it.
    void depthProfileGap()
    {
        const QRect r(40, 8, 6, 9);
        add("rect:40,8,6,9");
        m_acquisition->setExcludedLayers({2});
        Menu::run(QStringLiteral("analysisDepthProfile"));
        m_acquisition->setExcludedLayers({});
        DepthProfileWindow* profile = window<DepthProfileWindow>();
        QVERIFY(profile);
        const QList<QAbstractSeries*> runs = profile->chart()->series();
        QCOMPARE(runs.size(), 4);
        QCOMPARE(static_cast<QLineSeries*>(runs[0])->points(),
                 QList<QPointF>{QPointF(1, rectSum(1, 1, r))});
        QCOMPARE(static_cast<QLineSeries*>(runs[1])->points(),
                 QList<QPointF>{QPointF(3, rectSum(1, 3, r))});
        QCOMPARE(profile->table()->rowCount(), 3);
    }

    void lineProfileAndHistogramFollowWindow()
    {
        drag(Tool::Line, {{3, 6}, {13, 6}}); // through the centres of row 5, x 2 to 12
        Menu::run(QStringLiteral("analysisLineProfile"));
        LineProfileWindow* line = window<LineProfileWindow>();
        QVERIFY(line);
        QCOMPARE(line->curve()->count(), 11);
        QCOMPARE(line->curve()->at(10), QPointF(10 * kField / kSide, shown(1, 1, 12, 5)));
        m_acquisition->setLayer(2);
        QTRY_COMPARE(line->curve()->at(0).y(), shown(1, 2, 2, 5));
        line->widthBox()->setValue(3); // the mean of rows 4 to 6
        QCOMPARE(line->curve()->at(0).y(),
                 (shown(1, 2, 2, 4) + shown(1, 2, 2, 5) + shown(1, 2, 2, 6)) / 3);

        add("rect:20,20,7,5");
        Menu::run(QStringLiteral("analysisHistogram"));
        HistogramWindow* histogram = window<HistogramWindow>();
        QVERIFY(histogram);
        histogram->regionBox()->setCurrentIndex(1);
        // Whole counts over a short span: a bin per count from the least to the greatest.
        QMap<int, int> counts;
        for (int y = 20; y < 25; ++y)
            for (int x = 20; x < 27; ++x)
                ++counts[int(shown(1, 2, x, y))];
        QTableWidget* bins = histogram->table();
        QCOMPARE(bins->rowCount(), counts.lastKey() - counts.firstKey() + 1);
        for (int i = 0; i < bins->rowCount(); ++i)
            QCOMPARE(bins->item(i, 2)->text().toInt(), counts.value(counts.firstKey() + i));
        m_window->setManualLimits(25, 40);
        QTRY_COMPARE(histogram->rangeBand()->lowerSeries()->points(),
                     QList<QPointF>({{25, 0}, {40, 0}}));
    }

    // Find Regions shows its cells while the dialog is open, then adds them (or replaces the
    // regions) in one step of the history; a mask written and imported gives the same pixels.
    void foundRegionsAndMasks()
    {
        add("rect:0,0,4,4");
        const QList<Region> before = m_acquisition->regions();
        FindRegionsChoice choice{*isolumen::parseFindingSource("12C", {"12C", "13C"}), false};
        choice.finding.options.threshold = isolumen::SegmentationOptions::Threshold::Value;
        choice.finding.options.thresholdValue = 40;
        int previewed = -1;
        Dialogs::setFindRegions([&](QWidget*, const QStringList& species, const auto& preview) {
            preview(choice);
            previewed = int(RegionTools::instance().preview().size());
            return species == QStringList{"12C", "13C"} ? std::optional(choice) : std::nullopt;
        });
        Menu::run(QStringLiteral("analysisFindRegions"));
        QVERIFY(RegionTools::instance().preview().isEmpty());
        const QList<Region> regions = m_acquisition->regions();
        QVERIFY(previewed > 1);
        QCOMPARE(regions.size(), 1 + previewed);
        QCOMPARE(regions.first(), before.first());
        QCOMPARE(regions.last().name, QStringLiteral("Cell %1").arg(previewed));
        isolumen::AnalysisHistory::of(*m_acquisition)->stack().undo();
        QCOMPARE(m_acquisition->regions(), before);
        isolumen::AnalysisHistory::of(*m_acquisition)->stack().redo();

        m_chosenFile = m_dir.filePath("mask.tif");
        Menu::run(QStringLiteral("analysisExportMask"));
        Menu::run(QStringLiteral("analysisImportMask"));
        const QList<Region>& imported = m_acquisition->regions();
        QCOMPARE(imported.size(), regions.size());
        // Cells do not overlap: each comes back whole. The rectangle loses to the cells drawn
        // after it where they overlap.
        for (const Region& r : imported) {
            const auto original = std::find_if(regions.begin(), regions.end(),
                                               [&](const Region& o) { return o.id == r.id; });
            QVERIFY(original != regions.end());
            const std::vector<qint64> got = regionPixels(r, kSide);
            const std::vector<qint64> want = regionPixels(*original, kSide);
            if (r.id == before.first().id)
                QVERIFY(std::includes(want.begin(), want.end(), got.begin(), got.end()));
            else
                QCOMPARE(got, want);
        }
        Dialogs::setFindRegions({});
    }

    // The class field shows the rows of one class only; the other regions stay as they are.
    void classFilter()
    {
        add("rect:0,0,4,4");
        add("rect:10,10,4,4");
        Region classed = m_acquisition->regions()[1];
        classed.regionClass = "cyano";
        m_acquisition->replaceRegion(1, classed);
        Menu::run(QStringLiteral("analysisRegions"));
        RegionsWindow* regions = window<RegionsWindow>();
        QVERIFY(regions);
        const QTableWidget* table = regions->table();
        QTRY_VERIFY(table->rowCount() == 4); // two regions, two species
        regions->findChild<QLineEdit*>("classFilter")->setText("cyano");
        QCOMPARE((QList<bool>{table->isRowHidden(0), table->isRowHidden(1), table->isRowHidden(2),
                              table->isRowHidden(3)}),
                 (QList<bool>{true, true, false, false}));
        QCOMPARE(m_acquisition->regions().size(), 2);
    }

    // Classify Regions sets the class where the rule holds, in one step; the table then sorts by
    // class and still edits the right region; the legend gives the class's colour.
    void classifyRegions()
    {
        const QList<QRect> rects{{0, 0, 4, 4}, {10, 10, 4, 4}, {30, 30, 4, 4}};
        QList<double> sums;
        for (const QRect& r : rects) {
            add(qPrintable(QStringLiteral("rect:%1,%2,4,4").arg(r.x()).arg(r.y())));
            sums << rectSum(1, 1, r);
        }
        QList<double> sorted = sums;
        std::sort(sorted.begin(), sorted.end());
        QVERIFY(sorted[0] < sorted[1] && sorted[1] < sorted[2]);
        using isolumen::RegionMeasure;
        // The two largest sums of 12C, the boundary one included.
        const isolumen::ClassRule rule{{RegionMeasure::Statistic::Sum, 0, std::nullopt},
                                       isolumen::ClassRule::Comparison::GreaterOrEqual,
                                       sorted[1]};
        Dialogs::setClassify([&](auto...) { return isolumen::Classification{{rule}, "bright"}; });
        Menu::run(QStringLiteral("analysisClassify"));
        Dialogs::setClassify({});
        QStringList want;
        for (const double sum : sums)
            want << (sum >= sorted[1] ? "bright" : "");
        QStringList got;
        for (const Region& r : m_acquisition->regions())
            got << r.regionClass;
        QCOMPARE(got, want);
        QUndoStack& history = isolumen::AnalysisHistory::of(*m_acquisition)->stack();
        QCOMPARE(history.undoText(), "Classify Regions");

        Menu::run(QStringLiteral("analysisRegions"));
        RegionsWindow* regions = window<RegionsWindow>();
        QTableWidget* table = regions->table();
        QTRY_COMPARE(table->rowCount(), 6);
        table->sortByColumn(2, Qt::AscendingOrder); // the unclassified region first
        const int dim = int(want.indexOf(""));
        QCOMPARE(table->item(0, 0)->text(), QString::number(dim + 1));
        QCOMPARE(table->item(4, 2)->text(), "bright");
        table->item(1, 1)->setText("dim");
        QCOMPARE(m_acquisition->regions()[dim].name, "dim");
        QVERIFY(regions->findChild<QLabel*>("classLegend")->text().contains("#e69f00"));

        history.undo(); // the name
        history.undo(); // the classes
        QVERIFY(std::all_of(m_acquisition->regions().begin(), m_acquisition->regions().end(),
                            [](const Region& r) { return r.regionClass.isEmpty(); }));
    }

    // The scatter plot's points and error bars are the table's figures; a click on a point
    // selects its region; the plot saves as SVG.
    void scatterPlot()
    {
        add("rect:0,0,8,8");
        add("rect:20,20,8,8");
        Region classed = m_acquisition->regions()[1];
        classed.regionClass = "a";
        m_acquisition->replaceRegion(1, classed);
        m_main->openImageWindow(PlaneSource{1, RatioDefinition{{1}, {0}, 1, 0, 0}}); // 13C/12C
        Menu::run(QStringLiteral("analysisRegions"));
        const TableData table = window<RegionsWindow>()->tableData();
        Menu::run(QStringLiteral("analysisScatter"));
        ScatterPlotWindow* scatter = window<ScatterPlotWindow>();
        QVERIFY(scatter);
        QVERIFY(QTest::qWaitForWindowExposed(scatter));
        // x: the ratio of sums 13C/12C; y: the mean of 12C. Rows: 12C, 13C, 13C/12C by region.
        QCOMPARE(scatter->points().size(), 2);
        for (const isolumen::ScatterPoint& p : scatter->points()) {
            const QVariantList& ratio = table.rows[(p.region - 1) * 3 + 2];
            QCOMPARE(p.x, ratio[12].toDouble());
            QCOMPARE(p.xError, ratio[13].toDouble());
            QCOMPARE(p.y, table.rows[(p.region - 1) * 3][8].toDouble());
            QCOMPARE(p.yError, 0.0);
            QScatterSeries* series = scatter->classSeries(p.regionClass);
            QVERIFY(series && series->count() == 1);
            QCOMPARE(series->at(0), QPointF(p.x, p.y));
        }

        RegionTools::instance().clearSelection();
        QScatterSeries* a = scatter->classSeries("a");
        const QPoint at = scatter->chartView()->mapFromScene(
            scatter->chart()->mapToScene(scatter->chart()->mapToPosition(a->at(0), a)));
        QTest::mouseClick(scatter->chartView()->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(RegionTools::instance().selection(), QList<int>{1});

        m_chosenFile = m_dir.filePath("scatter.svg");
        scatter->findChild<QPushButton*>("savePicture")->click();
        QFile svg(m_chosenFile);
        QVERIFY(svg.open(QIODevice::ReadOnly));
        QVERIFY(svg.readAll().contains("<svg"));
    }

    void drawnRegionsSaveAndLoad()
    {
        drag(Tool::Freehand, {{6, 41}, {16, 41}, {16, 51}, {6, 51}});
        RegionTools::instance().setTool(Tool::Polygon);
        for (const QPoint& p : {QPoint(31, 31), QPoint(41, 31), QPoint(41, 41), QPoint(32, 32)})
            QTest::mouseClick(m_overlay, Qt::LeftButton, {}, p); // the last, near the first, closes
        const QList<Region> drawn = m_acquisition->regions();
        QCOMPARE(drawn.size(), 2);
        QCOMPARE(drawn[0].polygon, QList<QPointF>({{5, 40}, {15, 40}, {15, 50}, {5, 50}}));
        QCOMPARE(drawn[1].polygon, QList<QPointF>({{30, 30}, {40, 30}, {40, 40}}));

        m_chosenFile = m_dir.filePath("regions.json");
        Menu::run(QStringLiteral("analysisSaveRegions"));
        m_acquisition->removeRegion(0); // loading replaces what there is
        Menu::run(QStringLiteral("analysisLoadRegions"));
        QCOMPARE(m_acquisition->regions(), drawn);

        QFile bad(m_chosenFile = m_dir.filePath("bad.json"));
        QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write(R"({"regions": [{"shape": "rect"}]})"));
        bad.close();
        Menu::run(QStringLiteral("analysisLoadRegions"));
        QCOMPARE(m_messages, QStringList(m_chosenFile + " is not a regions file: region 1 has no "
                                                        "list \"coords\"."));
        QCOMPARE(m_acquisition->regions(), drawn);
    }
};

QTEST_MAIN(TestRegionsWindow)
#include "tst_regionswindow.moc"
