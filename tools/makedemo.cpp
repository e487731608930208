// Writes the demo acquisition: a deterministic 256 x 256 image file of four species over five
// planes, with cells on a background, counting noise, and 13C enriched in a few cells.
#include "imbuilder.h"
#include "toolusage.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

using namespace isolumen;

namespace {

struct Cell
{
    double x, y, r;
    bool enriched;
};

std::vector<Cell> makeCells()
{
    std::mt19937 rng(20061117);
    std::uniform_real_distribution<double> pos(20, 236), rad(9, 22), u(0, 1);
    std::vector<Cell> cells;
    while (cells.size() < 18) {
        const Cell c{pos(rng), pos(rng), rad(rng), u(rng) < 0.3};
        bool overlaps = false;
        for (const Cell& o : cells)
            overlaps = overlaps || std::hypot(c.x - o.x, c.y - o.y) < c.r + o.r + 3;
        if (!overlaps)
            cells.push_back(c);
    }
    return cells;
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::optional<int> status =
            usageAnswer(argc, argv,
                        "usage: makedemo OUT.im\n"
                        "Writes the demo acquisition (four species over five layers) to OUT.im.\n"))
        return *status;
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "usage: makedemo OUT.im\n";
        return 2;
    }
    const std::vector<Cell> cells = makeCells();
    constexpr int side = 256;

    // Expected counts per species: background, cell interior, enriched interior.
    const double background[] = {40, 0.45, 12, 30};
    const double inside[] = {900, 10, 420, 60};
    const double enriched[] = {900, 95, 420, 60};

    ImBuilder b;
    b.version = 5;
    b.headerSize = 24992;
    b.nSpecies = 4;
    b.labels = {"12C", "13C", "12C 14N", "32S"};
    b.width = side;
    b.height = side;
    b.nPlanes = 5;
    b.nmSize = 20000;
    b.duration = 5 * 300;
    b.positionX = 1250;
    b.positionY = -3370;
    b.userName = "demo";
    b.date = "17.11.06";
    b.time = "10:42";
    b.origName = "demo_cells_01";

    // Counts are precomputed so that the noise is the same whatever order frames are written.
    std::vector<std::vector<quint32>> frames(b.nPlanes * b.nSpecies);
    std::mt19937 rng(42);
    for (int p = 1; p <= b.nPlanes; ++p) {
        for (int s = 1; s <= b.nSpecies; ++s) {
            auto& f = frames[(p - 1) * b.nSpecies + (s - 1)];
            f.resize(side * side);
            // Material is sputtered away plane by plane: signals fade slowly with depth.
            const double depth = 1.0 - 0.06 * (p - 1);
            for (int r = 0; r < side; ++r) {
                for (int k = 0; k < side; ++k) {
                    double mean = background[s - 1];
                    for (const Cell& c : cells) {
                        const double d = std::hypot(k - c.x, r - c.y) / c.r;
                        if (d < 1) {
                            const double edge = d > 0.8 ? 1.6 : 1.0; // bright membranes
                            mean = (c.enriched ? enriched[s - 1] : inside[s - 1]) * edge;
                        }
                    }
                    std::poisson_distribution<int> counts(mean * depth);
                    f[r * side + k] = quint32(counts(rng));
                }
            }
        }
    }
    b.sample = [&](int s, int p, int r, int k) {
        return frames[(p - 1) * b.nSpecies + (s - 1)][r * side + k];
    };
    if (!b.write(QString::fromLocal8Bit(argv[1]))) {
        QTextStream(stderr) << "cannot write " << argv[1] << '\n';
        return 2;
    }
    return 0;
}
