// The analysis kept: undo and redo of every covered change, with the model compared after each
// step; an analysis saved, read by a new process (--stats --analysis against the same options
// by hand) and opened again with its ids and unknown keys; another acquisition offered its
// regions only; the save question on quit; a recovery after the process is killed.
#include "core/io/analysisfile.h"
#include "core/model/acquisition.h"
#include "core/model/alignlayers.h"
#include "core/progress.h"
#include "imbuilder.h"
#include "runisolumen.h"
#include "ui/analysishistory.h"
#include "ui/analysissession.h"
#include "ui/dialogs.h"
#include "ui/imagewindow.h"
#include "ui/imagewindowlist.h"
#include "ui/mainwindow.h"
#include "ui/menu.h"
#include "ui/messagebox.h"
#include "ui/regiontools.h"
#include "ui/scatterplotwindow.h"
#include "ui/studywindow.h"

#include <QAction>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

using namespace isolumen;

namespace {

const char* const kChildArgument = "--leave-a-change";

ImBuilder builder(qint16 planes)
{
    ImBuilder b;
    b.nSpecies = 2;
    b.labels = {"12C", "13C"};
    b.width = b.height = 64;
    b.nPlanes = planes;
    b.sample = [](int s, int p, int r, int k) { return quint32((r * 3 + k * 5 + s * 7 + p) % 40); };
    return b;
}

Region rect(const char* text)
{
    return *parseRegion(QString::fromLatin1(text));
}

struct ModelState
{
    QList<Region> regions;
    std::shared_ptr<const Corrections> corrections;
    std::shared_ptr<const Alignment> alignment;
    int first = 1, last = 1;
    bool operator==(const ModelState&) const = default;
};

ModelState stateOf(const Acquisition& a)
{
    return {a.regions(), a.corrections(), a.alignment(), a.firstLayer(), a.lastLayer()};
}

std::shared_ptr<const Corrections> deadTime40(const Acquisition& a)
{
    CorrectionSettings settings;
    settings.deadTime = true;
    settings.deadTimeAllNs = 40;
    return makeCorrections(a.header(), settings)->corrections;
}

using Action = std::function<void(Acquisition&)>;

} // namespace

class TestAnalysisFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_asked;
    QList<int> m_answers; // given in turn to the questions
    QString m_savePath;
    std::unique_ptr<Acquisition> m_acquisition;

    QString work(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase();
    void init() { m_acquisition = std::make_unique<Acquisition>(); }
    void cleanup();
    void undoRedo_data();
    void undoRedo();
    void roundTrip();
    void otherAcquisitionGetsRegionsOnly();
    void saveQuestionOnQuit_data();
    void saveQuestionOnQuit();
    void recoveryAfterKill();
    void study();
};

void TestAnalysisFile::initTestCase()
{
    QVERIFY(builder(3).write(work("a.im")));
    setQuestionHandler([this](const QString& text, const QStringList&) {
        m_asked << text;
        return m_answers.isEmpty() ? -1 : m_answers.takeFirst();
    });
    setMessageHandler([](const QString& text) { qWarning("%s", qPrintable(text)); });
    Dialogs::setSaveFile([this](QWidget*, const QString&, const QString&, const QString&) {
        return std::pair{m_savePath, QString()};
    });
}

void TestAnalysisFile::cleanup()
{
    m_answers = QList<int>(4, 1); // "Discard"
    for (QWidget* w : QApplication::topLevelWidgets())
        w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_acquisition.reset();
    m_asked.clear();
    m_answers.clear();
}

