// SPDX-License-Identifier: MIT
#include "paper/gs1.h"

#include <algorithm>
#include <array>
#include <utility>

namespace quorvel::printer {
namespace {

// GS1 application identifiers: the AI ('n' stands for any digit, the
// decimal point or a sequence digit), the length of its data and whether
// the data is digits only. A data length with min == max is fixed: such an
// AI ends by its length when the data runs on; the others end at FNC1.
struct AiRow {
    std::string_view ai;
    int min;
    int max;
    bool digits;
};
constexpr bool N = true, X = false;
// clang-format off
constexpr std::array AI_TABLE = {
    AiRow{"00", 18, 18, N},   AiRow{"01", 14, 14, N},   AiRow{"02", 14, 14, N},
    AiRow{"03", 14, 14, N},   AiRow{"04", 16, 16, N},   AiRow{"10", 1, 20, X},
    AiRow{"11", 6, 6, N},     AiRow{"12", 6, 6, N},     AiRow{"13", 6, 6, N},
    AiRow{"15", 6, 6, N},     AiRow{"16", 6, 6, N},     AiRow{"17", 6, 6, N},
    AiRow{"20", 2, 2, N},     AiRow{"21", 1, 20, X},    AiRow{"22", 1, 20, X},
    AiRow{"235", 1, 28, X},   AiRow{"240", 1, 30, X},   AiRow{"241", 1, 30, X},
    AiRow{"242", 1, 6, N},    AiRow{"243", 1, 20, X},   AiRow{"250", 1, 30, X},
    AiRow{"251", 1, 30, X},   AiRow{"253", 13, 30, X},  AiRow{"254", 1, 20, X},
    AiRow{"255", 13, 25, N},  AiRow{"30", 1, 8, N},     AiRow{"31nn", 6, 6, N},
    AiRow{"32nn", 6, 6, N},   AiRow{"33nn", 6, 6, N},   AiRow{"34nn", 6, 6, N},
    AiRow{"35nn", 6, 6, N},   AiRow{"36nn", 6, 6, N},   AiRow{"37", 1, 8, N},
    AiRow{"390n", 1, 15, N},  AiRow{"391n", 4, 18, N},  AiRow{"392n", 1, 15, N},
    AiRow{"393n", 4, 18, N},  AiRow{"394n", 4, 4, N},   AiRow{"395n", 6, 6, N},
    AiRow{"400", 1, 30, X},   AiRow{"401", 1, 30, X},   AiRow{"402", 17, 17, N},
    AiRow{"403", 1, 30, X},   AiRow{"410", 13, 13, N},  AiRow{"411", 13, 13, N},
    AiRow{"412", 13, 13, N},  AiRow{"413", 13, 13, N},  AiRow{"414", 13, 13, N},
    AiRow{"415", 13, 13, N},  AiRow{"416", 13, 13, N},  AiRow{"417", 13, 13, N},
    AiRow{"420", 1, 20, X},   AiRow{"421", 4, 12, X},   AiRow{"422", 3, 3, N},
    AiRow{"423", 3, 15, N},   AiRow{"424", 3, 3, N},    AiRow{"425", 3, 15, N},
    AiRow{"426", 3, 3, N},    AiRow{"427", 1, 3, X},    AiRow{"7001", 13, 13, N},
    AiRow{"7002", 1, 30, X},  AiRow{"7003", 10, 10, N}, AiRow{"7004", 1, 4, N},
    AiRow{"7005", 1, 12, X},  AiRow{"7006", 6, 6, N},   AiRow{"7007", 6, 12, N},
    AiRow{"7008", 1, 3, X},   AiRow{"7009", 1, 10, X},  AiRow{"7010", 1, 2, X},
    AiRow{"7020", 1, 20, X},  AiRow{"7021", 1, 20, X},  AiRow{"7022", 1, 20, X},
    AiRow{"7023", 1, 30, X},  AiRow{"703n", 4, 30, X},  AiRow{"710", 1, 20, X},
    AiRow{"711", 1, 20, X},   AiRow{"712", 1, 20, X},   AiRow{"713", 1, 20, X},
    AiRow{"714", 1, 20, X},   AiRow{"8001", 14, 14, N}, AiRow{"8002", 1, 20, X},
    AiRow{"8003", 14, 30, X}, AiRow{"8004", 1, 30, X},  AiRow{"8005", 6, 6, N},
    AiRow{"8006", 18, 18, N}, AiRow{"8007", 1, 34, X},  AiRow{"8008", 8, 12, N},
    AiRow{"8010", 1, 30, X},  AiRow{"8011", 1, 12, N},  AiRow{"8012", 1, 20, X},
    AiRow{"8013", 1, 25, X},  AiRow{"8017", 18, 18, N}, AiRow{"8018", 18, 18, N},
    AiRow{"8019", 1, 10, N},  AiRow{"8020", 1, 25, X},  AiRow{"8110", 1, 70, X},
    AiRow{"8111", 4, 4, N},   AiRow{"8112", 1, 70, X},  AiRow{"8200", 1, 70, X},
    AiRow{"90", 1, 30, X},    AiRow{"91", 1, 90, X},    AiRow{"92", 1, 90, X},
    AiRow{"93", 1, 90, X},    AiRow{"94", 1, 90, X},    AiRow{"95", 1, 90, X},
    AiRow{"96", 1, 90, X},    AiRow{"97", 1, 90, X},    AiRow{"98", 1, 90, X},
    AiRow{"99", 1, 90, X},
};
// clang-format on

// AIs whose data length is predefined by their first two digits: a reader
// needs no FNC1 after them, so none is sent.
constexpr std::array<std::string_view, 22> PREDEFINED = {
    "00", "01", "02", "03", "04", "11", "12", "13", "14", "15", "16",
    "17", "18", "19", "20", "31", "32", "33", "34", "35", "36", "41"};

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The table row whose AI starts `s`, or nullptr.
const AiRow* find_ai(std::string_view s) {
    for (const AiRow& row : AI_TABLE) {
        if (s.size() < row.ai.size()) continue;
        bool match = true;
        for (size_t i = 0; i < row.ai.size() && match; ++i)
            match = is_digit(s[i]) && (row.ai[i] == 'n' || row.ai[i] == s[i]);
        if (match) return &row;
    }
    return nullptr;
}

// The ways clients code FNC1 in GS1-128 data, and the code-set choices
// some send with it, turned into one marker; `{{` is a literal brace.
constexpr char FNC1 = '\x1d';
std::string normalise(std::string_view d) {
    std::string out;
    for (size_t i = 0; i < d.size(); ++i) {
        if (d[i] == '{' && i + 1 < d.size()) {
            const char e = d[++i];
            if (e == '1')
                out += FNC1;
            else if (e == '{')
                out += '{';
            else if (e != 'A' && e != 'B' && e != 'C')
                out.append({'{', e});
            continue;
        }
        out += d[i];
    }
    return out;
}

bool is_open(char c) {
    return c == '(' || c == '[';
}

}  // namespace

std::pair<int, int> gs1_ai_length(std::string_view ai) {
    const AiRow* row = find_ai(ai);
    if (!row || row->ai.size() != ai.size()) return {0, 0};
    return {row->min, row->max};
}

Gs1Parse parse_gs1(std::string_view raw) {
    Gs1Parse out;
    const std::string d = normalise(raw);
    auto fail = [&](std::string why) {
        out.elements.clear();
        out.error = std::move(why);
        return out;
    };
    size_t i = 0;
    while (i < d.size()) {
        if (d[i] == FNC1) {  // FNC1 first (GS1 marker) or after a variable-length AI
            ++i;
            continue;
        }
        Gs1Element e;
        const AiRow* row = nullptr;
        const bool marked = is_open(d[i]);
        if (marked) {
            const char close = d[i] == '(' ? ')' : ']';
            const size_t end = d.find(close, i + 1);
            if (end == std::string::npos) return fail("an AI bracket is not closed");
            e.ai = d.substr(i + 1, end - i - 1);
            if (e.ai.size() < 2 || e.ai.size() > 4 ||
                !std::all_of(e.ai.begin(), e.ai.end(), is_digit))
                return fail("\"" + e.ai + "\" is not an application identifier");
            row = find_ai(e.ai);
            if (row && row->ai.size() != e.ai.size()) row = nullptr;
            i = end + 1;
        } else {
            row = find_ai(std::string_view(d).substr(i));
            if (!row)
                return fail("no GS1 application identifier starts at \"" + d.substr(i, 4) + "\"");
            e.ai = d.substr(i, row->ai.size());
            i += row->ai.size();
        }
        // The data: a fixed length ends by its length when nothing marks its end.
        size_t end = i;
        while (end < d.size() && d[end] != FNC1 && !is_open(d[end])) ++end;
        if (!marked && row && row->min == row->max)
            end = std::min(end, i + static_cast<size_t>(row->max));
        e.data = d.substr(i, end - i);
        i = end;
        const int n = static_cast<int>(e.data.size());
        if (n == 0) return fail("AI (" + e.ai + ") has no data");
        if (row) {
            if (n < row->min || n > row->max)
                return fail("AI (" + e.ai + ") takes " +
                            (row->min == row->max
                                 ? std::to_string(row->min)
                                 : std::to_string(row->min) + " to " + std::to_string(row->max)) +
                            " characters, not " + std::to_string(n));
            if (row->digits && !std::all_of(e.data.begin(), e.data.end(), is_digit))
                return fail("AI (" + e.ai + ") takes digits only");
        }
        for (char c : e.data)
            if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E)
                return fail("AI (" + e.ai + ") data holds a byte GS1 does not allow");
        out.elements.push_back(std::move(e));
    }
    if (out.elements.empty()) return fail("no application identifier");
    out.ok = true;
    return out;
}

std::string Gs1Parse::bracketed() const {
    std::string s;
    for (const Gs1Element& e : elements) s += "[" + e.ai + "]" + e.data;
    return s;
}

std::string Gs1Parse::hri() const {
    std::string s;
    for (const Gs1Element& e : elements) s += "(" + e.ai + ")" + e.data;
    return s;
}

std::string Gs1Parse::transmitted() const {
    std::string s;
    for (size_t k = 0; k < elements.size(); ++k) {
        const Gs1Element& e = elements[k];
        s += e.ai + e.data;
        const bool predefined =
            std::find(PREDEFINED.begin(), PREDEFINED.end(), e.ai.substr(0, 2)) != PREDEFINED.end();
        if (!predefined && k + 1 < elements.size()) s += FNC1;
    }
    return s;
}

}  // namespace quorvel::printer
