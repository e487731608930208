// Saved pictures: a PNG, TIFF or BMP file reads back with exactly the pixels of the image
// window's canvas, a JPEG at least at its size; written by "Save Image As..." (the window's
// command, the default export with its save dialog driven here) and by `isolumen --export`.
#include "app/dialogs.h"
#include "app/msgbox.h"
#include "colour/catalogue.h"
#include "display/canvas.h"
#include "display/imagewindow.h"
#include "imbuilder.h"
#include "mainwindow/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QImageReader>
#include <QImageWriter>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace {

constexpr int kSide = 128;

quint32 sampleValue(int species, int plane, int row, int k)
{
    return quint32(40 * plane + species + (row * 13 + k * 7) % 500);
}

// The picture a new image window shows of species 1, plane 1, computed from the samples: black
// frame, first sample of a file row at the right, table "10 Rainbow" over the plane's extremes.
QImage expectedPicture()
{
    std::vector<double> v(std::size_t(kSide) * kSide);
    for (int r = 0; r < kSide; ++r) {
        for (int k = 0; k < kSide; ++k)
            v[std::size_t(r) * kSide + (kSide - 1 - k)] = sampleValue(1, 1, r, k);
    }
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    // The scale first, then the product, as the mapping is defined: for the plane's maximum
    // this may land just below 254 and give entry 253.
    const double scale = 253.0 / (*hi - *lo);
    QImage want(kSide + 2, kSide + 2, QImage::Format_RGB32);
    want.fill(qRgb(0, 0, 0));
    for (int r = 0; r < kSide; ++r) {
        for (int c = 0; c < kSide; ++c) {
            const double k = (v[std::size_t(r) * kSide + c] - *lo) * scale + 1;
            const int entry = int(std::clamp(k, 0.0, 255.0));
            const QRgb colour = entry == 0     ? 0x999999
                                : entry == 255 ? 0xFFFFFF
                                               : Globals::lut(9, entry);
            want.setPixel(c + 1, r + 1, 0xFF000000 | colour);
        }
    }
    return want;
}

QImage readBack(const QString& path)
{
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

// Answers the next modal save dialog as a user would: opens the folder, chooses the filter,
// types the name and accepts. Gives up (closes whatever modal window is up) after a while, so
// no test can hang on a dialog.
void answerSaveDialog(const QString& folder, const QString& filter, const QString& typed)
{
    auto* poll = new QTimer(qApp);
    auto* waited = new QElapsedTimer;
    waited->start();
    QObject::connect(poll, &QTimer::timeout, poll, [poll, waited, folder, filter, typed] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog && waited->elapsed() < 10000)
            return;
        poll->stop();
        poll->deleteLater();
        delete waited;
        auto* name =
            dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
        if (!name) {
            if (modal)
                modal->close();
            return;
        }
        dialog->setDirectory(folder);
        dialog->selectNameFilter(filter);
        name->setText(typed);
        static_cast<QDialog*>(dialog)->accept(); // the file dialog's own checks run
    });
    poll->start(10);
}

const QString kPng = QStringLiteral("PNG image (*.png)");
const QString kTiff = QStringLiteral("TIFF image (*.tif *.tiff)");
const QString kJpeg = QStringLiteral("JPEG image (*.jpg *.jpeg)");
const QString kBmp = QStringLiteral("BMP image (*.bmp)");

} // namespace

class TestExportFormats : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void saveImageAs_data();
    void saveImageAs();
    void saveDialog_data();
    void saveDialog();
    void nothingWrittenOnFailure_data();
    void nothingWrittenOnFailure();
    void exportCommand_data();
    void exportCommand();

private:
    QTemporaryDir m_dir;
    QString m_file;
    QPointer<Main> m_main;
    QPointer<ImageWindow> m_window;
    QImage m_want;
    QStringList m_messages;
};

void TestExportFormats::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(QImageWriter::supportedImageFormats().contains("tiff"),
             "TIFF pictures need Qt's image format plugins (Debian package "
             "qt6-image-formats-plugins); scripts/setup.sh installs them.");
    setMessageHandler([this](const QString& text) { m_messages << text; });

    ImBuilder b;
    b.width = b.height = kSide;
    b.nSpecies = 2;
    b.labels = {"16O", "12C"};
    b.nPlanes = 2;
    b.sample = sampleValue;
    m_file = m_dir.filePath(QStringLiteral("formats.im"));
    QVERIFY(b.write(m_file));
    m_want = expectedPicture();

    m_main = Main::instance();
    m_main->OpenImage(m_file);
    m_main->ButtonSpecies(0)->click();
    QTRY_COMPARE(Main::imageWindows().size(), 1);
    m_window = Main::imageWindows().first();
    QCOMPARE(m_window->ImageCanvas()->backdrop().convertToFormat(QImage::Format_RGB32), m_want);
}

void TestExportFormats::cleanupTestCase()
{
    if (m_main)
        m_main->close();
    QTRY_VERIFY(m_window.isNull());
    setMessageHandler({});
}

void TestExportFormats::saveImageAs_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<bool>("lossless");
    QTest::newRow("png") << "pic.png" << QByteArray("png") << true;
    QTest::newRow("suffix in capitals") << "PIC.PNG" << QByteArray("png") << true;
    QTest::newRow("tif") << "pic.tif" << QByteArray("tiff") << true;
    QTest::newRow("tiff") << "pic.tiff" << QByteArray("tiff") << true;
    QTest::newRow("bmp") << "pic.bmp" << QByteArray("bmp") << true;
    QTest::newRow("jpg: size only") << "pic.jpg" << QByteArray("jpeg") << false;
    QTest::newRow("jpeg: size only") << "pic.jpeg" << QByteArray("jpeg") << false;
}

