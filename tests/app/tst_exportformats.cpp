// Saved pictures: "Save Image As..." (the window's command, with the file name and writing of the
// default export; its dialog is left out) writes PNG, TIFF and BMP files that read back with
// exactly the pixels of the window's canvas, JPEG at its size; a failed save writes nothing; and
// `isolumen --export` writes the same formats (PNG and its failures: tst_export).
#include "app/dialogs.h"
#include "core/io/picturewriter.h"
#include "display/canvas.h"
#include "display/imagewindow.h"
#include "mainwindow/mainwindow.h"
#include "windowtesting.h"

#include <QDir>
#include <QImageReader>
#include <QImageWriter>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
}

} // namespace

class TestExportFormats : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void saveImageAs_data();
    void saveImageAs();
    void exportCommand_data();
    void exportCommand();

private:
    // The picture file at path is in format and holds the canvas's picture (JPEG: its size).
    void checkPicture(const QString& path, const QByteArray& format);

    QTemporaryDir m_dir;
    QString m_file;
    QPointer<Main> m_main;
    QPointer<ImageWindow> m_window;
    QImage m_want;
};

void TestExportFormats::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(QImageWriter::supportedImageFormats().contains("tiff"),
             "TIFF pictures need Qt's image format plugins (Debian package "
             "qt6-image-formats-plugins); scripts/setup.sh installs them.");
    const ImBuilder b = WindowTesting::patternFile(2, 1, 128);
    m_file = m_dir.filePath("formats.im");
    QVERIFY(b.write(m_file));
    m_want = WindowTesting::expectedPicture(b, 1, 1, 0, 253);

    m_main = Main::instance();
    m_main->OpenImage(m_file);
    m_main->ButtonSpecies(0)->click();
    QTRY_COMPARE(Main::imageWindows().size(), 1);
    m_window = Main::imageWindows().first();
    QCOMPARE(WindowTesting::pictureDifference(m_window->ImageCanvas()->backdrop(), m_want),
             QString());
}

void TestExportFormats::cleanupTestCase()
{
    if (m_main)
        m_main->close();
    QTRY_VERIFY(m_window.isNull());
}

void TestExportFormats::checkPicture(const QString& path, const QByteArray& format)
{
    QCOMPARE(QImageReader::imageFormat(path), format);
    const QImage got(path);
    QCOMPARE(got.size(), m_want.size());
    if (format != "jpeg")
        QCOMPARE(WindowTesting::pictureDifference(got, m_want), QString());
}

void TestExportFormats::saveImageAs_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("typed");   // in a folder holding only a folder "folder.png"
    QTest::addColumn<QString>("written"); // empty: the save fails
    QTest::addColumn<QByteArray>("format");
    const auto row = [](const char* name, const char* filter, const char* typed,
                        const char* written, const char* format = "") {
        QTest::newRow(name) << filter << typed << written << QByteArray(format);
    };
    row("pic.png stays pic.png", "PNG image (*.png)", "pic.png", "pic.png", "png");
    row("no suffix: the filter's first", "TIFF image (*.tif *.tiff)", "pic", "pic.tif", "tiff");
    row("a typed suffix, any case, over the filter", "PNG image (*.png)", "PIC.BMP", "PIC.BMP",
        "bmp");
    row("a suffix Qt only reads: the filter's added", "BMP image (*.bmp)", "pic.gif", "pic.gif.bmp",
        "bmp");
    row("jpeg: size only", "JPEG image (*.jpg *.jpeg)", "pic", "pic.jpg", "jpeg");
    row("folder that does not exist", "PNG image (*.png)", "nowhere/pic.png", "");
    row("a folder named like a picture", "PNG image (*.png)", "folder.png", "");
}

// The window hands its canvas's picture to the export, which names and writes the file as the
// default export does once its dialog has answered; a failed save leaves nothing behind.
void TestExportFormats::saveImageAs()
{
    QFETCH(QString, filter);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QFETCH(QByteArray, format);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("folder.png"));
    int saved = -1; // the export not called
    Dialogs::setExportPicture([&](QWidget*, const QImage& picture) {
        saved = writePicture(picture, Dialogs::pictureFileName(dir.filePath(typed), filter));
    });
    m_window->_FileSaveImage_Action();
    Dialogs::setExportPicture({});
    QCOMPARE(saved, int(!written.isEmpty()));
    QCOMPARE(entries(dir.path()).join(' '), ("folder.png " + written).trimmed());
    QCOMPARE(entries(dir.filePath("folder.png")), QStringList());
    if (saved == 1)
        checkPicture(dir.filePath(written), format);
}

void TestExportFormats::exportCommand_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("tif") << "tif" << QByteArray("tiff");
    QTest::newRow("bmp") << "bmp" << QByteArray("bmp");
    QTest::newRow("jpg") << "jpg" << QByteArray("jpeg");
}

// `isolumen --export OUT FILE.im`: the same picture as the window's canvas.
void TestExportFormats::exportCommand()
{
    QFETCH(QString, suffix);
    QFETCH(QByteArray, format);
    QTemporaryDir dir;
    const QString out = dir.filePath("out." + suffix);
    QProcess p;
    p.start(ISOLUMEN_EXECUTABLE, {"--export", out, m_file});
    QVERIFY(p.waitForFinished(60000));
    QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0,
             p.readAllStandardError().constData());
    checkPicture(out, format);
}

QTEST_MAIN(TestExportFormats)
#include "tst_exportformats.moc"
