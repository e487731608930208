// The core's writers: PNG pictures that Qt and Pillow decode to exactly the pixels given, the
// suffix map, files written all or nothing, count TIFFs read back by libtiff and tifffile, CSV
// read back by Python's csv module.
#include "core/io/counttiff.h"
#include "core/io/csvwriter.h"
#include "core/io/picturewriter.h"

#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <optional>
#include <sys/stat.h>
#include <tiffio.h>
#include <vector>

using namespace isolumen;

namespace {

// What /usr/bin/python3 prints running script on input; none when Python or a module the script
// imports is missing (the script then ends with status 77).
std::optional<QByteArray> python(const char* script, const QStringList& args,
                                 const QByteArray& input = {})
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), QStringList{"-c", script} + args);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() == 77)
        return std::nullopt;
    return p.exitCode() == 0 ? p.readAllStandardOutput() : "failed: " + p.readAllStandardError();
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

// A tag of the current page of tiff, read by libtiff.
template <typename T> T field(TIFF* tiff, ttag_t tag)
{
    T value{};
    TIFFGetField(tiff, tag, &value);
    return value;
}

template <typename T> QByteArray bytesOf(std::initializer_list<T> values)
{
    return QByteArray(reinterpret_cast<const char*>(values.begin()), values.size() * sizeof(T));
}

} // namespace

class TestWriters : public QObject
{
    Q_OBJECT

private slots:
    void png_data();
    void png();
    void pictureFormat_data();
    void pictureFormat();
    void failedWrite_data();
    void failedWrite();
    void nameAndMode_data();
    void nameAndMode();
    void countTiff_data();
    void countTiff();
    void csv();
};

void TestWriters::png_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<int>("colourType"); // PNG's: 3 a palette, 2 RGB
    QImage one(1, 1, QImage::Format_RGB32), c256(17, 16, QImage::Format_RGB32),
        c257(257, 3, QImage::Format_RGB32), text(203, 61, QImage::Format_RGB32);
    one.fill(qRgb(1, 2, 3));
    for (int i = 0; i < 17 * 16; ++i)
        c256.setPixel(i % 17, i / 17, qRgb(i % 256, 255 - i % 256, 7 * i % 256));
    for (int i = 0; i < 257 * 3; ++i)
        c257.setPixel(i % 257, i / 257, qRgb(i % 257 % 256, i % 257 / 256, 9));
    text.fill(Qt::white);
    QPainter painter(&text);
    QLinearGradient redToBlue(0, 0, 203, 0);
    redToBlue.setStops({{0, Qt::red}, {1, Qt::blue}});
    painter.fillRect(0, 30, 203, 31, redToBlue);
    painter.drawText(text.rect(), Qt::AlignCenter, QStringLiteral("12C14N 0.5 µm"));
    painter.end();
    QTest::newRow("one pixel") << one << 3;
    QTest::newRow("256 colours") << c256 << 3;
    QTest::newRow("257 colours") << c257 << 2;
    QTest::newRow("anti-aliased text on a gradient") << text << 2;
    QTest::newRow("RGB888 input") << text.convertToFormat(QImage::Format_RGB888) << 2;
}

// Read back by Qt and by Pillow: the same pixels, whichever way they were stored.
void TestWriters::png()
{
    QFETCH(QImage, picture);
    QFETCH(int, colourType);
    QTemporaryDir dir;
    const QString path = dir.filePath("pic.png");
    const Result<> written = writePicture(picture, path);
    QVERIFY2(written, qPrintable(written ? QString() : written.error().message));
    const QImage want = picture.convertToFormat(QImage::Format_RGB32);
    QCOMPARE(QImageReader(path).read().convertToFormat(QImage::Format_RGB32), want);
    QCOMPARE(int(contents(path).at(25)), colourType);

    const QImage rgb888 = want.convertToFormat(QImage::Format_RGB888);
    QByteArray rgb;
    for (int y = 0; y < want.height(); ++y)
        rgb.append(reinterpret_cast<const char*>(rgb888.constScanLine(y)), want.width() * 3);
    const std::optional<QByteArray> pillow =
        python("import sys\ntry: from PIL import Image\nexcept ImportError: sys.exit(77)\n"
               "print(Image.open(sys.argv[1]).convert('RGB').tobytes() == sys.stdin.buffer.read())",
               {path}, rgb);
    if (!pillow)
        QSKIP("/usr/bin/python3 with PIL (python3-pil) is not installed.");
    QCOMPARE(pillow->trimmed(), QByteArray("True"));
}

