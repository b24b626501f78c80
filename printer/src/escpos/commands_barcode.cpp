// SPDX-License-Identifier: MIT
// Linear barcodes: HRI position and font, bar height, module width, GS k.
#include "escpos/commands.h"

namespace quorvel::printer {

QVP_HANDLER(gs_hri_position) {
    static constexpr const char* POS[] = {"not printed", "above", "below", "above and below"};
    const int h = digit(p[2]);
    if (h <= 3) c.r.set_hri_position(h);
    JOURNAL_COMMAND(c, p, len, "GS H " + num(p[2]),
                    std::string("HRI characters: ") + (h <= 3 ? POS[h] : "invalid (ignored)"));
}

QVP_HANDLER(gs_hri_font) {
    c.r.set_hri_font(digit(p[2]) == 1 ? 1 : 0);
    JOURNAL_COMMAND(c, p, len, "GS f " + num(p[2]), digit(p[2]) == 1 ? "HRI font B" : "HRI font A");
}

QVP_HANDLER(gs_bar_height) {
    if (p[2] >= 1) c.r.set_bar_height(p[2]);
    JOURNAL_COMMAND(c, p, len, "GS h " + num(p[2]), "bar height: " + num(p[2]) + " dots");
}

QVP_HANDLER(gs_module_width) {
    if (p[2] >= 1 && p[2] <= 6) c.r.set_module_width(p[2]);
    JOURNAL_COMMAND(c, p, len, "GS w " + num(p[2]),
                    p[2] >= 1 && p[2] <= 6 ? "module width: " + num(p[2]) + " dots"
                                           : "module width: invalid (ignored)");
}

// GS k m: form A (m 0..6) ends its data with NUL, at most 255 bytes; form B
// (m 65..78) counts it in one byte. A form A without NUL in 255 bytes is
// taken as its 3-byte header and dropped.
QVP_MEASURE(measure_gs_barcode) {
    (void)limits;
    if (n < 3) return {};
    const int m = p[2];
    if (m <= 6) {
        size_t k = 3;
        while (k < n && k < 3 + 256 && p[k] != 0) ++k;
        if (k == n && k < 3 + 256) return {};
        return {k == 3 + 256 ? size_t{3} : k + 1, 0, nullptr};
    }
    if (m >= 65 && m <= 78) {
        if (n < 4) return {};
        return {4, p[3], nullptr};
    }
    return {3, 0, nullptr};
}
QVP_HANDLER(gs_barcode) {
    const int m = p[2];
    size_t data_at, data_len;
    if (m <= 6) {
        if (len == 3) {
            ++c.counters.rejected;
            JOURNAL_COMMAND(c, p, 3, "GS k " + num(m),
                            "no NUL within 255 data bytes; barcode dropped");
            return;
        }
        data_at = 3, data_len = len - 4;
    } else if (m >= 65 && m <= 78) {
        data_at = 4, data_len = len - 4;
    } else {
        c.unknown(p, 3, "GS k symbology");
        return;
    }
    const std::string_view data(reinterpret_cast<const char*>(p + data_at), data_len);
    if (!c.profile.has_barcode(m)) {  // the model skips it by its length, printing nothing
        ++c.counters.rejected;
        JOURNAL_COMMAND(c, p, len, "GS k " + num(m),
                        std::string(symbology_name(m)) + ": not on this model (" +
                            c.profile.name + "); nothing printed");
        return;
    }
    if (c.r.capped()) {  // nothing more fits before the cut: not even encoded
        JOURNAL_COMMAND(c, p, len, "GS k " + num(m),
                        std::string(symbology_name(m)) + ": not drawn, receipt at its height cap");
        return;
    }
    LinearSymbol s = encode_linear(m, data);
    if (!s.ok) ++c.counters.rejected;
    if (c.journal.enabled()) {
        std::string meaning = std::string(symbology_name(m)) + " " + quoted(p + data_at, data_len);
        if (s.ok)
            meaning += ", " + num(static_cast<int>(s.modules.size())) + " modules, reads \"" +
                       s.hri + "\"";
        else
            meaning += ": not printed, " + s.error;
        c.log(p, len, "GS k " + num(m), meaning);
    } else {
        ++c.counters.commands;
    }
    c.r.barcode(s);
}

}  // namespace quorvel::printer
