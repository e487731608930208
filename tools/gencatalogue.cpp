// Writes the twenty colour table texts that the viewer compiles in
// (src/core/colour/colourtables.txt):
//
//     gencatalogue > src/core/colour/colourtables.txt
//     gencatalogue --check src/core/colour/colourtables.txt    (exit status 1 when they differ)
//
// Each table is given by anchor entries; the entries between two anchors are interpolated
// linearly, channel by channel, and rounded. The anchors at 1, 32, 64, ..., 224 and 254 are the
// fixed entries of each table; the others keep a table's character (where a rainbow passes
// pure cyan, green or yellow, where a hot-metal ramp reaches full red). The two
// grey ramps "07" and "09" follow their level rule instead. Entry 0 is white and entry 255 black
// in every table, and each line is the name followed by the 256 entries in decimal, all
// separated by ",".

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Anchor
{
    int entry;
    std::uint32_t rgb; // 0xRRGGBB
};

struct TableRecipe
{
    const char* name;
    std::vector<Anchor> anchors; // ascending entries from 1 to 254; empty for a rule table
};

// clang-format off
const std::array<TableRecipe, 20> kTables{{
    {"01 Hot Metal", {
        {1, 0x010000}, {32, 0x350000}, {64, 0x6D0000}, {96, 0xA50000}, {128, 0xDE0000},
        {150, 0xFF0000},                                    // full red, then green ramps
        {160, 0xFF1700}, {192, 0xFF7600}, {224, 0xFFD400}, {254, 0xFFFF00}}},
    {"02 Hot Metal Light", {
        {1, 0x020000}, {32, 0xA20000},
        {50, 0xFF0000},                                     // full red a hundred entries early
        {64, 0xFF1100}, {96, 0xFF3900}, {128, 0xFF6100}, {160, 0xFF8900}, {192, 0xFFB200},
        {224, 0xFFDA00}, {254, 0xFFFF00}}},
    {"03 White-Yellow-Red-Black", {
        {1, 0xFFFFFF}, {32, 0xFFFE98}, {64, 0xFFFF2E},
        {78, 0xFFFF00},                                     // pure yellow
        {87, 0xFEFF00},                                     // green starts to fall
        {96, 0xFEE900}, {128, 0xFE9A00}, {160, 0xFE4A00}, {192, 0xFE0000}, {224, 0xA30000},
        {254, 0x000000}}},
    {"04 Earth", {
        {1, 0x000000}, {32, 0x1D0024}, {64, 0x2D0058}, {96, 0x0234A4},
        {110, 0x0096C4},                                    // cyan on the way to sea green
        {128, 0x73DDD0},
        {145, 0xC6FBDE}, {146, 0x1B3C28},                   // the coast: sea green to land
        {160, 0x8BCF1A}, {192, 0xBE542B}, {224, 0xFAEEE7}, {254, 0xFEFEFE}}},
    {"05 Earth-Land Tones", {
        {1, 0x187914}, {32, 0x56AD16}, {64, 0xBAE21C}, {96, 0xEBC71F}, {128, 0xD07421},
        {160, 0xBF5634}, {192, 0xD68C6D}, {224, 0xECCAB5}, {254, 0xF9ECE4}}},
    {"06 Earth-Sea Tones", {
        {1, 0x000000}, {32, 0x0A000B}, {64, 0x200029}, {96, 0x300045}, {128, 0x1E0072},
        {160, 0x02219D}, {192, 0x2D8FBE}, {224, 0x77DFCF}, {254, 0xCBF7DC}}},
    {"07 GrayScale", {}},
    {"08 GrayScale-Squeezed", {
        {1, 0x000000}, {32, 0x101010}, {64, 0x212121}, {96, 0x353535}, {128, 0x828282},
        {160, 0xD7D7D7}, {192, 0xE8E8E8}, {224, 0xF2F2F2}, {254, 0xFBFBFB}}},
    {"09 GrayScale-Inverted", {}},
    {"10 Rainbow", {
        {1, 0x7C00FF},
        {29, 0x0000FF},                                     // blue
        {32, 0x000FFE}, {64, 0x009EFE},
        {85, 0x00FEFE},                                     // cyan
        {96, 0x00FECD}, {128, 0x00FE3E},
        {142, 0x00FE00},                                    // green
        {160, 0x52FE00}, {192, 0xE1FE00},
        {198, 0xFEFE00},                                    // yellow
        {224, 0xFE8B00}, {254, 0xFF0000}}},
    {"11 Rainbow-(Dark->Light)", {
        {1, 0x000000}, {32, 0x000335}, {64, 0x00436C}, {96, 0x00A484}, {128, 0x00DB35},
        {142, 0x00EE18},                                    // green
        {160, 0x52FF00}, {192, 0xE2FF00},
        {198, 0xFFFF00},                                    // yellow
        {224, 0xFF8C00}, {254, 0xFF0400}}},
    {"12 Rainbow-(Dark->Light)-NoGreen", {
        {1, 0x000000}, {32, 0x180039}, {64, 0x000974}, {96, 0x0069AF}, {128, 0x00EAB9},
        {160, 0xFFC000}, {192, 0xFF6400}, {224, 0xFF1000}, {254, 0xFF006C}}},
    {"13 Rainbow-(Dark->Light)-Pastel", {
        {1, 0x240421}, {32, 0x8B28C4}, {64, 0x4625FF}, {96, 0x276CF8}, {128, 0x79CDE0},
        {160, 0x56CE96}, {192, 0xCFAB09}, {224, 0xF65C20}, {254, 0xE90000}}},
    {"14 Rainbow-Dark", {
        {1, 0x150020}, {32, 0x290099}, {64, 0x001DCB}, {96, 0x007BD9}, {128, 0x00D6D0},
        {160, 0x87A600}, {192, 0xC89000}, {224, 0xEC2B00}, {254, 0xFF0000}}},
    {"15 Rainbow-Darker", {
        {1, 0x5200A7},
        {29, 0x0000A7},                                     // blue
        {32, 0x0009A7}, {64, 0x0068A7},
        {85, 0x00A7A7},                                     // cyan
        {96, 0x00A786}, {128, 0x00A728},
        {142, 0x00A700},                                    // green
        {160, 0x36A700}, {192, 0x94A700},
        {198, 0xA7A700},                                    // yellow
        {224, 0xA75B00}, {254, 0xA70300}}},
    {"16 Rainbow-Light", {
        {1, 0xAD5EFF},
        {29, 0x5E5EFF},                                     // blue
        {32, 0x5E68FF}, {64, 0x5EC3FF},
        {85, 0x5EFFFF},                                     // cyan
        {96, 0x5EFFE0}, {128, 0x5EFF86},
        {142, 0x5EFF5E},                                    // green
        {160, 0x92FF5E}, {192, 0xEDFF5E},
        {198, 0xFFFF5E},                                    // yellow
        {224, 0xFFB65E}, {254, 0xFF615E}}},
    {"17 Rainbow-Reduced Green", {
        {1, 0x400078}, {32, 0x0F00C7}, {64, 0x0036D9}, {96, 0x0083E1}, {128, 0x00D6E1},
        {160, 0x15CF00}, {192, 0xC4A200}, {224, 0xDF4000}, {254, 0xF80000}}},
    {"18 Rainbow-Squeezed", {
        {1, 0xB800FF}, {32, 0x5800FF}, {64, 0x000BFF}, {96, 0x00AEFF},
        {110, 0x00F0FF},                                    // cyan
        {128, 0x1BFE00}, {160, 0xFFB500}, {192, 0xFF7000}, {224, 0xFF3600}, {254, 0xFF0000}}},
    {"19 Rainbow-Temperature", {
        {1, 0x54004C}, {32, 0x3E0082}, {64, 0x001DB2}, {96, 0x57C7E1}, {128, 0xDAFFEE},
        {160, 0x34FE1E}, {192, 0xBDFF00}, {224, 0xFF9B00}, {254, 0xFF0100}}},
    {"20 World Colors Rainbow", {
        {1, 0x00002A}, {32, 0x1B004A}, {64, 0x000E6C}, {96, 0x005B8D}, {128, 0x00AF78},
        {160, 0xC3D000}, {192, 0xF2A900}, {224, 0xFF5700}, {254, 0xFF0000}}},
}};
// clang-format on

