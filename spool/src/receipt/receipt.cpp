// SPDX-License-Identifier: MIT
// Each item of a receipt document becomes calls of the library's printer
// functions, the same calls the Python package makes for the same receipt
// (so the bytes are the same). The whole document is checked and converted
// first; only then does anything run.
#include "receipt.h"

#include <algorithm>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <vector>

#include "memory_printer.h"
#include "png_gray.h"

namespace quorvel::spool {

using nlohmann::json;

namespace {

// --- names of the document, as the library's numbers --------------------

const std::map<std::string, int> ALIGNS = {{"left", 0}, {"center", 1}, {"right", 2}};
const std::map<std::string, int> SIZES = {{"normal", 0}, {"double_height", 4}, {"double", 5}};
const std::map<int, int> SPACINGS = {{32, 0}, {40, 1}, {48, 2}, {53, 3}, {64, 4}, {69, 5}, {21, 6}};
const std::map<int, int> BAR_HEIGHTS = {{32, 0}, {50, 1}, {80, 2}};
const std::map<std::string, int> BARCODES = {
    {"UPC_A", 0}, {"UPC_E", 1},   {"EAN13", 2},  {"EAN8", 3},    {"CODE39", 4},
    {"ITF", 5},   {"CODABAR", 6}, {"CODE93", 7}, {"CODE128", 8}, {"GS1_128", 9}};
const std::map<std::string, int> HRIS = {{"none", 0}, {"above", 1}, {"below", 2}, {"both", 3}};
const std::map<std::string, int> QR_LEVELS = {{"L", 0}, {"M", 1}, {"Q", 2}, {"H", 3}};
constexpr int MODE_UNDERLINE = 0;

// The fields each kind of item takes besides its own.
const std::map<std::string, std::set<std::string>> FIELDS = {
    {"text", {"align", "bold", "underline", "size", "invert", "font", "spacing", "feed"}},
    {"row", {"bold", "font"}},
    {"barcode", {"type", "height", "width", "hri", "align"}},
    {"qr", {"size", "level", "model", "align"}},
    {"pdf417", {"columns", "row_height", "ecc", "align"}},
    {"datamatrix", {"size", "align"}},
    {"image", {"align", "dither"}},
    {"feed", {}},
    {"cut", {}},
    {"drawer", {}},
};

constexpr size_t MAX_ITEMS = 2000;

using Step = std::function<int(quorvel_printer*)>;

struct Refused {
    std::string where, why;
};

std::string library_error() {
    char why[QUORVEL_ERROR_MESSAGE_SIZE] = {};
    quorvel_last_error(why, sizeof why);
    return why;
}

class Reader {
  public:
    Reader(const json& item, std::string at) : item_(item), at_(std::move(at)) {}

    [[noreturn]] void refuse(const std::string& field, const std::string& why) const {
        throw Refused{at_ + (field.empty() ? "" : "." + field), why};
    }

    bool has(const char* field) const { return item_.contains(field); }

    template <typename Map>
    int pick(const char* field, const Map& names, const std::string& fallback) const {
        const std::string v = has(field) ? string(field) : fallback;
        const auto it = names.find(v);
        if (it != names.end()) return it->second;
        std::string all;
        for (const auto& [name, n] : names) all += (all.empty() ? "" : ", ") + name;
        refuse(field, "must be one of " + all);
    }

    int number(const char* field, int lo, int hi, int fallback) const {
        if (!has(field)) return fallback;
        const json& v = item_[field];
        if (!v.is_number_integer() || v.get<int64_t>() < lo || v.get<int64_t>() > hi)
            refuse(field, "must be a whole number from " + std::to_string(lo) + " to " +
                              std::to_string(hi));
        return v.get<int>();
    }

    int listed(const char* field, const std::map<int, int>& values, int fallback) const {
        const int v = number(field, 0, 1000, fallback);
        const auto it = values.find(v);
        if (it != values.end()) return it->second;
        std::string all;
        for (const auto& [n, code] : values) all += (all.empty() ? "" : ", ") + std::to_string(n);
        refuse(field, "must be one of " + all);
    }

    bool flag(const char* field) const {
        if (!has(field)) return false;
        if (!item_[field].is_boolean()) refuse(field, "must be true or false");
        return item_[field].get<bool>();
    }

    std::string string(const char* field) const {
        if (!item_[field].is_string()) refuse(field, "must be a string");
        return item_[field].get<std::string>();
    }

