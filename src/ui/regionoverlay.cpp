#include "ui/regionoverlay.h"

#include "core/model/acquisition.h"
#include "core/render/classcolours.h"
#include "core/render/figure.h"
#include "ui/analysishistory.h"
#include "ui/canvas.h"
#include "ui/regiontools.h"
#include "ui/systemfont.h"

#include <QFontMetricsF>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace isolumen {

namespace {

// How near (in pixels) a press must come to a handle, a vertex or the line to take it.
constexpr double kGrab = 3.5;

const QColor kRegionColour(255, 255, 0);
const QColor kSelectedColour(0, 255, 255);
// The light line's width when selected, and the dark line's margin on each side of it.
constexpr int kSelectedWidth = 2;
constexpr int kDarkMargin = 1;
// Label sizes in screen pixels: at 100% and the bounds zooming keeps them within.
constexpr double kLabelPixels = 9;
constexpr int kSmallestLabel = 8;
constexpr int kLargestLabel = 18;

bool near(const QPointF& a, const QPointF& b, double by = kGrab)
{
    return std::abs(a.x() - b.x()) <= by && std::abs(a.y() - b.y()) <= by;
}

double distanceToSegment(const QPointF& p, const QLineF& line)
{
    const QPointF d = line.p2() - line.p1();
    const double length2 = QPointF::dotProduct(d, d);
    const double t =
        length2 > 0 ? std::clamp(QPointF::dotProduct(p - line.p1(), d) / length2, 0.0, 1.0) : 0;
    const QPointF q = line.p1() + t * d - p;
    return std::hypot(q.x(), q.y());
}

} // namespace

RegionOverlay::RegionOverlay(Acquisition& acquisition, Canvas* canvas)
    : QWidget(canvas), m_acquisition(acquisition), m_canvas(canvas),
      m_tools(RegionTools::instance())
{
    setObjectName(QStringLiteral("regionOverlay"));
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    setGeometry(canvas->rect());
    canvas->installEventFilter(this);

    auto setCursorForTool = [this](RegionTools::Tool tool) {
        setCursor(tool == RegionTools::Tool::Select ? Qt::ArrowCursor : Qt::CrossCursor);
    };
    setCursorForTool(m_tools.tool());
    connect(&m_tools, &RegionTools::toolChanged, this, [this, setCursorForTool](auto tool) {
        cancelGesture();
        setCursorForTool(tool);
    });
    connect(&m_tools, &RegionTools::selectionChanged, this, &RegionOverlay::outlinesChanged);
    connect(&m_tools, &RegionTools::lineChanged, this, qOverload<>(&QWidget::update));
    connect(&m_tools, &RegionTools::previewChanged, this, qOverload<>(&QWidget::update));
    connect(&m_acquisition, &Acquisition::regionsChanged, this, [this](int index) {
        // A new list (a region added elsewhere, a file loaded) ends a gesture on the old one.
        if (index < 0 && (m_gesture == Gesture::Moving || m_gesture == Gesture::Resizing)) {
            m_gesture = Gesture::None;
            releaseHistory();
        }
        outlinesChanged();
    });
}

void RegionOverlay::outlinesChanged()
{
    m_outlines = QImage();
    update();
}

const QImage& RegionOverlay::outlines(const QRect& needed) const
{
    // Drawn again only when the regions, the selection, the zoom or the part in view change: a
    // new layer under them shows the picture kept. It covers the part in view only, so that a
    // picture zoomed far in never needs one of its whole size.
    const qreal ratio = devicePixelRatioF();
    const QList<QPointF> mapping{inView(QPointF(0, 0)), inView(QPointF(1, 1))};
    if (!m_outlines.isNull() && m_outlinesArea.contains(needed) &&
        m_outlines.devicePixelRatio() == ratio && m_outlinesMapping == mapping)
        return m_outlines;
    m_outlinesMapping = mapping;
    m_outlinesArea = (visibleRegion().boundingRect() | needed) & rect();
    m_outlines = QImage(m_outlinesArea.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    m_outlines.setDevicePixelRatio(ratio);
    m_outlines.fill(Qt::transparent);
    QPainter painter(&m_outlines);
    painter.setFont(systemFont(9));
    painter.translate(-m_outlinesArea.topLeft());
    const QList<Region>& regions = m_acquisition.regions();
    QHash<QString, QColor> classColours;
    for (const auto& [name, colour] : isolumen::classColours(regions))
        classColours.insert(name, QColor(colour));
    for (int i = 0; i < regions.size(); ++i)
        paintRegion(painter, inView(regions[i]), regions[i].id, m_tools.isSelected(i),
                    classColours.value(regions[i].regionClass.trimmed(), kRegionColour));
    return m_outlines;
}

bool RegionOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_canvas && event->type() == QEvent::Resize)
        setGeometry(m_canvas->rect());
    return QWidget::eventFilter(watched, event);
}

