// SPDX-License-Identifier: MIT
// 2D symbols: the GS ( k functions (QR Code, PDF417, ...), GS Z and ESC Z.
#include "escpos/commands.h"

namespace quorvel::printer {
namespace {

void draw_qr(CommandContext& c, const Matrix& m, int module, const char* via) {
    if (!m.ok) {
        ++c.counters.rejected;
        c.note("QR Code not printed: " + m.error);
        return;
    }
    if (via) c.note(std::string("QR ") + via + ": no encoder for it here; printed as model 2");
    c.note("QR Code " + num(m.cols) + "x" + num(m.rows) + " modules, " + num(module) +
           " dots per module");
    c.r.matrix(m, module, module);
}

// A receipt at its height cap takes nothing more until the cut: the symbol is
// neither encoded nor drawn.
// A symbol the model lacks is not printed either.
bool capped(CommandContext& c, const char* what) {
    if (c.lacks(c.profile.has_2d(what), what)) return true;
    if (!c.r.capped()) return false;
    c.note(std::string(what) + " not drawn: the receipt is at its height cap");
    return true;
}

// PDF417 sized to the paper; *note says what had to change.
Matrix make_pdf417(int paper_width, std::string_view data, int columns, int rows, int ecc, int module_w,
                   bool truncated, std::string* note) {
    // The widest symbol that fits: 17 modules per column plus start, stop and row indicators.
    const int max_cols = ((paper_width / module_w) - (truncated ? 18 + 17 : 69)) / 17;
    if (max_cols < 1) return {false, "module width too large for the paper", {}, 0, 0, {}, {}, {}};
    if (columns > max_cols) {
        *note = "columns reduced from " + num(columns) + " to " + num(max_cols) +
                " to fit the print width";
        columns = max_cols;
    }
    Matrix m = encode_pdf417(data, columns, rows, ecc, truncated);
    if (m.ok && m.cols * module_w > paper_width && columns == 0)
        m = encode_pdf417(data, max_cols, rows, ecc, truncated);
    if (m.ok && !m.note.empty()) *note += (note->empty() ? "" : "; ") + m.note;
    return m;
}

void draw_pdf417(CommandContext& c, const Matrix& m, const std::string& note, int module_w,
                 int row_h) {
    if (!note.empty()) c.note("PDF417 " + note);
    if (!m.ok) {
        ++c.counters.rejected;
        c.note("PDF417 not printed: " + m.error);
        return;
    }
    c.note("PDF417 " + num(m.cols) + " modules x " + num(m.rows) + " rows, module " +
           num(module_w) + " dots, row " + num(row_h) + " dots");
    c.r.matrix(m, module_w, row_h);
}

void qr_function(CommandContext& c, const uint8_t* p, size_t len) {
    const int fn = p[6];
    const uint8_t* a = p + 7;
    const size_t na = len - 7;
    auto arg = [&](size_t i) { return i < na ? static_cast<int>(a[i]) : -1; };
    auto& qr = c.qr;
    switch (fn) {
        case 65: {  // select the model
            const int m = arg(0);
            if (m >= 49 && m <= 51) qr.model = m;
            JOURNAL_COMMAND(c, p, len, "GS ( k QR 165",
                            m == 49   ? "QR model 1"
                            : m == 50 ? "QR model 2"
                            : m == 51 ? "Micro QR"
                                      : "QR model: invalid (ignored)");
            return;
        }
        case 67: {
            const int s = arg(0);
            if (s >= 1 && s <= 16) qr.module = s;
            JOURNAL_COMMAND(c, p, len, "GS ( k QR 167", "QR module size: " + num(s) + " dots");
            return;
        }
        case 69: {
            const int e = arg(0);
            static constexpr const char* ECC = "LMQH";
            if (e >= 48 && e <= 51 && qr.ecc != e - 48) qr.ecc = e - 48, qr.encoded_valid = false;
            JOURNAL_COMMAND(c, p, len, "GS ( k QR 169",
                            std::string("QR error correction: ") +
                                (e >= 48 && e <= 51 ? std::string(1, ECC[e - 48]) : "invalid"));
            return;
        }
        case 80: {
            const size_t k = na > 0 ? na - 1 : 0;
            qr.encoded_valid = false;
            if (k > c.limits.max_symbol_data) {
                qr.data.clear();
                ++c.counters.rejected;
                JOURNAL_COMMAND(
                    c, p, len, "GS ( k QR 180",
                    "store " + num(static_cast<int>(k)) + " bytes: over the cap; store cleared");
                return;
            }
            qr.data.assign(reinterpret_cast<const char*>(a + 1), k);
            JOURNAL_COMMAND(
                c, p, len, "GS ( k QR 180",
                "store QR data " + quoted(a + 1, k) + " (" + num(static_cast<int>(k)) + " bytes)");
            return;
        }
        case 81:
            JOURNAL_COMMAND(c, p, len, "GS ( k QR 181", "print the stored QR Code");
            if (capped(c, "QR Code")) return;
            if (!qr.encoded_valid) {
                qr.encoded = encode_qr(qr.data, qr.ecc);
                qr.encoded_valid = true;
            }
            draw_qr(c, qr.encoded, qr.module,
                    qr.model == 49   ? "model 1 requested"
                    : qr.model == 51 ? "Micro QR requested"
                                     : nullptr);
            return;
        case 82:
            JOURNAL_COMMAND(c, p, len, "GS ( k QR 182", "transmit symbol size (not answered)");
            return;
        default:
            JOURNAL_COMMAND(c, p, len, "GS ( k QR " + num(fn + 100),
                            "QR function not supported (ignored)");
    }
}

void pdf_function(CommandContext& c, const uint8_t* p, size_t len) {
    const int fn = p[6];
    const uint8_t* a = p + 7;
    const size_t na = len - 7;
    auto arg = [&](size_t i) { return i < na ? static_cast<int>(a[i]) : -1; };
    auto& pdf = c.pdf;
    if (fn != 81 && fn != 82) pdf.encoded_valid = false;  // a setting or the data changes
    switch (fn) {
        case 65:
            if (arg(0) >= 0 && arg(0) <= 30) pdf.columns = arg(0);
            JOURNAL_COMMAND(
                c, p, len, "GS ( k PDF 065",
                "PDF417 columns: " + (arg(0) == 0 ? std::string("automatic") : num(arg(0))));
            return;
        case 66:
            if (arg(0) == 0 || (arg(0) >= 3 && arg(0) <= 90)) pdf.rows = arg(0);
            JOURNAL_COMMAND(
                c, p, len, "GS ( k PDF 066",
                "PDF417 rows: " + (arg(0) == 0 ? std::string("automatic") : num(arg(0))));
            return;
        case 67:
            if (arg(0) >= 1 && arg(0) <= 8) pdf.module = arg(0);
            JOURNAL_COMMAND(c, p, len, "GS ( k PDF 067",
                            "PDF417 module width: " + num(arg(0)) + " dots");
            return;
        case 68:
            if (arg(0) >= 2 && arg(0) <= 8) pdf.row_height = arg(0);
            JOURNAL_COMMAND(c, p, len, "GS ( k PDF 068",
                            "PDF417 row height: " + num(arg(0)) + " x module width");
            return;
        case 69:
            if (arg(0) == 48 && arg(1) >= 48 && arg(1) <= 56)
                pdf.ecc = arg(1) - 48;
            else if (arg(0) == 49)
                pdf.ecc = -1;
            JOURNAL_COMMAND(c, p, len, "GS ( k PDF 069",
                            arg(0) == 48 ? "PDF417 error correction level " + num(arg(1) - 48)
                                         : "PDF417 error correction by ratio (automatic level)");
            return;
        case 70:
            pdf.truncated = arg(0) == 1;
            JOURNAL_COMMAND(c, p, len, "GS ( k PDF 070",
                            pdf.truncated ? "truncated PDF417" : "standard PDF417");
            return;
        case 80: {
            const size_t k = na > 0 ? na - 1 : 0;
            if (k > c.limits.max_symbol_data) {
                pdf.data.clear();
                ++c.counters.rejected;
                JOURNAL_COMMAND(
                    c, p, len, "GS ( k PDF 080",
                    "store " + num(static_cast<int>(k)) + " bytes: over the cap; store cleared");
                return;
            }
            pdf.data.assign(reinterpret_cast<const char*>(a + 1), k);
            JOURNAL_COMMAND(c, p, len, "GS ( k PDF 080",
                            "store PDF417 data " + quoted(a + 1, k) + " (" +
                                num(static_cast<int>(k)) + " bytes)");
            return;
        }
        case 81:
            JOURNAL_COMMAND(c, p, len, "GS ( k PDF 081", "print the stored PDF417 symbol");
            if (capped(c, "PDF417")) return;
            if (!pdf.encoded_valid) {
                pdf.encode_note.clear();
                pdf.encoded = make_pdf417(c.r.paper_width(), pdf.data, pdf.columns, pdf.rows, pdf.ecc, pdf.module,
                                          pdf.truncated, &pdf.encode_note);
                pdf.encoded_valid = true;
            }
            draw_pdf417(c, pdf.encoded, pdf.encode_note, pdf.module, pdf.module * pdf.row_height);
            return;
        default:
            JOURNAL_COMMAND(c, p, len, "GS ( k PDF " + num(fn),
                            "PDF417 function not supported (ignored)");
    }
}

// Each module of a matrix as module x module dots.
Bitmap matrix_image(const Matrix& m, int module) {
    Bitmap b(m.cols * module, m.rows * module);
    for (int r = 0; r < m.rows; ++r)
        for (int col = 0; col < m.cols; ++col)
            if (m.at(r, col)) b.fill_rect(col * module, r * module, module, module, true);
    return b;
}

constexpr const char* OTHER_NAMES[] = {"MaxiCode", "GS1 DataBar", "Composite", "Aztec",
                                       "Data Matrix"};

DrawnSymbol make_other(int cn, const OtherSymbolStore& s) {
    const std::string_view data = s.data;
    switch (cn) {
        case 50: {  // MaxiCode has a fixed size, about 28 mm: 0.75 is zint's scale for it
            const int mode = s.mode ? s.mode : 2;
            DrawnSymbol d = draw_symbol(DrawnKind::MAXICODE, data, mode, 0, 0.75f);
            if (!d.ok && (mode == 2 || mode == 3)) {
                // Modes 2 and 3 need a structured carrier message; without one, mode 4.
                d = draw_symbol(DrawnKind::MAXICODE, data, 4, 0, 0.75f);
                if (d.ok)
                    d.note = "mode " + num(mode) + " needs a postal primary message; mode 4 used";
            }
            return d;
        }
        case 51: {  // the first data byte picks the type: H stacked, I omnidirectional, L expanded
            if (data.size() < 2) return {false, "no data stored", {}, {}};
            const int module = s.module ? s.module : 2;
            const char type = data[0];
            const std::string_view rest = data.substr(1);
            if (type == 'H' || type == 'I')
                return draw_symbol(
                    type == 'H' ? DrawnKind::DATABAR_STACKED : DrawnKind::DATABAR_OMNI_STACKED,
                    rest, 0, 0, module / 2.0f);
            if (type == 'L')
                return draw_symbol(DrawnKind::DATABAR_EXPANDED_STACKED, rest, 0, 0, module / 2.0f);
            return {false, "type byte " + num(static_cast<uint8_t>(type)) + " not known", {}, {}};
        }
        case 53: {  // Aztec: error correction in per cent, compact or full-range layers
            const int module = s.module ? s.module : 3;
            const int level = s.ecc == 0    ? 0
                              : s.ecc <= 10 ? 1
                              : s.ecc <= 23 ? 2
                              : s.ecc <= 36 ? 3
                                            : 4;
            int size = 0;
            if (s.size1 > 0) size = s.mode == 49 ? std::min(s.size1, 4) : std::min(s.size1, 32) + 4;
            return draw_symbol(DrawnKind::AZTEC, data, level, size, module / 2.0f);
        }
        case 54: {
            const int module = s.module ? s.module : 3;
            const Matrix m = encode_data_matrix(data, s.size2, s.size1);
            if (!m.ok) return {false, m.error, {}, {}};
            return {true, {}, m.note, matrix_image(m, module)};
        }
        default:
            return {false, "not supported", {}, {}};
    }
}

// GS ( k cn 50..54: the other 2D symbols. Each keeps its settings and data;
// fn 81 prints the stored symbol, drawn once per store.
void other_function(CommandContext& c, const uint8_t* p, size_t len) {
    const int cn = p[5], fn = p[6];
    const uint8_t* a = p + 7;
    const size_t na = len - 7;
    auto arg = [&](size_t i) { return i < na ? static_cast<int>(a[i]) : -1; };
    if (cn < 50 || cn > 54 || cn == 52) {
        JOURNAL_COMMAND(c, p, len, "GS ( k",
                        "2D symbol cn " + num(cn) + (cn == 52 ? " (Composite)" : "") +
                            " not supported; skipped");
        return;
    }
    auto& s = c.other[cn - 50];
    const std::string head = "GS ( k " + num(cn) + " " + num(fn);
    const std::string name = OTHER_NAMES[cn - 50];
    if (fn != 81 && fn != 82) s.encoded_valid = false;
    switch (fn) {
        case 65:  // MaxiCode mode: 50..54 for modes 2..6
            if (cn == 50 && arg(0) >= 50 && arg(0) <= 54) s.mode = arg(0) - 48;
            JOURNAL_COMMAND(c, p, len, head, name + " mode " + num(arg(0) - 48));
            return;
        case 66:  // Aztec: m kind, n layers; Data Matrix: m shape, d1 columns, d2 rows
            s.mode = arg(0);
            s.size1 = std::max(0, arg(1));
            s.size2 = std::max(0, arg(2));
            JOURNAL_COMMAND(c, p, len, head, name + " size " + num(s.size1) + " " + num(s.size2));
            return;
        case 67:
            if (arg(0) >= 1 && arg(0) <= 16) s.module = arg(0);
            JOURNAL_COMMAND(c, p, len, head, name + " module size: " + num(arg(0)) + " dots");
            return;
        case 69:
            if (arg(0) >= 5 && arg(0) <= 95) s.ecc = arg(0);
            JOURNAL_COMMAND(c, p, len, head, name + " error correction " + num(arg(0)) + "%");
            return;
        case 80: {
            const size_t k = na > 0 ? na - 1 : 0;
            if (k > c.limits.max_symbol_data) {
                s.data.clear();
                ++c.counters.rejected;
                JOURNAL_COMMAND(
                    c, p, len, head,
                    "store " + num(static_cast<int>(k)) + " bytes: over the cap; store cleared");
                return;
            }
            s.data.assign(reinterpret_cast<const char*>(a + 1), k);
            JOURNAL_COMMAND(c, p, len, head,
                            "store " + name + " data " + quoted(a + 1, k) + " (" +
                                num(static_cast<int>(k)) + " bytes)");
            return;
        }
        case 81: {
            JOURNAL_COMMAND(c, p, len, head, "print the stored " + name);
            if (capped(c, name.c_str())) return;
            if (!s.encoded_valid) {
                s.encoded = make_other(cn, s);
                s.encoded_valid = true;
            }
            const DrawnSymbol& d = s.encoded;
            if (!d.ok) {
                ++c.counters.rejected;
                c.note(name + " not printed: " + d.error);
                return;
            }
            if (!d.note.empty()) c.note(name + " " + d.note);
            c.note(name + " " + num(d.image.width()) + "x" + num(d.image.height()) + " dots");
            c.r.raster(d.image.row(0), d.image.stride(), d.image.height(), 1, 1);
            return;
        }
        default:
            JOURNAL_COMMAND(c, p, len, head, name + " function not supported (ignored)");
    }
}

}  // namespace

// GS ( k pL pH cn fn ...: cn picks the symbol, fn the function.
QVP_HANDLER(gs_symbol_function) {
    if (len < 7) {
        c.unknown(p, len, "GS ( k (too short)");
        return;
    }
    const int cn = p[5];
    if (cn == 49) return qr_function(c, p, len);
    if (cn == 48) return pdf_function(c, p, len);
    other_function(c, p, len);
}

// GS Z n: the symbol ESC Z prints.
QVP_HANDLER(gs_select_2d) {
    static constexpr const char* SYM[] = {"PDF417", "Data Matrix", "QR Code"};
    const int t = digit(p[2]);
    if (t <= 2) c.gsz = t;
    JOURNAL_COMMAND(c, p, len, "GS Z " + num(p[2]),
                    std::string("2D symbol for ESC Z: ") + (t <= 2 ? SYM[t] : "invalid (ignored)"));
}

// ESC Z v r k nL nH d...: print the symbol GS Z selected.
QVP_MEASURE(measure_esc_print_2d) {
    if (n < 7) return {};
    const uint64_t len = static_cast<uint64_t>(u16(p + 5));
    if (len > limits.max_symbol_data) return {7, len, "2D symbol data over the cap; not printed"};
    return {7, len, nullptr};
}
QVP_HANDLER(esc_print_2d) {
    const int p1 = p[2], p2 = p[3], p3 = p[4];
    const std::string_view data(reinterpret_cast<const char*>(p + 7), len - 7);
    const std::string head = "ESC Z " + num(p1) + " " + num(p2) + " " + num(p3);
    const std::string shown =
        quoted(p + 7, len - 7) + " (" + num(static_cast<int>(len - 7)) + " bytes)";
    if (c.gsz == 2) {
        int ecc = 1;
        switch (p2) {
            case 'L':
                ecc = 0;
                break;
            case 'M':
                ecc = 1;
                break;
            case 'Q':
                ecc = 2;
                break;
            case 'H':
                ecc = 3;
                break;
            default:
                ecc = p2 <= 3 ? p2 : 1;
        }
        const int module = p3 >= 1 && p3 <= 16 ? p3 : 3;
        static constexpr const char* ECC[] = {"L", "M", "Q", "H"};
        const char* model = p1 == 0x31   ? "model 1"
                            : p1 == 0x32 ? "model 2"
                            : p1 == 0    ? "automatic model"
                                         : "model byte not 31/32 (automatic)";
        JOURNAL_COMMAND(c, p, len, head,
                        std::string("QR Code ") + model + ", ECC " + ECC[ecc] + ", module " +
                            num(module) + " dots: " + shown);
        if (capped(c, "QR Code")) return;
        draw_qr(c, encode_qr(data, ecc), module, p1 == 0x31 ? "model 1 requested" : nullptr);
    } else if (c.gsz == 0) {
        const int columns = p1 <= 30 ? p1 : 0;
        const int ecc = p2 <= 8 ? p2 : -1;
        const int ratio = p3 >= 1 && p3 <= 8 ? p3 : 3;
        constexpr int MODULE = 2;
        JOURNAL_COMMAND(c, p, len, head,
                        "PDF417 " + (columns ? num(columns) : std::string("automatic")) +
                            " columns, ECC level " +
                            (ecc >= 0 ? num(ecc) : std::string("automatic")) + ", row height " +
                            num(ratio) + " x module: " + shown);
        if (capped(c, "PDF417")) return;
        std::string note;
        const Matrix m = make_pdf417(c.r.paper_width(), data, columns, 0, ecc, MODULE, false, &note);
        draw_pdf417(c, m, note, MODULE, MODULE * ratio);
    } else {
        const int module = p3 >= 1 && p3 <= 16 ? p3 : 3;
        JOURNAL_COMMAND(c, p, len, head,
                        "Data Matrix size " + num(p1) + "x" + num(p2) + ", module " + num(module) +
                            " dots: " + shown);
        if (capped(c, "Data Matrix")) return;
        Matrix m = encode_data_matrix(data, p1, p2);
        if (!m.ok) {
            ++c.counters.rejected;
            c.note("Data Matrix not printed: " + m.error);
            return;
        }
        if (!m.note.empty()) c.note("Data Matrix " + m.note);
        c.r.matrix(m, module, module);
    }
}

}  // namespace quorvel::printer
