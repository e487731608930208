#include "core/render/figure.h"

#include "core/io/picturewriter.h"
#include "core/io/replacingfile.h"
#include "core/progress.h"
#include "core/render/colourbar.h"
#include "core/render/displaypictures.h"
#include "core/render/picturefont.h"
#include "core/render/scalebar.h"
#include "core/text/numbertext.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QPageSize>
#include <QPaintEngine>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>

namespace isolumen {

namespace {

constexpr int kMargin = 20;        // white kept around the figure's content
constexpr int kTitleTextSize = 13; // the title's picture-font size
constexpr int kSwatch = 12;        // a legend entry's colour square
constexpr int kLegendStep = 36;    // from one legend entry to the next
constexpr int kLegendTextLeft = kSwatch + 6;
const QColor kOutlineColour(255, 255, 0); // light over a dark edge: reads on every table
// A vector device gets the picture enlarged by whole pixels to at least this width, so that a
// viewer that smooths what it enlarges leaves the pixels square.
constexpr int kVectorPictureWidth = 2048;

int textWidth(const QString& text, int textSize)
{
    return QFontMetrics(pictureFont(textSize)).horizontalAdvance(text);
}

QString legendRange(const FigureLegendEntry& e)
{
    return numberText(e.low) + QStringLiteral(" \u2013 ") + numberText(e.high);
}

QSize legendSize(const QList<FigureLegendEntry>& legend)
{
    int width = 0;
    for (const FigureLegendEntry& e : legend)
        width = std::max(
            {width, textWidth(e.name, kAxisTextSize), textWidth(legendRange(e), kAxisTextSize)});
    return {kLegendTextLeft + width + 3, int(legend.size()) * kLegendStep};
}

bool showsLegend(const FigureContent& c, const FigureOptions& o)
{
    return o.colourBar && !c.legend.isEmpty();
}

bool showsColourBar(const FigureContent& c, const FigureOptions& o)
{
    return o.colourBar && c.legend.isEmpty() && c.colourBar;
}

void paintLegend(QPainter& p, const QList<FigureLegendEntry>& legend)
{
    p.setFont(pictureFont(kAxisTextSize));
    for (int i = 0; i < legend.size(); ++i) {
        const int y = i * kLegendStep;
        p.fillRect(0, y, kSwatch, kSwatch, Qt::black);
        p.fillRect(1, y + 1, kSwatch - 2, kSwatch - 2, QColor::fromRgb(legend[i].colour));
        p.setPen(Qt::black);
        p.drawText(QPoint(kLegendTextLeft, y + 10), legend[i].name);
        p.drawText(QPoint(kLegendTextLeft, y + 24), legendRange(legend[i]));
    }
}

QString outlineLabel(const Region& region, int index, FigureOutlines outlines)
{
    if (outlines == FigureOutlines::Names && !region.name.isEmpty())
        return region.name;
    return QString::number(region.id > 0 ? region.id : index + 1);
}

void paintOutlines(QPainter& p, const FigureContent& c, FigureOutlines outlines)
{
    p.save();
    const QPoint inside = figureImagePlace() + QPoint(1, 1);
    p.setClipRect(QRect(inside, QSize(c.side(), c.side())));
    p.translate(inside);
    p.setBrush(Qt::NoBrush);
    for (const auto& [colour, width] :
         {std::pair{QColor(Qt::black), 3}, std::pair{kOutlineColour, 1}}) {
        QPen pen(colour, width);
        pen.setJoinStyle(Qt::MiterJoin);
        p.setPen(pen);
        for (const Region& r : c.regions)
            p.drawPath(regionOutline(r));
    }
    p.setFont(pictureFont(kAxisTextSize));
    for (int i = 0; i < c.regions.size(); ++i) {
        const QString text = outlineLabel(c.regions[i], i, outlines);
        const QRectF at(c.regions[i].boundingRect().center() - QPointF(50, 10), QSizeF(100, 20));
        p.setPen(Qt::black);
        p.drawText(at.translated(1, 1), Qt::AlignCenter | Qt::TextDontClip, text);
        p.setPen(kOutlineColour);
        p.drawText(at, Qt::AlignCenter | Qt::TextDontClip, text);
    }
    p.restore();
}

void paintPicture(QPainter& p, const QImage& picture)
{
    const QRectF place(figureImagePlace(), QSizeF(picture.size()));
    // Unsmoothed: SVG then asks its viewers for square pixels too (image-rendering).
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const QPaintEngine::Type engine = p.paintEngine()->type();
    if (engine != QPaintEngine::SVG && engine != QPaintEngine::Pdf) {
        p.drawImage(place, picture);
        return;
    }
    const int times = std::clamp((kVectorPictureWidth + picture.width() - 1) / picture.width(), 1,
                                 kVectorPictureWidth);
    p.drawImage(place, picture.scaled(picture.size() * times, Qt::IgnoreAspectRatio,
                                      Qt::FastTransformation));
}

} // namespace

QImage framedPicture(const QImage& samples)
{
    QImage framed(samples.size() + QSize(2, 2), QImage::Format_RGB32);
    if (samples.isNull() || framed.isNull())
        return {};
    framed.fill(Qt::black);
    QPainter(&framed).drawImage(1, 1, samples);
    return framed;
}

QPainterPath regionOutline(const Region& region)
{
    QPainterPath path;
    switch (region.shape) {
    case Region::Shape::Rectangle:
        path.addRect(region.bounds);
        break;
    case Region::Shape::Ellipse:
        path.addEllipse(region.bounds);
        break;
    case Region::Shape::Polygon:
        path.addPolygon(QPolygonF(region.polygon));
        path.closeSubpath();
        break;
    }
    return path;
}

QSize figureLayoutSize(const FigureContent& c, const FigureOptions& o)
{
    const int side = c.side();
    QSize size = figureSize(side);
    if (!showsColourBar(c, o))
        size.setWidth(side + 2 + 2 * kMargin);
    if (!o.scaleBar)
        size.setHeight(figureImagePlace().y() + side + 2 + kMargin);
    if (showsLegend(c, o)) {
        const QSize legend = legendSize(c.legend);
        const QPoint at = figureColourBarPlace(side);
        size = size.expandedTo(QSize(at.x() + legend.width(), at.y() + legend.height() + kMargin));
    }
    if (!o.title.isEmpty())
        size = size.expandedTo(QSize(2 * kMargin + textWidth(o.title, kTitleTextSize), 0));
    return size;
}

void paintFigure(QPainter& p, const FigureContent& c, const FigureOptions& o)
{
    const int side = c.side();
    const QSize size = figureLayoutSize(c, o);
    p.save();
    p.fillRect(QRect(QPoint(), size), Qt::white);
    paintPicture(p, c.picture);
    const QPoint barAt = figureColourBarPlace(side);
    if (showsColourBar(c, o)) {
        p.save();
        p.setClipRect(QRect(barAt, QSize(80, kColourBarCanvasHeight)));
        p.translate(barAt);
        paintColourBar(p, c.colourBar->lut, c.colourBar->top, c.colourBar->bottom,
                       c.colourBar->logScale);
        p.restore();
    } else if (showsLegend(c, o)) {
        p.save();
        p.translate(barAt);
        paintLegend(p, c.legend);
        p.restore();
    }
    if (o.scaleBar) {
        p.save();
        const QPoint at = figureScalePlace(side);
        // The window's scale canvas is white and lies over the colour bar's lower end when the
        // picture is small.
        const QRect box = QRect(at, QSize(258, 28)).intersected(QRect(QPoint(), size));
        p.fillRect(box, Qt::white);
        p.setClipRect(box);
        p.translate(at);
        paintScaleBar(p, c.micronSize, side);
        p.restore();
    }
    if (o.outlines != FigureOutlines::None && !c.regions.isEmpty())
        paintOutlines(p, c, o.outlines);
    if (!o.title.isEmpty()) {
        p.setFont(pictureFont(kTitleTextSize));
        p.setPen(Qt::black);
        p.drawText(QPoint(kMargin, 19), o.title);
    }
    p.restore();
}

QImage figureImage(const FigureContent& content, const FigureOptions& options)
{
    if (content.picture.isNull())
        return {};
    const int scale = std::clamp(options.scale, 1, kLargestFigureScale);
    QImage figure(figureLayoutSize(content, options) * scale, QImage::Format_RGB32);
    if (figure.isNull())
        return {};
    QPainter p(&figure);
    p.scale(scale, scale);
    paintFigure(p, content, options);
    return figure;
}

bool isVectorFigureFileName(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("svg") || suffix == QLatin1String("pdf");
}

bool isFigureFileName(const QString& path)
{
    return isVectorFigureFileName(path) || pictureFormatFor(path).has_value();
}

namespace {

// Paints the figure on a vector device writing into file; the device's own units per window
// pixel are unitsPerPixel.
template <typename Device>
bool paintVector(Device& device, const FigureContent& c, const FigureOptions& o,
                 double unitsPerPixel)
{
    QPainter p;
    if (!p.begin(&device))
        return false;
    p.scale(unitsPerPixel, unitsPerPixel);
    // PDF would otherwise store the pictures as JPEG, blurring their pixels.
    p.setRenderHint(QPainter::LosslessImageRendering);
    paintFigure(p, c, o);
    return p.end();
}

bool writeVector(const FigureContent& c, const FigureOptions& o, const QString& path,
                 QIODevice& file)
{
    const QSize size = figureLayoutSize(c, o);
    if (QFileInfo(path).suffix().toLower() == QLatin1String("svg")) {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setResolution(96); // a window pixel is a CSS pixel
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(), size));
        svg.setTitle(o.title);
        return paintVector(svg, c, o, 1.0);
    }
    QPdfWriter pdf(&file);
    pdf.setCreator(QStringLiteral("Isolumen"));
    pdf.setTitle(o.title);
    // A window pixel is a 96th of an inch on the page, as on the screen.
    pdf.setPageSize(
        QPageSize(QSizeF(size) * 72.0 / 96.0, QPageSize::Point, QString(), QPageSize::ExactMatch));
    pdf.setPageMargins(QMarginsF());
    pdf.setResolution(1200);
    return paintVector(pdf, c, o, 1200.0 / 96.0);
}

} // namespace

Result<> writeFigure(const FigureContent& content, const FigureOptions& options,
                     const QString& path, const Progress* progress)
{
    if (content.picture.isNull())
        return Failure{QStringLiteral("there is no picture.")};
    if (!isVectorFigureFileName(path)) {
        const QImage picture = figureImage(content, options);
        if (picture.isNull())
            return Failure{QStringLiteral("not enough memory for the picture.")};
        return writePicture(picture, path, progress);
    }
    return writeReplacing(
        path,
        [&](QIODevice& device) -> Result<> {
            if (writeVector(content, options, path, device))
                return {};
            return Failure{QStringLiteral("the figure could not be drawn.")};
        },
        progress);
}

} // namespace isolumen
