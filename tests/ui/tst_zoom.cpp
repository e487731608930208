// Zoom and pan in the image window: the picture at every zoom against the window's own picture
// at 100%, the readout and regions through the zoom, a window that opens at the zoom the screen
// has room for, and a readout that follows the values under a mouse held still.
#include "core/model/acquisition.h"
#include "core/render/scalebar.h"
#include "featurefiles.h"
#include "ui/canvas.h"
#include "ui/imageview.h"
#include "ui/imagewindow.h"
#include "ui/mainwindow.h"
#include "ui/menu.h"
#include "ui/messagebox.h"
#include "ui/regiontools.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

using namespace isolumen;

using namespace FeatureFiles;

class TestZoom : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void picture_data();
    void picture();
    void readoutAndRegions();
    void readoutFollowsLayers();
    void wheelAndDrag();
    void largeFrameFitsTheScreen();
    void tiling();

private:
    ImageWindow* openWindow(const ImBuilder& b);

    QTemporaryDir m_dir;
    std::unique_ptr<Acquisition> m_acquisition;
    QPointer<MainWindow> m_main;
};

void TestZoom::initTestCase()
{
    QVERIFY(m_dir.isValid());
    setMessageHandler([](const QString&) {});
}

void TestZoom::init()
{
    m_acquisition = std::make_unique<Acquisition>();
    m_main = new MainWindow(*m_acquisition);
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main));
}

void TestZoom::cleanup()
{
    if (m_main)
        m_main->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_acquisition.reset();
}

ImageWindow* TestZoom::openWindow(const ImBuilder& b)
{
    const QString path = m_dir.filePath(QString::number(b.width) + ".im");
    if (!b.write(path))
        return nullptr;
    m_main->openImage(path);
    ImageWindow* w = m_main->openImageWindow({0, {}});
    return w && QTest::qWaitForWindowExposed(w) ? w : nullptr;
}

// A ragged pattern, so that each block and each mean shows a wrong sample.
static quint32 ragged(int, int layer, int r, int k)
{
    return quint32((r * 37 + k * k * 11 + layer * 5) % 251);
}

void TestZoom::picture_data()
{
    QTest::addColumn<int>("step");
    QTest::newRow("200%: blocks of 2") << 1;
    QTest::newRow("800%: blocks of 8") << 3;
    QTest::newRow("50%: means of 2 x 2") << -1;
    QTest::newRow("12.5%: means of 8 x 8") << -3;
}

// Each screen pixel inside the frame shows its sample's colour as a block, or the mean colour
// of the samples it covers, worked out here from the picture at 100%.
void TestZoom::picture()
{
    QFETCH(int, step);
    ImageWindow* w = openWindow(small(1, 1, ragged));
    QVERIFY(w);
    const QImage full = w->imageCanvas()->backdrop().convertToFormat(QImage::Format_RGB32);
    w->setZoomStep(step);
    QCOMPARE(w->zoomStep(), step);
    const int n = step > 0 ? 1 << step : 1 << -step; // pixels a sample, or samples a pixel
    const int inside = step > 0 ? 64 * n : 64 / n;
    Canvas* canvas = w->imageCanvas();
    QCOMPARE(canvas->size(), QSize(inside + 2, inside + 2));
    const QImage shown = canvas->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), canvas->size());
    for (int y = 0; y < inside + 2; ++y) {
        for (int x = 0; x < inside + 2; ++x) {
            QRgb want = qRgb(0, 0, 0); // the frame stays one pixel
            if (x > 0 && y > 0 && x <= inside && y <= inside) {
                if (step > 0) {
                    want = full.pixel(1 + (x - 1) / n, 1 + (y - 1) / n);
                } else {
                    int r = 0, g = 0, b = 0;
                    for (int j = 0; j < n * n; ++j) {
                        const QRgb c = full.pixel(1 + (x - 1) * n + j % n, 1 + (y - 1) * n + j / n);
                        r += qRed(c), g += qGreen(c), b += qBlue(c);
                    }
                    const int half = n * n / 2;
                    want = qRgb((r + half) / (n * n), (g + half) / (n * n), (b + half) / (n * n));
                }
            }
            if (shown.pixel(x, y) != want)
                QFAIL(qPrintable(QString("pixel (%1, %2) is %3, not %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(shown.pixel(x, y), 0, 16)
                                     .arg(want, 0, 16)));
        }
    }
    // The scale bar measures the zoomed picture.
    QCOMPARE(w->scaleCanvas()->backdrop(),
             scalePicture(m_acquisition->header().micronSize, inside).picture);
    const QString percent = step == 1 ? "200%" : step == 3 ? "800%" : step == -1 ? "50%" : "12.5%";
    QCOMPARE(w->windowTitle(), QString("12C (Layer 1) \u2013 ") + percent);
}

