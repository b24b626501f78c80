// SPDX-License-Identifier: MIT
#include "paper/codepage.h"

#include <iconv.h>

#include <array>
#include <memory>

namespace quorvel::printer {
namespace {

// Hand tables, upper halves 0x80..0xFF, for pages that glibc's iconv does
// not have; 0 leaves a byte empty (or, for a table with an iconv part,
// takes iconv's character).

// PC720 (Arabic), generated once from Python's cp720 codec (Python is not
// needed to build or run). 0x80..0x90 hold a few Latin letters between
// empty cells.
constexpr char32_t PC720_HIGH[128] = {
    0x0000, 0x0000, 0x00E9, 0x00E2, 0x0000, 0x00E0, 0x0000, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x0000, 0x0000, 0x0000, 0x0000, 0x0651, 0x0652, 0x00F4, 0x00A4, 0x0640, 0x00FB, 0x00F9,
    0x0621, 0x0622, 0x0623, 0x0624, 0x00A3, 0x0625, 0x0626, 0x0627, 0x0628, 0x0629, 0x062A, 0x062B,
    0x062C, 0x062D, 0x062E, 0x062F, 0x0630, 0x0631, 0x0632, 0x0633, 0x0634, 0x0635, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x0636, 0x0637, 0x0638, 0x0639, 0x063A, 0x0641, 0x00B5, 0x0642, 0x0643, 0x0644, 0x0645, 0x0646,
    0x0647, 0x0648, 0x0649, 0x064A, 0x2261, 0x064B, 0x064C, 0x064D, 0x064E, 0x064F, 0x0650, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// PC853 (Turkish, Maltese, Esperanto: Latin 3 in the PC850 layout), from
// the published code chart.
constexpr char32_t PC853_HIGH[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x0109, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x0108, 0x00C9, 0x010B, 0x010A, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x0130, 0x00D6, 0x00DC, 0x011D, 0x00A3, 0x011C, 0x00D7, 0x0135, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x011E, 0x011F, 0x0124, 0x0125, 0x0000, 0x00BD, 0x0134, 0x015F, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0, 0x015E, 0x2563, 0x2551, 0x2557,
    0x255D, 0x017B, 0x017C, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x015C, 0x015D,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4, 0x0000, 0x0000, 0x00CA, 0x00CB,
    0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x0000, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x0120, 0x0121, 0x00B5, 0x0126, 0x0127, 0x00DA, 0x00DB, 0x00D9,
    0x016C, 0x016D, 0x0000, 0x00B4, 0x00AD, 0x0000, 0x2113, 0x0149, 0x02D8, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x02D9, 0x0000, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};

// Katakana: block and line graphics around the half-width katakana of
// JIS X 0201 (0xA1..0xDF, taken from iconv), then card suits, a few kanji
// of dates and addresses.
constexpr char32_t KATAKANA_HIGH[128] = {
    0x2581, 0x2582, 0x2583, 0x2584, 0x2585, 0x2586, 0x2587, 0x2588, 0x258F, 0x258E, 0x258D, 0x258C,
    0x258B, 0x258A, 0x2589, 0x253C, 0x2534, 0x252C, 0x2524, 0x251C, 0x2594, 0x2500, 0x2502, 0x2595,
    0x250C, 0x2510, 0x2514, 0x2518, 0x256D, 0x256E, 0x2570, 0x256F, 0x00A0, 0x0000, 0x0000, 0x0000,
    0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
    0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
    0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
    0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
    0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
    0x2550, 0x255E, 0x256A, 0x2561, 0x25E2, 0x25E3, 0x25E5, 0x25E4, 0x2660, 0x2665, 0x2666, 0x2663,
    0x25CF, 0x25CB, 0x2571, 0x2572, 0x2573, 0x5186, 0x5E74, 0x6708, 0x65E5, 0x6642, 0x5206, 0x79D2,
    0x3012, 0x5E02, 0x533A, 0x753A, 0x6751, 0x4EBA, 0x2593, 0x00A0,
};

struct TableDef {
    int number;
    const char* name;
    const char* iconv;     // glibc codeset; nullptr for a hand table
    uint8_t first = 0x20;  // bytes taken from iconv: first..last
    uint8_t last = 0xFF;   // (outside the range: ASCII, then the hand table)
    const char32_t* hand = nullptr;
};

// ESC t n: every single-byte table Epson-compatible 80 mm printers list.
// 6..8 (Hiragana and Kanji pages) and 254, 255 (user-defined) are left out.
constexpr TableDef TABLES[] = {
    {0, "PC437", "CP437"},
    {1, "Katakana", "SJIS", 0xA1, 0xDF, KATAKANA_HIGH},
    {2, "PC850", "CP850"},
    {3, "PC860", "CP860"},
    {4, "PC863", "CP863"},
    {5, "PC865", "CP865"},
    {11, "PC851", "CP851"},
    {12, "PC853", nullptr, 0, 0, PC853_HIGH},
    {13, "PC857", "CP857"},
    {14, "PC737", "CP737"},
    {15, "ISO8859-7", "ISO-8859-7"},
    {16, "WPC1252", "CP1252"},
    {17, "PC866", "CP866"},
    {18, "PC852", "CP852"},
    {19, "PC858", "CP858"},
    // Thai character codes 42, 11, 13, 14, 16, 17, 18: the Thai letters at
    // their TIS-620 places (the printers' own pages differ among themselves).
    {20, "Thai 42", "TIS-620"},
    {21, "Thai 11", "TIS-620"},
    {22, "Thai 13", "TIS-620"},
    {23, "Thai 14", "TIS-620"},
    {24, "Thai 16", "TIS-620"},
    {25, "Thai 17", "TIS-620"},
    {26, "Thai 18", "TIS-620"},
    {30, "TCVN-3", "TCVN5712-1", 0x80},
    {31, "TCVN-3", "TCVN5712-1", 0x80},
    {32, "PC720", nullptr, 0, 0, PC720_HIGH},
    {33, "WPC775", "CP775"},
    {34, "PC855", "CP855"},
    {35, "PC861", "CP861"},
    {36, "PC862", "CP862"},
    {37, "PC864", "CP864"},
    {38, "PC869", "CP869"},
    {39, "ISO8859-2", "ISO-8859-2"},
    {40, "ISO8859-15", "ISO-8859-15"},
    {42, "PC1118", "CP774"},  // Lithuanian, LST 1283
    {43, "PC1119", "CP772"},  // Lithuanian and Cyrillic, LST 1284
    {44, "PC1125", "CP1125"},
    {45, "WPC1250", "CP1250"},
    {46, "WPC1251", "CP1251"},
    {47, "WPC1253", "CP1253"},
    {48, "WPC1254", "CP1254"},
    {49, "WPC1255", "CP1255"},
    {50, "WPC1256", "CP1256"},
    {51, "WPC1257", "CP1257"},
    {52, "WPC1258", "CP1258"},
    {53, "KZ-1048", "RK1048"},
};

// ESC R n: the characters at # $ @ [ \ ] ^ ` { | } ~ (0x23 0x24 0x40 0x5B
// 0x5C 0x5D 0x5E 0x60 0x7B 0x7C 0x7D 0x7E).
constexpr uint8_t NATIONAL_POSITIONS[12] = {0x23, 0x24, 0x40, 0x5B, 0x5C, 0x5D,
                                            0x5E, 0x60, 0x7B, 0x7C, 0x7D, 0x7E};
struct NationalSet {
    const char* name;
    const char32_t* chars;  // 12 characters, in the order of NATIONAL_POSITIONS
};
constexpr NationalSet NATIONAL_SETS[] = {
    {"USA", U"#$@[\\]^`{|}~"},
    {"France", U"#$à°ç§^`éùè¨"},
    {"Germany", U"#$§ÄÖÜ^`äöüß"},
    {"UK", U"£$@[\\]^`{|}~"},
    {"Denmark I", U"#$@ÆØÅ^`æøå~"},
    {"Sweden", U"#¤ÉÄÖÅÜéäöåü"},
    {"Italy", U"#$@°\\é^ùàòèì"},
    {"Spain I", U"₧$@¡Ñ¿^`¨ñ}~"},
    {"Japan", U"#$@[¥]^`{|}~"},
    {"Norway", U"#¤ÉÆØÅÜéæøåü"},
    {"Denmark II", U"#$ÉÆØÅÜéæøåü"},
    {"Spain II", U"#$á¡Ñ¿é`íñóú"},
    {"Latin America", U"#$á¡Ñ¿éüíñóú"},
    {"Korea", U"#$@[₩]^`{|}~"},
    {"Slovenia/Croatia", U"#$ŽŠĐĆČžšđćč"},
    {"China", U"#¥@[\\]^`{|}~"},
    {"Vietnam", U"#₫@[\\]^`{|}~"},
    {"Arabia", U"#$@[\\]^`{|}~"},
};
constexpr int NATIONAL_COUNT = static_cast<int>(std::size(NATIONAL_SETS));

using Map = std::array<char32_t, 256>;

// One byte through iconv; NO_CHARACTER when the codeset has none there.
char32_t iconv_byte(iconv_t cd, uint8_t byte) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    char in[1] = {static_cast<char>(byte)};
    char32_t out[4] = {};
    char* ip = in;
    char* op = reinterpret_cast<char*>(out);
    size_t il = 1, ol = sizeof out;
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1)) return NO_CHARACTER;
    // Codesets with combining marks hold a base letter back until the next byte.
    iconv(cd, nullptr, nullptr, &op, &ol);
    return ol == sizeof out ? NO_CHARACTER : out[0];
}

