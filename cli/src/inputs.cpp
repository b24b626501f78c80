// SPDX-License-Identifier: MIT
#include "inputs.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <vector>

namespace quorvel::cli {
namespace {

bool all_digits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> items;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find(separator, start);
        items.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return items;
}

// Each item a plain decimal number in [0, max]; surrounding spaces allowed.
std::variant<std::vector<int>, InputError> parse_numbers(std::string_view text, int max) {
    std::vector<int> values;
    std::size_t position = 1;
    for (std::string_view item : split(text, ',')) {
        while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
        while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
        int value = 0;
        auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value);
        if (!all_digits(item) || error != std::errc{} || end != item.data() + item.size())
            return InputError{"item " + std::to_string(position) + " ('" + std::string(item) +
                              "') is not a decimal number"};
        if (value > max)
            return InputError{"item " + std::to_string(position) + " (" + std::to_string(value) +
                              ") is out of range 0 to " + std::to_string(max)};
        values.push_back(value);
        ++position;
    }
    return values;
}

std::string join(const std::vector<int>& values) {
    std::string out;
    for (int value : values) {
        if (!out.empty()) out += ',';
        out += std::to_string(value);
    }
    return out;
}

}  // namespace

bool is_dotted_ipv4(std::string_view text) {
    std::size_t part = 0;
    for (std::string_view number : split(text, '.')) {
        if (++part > 4 || !all_digits(number) || number.size() > 3) return false;
        if (number.size() > 1 && number.front() == '0') return false;
        if (std::stoi(std::string(number)) > 255) return false;
    }
    return part == 4;
}

std::variant<std::string, InputError> normalise_byte_list(std::string_view text,
                                                          std::size_t max_items) {
    if (text.empty()) return InputError{"the byte list is empty"};
    auto parsed = parse_numbers(text, 255);
    if (auto* error = std::get_if<InputError>(&parsed)) return *error;
    const auto& values = std::get<std::vector<int>>(parsed);
    if (values.size() > max_items)
        return InputError{"the byte list has " + std::to_string(values.size()) +
                          " items; one command holds at most " + std::to_string(max_items)};
    return join(values);
}

std::variant<std::string, InputError> normalise_code128_values(std::string_view text) {
    constexpr std::size_t count = 22;
    if (all_digits(text)) {
        if (text.size() != 2 * count)
            return InputError{"a digit string must have exactly 44 digits, not " +
                              std::to_string(text.size())};
        std::vector<int> pairs;
        for (std::size_t i = 0; i < text.size(); i += 2)
            pairs.push_back((text[i] - '0') * 10 + (text[i + 1] - '0'));
        return join(pairs);
    }
    auto parsed = parse_numbers(text, 99);
    if (auto* error = std::get_if<InputError>(&parsed)) return *error;
    const auto& values = std::get<std::vector<int>>(parsed);
    if (values.size() != count)
        return InputError{"the list must have exactly 22 values (0 to 99), not " +
                          std::to_string(values.size())};
    return join(values);
}

std::string strip_one_line_end(std::string text) {
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
        if (!text.empty() && text.back() == '\r') text.pop_back();
    }
    return text;
}

}  // namespace quorvel::cli

namespace quorvel::cli {

bool has_port_suffix(std::string_view address) {
    if (!address.empty() && address.front() == '[') {
        const auto close = address.find("]:");
        return close != std::string_view::npos && all_digits(address.substr(close + 2));
    }
    // A dotted IPv4 address, one colon and a number; an IPv6 literal has two
    // colons or more.
    const auto colon = address.find(':');
    return colon != std::string_view::npos && is_dotted_ipv4(address.substr(0, colon)) &&
           all_digits(address.substr(colon + 1));
}

bool counted_form_only(Symbology symbology) {
    return symbology == Symbology::code93 || symbology == Symbology::code128 ||
           symbology == Symbology::gs1_128;
}

namespace {

// The digit that completes a UPC/EAN number: weights 3 and 1 from the right.
char check_digit(std::string_view digits) {
    int sum = 0;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const int digit = digits[digits.size() - 1 - i] - '0';
        sum += i % 2 == 0 ? 3 * digit : digit;
    }
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

struct DigitRule {
    Symbology symbology;
    const char* name;
    std::size_t short_length;  // without the check digit (the printer adds it)
    std::size_t full_length;   // with it (the printer checks it)
    const char* lengths;
};

// UPC/EAN lengths; UPC-E also takes 6 to 8 digits, handled apart.
constexpr std::array<DigitRule, 4> digit_rules{{
    {Symbology::upc_a, "UPC-A", 11, 12, "11 or 12 digits"},
    {Symbology::upc_e, "UPC-E", 11, 12, "6 to 8 digits, or 11 or 12 starting with 0"},
    {Symbology::ean13, "EAN-13", 12, 13, "12 or 13 digits"},
    {Symbology::ean8, "EAN-8", 7, 8, "7 or 8 digits"},
}};

std::string shown(char c) {
    if (c >= 0x20 && c < 0x7F) return std::string("'") + c + "'";
    char hex[16];
    std::snprintf(hex, sizeof hex, "byte 0x%02X", static_cast<unsigned char>(c));
    return hex;
}

std::optional<InputError> first_outside(std::string_view data, std::string_view allowed,
                                        const std::string& name, const std::string& takes) {
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (allowed.find(data[i]) == std::string_view::npos)
            return InputError{name + " cannot encode " + shown(data[i]) + " at position " +
                              std::to_string(i + 1) + "; it takes " + takes};
    }
    return std::nullopt;
}

constexpr std::string_view digits = "0123456789";

}  // namespace

