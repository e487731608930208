#include "core/stats/region.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace isolumen {

bool Region::contains(const QPointF& p) const
{
    switch (shape) {
    case Shape::Rectangle:
        return p.x() >= bounds.left() && p.x() < bounds.right() && p.y() >= bounds.top() &&
               p.y() < bounds.bottom();
    case Shape::Ellipse: {
        const double rx = bounds.width() / 2;
        const double ry = bounds.height() / 2;
        if (!(rx > 0) || !(ry > 0))
            return false;
        const double dx = (p.x() - bounds.center().x()) / rx;
        const double dy = (p.y() - bounds.center().y()) / ry;
        const double r2 = dx * dx + dy * dy;
        // On the outline, the point just right of it is inside on the left half; at the very
        // top and bottom, where the outline runs level, the point just below it decides.
        return r2 < 1 || (r2 == 1 && (dx < 0 || (dx == 0 && dy < 0)));
    }
    case Shape::Polygon: {
        bool inside = false;
        const qsizetype n = polygon.size();
        for (qsizetype i = 0, j = n - 1; i < n; j = i++) {
            const QPointF& a = polygon[i];
            const QPointF& b = polygon[j];
            if ((a.y() > p.y()) != (b.y() > p.y()) &&
                p.x() < (b.x() - a.x()) * (p.y() - a.y()) / (b.y() - a.y()) + a.x())
                inside = !inside;
        }
        return inside;
    }
    }
    return false;
}

