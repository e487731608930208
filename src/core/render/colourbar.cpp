#include "core/render/colourbar.h"

#include "core/render/picturefont.h"
#include "core/text/numbertext.h"

#include <QFontMetrics>
#include <QPainter>
#include <cmath>
#include <optional>

namespace isolumen {

namespace {

constexpr int kMaxSteps = 1000; // loops run while count < 1000: at most 999 steps

// Truncation toward zero of a pixel row; absent when the row is not a number or lies so far off
// that it cannot be drawn anyway.
std::optional<int> row(double y)
{
    if (!(std::abs(y) < 1e6))
        return std::nullopt;
    return static_cast<int>(y);
}

// Whether an axis mark carries its number.
enum class MarkLabel { None, Number };

void addMark(QList<AxisMark>& marks, double value, double y, MarkLabel label, double baseline)
{
    const std::optional<int> tick = row(y);
    if (!tick)
        return;
    AxisMark m;
    m.value = value;
    m.y = *tick;
    if (label == MarkLabel::Number) {
        if (const std::optional<int> b = row(baseline)) {
            m.labelled = true;
            m.baseline = *b;
            m.label = signedValueText(value);
        }
    }
    marks.append(m);
}

void linearMarks(QList<AxisMark>& marks, double top, double bottom, int h, int half)
{
    const double ts = kAxisTextSize;
    const double d = (top - bottom) / h;
    const double span = ts * 2 * d;
    const double p = std::pow(10.0, std::floor(std::log10(span)));
    double step = 10 * p;
    if (p >= span)
        step = p;
    else if (2 * p >= span)
        step = 2 * p;
    else if (5 * p >= span)
        step = 5 * p;

    double v = std::floor(bottom / step) * step;
    // Cleaning v of rounding noise keeps labels such as 0.15 from showing as 0.150000000000001.
    const double q = std::pow(10.0, std::floor(std::log10(step)) - 5);
    for (int count = 1; v < top && count < kMaxSteps; ++count) {
        v = std::round(v / q) * q;
        if (ts * d < v - bottom && ts * d < top - v) {
            const double y = h - (v - bottom) / d + 5;
            addMark(marks, v, y, MarkLabel::Number, y + half);
        }
        v += step;
    }
}

void logarithmicMarks(QList<AxisMark>& marks, double top, double bottom, int h, int half)
{
    if (!(bottom > 0))
        return;
    const double ts = kAxisTextSize;
    const double logBottom = std::log10(bottom);
    const double logTop = std::log10(top);
    const double L = (logTop - logBottom) / h;
    const bool narrow = top / bottom < 1000;
    double v = bottom;
    for (int count = 1; nextLogStep(v) < top && count < kMaxSteps; ++count) {
        v = nextLogStep(v);
        const double gapLow = std::log10(v) - logBottom;
        const double gapHigh = logTop - std::log10(v);
        const QString s = formatNumber(v, NumberPattern::UpToTenDecimals);
        const bool room = ts * L < gapLow && ts * L < gapHigh;
        const bool labelled =
            room && (s.contains(QLatin1Char('1')) ||
                     (narrow && (s.contains(QLatin1Char('2')) || s.contains(QLatin1Char('5')))));
        const double y = h - gapLow / L + 5;
        addMark(marks, v, y, labelled ? MarkLabel::Number : MarkLabel::None, y + half);
    }
}

void outline(QPainter& p, int x, int y, int w, int h, const QColor& c)
{
    p.fillRect(x, y, w, 1, c);
    p.fillRect(x, y + h - 1, w, 1, c);
    p.fillRect(x, y, 1, h, c);
    p.fillRect(x + w - 1, y, 1, h, c);
}

// Where labels start, and the smallest size a long label is set in.
constexpr int kLabelLeft = 10;
constexpr int kLabelMargin = 3; // kept free at the right edge
constexpr int kSmallestAxisText = 6;

} // namespace

QList<AxisMark> axisMarks(double top, double bottom, int n, bool linear)
{
    const int h = n - 1;
    const int half = kAxisTextSize / 2;
    QList<AxisMark> marks;
    addMark(marks, top, 5, MarkLabel::Number, 5 + half);
    addMark(marks, bottom, h + 5, MarkLabel::Number, h + 5 + half);
    if (!(bottom < top) || h <= 0)
        return marks;
    if (linear)
        linearMarks(marks, top, bottom, h, half);
    else
        logarithmicMarks(marks, top, bottom, h, half);
    return marks;
}

void paintValueAxis(QPainter& p, double top, double bottom, int n, bool linear, int width)
{
    const QList<AxisMark> marks = axisMarks(top, bottom, n, linear);
    p.save();
    p.setFont(pictureFont(kAxisTextSize));
    p.setPen(Qt::black);
    const int room = width - kLabelLeft - kLabelMargin;
    for (const AxisMark& m : marks) {
        p.fillRect(0, m.y, 5, 1, Qt::black);
        if (!m.labelled)
            continue;
        // A label too wide for the picture is set smaller rather than cut off.
        for (int size = kAxisTextSize;
             size > kSmallestAxisText && QFontMetrics(p.font()).horizontalAdvance(m.label) > room;)
            p.setFont(pictureFont(--size));
        p.drawText(QPoint(kLabelLeft, m.baseline), m.label);
        p.setFont(pictureFont(kAxisTextSize));
    }
    p.restore();
}

void drawValueAxis(QImage& picture, double top, double bottom, int n, bool linear)
{
    QPainter p(&picture);
    paintValueAxis(p, top, bottom, n, linear, picture.width());
}

void paintColourBar(QPainter& p, const ColourTable& lut, double top, double bottom, bool logScale)
{
    outline(p, 0, 0, 20, 5, Qt::black);
    outline(p, 0, 5, 20, 256, Qt::black);
    outline(p, 0, 261, 20, 5, Qt::black);
    p.save();
    p.translate(21, 1);
    // The axis was laid out for a picture of the bar's width.
    paintValueAxis(p, top, bottom, 254, !logScale, 80);
    p.restore();
    p.fillRect(1, 1, 18, 3, QColor::fromRgb(lut[255]));
    p.fillRect(1, 262, 18, 3, QColor::fromRgb(lut[0]));
    // One picture rather than 254 rectangles: a vector device shows no seams between rows.
    QImage ramp(1, 254, QImage::Format_RGB32);
    for (int k = 1; k <= 254; ++k)
        ramp.setPixel(0, 254 - k, lut[k]);
    p.drawImage(QRectF(1, 6, 18, 254), ramp);
}

QImage colourBarPicture(const ColourTable& lut, double top, double bottom, bool logScale)
{
    QImage bar(80, 300, QImage::Format_RGB32);
    if (bar.isNull())
        return {};
    bar.fill(Qt::white);
    QPainter p(&bar);
    paintColourBar(p, lut, top, bottom, logScale);
    return bar;
}

} // namespace isolumen
