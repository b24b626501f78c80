// SPDX-License-Identifier: MIT
#include "machine/profile.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "paper/codepage.h"

namespace quorvel::printer {

using nlohmann::json;

namespace {

// GS k symbologies by the names a profile lists them under (m of the second form).
constexpr std::pair<const char*, int> BARCODES[] = {
    {"UPC-A", 65},
    {"UPC-E", 66},
    {"EAN13", 67},
    {"EAN8", 68},
    {"CODE39", 69},
    {"ITF", 70},
    {"CODABAR", 71},
    {"CODE93", 72},
    {"CODE128", 73},
    {"GS1-128", 74},
    {"GS1 DataBar omnidirectional", 75},
    {"GS1 DataBar truncated", 76},
    {"GS1 DataBar limited", 77},
    {"GS1 DataBar expanded", 78},
};
// 2D symbols as the journal names them.
constexpr const char* SYMBOLS_2D[] = {"QR Code",   "PDF417", "MaxiCode",   "GS1 DataBar",
                                      "Composite", "Aztec",  "Data Matrix"};
constexpr const char* FIELDS[] = {"name",
                                  "paper_mm",
                                  "dots",
                                  "fonts",
                                  "line_spacing",
                                  "code_tables",
                                  "international",
                                  "barcodes",
                                  "symbols_2d",
                                  "printer_id",
                                  "nv_graphics_bytes",
                                  "cutter",
                                  "drawer",
                                  "double_byte",
                                  "comment",
                                  "user_setup_answers",
                                  "receive_buffer",
                                  "speed_mm_s",
                                  "process_id_response"};

struct Fault {
    std::string field, reason;
};

// "06 01": bytes as two hex digits each, separated by spaces.
std::string hex_bytes(const json& j, const std::string& field, size_t most) {
    const std::string s = j.is_string() ? j.get<std::string>() : "";
    auto hex = [](char ch) { return std::isxdigit(static_cast<unsigned char>(ch)) != 0; };
    std::string out;
    bool ok = !s.empty() && (s.size() + 1) % 3 == 0;
    for (size_t i = 0; ok && i < s.size(); i += 3) {
        ok = hex(s[i]) && hex(s[i + 1]) && (i + 2 == s.size() || s[i + 2] == ' ');
        if (ok) out.push_back(static_cast<char>(std::stoi(s.substr(i, 2), nullptr, 16)));
    }
    if (!ok || out.size() > most)
        throw Fault{field, "must be 1 to " + std::to_string(most) +
                               " bytes in hex, separated by spaces (\"06 01\")"};
    return out;
}

int integer(const json& j, const std::string& field, int lo, int hi) {
    if (!j.is_number_integer() || j.get<long long>() < lo || j.get<long long>() > hi)
        throw Fault{field, "must be a whole number from " + std::to_string(lo) + " to " +
                               std::to_string(hi)};
    return j.get<int>();
}

std::string word(const json& j, const std::string& field,
                 std::initializer_list<const char*> allowed) {
    std::string list;
    for (const char* a : allowed) list += std::string(list.empty() ? "" : ", ") + "\"" + a + "\"";
    if (!j.is_string()) throw Fault{field, "must be one of " + list};
    for (const char* a : allowed)
        if (j.get<std::string>() == a) return a;
    throw Fault{field, "\"" + j.get<std::string>() + "\" is not one of " + list};
}

// "all", or a list whose items `item` turns into members.
template <class T, class F>
std::set<T> list_or_all(const json& j, const std::string& field, F item) {
    if (j.is_string() && j.get<std::string>() == "all") return {};
    if (!j.is_array() || j.empty()) throw Fault{field, "must be \"all\" or a non-empty list"};
    std::set<T> out;
    for (size_t i = 0; i < j.size(); ++i)
        out.insert(item(j[i], field + "[" + std::to_string(i) + "]"));
    return out;
}

void cell(const json& fonts, const char* font, const int expected[2], int out[2]) {
    const std::string field = std::string("fonts.") + font;
    if (!fonts.contains(font)) throw Fault{field, "missing"};
    const json& c = fonts.at(font);
    if (!c.is_array() || c.size() != 2) throw Fault{field, "must be [width, height] in dots"};
    out[0] = integer(c[0], field + "[0]", 1, 64);
    out[1] = integer(c[1], field + "[1]", 1, 64);
    // The head draws these cells only; another cell would need its own font.
    if (out[0] != expected[0] || out[1] != expected[1])
        throw Fault{field, "only a " + std::to_string(expected[0]) + "x" +
                               std::to_string(expected[1]) + " cell is drawn"};
}

// The mechanism: the receive buffer, the print speed, and whether the model
// answers GS ( H fn 48.
void read_mechanism(const json& j, Profile& p) {
    if (j.contains("receive_buffer"))
        p.receive_buffer =
            static_cast<size_t>(integer(j["receive_buffer"], "receive_buffer", 1, 1 << 24));
    if (j.contains("speed_mm_s")) {
        const json& v = j["speed_mm_s"];
        if (!v.is_number() || v.get<double>() <= 0 || v.get<double>() > 10000)
            throw Fault{"speed_mm_s", "must be a number above 0, at most 10000"};
        p.speed_mm_s = v;
    }
    if (j.contains("process_id_response")) {
        if (!j["process_id_response"].is_boolean())
            throw Fault{"process_id_response", "must be true or false"};
        p.process_id_response = j["process_id_response"];
    }
}

// Nothing unknown, nothing required missing.
void check_fields(const json& j) {
    if (!j.is_object()) throw Fault{"(top)", "must be a JSON object"};
    for (const auto& item : j.items()) {
        bool known = false;
        for (const char* f : FIELDS) known |= item.key() == f;
        if (!known) throw Fault{item.key(), "unknown field"};
    }
    for (const char* required : {"name", "paper_mm", "dots"})
        if (!j.contains(required)) throw Fault{required, "missing"};
}

// The model's name, its paper and head, fonts and line spacing.
void read_paper(const json& j, Profile& p) {
    if (!j["name"].is_string() || j["name"].get<std::string>().empty() ||
        j["name"].get<std::string>().find_first_of("/ \t") != std::string::npos)
        throw Fault{"name", "must be a non-empty name without spaces or slashes"};
    p.name = j["name"];
    p.paper_mm = integer(j["paper_mm"], "paper_mm", 40, 120);
    p.dots = integer(j["dots"], "dots", 64, 832);
    if (p.dots % 8) throw Fault{"dots", "must be a multiple of 8"};
    if (p.dots > p.paper_mm * 8) throw Fault{"dots", "wider than the paper at 203 dpi"};
    if (j.contains("fonts")) {
        const Profile d;
        cell(j["fonts"], "A", d.font_a, p.font_a);
        cell(j["fonts"], "B", d.font_b, p.font_b);
    }
    if (j.contains("line_spacing"))
        p.line_spacing = integer(j["line_spacing"], "line_spacing", 1, 255);
}

// What it can print: code tables, international sets, barcodes, 2D symbols.
void read_repertoire(const json& j, Profile& p) {
    if (j.contains("code_tables"))
        p.code_tables = list_or_all<int>(
            j["code_tables"], "code_tables", [](const json& v, const std::string& f) {
                const int n = integer(v, f, 0, 255);
                if (!code_table_known(n))
                    throw Fault{f, "no table " + std::to_string(n) + " is built in"};
                return n;
            });
    if (j.contains("international"))
        p.international = list_or_all<int>(
            j["international"], "international", [](const json& v, const std::string& f) {
                const int n = integer(v, f, 0, 255);
                if (!international_known(n))
                    throw Fault{f, "no set " + std::to_string(n) + " is built in"};
                return n;
            });
    if (j.contains("barcodes"))
        p.barcodes =
            list_or_all<int>(j["barcodes"], "barcodes", [](const json& v, const std::string& f) {
                if (v.is_string())
                    for (const auto& [name, m] : BARCODES)
                        if (v.get<std::string>() == name) return m;
                throw Fault{f, "not a symbology name (UPC-A, EAN13, CODE128, ...)"};
            });
    if (j.contains("symbols_2d"))
        p.symbols_2d = list_or_all<std::string>(
            j["symbols_2d"], "symbols_2d", [](const json& v, const std::string& f) {
                if (v.is_string())
                    for (const char* name : SYMBOLS_2D)
                        if (v.get<std::string>() == name) return std::string(name);
                throw Fault{f, "not a 2D symbol name (QR Code, PDF417, Data Matrix, ...)"};
            });
}

// GS I answers: "1" to "3" a byte, "A" to "E" a text.
void read_printer_id(const json& id, Profile& p) {
    if (!id.is_object()) throw Fault{"printer_id", "must be an object"};
    p.id_bytes.clear();
    p.id_texts.clear();
    for (const auto& item : id.items()) {
        const std::string f = "printer_id." + item.key();
        const std::string& k = item.key();
        if (k == "1" || k == "2" || k == "3")
            p.id_bytes[k[0] - '0'] = integer(item.value(), f, 0, 255);
        else if (k.size() == 1 && k[0] >= 'A' && k[0] <= 'E') {
            if (!item.value().is_string() || item.value().get<std::string>().size() > 80)
                throw Fault{f, "must be a text of at most 80 characters"};
            p.id_texts[k[0]] = item.value();
        } else
            throw Fault{f, "GS I answers are keyed 1, 2, 3 or A to E"};
    }
}

// What it answers and holds: GS I, NV graphics memory, GS ( E queries.
void read_answers(const json& j, Profile& p) {
    if (j.contains("printer_id")) read_printer_id(j["printer_id"], p);
    if (j.contains("nv_graphics_bytes"))
        p.nv_graphics_bytes = integer(j["nv_graphics_bytes"], "nv_graphics_bytes", 0, 1 << 30);
    if (j.contains("user_setup_answers")) {
        const json& answers = j["user_setup_answers"];
        if (!answers.is_object()) throw Fault{"user_setup_answers", "must be an object"};
        for (const auto& item : answers.items()) {
            const std::string f = "user_setup_answers." + item.key();
            p.user_setup_answers[hex_bytes(item.key(), f, 16)] = hex_bytes(item.value(), f, 64);
        }
    }
}

// The cutter, the drawer kick and the double-byte encoding it reads.
void read_fittings(const json& j, Profile& p) {
    if (j.contains("cutter")) {
        const std::string c = word(j["cutter"], "cutter", {"full_and_partial", "partial", "none"});
        p.cutter = c != "none";
        p.full_cut = c == "full_and_partial";
    }
    if (j.contains("drawer")) {
        if (!j["drawer"].is_boolean()) throw Fault{"drawer", "must be true or false"};
        p.drawer = j["drawer"];
    }
    if (j.contains("double_byte"))
        p.double_byte = word(j["double_byte"], "double_byte",
                             {"none", "gb18030", "shift_jis", "euc-kr", "big5"});
}

// The profile, or the first Fault in the order the fields are listed.
Profile read(const json& j) {
    check_fields(j);
    Profile p;
    read_paper(j, p);
    read_repertoire(j, p);
    read_answers(j, p);
    read_fittings(j, p);
    read_mechanism(j, p);
    return p;
}

bool is_file_name(const std::string& s) {
    return s.find('/') != std::string::npos || s.ends_with(".json");
}

}  // namespace

ProfilePtr parse_profile(const std::string& text, std::string* error) {
    const json j = json::parse(text, nullptr, false);
    if (j.is_discarded()) {
        if (error) *error = "(top): not valid JSON";
        return nullptr;
    }
    try {
        return std::make_shared<const Profile>(read(j));
    } catch (const Fault& f) {
        if (error) *error = f.field + ": " + f.reason;
        return nullptr;
    }
}

std::vector<std::string> profile_dirs() {
    std::vector<std::string> dirs;
    if (const char* env = std::getenv("QUORVEL_PRINTER_PROFILES"); env && *env) dirs.push_back(env);
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        std::string bin(exe, static_cast<size_t>(n));
        bin = bin.substr(0, bin.rfind('/'));
        dirs.push_back(bin + "/../share/quorvel-printer/profiles");
    }
#ifdef QUORVEL_PRINTER_PROFILE_SOURCE
    dirs.push_back(QUORVEL_PRINTER_PROFILE_SOURCE);
#endif
    return dirs;
}

ProfilePtr load_profile(const std::string& name_or_file, std::string* error) {
    std::string path = name_or_file;
    if (!is_file_name(name_or_file)) {
        path.clear();
        for (const std::string& dir : profile_dirs())
            if (std::ifstream(dir + "/" + name_or_file + ".json").good()) {
                path = dir + "/" + name_or_file + ".json";
                break;
            }
        if (path.empty()) {
            if (error)
                *error = "no profile named " + name_or_file + " (looked in the profile folders)";
            return nullptr;
        }
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = path + ": cannot be read";
        return nullptr;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::string why;
    auto p = parse_profile(text.str(), &why);
    if (!p) {
        if (error) *error = path + ": " + why;
        return nullptr;
    }
    auto named = std::make_shared<Profile>(*p);
    named->file = path;
    return named;
}

}  // namespace quorvel::printer