void TestAnalysisFile::undoRedo_data()
{
    QTest::addColumn<Action>("action");
    QTest::addColumn<QString>("step"); // empty: no step
    auto edit = [](int index, std::function<void(Region&)> change) {
        return Action([=](Acquisition& a) {
            Region r = a.regions()[index];
            change(r);
            a.replaceRegion(index, r);
        });
    };
    QTest::newRow("add") << Action([](Acquisition& a) { a.addRegion(rect("rect:30,30,5,5")); })
                         << "Add Region 3";
    QTest::newRow("move") << edit(1, [](Region& r) {
        r = r.translated({3, -4});
    }) << "Move Region 2";
    QTest::newRow("resize") << edit(1, [](Region& r) { r.bounds.setWidth(20); })
                            << "Resize Region 2";
    QTest::newRow("rename") << edit(0, [](Region& r) { r.name = "cell"; }) << "Rename Region 1";
    QTest::newRow("class") << edit(0, [](Region& r) { r.regionClass = "nucleus"; })
                           << "Set Class of Region 1";
    QTest::newRow("delete") << Action([](Acquisition& a) { a.removeRegion(0); })
                            << "Delete Region 1";
    QTest::newRow("load") << Action([](Acquisition& a) { a.setRegions({rect("rect:1,1,4,4")}); })
                          << "Load Regions";
    QTest::newRow("drag held as one step") << Action([](Acquisition& a) {
        AnalysisHistory::of(a)->hold();
        for (int k = 1; k <= 3; ++k)
            a.replaceRegion(0, a.regions()[0].translated({1, 0}));
        AnalysisHistory::of(a)->release();
    }) << "Move Region 1";
    QTest::newRow("corrections") << Action([](Acquisition& a) { a.setCorrections(deadTime40(a)); })
                                 << "Change Corrections";
    QTest::newRow("align") << Action([](Acquisition& a) {
        Alignment shifted;
        shifted.shifts = {{0, 0}, {1, 1}, {2, 2}};
        a.setAlignment(std::make_shared<Alignment>(shifted));
    }) << "Align Layers";
    QTest::newRow("undo alignment")
        << Action([](Acquisition& a) { a.setAlignment(nullptr); }) << "Undo Alignment";
    QTest::newRow("choose sum") << Action([](Acquisition& a) { a.setLayerRange(1, 3); })
                                << "Sum of Layers 1-3";
    QTest::newRow("leave sum") << Action([](Acquisition& a) {
        a.setLayerRange(2, 3);
        AnalysisHistory::of(a)->reset();
        a.setLayer(2);
    }) << "Leave Sum of Layers";
    QTest::newRow("single layer step") << Action([](Acquisition& a) { a.setLayer(3); }) << "";
}

void TestAnalysisFile::undoRedo()
{
    QFETCH(Action, action);
    QFETCH(QString, step);
    Acquisition a;
    auto* history = new AnalysisHistory(a);
    QCOMPARE(a.open(work("a.im")), ImFile::Status::Accepted);
    a.addRegion(rect("rect:2,2,10,10"));
    a.addRegion(rect("rect:20,20,8,8"));
    Alignment shifted;
    shifted.shifts = {{0, 0}, {0, 1}, {0, 2}};
    a.setAlignment(std::make_shared<Alignment>(shifted));
    history->reset();
    action(a);
    const ModelState after = stateOf(a);
    QUndoStack& stack = history->stack();
    QAction* undo = Menu::instance().item(QStringLiteral("editUndo"));
    if (step.isEmpty()) {
        QCOMPARE(stack.count(), 0);
        QVERIFY(!undo->isEnabled());
        return;
    }
    QCOMPARE(stack.count(), 1);
    QCOMPARE(undo->text(), "Undo " + step);
    QVERIFY(history->isModified());
    Menu::run(QStringLiteral("editUndo"));
    const ModelState undone = stateOf(a);
    QVERIFY(!(undone == after));
    QVERIFY(!history->isModified());
    QCOMPARE(Menu::instance().item(QStringLiteral("editRedo"))->text(), "Redo " + step);
    Menu::run(QStringLiteral("editRedo"));
    QVERIFY(stateOf(a) == after);
    stack.undo();
    QVERIFY(stateOf(a) == undone);
}

