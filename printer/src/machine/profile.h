// SPDX-License-Identifier: MIT
// A printer model as data: paper width, font cells, the code tables,
// national sets and symbols it has, its ID answers, NV capacity, cutter,
// drawer and default line spacing. Read from printer/profiles/*.json; a
// default-constructed Profile is what generic-80.json says.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace quorvel::printer {

struct Profile {
    std::string name = "generic-80";
    std::string file;  // where it was read from; empty for the built-in one
    int paper_mm = 80;
    int dots = 576;  // printable dots across, 203 dpi
    int font_a[2] = {12, 24};
    int font_b[2] = {9, 17};
    int line_spacing = 30;
    // ESC t numbers and ESC R sets; empty means every one built in.
    std::set<int> code_tables;
    std::set<int> international;
    // GS k symbologies (m of the second form, 65..78) and 2D symbols by
    // name ("QR Code", "PDF417", ...); empty means every one.
    std::set<int> barcodes;
    std::set<std::string> symbols_2d;
    // GS I: n 1..3 answer one byte, 'A'..'E' a text.
    std::map<int, int> id_bytes = {{1, 0x20}, {2, 0x02}, {3, 0x10}};
    std::map<int, std::string> id_texts = {
        {'A', "1.2.0"}, {'B', "QUORVEL"}, {'C', "VIRTUAL-80"}, {'D', "0001"}, {'E', ""}};
    // GS ( L fn 48/51 answers; 0: the model has no such query.
    long nv_graphics_bytes = 0;
    // GS ( E queries the model answers (capacities, settings): the bytes
    // after pL pH (fn and its parameters) and the bytes it sends back, as
    // byte strings. Other GS ( E commands are journaled and skipped.
    std::map<std::string, std::string> user_setup_answers;
    bool cutter = true;
    bool full_cut = true;  // false: a partial cutter only
    bool drawer = true;
    std::string double_byte = "none";  // FS & text: gb18030, shift_jis, euc-kr, big5, none
    // The mechanism: the receive buffer in bytes, the print speed (applied
    // with --speed model), and whether GS ( H fn 48 is answered.
    size_t receive_buffer = 4096;
    double speed_mm_s = 250;
    bool process_id_response = true;

    bool has_code_table(int n) const { return code_tables.empty() || code_tables.count(n); }
    bool has_international(int n) const { return international.empty() || international.count(n); }
    // `m` as GS k gives it (0..6 or 65..78).
    bool has_barcode(int m) const {
        return barcodes.empty() || barcodes.count(m < 65 ? m + 65 : m);
    }
    bool has_2d(const std::string& symbol) const {
        return symbols_2d.empty() || symbols_2d.count(symbol);
    }
    int columns_a() const { return dots / font_a[0]; }
};

using ProfilePtr = std::shared_ptr<const Profile>;

// Reads a profile from `text` (JSON). On a fault: null, and *error names
// the field and the reason ("dots: must be a multiple of 8 from 64 to 832").
ProfilePtr parse_profile(const std::string& text, std::string* error);
// A profile by name (looked up in the profile folders) or by file path.
// On a fault: null, and *error names the file, the field and the reason.
ProfilePtr load_profile(const std::string& name_or_file, std::string* error);
// Where profiles are looked for by name: $QUORVEL_PRINTER_PROFILES, the
// source tree's printer/profiles, then the installed share folder.
std::vector<std::string> profile_dirs();

}  // namespace quorvel::printer
