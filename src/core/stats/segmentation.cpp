#include "core/stats/segmentation.h"

#include "core/model/plane.h"

#include <QHash>
#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace isolumen {

namespace {

// The plane as 32-bit floats, background (0) where a pixel has no value.
cv::Mat planeMat(const Plane& plane)
{
    cv::Mat mat(plane.side, plane.side, CV_32F);
    std::visit(
        [&mat](const auto& samples) {
            auto* out = mat.ptr<float>();
            for (size_t i = 0; i < samples.size(); ++i) {
                const double v = double(samples[i]);
                out[i] = std::isnan(v) ? 0.0f : float(v);
            }
        },
        plane.samples);
    return mat;
}

double percentile(const cv::Mat& values, double percent)
{
    std::vector<float> v(values.begin<float>(), values.end<float>());
    const size_t k = size_t(std::clamp(percent, 0.0, 100.0) / 100.0 * double(v.size() - 1) + 0.5);
    std::nth_element(v.begin(), v.begin() + qsizetype(k), v.end());
    return v[k];
}

// Otsu's threshold of the smoothed values, through an 8-bit copy spread over their range.
double otsuThreshold(const cv::Mat& values)
{
    double lo = 0, hi = 0;
    cv::minMaxLoc(values, &lo, &hi);
    if (hi <= lo)
        return hi;
    cv::Mat bytes, unused;
    values.convertTo(bytes, CV_8U, 255.0 / (hi - lo), -lo * 255.0 / (hi - lo));
    const double level = cv::threshold(bytes, unused, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    // Otsu puts the level at the last byte of the dark class; its top edge in values.
    return lo + (level + 1) * (hi - lo) / 256.0;
}

cv::Mat foreground(const cv::Mat& smoothed, const SegmentationOptions& o)
{
    double level = o.thresholdValue;
    if (o.threshold == SegmentationOptions::Threshold::Otsu)
        level = otsuThreshold(smoothed);
    else if (o.threshold == SegmentationOptions::Threshold::Percentile)
        level = percentile(smoothed, o.thresholdValue);
    cv::Mat mask = smoothed > level;
    if (o.lowestValue > 0)
        mask &= smoothed >= o.lowestValue;
    // Fill holes: background not reached from the frame's edge belongs to the object around it.
    cv::Mat padded;
    cv::copyMakeBorder(mask, padded, 1, 1, 1, 1, cv::BORDER_CONSTANT, 0);
    cv::floodFill(padded, cv::Point(0, 0), 128, nullptr, 0, 0, 4);
    const cv::Mat reached = padded(cv::Rect(1, 1, mask.cols, mask.rows)) == 128;
    return ~reached;
}

// Labels of the foreground's objects, split along a watershed of the distance to the
// background when asked: seeds are the distance's maxima within minDistance.
cv::Mat labelObjects(const cv::Mat& mask, int minDistance)
{
    cv::Mat labels;
    if (minDistance <= 0) {
        cv::connectedComponents(mask, labels, 4, CV_32S);
        return labels;
    }
    cv::Mat distance, widest;
    cv::distanceTransform(mask, distance, cv::DIST_L2, cv::DIST_MASK_PRECISE);
    const cv::Mat disc = cv::getStructuringElement(
        cv::MORPH_ELLIPSE, cv::Size(2 * minDistance + 1, 2 * minDistance + 1));
    cv::dilate(distance, widest, disc);
    cv::Mat seeds = (distance >= widest) & mask;
    // A flat top gives a patch of seeds: those within minDistance of each other make one.
    cv::dilate(
        seeds, seeds,
        cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(minDistance | 1, minDistance | 1)));
    seeds &= mask;
    // Each seed floods its basin; the basins are cut to the foreground afterwards, so that the
    // background does not eat into the objects' rims. Watershed lines (-1) become background.
    // watershed() marks the image's outermost pixels as lines: it works on a copy with a
    // one-pixel frame, so that objects may reach the edge.
    cv::connectedComponents(seeds, labels, 8, CV_32S);
    cv::Mat relief, framedLabels;
    cv::normalize(-distance, relief, 0, 255, cv::NORM_MINMAX, CV_8U);
    cv::copyMakeBorder(relief, relief, 1, 1, 1, 1, cv::BORDER_REPLICATE);
    cv::copyMakeBorder(labels, framedLabels, 1, 1, 1, 1, cv::BORDER_CONSTANT, 0);
    cv::cvtColor(relief, relief, cv::COLOR_GRAY2BGR);
    cv::watershed(relief, framedLabels);
    labels = framedLabels(cv::Rect(1, 1, mask.cols, mask.rows)).clone();
    labels.setTo(0, (labels < 0) | (mask == 0));
    return labels;
}

} // namespace

