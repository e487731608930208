// Compressed acquisitions made by the usual command-line tools, expanded into a cache folder:
// exact bytes back, clear refusals, and no file left behind whatever goes wrong.
#include "core/imfile/archive.h"
#include "core/progress.h"
#include "imbuilder.h"
#include "zerobomb.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace isolumen;

class TestArchive : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void names();
    void expandsToOriginal_data();
    void expandsToOriginal();
    void refused_data();
    void refused();
    void orphanedCopies();

private:
    // Runs a command (program and arguments) in the work folder; false when the program is
    // not installed or fails.
    bool make(const QStringList& command);
    QString work(const QString& name) const { return m_dir->filePath(name); }
    QStringList cacheEntries() const
    {
        return QDir(m_cache).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_cache;
    QByteArray m_original;
};

void TestArchive::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_cache = work("cache");
    // Several times the expansion's buffer, so that a full disk stops it after some writing.
    ImBuilder b;
    b.nSpecies = 2;
    b.nPlanes = 5;
    b.sample = [](int s, int p, int r, int k) { return quint32((s * 7 + p * r + k) % 97); };
    m_original = b.bytes();
    QVERIFY(b.write(work("a.im")) && b.write(work("b.im")));
    QVERIFY(QDir(m_dir->path()).mkdir("sub") && b.write(work("sub/a.im")));
    QFile notes(work("notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("notes\n") == 6);
}

bool TestArchive::make(const QStringList& command)
{
    if (QStandardPaths::findExecutable(command.first()).isEmpty())
        return false;
    QProcess p;
    p.setWorkingDirectory(m_dir->path());
    p.start(command.first(), command.mid(1));
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

void TestArchive::names()
{
    for (const char* yes : {"a.im.gz", "A.IM.BZ2", "x/a.im.xz", "a.im.zst", "a.Zip"})
        QVERIFY2(isCompressedName(yes), yes);
    for (const char* no : {"a.im", "a.gz", "a.tar.gz", "a.im.gz.part", "zip"})
        QVERIFY2(!isCompressedName(no), no);
}

void TestArchive::expandsToOriginal_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QString>("archive");
    QTest::newRow("gzip") << QStringList{"gzip", "-k", "a.im"} << "a.im.gz";
    QTest::newRow("bzip2") << QStringList{"bzip2", "-k", "a.im"} << "a.im.bz2";
    QTest::newRow("xz") << QStringList{"xz", "-k", "a.im"} << "a.im.xz";
    QTest::newRow("zstd") << QStringList{"zstd", "-q", "a.im"} << "a.im.zst";
    QTest::newRow("zip with a folder and notes")
        << QStringList{"zip", "-qr", "a.zip", "sub", "notes.txt"} << "a.zip";
    QTest::newRow("gzip padded with zeros, which gzip accepts")
        << QStringList{"sh", "-c", "gzip -k a.im && head -c 3000 /dev/zero >>a.im.gz"} << "a.im.gz";
}

void TestArchive::expandsToOriginal()
{
    QFETCH(QStringList, command);
    QFETCH(QString, archive);
    if (!make(command))
        QSKIP(qPrintable(command.first() + " is not installed or failed"));
    Progress progress;
    auto result = ExpandedFile::expand(work(archive), m_cache, &progress);
    if (!result)
        QFAIL(qPrintable(result.error().message));
    std::unique_ptr<ExpandedFile> expanded = std::move(*result);
    QFile copy(expanded->path());
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QVERIFY(copy.readAll() == m_original);
    QCOMPARE(expanded->size(), m_original.size());
    QCOMPARE(cacheEntries(), QStringList{QFileInfo(copy).fileName()});
    QCOMPARE(progress.total(), QFileInfo(work(archive)).size());
    QCOMPARE(progress.done(), progress.total());
    expanded.reset();
    QVERIFY(cacheEntries().isEmpty());
}

void TestArchive::refused_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QString>("archive");
    // "cut": half the file kept; "flip": a middle byte changed; "full": one byte too little
    // space; "cancel": cancelled before it starts.
    QTest::addColumn<QString>("trouble");
    QTest::addColumn<QString>("message");
    const auto row = [](const char* name, const QStringList& command, const char* archive,
                        const char* trouble, const char* message) {
        QTest::newRow(name) << command << QString(archive) << QString(trouble) << QString(message);
    };
    const QStringList gzip{"gzip", "-k", "a.im"};
    const QStringList zip{"zip", "-q", "a.zip", "a.im"};
    row("gzip cut", gzip, "a.im.gz", "cut", "a.im.gz ends early: the archive is incomplete");
    row("xz cut", {"xz", "-k", "a.im"}, "a.im.xz", "cut", "a.im.xz ends early");
    row("zstd cut", {"zstd", "-q", "a.im"}, "a.im.zst", "cut", "a.im.zst ends early");
    row("zip cut", zip, "a.zip", "cut", "a.zip ends early");
    row("gzip byte changed", gzip, "a.im.gz", "flip", "a.im.gz is damaged:");
    row("bzip2 byte changed", {"bzip2", "-k", "a.im"}, "a.im.bz2", "flip", "a.im.bz2 is damaged:");
    row("zip without .im", {"zip", "-q", "a.zip", "notes.txt"}, "a.zip", "",
        "a.zip holds no .im file, only: notes.txt.");
    row("zip with two .im", {"zip", "-q", "a.zip", "a.im", "b.im"}, "a.zip", "",
        "a.zip holds several .im files (a.im, b.im)");
    row("plain file named .im.gz", {"cp", "a.im", "a.im.gz"}, "a.im.gz", "",
        "a.im.gz is not a supported archive");
    // gzip records no usable size: the expansion stops when the disk is full. A zip records it:
    // the expansion does not start.
    row("gzip, full disk", gzip, "a.im.gz", "full", "to expand a.im.gz: it needs more than the");
    row("zip, full disk", zip, "a.zip", "full", " are free.");
    row("cancelled", zip, "a.zip", "cancel", "Expanding a.zip was cancelled.");
    // One message for data after the stream's end, whichever way each format meets it.
    for (const auto& [tool, suffix] : {std::pair{"gzip", "gz"}, std::pair{"bzip2", "bz2"},
                                       std::pair{"xz", "xz"}, std::pair{"zstd", "zst"}}) {
        const QString archive = QString("a.im.") + suffix;
        const QByteArray message = archive.toUtf8() + " is damaged: other data follows the end";
        QTest::newRow(qPrintable(QString(tool) + ", data after its end"))
            << QStringList{"sh", "-c", QString("%1 -qk a.im && echo more >>%2").arg(tool, archive)}
            << archive << QString() << QString(message);
    }
    row("zip holding only a link", {"sh", "-c", "ln -s a.im l.im && zip -qy a.zip l.im"}, "a.zip",
        "", "a.zip holds no .im file that can be read: l.im is not a regular file.");
    row("named pipe", {"mkfifo", "a.im.gz"}, "a.im.gz", "",
        "a.im.gz: it is a named pipe, not a regular file.");
    // Bombs. The zeros get 1 MiB of cache: a larger copy would end in "Not enough space".
    row("1 GiB of zeros", {"true"}, "a.im.gz", "zeros",
        "a.im.gz is not an image file: its expanded data does not start like an acquisition.");
    row("an acquisition followed by 8 MiB of zeros", {"true"}, "a.im.gz", "longer",
        "a.im.gz is not an image file: it expands to more than the");
}