QPointF RegionOverlay::shownPoint(const QPointF& at) const
{
    return m_canvas->toShown(at);
}

QPointF RegionOverlay::inView(const QPointF& p) const
{
    return m_canvas->toView(p);
}

Region RegionOverlay::inView(const Region& region) const
{
    Region r = region;
    r.bounds = QRectF(inView(region.bounds.topLeft()), inView(region.bounds.bottomRight()));
    for (QPointF& p : r.polygon)
        p = inView(p);
    return r;
}

double RegionOverlay::grab() const
{
    return kGrab / m_canvas->zoomMap().zoom();
}

double RegionOverlay::side() const
{
    return m_acquisition.frameSide().value_or(m_canvas->zoomMap().side);
}

QPointF RegionOverlay::cornerAt(const QPointF& at) const
{
    const QPointF p = shownPoint(at);
    return QPointF(std::clamp(std::round(p.x()), 0.0, side()),
                   std::clamp(std::round(p.y()), 0.0, side()));
}

QPointF RegionOverlay::centreAt(const QPointF& at) const
{
    const QPointF p = shownPoint(at);
    const double last = std::max(0.5, side() - 0.5);
    return QPointF(std::clamp(std::floor(p.x()) + 0.5, 0.5, last),
                   std::clamp(std::floor(p.y()) + 0.5, 0.5, last));
}

int RegionOverlay::regionAt(const QPointF& p) const
{
    const QList<Region>& regions = m_acquisition.regions();
    for (int i = int(regions.size()) - 1; i >= 0; --i) {
        if (regions[i].contains(p))
            return i;
    }
    return -1;
}

QList<QPointF> RegionOverlay::handles(const Region& region)
{
    if (region.shape == Region::Shape::Polygon)
        return region.polygon;
    const QRectF& b = region.bounds;
    const QPointF c = b.center();
    return {b.topLeft(),     QPointF(c.x(), b.top()),    b.topRight(),   QPointF(b.right(), c.y()),
            b.bottomRight(), QPointF(c.x(), b.bottom()), b.bottomLeft(), QPointF(b.left(), c.y())};
}

int RegionOverlay::handleAt(const QPointF& p) const
{
    const QList<int>& selection = m_tools.selection();
    if (selection.size() != 1 || selection.first() >= m_acquisition.regions().size())
        return -1;
    const QList<QPointF> points = handles(m_acquisition.regions()[selection.first()]);
    for (int h = 0; h < points.size(); ++h) {
        if (near(p, points[h], grab()))
            return h;
    }
    return -1;
}

Region RegionOverlay::resized(const Region& original, int handle, const QPointF& p) const
{
    Region r = original;
    if (r.shape == Region::Shape::Polygon) {
        r.polygon[handle] = p;
        return r;
    }
    // Handles run clockwise from the top-left corner; each moves the edges it lies on.
    QRectF b = r.bounds;
    if (handle == 0 || handle == 6 || handle == 7)
        b.setLeft(p.x());
    if (handle >= 2 && handle <= 4)
        b.setRight(p.x());
    if (handle <= 2)
        b.setTop(p.y());
    if (handle >= 4 && handle <= 6)
        b.setBottom(p.y());
    r.bounds = b.normalized();
    return r;
}

Region RegionOverlay::draft(const QPointF& p) const
{
    Region r;
    switch (m_tools.tool()) {
    case RegionTools::Tool::Ellipse:
        r.shape = Region::Shape::Ellipse;
        r.bounds = QRectF(m_pressAt, p).normalized();
        break;
    case RegionTools::Tool::Freehand:
        r.shape = Region::Shape::Polygon;
        r.polygon = m_points;
        if (m_points.isEmpty() || m_points.last() != p)
            r.polygon << p;
        break;
    default:
        r.bounds = QRectF(m_pressAt, p).normalized();
    }
    return r;
}

