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

// Grey level of entry i (1 to 254) of "07 GrayScale", written out independently of the tables:
// levels 86 and 172 are left out.
int grayLevel(int i)
{
    return i <= 86 ? i - 1 : i <= 171 ? i : i + 1;
}

QString grayHex(int level)
{
    return hex(qRgb(level, level, level));
}

QString compiledTexts()
{
    Globals::catalogue(); // registers the compiled-in resource
    QFile file(QStringLiteral(":/colour/colourtables.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll());
}

// A well-formed text of twenty tables, all black but for the usual white entry 0.
QString wellFormedTexts()
{
    QString text;
    for (int i = 1; i <= 20; ++i) {
        text += QStringLiteral("%1 Table,16777215").arg(i, 2, 10, QLatin1Char('0'));
        for (int j = 1; j < 256; ++j)
            text += QStringLiteral(",0");
        text += QLatin1Char('\n');
    }
    return text;
}

constexpr int kListed[9] = {1, 32, 64, 96, 128, 160, 192, 224, 254};

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void everyTableRunsFromWhiteToBlack();
    void namesAreNumberedFromOne();
    void listedEntries_data();
    void listedEntries();
    void grayScaleFollowsItsLevelRule();
    void grayScaleLandmarks();
    void invertedGrayScaleFollowsTheRuleBackwards();
    void earthJumpsAtTheCoast();
    void hotMetalHasNoBlueAndRedComesFirst();
    void everyTextHas257Fields();
    void damagedTextsAreRefused_data();
    void damagedTextsAreRefused();
    void lineEndsAndTrailingLinesAreTolerated();
};

void TestCatalogue::everyTableRunsFromWhiteToBlack()
{
    for (int i = 0; i < 20; ++i) {
        QCOMPARE(hex(i, 0), QStringLiteral("FFFFFF"));
        QCOMPARE(hex(i, 255), QStringLiteral("000000"));
    }
}

void TestCatalogue::namesAreNumberedFromOne()
{
    for (int i = 0; i < 20; ++i) {
        QCOMPARE(Globals::lutname(i).left(3), QStringLiteral("%1 ").arg(i + 1, 2, 10, QChar('0')));
    }
    QCOMPARE(Globals::lutname(9), QStringLiteral("10 Rainbow"));
}

void TestCatalogue::listedEntries_data()
{
    QTest::addColumn<int>("table");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("colours"); // entries 1, 32, 64, ..., 224, 254
    const auto row = [](int table, const char* name, const QString& colours) {
        QTest::newRow(name) << table << QString::fromLatin1(name) << colours.split(' ');
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

void TestCatalogue::listedEntries()
{
    QFETCH(int, table);
    QFETCH(QString, name);
    QFETCH(QStringList, colours);
    QCOMPARE(Globals::lutname(table), name);
    QCOMPARE(colours.size(), 9);
    for (int k = 0; k < 9; ++k) {
        QVERIFY2(hex(table, kListed[k]) == colours[k],
                 qPrintable(QStringLiteral("entry %1 is %2, not %3")
                                .arg(kListed[k])
                                .arg(hex(table, kListed[k]), colours[k])));
    }
}

void TestCatalogue::grayScaleFollowsItsLevelRule()
{
    for (int i = 1; i <= 254; ++i) {
        if (i != 5)
            QCOMPARE(hex(6, i), grayHex(grayLevel(i)));
    }
}

void TestCatalogue::grayScaleLandmarks()
{
    QCOMPARE(hex(6, 5), QStringLiteral("040403"));
    QCOMPARE(hex(6, 86), QStringLiteral("555555"));
    QCOMPARE(hex(6, 87), QStringLiteral("575757"));
}

void TestCatalogue::invertedGrayScaleFollowsTheRuleBackwards()
{
    for (int i = 1; i <= 254; ++i)
        QCOMPARE(hex(8, i), grayHex(grayLevel(255 - i)));
}

void TestCatalogue::earthJumpsAtTheCoast()
{
    QCOMPARE(hex(3, 145), QStringLiteral("C6FBDE"));
    QCOMPARE(hex(3, 146), QStringLiteral("1B3C28"));
}

void TestCatalogue::hotMetalHasNoBlueAndRedComesFirst()
{
    for (int table : {0, 1}) {
        for (int j = 1; j <= 254; ++j) {
            const QRgb c = Globals::lut(table, j);
            QCOMPARE(qBlue(c), 0);
            if (qGreen(c) > 0)
                QCOMPARE(qRed(c), 255);
        }
    }
    QCOMPARE(qRed(Globals::lut(0, 150)), 255);
    QVERIFY(qRed(Globals::lut(0, 149)) < 255);
    QCOMPARE(qRed(Globals::lut(1, 50)), 255);
    QVERIFY(qRed(Globals::lut(1, 49)) < 255);
}

void TestCatalogue::everyTextHas257Fields()
{
    const QString texts = compiledTexts();
    QString error;
    QVERIFY2(parseCatalogue(texts, &error), qPrintable(error));
    const QStringList lines = texts.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 20);
    for (const QString& line : lines)
        QCOMPARE(line.split(',').size(), 257);
}

void TestCatalogue::damagedTextsAreRefused_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    const QString good = wellFormedTexts();
    QStringList lines = good.split('\n', Qt::SkipEmptyParts);

    QTest::newRow("empty") << QString() << "0 tables instead of 20";
    QTest::newRow("nineteen tables")
        << QStringList(lines.mid(1)).join('\n') << "19 tables instead of 20";
    QTest::newRow("blank line between tables")
        << QStringList(lines.mid(0, 3)).join('\n') + "\n\n" + QStringList(lines.mid(3)).join('\n')
        << "21 tables instead of 20";

    auto damaged = [&](int table, const QString& line) {
        QStringList copy = lines;
        copy[table] = line;
        return copy.join('\n');
    };
    QString line = lines[4];
    QTest::newRow("entry missing")
        << damaged(4, line.left(line.lastIndexOf(','))) << "table 5 has 256 fields instead of 257";
    QTest::newRow("entry too many")
        << damaged(4, line + ",0") << "table 5 has 258 fields instead of 257";
    QTest::newRow("trailing separator")
        << damaged(4, line + ",") << "table 5 has 258 fields instead of 257";
    QTest::newRow("no name") << damaged(0, lines[0].mid(lines[0].indexOf(',')))
                             << "table 1 has no name";
    QTest::newRow("not a number") << damaged(19, QString(line).replace(",16777215,", ",white,"))
                                  << "entry 0 of table 20 is not a colour: \"white\"";
    QTest::newRow("negative") << damaged(2, QString(line).replace(",16777215,", ",-1,"))
                              << "entry 0 of table 3 is not a colour: \"-1\"";
    QTest::newRow("blank around a value")
        << damaged(2, QString(line).replace(",16777215,", ", 16777215,"))
        << "entry 0 of table 3 is not a colour: \" 16777215\"";
    QTest::newRow("beyond 24 bits") << damaged(2, QString(line).replace(",16777215,", ",16777216,"))
                                    << "entry 0 of table 3 is not a colour: \"16777216\"";
    QTest::newRow("beyond 32 bits")
        << damaged(2, QString(line).replace(",16777215,", ",4294967296,"))
        << "entry 0 of table 3 is not a colour: \"4294967296\"";
}

void TestCatalogue::damagedTextsAreRefused()
{
    QFETCH(QString, text);
    QFETCH(QString, error);
    QString got;
    QVERIFY(!parseCatalogue(text, &got));
    QCOMPARE(got, error);
}

void TestCatalogue::lineEndsAndTrailingLinesAreTolerated()
{
    QString text = wellFormedTexts();
    text.replace("\n", "\r\n");
    text += "\r\n\n";
    const std::optional<Catalogue> c = parseCatalogue(text);
    QVERIFY(c);
    QCOMPARE(c->lutname[19], QStringLiteral("20 Table"));
    QCOMPARE(hex(c->lut[19][0]), QStringLiteral("FFFFFF"));
    QCOMPARE(hex(c->lut[19][255]), QStringLiteral("000000"));
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
