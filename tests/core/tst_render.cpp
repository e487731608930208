// The pictures of an image window, pixel for pixel against colours worked out here: the colour
// tables, the mapping of values to colours, the colour bar, the scale bar and the whole figure.
#include "core/colour/catalogue.h"
#include "core/model/plane.h"
#include "core/render/colourbar.h"
#include "core/render/colourmapping.h"
#include "core/render/displaypictures.h"
#include "core/render/displaysettings.h"
#include "core/render/figure.h"
#include "core/render/overlay.h"
#include "core/render/picturefont.h"
#include "core/render/scalebar.h"
#include "testpictures.h"

#include <QFontMetrics>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

using namespace isolumen;

namespace {

// Six hexadecimal digits RRGGBB, so that a failing comparison reads like the tables' colours.
QString hex(int table, int entry)
{
    return QString("%1")
        .arg(colourTable(table)[entry] & 0xFFFFFF, 6, 16, QLatin1Char('0'))
        .toUpper();
}

// A plane of side x side values given in shown orientation, of sample type T.
template <typename T> Plane planeOf(int side, const std::function<double(int x, int y)>& value)
{
    std::vector<T> v(size_t(side) * side);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x)
            v[size_t(y) * side + x] = T(value(x, y));
    }
    Plane p{side, std::move(v)};
    p.findExtremes();
    return p;
}

// A side x side picture of grey levels that differ from pixel to pixel.
QImage grey(int side)
{
    QImage picture(side, side, QImage::Format_RGB32);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            picture.setPixel(x, y, qRgb((x * 7 + y * 3) % 200, (x * 7 + y * 3) % 200, 100));
    return picture;
}

} // namespace

class TestRender : public QObject
{
    Q_OBJECT

private slots:
    void catalogue()
    {
        QCOMPARE(colourTableName(0) + ',' + colourTableName(9) + ',' + colourTableName(19),
                 "01 Hot Metal,10 Rainbow,20 World Colors Rainbow");
        // "07 GrayScale" leaves out levels 86 and 172; "09 GrayScale-Inverted" runs backwards.
        const auto grey = [](int k) {
            const int level = k <= 86 ? k - 1 : k <= 171 ? k : k + 1;
            return QString("%1").arg(level * 0x10101, 6, 16, QLatin1Char('0')).toUpper();
        };
        for (int i = 1; i <= 254; ++i) {
            QCOMPARE(hex(6, i), i == 5 ? "040403" : grey(i));
            QCOMPARE(hex(8, i), grey(255 - i));
        }
        QCOMPARE(hex(9, 1) + hex(9, 128) + hex(9, 254), "7C00FF00FE3EFF0000");
        QCOMPARE(hex(3, 145) + hex(3, 146), "C6FBDE1B3C28"); // "04 Earth" at the coast
        for (int t = 0; t < kTableCount; ++t)
            QCOMPARE(hex(t, 0) + hex(t, 255), "FFFFFF000000");
    }

    void entries_data()
    {
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<double>("v");
        QTest::addColumn<int>("entry");
        QTest::newRow("0..253: bottom of the range") << 0.0 << 253.0 << 0.0 << 1;
        QTest::newRow("0..253: 100") << 0.0 << 253.0 << 100.0 << 101;
        QTest::newRow("0..253: top of the range") << 0.0 << 253.0 << 253.0 << 254;
        QTest::newRow("0..253: half a step above the top") << 0.0 << 253.0 << 253.5 << 254;
        QTest::newRow("0..253: a step above the top") << 0.0 << 253.0 << 254.0 << 255;
        QTest::newRow("0..253: far above the top") << 0.0 << 253.0 << 1e12 << 255;
        QTest::newRow("10..263: half a step below, truncated") << 10.0 << 263.0 << 9.5 << 0;
        QTest::newRow("10..263: far below") << 10.0 << 263.0 << -1e12 << 0;
        QTest::newRow("100..1100: 600") << 100.0 << 1100.0 << 600.0 << 127;
    }

    void entries()
    {
        QFETCH(double, min);
        QFETCH(double, max);
        QFETCH(double, v);
        QFETCH(int, entry);
        QCOMPARE(colourIndex(v, min, 253.0 / (max - min)), entry);
        QCOMPARE(TestPictures::entry(v, min, max), entry); // the tests' own oracle agrees
    }

    void picture_data()
    {
        QTest::addColumn<int>("type"); // 2, 4: bytes of an integer sample; 8: double, some NaN
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<double>("largest");
        QTest::newRow("16 bits, range inside the samples") << 2 << 1000.0 << 30000.0 << 65535.0;
        QTest::newRow("16 bits, range beyond the samples") << 2 << -20.0 << 900000.0 << 65535.0;
        QTest::newRow("16 bits, narrow range: most capped") << 2 << 100.0 << 101.0 << 300.0;
        QTest::newRow("32 bits") << 4 << 0.0 << 3e9 << 4294967295.0;
        QTest::newRow("doubles without a value here and there") << 8 << 0.25 << 0.75 << 1.0;
    }