void RegionOverlay::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const QPointF raw = shownPoint(event->position());
    const RegionTools::Tool tool = m_tools.tool();
    m_pressAt = m_mouseAt = cornerAt(event->position());
    m_adding = event->modifiers() & Qt::ShiftModifier;

    if (tool == RegionTools::Tool::Line) {
        pressLine(raw, centreAt(event->position()));
        return;
    }
    if (m_gesture == Gesture::Polygon) {
        if (m_points.size() >= 3 && near(raw, m_points.first(), grab()))
            finishPolygon();
        else
            m_points << m_pressAt;
        update();
        return;
    }

    if (!pressRegion(raw))
        pressEmpty(raw);
}

void RegionOverlay::pressLine(const QPointF& raw, const QPointF& centre)
{
    const std::optional<QLineF> line = m_tools.line();
    m_pressAt = centre;
    if (line && (near(raw, line->p1(), grab()) || near(raw, line->p2(), grab()))) {
        m_gesture = Gesture::LineEnd;
        m_handle = near(raw, line->p1(), grab()) ? 0 : 1;
    } else if (line &&
               distanceToSegment(raw, *line) <= std::max(grab(), m_tools.lineWidth() / 2.0)) {
        m_gesture = Gesture::LineMoving;
        m_originalLine = *line;
    } else {
        m_gesture = Gesture::LineEnd;
        m_handle = 1;
        m_tools.setLine(QLineF(centre, centre));
    }
}

bool RegionOverlay::pressRegion(const QPointF& raw)
{
    const RegionTools::Tool tool = m_tools.tool();
    if (const int handle = handleAt(raw); handle >= 0) {
        holdHistory();
        m_gesture = Gesture::Resizing;
        m_handle = handle;
        m_originals = {m_acquisition.regions()[m_tools.selection().first()]};
        return true;
    }
    const int hit = regionAt(raw);
    if (hit < 0 || (tool != RegionTools::Tool::Select && !m_tools.isSelected(hit)))
        return false;
    if (!m_tools.isSelected(hit) || m_adding)
        m_tools.select(hit, m_adding);
    if (m_tools.isSelected(hit)) {
        holdHistory();
        m_gesture = Gesture::Moving;
        m_originals.clear();
        for (const int i : m_tools.selection())
            m_originals << m_acquisition.regions().value(i);
    }
    return true;
}

void RegionOverlay::pressEmpty(const QPointF& raw)
{
    const RegionTools::Tool tool = m_tools.tool();
    if (tool == RegionTools::Tool::Select) {
        if (!m_adding)
            m_tools.clearSelection();
    } else if (tool == RegionTools::Tool::Polygon) {
        m_gesture = Gesture::Polygon;
        m_points = {m_pressAt};
        update();
    } else {
        m_gesture = Gesture::Clicking;
        m_pressRaw = raw;
    }
}

void RegionOverlay::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF corner = cornerAt(event->position());
    const bool moved = corner != m_mouseAt;
    m_mouseAt = corner;
    switch (m_gesture) {
    case Gesture::Clicking:
        if (corner == m_pressAt)
            break;
        m_gesture = Gesture::Drawing;
        m_points = {m_pressAt};
        [[fallthrough]];
    case Gesture::Drawing:
        if (m_tools.tool() == RegionTools::Tool::Freehand && corner != m_points.last())
            m_points << corner;
        update();
        break;
    case Gesture::Moving:
        for (int k = 0; moved && k < m_originals.size(); ++k)
            m_acquisition.replaceRegion(m_tools.selection().value(k, -1),
                                        m_originals[k].translated(corner - m_pressAt));
        break;
    case Gesture::Resizing:
        if (moved)
            m_acquisition.replaceRegion(m_tools.selection().first(),
                                        resized(m_originals.first(), m_handle, corner));
        break;
    case Gesture::Polygon:
        update();
        break;
    case Gesture::LineEnd:
        if (std::optional<QLineF> line = m_tools.line()) {
            (m_handle == 0 ? line->setP1(centreAt(event->position()))
                           : line->setP2(centreAt(event->position())));
            m_tools.setLine(line);
        }
        break;
    case Gesture::LineMoving:
        m_tools.setLine(m_originalLine.translated(centreAt(event->position()) - m_pressAt));
        break;
    case Gesture::None:
        break;
    }
    // The canvas below tells the window where the mouse is, for the readout.
    emit m_canvas->hovered(event->position().toPoint());
}

