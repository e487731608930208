// Compressed acquisitions made by the usual command-line tools, expanded into a cache folder:
// exact bytes back, clear refusals, and no file left behind whatever goes wrong.
#include "core/imfile/archive.h"
#include "core/progress.h"
#include "imbuilder.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

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
    void fullDisk_data();
    void fullDisk();
    void cancelled();

private:
    // Runs program with args in the work folder; false when the program is not installed.
    bool make(const QString& program, const QStringList& args);
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
    // Over 1 MiB, so that a full disk stops the expansion after some data is written.
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

bool TestArchive::make(const QString& program, const QStringList& args)
{
    if (QStandardPaths::findExecutable(program).isEmpty())
        return false;
    QProcess p;
    p.setWorkingDirectory(m_dir->path());
    p.start(program, args);
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
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("archive");
    QTest::newRow("gzip") << "gzip" << QStringList{"-k", "a.im"} << "a.im.gz";
    QTest::newRow("bzip2") << "bzip2" << QStringList{"-k", "a.im"} << "a.im.bz2";
    QTest::newRow("xz") << "xz" << QStringList{"-k", "a.im"} << "a.im.xz";
    QTest::newRow("zstd") << "zstd" << QStringList{"-q", "a.im"} << "a.im.zst";
    QTest::newRow("zip with a folder and notes")
        << "zip" << QStringList{"-qr", "a.zip", "sub", "notes.txt"} << "a.zip";
}

void TestArchive::expandsToOriginal()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(QString, archive);
    if (!make(program, args))
        QSKIP(qPrintable(program + " is not installed or failed"));
    Progress progress;
    auto result = ExpandedFile::expand(work(archive), m_cache, &progress);
    if (const QString* why = std::get_if<QString>(&result))
        QFAIL(qPrintable(*why));
    std::unique_ptr<ExpandedFile> expanded = std::move(std::get<0>(result));
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
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QString>("damage"); // "cut": half the file kept; "flip": a middle byte changed
    QTest::addColumn<QString>("message");
    const QStringList keep{"-k", "a.im"};
    const QString truncated = "ends early: the archive is incomplete (truncated)";
    const QString corrupt = "is damaged:";
    QTest::newRow("gzip cut") << "gzip" << keep << "a.im.gz"
                              << "cut" << truncated;
    QTest::newRow("xz cut") << "xz" << keep << "a.im.xz"
                            << "cut" << truncated;
    QTest::newRow("zstd cut") << "zstd" << QStringList{"-q", "a.im"} << "a.im.zst"
                              << "cut" << truncated;
    QTest::newRow("zip cut") << "zip" << QStringList{"-q", "a.zip", "a.im"} << "a.zip"
                             << "cut" << truncated;
    QTest::newRow("gzip byte changed") << "gzip" << keep << "a.im.gz"
                                       << "flip" << corrupt;
    QTest::newRow("bzip2 byte changed") << "bzip2" << keep << "a.im.bz2"
                                        << "flip" << corrupt;
    QTest::newRow("zip without .im") << "zip" << QStringList{"-q", "a.zip", "notes.txt"} << "a.zip"
                                     << ""
                                     << "holds no .im file, only: notes.txt";
    QTest::newRow("zip with two .im")
        << "zip" << QStringList{"-q", "a.zip", "a.im", "b.im"} << "a.zip"
        << ""
        << "holds several .im files (a.im, b.im)";
    QTest::newRow("plain file named .im.gz") << "cp" << QStringList{"a.im", "a.im.gz"} << "a.im.gz"
                                             << ""
                                             << "not a supported archive";
}

void TestArchive::refused()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(QString, archive);
    QFETCH(QString, damage);
    QFETCH(QString, message);
    if (!make(program, args))
        QSKIP(qPrintable(program + " is not installed or failed"));
    QFile file(work(archive));
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    if (damage == "cut")
        QVERIFY(file.resize(bytes.size() / 2));
    if (damage == "flip") {
        bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x10);
        QVERIFY(file.seek(0) && file.write(bytes) == bytes.size());
    }
    file.close();
    const auto result = ExpandedFile::expand(work(archive), m_cache);
    const QString* why = std::get_if<QString>(&result);
    QVERIFY(why);
    QVERIFY2(why->startsWith(archive) && why->contains(message), qPrintable(*why));
    QVERIFY(cacheEntries().isEmpty());
}

void TestArchive::fullDisk_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("archive");
    QTest::addColumn<bool>("started");
    // gzip records no usable size: the expansion stops once the disk is full. A zip records it:
    // the expansion does not start.
    QTest::newRow("gzip") << "gzip" << QStringList{"-k", "a.im"} << "a.im.gz" << true;
    QTest::newRow("zip") << "zip" << QStringList{"-q", "a.zip", "a.im"} << "a.zip" << false;
}

void TestArchive::fullDisk()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(QString, archive);
    QFETCH(bool, started);
    if (!make(program, args))
        QSKIP(qPrintable(program + " is not installed or failed"));
    const auto oneByteShort = [&](const QString&) { return qint64(m_original.size() - 1); };
    Progress progress;
    const auto result = ExpandedFile::expand(work(archive), m_cache, &progress, oneByteShort);
    const QString* why = std::get_if<QString>(&result);
    QVERIFY(why);
    QVERIFY2(why->startsWith("Not enough space in " + QDir::toNativeSeparators(m_cache)),
             qPrintable(*why));
    QCOMPARE(progress.done() > 0, started);
    QVERIFY(cacheEntries().isEmpty());
}

void TestArchive::cancelled()
{
    if (!make("zip", {"-q", "a.zip", "a.im"}))
        QSKIP("zip is not installed or failed");
    Progress progress;
    progress.cancel();
    const auto result = ExpandedFile::expand(work("a.zip"), m_cache, &progress);
    const QString* why = std::get_if<QString>(&result);
    QVERIFY(why);
    QCOMPARE(*why, "Expanding a.zip was cancelled.");
    QVERIFY(cacheEntries().isEmpty());
}

QTEST_GUILESS_MAIN(TestArchive)
#include "tst_archive.moc"