void TestAnalysisFile::roundTrip()
{
    Acquisition& a = *m_acquisition;
    auto* main = new MainWindow(a);
    main->openImage(work("a.im"));
    for (const char* r : {"rect:2,2,10,10", "ellipse:20.5,20.5,9,7", "polygon:40,5,60,8,50,30"})
        a.addRegion(rect(r));
    a.removeRegion(1);
    Region classed = a.regions().first();
    classed.regionClass = "cyano, large";
    a.replaceRegion(0, classed);
    a.setCorrections(deadTime40(a));
    auto alignment = std::make_shared<Alignment>(*alignLayers(*a.file(), AlignRequest{}, nullptr));
    alignment->setByHand(2, {1.5, -2});
    alignment->settings.region = QRect(4, 5, 30, 20);
    a.setAlignment(alignment);
    ImageWindow* ratio = main->openImageWindow(PlaneSource{1, RatioDefinition{{1}, {0}, 1, 0, 0}});
    ratio->setColours(ColourChoice{2});
    ratio->setManualLimits(std::nullopt, 5.0);
    // A δ of a sum, scaled: its source text ends in the scale and the unit.
    RatioDefinition deltaRatio{{1}, {0, 1}, 1000};
    deltaRatio.unit = RatioUnit::Delta;
    deltaRatio.standard = 0.5;
    ImageWindow* delta = main->openImageWindow(PlaneSource{1, deltaRatio});
    QCOMPARE(delta->windowTitle(), "13C/(12C+13C) \u00d71000 \u03b4 (\u2030) (Layer 1, aligned)");
    const OverlayDefinition overlay{
        {{*parseFindingSource("1+2", {}), {{}, std::pair{0.0, 9.0}}},
         {*parseFindingSource("2/1", {}), {{AutoRange::Percentile, 1, 99}, std::nullopt}}},
        OverlayColours::MagentaGreenCyan};
    ImageWindow* overlayWindow = main->openOverlayWindow(overlay);
    m_savePath = work("a.isolumen");
    QVERIFY(main->session().saveAnalysis());
    ratio->close();
    delta->close();
    overlayWindow->close();
    QFile regions(work("regions.json"));
    QVERIFY(regions.open(QIODevice::WriteOnly));
    regions.write(regionsToJson(a.regions()));
    regions.close();

    // Keys of a later version, at the top and in a region, survive the next save.
    QFile file(m_savePath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QJsonObject doc = QJsonDocument::fromJson(file.readAll()).object();
    file.close();
    doc.insert("future", QJsonObject{{"x", 1}});
    doc.insert("layers", QJsonObject{{"first", 1}, {"last", 1}, {"excluded", QJsonArray{2}}});
    QJsonArray list = doc.value("regions").toArray();
    QJsonObject third = list[1].toObject();
    third.insert("colour", "red");
    list[1] = third;
    doc.insert("regions", list);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(doc).toJson());
    file.close();

    const QStringList common{"--stats", "--sum", "--ratio", "2/1"};
    const Run saved = runIsolumen(m_dir.path(), common + QStringList{"--analysis", "a.isolumen"});
    const Run byHand = runIsolumen(
        m_dir.path(), common + QStringList{"a.im", "--rois", "regions.json", "--deadtime-ns", "40",
                                           "--align", "--align-species", "1", "--exclude", "2"});
    QCOMPARE(saved.status, 0);
    QCOMPARE(byHand.status, 0);
    QCOMPARE(saved.out, byHand.out);
    QVERIFY(saved.out.contains("\n3,,12C,")); // the region column is the id, then its class
    QVERIFY(saved.out.contains("\n1,\"cyano, large\",12C,"));

    const ModelState kept = stateOf(a);
    main->openImage(work("a.im"));
    QVERIFY(a.regions().isEmpty());
    main->session().openAnalysisFile(m_savePath);
    QCOMPARE(a.regions(), kept.regions);
    const QList<ImageWindow*> reopenedWindows = main->imageWindows().windows();
    QCOMPARE(reopenedWindows.size(), 3);
    QCOMPARE(reopenedWindows[1]->source(), PlaneSource({1, deltaRatio}));
    const DisplaySettings& shown = reopenedWindows.first()->settings();
    const OverlayDefinition reopened = reopenedWindows.last()->overlay().value();
    QCOMPARE(reopened.sources.size(), 2);
    QCOMPARE(reopened.sources[0].source.terms.numerator, QList({0, 1}));
    QCOMPARE(reopened.sources[0].range.typed, std::optional(std::pair{0.0, 9.0}));
    QCOMPARE(reopened.sources[1].source.terms.denominator, QList({0}));
    const AutoRangeChoice percentiles = reopened.sources[1].range.automatic;
    QVERIFY(percentiles.mode == AutoRange::Percentile && percentiles.low == 1);
    QVERIFY(reopened.colours == OverlayColours::MagentaGreenCyan);
    QCOMPARE(shown.table, 2);
    QCOMPARE(shown.maxValue, 5.0);
    QVERIFY(shown.autoMin && !shown.autoMax);
    // The shifts with their confidences, a hand-set one and how they were estimated.
    QCOMPARE(a.alignment()->shifts, kept.alignment->shifts);
    QCOMPARE(a.alignment()->confidences, kept.alignment->confidences);
    QVERIFY(a.alignment()->origins == kept.alignment->origins);
    QCOMPARE(a.alignment()->origin(2), ShiftOrigin::Hand);
    QVERIFY(a.alignment()->settings == kept.alignment->settings);
    QCOMPARE(a.corrections()->runs.front().species[1].deadTimeNs, 40.0);
    a.addRegion(rect("rect:1,1,3,3"));
    QCOMPARE(a.regions().last().id, 4);
    QVERIFY(main->session().saveAnalysis());
    QVERIFY(file.open(QIODevice::ReadOnly));
    doc = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(doc.value("future").toObject().value("x").toInt(), 1);
    // A plain ratio is written as it always was, without a unit.
    QVERIFY(!doc.value("windows").toArray()[0].toObject().contains("unit"));
    QCOMPARE(doc.value("layers").toObject().value("excluded").toArray(), QJsonArray{2});
    QCOMPARE(doc.value("regions").toArray()[1].toObject().value("colour").toString(), "red");
    QCOMPARE(doc.value("regions").toArray()[2].toObject().value("id").toInt(), 4);
}