void RegionOverlay::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const QPointF corner = cornerAt(event->position());
    switch (m_gesture) {
    case Gesture::Clicking:
        if (const int hit = regionAt(m_pressRaw); hit >= 0)
            m_tools.select(hit, m_adding);
        else if (!m_adding)
            m_tools.clearSelection();
        break;
    case Gesture::Drawing: {
        const Region r = draft(corner);
        const QRectF box = r.boundingRect();
        const bool drawn = r.shape == Region::Shape::Polygon
                               ? r.polygon.size() >= 3 && box.width() > 0 && box.height() > 0
                               : box.width() >= 1 && box.height() >= 1;
        if (drawn)
            m_tools.select(m_acquisition.addRegion(r), false);
        break;
    }
    case Gesture::LineEnd:
    case Gesture::LineMoving:
        if (m_tools.line() && m_tools.line()->length() < 1) // a click takes the line away
            m_tools.setLine(std::nullopt);
        break;
    case Gesture::Polygon: // goes on until closed
        return;
    default:
        break;
    }
    m_gesture = Gesture::None;
    m_points.clear();
    releaseHistory();
    update();
}

void RegionOverlay::holdHistory()
{
    if (AnalysisHistory* history = AnalysisHistory::of(m_acquisition);
        history && !m_holding) {
        history->hold();
        m_holding = true;
    }
}

void RegionOverlay::releaseHistory()
{
    if (AnalysisHistory* history = AnalysisHistory::of(m_acquisition);
        history && m_holding)
        history->release();
    m_holding = false;
}

void RegionOverlay::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (m_gesture == Gesture::Polygon && event->button() == Qt::LeftButton)
        finishPolygon();
    else
        mousePressEvent(event);
}

void RegionOverlay::finishPolygon()
{
    QList<QPointF> vertices;
    for (const QPointF& p : std::as_const(m_points)) {
        if (vertices.isEmpty() || vertices.last() != p)
            vertices << p;
    }
    m_gesture = Gesture::None;
    m_points.clear();
    if (vertices.size() >= 3) {
        Region r;
        r.shape = Region::Shape::Polygon;
        r.polygon = vertices;
        m_tools.select(m_acquisition.addRegion(r), false);
    }
    update();
}

void RegionOverlay::deleteSelected()
{
    QList<int> doomed = m_tools.selection();
    std::sort(doomed.begin(), doomed.end(), std::greater<>());
    m_tools.clearSelection();
    holdHistory();
    for (const int i : doomed)
        m_acquisition.removeRegion(i);
    releaseHistory();
}

void RegionOverlay::cancelGesture()
{
    if (m_gesture == Gesture::Moving || m_gesture == Gesture::Resizing) {
        for (int k = 0; k < m_originals.size(); ++k)
            m_acquisition.replaceRegion(m_tools.selection().value(k, -1), m_originals[k]);
    }
    m_gesture = Gesture::None;
    m_points.clear();
    releaseHistory();
    update();
}

void RegionOverlay::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        deleteSelected();
        break;
    case Qt::Key_Escape:
        cancelGesture();
        m_tools.clearSelection();
        break;
    default:
        event->ignore(); // Page Up and Page Down go on to the window
    }
}

void RegionOverlay::paintRegion(QPainter& painter, const Region& region, int number, bool selected,
                                const QColor& colour) const
{
    // A light line over a dark one shows on every colour table; a selected region is thicker.
    const int light = selected ? kSelectedWidth : 1;
    const QColor lightColour = selected ? kSelectedColour : colour;
    for (const auto& [penColour, width] :
         {std::pair{QColor(Qt::black), light + 2 * kDarkMargin}, std::pair{lightColour, light}}) {
        QPen pen(penColour, width);
        pen.setCosmetic(true); // screen pixels, whatever the zoom
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(regionOutline(region));
    }
    if (number <= 0)
        return;
    paintLabel(painter, region, number, lightColour);
}