void TestArchive::refused()
{
    QFETCH(QStringList, command);
    QFETCH(QString, archive);
    QFETCH(QString, trouble);
    QFETCH(QString, message);
    if (!make(command))
        QSKIP(qPrintable(command.first() + " is not installed or failed"));
    QFile file(work(archive));
    if (trouble == "cut" || trouble == "flip") {
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        if (trouble == "cut")
            QVERIFY(file.resize(bytes.size() / 2));
        if (trouble == "flip") {
            bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x10);
            QVERIFY(file.seek(0) && file.write(bytes) == bytes.size());
        }
        file.close();
    }
    const bool bomb = trouble == "zeros" || trouble == "longer";
    if (bomb) {
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray gz =
            trouble == "zeros" ? gzipWithZeros({}, 1024) : gzipWithZeros(m_original, 8);
        QVERIFY(file.write(gz) == gz.size());
        file.close();
    }
    Progress progress;
    if (trouble == "cancel")
        progress.cancel();
    const qint64 space = trouble == "full"    ? m_original.size() - 1
                         : trouble == "zeros" ? qint64(1) << 20
                                              : qint64(1) << 40;
    const auto result = ExpandedFile::expand(work(archive), m_cache, &progress,
                                             [&](const QString&) { return space; });
    QVERIFY(!result);
    const QString why = result.error().message;
    QVERIFY2(why.contains(message), qPrintable(why));
    QVERIFY(cacheEntries().isEmpty());
}

// A copy whose owner ended without deleting it (killed outright) goes at the next start; the
// copies of live owners, and other files, stay.
void TestArchive::orphanedCopies()
{
    QProcess ended;
    ended.start("true");
    QVERIFY(ended.waitForFinished());
    const qint64 dead = ended.processId() > 0 ? ended.processId() : 999999999;
    const QStringList names = {QString("a-%1-x1Y2z3.im").arg(dead),
                               QString("a-%1-x1Y2z3.im").arg(QCoreApplication::applicationPid()),
                               QString("notes-%1.im").arg(dead)};
    QVERIFY(QDir().mkpath(m_cache));
    for (const QString& name : names) {
        QFile f(QDir(m_cache).filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QCOMPARE(removeOrphanedCopies(m_cache), 1);
    QCOMPARE(cacheEntries(), (QStringList{names[1], names[2]}));
}

QTEST_GUILESS_MAIN(TestArchive)
#include "tst_archive.moc"