    // UTF-8 text as the printer's Windows-1252, or refused naming the character.
    std::string text(const char* field, bool allow_empty = false) const {
        return cp1252(string(field), field, allow_empty);
    }

    std::string cp1252(const std::string& utf8, const std::string& field, bool allow_empty) const {
        if (utf8.size() > 8000) refuse(field, "longer than 8000 bytes");
        if (utf8.find('\0') != std::string::npos) refuse(field, "contains a NUL character");
        if (utf8.empty() && !allow_empty) refuse(field, "is empty");
        std::string out(utf8.size() + 1, '\0');
        const int n =
            quorvel_utf8_to_cp1252(utf8.c_str(), out.data(), static_cast<int>(out.size()));
        if (n < 0)
            refuse(field,
                   "cannot print in the printer's code page (Windows-1252): " + library_error());
        out.resize(static_cast<size_t>(n));
        return out;
    }

    const json& item() const { return item_; }
    const std::string& at() const { return at_; }

  private:
    const json& item_;
    std::string at_;
};

// Splits `text` into pieces of at most `width` characters (bytes: one per
// character in Windows-1252), breaking at spaces where it can.
std::vector<std::string> wrap(const std::string& text, size_t width) {
    std::vector<std::string> lines;
    std::string rest = text;
    while (rest.size() > width) {
        size_t cut = rest.rfind(' ', width);
        if (cut == std::string::npos || cut == 0) cut = width;
        lines.push_back(rest.substr(0, cut));
        rest = rest.substr(cut);
        if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    }
    lines.push_back(rest);
    return lines;
}

std::string place(const std::string& text, size_t width, int align) {
    const size_t room = width - std::min(width, text.size());
    const size_t left = align == 2 ? room : align == 1 ? room / 2 : 0;
    return std::string(left, ' ') + text + std::string(room - left, ' ');
}

void text_item(const Reader& r, std::vector<Step>& steps) {
    std::string t = r.text("text", true);
    const int j = r.pick("align", ALIGNS, "left");
    const bool bold = r.flag("bold"), underline = r.flag("underline"), invert = r.flag("invert");
    const int size = r.pick("size", SIZES, "normal");
    const int font = r.pick("font", std::map<std::string, int>{{"a", 0}, {"b", 1}}, "a");
    const int n = r.listed("spacing", SPACINGS, 32);
    const int feed = r.number("feed", 0, 255, 0);
    // The library prints one style per line: bold and font B, or one of
    // underline, a size, white on black.
    const int styles = (underline ? 1 : 0) + (size ? 1 : 0) + (invert ? 1 : 0);
    if (styles > 1 || (styles && (bold || font)))
        r.refuse("",
                 "one line takes bold and font, or one of underline, size and invert: "
                 "put them on separate lines");
    if (feed && styles) r.refuse("feed", "only for plain or bold text");
    if (t.size() > 8000) r.refuse("text", "longer than 8000 characters");
    if (underline || size) {
        const int mode = underline ? MODE_UNDERLINE : size;
        steps.push_back([t, j, n, mode](quorvel_printer* p) {
            return quorvel_printer_formatted_text(p, t.c_str(), j, n, mode);
        });
    } else if (invert) {
        steps.push_back([t, j, font, n](quorvel_printer* p) {
            return quorvel_printer_text_inverted(p, t.c_str(), j, font, n);
        });
    } else if (feed) {
        steps.push_back([t, j, font, n, bold, feed](quorvel_printer* p) {
            return quorvel_printer_text_feed(p, t.c_str(), j, font, n, bold ? 1 : 0, feed);
        });
    } else {
        steps.push_back([t, j, font, n, bold](quorvel_printer* p) {
            return quorvel_printer_text(p, t.c_str(), j, font, n, bold ? 1 : 0);
        });
    }
}

// Columns fitted to the line: fixed widths as given, the others share the
// rest; one space between columns; a column's text wraps within it.
void row_item(const Reader& r, const PrinterConfig& printer, std::vector<Step>& steps) {
    const json& cols = r.item()["row"];
    if (!cols.is_array() || cols.empty() || cols.size() > 8)
        r.refuse("row", "must be a list of 1 to 8 columns");
    const bool bold = r.flag("bold");
    const int font = r.pick("font", std::map<std::string, int>{{"a", 0}, {"b", 1}}, "a");
    const int line = line_characters(printer, font != 0);
    struct Col {
        std::string text;
        int width = 0, align = 0;
    };
    std::vector<Col> c(cols.size());
    int fixed = 0, flexible = 0;
    for (size_t i = 0; i < cols.size(); ++i) {
        const std::string at = "row[" + std::to_string(i) + "]";
        if (cols[i].is_string()) {
            c[i].text = r.cp1252(cols[i].get<std::string>(), at, true);
        } else if (cols[i].is_object()) {
            const Reader col(cols[i], r.at() + "." + at);
            for (const auto& [k, v] : cols[i].items())
                if (k != "text" && k != "width" && k != "align")
                    col.refuse(k, "unknown field (a column has text, width, align)");
            if (!col.has("text")) col.refuse("text", "is missing");
            c[i].text = col.text("text", true);
            c[i].width = col.number("width", 1, line, 0);
            c[i].align =
                col.pick("align", ALIGNS, i + 1 == cols.size() && i > 0 ? "right" : "left");
        } else {
            r.refuse(at, "must be a string or {\"text\", \"width\", \"align\"}");
        }
        if (cols[i].is_string() && i + 1 == cols.size() && i > 0) c[i].align = 2;
        c[i].width ? fixed += c[i].width : ++flexible;
    }
    const int gaps = static_cast<int>(c.size()) - 1;
    const int rest = line - fixed - gaps;
    if (rest < flexible || (flexible == 0 && rest < 0))
        r.refuse("row", "the columns need more than the printer's " + std::to_string(line) +
                            " characters a line");
    // Columns without a width share what is left; the first takes the odd ones.
    int left_over = flexible ? rest % flexible : 0;
    for (Col& col : c)
        if (!col.width) {
            col.width = rest / flexible + left_over;
            left_over = 0;
        }
    std::vector<std::vector<std::string>> pieces;
    size_t lines = 1;
    for (const Col& col : c) {
        pieces.push_back(wrap(col.text, static_cast<size_t>(col.width)));
        lines = std::max(lines, pieces.back().size());
    }
    for (size_t l = 0; l < lines; ++l) {
        std::string out;
        for (size_t i = 0; i < c.size(); ++i) {
            if (i) out += ' ';
            out += place(l < pieces[i].size() ? pieces[i][l] : "", static_cast<size_t>(c[i].width),
                         c[i].align);
        }
        while (!out.empty() && out.back() == ' ') out.pop_back();
        steps.push_back([out, font, bold](quorvel_printer* p) {
            return quorvel_printer_text(p, out.c_str(), 0, font, 0, bold ? 1 : 0);
        });
    }
}

void barcode_item(const Reader& r, std::vector<Step>& steps) {
    std::string data = r.text("barcode");
    const int type = r.pick("type", BARCODES, "EAN13");
    const int h = r.listed("height", BAR_HEIGHTS, 80);
    const int w = r.number("width", 1, 3, 2);
    const int hri = r.pick("hri", HRIS, "below");
    const int j = r.pick("align", ALIGNS, "center");
    if (type == 8 && data.rfind("{A", 0) != 0 && data.rfind("{B", 0) != 0 &&
        data.rfind("{C", 0) != 0)
        data = "{B" + data;  // CODE128 in code set B unless the data names one
    if (data.size() > 255) r.refuse("barcode", "longer than 255 bytes");
    if (quorvel_check_barcode(type, data.c_str()) != 1) r.refuse("barcode", library_error());
    steps.push_back([data, type, h, w, hri, j](quorvel_printer* p) {
        return quorvel_printer_barcode_counted(p, j, type, h, w, hri, data.c_str());
    });
}

void symbol_item(const std::string& kind, const Reader& r, std::vector<Step>& steps) {
    const std::string data = r.text(kind.c_str());
    const int j = r.pick("align", ALIGNS, "center");
    if (kind == "qr") {
        const int size = r.number("size", 1, 7, 4);
        const int level = r.pick("level", QR_LEVELS, "M");
        const int model = r.number("model", 1, 2, 2);
        steps.push_back([=](quorvel_printer* p) {
            return quorvel_printer_qr_code(p, j, model, size, level, data.c_str());
        });
    } else if (kind == "pdf417") {
        const int columns = r.number("columns", 1, 30, 6);
        const int rows = r.number("row_height", 1, 6, 3);
        const int ecc = r.number("ecc", 0, 8, 2);
        steps.push_back([=](quorvel_printer* p) {
            return quorvel_printer_pdf417_escz(p, j, columns, rows, ecc, data.c_str());
        });
    } else {
        const int size = r.number("size", 1, 7, 4);
        steps.push_back([=](quorvel_printer* p) {
            return quorvel_printer_data_matrix_escz(p, j, 0, 0, size, data.c_str());
        });
    }
}

void image_item(const Reader& r, const PrinterConfig& printer, std::vector<Step>& steps) {
    std::string png;
    if (!decode_base64(r.string("image"), &png)) r.refuse("image", "is not base64");
    auto image = std::make_shared<GrayImage>();
    std::string why;
    if (!decode_png_gray(png, std::min(printer.width_dots, QUORVEL_IMAGE_MAX_WIDTH), 4096,
                         image.get(), &why))
        r.refuse("image", why);
    const int j = r.pick("align", ALIGNS, "center");
    const bool dither = r.has("dither") ? r.flag("dither") : true;
    steps.push_back([image, j, dither](quorvel_printer* p) {
        return quorvel_printer_image(p, image->pixels.data(), image->width, image->height,
                                     image->width, j, dither ? 1 : 0);
    });
}

void item(const json& it, size_t index, const PrinterConfig& printer, std::vector<Step>& steps) {
    const std::string at = "items[" + std::to_string(index) + "]";
    const Reader r(it, at);
    if (!it.is_object())
        r.refuse("",
                 "must be an object with one of text, row, barcode, qr, "
                 "pdf417, datamatrix, image, feed, cut, drawer");
    std::string kind;
    for (const auto& [k, fields] : FIELDS)
        if (it.contains(k) && k != "feed") {
            if (!kind.empty()) r.refuse("", "has both " + kind + " and " + k + ": one per item");
            kind = k;
        }
    if (kind.empty() && it.contains("feed")) kind = "feed";  // else feed is a text line's
    if (kind.empty())
        r.refuse("",
                 "needs one of text, row, barcode, qr, pdf417, datamatrix, image, feed, "
                 "cut, drawer");
    for (const auto& [k, v] : it.items())
        if (k != kind && !FIELDS.at(kind).count(k))
            r.refuse(k, "unknown field for a " + kind + " item");
    if (kind == "text") return text_item(r, steps);
    if (kind == "row") return row_item(r, printer, steps);
    if (kind == "barcode") return barcode_item(r, steps);
    if (kind == "image") return image_item(r, printer, steps);
    if (kind == "feed") {
        const int n = r.number("feed", 1, 255, 1);
        steps.push_back(
            [n](quorvel_printer* p) { return quorvel_printer_text_feed(p, "", 0, 0, 0, 0, n); });
        return;
    }
    if (kind == "cut" || kind == "drawer") {
        if (it[kind] != true) r.refuse(kind, "must be true");
        steps.push_back(kind == "cut" ? Step(quorvel_printer_cut)
                                      : Step(quorvel_printer_open_drawer));
        return;
    }
    symbol_item(kind, r, steps);
}

}  // namespace

int line_characters(const PrinterConfig& printer, bool font_b) {
    return printer.width_dots / (font_b ? 9 : 12);
}

BuiltReceipt build_receipt(const std::string& document, const PrinterConfig& printer,
                           size_t max_bytes) {
    const json doc = json::parse(document, nullptr, false);
    if (doc.is_discarded()) return {400, "the receipt is not JSON", {}};
    std::vector<Step> steps;
    try {
        if (!doc.is_object()) throw Refused{"(document)", "must be an object with items"};
        for (const auto& [k, v] : doc.items())
            if (k != "items" && k != "$schema")
                throw Refused{k, "unknown field (a receipt has items)"};
        if (!doc.contains("items") || !doc["items"].is_array() || doc["items"].empty() ||
            doc["items"].size() > MAX_ITEMS)
            throw Refused{"items",
                          "must be a list of 1 to " + std::to_string(MAX_ITEMS) + " items"};
        for (size_t i = 0; i < doc["items"].size(); ++i) item(doc["items"][i], i, printer, steps);
    } catch (const Refused& r) {
        return {400, r.where + ": " + r.why, {}};
    }
    std::string error;
    MemoryPrinter memory(printer.model, &error);
    if (!memory.handle()) return {500, error, {}};
    for (size_t i = 0; i < steps.size(); ++i) {
        if (steps[i](memory.handle()) != 1)
            return {400, "the receipt could not be built: " + library_error(), {}};
        if (memory.size() > max_bytes) break;
    }
    BuiltReceipt out{200, {}, memory.finish()};
    if (out.bytes.size() > max_bytes)
        return {413,
                "the receipt's ESC/POS is larger than " + std::to_string(max_bytes) + " bytes",
                {}};
    return out;
}

}  // namespace quorvel::spool
