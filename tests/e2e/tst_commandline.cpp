// The executable's headless modes as scripts use them: --info prints the summary, --export writes
// the picture an image window shows or, with status 2, nothing at all; without a display the
// viewer prints the summary instead.
#include "core/model/acquisition.h"
#include "core/render/displaypictures.h"
#include "core/render/displaysettings.h"
#include "imbuilder.h"
#include "runisolumen.h"
#include "testpictures.h"
#include "zerobomb.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>
#include <csignal>
#include <sys/stat.h>

using namespace isolumen;

namespace {

// Every entry of the folder with a digest of its bytes.
QStringList contents(const QString& folder)
{
    QStringList list;
    for (const QFileInfo& f : QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        QFile file(f.filePath());
        const bool read = f.isFile() && file.open(QIODevice::ReadOnly);
        list << f.fileName() + ' ' +
                    QCryptographicHash::hash(read ? file.readAll() : "", QCryptographicHash::Md5)
                        .toHex();
    }
    return list;
}

// What an image window set up as s shows of a layer of a file, drawn by the core.
QImage corePicture(const QString& path, int species, int layer, DisplaySettings s,
                   const QString& minText = {}, const QString& maxText = {}, bool figure = false)
{
    Acquisition a;
    if (a.open(path) != ImFile::Status::Accepted)
        return {};
    a.setLayer(layer);
    const PlaneResult r = *a.plane(a.request({species - 1, {}}));
    settleDisplayRange(s, *r.shown, minText, maxText);
    const std::optional<DisplayPictures> p = displayPictures(*r.shown, s, a.header().micronSize);
    return figure ? figurePicture(*p, r.shown->side) : p->image;
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        ImBuilder b; // 64 x 64, two species, three layers
        b.width = b.height = 64;
        b.nSpecies = 2;
        b.nPlanes = 3;
        b.labels = {"12C", "13C"};
        b.sample = [](int s, int p, int r, int k) {
            return quint32(s * 700 + p * 50 + (r * 37 + k * 11) % 600);
        };
        const auto variant = [&](const char* name, const std::function<void(ImBuilder&)>& change) {
            ImBuilder v = b;
            change(v);
            QVERIFY(v.write(path(name)));
        };
        variant("small.im", [](ImBuilder&) {});
        variant("small.png", [](ImBuilder&) {}); // a raw image file under a picture's name
        variant("refused.im", [](ImBuilder& v) { v.marker = "NOT AN IMAGE"; });
        variant("odd.im", [](ImBuilder& v) { v.width = v.height = 100; });
        variant("headeronly.im", [](ImBuilder& v) { v.nPlanes = 0, v.headerSize = 12000; });
        // Counts 0 to 39 and one hot pixel of 604.
        variant("hot.im", [](ImBuilder& v) {
            v.sample = [](int, int, int r, int k) {
                return r == 0 && k == 0 ? 604u : quint32((r * 64 + k) % 40);
            };
        });
        // Samples 0 to 3, for a range between whole numbers.
        variant("quarter.im", [](ImBuilder& v) {
            v.sample = [](int, int, int r, int k) { return quint32((r + k) % 4); };
        });
        // 256 x 256, a byte short: the last of its five layers is incomplete.
        ImBuilder cut;
        cut.nSpecies = 2;
        cut.labels = {"16O", ""};
        cut.nPlanes = 5;
        cut.positionX = 1250;
        cut.positionY = -3370;
        cut.duration = 1500;
        cut.nmSize = 20049; // rounds to 20.0 micrometres
        cut.userName = "ana";
        cut.origName = "cells_01";
        cut.imageType = 1;
        QVERIFY(cut.write(path("cut.im"), -1));
        QVERIFY(QDir(m_dir.path()).mkdir("folder.png"));
        QCOMPARE(runIsolumen(m_dir.path(), {"--export", "kept.png", "small.im"}).status, 0);
        QCOMPARE(::mkfifo(QFile::encodeName(path("pipe.im")).constData(), 0600), 0);
    }