QRectF Region::boundingRect() const
{
    if (shape != Shape::Polygon)
        return bounds;
    if (polygon.isEmpty())
        return {};
    double left = polygon.first().x(), right = left;
    double top = polygon.first().y(), bottom = top;
    for (const QPointF& p : polygon) {
        left = std::min(left, p.x());
        right = std::max(right, p.x());
        top = std::min(top, p.y());
        bottom = std::max(bottom, p.y());
    }
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

Region Region::translated(const QPointF& d) const
{
    Region moved = *this;
    moved.bounds.translate(d);
    for (QPointF& p : moved.polygon)
        p += d;
    return moved;
}

namespace {

// The columns x0 to x1 - 1 whose centres can fall in a region's bounding rectangle, and where
// each row's run of pixels inside goes.
struct RowScan
{
    int side;
    int x0;
    int x1;
    std::vector<qint64>& pixels;

    // A column or row near v, kept within a pixel of the frame before it becomes an int.
    int near(double v) const { return int(std::clamp(v, -2.0, side + 2.0)); }

    void take(qint64 row, int first, int last) const
    {
        for (int x = std::max(first, x0); x <= std::min(last, x1 - 1); ++x)
            pixels.push_back(row + x);
    }
};

// The crossings as contains() computes them: a centre is inside when an odd number lie right of
// it, so between the first and second, third and fourth...
void scanPolygonRow(const RowScan& scan, const QList<QPointF>& v, double cy, qint64 row,
                    std::vector<double>& crossings)
{
    crossings.clear();
    for (qsizetype i = 0, j = v.size() - 1; i < v.size(); j = i++) {
        if ((v[i].y() > cy) != (v[j].y() > cy))
            crossings.push_back((v[j].x() - v[i].x()) * (cy - v[i].y()) / (v[j].y() - v[i].y()) +
                                v[i].x());
    }
    std::sort(crossings.begin(), crossings.end());
    const int x0 = scan.x0, x1 = scan.x1;
    for (size_t k = 0; k + 1 < crossings.size(); k += 2) {
        const double from = crossings[k], to = crossings[k + 1];
        int first = std::clamp(scan.near(std::ceil(from - 0.5)), x0 - 1, x1);
        while (first > x0 && first - 1 + 0.5 >= from)
            --first;
        while (first < x1 && first + 0.5 < from)
            ++first;
        int last = std::clamp(scan.near(std::ceil(to - 0.5)) - 1, x0 - 1, x1);
        while (last < x1 - 1 && last + 1 + 0.5 < to)
            ++last;
        while (last >= x0 && !(last + 0.5 < to))
            --last;
        scan.take(row, first, last);
    }
}

// A rectangle or an ellipse cuts a row in one run: guessed from its edge, then settled by
// contains() at both ends.
void scanConvexRow(const RowScan& scan, const Region& region, double cy, qint64 row)
{
    const QRectF& b = region.bounds;
    double left = b.left(), right = b.right();
    if (region.shape == Region::Shape::Ellipse) {
        const double t = (cy - b.center().y()) / (b.height() / 2);
        const double half = b.width() / 2 * std::sqrt(std::max(0.0, 1 - t * t));
        left = b.center().x() - half;
        right = b.center().x() + half;
    }
    auto inside = [&](int x) { return region.contains(QPointF(x + 0.5, cy)); };
    const int x0 = scan.x0, x1 = scan.x1;
    int first = std::clamp(scan.near(std::ceil(left - 0.5)), x0, x1 - 1);
    int last = std::clamp(scan.near(std::floor(right - 0.5)), x0, x1 - 1);
    while (first > x0 && inside(first - 1))
        --first;
    while (last < x1 - 1 && inside(last + 1))
        ++last;
    while (first <= last && !inside(first))
        ++first;
    while (last >= first && !inside(last))
        --last;
    scan.take(row, first, last);
}

} // namespace

std::vector<qint64> regionPixels(const Region& region, int side)
{
    std::vector<qint64> pixels;
    const QRectF box = region.boundingRect();
    if (side <= 0)
        return pixels;
    RowScan scan{side, 0, 0, pixels};
    // Only the rows and columns whose centres can fall in the bounding rectangle.
    scan.x0 = std::clamp(scan.near(std::floor(box.left() - 0.5)), 0, side);
    scan.x1 = std::clamp(scan.near(std::ceil(box.right() - 0.5)) + 1, 0, side);
    const int y0 = std::clamp(scan.near(std::floor(box.top() - 0.5)), 0, side);
    const int y1 = std::clamp(scan.near(std::ceil(box.bottom() - 0.5)) + 1, 0, side);
    if (scan.x0 >= scan.x1)
        return pixels;
    pixels.reserve(size_t(scan.x1 - scan.x0) * size_t(std::max(0, y1 - y0)));
    // Row by row, the runs of centres inside, found from where the row crosses the outline
    // rather than by asking contains() of every pixel: a table follows a region being dragged.
    std::vector<double> crossings;
    for (int y = y0; y < y1; ++y) {
        const double cy = y + 0.5;
        const qint64 row = qint64(y) * side;
        if (region.shape == Region::Shape::Polygon)
            scanPolygonRow(scan, region.polygon, cy, row, crossings);
        else
            scanConvexRow(scan, region, cy, row);
    }
    return pixels;
}

namespace {

// Ids beyond any count of regions a user draws; larger ones in a file are not ids.
constexpr double kLargestId = 1e9;

const char* shapeName(Region::Shape s)
{
    switch (s) {
    case Region::Shape::Rectangle:
        return "rect";
    case Region::Shape::Ellipse:
        return "ellipse";
    case Region::Shape::Polygon:
        return "polygon";
    }
    return "";
}

Result<Region> regionOf(const QString& shape, const QList<double>& v)
{
    // Frames are at most 2048 pixels wide; far beyond, a coordinate is a mistake.
    constexpr double kFarthest = 1e6;
    for (const double x : v) {
        if (!std::isfinite(x))
            return Failure{QStringLiteral("coordinates must be numbers")};
        if (std::abs(x) > kFarthest)
            return Failure{
                QStringLiteral("coordinates must lie within 1000000 pixels of the frame")};
    }
    Region r;
    if (shape == QLatin1String("rect") || shape == QLatin1String("ellipse")) {
        if (v.size() != 4)
            return Failure{QStringLiteral("%1 needs X,Y,W,H").arg(shape)};
        if (v[2] < 0 || v[3] < 0)
            return Failure{QStringLiteral("%1 needs a width and height of at least 0").arg(shape)};
        r.shape =
            shape == QLatin1String("rect") ? Region::Shape::Rectangle : Region::Shape::Ellipse;
        r.bounds = QRectF(v[0], v[1], v[2], v[3]);
        return r;
    }
    if (shape == QLatin1String("polygon")) {
        if (v.size() % 2)
            return Failure{QStringLiteral("a polygon needs its numbers in pairs x,y: %1 is an odd "
                                          "count")
                               .arg(v.size())};
        if (v.size() < 6)
            return Failure{QStringLiteral("a polygon needs at least three points x,y")};
        r.shape = Region::Shape::Polygon;
        for (qsizetype i = 0; i < v.size(); i += 2)
            r.polygon << QPointF(v[i], v[i + 1]);
        return r;
    }
    return Failure{QStringLiteral("the shape is rect, ellipse or polygon, not \"%1\"").arg(shape)};
}

QList<double> coordinates(const Region& r)
{
    if (r.shape != Region::Shape::Polygon)
        return {r.bounds.x(), r.bounds.y(), r.bounds.width(), r.bounds.height()};
    QList<double> v;
    for (const QPointF& p : r.polygon)
        v << p.x() << p.y();
    return v;
}

} // namespace

Result<Region> parseRegion(const QString& text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon < 0) {
        return Failure{QStringLiteral("a region is shape:coordinates, e.g. rect:10,10,20,20")};
    }
    QList<double> values;
    for (const QString& field : text.mid(colon + 1).split(QLatin1Char(','))) {
        bool ok = false;
        const double v = field.trimmed().toDouble(&ok); // "." is the point in every locale
        if (!ok) {
            return Failure{QStringLiteral("\"%1\" is not a number").arg(field)};
        }
        values << v;
    }
    return regionOf(text.left(colon).trimmed(), values);
}

