// SPDX-License-Identifier: MIT
#include "inputs.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <vector>

#include "quorvel.h"

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

std::optional<InputError> check_barcode_data(Symbology symbology, std::string_view data) {
    // The rules live in the library, shared with the bindings.
    const std::string text(data);
    if (quorvel_check_barcode(static_cast<int>(symbology), text.c_str()) == 1) return std::nullopt;
    char message[QUORVEL_ERROR_MESSAGE_SIZE] = "";
    quorvel_last_error(message, sizeof message);
    return InputError{message};
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