void TestWriters::pictureFormat_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("format"); // empty: none
    QTest::newRow("png") << "a/pic.png" << QByteArray("png");
    QTest::newRow("PNG") << "PIC.PNG" << QByteArray("png");
    QTest::newRow("tif") << "pic.tif" << QByteArray("tiff");
    QTest::newRow("tiff") << "pic.Tiff" << QByteArray("tiff");
    QTest::newRow("bmp") << "pic.bmp" << QByteArray("bmp");
    QTest::newRow("jpg") << "pic.jpg" << QByteArray("jpeg");
    QTest::newRow("jpeg") << "pic.JPEG" << QByteArray("jpeg");
    QTest::newRow("gif: only read") << "pic.gif" << QByteArray();
    QTest::newRow("no suffix, dotted folder") << "pics.png/pic" << QByteArray();
}

void TestWriters::pictureFormat()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, format);
    const std::optional<PictureFormat> got = pictureFormatFor(path);
    QCOMPARE(got ? pictureFormatName(*got) : QByteArray(), format);
}

void TestWriters::failedWrite_data()
{
    QTest::addColumn<QString>("writer"); // a picture, or counts committed or abandoned
    QTest::addColumn<QString>("name");   // in a folder holding the old file and "folder.png"
    QTest::addColumn<QString>("old");
    QTest::addColumn<bool>("readOnly");
    const auto row = [](const char* name, const char* writer, const QString& file,
                        const QString& old, bool readOnly = false) {
        QTest::newRow(name) << writer << file << old << readOnly;
    };
    row("picture, folder not writable", "picture", "old.png", "old.png", true);
    row("picture, folder that does not exist", "picture", "nowhere/pic.png", "old.png");
    row("picture, a folder of that name", "picture", "folder.png", "old.png");
    row("counts abandoned after a page", "abandoned", "old.png", "old.png");
    row("counts, folder that does not exist", "counts", "nowhere/counts.tif", "old.png");
    row("counts, a folder of that name", "counts", "folder.png", "old.png");
}

// A write that fails or is abandoned leaves the folder as it was: no new file, no temporary
// file, the old file untouched.
void TestWriters::failedWrite()
{
    QFETCH(QString, writer);
    QFETCH(QString, name);
    QFETCH(QString, old);
    QFETCH(bool, readOnly);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("folder.png"));
    QFile file(dir.filePath(old));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("old") == 3);
    file.close();
    const QStringList before = entries(dir.path());
    if (readOnly) {
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        if (QFileInfo(dir.path()).isWritable())
            QSKIP("Folder permissions do not stop this user (root) from writing.");
    }
    QString error = "none";
    if (writer == "picture") {
        QImage picture(5, 5, QImage::Format_RGB32);
        picture.fill(Qt::red);
        const Result<> written = writePicture(picture, dir.filePath(name));
        QVERIFY(!written);
        error = written.error().message;
    } else {
        CountTiffWriter counts(dir.filePath(name), CountStack{64, 50.0 / 64, 1, 1, {"page"}},
                               CountType::UInt16);
        const std::vector<quint16> page(64 * 64, 1);
        counts.addPage(CountType::UInt16, page.data());
        if (writer == "counts")
            error = counts.commit() ? QString() : counts.error();
    }
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(!error.isEmpty());
    QCOMPARE(entries(dir.path()), before);
    QCOMPARE(entries(dir.filePath("folder.png")), QStringList());
    QCOMPARE(contents(file.fileName()), QByteArray("old"));
}

void TestWriters::nameAndMode_data()
{
    QTest::addColumn<QString>("writer");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("oldMode"); // 0: no older file
    QTest::addColumn<int>("umask");
    QTest::addColumn<int>("mode");
    // 255 bytes, the most a name may have: no room for a suffix after it.
    const QString longName = QString(251, 'o');
    QTest::newRow("picture, a name of 255 bytes")
        << "picture" << longName + ".png" << 0 << 022 << 0644;
    QTest::newRow("counts, a name of 255 bytes")
        << "counts" << longName + ".tif" << 0 << 022 << 0644;
    QTest::newRow("counts replacing a 0600 file") << "counts"
                                                  << "c.tif" << 0600 << 022 << 0600;
    QTest::newRow("picture replacing a 0640 file") << "picture"
                                                   << "p.png" << 0640 << 0 << 0640;
    QTest::newRow("counts, new, umask 077") << "counts"
                                            << "c.tif" << 0 << 077 << 0600;
    QTest::newRow("picture, new, umask 002") << "picture"
                                             << "p.png" << 0 << 002 << 0664;
}

