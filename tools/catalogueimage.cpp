// Draws the twenty colour tables of the catalogue side by side, as the viewer's colour bars
// show them (entry 1 at the foot, entry 254 at the head), each with its name beneath, and saves
// the picture:
//
//     QT_QPA_PLATFORM=offscreen catalogueimage docs/catalogue.png

#include "core/colour/catalogue.h"
#include "core/render/picturefont.h"
#include "toolusage.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

using namespace isolumen;

namespace {

constexpr int kColumn = 40; // width given to each table
constexpr int kBarWidth = 28;
constexpr int kBarHeight = 254; // one row per shown entry
constexpr int kMargin = 12;
constexpr int kNameSpace = 230; // room for the longest name, written upwards

QImage catalogueImage()
{
    const int width = 2 * kMargin + 20 * kColumn;
    const int height = 2 * kMargin + kBarHeight + 8 + kNameSpace;
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);

    QPainter painter(&image);
    QFont font(sansSerifFamily());
    font.setPixelSize(13);
    painter.setFont(font);

    for (int i = 0; i < 20; ++i) {
        const int left = kMargin + i * kColumn + (kColumn - kBarWidth) / 2;
        for (int j = 1; j <= 254; ++j) {
            const int y = kMargin + 254 - j;
            painter.fillRect(left, y, kBarWidth, 1, QColor::fromRgb(colourTable(i)[j]));
        }
        painter.setPen(Qt::gray);
        painter.drawRect(left - 1, kMargin - 1, kBarWidth + 1, kBarHeight + 1);

        // Names run upwards and end just below their bar.
        painter.save();
        painter.translate(kMargin + i * kColumn + kColumn / 2, kMargin + kBarHeight + 8);
        painter.rotate(-90);
        painter.setPen(Qt::black);
        painter.drawText(QRect(-kNameSpace, -kColumn / 2, kNameSpace, kColumn),
                         Qt::AlignRight | Qt::AlignVCenter, colourTableName(i));
        painter.restore();
    }
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::optional<int> status =
            usageAnswer(argc, argv,
                        "usage: catalogueimage OUT.png\n"
                        "Draws the twenty colour tables, as docs/catalogue.png shows them.\n"))
        return *status;
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: catalogueimage OUT.png\n");
        return 2;
    }
    if (!catalogueImage().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "catalogueimage: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