QJsonArray regionsToJsonArray(const QList<Region>& regions)
{
    QJsonArray list;
    for (const Region& r : regions) {
        QJsonArray coords;
        for (const double v : coordinates(r))
            coords.append(v);
        list.append(QJsonObject{{QStringLiteral("id"), r.id},
                                {QStringLiteral("name"), r.name},
                                {QStringLiteral("class"), r.regionClass},
                                {QStringLiteral("shape"), QLatin1String(shapeName(r.shape))},
                                {QStringLiteral("coords"), coords}});
    }
    return list;
}

QByteArray regionsToJson(const QList<Region>& regions)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("regions"), regionsToJsonArray(regions)}})
        .toJson();
}

Result<QList<Region>> regionsFromJson(const QByteArray& json)
{
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError)
        return Failure{parse.errorString()};
    const QJsonValue list = doc.object().value(QStringLiteral("regions"));
    if (!list.isArray())
        return Failure{QStringLiteral("there is no list \"regions\"")};
    return regionsFromJsonArray(list.toArray());
}

Result<QList<Region>> regionsFromJsonArray(const QJsonArray& list)
{
    QList<Region> regions;
    for (const QJsonValue& item : list) {
        const QJsonObject o = item.toObject();
        const QJsonValue coords = o.value(QStringLiteral("coords"));
        if (!coords.isArray())
            return Failure{
                QStringLiteral("region %1 has no list \"coords\"").arg(regions.size() + 1)};
        QList<double> values;
        for (const QJsonValue& v : coords.toArray()) {
            if (!v.isDouble())
                return Failure{QStringLiteral("region %1: coordinates must be numbers")
                                   .arg(regions.size() + 1)};
            values << v.toDouble();
        }
        Result<Region> r = regionOf(o.value(QStringLiteral("shape")).toString(), values);
        if (!r)
            return Failure{
                QStringLiteral("region %1: %2").arg(regions.size() + 1).arg(r.error().message)};
        r->name = o.value(QStringLiteral("name")).toString();
        r->regionClass = o.value(QStringLiteral("class")).toString();
        const double id = o.value(QStringLiteral("id")).toDouble();
        if (id >= 1 && id <= kLargestId && id == std::floor(id))
            r->id = int(id);
        regions << *r;
    }
    return regions;
}

void numberRegions(QList<Region>& regions, int& nextId)
{
    QSet<int> taken;
    for (const Region& r : std::as_const(regions))
        nextId = std::max(nextId, r.id + 1);
    for (Region& r : regions) {
        if (r.id <= 0 || taken.contains(r.id))
            r.id = nextId++;
        taken.insert(r.id);
    }
}

} // namespace isolumen