void TestAnalysisFile::otherAcquisitionGetsRegionsOnly()
{
    QDir().mkpath(work("other"));
    QVERIFY(builder(3).write(work("other/a.im")));
    Acquisition& a = *m_acquisition;
    auto* main = new MainWindow(a);
    main->openImage(work("other/a.im"));
    a.addRegion(rect("rect:2,2,10,10"));
    a.setCorrections(deadTime40(a));
    m_savePath = work("other/a.isolumen");
    QVERIFY(main->session().saveAnalysis());
    QVERIFY(builder(2).write(work("other/a.im"))); // another acquisition of the same name
    main->openImage(work("other/a.im"));
    m_answers = {0}; // "Apply Regions"
    main->session().openAnalysisFile(m_savePath);
    QCOMPARE(m_asked.size(), 1);
    QVERIFY2(m_asked.first().contains("size or header differ"), qPrintable(m_asked.first()));
    QCOMPARE(a.regions().size(), 1);
    QVERIFY(!a.corrections());
}

void TestAnalysisFile::saveQuestionOnQuit_data()
{
    QTest::addColumn<int>("answer"); // Save, Discard, Cancel
    QTest::addColumn<bool>("quits");
    QTest::addColumn<bool>("saved");
    QTest::newRow("save") << 0 << true << true;
    QTest::newRow("discard") << 1 << true << false;
    QTest::newRow("cancel") << 2 << false << false;
}

