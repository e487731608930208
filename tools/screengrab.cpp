// Writes a PNG of the whole X screen (or of one window, given its id): the end-to-end test reads
// what the viewer put on a real display with it, and developers take screenshots with it.
//   screengrab OUT.png [WINDOW-ID]
#include "toolusage.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTextStream>

int main(int argc, char** argv)
{
    if (const std::optional<int> status =
            usageAnswer(argc, argv,
                        "usage: screengrab OUT.png [WINDOW-ID]\n"
                        "Writes a PNG of the whole X screen, or of one window.\n"))
        return *status;
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    if (argc < 2 || argc > 3) {
        QTextStream(stderr) << "usage: screengrab OUT.png [WINDOW-ID]\n";
        return 2;
    }
    const WId window = argc == 3 ? WId(QByteArray(argv[2]).toULongLong(nullptr, 0)) : 0;
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(window);
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1]))) {
        QTextStream(stderr) << "cannot grab the screen\n";
        return 1;
    }
    return 0;
}