// At 400% canvas pixel (1 + 4x .. 4 + 4x) reads sample x; a rectangle dragged on the zoomed
// picture is kept in shown coordinates.
void TestZoom::readoutAndRegions()
{
    ImageWindow* w = openWindow(small(1, 1, ragged));
    QVERIFY(w);
    w->setZoomStep(2);
    w->imageView()->horizontalScrollBar()->setValue(0);
    w->imageView()->verticalScrollBar()->setValue(0);
    Canvas* canvas = w->imageCanvas();
    QWidget* overlay = canvas->findChild<QWidget*>("regionOverlay");
    QVERIFY(overlay);
    QTest::mouseMove(overlay, QPoint(1 + 4 * 5 + 3, 1 + 4 * 7));
    QTRY_VERIFY2(w->readout()->text().startsWith("x 5  y 7  "), qPrintable(w->readout()->text()));
    RegionTools::instance().setTool(RegionTools::Tool::Rectangle);
    QTest::mousePress(overlay, Qt::LeftButton, {}, QPoint(1 + 4 * 2, 1 + 4 * 3));
    QTest::mouseMove(overlay, QPoint(1 + 4 * 6, 1 + 4 * 9));
    QTest::mouseRelease(overlay, Qt::LeftButton, {}, QPoint(1 + 4 * 6, 1 + 4 * 9));
    RegionTools::instance().setTool(RegionTools::Tool::Select);
    QCOMPARE(m_acquisition->regions().size(), 1);
    QCOMPARE(m_acquisition->regions().first().bounds, QRectF(2, 3, 4, 6));
}

// The mouse rests over a sample whose count differs between the layers: Page Down shows the
// next layer's count under it without the mouse moving.
void TestZoom::readoutFollowsLayers()
{
    const ImBuilder b = small(1, 2, ragged);
    ImageWindow* w = openWindow(b);
    QVERIFY(w);
    QTest::mouseMove(w->windowHandle(), w->imageCanvas()->mapTo(w, QPoint(1 + 9, 1 + 4)));
    const QString first = QString::number(shown(b, 1, 1, 9, 4));
    const QString second = QString::number(shown(b, 1, 2, 9, 4));
    QVERIFY(first != second);
    QTRY_VERIFY2(w->readout()->text().contains("  " + first + "  Layer 1"),
                 qPrintable(w->readout()->text()));
    QTest::keyClick(w->windowHandle(), Qt::Key_PageDown);
    QTRY_VERIFY2(w->readout()->text().contains("  " + second + "  Layer 2"),
                 qPrintable(w->readout()->text()));
}