// The window's command hands its canvas's picture to the export, which writes it.
void TestExportFormats::saveImageAs()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    QFETCH(bool, lossless);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QString error = QStringLiteral("not called");
    const Dialogs::ExportPictureSeam previous =
        Dialogs::setExportPicture([&](QWidget*, const QImage& picture) {
            error.clear();
            QVERIFY(Dialogs::writePicture(picture, path, &error));
        });
    m_window->_FileSaveImage_Action();
    Dialogs::setExportPicture(previous);
    QCOMPARE(error, QString());

    QCOMPARE(entries(dir.path()), QStringList{name});
    QCOMPARE(QImageReader::imageFormat(path), format);
    const QImage got = readBack(path);
    QCOMPARE(got.size(), m_want.size());
    if (lossless)
        QCOMPARE(got, m_want);
}

void TestExportFormats::saveDialog_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("a name with its suffix is kept") << kPng << "pic.png"
                                                    << "pic.png" << QByteArray("png");
    QTest::newRow("no suffix: the filter's first") << kTiff << "pic"
                                                   << "pic.tif" << QByteArray("tiff");
    QTest::newRow("typed suffix over the filter") << kPng << "pic.bmp"
                                                  << "pic.bmp" << QByteArray("bmp");
    QTest::newRow("jpeg filter") << kJpeg << "pic"
                                 << "pic.jpg" << QByteArray("jpeg");
    QTest::newRow("not a picture suffix: the filter's added") << kBmp << "pic.v2"
                                                              << "pic.v2.bmp" << QByteArray("bmp");
}

// The default export: the save dialog, then the file in the format the name or filter says.
void TestExportFormats::saveDialog()
{
    QFETCH(QString, filter);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QFETCH(QByteArray, format);
    QTemporaryDir dir;
    m_messages.clear();
    answerSaveDialog(dir.path(), filter, typed);
    m_window->_FileSaveImage_Action();
    QCOMPARE(m_messages, QStringList());
    QCOMPARE(entries(dir.path()), QStringList{written});
    const QString path = dir.filePath(written);
    QCOMPARE(QImageReader::imageFormat(path), format);
    const QImage got = readBack(path);
    QCOMPARE(got.size(), m_want.size());
    if (format != "jpeg")
        QCOMPARE(got, m_want);
}

void TestExportFormats::nothingWrittenOnFailure_data()
{
    QTest::addColumn<QString>("name"); // in a fresh folder holding "existing.png" and "folder"
    QTest::addColumn<bool>("picture");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder that does not exist") << "nowhere/pic.png" << true << "";
    QTest::newRow("target is a folder") << "folder" << true << "names no picture format";
    QTest::newRow("folder named like a picture") << "folder.png" << true << "";
    QTest::newRow("format Qt only reads") << "pic.gif" << true << "names no picture format";
    QTest::newRow("no suffix") << "pic" << true << "names no picture format";
    QTest::newRow("no picture, existing file kept") << "existing.png" << false << "no picture";
}

void TestExportFormats::nothingWrittenOnFailure()
{
    QFETCH(QString, name);
    QFETCH(bool, picture);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.png")));
    QVERIFY(Dialogs::writePicture(m_want, dir.filePath(QStringLiteral("existing.png"))));
    const QByteArray existing = [&] {
        QFile f(dir.filePath(QStringLiteral("existing.png")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    const QStringList before = entries(dir.path());

    QString error;
    QVERIFY(!Dialogs::writePicture(picture ? m_want : QImage(), dir.filePath(name), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY2(error.contains(reason), qPrintable(error));
    QCOMPARE(entries(dir.path()), before);
    QCOMPARE(entries(dir.filePath(QStringLiteral("folder.png"))), QStringList());
    QFile f(dir.filePath(QStringLiteral("existing.png")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), existing);
}

void TestExportFormats::exportCommand_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("png") << "png" << QByteArray("png");
    QTest::newRow("tif") << "tif" << QByteArray("tiff");
    QTest::newRow("tiff") << "tiff" << QByteArray("tiff");
    QTest::newRow("bmp") << "bmp" << QByteArray("bmp");
    QTest::newRow("jpg") << "jpg" << QByteArray("jpeg");
    QTest::newRow("jpeg") << "jpeg" << QByteArray("jpeg");
}

// `isolumen --export OUT FILE.im`: the same picture as the window's canvas.
void TestExportFormats::exportCommand()
{
    QFETCH(QString, suffix);
    QFETCH(QByteArray, format);
    QTemporaryDir dir;
    const QString out = dir.filePath("out." + suffix);
    QProcess p;
    p.start(QStringLiteral(ISOLUMEN_EXECUTABLE), {QStringLiteral("--export"), out, m_file});
    QVERIFY(p.waitForFinished(60000));
    QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0,
             p.readAllStandardError().constData());
    QCOMPARE(QImageReader::imageFormat(out), format);
    const QImage got = readBack(out);
    QCOMPARE(got.size(), m_want.size());
    if (format != "jpeg")
        QCOMPARE(got, m_want);
}

QTEST_MAIN(TestExportFormats)
#include "tst_exportformats.moc"
