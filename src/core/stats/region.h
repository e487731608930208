#pragma once

#include "core/result.h"

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <optional>
#include <variant>
#include <vector>

class QJsonArray;

namespace isolumen {

// A region of interest in shown coordinates (x from the left, y from the top, one unit per
// pixel). A pixel belongs to a region when its centre (x + 0.5, y + 0.5) lies inside the shape.
// A centre exactly on the outline counts as the point just right of it would (and, where the
// outline runs level, just below it): top and left edges hold their centres, bottom and right
// edges do not, so regions that tile the frame never share a pixel. A rectangle holds the
// centres with X <= cx < X + W and Y <= cy < Y + H; an ellipse is the one inscribed in its
// bounding rectangle; a polygon (freehand shapes are polygons too) follows the even-odd rule.
struct Region
{
    enum class Shape { Rectangle, Ellipse, Polygon };

    Shape shape = Shape::Rectangle;
    QRectF bounds;          // rectangles and ellipses
    QList<QPointF> polygon; // polygons: the vertices in order
    QString name;
    // The region's number: the acquisition gives it, never twice; 0 until then.
    int id = 0;
    QString regionClass; // the user's class of the region ("class" in files); may be empty

    bool contains(const QPointF& p) const;
    // The bounding rectangle of any shape.
    QRectF boundingRect() const;
    // The same shape moved by d.
    Region translated(const QPointF& d) const;
    bool operator==(const Region&) const = default;
};

// Indices (y * side + x) of the pixels of a side x side plane whose centres lie in the region,
// in row order.
std::vector<qint64> regionPixels(const Region& region, int side);

// A region from the command line's text: "rect:X,Y,W,H", "ellipse:X,Y,W,H" or
// "polygon:x1,y1,x2,y2,..." (at least three points); numbers may be fractional. The reason in
// error when the text is none of these.
Result<Region> parseRegion(const QString& text);

// Regions as a JSON document: {"regions": [{"id": ..., "name": ..., "class": ...,
// "shape": "rect"|"ellipse"|"polygon", "coords": [...]}]}, the coordinates as in the command
// line's text. A region without a whole positive id reads with id 0.
QByteArray regionsToJson(const QList<Region>& regions);
Result<QList<Region>> regionsFromJson(const QByteArray& json);
QJsonArray regionsToJsonArray(const QList<Region>& regions);
Result<QList<Region>> regionsFromJsonArray(const QJsonArray& list);

// Gives every region without an id, or with one taken before it in the list, the next free id
// from nextId on; nextId ends beyond every id of the list.
void numberRegions(QList<Region>& regions, int& nextId);

} // namespace isolumen