constexpr std::uint32_t kWhite = 0xFFFFFF;

// Grey level of entry i (1 to 254) of "07 GrayScale": the 254 entries spread over the 256 levels
// by leaving out levels 86 and 172, so that entry 254 is full white.
int grayLevel(int i)
{
    if (i <= 86)
        return i - 1;
    if (i <= 171)
        return i;
    return i + 1;
}

std::uint32_t gray(int level)
{
    const auto g = std::uint32_t(level);
    return g << 16 | g << 8 | g;
}

int channel(std::uint32_t rgb, int shift)
{
    return int(rgb >> shift & 0xFF);
}

std::array<std::uint32_t, 256> interpolate(const std::vector<Anchor>& anchors)
{
    std::array<std::uint32_t, 256> t{};
    for (std::size_t k = 0; k + 1 < anchors.size(); ++k) {
        const Anchor a = anchors[k];
        const Anchor b = anchors[k + 1];
        for (int j = a.entry; j <= b.entry; ++j) {
            const double f = double(j - a.entry) / double(b.entry - a.entry);
            std::uint32_t rgb = 0;
            for (int shift : {16, 8, 0}) {
                const int ca = channel(a.rgb, shift);
                const int cb = channel(b.rgb, shift);
                rgb |= std::uint32_t(std::lround(ca + (cb - ca) * f)) << shift;
            }
            t[std::size_t(j)] = rgb;
        }
    }
    return t;
}