LabelImage findObjects(const Plane& plane, const SegmentationOptions& options)
{
    LabelImage result{plane.side, std::vector<int>(size_t(plane.size()), 0)};
    if (plane.side <= 0 || !plane.hasValues)
        return result;
    cv::Mat smoothed = planeMat(plane);
    if (options.smoothSigma > 0)
        cv::GaussianBlur(smoothed, smoothed, cv::Size(), options.smoothSigma, options.smoothSigma,
                         cv::BORDER_REFLECT);
    const cv::Mat labels = labelObjects(foreground(smoothed, options), options.splitMinDistance);

    // Each label's area and whether it touches the edge, then the ones kept, renumbered in the
    // order of their first pixel.
    const int side = plane.side;
    QHash<int, qint64> area;
    QHash<int, bool> touchesEdge;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const int l = labels.at<int>(y, x);
            if (l <= 0)
                continue;
            ++area[l];
            if (x == 0 || y == 0 || x == side - 1 || y == side - 1)
                touchesEdge[l] = true;
        }
    }
    QHash<int, int> renumbered; // 0: left out
    for (int i = 0; i < side * side; ++i) {
        const int l = labels.at<int>(i / side, i % side);
        if (l <= 0)
            continue;
        auto it = renumbered.constFind(l);
        if (it == renumbered.constEnd()) {
            const double a = double(area.value(l));
            const bool kept = a >= options.minArea && a <= options.maxArea &&
                              !(options.excludeEdge && touchesEdge.value(l));
            it = renumbered.insert(l, kept ? ++result.count : 0);
        }
        result.labels[size_t(i)] = *it;
    }
    return result;
}

namespace {

struct Step
{
    int dx, dy;
    bool operator==(const Step&) const = default;
};

// The outline of the 4-connected piece whose first pixel (row by row) is (sx, sy), along the
// pixel edges, clockwise as shown (the piece on the right-hand side), as its corners.
QList<QPointF> traceOutline(const LabelImage& image, int label, int sx, int sy)
{
    const int side = image.side;
    const auto inside = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < side && y < side &&
               image.labels[size_t(y) * side + x] == label;
    };
    // The pixel diagonally ahead of corner (cx, cy) in direction (vx, vy), each +-1.
    const auto pixelAt = [&](int cx, int cy, int vx, int vy) {
        return inside(cx + (vx - 1) / 2, cy + (vy - 1) / 2);
    };
    QList<QPointF> corners{QPointF(sx, sy)};
    const Step east{1, 0};
    int cx = sx, cy = sy;
    Step d = east;
    for (;;) {
        cx += d.dx;
        cy += d.dy;
        const Step right{-d.dy, d.dx}, left{d.dy, -d.dx};
        Step next = d;
        if (!pixelAt(cx, cy, d.dx + right.dx, d.dy + right.dy))
            next = right;
        else if (pixelAt(cx, cy, d.dx + left.dx, d.dy + left.dy))
            next = left;
        if (cx == sx && cy == sy)
            break;
        if (!(next == d))
            corners << QPointF(cx, cy);
        d = next;
    }
    return corners;
}

} // namespace

QList<LabelledRegion> regionsFromLabels(const LabelImage& image, const QString& namePrefix)
{
    QHash<int, QPoint> first;
    for (int y = 0; y < image.side; ++y) {
        for (int x = 0; x < image.side; ++x) {
            const int l = image.labels[size_t(y) * image.side + x];
            if (l > 0 && !first.contains(l))
                first.insert(l, QPoint(x, y));
        }
    }
    QList<int> labels = first.keys();
    std::sort(labels.begin(), labels.end());
    QList<LabelledRegion> result;
    for (int l : labels) {
        Region r;
        r.shape = Region::Shape::Polygon;
        r.polygon = traceOutline(image, l, first[l].x(), first[l].y());
        r.name = namePrefix + QString::number(result.size() + 1);
        result.append({l, r});
    }
    return result;
}

LabelImage labelsFromRegions(const QList<LabelledRegion>& regions, int side)
{
    LabelImage image{side, std::vector<int>(size_t(side) * size_t(std::max(side, 0)), 0)};
    for (const LabelledRegion& r : regions) {
        for (qint64 i : regionPixels(r.region, side))
            image.labels[size_t(i)] = r.label;
    }
    return image;
}

} // namespace isolumen
