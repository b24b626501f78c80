// SPDX-License-Identifier: MIT
// Receipts as JSON: for the API and the events, and the companion file
// written beside each receipt's PNG and read back from it.
#include "web/receipt_json.h"

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

namespace quorvel::printer {

using nlohmann::json;

namespace {

// JSON strings must be UTF-8; anything else is read as Latin-1 so that no
// byte is lost.
std::string as_utf8(std::string_view s) {
    bool ascii = std::all_of(s.begin(), s.end(), [](char c) { return (c & 0x80) == 0; });
    if (ascii) return std::string(s);
    try {
        (void)json(std::string(s)).dump();
        return std::string(s);
    } catch (const json::exception&) {
    }
    std::string out;
    for (char c : s) {
        const auto b = static_cast<uint8_t>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

std::string hex(std::string_view s) {
    static constexpr char DIGITS[] = "0123456789ABCDEF";
    std::string out;
    for (char c : s) {
        const auto b = static_cast<uint8_t>(c);
        out += DIGITS[b >> 4];
        out += DIGITS[b & 15];
    }
    return out;
}

constexpr const char* ALIGN[] = {"left", "center", "right"};

}  // namespace

json text_json(const PageContent& content) {
    json lines = json::array();
    for (const TextLine& line : content.lines) {
        json spans = json::array();
        std::string text;
        for (const TextSpan& span : line.spans) {
            json j{{"text", span.text}};
            const TextMarks& m = span.marks;
            // Only the marks that differ from plain text.
            if (m.font) j["font"] = "B";
            if (m.bold) j["bold"] = true;
            if (m.underline) j["underline"] = m.underline;
            if (m.wmul != 1) j["width"] = m.wmul;
            if (m.hmul != 1) j["height"] = m.hmul;
            if (m.reverse) j["reverse"] = true;
            spans.push_back(std::move(j));
            text += span.text;
        }
        json l{{"y", line.y},
               {"align", ALIGN[std::clamp(line.justification, 0, 2)]},
               {"text", text},
               {"spans", std::move(spans)}};
        if (line.upside_down) l["upside_down"] = true;
        lines.push_back(std::move(l));
    }
    return lines;
}

json symbols_json(const PageContent& content) {
    json out = json::array();
    for (const SymbolRecord& s : content.symbols) {
        json j{{"type", s.type}, {"data", as_utf8(s.data)}, {"hex", hex(s.data)}, {"x", s.x},
               {"y", s.y},       {"width", s.width},        {"height", s.height}};
        if (!s.hri.empty()) j["hri"] = as_utf8(s.hri);
        out.push_back(std::move(j));
    }
    return out;
}

json info_json(const ReceiptInfo& r, const std::string& api) {
    const std::string base = api + "/receipts/" + std::to_string(r.id);
    return {{"id", r.id},
            {"time_ms", r.time_ms},
            {"link", r.link},
            {"peer", r.peer},
            {"bytes", r.bytes},
            {"width", r.width},
            {"height", r.height},
            {"cut", r.cut},
            {"file", r.file},
            {"journal_lines", r.journal_lines},
            {"text_lines", r.text_lines},
            {"symbols", r.symbols},
            {"png", base + ".png"},
            {"bin", base + ".bin"},
            {"text", base + "/text"},
            {"symbols_url", base + "/symbols"},
            {"journal", base + "/journal"}};
}

bool read_file(const std::string& path, std::string* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool write_file(const std::string& path, std::string_view data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

std::string receipt_json(const ReceiptInfo& info, const std::string& api) {
    return info_json(info, api).dump();
}
std::string content_text_json(const PageContent& content) {
    return text_json(content).dump();
}
std::string content_symbols_json(const PageContent& content) {
    return symbols_json(content).dump();
}

std::string companion_json(const ReceiptDetail& detail) {
    return json{{"journal", detail.journal},
                {"text", text_json(detail.content)},
                {"symbols", symbols_json(detail.content)}}
        .dump();
}

bool parse_companion(const std::string& side, ReceiptDetail* out) {
    const json j = json::parse(side, nullptr, false);
    if (j.is_discarded() || !j.is_object()) return false;
    try {
        out->journal = j.value("journal", std::vector<std::string>{});
        for (const auto& l : j.at("text")) {
            TextLine line;
            line.y = l.value("y", 0);
            const std::string align = l.value("align", "left");
            line.justification = align == "center" ? 1 : align == "right" ? 2 : 0;
            line.upside_down = l.value("upside_down", false);
            for (const auto& s : l.at("spans")) {
                TextSpan span;
                span.text = s.value("text", "");
                span.marks.font = s.value("font", "A") == "B" ? 1 : 0;
                span.marks.bold = s.value("bold", false);
                span.marks.underline = s.value("underline", 0);
                span.marks.wmul = s.value("width", 1);
                span.marks.hmul = s.value("height", 1);
                span.marks.reverse = s.value("reverse", false);
                line.spans.push_back(std::move(span));
            }
            out->content.lines.push_back(std::move(line));
        }
        for (const auto& s : j.at("symbols")) {
            std::string data;
            const std::string h = s.value("hex", "");
            for (size_t i = 0; i + 1 < h.size(); i += 2)
                data += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
            out->content.symbols.push_back(SymbolRecord{s.value("type", ""), data, s.value("x", 0),
                                                        s.value("y", 0), s.value("width", 0),
                                                        s.value("height", 0), s.value("hri", "")});
        }
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

}  // namespace quorvel::printer