void TestAnalysisFile::saveQuestionOnQuit()
{
    QFETCH(int, answer);
    QFETCH(bool, quits);
    QFETCH(bool, saved);
    Acquisition& a = *m_acquisition;
    QPointer<MainWindow> main = new MainWindow(a);
    main->show();
    main->openImage(work("a.im"));
    Menu::quitApplication(); // nothing changed: no question
    QTRY_VERIFY(main.isNull());
    QVERIFY(m_asked.isEmpty());

    main = new MainWindow(a);
    main->show();
    main->openImage(work("a.im"));
    a.addRegion(rect("rect:2,2,10,10"));
    m_savePath = work(QStringLiteral("quit%1.isolumen").arg(answer));
    m_answers = {answer};
    Menu::quitApplication();
    QCOMPARE(m_asked, QStringList{"Save the analysis of a.im?"});
    QCOMPARE(main.isNull() || !main->isVisible(), quits);
    QCOMPARE(QFile::exists(m_savePath), saved);
}

void TestAnalysisFile::recoveryAfterKill()
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {kChildArgument, work("a.im")});
    QByteArray said;
    while (!said.contains("written") && child.waitForReadyRead(20000))
        said += child.readAll();
    QVERIFY2(said.contains("written"), said.constData());
    child.kill();
    QVERIFY(child.waitForFinished());

    Acquisition& a = *m_acquisition;
    auto* main = new MainWindow(a);
    m_answers = {0}; // "Restore"
    main->openImage(work("a.im"));
    QTRY_COMPARE(a.regions().size(), 1);
    QVERIFY2(m_asked.value(0).contains("Restore it?"), qPrintable(m_asked.value(0)));
    QCOMPARE(a.regions().first().bounds, QRectF(5, 6, 7, 8));
    QVERIFY(AnalysisHistory::of(a)->isModified()); // still to be saved
}