std::optional<InputError> check_barcode_data(Symbology symbology, std::string_view data) {
    for (const DigitRule& rule : digit_rules) {
        if (rule.symbology != symbology) continue;
        const std::string name = rule.name;
        if (!all_digits(data))
            return first_outside(data, digits, name, "digits only")
                .value_or(InputError{name + " data is empty"});
        const bool short_upc_e = symbology == Symbology::upc_e && data.size() >= 6 && data.size() <= 8;
        if (!short_upc_e && data.size() != rule.short_length && data.size() != rule.full_length)
            return InputError{name + " takes " + rule.lengths + ", not " +
                              std::to_string(data.size())};
        if (symbology == Symbology::upc_e && !short_upc_e && data.front() != '0')
            return InputError{"UPC-E of " + std::to_string(data.size()) +
                              " digits starts with 0 (number system 0)"};
        if (!short_upc_e && data.size() == rule.full_length) {
            const char expected = check_digit(data.substr(0, data.size() - 1));
            if (data.back() != expected)
                return InputError{name + " check digit is " + std::string(1, expected) + ", not " +
                                  std::string(1, data.back()) + " (or leave it out: the printer adds it)"};
        }
        return std::nullopt;
    }
    switch (symbology) {
        case Symbology::code39:
            return first_outside(data, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./", "CODE39",
                                 "0-9, A-Z, space and $ % * + - . / (capitals only)");
        case Symbology::itf:
            if (auto error = first_outside(data, digits, "ITF", "digits only")) return error;
            if (data.size() % 2 != 0)
                return InputError{"ITF encodes digits in pairs: it takes an even number of digits, not " +
                                  std::to_string(data.size())};
            return std::nullopt;
        case Symbology::codabar: {
            constexpr std::string_view ends = "ABCDabcd";
            if (data.size() < 3 || ends.find(data.front()) == std::string_view::npos ||
                ends.find(data.back()) == std::string_view::npos)
                return InputError{
                    "CODABAR starts and ends with A, B, C or D around its data, e.g. A40156B"};
            return first_outside(data.substr(1, data.size() - 2), "0123456789$+-./:", "CODABAR",
                                 "0-9 and $ + - . / : between its start and stop");
        }
        default:
            return std::nullopt;
    }
}

std::variant<std::vector<std::string>, InputError> split_words(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            if (in_word) words.push_back(std::move(word));
            word.clear();
            in_word = false;
            continue;
        }
        in_word = true;
        if (c == '\'') {
            const auto close = line.find('\'', i + 1);
            if (close == std::string_view::npos)
                return InputError{"a ' quote is not closed"};
            word.append(line.substr(i + 1, close - i - 1));
            i = close;
        } else if (c == '"') {
            for (++i;; ++i) {
                if (i >= line.size()) return InputError{"a \" quote is not closed"};
                if (line[i] == '"') break;
                if (line[i] == '\\' && i + 1 < line.size() &&
                    std::string_view("\"\\$").find(line[i + 1]) != std::string_view::npos)
                    ++i;
                word += line[i];
            }
        } else if (c == '\\') {
            if (i + 1 >= line.size()) return InputError{"the line ends with a lone backslash"};
            word += line[++i];
        } else {
            word += c;
        }
    }
    if (in_word) words.push_back(std::move(word));
    return words;
}

}  // namespace quorvel::cli
