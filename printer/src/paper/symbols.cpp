// SPDX-License-Identifier: MIT
#include "paper/symbols.h"

#include <zint.h>

#include <algorithm>
#include <array>
#include <memory>

#include "paper/gs1.h"

namespace quorvel::printer {
namespace {

struct ZintDeleter {
    void operator()(zint_symbol* s) const { ZBarcode_Delete(s); }
};
using ZintPtr = std::unique_ptr<zint_symbol, ZintDeleter>;

bool module_set(const zint_symbol* s, int row, int col) {
    return (s->encoded_data[row][col >> 3] >> (col & 7)) & 1;
}

bool all_digits(std::string_view d) {
    return !d.empty() &&
           std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The mod-10 check digit of UPC and EAN.
char gtin_check(std::string_view digits) {
    int sum = 0;
    const int n = static_cast<int>(digits.size());
    for (int i = 0; i < n; ++i) {
        const int d = digits[n - 1 - i] - '0';
        sum += (i % 2 == 0) ? d * 3 : d;
    }
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

// Encode with zint and copy the first row of modules.
LinearSymbol zint_linear(int symbology, const std::string& input, int input_mode = DATA_MODE) {
    LinearSymbol out;
    ZintPtr s(ZBarcode_Create());
    s->symbology = symbology;
    s->input_mode = input_mode;
    s->show_hrt = 0;
    const int rc = ZBarcode_Encode(s.get(), reinterpret_cast<const unsigned char*>(input.data()),
                                   static_cast<int>(input.size()));
    if (rc >= ZINT_ERROR) {
        out.error = s->errtxt;
        return out;
    }
    // Stacked symbologies are printed by their first (only) linear row.
    for (int c = 0; c < s->width; ++c) out.modules.push_back(module_set(s.get(), 0, c) ? 1 : 0);
    out.ok = true;
    return out;
}

LinearSymbol refused(std::string why) {
    LinearSymbol s;
    s.error = std::move(why);
    return s;
}

// Expand a UPC-E body (number system + 6 digits) to its 11-digit UPC-A form.
std::string upce_to_upca(std::string_view e) {
    const char ns = e[0];
    const std::string_view d = e.substr(1, 6);
    std::string a(1, ns);
    switch (d[5]) {
        case '0':
        case '1':
        case '2':
            a += std::string{d[0], d[1], d[5], '0', '0', '0', '0', d[2], d[3], d[4]};
            break;
        case '3':
            a += std::string{d[0], d[1], d[2], '0', '0', '0', '0', '0', d[3], d[4]};
            break;
        case '4':
            a += std::string{d[0], d[1], d[2], d[3], '0', '0', '0', '0', '0', d[4]};
            break;
        default:
            a += std::string{d[0], d[1], d[2], d[3], d[4], '0', '0', '0', '0', d[5]};
    }
    return a;
}

// Compress an 11-digit UPC-A body to number system + 6 digits, or "".
std::string upca_to_upce(std::string_view a) {
    for (char last = '0'; last <= '9'; ++last) {
        // Try every UPC-E body whose expansion equals `a`.
        std::string cand(1, a[0]);
        switch (last) {
            case '0':
            case '1':
            case '2':
                cand += std::string{a[1], a[2], a[8], a[9], a[10], last};
                break;
            case '3':
                cand += std::string{a[1], a[2], a[3], a[9], a[10], '3'};
                break;
            case '4':
                cand += std::string{a[1], a[2], a[3], a[4], a[10], '4'};
                break;
            default:
                cand += std::string{a[1], a[2], a[3], a[4], a[5], a[10]};
                if (a[10] != last) continue;
        }
        if (upce_to_upca(cand) == a) return cand;
    }
    return {};
}

LinearSymbol upc_a(std::string_view d) {
    if (!all_digits(d) || (d.size() != 11 && d.size() != 12))
        return refused("UPC-A needs 11 or 12 digits");
    std::string body(d.substr(0, 11));
    const char check = gtin_check(body);
    if (d.size() == 12 && d[11] != check) return refused("UPC-A check digit is wrong");
    LinearSymbol s = zint_linear(BARCODE_UPCA, body);
    s.hri = body + check;
    return s;
}

LinearSymbol upc_e(std::string_view d) {
    if (!all_digits(d)) return refused("UPC-E takes digits only");
    std::string body;  // number system + 6 digits
    if (d.size() == 6) {
        body = "0";
        body += d;  // number system 0
    } else if (d.size() == 7 || d.size() == 8) {
        body = std::string(d.substr(0, 7));
    } else if (d.size() == 11 || d.size() == 12) {
        body = upca_to_upce(d.substr(0, 11));
        if (body.empty()) return refused("UPC-A number cannot be compressed to UPC-E");
    } else {
        return refused("UPC-E needs 6, 7, 8, 11 or 12 digits");
    }
    if (body[0] != '0') return refused("UPC-E number system must be 0");
    const char check = gtin_check(upce_to_upca(body));
    if ((d.size() == 8 && d[7] != check) || (d.size() == 12 && d[11] != check))
        return refused("UPC-E check digit is wrong");
    LinearSymbol s = zint_linear(BARCODE_UPCE, body);
    s.hri = body + check;
    return s;
}

LinearSymbol ean(std::string_view d, size_t len) {
    const std::string name = len == 13 ? "JAN13/EAN-13" : "JAN8/EAN-8";
    if (!all_digits(d) || (d.size() != len - 1 && d.size() != len))
        return refused(name + " needs " + std::to_string(len - 1) + " or " + std::to_string(len) +
                       " digits");
    const std::string body(d.substr(0, len - 1));
    const char check = gtin_check(body);
    if (d.size() == len && d[len - 1] != check) return refused(name + " check digit is wrong");
    LinearSymbol s = zint_linear(BARCODE_EANX, body);
    s.hri = body + check;
    return s;
}

LinearSymbol code39(std::string_view d) {
    std::string_view body = d;
    if (body.size() >= 2 && body.front() == '*' && body.back() == '*')
        body = body.substr(1, body.size() - 2);
    if (body.empty()) return refused("CODE39 data is empty");
    static constexpr std::string_view SET = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ -.$/+%";
    for (char c : body)
        if (SET.find(c) == std::string_view::npos)
            return refused("CODE39 cannot encode the byte " +
                           std::to_string(static_cast<uint8_t>(c)));
    LinearSymbol s = zint_linear(BARCODE_CODE39, std::string(body));
    s.hri.assign(1, '*').append(body).push_back('*');
    s.data = body;  // a scanner does not send the start and stop characters
    return s;
}

LinearSymbol itf(std::string_view d) {
    if (!all_digits(d)) return refused("ITF takes digits only");
    if (d.size() % 2) return refused("ITF needs an even number of digits");
    LinearSymbol s = zint_linear(BARCODE_C25INTER, std::string(d));
    s.hri = std::string(d);
    return s;
}

LinearSymbol codabar(std::string_view d) {
    if (d.size() < 3) return refused("CODABAR needs start, data and stop characters");
    std::string up(d);
    auto is_start = [](char& c) {
        if (c >= 'a' && c <= 'd') c = static_cast<char>(c - 'a' + 'A');
        return c >= 'A' && c <= 'D';
    };
    if (!is_start(up.front()) || !is_start(up.back()))
        return refused("CODABAR must start and stop with A, B, C or D");
    static constexpr std::string_view SET = "0123456789-$:/.+";
    for (size_t i = 1; i + 1 < up.size(); ++i)
        if (SET.find(up[i]) == std::string_view::npos)
            return refused("CODABAR cannot encode a data byte");
    LinearSymbol s = zint_linear(BARCODE_CODABAR, up);
    s.hri = up;
    return s;
}

LinearSymbol code93(std::string_view d) {
    if (d.empty()) return refused("CODE93 data is empty");
    for (char c : d)
        if (static_cast<uint8_t>(c) > 0x7F) return refused("CODE93 takes 7-bit bytes only");
    LinearSymbol s = zint_linear(BARCODE_CODE93, std::string(d));
    for (char c : d) s.hri += (c >= 0x20 && c < 0x7F) ? c : ' ';
    return s;
}

// GS1 data in any of the forms clients send (see gs1.h); zint gets it
// bracketed. Like a printer, the data of each AI is checked for its length
// and character set only, not for its meaning (a wrong check digit prints).
LinearSymbol gs1_linear(int symbology, std::string_view d, const char* name) {
    const Gs1Parse g = parse_gs1(d);
    if (!g.ok) return refused(std::string(name) + " data is not GS1: " + g.error);
    LinearSymbol s = zint_linear(symbology, g.bracketed(), GS1_MODE | GS1NOCHECK_MODE);
    s.hri = g.hri();
    s.data = g.transmitted();
    return s;
}

// DataBar omnidirectional, truncated and limited hold a GTIN: 13 digits (the
// check digit is added), 14, or the same as AI (01).
LinearSymbol data_bar(int sym, std::string_view d) {
    std::string gtin(d);
    if (!all_digits(d) || d.size() == 16) {
        const Gs1Parse g = parse_gs1(d);
        if (!g.ok || g.elements.size() != 1 || g.elements[0].ai != "01")
            return refused("GS1 DataBar takes a GTIN: 13 or 14 digits, or AI (01)");
        gtin = g.elements[0].data;
    }
    if (gtin.size() != 13 && gtin.size() != 14)
        return refused("GS1 DataBar takes a GTIN of 13 or 14 digits");
    const char check = gtin_check(std::string_view(gtin).substr(0, 13));
    if (gtin.size() == 14 && gtin[13] != check)
        return refused("GS1 DataBar GTIN check digit is wrong");
    gtin.resize(13);
    LinearSymbol s = zint_linear(sym, gtin);
    s.hri = "(01)" + gtin + check;
    s.data = "01" + gtin + check;
    return s;
}

// Code 128 bar/space widths of values 0..105, then the stop pattern.
constexpr std::array<const char*, 107> C128 = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212",
    "221213", "221312", "231212", "112232", "122132", "122231", "113222", "123122", "123221",
    "223211", "221132", "221231", "213212", "223112", "312131", "311222", "321122", "321221",
    "312212", "322112", "322211", "212123", "212321", "232121", "111323", "131123", "131321",
    "112313", "132113", "132311", "211313", "231113", "231311", "112133", "112331", "132131",
    "113123", "113321", "133121", "313121", "211331", "231131", "213113", "213311", "213131",
    "311123", "311321", "331121", "312113", "312311", "332111", "314111", "221411", "431111",
    "111224", "111422", "121124", "121421", "141122", "141221", "112214", "112412", "122114",
    "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111", "111242",
    "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211", "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311",
    "113141", "114131", "311141", "411131", "211412", "211214", "211232", "2331112"};

}  // namespace

const char* symbology_name(int m) {
    switch (m < 65 ? m + 65 : m) {
        case 65:
            return "UPC-A";
        case 66:
            return "UPC-E";
        case 67:
            return "JAN13 (EAN-13)";
        case 68:
            return "JAN8 (EAN-8)";
        case 69:
            return "CODE39";
        case 70:
            return "ITF";
        case 71:
            return "CODABAR";
        case 72:
            return "CODE93";
        case 73:
            return "CODE128";
        case 74:
            return "GS1-128";
        case 75:
            return "GS1 DataBar omnidirectional";
        case 76:
            return "GS1 DataBar truncated";
        case 77:
            return "GS1 DataBar limited";
        case 78:
            return "GS1 DataBar expanded";
        default:
            return "unknown symbology";
    }
}

namespace {

// CODE128 as it is encoded: the code set in force, a SHIFT pending, the
// symbol values so far (the start value first), and the symbol's HRI and
// data text.
struct Code128 {
    char set;
    bool shift;
    std::vector<int> values;
    LinearSymbol* out;

