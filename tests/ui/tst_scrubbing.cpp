// Layer steps that come faster than the image windows can show them: the windows skip to the
// newest layer, loading it once each, and show its picture where it is painted.
#include "core/model/acquisition.h"
#include "ui/canvas.h"
#include "ui/historywindow.h"
#include "ui/imagewindow.h"
#include "ui/mainwindow.h"
#include "testpictures.h"

#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

using namespace isolumen;

using namespace TestPictures;

class TestScrubbing : public QObject
{
    Q_OBJECT

private slots:
    void stepsFasterThanShown_data()
    {
        QTest::addColumn<int>("windows");
        QTest::addColumn<bool>("keys"); // Page Down and Up in the main window, else stepLayer
        QTest::newRow("keys, one window") << 1 << true;
        QTest::newRow("steps, two windows") << 2 << false;
    }

    void stepsFasterThanShown()
    {
        QFETCH(int, windows);
        QFETCH(bool, keys);
        QTemporaryDir dir;
        // 128 a side: large enough to be mapped through the table of colours by value.
        const ImBuilder file = patternFile(2, 6, 128);
        QVERIFY(file.write(dir.filePath("scrub.im")));
        m_main = new MainWindow(m_acquisition); // deletes itself when closed
        m_main->show();
        m_main->openImage(dir.filePath("scrub.im"));
        for (int s = 0; s < windows; ++s)
            m_main->speciesButton(s)->click();
        const QList<ImageWindow*> shown = m_main->imageWindows().windows();
        QCOMPARE(shown.size(), windows);
        const auto loads = [load = QString("LoadNewImage calls Update Display")] {
            const HistoryWindow* h = HistoryWindow::existing();
            return h ? h->lines()->findItems(load, Qt::MatchExactly).size() : 0;
        };
        QTRY_COMPARE(loads(), windows);

        // Five steps down, then three up, each burst before the event loop runs again.
        int loaded = windows;
        for (const auto& [steps, layer] : {std::pair{5, 6}, std::pair{-3, 3}}) {
            for (int i = 0; i < std::abs(steps); ++i) {
                if (keys)
                    QTest::keyClick(m_main, steps > 0 ? Qt::Key_PageDown : Qt::Key_PageUp);
                else
                    m_main->stepLayer(steps > 0 ? 1 : -1);
            }
            for (int s = 0; s < windows; ++s) {
                ImageWindow* w = shown[s];
                QTRY_COMPARE(w->windowTitle(),
                             QString("%1 (Layer %2)").arg(file.labels[s]).arg(layer));
                // The layer runs from 0 to 253 x layer; its picture drawn whole, then as painted.
                const QImage want = expectedPicture(file, s + 1, layer, 0, 253 * layer);
                QCOMPARE(pictureDifference(w->imageCanvas()->backdrop(), want), QString());
                const QRect canvas(w->imageCanvas()->mapTo(w, QPoint(0, 0)), want.size());
                QTRY_COMPARE(pictureDifference(
                                 w->screen()->grabWindow(w->winId()).toImage().copy(canvas), want),
                             QString());
            }
            QCoreApplication::processEvents();
            QCOMPARE(loads(), loaded += windows);
        }
    }

    void cleanup()
    {
        // Closing the main window closes the others, the history window too.
        if (m_main)
            m_main->close();
        QTRY_VERIFY(m_main.isNull());
    }

private:
    Acquisition m_acquisition;
    QPointer<MainWindow> m_main;
};

QTEST_MAIN(TestScrubbing)
#include "tst_scrubbing.moc"
