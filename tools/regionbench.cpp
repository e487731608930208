// Times what a tick of the live "Regions" table costs while a region is dragged on a 2048 x 2048
// acquisition, against what it would cost to ask the acquisition for the planes again: the
// pixels of one region and its statistics in every species' plane (held by the table), a
// single layer read anew, and a sum of layers computed anew and taken from the cache.
//
//   regionbench [FOLDER]   writes a 2048 x 2048 file of 4 species x 4 layers (128 MB) into
//                          FOLDER (default: a temporary folder) and prints medians in ms
//
// Build it in a release configuration (RelWithDebInfo or Release).
#include "core/model/acquisition.h"
#include "core/stats/profiles.h"
#include "imbuilder.h"
#include "toolusage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <functional>

using namespace isolumen;

namespace {

constexpr int kSide = 2048;
constexpr int kSpecies = 4;
constexpr int kLayers = 4;

double medianMs(int runs, const std::function<void()>& f)
{
    std::vector<double> ms;
    QElapsedTimer t;
    for (int i = 0; i < runs; ++i) {
        t.start();
        f();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::optional<int> status =
            usageAnswer(argc, argv,
                        "usage: regionbench [FOLDER]\n"
                        "Times a tick of the live regions table; its file goes to FOLDER.\n"))
        return *status;
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir temporary;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    ImBuilder b;
    b.nSpecies = kSpecies;
    b.labels = {"12C", "13C", "14N", "16O"};
    b.nPlanes = kLayers;
    b.width = b.height = kSide;
    b.sample = [](int s, int p, int r, int k) { return quint32((r * 7 + k * 3 + s + p) % 97); };
    const QString path = folder + QStringLiteral("/regionbench.im");
    if (!b.write(path)) {
        out << "Cannot write " << path << Qt::endl;
        return 2;
    }
    Acquisition acquisition;
    if (const Result<ImFile::Status> opened = acquisition.open(path);
        opened != ImFile::Status::Accepted) {
        out << "Cannot open " << path << ": "
            << (opened ? QStringLiteral("not an image") : opened.error().message) << Qt::endl;
        return 2;
    }
    QList<PlaneResult> layer;
    for (int s = 0; s < kSpecies; ++s)
        layer << *acquisition.plane(acquisition.request(PlaneSource{s, std::nullopt}));

    out << "side " << kSide << ", " << kSpecies << " species; median ms of 5 runs\n";
    for (const int extent : {64, 512, 2048}) {
        Region region;
        region.shape = Region::Shape::Ellipse;
        region.bounds = QRectF(0, 0, extent, extent);
        const double tick = medianMs(5, [&] {
            const std::vector<qint64> pixels = regionPixels(region, kSide);
            for (int s = 0; s < kSpecies; ++s)
                statsRow(layer[s], PlaneSource{s, std::nullopt}, pixels,
                         acquisition.header().micronsPerPixel());
        });
        out << "table tick, ellipse " << extent << " wide, " << kSpecies << " species: " << tick
            << "\n";
    }
    const double reread = medianMs(5, [&] {
        for (int s = 0; s < kSpecies; ++s)
            (void)acquisition.plane(acquisition.request(PlaneSource{s, std::nullopt}));
    });
    out << "every species' layer read anew: " << reread << "\n";
    acquisition.setLayerRange(1, kLayers);
    PlaneRequest sum = acquisition.request(PlaneSource{0, std::nullopt});
    QElapsedTimer t;
    t.start();
    for (int s = 0; s < kSpecies; ++s) {
        sum.source.species = s;
        (void)acquisition.plane(sum);
    }
    out << "every species' sum of " << kLayers << " layers computed: " << t.nsecsElapsed() / 1e6
        << "\n";
    const double cached = medianMs(5, [&] {
        for (int s = 0; s < kSpecies; ++s) {
            sum.source.species = s;
            (void)acquisition.plane(sum);
        }
    });
    out << "the same sums from the cache: " << cached << Qt::endl;
    return 0;
}