// Any name the folder takes is written; a replaced file keeps its mode, a new one follows the
// umask; no temporary file is left.
void TestWriters::nameAndMode()
{
    QFETCH(QString, writer);
    QFETCH(QString, name);
    QFETCH(int, oldMode);
    QFETCH(int, umask);
    QFETCH(int, mode);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (oldMode != 0) {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(oldMode)) == 0);
    }
    const mode_t was = ::umask(mode_t(umask));
    QString error;
    bool written = false;
    if (writer == "picture") {
        QImage picture(5, 5, QImage::Format_RGB32);
        picture.fill(Qt::red);
        const Result<> picked = writePicture(picture, path);
        written = picked.has_value();
        error = picked ? QString() : picked.error().message;
    } else {
        CountTiffWriter counts(path, CountStack{64, 50.0 / 64, 1, 1, {"page"}}, CountType::UInt16);
        const std::vector<quint16> page(64 * 64, 1);
        written = counts.addPage(CountType::UInt16, page.data()) && counts.commit();
        error = counts.error();
    }
    ::umask(was);
    QVERIFY2(written, qPrintable(error));
    QCOMPARE(entries(dir.path()), QStringList{name});
    struct stat info = {};
    QVERIFY(::stat(QFile::encodeName(path).constData(), &info) == 0);
    QCOMPARE(int(info.st_mode & 0777), mode);
    QVERIFY(contents(path) != "old");
}

void TestWriters::countTiff_data()
{
    QTest::addColumn<CountType>("type");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("sampleFormat");   // TIFF's: 1 unsigned, 3 floating point
    QTest::addColumn<QByteArray>("samples"); // of the first 2 x 2 page
    QTest::addColumn<int>("species");
    QTest::addColumn<int>("layers");
    QTest::newRow("16 bit, one page")
        << CountType::UInt16 << 16 << 1 << bytesOf<quint16>({65535, 0, 7, 1}) << 1 << 1;
    QTest::newRow("32 bit, 3 species x 4 layers")
        << CountType::UInt32 << 32 << 1 << bytesOf<quint32>({4294967295u, 0, 65536, 1}) << 3 << 4;
    QTest::newRow("float, NaN, 1 species x 3 layers")
        << CountType::Float32 << 32 << 3 << bytesOf<float>({NAN, -0.25f, 1e30f, 3}) << 1 << 3;
    QTest::newRow("double, NaN, one page")
        << CountType::Float64 << 64 << 3 << bytesOf<double>({1.0 / 3, NAN, -1e300, 0}) << 1 << 1;
    QTest::newRow("16 bit, 2 species")
        << CountType::UInt16 << 16 << 1 << bytesOf<quint16>({1, 2, 3, 4}) << 2 << 1;
}