    // Every pixel, frame included, of a plane of 67 x 67 (no multiple of the mapping's runs),
    // in a window's own table: catalogue entries 1 to 254, the low and high colours at the ends.
    void picture()
    {
        QFETCH(int, type);
        QFETCH(double, min);
        QFETCH(double, max);
        QFETCH(double, largest);
        quint64 x = 88172645463325252ull; // xorshift: a spread that is the same at every run
        std::vector<double> values(67 * 67);
        for (double& v : values) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            v = type < 8 ? double(x % quint64(largest + 1))
                : x % 11 ? double(x % 1001) / 1000
                         : NAN;
        }
        const auto value = [&](int x, int y) { return values[size_t(y) * 67 + x]; };
        const Plane plane = type == 2   ? planeOf<quint16>(67, value)
                            : type == 4 ? planeOf<quint32>(67, value)
                                        : planeOf<double>(67, value);
        const ColourTable lut = DisplaySettings::windowTable(6, 0xFF00FF, 0x00FF00);
        COMPARE_PICTURES(imagePicture(plane, min, max, lut, 0x0000FE),
                         TestPictures::framedPicture(67, value, [&](double v) {
                             return TestPictures::colour(v, min, max, 6, 0xFF00FF, 0x00FF00, 0xFE);
                         }));
        QVERIFY(imagePicture(plane, max, min, lut, 0).isNull());
    }

    void colourBar()
    {
        const QRgb high = qRgb(250, 1, 2);
        const QRgb low = qRgb(3, 4, 251);
        const QImage bar =
            colourBarPicture(DisplaySettings::windowTable(3, high, low), 1000, 0, false);
        // Framed caps and ramp in columns 0 to 19, white column 20, the axis one lower from 21.
        QImage want(80, 300, QImage::Format_RGB32);
        want.fill(Qt::white);
        QImage axis = want;
        drawValueAxis(axis, 1000, 0, 254, true);
        QPainter(&want).drawImage(21, 1, axis);
        for (int y = 0; y <= 265; ++y) {
            for (int x = 0; x <= 19; ++x) {
                const bool frame = x == 0 || x == 19 || y == 0 || y == 4 || y == 5 || y == 260 ||
                                   y == 261 || y == 265;
                want.setPixel(x, y,
                              frame      ? qRgb(0, 0, 0)
                              : y <= 3   ? high
                              : y >= 262 ? low
                                         : colourTable(3)[260 - y] | 0xFF000000u);
            }
        }
        COMPARE_PICTURES(bar, want);
        // Entry 254 in ramp row 6 and entry 1 in row 259, level with the axis' end ticks.
        QCOMPARE(bar.pixel(5, 6), colourTable(3)[254] | 0xFF000000u);
        QCOMPARE(bar.pixel(21, 6), qRgb(0, 0, 0));
        QCOMPARE(bar.pixel(5, 259), colourTable(3)[1] | 0xFF000000u);
        QCOMPARE(bar.pixel(21, 259), qRgb(0, 0, 0));
        // The widest label of 16-bit data fits the 49 columns beside the ramp.
        QVERIFY(QFontMetrics(pictureFont(kAxisTextSize)).horizontalAdvance("+65535") <= 49);
    }

    void scaleBar_data()
    {
        QTest::addColumn<double>("micronSize");
        QTest::addColumn<int>("side");
        QTest::addColumn<int>("width"); // 0: no bar
        QTest::addColumn<QString>("label");
        const auto row = [](const char* name, double micronSize, int side, int width,
                            const char* label) {
            QTest::newRow(name) << micronSize << side << width << QString::fromUtf8(label);
        };
        row("20 um, 256: leading 4 gives 2", 20, 256, 25, "2 µm");
        row("40 um, 256: leading 9 gives 5", 40, 256, 32, "5 µm");
        row("50 um, 256: leading 1", 50, 256, 51, "10 µm");
        row("0.5 um, 256", 0.5, 256, 51, "0.1 µm");
        row("leading 3 gives 2", 3.5 * 256 / 60, 256, 34, "2 µm");
        row("leading 6 gives 5", 6.5 * 256 / 60, 256, 46, "5 µm");
        // With side 60 the field is what 60 pixels cover; its logarithm may round up to a whole
        // number just below a power of ten.
        row("just below 1", std::nextafter(1.0, 0.0), 60, 30, "0.5 µm");
        row("just below 1000", std::nextafter(1000.0, 0.0), 60, 30, "500 µm");
        row("exactly 0.001", 0.001, 60, 60, "0.001 µm");
        row("zero field", 0, 256, 0, "");
        row("field not a number", NAN, 256, 0, "");
        row("infinite field", INFINITY, 256, 0, "");
        row("no pixels", 20, 0, 0, "");
    }

    // The bar: grey rows 7 to 12 of columns 0 to width - 1; the label from x = width + 5 (a
    // glyph's left bearing may leave that column blank) above the descent under baseline 13.
    void scaleBar()
    {
        QFETCH(double, micronSize);
        QFETCH(int, side);
        QFETCH(int, width);
        QFETCH(QString, label);
        const ScalePicture s = scalePicture(micronSize, side);
        QCOMPARE(s.problem, width ? QString() : QStringLiteral("Scale bar problem."));
        const std::optional<ScaleBarLength> length = scaleBarLength(micronSize, side);
        QCOMPARE(length ? scaleBarLabel(length->distance) : QString(), label);
        QCOMPARE(s.picture.size(), QSize(258, 28));
        const int bottom = 13 + QFontMetrics(pictureFont(kAxisTextSize)).descent();
        int labelStart = width ? -1 : width + 5;
        for (int x = 0; x < 258; ++x) {
            for (int y = 0; y < 28; ++y) {
                const QRgb c = s.picture.pixel(x, y);
                if (x < width)
                    QCOMPARE(c, y >= 7 && y <= 12 ? qRgb(153, 153, 153) : qRgb(255, 255, 255));
                else if (c != qRgb(255, 255, 255) && labelStart < 0)
                    labelStart = x;
                if (x >= width && (y > bottom || !width))
                    QCOMPARE(c, qRgb(255, 255, 255));
            }
        }
        QVERIFY2(labelStart == width + 5 || labelStart == width + 6,
                 qPrintable(QString::number(labelStart)));
    }

    // The window's figure: its pictures at their places on white, the button row left blank.
    void figure()
    {
        const Plane plane =
            planeOf<quint16>(256, [](int x, int y) { return (y - 128) * (y - 128) + x * 3; });
        DisplaySettings s;
        s.logScale = true;
        settleDisplayRange(s, plane, {}, {});
        const std::optional<DisplayPictures> p = displayPictures(plane, s, 20);
        QVERIFY(p);
        COMPARE_PICTURES(p->image, imagePicture(plane, plane.min, plane.max, s.lut, 0));
        COMPARE_PICTURES(p->colourBar, colourBarPicture(s.lut, plane.max, plane.min, true));
        QImage want(377, 315, QImage::Format_RGB32);
        want.fill(Qt::white);
        QPainter painter(&want);
        painter.drawImage(20, 27, p->image);
        painter.drawImage(295, 27, p->colourBar.copy(0, 0, 80, 266));
        painter.drawImage(20, 285, p->scale);
        painter.end();
        COMPARE_PICTURES(figurePicture(*p, 256), want);
        // The figure painter, on a raster, draws the same.
        const FigureContent figure{
            p->image, FigureColourBar{s.lut, s.maxValue, s.minValue, true}, {}, 20, {}};
        COMPARE_PICTURES(figureImage(figure, {}), want);
    }

    // Outlines over the picture where the regions' edges are: light on the edge's pixels, dark
    // either side, at any scale; the picture is left as it was inside.
    void figureOutlines()
    {
        FigureContent figure{framedPicture(grey(64)), std::nullopt, {}, 20, {}};
        figure.regions = {Region{Region::Shape::Rectangle, QRectF(10, 10, 20, 20), {}, {}, 1, {}}};
        const QRgb light = qRgb(255, 255, 0);
        const QRgb inside = figure.picture.pixel(16, 13);
        for (const int scale : {1, 3}) {
            const QImage f =
                figureImage(figure, {false, false, FigureOutlines::Numbers, {}, scale});
            const auto at = [&](int x, int y) { return f.pixel(x * scale, y * scale); };
            QCOMPARE(f.size(), QSize(106, 113) * scale); // the picture 20 from the edges
            // The left edge runs through the first column of the region, (10, y) at (31, 28 + y).
            QCOMPARE(at(31, 40), light);
            QCOMPARE(at(30, 40), qRgb(0, 0, 0));
            QCOMPARE(at(32, 40), qRgb(0, 0, 0));
            QCOMPARE(at(36, 40), inside);
        }
    }

    // SVG and PDF keep text, axis and outlines as such, and the picture's pixels square.
    void figureVectors()
    {
        // As tall as the window's colour bar, which a smaller picture's figure cuts short.
        FigureContent figure{
            framedPicture(grey(256)), FigureColourBar{colourTable(9), 1000, 0}, {}, 20, {}};
        for (int i = 1; i <= 3; ++i)
            figure.regions << Region{
                Region::Shape::Ellipse, QRectF(i * 10, 8, 9, 9), {}, {}, i, {}};
        const FigureOptions options{true, true, FigureOutlines::Numbers, "Cells", 1};
        QTemporaryDir dir;
        QVERIFY(writeFigure(figure, options, dir.filePath("f.svg")));
        QVERIFY(writeFigure(figure, options, dir.filePath("f.pdf")));
        QStringList labels{"Cells"};
        for (const AxisMark& m : axisMarks(1000, 0, 254, true))
            if (m.labelled)
                labels << m.label;

        QFile svg(dir.filePath("f.svg"));
        QVERIFY(svg.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&svg);
        QStringList texts;
        QList<QString> strokes{"none"}; // the stroke in force, by element depth
        int outlines = 0;
        QImage embedded;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::EndElement)
                strokes.removeLast();
            if (!xml.isStartElement())
                continue;
            const QXmlStreamAttributes a = xml.attributes();
            strokes << (a.hasAttribute("stroke") ? a.value("stroke").toString() : strokes.last());
            if (xml.name() == u"path" && strokes.last() == "#ffff00")
                ++outlines;
            if (xml.name() == u"image" && embedded.isNull()) // the picture, then the ramp
                embedded.loadFromData(QByteArray::fromBase64(
                    a.value("xlink:href").toString().section(QLatin1Char(','), 1).toLatin1()));
            if (xml.name() == u"text") {
                texts << xml.readElementText(); // reads past its end
                strokes.removeLast();
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(outlines, 3);
        for (const QString& label : labels)
            QVERIFY2(texts.contains(label), qPrintable(label + " in " + texts.join(',')));
        QVERIFY(embedded.width() >= 4 * figure.picture.width());
        COMPARE_PICTURES(embedded.convertToFormat(QImage::Format_RGB32),
                         figure.picture.scaled(embedded.size()));

        // An overlay lists its channels, with their ranges, in the colour bar's place.
        figure.legend = {{"12C", qRgb(255, 0, 0), 0, 100}, {"13C/12C", qRgb(0, 255, 0), 0, 0.02}};
        QVERIFY(writeFigure(figure, options, dir.filePath("legend.svg")));
        QFile legend(dir.filePath("legend.svg"));
        QVERIFY(legend.open(QIODevice::ReadOnly));
        const QString legendSvg = QString::fromUtf8(legend.readAll());
        for (const QString text : {"12C", "0 \u2013 100", "13C/12C", "0 \u2013 0.02"})
            QVERIFY2(legendSvg.contains(">" + text + "</text>"), qPrintable(text));
        QVERIFY(!legendSvg.contains(">+1000</text>"));

        QFile pdf(dir.filePath("f.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.read(4) == "%PDF");
        const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
        if (pdftotext.isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed: the PDF's text is not read back.");
        QProcess read;
        read.start(pdftotext, {dir.filePath("f.pdf"), "-"});
        QVERIFY(read.waitForFinished());
        const QStringList words = QString::fromUtf8(read.readAllStandardOutput())
                                      .split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
        for (const QString& label : labels)
            QVERIFY2(words.contains(label), qPrintable(label + " in " + words.join(',')));
    }

    // Each channel adds its colour times its value mapped into 0..1 by its range; the sum is
    // held to 255; a pixel without a value takes nothing from that source.
    void overlayColours()
    {
        const auto plane = [](std::vector<double> v) {
            Plane p;
            p.side = 2;
            p.samples = std::move(v);
            p.findExtremes();
            return p;
        };
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const Plane a = plane({0, 5, 10, 20}), b = plane({4, nan, 2, 8}), c = plane({1, 1, 1, 1});
        const QList<QRgb> mgc =
            isolumen::overlayColours(isolumen::OverlayColours::MagentaGreenCyan);
        const QImage picture =
            isolumen::overlayPicture({{&a, mgc[0], 0, 10}, {&b, mgc[1], 2, 6}, {&c, mgc[2], 0, 4}});
        // a: 0, 0.5, 1, 1 (held); b: 0.5, none, 0, 1; c: 0.25 everywhere.
        QCOMPARE(picture.pixel(0, 0), qRgb(0, 191, 64));   // G 127.5 + 63.75, B 63.75
        QCOMPARE(picture.pixel(1, 0), qRgb(128, 64, 191)); // R 127.5, G 63.75, B 127.5 + 63.75
        QCOMPARE(picture.pixel(0, 1), qRgb(255, 64, 255)); // B 255 + 63.75, held
        QCOMPARE(picture.pixel(1, 1), qRgb(255, 255, 255));
    }
};

QTEST_MAIN(TestRender)
#include "tst_render.moc"
