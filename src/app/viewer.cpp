#include "app/viewer.h"

#include "app/infocommand.h"
#include "app/shutdownsignals.h"
#include "app/statscommand.h"
#include "core/colour/catalogue.h"
#include "core/model/acquisition.h"
#include "core/render/picturefont.h"
#include "ui/dialogs.h"
#include "ui/mainwindow.h"
#include "ui/menu.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QTextStream>
#include <QTimer>

namespace isolumen {

bool displayAvailable(const QProcessEnvironment& environment)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!environment.value(QLatin1String(name)).isEmpty())
            return true;
    }
    return false;
#else
    Q_UNUSED(environment);
    return true;
#endif
}

namespace {

int printSummaryInstead(const QString& file)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);
    if (file.isEmpty()) {
        err << "No display available, and no file given whose summary could be printed."
            << Qt::endl;
        return 2;
    }
    err << "No display available: printing the summary instead." << Qt::endl;
    return printInfo(file, out, err);
}

} // namespace

int runViewer(int argc, char** argv, const QString& file, const QCommandLineParser& parser)
{
    if (!displayAvailable(QProcessEnvironment::systemEnvironment()))
        return printSummaryInstead(file);

    QApplication app(argc, argv);
    const SignalQuitter quitter;
    Menu::instance();
    Dialogs::installMessageBox();
    // The colour tables are built once, before the first window can ask for one.
    catalogue();
    if (sansSerifFamily().isEmpty())
        showMessage(QStringLiteral("Is there no sans serif font installed?"));

    Acquisition acquisition;
    auto* main = new MainWindow(acquisition); // deletes itself when closed
    main->setStudyRunner(
        [&parser](const QStringList& inputs, const QStringList& ratios, Progress& progress) {
            return measureStudyTable(parser, inputs, ratios, progress);
        });
    main->show();
    if (!file.isEmpty()) {
        // Once the event loop runs, as a drop would arrive.
        QTimer::singleShot(0, main, [main, file] { main->openImage(file); });
    }
    const int status = QApplication::exec();

    // Windows closed during the quit delete themselves; let them go before the menus do.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Menu::release();
    // As a shell reports a process ended by that signal.
    constexpr int kSignalStatusBase = 128;
    return quitter.receivedSignal() ? kSignalStatusBase + quitter.receivedSignal() : status;
}

} // namespace isolumen
