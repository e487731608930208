#pragma once

#include <QImage>
#include <QPointF>
#include <QRect>
#include <QString>
#include <functional>
#include <utility>

namespace isolumen {

// How a picture of samples inside a one-pixel frame (a plane's picture: (side + 2) pixels
// square, sample x at picture pixel x + 1) is shown at a zoom of 2^step: the frame stays one
// screen pixel wide; inside it each sample is a block of 2^step pixels above 100%, and below it
// each screen pixel shows the mean colour of the 2^-step samples square it covers (fewer at the
// last row and column when the side does not divide). The one mapping between a canvas' pixels
// ("view") and shown coordinates that the picture, the readout and the regions use.
struct ZoomMap
{
    static constexpr int kMinStep = -3; // 1/8
    static constexpr int kMaxStep = 3;  // 8

    int side = 0; // samples across the picture
    int step = 0; // the zoom is 2^step

    double zoom() const;
    // Screen pixels the samples take across: side x zoom, rounded up.
    int viewSide() const;
    // The canvas: the samples and the frame.
    QSize viewSize() const { return {viewSide() + 2, viewSide() + 2}; }
    // Shown coordinates of a canvas point, and back.
    QPointF toShown(const QPointF& view) const;
    QPointF toView(const QPointF& shown) const;
    // Picture pixels [first, last) that canvas column (or row) v shows.
    std::pair<int, int> pictureSpan(int v) const;
};

// "100%", "50%", "12.5%", "800%".
QString zoomText(int step);

// Draws `area` of the zoomed canvas into `into` (32-bit) with its top left at `at`. drawPicture
// draws a part of the picture at 100%, as Canvas::Drawing does.
void drawZoomed(const ZoomMap& map,
                const std::function<void(const QRect&, QImage&, const QPoint&)>& drawPicture,
                const QRect& area, QImage& into, const QPoint& at);

} // namespace isolumen