    void info_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("unset");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("out");
        QTest::addColumn<QString>("err"); // what standard error begins with
        const QStringList summary =
            QString("File: cut.im\nFrame: 256 x 256\nField: 20.0 \u00b5m\nOriginal Name: cells_01\n"
                    "Date, Time: 05-Mar-2007, 14:30\nFile Size: 1,312,767 bytes\n"
                    "Header Size: 2,048 bytes\nX Position: +1,250\nY Position: -3,370\n"
                    "Duration (total): 25.0 min\nDuration/Layer: 5.0 min\nDuration/Pixel: 4.6 ms\n"
                    "User Name: ana\nImage Type: 1\nPixel Width: 256\nPixel Height: 256\n"
                    "Pixel Depth: 2\nImage Size: 20,049 nm\nNumber of Planes: 5\n"
                    "Complete Planes: 4\nNumber of Species: 2\nSpecies 1: 16O\nSpecies 2: S.E.\n"
                    "Dead Time 1: -\nDead Time 2: -")
                .split('\n');
        const QString messages =
            "File size does not compute correctly.\nThe file ends after layer 4 of 5.\n";
        // The variables named last are removed from the environment.
        const auto row = [](const char* name, const char* args, int code, const QStringList& out,
                            const QString& err, const char* unset = "") {
            QTest::newRow(name) << QString(args).split(' ')
                                << QString(unset).split(' ', Qt::SkipEmptyParts) << code << out
                                << err;
        };
        row("summary", "--info cut.im", 0, summary, messages);
        row("the project's version", "--version", 0, {"Isolumen " ISOLUMEN_VERSION}, "");
        row("no display: the summary instead", "cut.im", 0, summary,
            "No display available: printing the summary instead.\n" + messages,
            "DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM");
        row("refused", "--info refused.im", 2, {},
            "refused.im is not an image file: its header is not that of a raw ion image.");
        row("missing", "--info missing.im", 2, {}, "No such file: missing.im");
        row("a folder", "--info folder.png", 2, {}, "This is a folder, not a file: folder.png");
    }

    void info()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, unset);
        QFETCH(int, code);
        QFETCH(QStringList, out);
        QFETCH(QString, err);
        const Run r = runIsolumen(m_dir.path(), args, unset);
        QCOMPARE(r.status, code);
        QCOMPARE(r.out.split('\n', Qt::SkipEmptyParts), out);
        QCOMPARE(r.err.left(err.size()), err);
    }

    void exportPicture_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("locale"); // LC_ALL; empty: as the test runs
        QTest::addColumn<QImage>("picture"); // null: the export fails
        QTest::addColumn<QString>("message");
        const auto failure = [](const char* name, const char* args, const char* message) {
            QTest::newRow(name) << QString(args) << QString() << QImage() << QString(message);
        };
        const auto picture = [](const char* name, const QString& args, const QImage& want,
                                const char* locale = "") {
            QTest::newRow(name) << args << QString(locale) << want << QString();
        };
        const QImage small = corePicture(path("small.im"), 1, 1, {});
        picture("tif", "--export out.tif small.im", small);
        picture("bmp", "--export out.bmp small.im", small);
        picture("jpg: its size", "--export out.jpg small.im", small);
        DisplaySettings s;
        s.autoMin = s.autoMax = false;
        setColours(s, {2, 0xFF0000, 0x000000, 0});
        picture("options",
                "--export out.png small.im --species 2 --plane 3 --table 3 --min 1000 "
                "--max 1500 --low 000000 --high ff0000",
                corePicture(path("small.im"), 2, 3, s, "1000", "1500"));
        // The same picture whatever the decimal separator of the user's locale.
        s.logScale = true;
        setColours(s, {});
        const QImage quarter = corePicture(path("quarter.im"), 1, 1, s, "0.5", "2.5", true);
        const char* quarterArgs =
            "--export out.png quarter.im --min 0.5 --max 2.5 --log --layout figure";
        picture("0.5 to 2.5 under C", quarterArgs, quarter, "C");
        picture("0.5 to 2.5 under de_DE.UTF-8", quarterArgs, quarter, "de_DE.UTF-8");
        // Of the 4096 counts sorted, ranks 4.095 and 4090.905 both hold 0 and 39: the 102 pixels
        // of 39 lie at ranks 3993 to 4094, the hot one at 4095.
        s.logScale = false;
        picture("percentiles 0.1 to 99.9 leave the hot pixel out",
                "--export out.png hot.im --auto-percentile 0.1,99.9",
                corePicture(path("hot.im"), 1, 1, s, "0", "39"));
        for (const char* bad : {"99.9", "5,1", "0.1,101", "a,b", "0.1,99.9,100"})
            QTest::newRow(bad) << QString("--export out.png hot.im --auto-percentile ") + bad
                               << QString() << QImage() << QString("--auto-percentile needs");
        failure("refused file", "--export out.png refused.im", "refused.im is not an image file");
        failure("frames of 100 x 100", "--export out.png odd.im",
                "Frames of 100 x 100 pixels cannot be shown");
        failure("no frames", "--export out.png headeronly.im", "This file holds no frames");
        failure("species 3 of 2", "--export out.png small.im --species 3",
                "--species 3 is out of range");
        failure("plane 4 of 3", "--export out.png small.im --plane 4", "--plane 4 is out of range");
        failure("table 21", "--export out.png small.im --table 21",
                "--table needs a table number from 1 to 20");
        failure("low colour of five digits", "--export out.png small.im --low 12345",
                "six hex digits");
        failure("unknown layout", "--export out.png small.im --layout poster",
                "--layout is either image or figure");
        failure("an empty range keeps the earlier picture",
                "--export kept.png small.im --min 9 --max 3",
                "small.im: the display range is empty");
        failure("unknown picture format", "--export out.gif small.im",
                "Cannot tell the picture format");
        failure("folder that does not exist", "--export nowhere/out.png small.im", "Cannot write");
        failure("output is a folder", "--export folder.png small.im", "Cannot write");
        failure("output is the input", "--export small.png small.png",
                "would replace the .im file");
    }

    void exportPicture()
    {
        QFETCH(QString, args);
        QFETCH(QString, locale);
        QFETCH(QImage, picture);
        QFETCH(QString, message);
        if (locale.startsWith("de")) {
            const QByteArray was = std::setlocale(LC_ALL, nullptr);
            const bool available = std::setlocale(LC_ALL, "de_DE.UTF-8");
            std::setlocale(LC_ALL, was.constData());
            if (!available)
                QSKIP("The de_DE.UTF-8 locale is not installed: scripts/setup.sh generates it.");
        }
        const QStringList before = contents(m_dir.path());
        const QString out = args.section(' ', 1, 1);
        const Run r = runIsolumen(m_dir.path(), args.split(' '),
                                  QStringList{"LC_ALL=" + locale}.mid(locale.isEmpty()));
        if (picture.isNull()) {
            QCOMPARE(r.status, 2);
            QVERIFY2(r.err.contains(message), qPrintable(r.err));
            // Nothing written, not even a temporary file, and every file as it was.
            QCOMPARE(contents(m_dir.path()), before);
            QVERIFY(QDir(path("folder.png")).isEmpty());
            return;
        }
        QVERIFY2(r.status == 0, qPrintable(r.err));
        const QImage got(path(out));
        QVERIFY(QFile::remove(path(out)));
        if (out.endsWith(".jpg"))
            QCOMPARE(got.size(), picture.size());
        else
            COMPARE_PICTURES(got, picture);
    }

    // Every refusal of a command line that does not hold together, with status 2 and what is
    // wrong on standard error; a result without any value is written, with a warning.
    void strictCommandLine_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("outFile"); // standard output's file; empty: a pipe
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        const auto row = [](const char* name, const QString& args, const char* message,
                            const char* outFile = "", int code = 2) {
            QTest::newRow(name) << args << QString(outFile) << code << QString(message);
        };
        const QString ratio = "--export out.png small.im --ratio 2/1 ";
        row("two modes", "--info small.im --export out.png", "Choose one of --info, --export");
        row("a number and letters", "--export out.png small.im --max 12abc",
            "--max needs a number: 12abc");
        row("letters for a number", "--export out.png small.im --min abc",
            "--min needs a number: abc");
        row("a layer and letters", "--export out.png small.im --plane 2x",
            "--plane needs a whole number from 1: 2x");
        row("a scale and letters", ratio + "--scale 1.5e", "--scale needs a number above 0: 1.5e");
        row("an option twice", "--export out.png small.im --plane 1 --plane 3",
            "--plane is given more than once.");
        row("a ratio twice", "--export-counts out.tif small.im --ratio 1/2 --ratio 2/1",
            "--ratio is given more than once.");
        row("an option --info does not use, even invalid", "--info small.im --ratio 0/0",
            "--ratio is not an option of --info.");
        row("an option the viewer does not use", "small.im --table 3",
            "--table is not an option of the viewer.");
        row("an option --shifts does not use", "--shifts small.im --species 2",
            "--species is not an option of --shifts.");
        row("scale 0", ratio + "--scale 0", "--scale needs a number above 0: 0");
        row("a negative scale", ratio + "--scale -2", "--scale needs a number above 0: -2");
        row("a negative threshold", ratio + "--threshold-den -1",
            "--threshold-den needs a number of at least 0: -1");
        row("a species twice in a sum", "--export out.png small.im --ratio 2/1+1",
            "--ratio needs species numbers from 1 as N/D, each a species or a sum such as 2/1+2: "
            "2/1+1 (\"1\" is summed twice)");
        row("a ratio without a denominator", "--export out.png small.im --ratio 1+2",
            "--ratio needs species numbers from 1 as N/D");
        row("a standard ratio of 0", ratio + "--delta 0",
            "--delta needs a standard ratio above 0: 0");
        row("a negative standard ratio", ratio + "--delta -0.01",
            "--delta needs a standard ratio above 0: -0.01");
        row("percent and delta", ratio + "--percent --delta 0.01",
            "Give either --percent or --delta, not both.");
        row("a negative dead time", "--stats small.im --roi rect:0,0,4,4 --deadtime-ns -5",
            "--deadtime-ns needs a dead time in ns of at least 0: -5");
        row("an odd count of polygon numbers", "--stats small.im --roi polygon:1,1,9,1,9",
            "a polygon needs its numbers in pairs x,y: 5 is an odd count");
        row("--info on a named pipe", "--info pipe.im",
            "Cannot read pipe.im: it is a named pipe, not a regular file.");
        for (const char* mode :
             {"--info small.im", "--shifts small.im", "--stats small.im --roi rect:0,0,4,4"})
            row(qPrintable(QString(mode).section(' ', 0, 0) + " onto a full disk"), mode,
                "Cannot write to standard output: No space left on device.", "/dev/full");
        row("no pixel with a value: written, and why",
            "--export-counts out.tif small.im "
            "--deadtime-ns 1e9",
            "no pixel has a value, because the dead time leaves every "
            "count saturated.",
            "", 0);
        row("a name of 255 bytes", "--export-counts " + QString(251, 'o') + ".tif small.im", "", "",
            0);
    }

    void strictCommandLine()
    {
        QFETCH(QString, args);
        QFETCH(QString, outFile);
        QFETCH(int, code);
        QFETCH(QString, message);
        const QStringList before = contents(m_dir.path());
        const Run r = runIsolumen(m_dir.path(), args.split(' '), {}, outFile);
        QCOMPARE(r.status, code);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        if (code != 0) {
            QCOMPARE(contents(m_dir.path()), before);
            return;
        }
        const QString out = args.section(' ', 1, 1);
        QVERIFY2(QFileInfo(path(out)).size() > 0, qPrintable(r.err));
        QVERIFY(QFile::remove(path(out)));
    }

    // A signal during an expansion deletes the copy; a copy whose owner was killed outright
    // goes at the next start.
    void interruptedExpansion_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    void interruptedExpansion()
    {
        QFETCH(int, signal);
        const QDir cache(path("cache/Isolumen"));
        QVERIFY(cache.mkpath("."));
        ImBuilder b; // 2 GiB of frames, all zero
        b.nSpecies = 1;
        b.nPlanes = 16384;
        QFile gz(path("long.im.gz"));
        const QByteArray bytes = gzipWithZeros(b.header(), 2048);
        QVERIFY(gz.open(QIODevice::WriteOnly) && gz.write(bytes) == bytes.size());
        gz.close();
        QProcess ended;
        ended.start("true");
        QVERIFY(ended.waitForFinished());
        const QString stale = QString("old-%1-aB3dE6.im").arg(ended.processId());
        QVERIFY(QFile(cache.filePath(stale)).open(QIODevice::WriteOnly));

        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CACHE_HOME", path("cache"));
        p.setProcessEnvironment(env);
        p.start(ISOLUMEN_EXECUTABLE, {"--info", path("long.im.gz")});
        // Once the copy grows, the expansion holds it.
        const auto copies = [&] { return cache.entryInfoList({"long-*.im"}, QDir::Files); };
        QTRY_VERIFY(!cache.exists(stale) && copies().size() == 1 && copies()[0].size() > 0);
        ::kill(pid_t(p.processId()), signal);
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.exitStatus(), QProcess::CrashExit); // the signal's own end, after the deletion
        QCOMPARE(cache.entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        QVERIFY(QFile::remove(gz.fileName()));
    }

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
