// Makes the README's picture of the viewer: the demo acquisition open in the viewer's own
// windows on an X server of its own (Xvfb), with a species window, a ratio window over the
// cells found as regions, an overlay window and the Regions table, grabbed from the screen.
//   screenshot DEMO.im OUT.png
#include "core/model/acquisition.h"
#include "core/render/overlay.h"
#include "core/stats/findregions.h"
#include "toolusage.h"
#include "ui/imagewindow.h"
#include "ui/mainwindow.h"
#include "ui/menu.h"
#include "ui/messagebox.h"
#include "xserver.h"

#include <QApplication>
#include <QEventLoop>
#include <QScreen>
#include <QTextStream>
#include <QTimer>

using namespace isolumen;

namespace {

const QSize kScreen(1380, 820);

// Lets the windows lay themselves out and paint.
void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The cells of the demo, found in its 12C counts, as the regions every window shows.
void findCells(Acquisition& acquisition)
{
    const auto cells = isolumen::parseFindingSource(QStringLiteral("12C"), {QStringLiteral("12C")});
    isolumen::SegmentationOptions options;
    options.minArea = 40;
    options.excludeEdge = true;
    const auto plane = isolumen::findingPlane(*cells, {1, 1}, acquisition);
    if (plane)
        acquisition.setRegions(isolumen::foundRegions(**plane, options));
}

// 12C in red, 13C/12C in green and 32S in blue, each over its 0.1 to 99.9 percentiles.
isolumen::OverlayDefinition demoOverlay()
{
    isolumen::OverlayDefinition definition;
    const QStringList labels = {QStringLiteral("12C"), QStringLiteral("13C"),
                                QStringLiteral("12C 14N"), QStringLiteral("32S")};
    for (const char* text : {"12C", "13C/12C", "32S"}) {
        isolumen::OverlaySource s{*isolumen::parseFindingSource(QLatin1String(text), labels), {}};
        s.range.automatic.mode = isolumen::AutoRange::Percentile;
        definition.sources << s;
    }
    return definition;
}

// Opens the windows and puts them side by side: the main window and two image windows above,
// the overlay and the Regions table below.
void arrange(MainWindow& main, Acquisition& acquisition)
{
    ImageWindow* species = main.openImageWindow({0, std::nullopt});
    ImageWindow* ratio = main.openImageWindow({1, RatioDefinition{{1}, {0}}});
    findCells(acquisition);
    ImageWindow* overlay = main.openOverlayWindow(demoOverlay());
    Menu::run(QStringLiteral("analysisRegions"));
    settle(300);
    main.move(0, 0);
    const int right = main.frameGeometry().right() + 4;
    species->move(right, 0);
    ratio->move(species->frameGeometry().right() + 4, 0);
    const int below =
        std::max(main.frameGeometry().bottom(), species->frameGeometry().bottom()) + 4;
    overlay->move(right, below);
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->objectName() == QLatin1String("regionsWindow"))
            w->setGeometry(overlay->frameGeometry().right() + 4, below, 520,
                           overlay->frameGeometry().height());
    }
    overlay->raise();
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::optional<int> status =
            usageAnswer(argc, argv,
                        "usage: screenshot DEMO.im OUT.png\n"
                        "Opens the demo acquisition in the viewer on an X server of its own "
                        "(Xvfb) and writes a picture of its windows.\n"))
        return *status;
    if (argc != 3) {
        QTextStream(stderr) << "usage: screenshot DEMO.im OUT.png\n";
        return 2;
    }
    XServer server(kScreen.width(), kScreen.height());
    if (server.display().isEmpty()) {
        QTextStream(stderr) << "Xvfb did not start (Debian package xvfb)\n";
        return 1;
    }
    qputenv("DISPLAY", server.display().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("WAYLAND_DISPLAY");
    QApplication app(argc, argv);
    setMessageHandler([](const QString& text) { QTextStream(stderr) << text << '\n'; });
    Acquisition acquisition;
    auto* main = new MainWindow(acquisition); // deletes itself when closed
    main->show();
    main->openImage(QString::fromLocal8Bit(argv[1]));
    if (!acquisition.isOpen())
        return 1;
    arrange(*main, acquisition);
    settle(700);
    // The windows and nothing around them; 256 colours keep the picture small.
    QRect shown;
    for (const QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible())
            shown |= w->frameGeometry();
    }
    const QImage shot =
        QGuiApplication::primaryScreen()->grabWindow(0).toImage().copy(shown).convertToFormat(
            QImage::Format_Indexed8, Qt::ThresholdDither);
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[2]))) {
        QTextStream(stderr) << "cannot write " << argv[2] << '\n';
        return 1;
    }
    return 0;
}
