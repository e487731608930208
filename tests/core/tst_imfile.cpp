// Reading raw image files: which files are accepted, the header's values and messages, frames in
// shown orientation in every sample format, and the files the instruments recorded.
#include "core/imfile/imheader.h"
#include "core/imfile/summary.h"
#include "core/io/analysisfile.h"
#include "core/model/acquisition.h"
#include "core/model/alignlayers.h"
#include "core/model/stripes.h"
#include "featurefiles.h"
#include "imbuilder.h"

#include <QBuffer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace isolumen;

Q_DECLARE_METATYPE(ImBuilder)

namespace {

std::optional<ImHeader> readBytes(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return readImHeader(buffer, bytes.size(), "test.im").header;
}

// A classic file: 2 species, 1 plane of 64 x 64, without the image block of later versions.
ImBuilder classicFile()
{
    ImBuilder b;
    b.nSpecies = 2;
    b.labels = {"16O", "12C"};
    b.width = b.height = 64;
    b.headerSize = 10000;
    b.writeImageBlockSize = false;
    return b;
}

// A file of a later software version: big-endian version 9 with the image block.
ImBuilder laterFile()
{
    ImBuilder b = classicFile();
    b.version = 9;
    b.headerSize = 25184;
    b.nPlanes = 2;
    b.writeImageBlockSize = true;
    return b;
}

ImBuilder littleEndianFile()
{
    ImBuilder b = laterFile();
    b.byteOrder = QDataStream::LittleEndian;
    b.version = 4108;
    b.depth = 4;
    b.marker = "NANOSIMS 50 - IMAGE RTI";
    return b;
}

QString rowText(const ImHeader& h, int completePlanes, const QString& caption)
{
    for (const SummaryRow& row : detailRows(h, completePlanes)) {
        if (row.caption == caption)
            return row.text;
    }
    return "(no such row)";
}

// Every value of both species over layers first..last, in shown orientation; -1 for none.
std::vector<double> valuesOf(const Acquisition& a, int first, int last)
{
    std::vector<double> values;
    for (int s = 0; s < 2; ++s) {
        PlaneRequest r = a.request({s, {}});
        r.firstLayer = first;
        r.lastLayer = last;
        const Result<PlaneResult> loaded = a.plane(r);
        const PlanePtr p = loaded ? loaded->shown : nullptr;
        for (int i = 0; p && i < p->side * p->side; ++i)
            values.push_back(std::isnan(p->value(i % p->side, i / p->side))
                                 ? -1
                                 : p->value(i % p->side, i / p->side));
    }
    return values;
}

} // namespace