namespace {

// The process the recovery test kills: a change, its recovery written, then nothing more.
int leaveAChange(const QString& path)
{
    Acquisition a;
    MainWindow main(a);
    main.openImage(path);
    a.addRegion(rect("rect:5,6,7,8"));
    const QString recovery = main.session().recoveryPath();
    while (!QFileInfo::exists(recovery))
        QTest::qWait(20);
    std::printf("written\n");
    std::fflush(stdout);
    for (;;)
        QTest::qWait(1000);
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir data; // the application's data folder, where recoveries go
    if (!qEnvironmentVariableIsSet("ISOLUMEN_TEST_DATA"))
        qputenv("ISOLUMEN_TEST_DATA", data.path().toUtf8());
    qputenv("XDG_DATA_HOME", qgetenv("ISOLUMEN_TEST_DATA"));
    QApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == kChildArgument)
        return leaveAChange(QString::fromLocal8Bit(argv[2]));
    TestAnalysisFile test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_analysisfile.moc"

// File > "Open Study...": the table sorts numbers as numbers, filters by file, treatment and
// class, and a chosen row opens its analysis with its region selected.
void TestAnalysisFile::study()
{
    Acquisition& a = *m_acquisition;
    auto* main = new MainWindow(a);
    QStringList inputs;
    for (const auto& [name, planes] : {std::pair{"s1", 2}, std::pair{"s2", 3}}) {
        QVERIFY(builder(qint16(planes)).write(work(QString(name) + ".im")));
        main->openImage(work(QString(name) + ".im"));
        for (const char* r : {"rect:2,2,10,10", "rect:20,20,8,8", "rect:40,4,6,6"})
            a.addRegion(rect(r));
        m_savePath = inputs.emplace_back(work(QString(name) + ".isolumen"));
        QVERIFY(main->session().saveAnalysis());
    }
    // Rows of the table's columns: file, treatment, region, class, species, 10 pixels, sum, a
    // mean of a tenth of it, ratio of sums.
    const auto row = [&](int input, const char* treatment, double region, const char* cls,
                         const char* species, double sum, TableCell ratio = {}) {
        return StudyRow{inputs[input],
                        {QFileInfo(inputs[input]).baseName() + ".im", QString(treatment), region,
                         QString(cls), QString(species), 10.0, sum, sum / 10, ratio}};
    };
    const QStringList columns{"file",   "treatment", "region", "class",        "species",
                              "pixels", "sum",       "mean",   "ratio_of_sums"};
    const StudyTable table{
        columns,
        {row(0, "heat", 1, "cyano", "12C", 9), row(0, "heat", 2, "other", "12C", 10),
         row(1, "cold", 3, "cyano", "12C", 100), row(1, "cold", 1, "", "12C", 2)},
        {"bad.isolumen: not an analysis file"}};
    StudyTable withRatios = table;
    withRatios.rows << row(0, "heat", 1, "cyano", "13C", 1)
                    << row(0, "heat", 1, "cyano", "13C/12C", {}, 0.25)
                    << row(1, "cold", 3, "cyano", "13C", 5)
                    << row(1, "cold", 3, "cyano", "13C/12C", {}, 0.5)
                    << row(1, "cold", 1, "", "13C", 3)
                    << row(1, "cold", 1, "", "13C/12C", {}, 0.75);
    bool cancel = false;
    QStringList ratiosAsked;
    main->setStudyRunner(
        [&](const QStringList& asked, const QStringList& ratios, Progress& progress) {
            if (cancel)
                progress.cancel();
            ratiosAsked = ratios;
            return asked == inputs && !cancel ? std::optional(ratios.isEmpty() ? table : withRatios)
                                              : std::nullopt;
        });
    Dialogs::setOpenFiles([&](QWidget*, const QString&, const QString&) { return inputs; });
    QVERIFY(Menu::run("fileOpenStudy"));
    StudyWindow* window = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        window = window ? window : qobject_cast<StudyWindow*>(w);
    QVERIFY(window);
    QCOMPARE(window->shownRows(), QList<int>({0, 1, 2, 3}));
    window->view()->sortByColumn(6, Qt::AscendingOrder);
    QCOMPARE(window->shownRows(), QList<int>({3, 0, 1, 2})); // 2, 9, 10, 100
    window->filterField(StudyWindow::Filter::Class)->setText("cyano");
    QCOMPARE(window->shownRows(), QList<int>({0, 2}));
    window->filterField(StudyWindow::Filter::Treatment)->setText("COLD");
    QCOMPARE(window->shownRows(), QList<int>({2}));

    // The row of s2's region 3 opens s2 with its third region selected.
    main->openImage(work("s1.im"));
    window->view()->selectRow(0);
    QCOMPARE(a.header().fileName, QString("s2.im"));
    QCOMPARE(RegionTools::instance().selection(), QList<int>({2}));

    // Ratios typed are measured; the scatter plot shows a point per acquisition and region with
    // both figures, and a point clicked opens its region.
    window->ratiosField()->setText("2/1, 4/3+4");
    QTest::keyClick(window->ratiosField(), Qt::Key_Return);
    QCOMPARE(ratiosAsked, QStringList({"2/1", "4/3+4"}));
    QCOMPARE(window->study().rows.size(), 10);
    ScatterPlotWindow* plot = window->showScatterPlot();
    QCOMPARE(plot->points().size(), 3); // s2 has a region 1 as s1 has
    QCOMPARE(plot->points()[1].x, 0.5);
    QCOMPARE(plot->points()[1].y, 0.5);
    main->openImage(work("s1.im"));
    emit plot->pointClicked(plot->points()[1].row, 3);
    QCOMPARE(a.header().fileName, QString("s2.im"));

    cancel = true;
    QVERIFY(!main->study().openStudy(inputs));
    Dialogs::setOpenFiles({});
}
