#include "colour/catalogue.h"

#include <QFile>
#include <QTest>

namespace {

// Six hexadecimal digits RRGGBB, so that a failing comparison reads like the table below.
QString hex(QRgb c)
{
    return QStringLiteral("%1").arg(c & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
}

QString hex(int table, int entry)
{
    return hex(Globals::lut(table, entry));
}

// Grey of entry i (1 to 254) of "07 GrayScale", written out independently of the tables:
// levels 86 and 172 are left out.
QString gray(int i)
{
    const int level = i <= 86 ? i - 1 : i <= 171 ? i : i + 1;
    return hex(qRgb(level, level, level));
}

// Twenty tables, all black but for the usual white entry 0.
QStringList wellFormedLines()
{
    QStringList lines;
    for (int i = 1; i <= 20; ++i)
        lines << QStringLiteral("%1 Table,16777215").arg(i, 2, 10, QLatin1Char('0')) +
                     QStringLiteral(",0").repeated(255);
    return lines;
}

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void tables_data();
    void tables();
    void grayScalesAndLandmarks();
    void everyTextHas257Fields();
    void parse_data();
    void parse();
};

void TestCatalogue::tables_data()
{
    QTest::addColumn<int>("table");
    QTest::addColumn<QString>("colours"); // entries 1, 32, 64, ..., 224, 254
    const auto row = [](int table, const char* name, const char* colours) {
        QTest::newRow(name) << table << QString::fromLatin1(colours);
    };
    // clang-format off
    row(0, "01 Hot Metal", "010000 350000 6D0000 A50000 DE0000 FF1700 FF7600 FFD400 FFFF00");
    row(1, "02 Hot Metal Light", "020000 A20000 FF1100 FF3900 FF6100 FF8900 FFB200 FFDA00 FFFF00");
    row(2, "03 White-Yellow-Red-Black", "FFFFFF FFFE98 FFFF2E FEE900 FE9A00 FE4A00 FE0000 A30000 000000");
    row(3, "04 Earth", "000000 1D0024 2D0058 0234A4 73DDD0 8BCF1A BE542B FAEEE7 FEFEFE");
    row(4, "05 Earth-Land Tones", "187914 56AD16 BAE21C EBC71F D07421 BF5634 D68C6D ECCAB5 F9ECE4");
    row(5, "06 Earth-Sea Tones", "000000 0A000B 200029 300045 1E0072 02219D 2D8FBE 77DFCF CBF7DC");
    row(6, "07 GrayScale", "000000 1F1F1F 3F3F3F 606060 808080 A0A0A0 C1C1C1 E1E1E1 FFFFFF");
    row(7, "08 GrayScale-Squeezed", "000000 101010 212121 353535 828282 D7D7D7 E8E8E8 F2F2F2 FBFBFB");
    row(8, "09 GrayScale-Inverted", "FFFFFF E0E0E0 C0C0C0 9F9F9F 7F7F7F 5F5F5F 3E3E3E 1E1E1E 000000");
    row(9, "10 Rainbow", "7C00FF 000FFE 009EFE 00FECD 00FE3E 52FE00 E1FE00 FE8B00 FF0000");
    row(10, "11 Rainbow-(Dark->Light)", "000000 000335 00436C 00A484 00DB35 52FF00 E2FF00 FF8C00 FF0400");
    row(11, "12 Rainbow-(Dark->Light)-NoGreen", "000000 180039 000974 0069AF 00EAB9 FFC000 FF6400 FF1000 FF006C");
    row(12, "13 Rainbow-(Dark->Light)-Pastel", "240421 8B28C4 4625FF 276CF8 79CDE0 56CE96 CFAB09 F65C20 E90000");
    row(13, "14 Rainbow-Dark", "150020 290099 001DCB 007BD9 00D6D0 87A600 C89000 EC2B00 FF0000");
    row(14, "15 Rainbow-Darker", "5200A7 0009A7 0068A7 00A786 00A728 36A700 94A700 A75B00 A70300");
    row(15, "16 Rainbow-Light", "AD5EFF 5E68FF 5EC3FF 5EFFE0 5EFF86 92FF5E EDFF5E FFB65E FF615E");
    row(16, "17 Rainbow-Reduced Green", "400078 0F00C7 0036D9 0083E1 00D6E1 15CF00 C4A200 DF4000 F80000");
    row(17, "18 Rainbow-Squeezed", "B800FF 5800FF 000BFF 00AEFF 1BFE00 FFB500 FF7000 FF3600 FF0000");
    row(18, "19 Rainbow-Temperature", "54004C 3E0082 001DB2 57C7E1 DAFFEE 34FE1E BDFF00 FF9B00 FF0100");
    row(19, "20 World Colors Rainbow", "00002A 1B004A 000E6C 005B8D 00AF78 C3D000 F2A900 FF5700 FF0000");
    // clang-format on
}

// Each table's name (numbered from 01), its listed entries, and entry 0 white, 255 black.
void TestCatalogue::tables()
{
    QFETCH(int, table);
    QFETCH(QString, colours);
    QCOMPARE(Globals::lutname(table), QString::fromLatin1(QTest::currentDataTag()));
    QStringList got;
    for (int j : {0, 1, 32, 64, 96, 128, 160, 192, 224, 254, 255})
        got << hex(table, j);
    QCOMPARE(got, ("FFFFFF " + colours + " 000000").split(' '));
}

void TestCatalogue::grayScalesAndLandmarks()
{
    for (int i = 1; i <= 254; ++i) {
        if (i != 5)
            QCOMPARE(hex(6, i), gray(i));
        QCOMPARE(hex(8, i), gray(255 - i)); // "09 GrayScale-Inverted": the same, backwards
    }
    QCOMPARE(hex(6, 5), "040403");
    QCOMPARE(hex(6, 86), "555555");
    QCOMPARE(hex(6, 87), "575757");
    // "04 Earth" jumps at the coast.
    QCOMPARE(hex(3, 145), "C6FBDE");
    QCOMPARE(hex(3, 146), "1B3C28");
}

void TestCatalogue::everyTextHas257Fields()
{
    Globals::catalogue(); // registers the compiled-in resource
    QFile file(QStringLiteral(":/colour/colourtables.txt"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString texts = QString::fromLatin1(file.readAll());
    QString error;
    QVERIFY2(parseCatalogue(texts, &error), qPrintable(error));
    const QStringList lines = texts.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 20);
    for (const QString& line : lines)
        QCOMPARE(line.split(',').size(), 257);
}

void TestCatalogue::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error"); // empty: accepted
    const QStringList lines = wellFormedLines();
    auto damaged = [&](int table, const QString& line) {
        QStringList copy = lines;
        copy[table] = line;
        return copy.join('\n');
    };
    const QString line = lines[4];
    QTest::newRow("CRLF line ends, trailing blank lines") << lines.join("\r\n") + "\r\n\n"
                                                          << "";
    QTest::newRow("nineteen tables") << lines.mid(1).join('\n') << "19 tables instead of 20";
    QTest::newRow("entry missing")
        << damaged(4, line.left(line.lastIndexOf(','))) << "table 5 has 256 fields instead of 257";
    QTest::newRow("trailing separator")
        << damaged(4, line + ",") << "table 5 has 258 fields instead of 257";
    QTest::newRow("no name") << damaged(0, lines[0].mid(lines[0].indexOf(',')))
                             << "table 1 has no name";
    QTest::newRow("not a number") << damaged(19, QString(line).replace(",16777215,", ",white,"))
                                  << "entry 0 of table 20 is not a colour: \"white\"";
    QTest::newRow("blank around a value")
        << damaged(2, QString(line).replace(",16777215,", ", 16777215,"))
        << "entry 0 of table 3 is not a colour: \" 16777215\"";
    QTest::newRow("beyond 24 bits") << damaged(2, QString(line).replace(",16777215,", ",16777216,"))
                                    << "entry 0 of table 3 is not a colour: \"16777216\"";
}

void TestCatalogue::parse()
{
    QFETCH(QString, text);
    QFETCH(QString, error);
    QString got;
    QCOMPARE(parseCatalogue(text, &got).has_value(), error.isEmpty());
    QCOMPARE(got, error);
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