struct Tables {
    std::vector<CodeTableInfo> info;
    std::vector<std::string> problems;
    std::array<std::unique_ptr<Map>, 256> maps;
};

Map ascii_map() {
    Map m{};
    for (int b = 0x20; b < 0x7F; ++b) m[static_cast<size_t>(b)] = static_cast<char32_t>(b);
    return m;
}

Tables build_tables() {
    Tables t;
    for (const TableDef& def : TABLES) {
        auto map = std::make_unique<Map>(ascii_map());
        bool ok = true;
        if (def.hand)
            for (int i = 0; i < 128; ++i) (*map)[static_cast<size_t>(0x80 + i)] = def.hand[i];
        if (def.iconv) {
            const iconv_t cd = iconv_open("UTF-32LE", def.iconv);
            if (cd == reinterpret_cast<iconv_t>(-1)) {
                ok = false;
                t.problems.push_back("code table " + std::to_string(def.number) + " (" + def.name +
                                     "): iconv has no " + def.iconv +
                                     " on this system; not available");
            } else {
                for (int b = def.first; b <= def.last; ++b) {
                    char32_t cp = iconv_byte(cd, static_cast<uint8_t>(b));
                    // C0 and C1 controls (0x80..0x9F of the ISO 8859 tables) print nothing.
                    if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) cp = NO_CHARACTER;
                    // A hand entry fills what iconv leaves empty.
                    if (cp != NO_CHARACTER || !def.hand || b < 0x80)
                        (*map)[static_cast<size_t>(b)] = cp;
                }
                iconv_close(cd);
            }
        }
        (*map)[0x7F] = NO_CHARACTER;  // DEL prints nothing
        t.info.push_back({def.number, def.name, def.iconv ? def.iconv : "hand table", ok});
        if (ok) t.maps[static_cast<size_t>(def.number)] = std::move(map);
    }
    return t;
}

