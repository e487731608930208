// Times writePng against Qt's PNG writer, both writing to memory, on the pictures an image
// window saves: the framed image and the figure (image, colour bar and scale bar with
// anti-aliased text) of a smooth field with counting noise, at low and at high counts, mapped
// through the rainbow table, for 512, 1024 and 2048 samples a side.
//
//   pngbench [RUNS]      the median of RUNS timings (default 5), after one to warm up
//
// Build it in a release configuration (RelWithDebInfo or Release).
#include "core/io/pngwriter.h"
#include "core/model/plane.h"
#include "core/render/displaypictures.h"
#include "core/render/displaysettings.h"
#include "toolusage.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImageWriter>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

using namespace isolumen;

namespace {

// A plane whose mean rises and falls smoothly over the field, with one bright spot, drawn with
// Poisson noise around meanCounts.
Plane noisyField(int side, double meanCounts)
{
    Plane plane;
    plane.side = side;
    std::vector<quint32> samples(std::size_t(side) * side);
    std::mt19937 random(side);
    for (int r = 0; r < side; ++r) {
        for (int c = 0; c < side; ++c) {
            const double x = double(c) / side, y = double(r) / side;
            const double shape =
                1 + 0.75 * std::sin(6 * x) * std::cos(5 * y) +
                2 * std::exp(-30 * ((x - 0.3) * (x - 0.3) + (y - 0.6) * (y - 0.6)));
            std::poisson_distribution<int> counts(meanCounts * shape);
            samples[std::size_t(r) * side + c] = quint32(counts(random));
        }
    }
    plane.samples = std::move(samples);
    plane.findExtremes();
    return plane;
}

// Median milliseconds of runs calls of write, after one call that warms caches and allocator;
// bytes is the size of what it wrote.
double medianMs(int runs, const std::function<qint64()>& write, qint64& bytes)
{
    bytes = write();
    std::vector<double> ms;
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        write();
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::optional<int> status =
            usageAnswer(argc, argv,
                        "usage: pngbench [RUNS]\n"
                        "Times the PNG writer against Qt's, RUNS times each (default 5).\n"))
        return *status;
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 5;
    QTextStream out(stdout);
    out << "picture                      size         writePng ms    Qt ms  time   writePng B"
           "       Qt B  size\n";
    for (const int side : {512, 1024, 2048}) {
        for (const auto& [counts, name] : {std::pair{20.0, "low"}, std::pair{20000.0, "high"}}) {
            DisplaySettings settings; // "10 Rainbow", grey below, white above
            const Plane plane = noisyField(side, counts);
            settleDisplayRange(settings, plane, QString(), QString());
            const std::optional<DisplayPictures> pictures = displayPictures(plane, settings, 50.0);
            const QImage image = pictures->image;
            const QImage figure = figurePicture(*pictures, side);
            for (const auto& [kind, picture] : {std::pair{"image", image}, {"figure", figure}}) {
                qint64 ownBytes = 0, qtBytes = 0;
                const double own = medianMs(
                    runs,
                    [&] {
                        QBuffer buffer;
                        buffer.open(QIODevice::WriteOnly);
                        (void)writePng(picture, buffer);
                        return buffer.size();
                    },
                    ownBytes);
                const double qt = medianMs(
                    runs,
                    [&] {
                        QBuffer buffer;
                        buffer.open(QIODevice::WriteOnly);
                        QImageWriter(&buffer, "png").write(picture);
                        return buffer.size();
                    },
                    qtBytes);
                out << QStringLiteral("%1 %2, %3 counts")
                           .arg(kind, -6)
                           .arg(side, 4)
                           .arg(name, -4)
                           .leftJustified(28)
                    << QStringLiteral("%1x%2")
                           .arg(picture.width())
                           .arg(picture.height())
                           .leftJustified(10)
                    << QStringLiteral("%1 %2 %3 %4 %5 %6\n")
                           .arg(own, 11, 'f', 1)
                           .arg(qt, 8, 'f', 1)
                           .arg(own / qt, 5, 'f', 3)
                           .arg(ownBytes, 12)
                           .arg(qtBytes, 10)
                           .arg(double(ownBytes) / qtBytes, 5, 'f', 3);
                out.flush();
            }
        }
    }
    return 0;
}
