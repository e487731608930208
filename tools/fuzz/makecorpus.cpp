// Writes the fuzzer's seed corpus: small files of every layout the reader knows.
#include "../toolusage.h"
#include "imbuilder.h"

#include <QCoreApplication>
#include <QDir>

using namespace isolumen;

int main(int argc, char** argv)
{
    constexpr const char* usage = "usage: makecorpus FOLDER\n"
                                  "Writes the fuzzers' seed .im files into FOLDER.\n";
    if (const std::optional<int> status = usageAnswer(argc, argv, usage))
        return *status;
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "%s", usage);
        return 2;
    }
    QDir out(QString::fromLocal8Bit(argv[1]));
    out.mkpath(QStringLiteral("."));

    ImBuilder classic;
    classic.headerSize = 10000;
    classic.nSpecies = 2;
    classic.labels = {"12C", ""};
    classic.width = classic.height = 64;
    classic.nPlanes = 2;
    classic.sample = [](int s, int p, int r, int k) { return quint32(s * 31 + p * 7 + r * k); };
    bool ok = classic.write(out.filePath(QStringLiteral("classic.im")));
    ok = classic.write(out.filePath(QStringLiteral("short.im")), -3000) && ok;

    ImBuilder later = classic;
    later.version = 9;
    later.marker = "GRAIN MODE - IMAGE";
    ok = later.write(out.filePath(QStringLiteral("version9.im"))) && ok;

    ImBuilder little = classic;
    little.byteOrder = QDataStream::LittleEndian;
    little.version = 4108;
    little.depth = 4;
    little.marker = "NANOSIMS 50 - IMAGE RTI";
    ok = little.write(out.filePath(QStringLiteral("little4.im"))) && ok;

    ImBuilder headerOnly = little;
    headerOnly.nPlanes = 0;
    headerOnly.headerSize = 12000;
    ok = headerOnly.write(out.filePath(QStringLiteral("headeronly.im"))) && ok;
    return ok ? 0 : 1;
}