// Ctrl+wheel zooms about the mouse: the sample under it stays under it; the middle button
// drags the picture.
void TestZoom::wheelAndDrag()
{
    ImageWindow* w = openWindow(small(1, 1, ragged));
    QVERIFY(w);
    isolumen::ImageView* view = w->imageView();
    QWidget* overlay = w->imageCanvas()->findChild<QWidget*>("regionOverlay");
    const QPoint at(41, 21); // over sample (40, 20)
    QTest::mouseMove(overlay, at);
    QTRY_VERIFY(w->readout()->text().startsWith("x 40  y 20  "));
    QWheelEvent wheel(at, overlay->mapToGlobal(at), {}, QPoint(0, 120), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(overlay, &wheel);
    QCOMPARE(w->zoomStep(), 1);
    // The same sample under the resting mouse.
    QVERIFY2(w->readout()->text().startsWith("x 40  y 20  "), qPrintable(w->readout()->text()));
    const int x0 = view->horizontalScrollBar()->value();
    const int y0 = view->verticalScrollBar()->value();
    QTest::mousePress(overlay, Qt::MiddleButton, {}, QPoint(100, 100));
    QMouseEvent move(QEvent::MouseMove, QPointF(90, 95), overlay->mapToGlobal(QPointF(90, 95)),
                     Qt::NoButton, Qt::MiddleButton, {});
    QApplication::sendEvent(overlay, &move);
    QTest::mouseRelease(overlay, Qt::MiddleButton, {}, QPoint(90, 95));
    QCOMPARE(view->horizontalScrollBar()->value(), x0 + 10);
    QCOMPARE(view->verticalScrollBar()->value(), y0 + 5);
    // The readout follows the picture under the resting mouse: the corner (40, 20) was under it,
    // now (45, 22.5), 10 and 5 pixels on at 200%.
    QVERIFY2(w->readout()->text().startsWith("x 45  y 22  "), qPrintable(w->readout()->text()));
    QVERIFY(m_acquisition->regions().isEmpty());
}

// A frame larger than the screen opens at the largest zoom that fits, which the title names,
// and keeps that zoom and size across layers.
void TestZoom::largeFrameFitsTheScreen()
{
    ImBuilder b = small(1, 2, ragged);
    b.width = b.height = 1024;
    ImageWindow* w = openWindow(b);
    QVERIFY(w);
    const QRect available = w->screen()->availableGeometry();
    QVERIFY(w->zoomStep() < 0);
    QVERIFY2(
        w->frameGeometry().width() <= available.width() &&
            w->frameGeometry().height() <= available.height(),
        qPrintable(
            QString("%1 x %2").arg(w->frameGeometry().width()).arg(w->frameGeometry().height())));
    const QSize size = w->contentSize();
    QVERIFY(w->windowTitle().endsWith(w->zoomStep() == -1 ? " \u2013 50%" : " \u2013 25%"));
    QTest::keyClick(w->windowHandle(), Qt::Key_PageDown);
    QTRY_VERIFY(w->windowTitle().startsWith("12C (Layer 2)"));
    QCOMPARE(w->contentSize(), size);
    QVERIFY(w->windowTitle().endsWith("%"));
}

// Eight windows of 512 x 512 frames, tiled on a 1366 x 768 screen: right of the main window,
// inside the screen, none over another; the Window menu lists them and raises the one chosen.
void TestZoom::tiling()
{
    ImBuilder b = small(4, 1, ragged);
    b.nSpecies = 8;
    b.labels = {"12C", "13C", "14N", "15N", "16O", "19F", "28Si", "32S"};
    b.width = b.height = 512;
    QVERIFY(b.write(m_dir.filePath("eight.im")));
    const QRect screen(0, 0, 1366, 768);
    m_main->placeOn(screen);
    m_main->openImage(m_dir.filePath("eight.im"));
    QList<ImageWindow*> windows;
    for (int s = 0; s < 8; ++s) {
        windows << m_main->openImageWindow({s, {}});
        QVERIFY(QTest::qWaitForWindowExposed(windows.last()));
    }
    m_main->tileWindows(screen);
    QList<QRect> frames;
    for (ImageWindow* w : windows) {
        const QRect f = w->frameGeometry();
        QVERIFY2(screen.contains(f) && f.left() >= m_main->frameGeometry().right(),
                 qPrintable(QString("%1 at %2, %3").arg(w->windowTitle()).arg(f.x()).arg(f.y())));
        for (const QRect& other : std::as_const(frames))
            QVERIFY2(!f.intersects(other), qPrintable(w->windowTitle()));
        frames << f;
        QVERIFY(w->zoomStep() < 0);
        QVERIFY(w->windowTitle().endsWith("%"));
    }
    QMenu* menu = nullptr;
    for (QMenu* m : Menu::instance().menus())
        menu = m->objectName() == "windowMenu" ? m : menu;
    QVERIFY(menu);
    emit menu->aboutToShow();
    QAction* third = nullptr;
    QStringList titles;
    for (QAction* a : menu->actions()) {
        if (a->text().contains("(Layer 1)"))
            titles << a->text();
        if (a->text() == windows[2]->windowTitle())
            third = a;
    }
    QCOMPARE(titles.size(), 8);
    QVERIFY(third);
    third->trigger();
    QTRY_COMPARE(QApplication::activeWindow(), windows[2]);
}

QTEST_MAIN(TestZoom)
#include "tst_zoom.moc"
