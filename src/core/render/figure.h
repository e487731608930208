#pragma once

#include "core/colour/catalogue.h"
#include "core/result.h"
#include "core/stats/region.h"

#include <QImage>
#include <QList>
#include <QPainterPath>
#include <QRgb>
#include <QSize>
#include <QString>
#include <optional>

class QPainter;

namespace isolumen {

class Progress;

// A figure for a paper: an image window's picture with its colour bar and value axis (or, for a
// composite of channels, a legend of them), its scale bar, region outlines and a title, laid out
// as the window shows them and painted by one painter onto any device, so that PNG, TIFF, SVG
// and PDF come out alike. Lengths are the window's pixels; a device of another resolution scales.

// The value axis beside the picture: the window's ramp for the table lut from bottom to top.
struct FigureColourBar
{
    ColourTable lut{};
    double top = 1;
    double bottom = 0;
    bool logScale = false;
};

// One channel of a composite picture, listed in the colour bar's place.
struct FigureLegendEntry
{
    QString name;    // "12C14N"
    QRgb colour = 0; // the channel's full colour
    double low = 0;  // the range mapped from dark to full colour
    double high = 1;
    bool operator==(const FigureLegendEntry&) const = default;
};

// What a figure shows. The picture is the samples inside a one-pixel black frame, as
// imagePicture draws them: (side + 2) pixels square (framedPicture frames a bare one).
struct FigureContent
{
    QImage picture;
    std::optional<FigureColourBar> colourBar;
    QList<FigureLegendEntry> legend; // drawn instead of the colour bar when it is not empty
    double micronSize = 0;           // the field's width; no scale bar without one
    QList<Region> regions;           // in the picture's sample coordinates
    int side() const { return picture.isNull() ? 0 : picture.width() - 2; }
};

// How the regions are marked.
enum class FigureOutlines { None, Numbers, Names };

struct FigureOptions
{
    bool colourBar = true; // or legend
    bool scaleBar = true;
    FigureOutlines outlines = FigureOutlines::None;
    QString title; // above the picture; none when empty
    int scale = 1; // raster pictures only: 1 to 8 pixels per window pixel
    bool operator==(const FigureOptions&) const = default;
};
constexpr int kLargestFigureScale = 8;

// A bare side x side picture inside the one-pixel black frame a figure expects.
QImage framedPicture(const QImage& samples);

// The outline of a region's shape in its own coordinates.
QPainterPath regionOutline(const Region& region);

// The figure's size in window pixels. With the colour bar and scale bar and without title or
// legend it is the image window's layout: side + 121 by side + 59 (figureSize).
QSize figureLayoutSize(const FigureContent& content, const FigureOptions& options);

// Paints the figure with its top left at the painter's origin, in window pixels, on white. The
// picture is drawn without smoothing; text, axis, outlines and scale bar as shapes, so that a
// vector device keeps them as such.
void paintFigure(QPainter& painter, const FigureContent& content, const FigureOptions& options);

// The figure as a raster picture, options.scale pixels per window pixel; null when there is no
// picture or no memory for it. At scale 1 without title, outlines or legend it is pixel for pixel
// figurePicture's.
QImage figureImage(const FigureContent& content, const FigureOptions& options);

// Whether a file name's suffix names a figure format: a picture format, .svg or .pdf.
bool isFigureFileName(const QString& path);
bool isVectorFigureFileName(const QString& path);

// Writes the figure to path, complete or not at all: SVG or PDF by the suffix .svg or .pdf,
// else a raster picture as writePicture writes one. Fails saying why, with everything as it
// was, when it cannot be written or progress is cancelled before the file is in place.
Result<> writeFigure(const FigureContent& content, const FigureOptions& options,
                     const QString& path, const Progress* progress = nullptr);

} // namespace isolumen