void RegionOverlay::paintLabel(QPainter& painter, const Region& region, int number,
                               const QColor& colour) const
{
    // The number at the middle with the name beside it, dark-edged so that it reads on light and
    // dark colours alike. Labels grow with the zoom, within sizes that stay readable.
    QString text = QString::number(number);
    // A name that only repeats the number ("Region 3", or "Cell 3" found by Find Regions) is
    // left out.
    const bool plainName = region.name == QStringLiteral("Region %1").arg(number) ||
                           region.name == QStringLiteral("Cell %1").arg(number);
    if (!region.name.isEmpty() && !plainName)
        text += QLatin1Char(' ') + region.name;
    // Regions come mapped into the view already: the zoom is the canvas's, not the painter's.
    const double zoom = std::ldexp(1.0, m_canvas->zoomStep());
    QFont font = painter.font();
    font.setPixelSize(
        int(std::clamp(kLabelPixels * zoom, double(kSmallestLabel), double(kLargestLabel))));
    const QPointF at = painter.transform().map(region.boundingRect().center());
    painter.save();
    painter.resetTransform();
    painter.setFont(font);
    const QRectF box = QFontMetricsF(font).boundingRect(text);
    const QRectF label(at - QPointF(box.width() / 2, box.height() / 2), box.size());
    painter.setPen(Qt::black);
    painter.drawText(label.translated(1, 1), Qt::AlignCenter | Qt::TextDontClip, text);
    painter.setPen(colour);
    painter.drawText(label, Qt::AlignCenter | Qt::TextDontClip, text);
    painter.restore();
}

void RegionOverlay::paintHandle(QPainter& painter, const QPointF& at)
{
    // Three pixels: small enough to leave a small region visible, white in black to be seen.
    const QPointF corner(std::floor(at.x()) - 1, std::floor(at.y()) - 1);
    painter.fillRect(QRectF(corner, QSizeF(3, 3)), Qt::black);
    painter.fillRect(QRectF(corner + QPointF(1, 1), QSizeF(1, 1)), Qt::white);
}

void RegionOverlay::paintLine(QPainter& painter) const
{
    std::optional<QLineF> line = m_tools.line();
    if (!line)
        return;
    const QLineF shown = *line;
    line = QLineF(inView(shown.p1()), inView(shown.p2()));
    painter.setPen(kRegionColour);
    painter.drawLine(*line);
    if (m_tools.lineWidth() > 1 && line->length() > 0) {
        // The band the profile averages across.
        const QLineF normal = line->normalVector().unitVector();
        const QPointF across =
            (normal.p2() - normal.p1()) * (m_tools.lineWidth() * m_canvas->zoomMap().zoom() / 2.0);
        painter.setPen(QPen(kRegionColour, 1, Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawPolygon(QPolygonF{line->p1() + across, line->p2() + across, line->p2() - across,
                                      line->p1() - across});
    }
    if (m_tools.tool() == RegionTools::Tool::Line) {
        for (const QPointF& end : {line->p1(), line->p2()})
            paintHandle(painter, end);
    }
}

void RegionOverlay::paintEvent(QPaintEvent* event)
{
    const QList<Region>& regions = m_acquisition.regions();
    const bool drafting = m_gesture == Gesture::Drawing || m_gesture == Gesture::Polygon;
    if (regions.isEmpty() && !m_tools.line() && !drafting && m_tools.preview().isEmpty())
        return; // nothing over the picture
    QPainter painter(this);
    painter.setFont(systemFont(9));
    // Everything is kept in shown coordinates and drawn where the zoom puts it.
    if (!regions.isEmpty()) {
        const QImage& kept = outlines(event->region().boundingRect() & rect());
        const qreal ratio = kept.devicePixelRatio();
        for (const QRect& r : event->region()) {
            const QRect part = r & m_outlinesArea;
            painter.drawImage(part, kept,
                              QRectF(QPointF(part.topLeft() - m_outlinesArea.topLeft()) * ratio,
                                     QSizeF(part.size()) * ratio));
        }
    }
    if (m_tools.selection().size() == 1 && m_tools.selection().first() < regions.size()) {
        for (const QPointF& h : handles(regions[m_tools.selection().first()]))
            paintHandle(painter, inView(h));
    }
    if (m_gesture == Gesture::Drawing)
        paintRegion(painter, inView(draft(m_mouseAt)), 0, true, kSelectedColour);
    if (m_gesture == Gesture::Polygon) {
        painter.setPen(kSelectedColour);
        QPolygonF path;
        for (const QPointF& p : std::as_const(m_points))
            path << inView(p);
        painter.drawPolyline(path << inView(m_mouseAt));
    }
    paintLine(painter);
    for (const Region& proposed : m_tools.preview())
        paintRegion(painter, inView(proposed), 0, true, kSelectedColour);
}

} // namespace isolumen