std::array<std::uint32_t, 256> entries(const TableRecipe& recipe)
{
    std::array<std::uint32_t, 256> t{};
    const std::string name = recipe.name;
    if (name == "07 GrayScale") {
        for (int i = 1; i <= 254; ++i)
            t[std::size_t(i)] = gray(grayLevel(i));
        t[5] = 0x040403; // the one entry that has always departed from the rule
    } else if (name == "09 GrayScale-Inverted") {
        for (int i = 1; i <= 254; ++i)
            t[std::size_t(i)] = gray(grayLevel(255 - i));
    } else {
        t = interpolate(recipe.anchors);
    }
    t[0] = kWhite;
    t[255] = 0;
    return t;
}

std::string catalogueText()
{
    std::ostringstream out;
    for (const TableRecipe& recipe : kTables) {
        out << recipe.name;
        for (std::uint32_t v : entries(recipe))
            out << ',' << v;
        out << '\n';
    }
    return out.str();
}

// The anchors are hand-written, so make sure they cover entries 1 to 254 in order before
// writing anything.
bool anchorsWellFormed()
{
    bool ok = true;
    for (const TableRecipe& recipe : kTables) {
        if (recipe.anchors.empty())
            continue;
        bool ordered = recipe.anchors.front().entry == 1 && recipe.anchors.back().entry == 254;
        for (std::size_t k = 0; k + 1 < recipe.anchors.size(); ++k)
            ordered = ordered && recipe.anchors[k].entry < recipe.anchors[k + 1].entry;
        if (!ordered) {
            std::fprintf(stderr, "gencatalogue: anchors of \"%s\" must rise from 1 to 254\n",
                         recipe.name);
            ok = false;
        }
    }
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::printf("usage: gencatalogue [--check FILE]\n"
                    "Prints the colour table texts the anchors give, or checks that FILE holds "
                    "them.\n");
        return 0;
    }
    if (!anchorsWellFormed())
        return 2;
    const std::string text = catalogueText();
    if (argc == 1) {
        std::cout << text;
        return std::cout ? 0 : 2;
    }
    if (argc == 3 && std::string(argv[1]) == "--check") {
        std::ifstream in(argv[2], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "gencatalogue: cannot read %s\n", argv[2]);
            return 2;
        }
        const std::string committed{std::istreambuf_iterator<char>(in), {}};
        if (committed != text) {
            std::fprintf(stderr, "gencatalogue: %s is not what the anchors give; regenerate it\n",
                         argv[2]);
            return 1;
        }
        return 0;
    }
    std::fprintf(stderr, "usage: gencatalogue [--check FILE]\n");
    return 2;
}
