// The core's writers: PNG pictures that Qt and Pillow decode to exactly the pixels given, the
// suffix map, files written all or nothing.
#include "core/io/picturewriter.h"

#include <QDir>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <optional>
#include <vector>

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
    QString error;
    QVERIFY2(writePicture(picture, path, &error), qPrintable(error));
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
    QTest::addColumn<QString>("name"); // in a folder holding the old file and "folder.png"
    QTest::addColumn<QString>("old");
    QTest::addColumn<bool>("readOnly");
    const QString longName = QString(251, 'o') + ".png"; // no room for a temporary's suffix
    const auto row = [](const char* name, const QString& file, const QString& old,
                        bool readOnly = false) { QTest::newRow(name) << file << old << readOnly; };
    row("folder not writable", "old.png", "old.png", true);
    row("name too long for a temporary file", longName, longName);
    row("folder that does not exist", "nowhere/pic.png", "old.png");
    row("a folder of that name", "folder.png", "old.png");
}

// A write that fails leaves the folder as it was: no new file, no temporary file, the old file
// untouched.
void TestWriters::failedWrite()
{
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
    QImage picture(5, 5, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QString error;
    const bool written = writePicture(picture, dir.filePath(name), &error);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(!written);
    QVERIFY(!error.isEmpty());
    QCOMPARE(entries(dir.path()), before);
    QCOMPARE(entries(dir.filePath("folder.png")), QStringList());
    QCOMPARE(contents(file.fileName()), QByteArray("old"));
}

QTEST_MAIN(TestWriters)
#include "tst_writers.moc"