    // An escape {A {B {C (code set), {S (SHIFT), {1 to {4 (FNC); the refusal or "".
    std::string escape(char e) {
        switch (e) {
            case 'A':
            case 'B':
            case 'C':
                if (e != set) values.push_back(e == 'A' ? 101 : e == 'B' ? 100 : 99);
                set = e;
                return {};
            case 'S':
                if (set == 'C') return "CODE128 SHIFT is not allowed in code set C";
                values.push_back(98);
                shift = true;
                return {};
            case '1':
                // FNC1 first marks GS1 data; later it is sent as GS.
                if (values.size() > 1) out->data += '\x1d';
                values.push_back(102);
                return {};
            case '2':
                if (set == 'C') return "CODE128 FNC2 is not allowed in code set C";
                values.push_back(97);
                return {};
            case '3':
                if (set == 'C') return "CODE128 FNC3 is not allowed in code set C";
                values.push_back(96);
                return {};
            case '4':
                if (set == 'C') return "CODE128 FNC4 is not allowed in code set C";
                values.push_back(set == 'A' ? 101 : 100);
                return {};
            default:
                return "CODE128 unknown escape {" + std::string(1, e);
        }
    }

    // One data byte in the code set in force (or the one SHIFT gives); the refusal or "".
    std::string character(uint8_t c) {
        const char cur = shift ? (set == 'A' ? 'B' : 'A') : set;
        shift = false;
        if (cur == 'C') {
            if (c > 99) return "CODE128 code set C value above 99";
            values.push_back(c);
            out->hri += static_cast<char>('0' + c / 10);
            out->hri += static_cast<char>('0' + c % 10);
            out->data.append(out->hri, out->hri.size() - 2);
        } else if (cur == 'A') {
            if (c > 0x5F) return "CODE128 code set A cannot encode the byte " + std::to_string(c);
            values.push_back(c >= 0x20 ? c - 0x20 : c + 64);
            out->hri += c >= 0x20 ? static_cast<char>(c) : ' ';
            out->data += static_cast<char>(c);
        } else {
            if (c < 0x20 || c > 0x7F)
                return "CODE128 code set B cannot encode the byte " + std::to_string(c);
            values.push_back(c - 0x20);
            out->hri += static_cast<char>(c);
            out->data += static_cast<char>(c);
        }
        return {};
    }