class TestImFile : public QObject
{
    Q_OBJECT

private slots:
    void acceptance_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("accepted");
        const auto row = [](const char* name, bool accepted, ImBuilder b, auto change) {
            change(b);
            QTest::newRow(name) << b.bytes() << accepted;
        };
        for (qint32 code : {5, 10, 0, 4, 11, 4108}) {
            ImBuilder b = classicFile();
            b.version = code;
            QTest::addRow("classic, type code %d", code) << b.bytes() << (code == 5 || code == 10);
        }
        ImBuilder headerOnly = classicFile(); // a header that fills the file
        headerOnly.nPlanes = 0;
        headerOnly.headerSize = 12000;
        QTest::newRow("header size equal to the length") << headerOnly.bytes() << true;
        QTest::newRow("header size one more than the length")
            << headerOnly.bytes().chopped(1) << false;
        headerOnly.headerSize = 10000;
        QTest::newRow("10,000 bytes") << headerOnly.bytes() << false;
        QTest::newRow("10,001 bytes") << headerOnly.bytes() + '\0' << true;
        QTest::newRow("empty file") << QByteArray() << false;
        const auto size = [](const char* hex) {
            return [hex](ImBuilder& b) { b.patches[8] = QByteArray::fromHex(hex); };
        };
        const ImBuilder c = classicFile();
        row("negative header size", false, c, size("ffffff10"));
        row("header size 79: shorter than its tail", false, c, size("0000004f"));
        row("header size 80: just its tail", true, c, size("00000050"));
        row("marker with an extra letter", false, c, [](ImBuilder& b) { b.marker += "S"; });
        row("marker in lower case", false, c, [](ImBuilder& b) { b.marker = b.marker.toLower(); });
        const ImBuilder l = laterFile();
        row("version 9 with the image block", true, l, [](ImBuilder&) {});
        row("version 9 without it", false, l, [](ImBuilder& b) { b.writeImageBlockSize = false; });
        row("version 9, unknown marker", false, l,
            [](ImBuilder& b) { b.marker = "DEPTH PROFILE"; });
        row("analysis type 41", true, l, [](ImBuilder& b) { b.analysisType = 41; });
        row("analysis type 26: no image", false, l, [](ImBuilder& b) { b.analysisType = 26; });
        row("big-endian version 4108", false, l, [](ImBuilder& b) { b.version = 4108; });
        row("little-endian version 9", false, l,
            [](ImBuilder& b) { b.byteOrder = QDataStream::LittleEndian; });
        row("little-endian version 4108", true, littleEndianFile(), [](ImBuilder&) {});
    }

    void acceptance()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, accepted);
        QCOMPARE(readBytes(file).has_value(), accepted);
    }

    void date_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("expected");
        QTest::newRow("worked example") << QString("05.03.07") << QString("05-Mar-2007");
        QTest::newRow("year 90: 2090") << QString("05.03.90") << QString("05-Mar-2090");
        QTest::newRow("year 91: 1991") << QString("31.12.91") << QString("31-Dec-1991");
        QTest::newRow("year 00: 2000") << QString("05.03.00") << QString("05-Mar-2000");
        QTest::newRow("month 13") << QString("05.13.07") << QString("05--2007");
        QTest::newRow("month 00") << QString("05.00.07") << QString("05--2007");
    }

    void date()
    {
        QFETCH(QString, field);
        QFETCH(QString, expected);
        QCOMPARE(dateText(field), expected);
    }

    void labels_data()
    {
        QTest::addColumn<QList<QByteArray>>("labels");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("16 bytes without a zero, above 127 one to one")
            << QList<QByteArray>{"ABCDEFGHIJKLMN\xb5PQRS"} << QStringList{"ABCDEFGHIJKLMN\u00b5P"};
        QTest::newRow("an empty last label is S.E.")
            << QList<QByteArray>{"12C", "13C", ""} << QStringList{"12C", "13C", "S.E."};
        QTest::newRow("an empty label not last stays empty")
            << QList<QByteArray>{"12C", "", "16O"} << QStringList{"12C", "", "16O"};
        QTest::newRow("cut at code 20, not at a blank")
            << QList<QByteArray>{"12C\x14more", "12C 14N"} << QStringList{"12C", "12C 14N"};
        QTest::newRow("zero species") << QList<QByteArray>{"12C"} << QStringList{};
    }

    void labels()
    {
        QFETCH(QList<QByteArray>, labels);
        QFETCH(QStringList, expected);
        ImBuilder b = classicFile();
        b.nSpecies = int(expected.size());
        b.labels = labels;
        b.headerSize = 12000; // long enough without frames
        QCOMPARE(readBytes(b.bytes())->species, expected);
    }

    // The size identity, the frame side and the layers a file holds whole only make messages.
    void messages_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("frameSide"); // 0: none
        QTest::addColumn<int>("completePlanes");
        const QString size = "File size does not compute correctly.";
        const QString side = "Cannot handle this pixel size.";
        ImBuilder b; // 1,000 + 10 planes x 2 species x 131,072 bytes = 2,622,440 bytes
        b.headerSize = 1000;
        b.nSpecies = 2;
        b.nPlanes = 10;
        const QByteArray whole = b.bytes();
        QTest::newRow("2,622,440 bytes") << whole << QStringList() << 256 << 10;
        QTest::newRow("2,622,441 bytes") << whole + '\0' << QStringList{size} << 256 << 10;
        QTest::newRow("2,622,439 bytes")
            << whole.chopped(1) << QStringList{size, "The file ends after layer 9 of 10."} << 256
            << 9;
        b = classicFile();
        b.width = 128;
        QTest::newRow("not square") << b.bytes() << QStringList{side} << 0 << 1;
        b.width = b.height = 300;
        QTest::newRow("300 x 300, frames missing")
            << b.header() + QByteArray(20000, '\0') << QStringList{size, side} << 0 << 0;
        // Found by fuzzing: counts whose product exceeds 64 bits.
        b.nSpecies = 16974096;
        b.labels = {};
        b.width = 9217;
        b.height = 13825;
        b.nPlanes = 27649;
        QTest::newRow("absurd counts")
            << b.header() + QByteArray(5911, '\0') << QStringList{size, side} << 0 << 0;
    }

    void messages()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, messages);
        QFETCH(int, frameSide);
        QFETCH(int, completePlanes);
        QFile f(m_dir.filePath("messages.im"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(file) == file.size());
        f.close();
        ImFile im;
        QCOMPARE(im.open(f.fileName()), ImFile::Status::Accepted);
        QCOMPARE(im.messages(), messages);
        QCOMPARE(im.frameSide().value_or(0), frameSide);
        QCOMPARE(im.completePlanes(), completePlanes);
    }

    void positionAndFigures()
    {
        ImHeader h;
        h.headerSize = 1000;
        h.frameSize = 131072;
        h.speciesCount = 3;
        QCOMPARE(framePosition(h, 3, 1), qint64(263144));
        QCOMPARE(framePosition(h, 2, 2), qint64(525288));
        // Found by fuzzing: counts whose product exceeds 64 bits.
        h.frameSize = qint64(9217) * 13825 * 2;
        h.speciesCount = 16974096;
        QCOMPARE(framePosition(h, 16974096, 27649), qint64(-1));
        // Zero planes and pixels: per-plane and per-pixel figures are "-", never inf or nan.
        h = ImHeader();
        QCOMPARE(rowText(h, 0, "Duration/Layer:") + rowText(h, 0, "Duration/Pixel:"), "--");
    }

    void frames_data()
    {
        QTest::addColumn<ImBuilder>("file");
        QTest::addColumn<int>("species"); // from 1
        QTest::addColumn<int>("first");   // the layers summed
        QTest::addColumn<int>("last");
        // Each sample tells where it was in the file: species, layer, row r, k-th of the row.
        ImBuilder b = laterFile();
        b.nSpecies = 3;
        b.nPlanes = 3;
        b.sample = [](int s, int p, int r, int k) {
            return quint32(s * 10000 + p * 1000 + r * 64 + k);
        };
        QTest::newRow("big-endian, 2 bytes") << b << 2 << 1 << 1;
        QTest::newRow("big-endian, 2 bytes, sum of layers 1-3") << b << 3 << 1 << 3;
        b.depth = 4;
        b.sample = [](int s, int p, int r, int k) {
            return 4294967295u - quint32((3 - s) * 1000 + (3 - p) * 200 + r + k);
        };
        QTest::newRow("big-endian, 4 bytes up to 2^32 - 1") << b << 3 << 3 << 3;
        QTest::newRow("big-endian, 4 bytes, a sum beyond 32 bits") << b << 2 << 2 << 3;
        ImBuilder l = littleEndianFile();
        l.sample = [](int s, int p, int r, int k) {
            return quint32(70000 + s * 7 + p + r * 64 + k);
        };
        QTest::newRow("little-endian, 4 bytes") << l << 2 << 2 << 2;
        l.depth = 2;
        l.sample = [](int s, int p, int r, int k) {
            return quint32(s * 300 + p * 3 + r * 256 + k);
        };
        QTest::newRow("little-endian, 2 bytes") << l << 1 << 2 << 2;
    }

    // Shown (x, y) is the sample of file row y that lies side - 1 - x from the row's start.
    void frames()
    {
        QFETCH(ImBuilder, file);
        QFETCH(int, species);
        QFETCH(int, first);
        QFETCH(int, last);
        const QString path = m_dir.filePath("frames.im");
        QVERIFY(file.write(path));
        Acquisition acquisition;
        QCOMPARE(acquisition.open(path), ImFile::Status::Accepted);
        QVERIFY(acquisition.messages().isEmpty());
        acquisition.setLayerRange(first, last);
        const Result<PlaneResult> loaded =
            acquisition.plane(acquisition.request({species - 1, {}}));
        QVERIFY2(loaded, qPrintable(loaded ? QString() : loaded.error().message));
        const PlaneResult& result = *loaded;
        QCOMPARE(result.shown->side, 64);
        QList<double> got, want; // shown (x, y) at index 64 y + x
        for (int i = 0; i < 64 * 64; ++i) {
            got << result.shown->value(i % 64, i / 64);
            want << 0;
            for (int l = first; l <= last; ++l)
                want.last() += file.sample(species, l, i / 64, 63 - i % 64);
        }
        QCOMPARE(got, want);
        QCOMPARE(result.shown->min, *std::min_element(want.begin(), want.end()));
        QCOMPARE(result.shown->max, *std::max_element(want.begin(), want.end()));
    }

    void fileLargerThan4GiB()
    {
        ImBuilder b;
        b.width = b.height = 512;
        b.nSpecies = 2;
        b.nPlanes = 4100; // 2,048 + 8,200 frames of 512 KiB = 4,299,163,648 bytes
        b.sample = [](int, int, int r, int k) { return quint32(r * 7 + k); };
        QFile f(m_dir.filePath("large.im"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(b.header()) == b.headerSize);
        QVERIFY(f.resize(b.expectedFileSize())); // sparse: only the last frame is written
        QVERIFY(f.seek(b.expectedFileSize() - b.frameSize()) &&
                f.write(b.frame(2, 4100)) == b.frameSize());
        f.close();
        Acquisition acquisition;
        QCOMPARE(acquisition.open(f.fileName()), ImFile::Status::Accepted);
        QVERIFY(acquisition.messages().isEmpty());
        QCOMPARE(rowText(acquisition.header(), 4100, "File Size:"), "4,299,163,648 bytes");
        acquisition.setLayer(4100);
        const Result<PlaneResult> r = acquisition.plane(acquisition.request({1, {}}));
        QVERIFY(r);
        QCOMPARE(r->shown->value(511 - 5, 3), 26.0); // r * 7 + k with r = 3, k = 5
        f.remove();
    }

    // Three runs of one field read as one acquisition give what one file of the same six layers
    // gives: each layer, sums with and without excluded layers, the depth profile and the drift
    // measured. Each run is read at its own offsets and in its own sample size.
    void chainedRuns()
    {
        const auto sample = [](int s, int p, int row, int k) {
            return FeatureFiles::scene(s, 63 - k - (p * 3) % 7 + 3, row - p % 4);
        };
        QVERIFY(FeatureFiles::small(2, 6, sample).write(m_dir.filePath("whole.im")));
        Acquisition one, chain;
        QCOMPARE(one.open(m_dir.filePath("whole.im")), ImFile::Status::Accepted);
        QStringList runs;
        for (int r = 0; r < 3; ++r) {
            ImBuilder run = FeatureFiles::small(
                2, 2, [=](int s, int p, int row, int k) { return sample(s, p + 2 * r, row, k); });
            run.headerSize = 2048 + 1024 * r;
            run.depth = r == 1 ? 4 : 2;
            runs << m_dir.filePath(QStringLiteral("run%1.im").arg(r + 1));
            QVERIFY(run.write(runs.last()));
            QCOMPARE(r == 0 ? chain.open(runs.last()) : chain.append(runs.last()),
                     ImFile::Status::Accepted);
        }
        QCOMPARE(chain.layerCount(), 6);
        // Every layer alone (what a depth profile is made of) and sums across the runs.
        for (const auto& [first, last] :
             {std::pair{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {1, 6}, {2, 5}})
            QCOMPARE(valuesOf(chain, first, last), valuesOf(one, first, last));
        QCOMPARE(isolumen::layerProfiles(*chain.file(), 0)->meanRow,
                 isolumen::layerProfiles(*one.file(), 0)->meanRow);
        for (Acquisition* a : {&one, &chain})
            a->setExcludedLayers({2, 5});
        QCOMPARE(valuesOf(chain, 1, 6), valuesOf(one, 1, 6));

        AlignRequest request;
        request.excluded = one.exclusionMask();
        const Result<Alignment> drift = alignLayers(*one.file(), request, nullptr);
        const Result<Alignment> chained = alignLayers(*chain.file(), request, nullptr);
        QVERIFY(drift && chained);
        QCOMPARE(chained->shifts, drift->shifts);
        one.setAlignment(std::make_shared<Alignment>(*drift));
        chain.setAlignment(std::make_shared<Alignment>(*chained));
        QCOMPARE(valuesOf(chain, 1, 6), valuesOf(one, 1, 6));

        // Saved as a list of acquisitions, and known again only by the same chain.
        chain.addRegion(*parseRegion("rect:1,1,5,5"));
        const QByteArray saved = isolumen::writeAnalysis(isolumen::analysisOf(chain));
        const QJsonObject doc = QJsonDocument::fromJson(saved).object();
        QVERIFY(!doc.contains("acquisition"));
        QCOMPARE(doc.value("acquisitions").toArray().at(2).toObject().value("name").toString(),
                 QString("run3.im"));
        const auto read = isolumen::readAnalysis(saved);
        QVERIFY(read);
        const isolumen::AnalysisFile& analysis = *read;
        QVERIFY(isolumen::sameAcquisition(analysis, chain));
        QVERIFY(!isolumen::sameAcquisition(analysis, one));
        QCOMPARE(isolumen::acquisitionArgument(analysis, m_dir.path()), runs.join('+'));
        Acquisition reopened;
        QCOMPARE(reopened.open(runs[0]), ImFile::Status::Accepted);
        for (const QString& run : runs.mid(1)) {
            QVERIFY(!isolumen::sameAcquisition(analysis, reopened));
            QCOMPARE(reopened.append(run), ImFile::Status::Accepted);
        }
        QVERIFY(isolumen::applyAnalysis(analysis, reopened).isEmpty());
        QCOMPARE(reopened.excludedLayers(), std::vector<int>({2, 5}));
        QCOMPARE(reopened.alignment()->shifts, drift->shifts);
        QCOMPARE(reopened.regions().size(), 1);
    }

    // A run that is not of the same field is refused, naming the file and what differs, and the
    // acquisition stays as it was.
    void chainRefused()
    {
        const ImBuilder first = FeatureFiles::small(2, 1, [](int, int, int, int) { return 1u; });
        ImBuilder side = first, species = first, label = first;
        side.width = side.height = 128;
        species.nSpecies = 3;
        species.labels << "14N";
        label.labels[1] = "13N";
        Acquisition a;
        QVERIFY(first.write(m_dir.filePath("first.im")));
        QCOMPARE(a.open(m_dir.filePath("first.im")), ImFile::Status::Accepted);
        for (const auto& [run, why] :
             {std::pair{side, "its side differs (128 x 128 pixels, not 64 x 64)."},
              {species, "its number of species differs (3, not 2)."},
              {label, "its label 2 differs (13N, not 13C)."}}) {
            QVERIFY(run.write(m_dir.filePath("next.im")));
            const Result<ImFile::Status> appended = a.append(m_dir.filePath("next.im"));
            QVERIFY(!appended);
            QCOMPARE(appended.error().message,
                     QString("next.im cannot be appended to first.im: ") + why);
        }
        QCOMPARE(a.layerCount(), 1);
    }

    void instrumentFiles_data()
    {
        QTest::addColumn<QString>("name"); // the end of the file's name
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<int>("planes");
        QTest::addColumn<QList<double>>(
            "ranges"); // min, max of layer 1 per species; none: no frames
        const QStringList four{"12C ", "13C ", "12C 14N ", "12C 15N "};
        const QStringList grain{"12C2 ", "12C 13C ", "12C 14N ", "12C 15N ",
                                "28Si ", "",         "29Si ",    "30Si "};
        QTest::newRow("040702, 512 x 512") << "040702_06-05mos-03a.im" << four << 1
                                           << QList<double>{462, 2659, 0, 604, 304, 3071, 0, 54};
        QTest::newRow("051117, version 9") << "051117_05-32dRe-03b.im" << four << 1
                                           << QList<double>{123, 9884, 0, 124, 307, 9419, 0, 70};
        QTest::newRow("image_sun, version 11")
            << "image_sun.im" << QStringList{"12C ", "16O ", "18O ", "12C 14N ", "12C 15N ", "S.E."}
            << 2 << QList<double>{0, 9781, 0, 8862, 0, 26, 0, 3931, 0, 25, 100, 11395};
        QTest::newRow("RTIimage: little-endian, 4 bytes")
            << "RTIimage.im" << QStringList{"12C2 ", "S.E."} << 1 << QList<double>{0, 39, 0, 7};
        for (const char* name :
             {"grain_mode_cameca.im", "grain_mode_ciw.im", "line_scan_beam_control.im"})
            QTest::newRow(name) << name << grain << 0 << QList<double>{};
    }

    // Each recorded file is accepted without messages; layer 1 of every species reads with the
    // extremes an independent decode found.
    void instrumentFiles()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, labels);
        QFETCH(int, planes);
        QFETCH(QList<double>, ranges);
        const QDir dir(ISOLUMEN_REALDATA);
        const QStringList found = dir.entryList({"*" + name});
        if (found.size() != 1)
            QSKIP(qPrintable("The instrument file *" + name + " is absent from " + dir.path()));
        Acquisition acquisition;
        QCOMPARE(acquisition.open(dir.filePath(found.first())), ImFile::Status::Accepted);
        QCOMPARE(acquisition.header().species, labels);
        QCOMPARE(acquisition.header().planeCount, planes);
        QVERIFY2(acquisition.messages().isEmpty(), qPrintable(acquisition.messages().join(' ')));
        QCOMPARE(acquisition.unshowableReason().isEmpty(), !ranges.isEmpty());
        for (int s = 0; s < ranges.size() / 2; ++s) {
            const Result<PlaneResult> r = acquisition.plane(acquisition.request({s, {}}));
            QVERIFY(r);
            QCOMPARE(QList<double>({r->shown->min, r->shown->max}), ranges.mid(2 * s, 2));
        }
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestImFile)
#include "tst_imfile.moc"