// Pages (the first page's samples rotated by one sample per page) of a 2,549 nm field over 256
// pixels, read back by libtiff in order with their texts and bytes. One page is calibrated in
// pixels per centimetre; a stack is an ImageJ hyperstack in pixels per micrometre, which tifffile
// reads as layers x species x 2 x 2 with the exact pixel size, each page's text its PageName,
// and whose samples follow one another from the first page's on, as ImageJ reads them.
void TestWriters::countTiff()
{
    QFETCH(CountType, type);
    QFETCH(int, bits);
    QFETCH(int, sampleFormat);
    QFETCH(QByteArray, samples);
    QFETCH(int, species);
    QFETCH(int, layers);
    const double micronsPerPixel = 2.549 / 256;
    const int count = species * layers;
    const bool stack = count > 1;
    QTemporaryDir dir;
    const QString path = dir.filePath("counts.tif");
    QStringList names;
    for (int p = 0; p < count; ++p)
        names << QStringLiteral("13C page %1").arg(p);
    const CountStack layout{2, micronsPerPixel, species, layers, names};
    std::vector<QByteArray> pages;
    CountTiffWriter writer(path, layout, type);
    for (int p = 0; p < count; ++p) {
        const int rotate = p % 4 * bits / 8;
        pages.push_back(samples.mid(rotate) + samples.left(rotate));
        QVERIFY2(writer.addPage(type, pages[p].constData()), qPrintable(writer.error()));
    }
    QVERIFY2(writer.commit(), qPrintable(writer.error()));

    const QByteArray imageJ = "ImageJ=1.11a\nimages=" + QByteArray::number(count) +
                              "\nchannels=" + QByteArray::number(species) +
                              "\nslices=" + QByteArray::number(layers) +
                              "\nhyperstack=true\nmode=grayscale\nunit=micron\n";
    const double resolution = (stack ? 1 : 1e4) / micronsPerPixel;
    TIFF* tiff = TIFFOpen(path.toLocal8Bit().constData(), "r");
    QVERIFY(tiff);
    QCOMPARE(int(TIFFNumberOfDirectories(tiff)), count);
    for (int p = 0; p < count; ++p) {
        QVERIFY(TIFFSetDirectory(tiff, tdir_t(p)));
        QCOMPARE(QList<double>({double(field<uint32_t>(tiff, TIFFTAG_IMAGEWIDTH)),
                                double(field<uint32_t>(tiff, TIFFTAG_IMAGELENGTH)),
                                double(field<uint16_t>(tiff, TIFFTAG_BITSPERSAMPLE)),
                                double(field<uint16_t>(tiff, TIFFTAG_SAMPLEFORMAT)),
                                double(field<uint16_t>(tiff, TIFFTAG_RESOLUTIONUNIT))}),
                 QList<double>({2, 2, double(bits), double(sampleFormat),
                                double(stack ? RESUNIT_NONE : RESUNIT_CENTIMETER)}));
        for (const ttag_t axis : {TIFFTAG_XRESOLUTION, TIFFTAG_YRESOLUTION})
            QVERIFY(std::abs(field<float>(tiff, axis) / resolution - 1) < 1e-6);
        const QString text = QStringLiteral("13C page %1").arg(p);
        QCOMPARE(QString::fromUtf8(field<const char*>(tiff, TIFFTAG_IMAGEDESCRIPTION)),
                 !stack   ? text
                 : p == 0 ? QString::fromUtf8(imageJ)
                          : QString());
        QCOMPARE(QString::fromUtf8(field<const char*>(tiff, TIFFTAG_PAGENAME)),
                 stack ? text : QString());
        QByteArray got(samples.size(), 0);
        for (int row = 0; row < 2; ++row)
            QCOMPARE(TIFFReadScanline(tiff, got.data() + row * got.size() / 2, uint32_t(row)), 1);
        QCOMPARE(got, pages[p]);
    }
    TIFFClose(tiff);

    // The pixel size as ImageJ reads it: 1 / XResolution in the description's unit.
    const std::optional<QByteArray> seen =
        python("import sys\ntry: import tifffile\nexcept ImportError: sys.exit(77)\n"
               "t = tifffile.TiffFile(sys.argv[1]); s = t.series[0].asarray()\n"
               "n, d = t.pages[0].tags['XResolution'].value\n"
               "size = d / n * (1 if t.is_imagej else 1e4)\n"
               "unit = t.imagej_metadata['unit'] if t.is_imagej else 'cm'\n"
               "at = t.pages[0].dataoffsets[0]; whole = open(sys.argv[1], 'rb').read()\n"
               "same = s.tobytes() == whole[at:at + s.nbytes] == b''.join(\n"
               "    p.asarray().tobytes() for p in t.pages)\n"
               "print(t.is_imagej, s.shape, unit, abs(size / float(sys.argv[2]) - 1) < 1e-6, same)",
               {path, QString::number(micronsPerPixel, 'g', 17)});
    if (!seen)
        QSKIP("/usr/bin/python3 with tifffile (python3-tifffile) is not installed.");
    const QByteArray shape = !stack         ? "(2, 2)"
                             : layers == 1  ? "(" + QByteArray::number(species) + ", 2, 2)"
                             : species == 1 ? "(" + QByteArray::number(layers) + ", 2, 2)"
                                            : "(" + QByteArray::number(layers) + ", " +
                                                  QByteArray::number(species) + ", 2, 2)";
    QCOMPARE(seen->trimmed(), QByteArray(stack ? "True " : "False ") + shape +
                                  (stack ? " micron" : " cm") + " True True");
}

// Rows read back by Python's csv module: text exactly, numbers to the same double, also in a
// locale with a decimal comma.
void TestWriters::csv()
{
    const QLocale locale;
    QLocale::setDefault(QLocale(QLocale::German));
    const QStringList texts{"plain", "comma, \"quoted\"\nand a new line", "µm"};
    const std::vector<double> numbers{0.1, 3, 1.0 / 3, -2.2250738585072014e-308, 1e300};
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    CsvWriter csv(out);
    for (const QString& t : texts)
        csv.text(t);
    QVERIFY(csv.empty().endRow());
    for (const double n : numbers)
        csv.number(n);
    QVERIFY(csv.endRow());
    QLocale::setDefault(locale);
    const std::optional<QByteArray> got =
        python("import sys, io, csv, json\nrows = csv.reader(io.TextIOWrapper(sys.stdin.buffer, "
               "encoding='utf-8', newline=''))\nprint(json.dumps(list(rows)))",
               {}, out.data());
    if (!got)
        QSKIP("/usr/bin/python3 is not installed.");
    const QJsonArray rows = QJsonDocument::fromJson(*got).array();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].toVariant().toStringList(), texts + QStringList{""});
    const QJsonArray cells = rows[1].toArray();
    QCOMPARE(cells.size(), qsizetype(numbers.size()));
    for (std::size_t i = 0; i < numbers.size(); ++i) // exactly, not QCOMPARE's fuzzy way
        QVERIFY2(cells[qsizetype(i)].toString().toDouble() == numbers[i],
                 qPrintable(cells[qsizetype(i)].toString()));
    QCOMPARE(cells[0].toString() + ' ' + cells[1].toString(), QStringLiteral("0.1 3"));
}

QTEST_MAIN(TestWriters)
#include "tst_writers.moc"