    // The check value and the stop, then every value's bars and spaces.
    void draw() {
        int sum = values[0];
        for (size_t i = 1; i < values.size(); ++i) sum += static_cast<int>(i) * values[i];
        values.push_back(sum % 103);
        values.push_back(106);
        for (int v : values) {
            bool bar = true;
            for (const char* w = C128[v]; *w; ++w, bar = !bar)
                for (int k = 0; k < *w - '0'; ++k) out->modules.push_back(bar ? 1 : 0);
        }
    }
};

}  // namespace

LinearSymbol encode_code128(std::string_view d) {
    LinearSymbol out;
    auto fail = [&](std::string why) {
        out = {};
        out.error = std::move(why);
        return out;
    };
    if (d.size() < 2 || d[0] != '{' || (d[1] != 'A' && d[1] != 'B' && d[1] != 'C'))
        return fail("CODE128 data must begin with {A, {B or {C");
    Code128 code{d[1], false, {d[1] == 'A' ? 103 : d[1] == 'B' ? 104 : 105}, &out};
    for (size_t i = 2; i < d.size(); ++i) {
        const uint8_t c = static_cast<uint8_t>(d[i]);
        if (c == '{') {
            if (i + 1 >= d.size()) return fail("CODE128 data ends inside a { escape");
            const char e = d[++i];
            if (e != '{') {  // {{ is a literal brace, taken as data below
                if (std::string why = code.escape(e); !why.empty()) return fail(std::move(why));
                continue;
            }
        }
        if (std::string why = code.character(c); !why.empty()) return fail(std::move(why));
    }
    if (code.values.size() < 2) return fail("CODE128 symbol has no data");
    code.draw();
    out.ok = true;
    return out;
}

LinearSymbol encode_linear(int m, std::string_view data) {
    const int k = m < 65 ? m + 65 : m;
    LinearSymbol s;
    switch (k) {
        case 65:
            s = upc_a(data);
            break;
        case 66:
            s = upc_e(data);
            break;
        case 67:
            s = ean(data, 13);
            break;
        case 68:
            s = ean(data, 8);
            break;
        case 69:
            s = code39(data);
            break;
        case 70:
            s = itf(data);
            break;
        case 71:
            s = codabar(data);
            break;
        case 72:
            s = code93(data);
            break;
        case 73:
            s = encode_code128(data);
            break;
        case 74:
            s = gs1_linear(BARCODE_GS1_128, data, "GS1-128");
            break;
        case 75:
            s = data_bar(BARCODE_DBAR_OMN, data);
            break;
        case 76:
            s = data_bar(BARCODE_DBAR_OMN, data);
            break;
        case 77:
            s = data_bar(BARCODE_DBAR_LTD, data);
            break;
        case 78:
            s = gs1_linear(BARCODE_DBAR_EXP, data, "GS1 DataBar expanded");
            break;
        default:
            s.error = "unknown symbology " + std::to_string(m);
    }
    s.name = symbology_name(k);
    if (!s.ok) s.modules.clear();
    if (s.ok && s.data.empty()) s.data = s.hri;
    return s;
}

namespace {

Matrix zint_matrix(int symbology, std::string_view data, int o1, int o2, int o3 = 0) {
    Matrix out;
    ZintPtr s(ZBarcode_Create());
    s->symbology = symbology;
    s->input_mode = DATA_MODE;
    s->option_1 = o1;
    s->option_2 = o2;
    s->option_3 = o3;
    const int rc = ZBarcode_Encode(s.get(), reinterpret_cast<const unsigned char*>(data.data()),
                                   static_cast<int>(data.size()));
    if (rc >= ZINT_ERROR) {
        out.error = s->errtxt;
        return out;
    }
    if (rc != 0) out.note = s->errtxt;
    out.rows = s->rows;
    out.cols = s->width;
    out.cells.resize(static_cast<size_t>(out.rows) * out.cols);
    for (int r = 0; r < out.rows; ++r)
        for (int c = 0; c < out.cols; ++c)
            out.cells[static_cast<size_t>(r) * out.cols + c] = module_set(s.get(), r, c);
    out.ok = true;
    out.kind = symbology == BARCODE_QRCODE       ? "QR Code"
               : symbology == BARCODE_DATAMATRIX ? "Data Matrix"
                                                 : "PDF417";
    out.data = data;
    return out;
}

}  // namespace

Matrix encode_qr(std::string_view data, int ecc) {
    if (data.empty()) return {false, "QR Code data is empty", {}, 0, 0, {}, {}, {}};
    return zint_matrix(BARCODE_QRCODE, data, std::clamp(ecc, 0, 3) + 1, 0);
}

Matrix encode_pdf417(std::string_view data, int columns, int rows, int ecc, bool truncated) {
    if (data.empty()) return {false, "PDF417 data is empty", {}, 0, 0, {}, {}, {}};
    const int sym = truncated ? BARCODE_PDF417COMP : BARCODE_PDF417;
    const int e = ecc < 0 || ecc > 8 ? -1 : ecc;
    columns = std::clamp(columns, 0, 30);
    rows = rows >= 3 && rows <= 90 ? rows : 0;
    Matrix m = zint_matrix(sym, data, e, columns, rows);
    if (!m.ok && rows) {  // the rows asked for cannot hold the data: as many as it takes
        m = zint_matrix(sym, data, e, columns, 0);
        if (m.ok)
            m.note = std::to_string(rows) + " rows cannot hold the data; " +
                     std::to_string(m.rows) + " rows used";
    }
    return m;
}

Matrix encode_data_matrix(std::string_view data, int rows, int cols) {
    if (data.empty()) return {false, "Data Matrix data is empty", {}, 0, 0, {}, {}, {}};
    // ECC200 sizes in zint's option_2 order: 1..24 square, 25..30 rectangular.
    static constexpr int SIZES[30][2] = {
        {10, 10}, {12, 12}, {14, 14}, {16, 16}, {18, 18},   {20, 20},   {22, 22},   {24, 24},
        {26, 26}, {32, 32}, {36, 36}, {40, 40}, {44, 44},   {48, 48},   {52, 52},   {64, 64},
        {72, 72}, {80, 80}, {88, 88}, {96, 96}, {104, 104}, {120, 120}, {132, 132}, {144, 144},
        {8, 18},  {8, 32},  {12, 26}, {12, 36}, {16, 36},   {16, 48}};
    int option = 0;
    for (int i = 0; i < 30; ++i)
        if (SIZES[i][0] == rows && SIZES[i][1] == cols) option = i + 1;
    // Automatic sizing picks square symbols, as printers do.
    Matrix m = zint_matrix(BARCODE_DATAMATRIX, data, 0, option, option == 0 ? DM_SQUARE : 0);
    if (!m.ok && option != 0) {  // the size cannot hold the data: automatic
        m = zint_matrix(BARCODE_DATAMATRIX, data, 0, 0, DM_SQUARE);
        m.note = "requested size too small; automatic size used";
    } else if (option == 0 && (rows || cols)) {
        m.note = "size " + std::to_string(rows) + "x" + std::to_string(cols) +
                 " is not an ECC200 size; automatic";
    }
    return m;
}

DrawnSymbol draw_symbol(DrawnKind kind, std::string_view data, int option_1, int option_2,
                        float scale) {
    DrawnSymbol out;
    if (data.empty()) {
        out.error = "no data stored";
        return out;
    }
    int symbology = BARCODE_MAXICODE, input_mode = DATA_MODE;
    Gs1Parse gs1;
    std::string gs1_bracketed;
    switch (kind) {
        case DrawnKind::MAXICODE:
            break;
        case DrawnKind::DATABAR_STACKED:
            symbology = BARCODE_DBAR_STK;
            break;
        case DrawnKind::DATABAR_OMNI_STACKED:
            symbology = BARCODE_DBAR_OMNSTK;
            break;
        case DrawnKind::DATABAR_EXPANDED_STACKED:
            symbology = BARCODE_DBAR_EXPSTK;
            input_mode = GS1_MODE | GS1NOCHECK_MODE;
            gs1 = parse_gs1(data);
            if (!gs1.ok) {
                out.error = "data is not GS1: " + gs1.error;
                return out;
            }
            gs1_bracketed = gs1.bracketed();
            data = gs1_bracketed;
            break;
        case DrawnKind::AZTEC:
            symbology = BARCODE_AZTEC;
            break;
    }
    ZintPtr s(ZBarcode_Create());
    s->symbology = symbology;
    s->input_mode = input_mode;
    s->option_1 = option_1;
    s->option_2 = option_2;
    s->show_hrt = 0;
    s->scale = scale;
    int rc = ZBarcode_Encode(s.get(), reinterpret_cast<const unsigned char*>(data.data()),
                             static_cast<int>(data.size()));
    if (rc < ZINT_ERROR) rc = std::max(rc, ZBarcode_Buffer(s.get(), 0));
    if (rc >= ZINT_ERROR) {
        out.error = s->errtxt;
        return out;
    }
    if (rc != 0) out.note = s->errtxt;
    out.image = Bitmap(s->bitmap_width, s->bitmap_height);
    const unsigned char* px = s->bitmap;  // RGB
    for (int y = 0; y < s->bitmap_height; ++y)
        for (int x = 0; x < s->bitmap_width; ++x, px += 3)
            if (px[0] < 128) out.image.set(x, y);
    out.ok = true;
    return out;
}

}  // namespace quorvel::printer
