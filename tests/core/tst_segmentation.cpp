// Finding cells: synthetic discs and ellipses with Poisson counts on a noisy background, some
// pairs touching, matched against the drawn cells by intersection over union; and outlines
// that give back exactly the labelled pixels.
#include "core/io/labelmask.h"
#include "core/model/plane.h"
#include "core/stats/segmentation.h"

#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <random>

using namespace isolumen;

namespace {

constexpr int kSide = 128;

struct Cell
{
    double cx, cy, rx, ry;
    bool contains(int x, int y) const
    {
        const double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
        return dx * dx + dy * dy <= 1;
    }
};

// Cells of 40 counts per pixel on a background of 3, with counting noise.
Plane cellsPlane(const QList<Cell>& cells)
{
    std::mt19937 random(7);
    std::vector<quint16> counts(size_t(kSide) * kSide);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const bool inCell = std::any_of(cells.begin(), cells.end(),
                                            [&](const Cell& c) { return c.contains(x, y); });
            counts[size_t(y) * kSide + x] =
                quint16(std::poisson_distribution<int>(inCell ? 40.0 : 3.0)(random));
        }
    }
    Plane plane;
    plane.side = kSide;
    plane.samples = std::move(counts);
    plane.findExtremes();
    return plane;
}

double intersectionOverUnion(const LabelImage& image, int label, const Cell& cell)
{
    int both = 0, either = 0;
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const bool found = image.labels[size_t(y) * kSide + x] == label;
            both += found && cell.contains(x, y);
            either += found || cell.contains(x, y);
        }
    }
    return either ? double(both) / either : 0;
}

// How many found objects match each cell at IoU >= 0.8.
QList<int> matches(const LabelImage& image, const QList<Cell>& cells)
{
    QList<int> counts;
    for (const Cell& cell : cells) {
        int n = 0;
        for (int label = 1; label <= image.count; ++label)
            n += intersectionOverUnion(image, label, cell) >= 0.8;
        counts << n;
    }
    return counts;
}

const QList<Cell> kSeparate = {{20, 20, 8, 8}, {60, 25, 10, 6}, {100, 30, 6, 9}, {30, 80, 12, 7}};
const QList<Cell> kTouching = {{70, 90, 9, 9}, {87, 90, 9, 9}}; // 1 px apart at the waist
const QList<Cell> kAtEdge = {{4, 110, 9, 9}};

} // namespace

Q_DECLARE_METATYPE(SegmentationOptions)

class TestSegmentation : public QObject
{
    Q_OBJECT

private slots:
    void findsCells_data()
    {
        QTest::addColumn<SegmentationOptions>("options");
        QTest::addColumn<QList<int>>("expected"); // matches per cell: separate, touching, edge
        SegmentationOptions otsu;
        SegmentationOptions split = otsu;
        split.splitMinDistance = 5;
        SegmentationOptions noEdge = split;
        noEdge.excludeEdge = true;
        SegmentationOptions sized = split;
        sized.minArea = 185; // found: 208, 188, 173, 257, 282 and 209 px, 195 at the edge
        sized.maxArea = 250;
        SegmentationOptions value = split;
        value.threshold = SegmentationOptions::Threshold::Value;
        value.thresholdValue = 20;
        QTest::newRow("Otsu: a touching pair is one object")
            << otsu << QList<int>{1, 1, 1, 1, 0, 0, 1};
        QTest::newRow("split by a watershed") << split << QList<int>{1, 1, 1, 1, 1, 1, 1};
        QTest::newRow("edge cells left out") << noEdge << QList<int>{1, 1, 1, 1, 1, 1, 0};
        QTest::newRow("area between bounds") << sized << QList<int>{1, 1, 0, 0, 0, 1, 1};
        QTest::newRow("a threshold value") << value << QList<int>{1, 1, 1, 1, 1, 1, 1};
    }

    void findsCells()
    {
        QFETCH(SegmentationOptions, options);
        QFETCH(QList<int>, expected);
        const QList<Cell> cells = kSeparate + kTouching + kAtEdge;
        const LabelImage image = findObjects(cellsPlane(cells), options);
        QCOMPARE(matches(image, cells), expected);
        // Nothing else is found: every object matches a cell.
        const int matched =
            int(std::count_if(expected.begin(), expected.end(), [](int n) { return n; }));
        QCOMPARE(image.count, matched + (options.splitMinDistance ? 0 : 1));
    }

    // Outlines along pixel edges give back exactly the labelled pixels, for concave shapes,
    // pieces that touch only at a corner, and a piece at the frame's corner.
    void outlinesGiveBackThePixels()
    {
        const char* rows[] = {"11..22..", "1...22.3", ".1..2.33", "11..2222",
                              "....2..2", "4.4.2222", "444.....", "4.4...55"};
        LabelImage image{8, {}, 5};
        for (const char* row : rows) {
            for (const char* c = row; *c; ++c)
                image.labels.push_back(*c == '.' ? 0 : *c - '0');
        }
        const QList<LabelledRegion> regions = regionsFromLabels(image, QStringLiteral("Cell "));
        QCOMPARE(regions.size(), 5);
        QCOMPARE(regions[1].region.name, QStringLiteral("Cell 2"));
        // Label 1's second piece touches the first only at a corner: the first is kept. The
        // hole in label 2 lies inside its outline.
        LabelImage expected = image;
        for (int i : {17, 24, 25})
            expected.labels[size_t(i)] = 0;
        expected.labels[37] = expected.labels[38] = 2;
        QCOMPARE(labelsFromRegions(regions, 8).labels, expected.labels);
    }

    // Found cells through a 16-bit TIFF mask and back; an 8-bit PNG as another tool writes it;
    // a mask of the wrong size refused.
    void masks()
    {
        QTemporaryDir dir;
        SegmentationOptions split;
        split.splitMinDistance = 5;
        const LabelImage found = findObjects(cellsPlane(kSeparate + kTouching), split);
        QList<LabelledRegion> regions = regionsFromLabels(found, QStringLiteral("Cell "));
        regions[0].label = 300; // ids need not be small or in order
        const LabelImage written = labelsFromRegions(regions, kSide);
        QVERIFY(writeLabelMask(dir.filePath("m.tif"), written, 0.1));
        const Result<LabelImage> read = readLabelMask(dir.filePath("m.tif"), kSide);
        QVERIFY(read);
        QCOMPARE(read->labels, written.labels);
        QCOMPARE(labelsFromRegions(regionsFromLabels(*read, {}), kSide).labels, written.labels);

        QImage png(4, 4, QImage::Format_Grayscale8);
        png.fill(0);
        png.setPixel(1, 1, qRgb(7, 7, 7));
        png.setPixel(2, 1, qRgb(7, 7, 7));
        png.setPixel(3, 3, qRgb(9, 9, 9));
        QVERIFY(png.save(dir.filePath("m.png")));
        const Result<LabelImage> fromPng = readLabelMask(dir.filePath("m.png"), 4);
        QVERIFY(fromPng);
        QCOMPARE(fromPng->labels,
                 (std::vector<int>{0, 0, 0, 0, 0, 7, 7, 0, 0, 0, 0, 0, 0, 0, 0, 9}));
        const Result<LabelImage> wrongSide = readLabelMask(dir.filePath("m.png"), 8);
        QVERIFY(!wrongSide);
        QCOMPARE(wrongSide.error().message,
                 QStringLiteral("m.png is 4 x 4 pixels, but the frames are 8 x 8."));
    }
};

QTEST_GUILESS_MAIN(TestSegmentation)
#include "tst_segmentation.moc"
