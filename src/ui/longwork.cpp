// Long work on a worker thread while the GUI thread waits in a nested event loop, and the
// progress dialog that shows it.
#include "core/progress.h"
#include "ui/dialogs.h"
#include "ui/seam.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QTimer>
#include <atomic>
#include <thread>
#include <vector>

namespace isolumen {

namespace Dialogs {

namespace {

// The progress dialog of long work: it appears once the work has taken half a second, so quick
// work never flashes one, and its Cancel cancels the work.
void defaultProgress(QWidget* parent, const QString& label, Progress& progress, qint64 elapsedMs)
{
    static QPointer<QProgressDialog> dialog;
    if (elapsedMs < 0) { // the work is over
        delete dialog;
        return;
    }
    if (elapsedMs < 500)
        return;
    if (!dialog) {
        dialog = new QProgressDialog(label, QStringLiteral("Cancel"), 0, 1000, parent);
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->setMinimumDuration(0);
        dialog->setAutoClose(false);
        dialog->setAutoReset(false);
        QObject::connect(dialog, &QProgressDialog::canceled, [&progress] { progress.cancel(); });
        dialog->show();
    }
    dialog->setValue(int(progress.fraction() * 1000));
}

ProgressSeam& progressSeam()
{
    return seams::slot(ProgressSeam(defaultProgress));
}

// The progress of each piece of long work under way on the GUI thread, the innermost last.
std::vector<Progress*>& longWorkUnderWay()
{
    static std::vector<Progress*> running;
    return running;
}

} // namespace

ProgressSeam setProgress(ProgressSeam seam)
{
    return seams::replace(std::move(seam), ProgressSeam(defaultProgress));
}

bool isLongWorkRunning()
{
    return !longWorkUnderWay().empty();
}

void cancelLongWork()
{
    for (Progress* p : longWorkUnderWay())
        p->cancel();
}

bool runLongWork(QWidget* parent, const QString& label, const std::function<bool(Progress&)>& work)
{
    Progress progress;
    longWorkUnderWay().push_back(&progress);
    const auto leave = qScopeGuard([] { longWorkUnderWay().pop_back(); });
    // A first look before the work starts: a cancel there is seen by the work's first check,
    // whether the work would take a millisecond or a minute.
    progressSeam()(parent, label, progress, 0);
    std::atomic<bool> finished{false};
    bool result = false;
    QEventLoop loop;
    std::thread worker([&] {
        result = work(progress);
        finished = true;
        QMetaObject::invokeMethod(
            &loop, [] {}, Qt::QueuedConnection); // wakes the loop below
    });
    QElapsedTimer clock;
    clock.start();
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!finished)
            progressSeam()(parent, label, progress, clock.elapsed());
    });
    watch.start(40);
    // Input waits until the work is done, unless a modal progress dialog is up: it then takes
    // its own input and keeps it from the other windows.
    while (!finished) {
        const bool dialogUp = QApplication::activeModalWidget() != nullptr;
        loop.processEvents((dialogUp ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents) |
                           QEventLoop::WaitForMoreEvents);
    }
    worker.join();
    watch.stop();
    progressSeam()(parent, {}, progress, -1); // lets the watcher close what it showed
    return result && !progress.cancelled();
}

} // namespace Dialogs

} // namespace isolumen