const Tables& tables() {
    static const Tables t = build_tables();
    return t;
}

const Map* map_of(int table) {
    if (table < 0 || table > 255) return nullptr;
    return tables().maps[static_cast<size_t>(table)].get();
}

}  // namespace

std::vector<std::string> load_code_tables() {
    return tables().problems;
}

const std::vector<CodeTableInfo>& code_tables() {
    return tables().info;
}

bool code_table_known(int table) {
    return map_of(table) != nullptr;
}

std::string code_table_name(int table) {
    for (const TableDef& def : TABLES)
        if (def.number == table) return def.name;
    return "table " + std::to_string(table);
}

bool international_known(int set) {
    return set >= 0 && set < NATIONAL_COUNT;
}

std::string international_name(int set) {
    return international_known(set) ? NATIONAL_SETS[set].name : "set " + std::to_string(set);
}

char32_t to_unicode(int table, int international, uint8_t byte) {
    if (byte < 0x80 && international > 0 && international < NATIONAL_COUNT)
        for (int i = 0; i < 12; ++i)
            if (NATIONAL_POSITIONS[i] == byte) return NATIONAL_SETS[international].chars[i];
    const Map* map = map_of(table);
    if (!map) map = map_of(0);
    if (!map) return byte >= 0x20 && byte < 0x7F ? byte : NO_CHARACTER;
    return (*map)[byte];
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string to_utf8(std::span<const uint8_t> text, int table, int international) {
    std::string out;
    out.reserve(text.size());
    for (uint8_t b : text) {
        const char32_t cp = to_unicode(table, international, b);
        append_utf8(out, cp == NO_CHARACTER ? U'\uFFFD' : cp);
    }
    return out;
}

}  // namespace quorvel::printer
