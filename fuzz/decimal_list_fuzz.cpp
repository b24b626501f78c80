// SPDX-License-Identifier: MIT
// Feeds arbitrary text as a decimal list to separa, ComandoTx and both Code 128
// functions, and checks each against a model of the list: the items split as
// strtok(text, ",") splits them, converted as sscanf "%d" converts them.
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_link.h"

using namespace quorvel::fuzz;

namespace {

struct Item {
    std::size_t end;     // index of the byte after the item (a comma or the end)
    bool converts;       // a digit follows the white space and the sign
    bool in_range;       // the value fits 32 bits, so "%d" and the library agree on it
    std::int32_t value;  // valid when converts and in_range
};

Item model_item(const std::string& text, std::size_t begin, std::size_t end) {
    const std::string item = text.substr(begin, end - begin);
    Item out{end, false, false, 0};
    std::size_t i = 0;
    while (i < item.size() && std::isspace(static_cast<unsigned char>(item[i]))) ++i;
    if (i < item.size() && (item[i] == '+' || item[i] == '-')) ++i;
    out.converts = i < item.size() && item[i] >= '0' && item[i] <= '9';
    if (!out.converts) return out;
    errno = 0;
    long long wide = std::strtoll(item.c_str(), nullptr, 10);
    out.in_range = errno == 0 && wide >= INT_MIN && wide <= INT_MAX;
    if (out.in_range) {
        int scanned = 0;
        FUZZ_CHECK(std::sscanf(item.c_str(), "%d", &scanned) == 1);
        FUZZ_CHECK(scanned == wide);
        out.value = scanned;
    }
    return out;
}

// Leading, repeated and trailing commas give no items.
std::vector<Item> model_items(const std::string& text) {
    std::vector<Item> items;
    std::size_t i = 0;
    for (;;) {
        while (i < text.size() && text[i] == ',') ++i;
        if (i == text.size()) return items;
        std::size_t begin = i;
        while (i < text.size() && text[i] != ',') ++i;
        items.push_back(model_item(text, begin, i));
    }
}

// The text after splitting the first `split` items: the comma after each is a NUL.
std::string model_marked(std::string text, const std::vector<Item>& items, std::size_t split) {
    for (std::size_t k = 0; k < items.size() && k < split; ++k)
        if (items[k].end < text.size()) text[items[k].end] = '\0';
    return text;
}

std::vector<char> writable(const std::string& text) {
    std::vector<char> out(text.begin(), text.end());
    out.push_back('\0');
    return out;
}

std::string text_of(const std::vector<char>& buffer) {
    return std::string(buffer.begin(), buffer.end() - 1);
}

constexpr int sentinel = 0x5A5A5A5A;

void check_separa(const std::string& text, const std::vector<Item>& items) {
    auto buffer = writable(text);
    std::vector<int> values(items.size() + 1, sentinel);
    FUZZ_CHECK(separa(buffer.data(), values.data()) == static_cast<int>(items.size()));
    for (std::size_t k = 0; k < items.size(); ++k) {
        if (!items[k].converts)
            FUZZ_CHECK(values[k] == sentinel);
        else if (items[k].in_range)
            FUZZ_CHECK(values[k] == items[k].value);
    }
    FUZZ_CHECK(values[items.size()] == sentinel);
    FUZZ_CHECK(text_of(buffer) == model_marked(text, items, items.size()));
}

void check_raw_command(const std::string& text, const std::vector<Item>& items) {
    auto buffer = writable(text);
    Capture c = capture([&] { return ComandoTx(buffer.data()); });
    FUZZ_CHECK(text_of(buffer) == model_marked(text, items, items.size()));
    bool all_convert = true;
    for (const auto& item : items) all_convert = all_convert && item.converts;
    if (items.empty() || !all_convert || items.size() > 4096) return check_refused(c);
    FUZZ_CHECK(c.result == 1);
    FUZZ_CHECK(c.writes.size() == 1);
    const Bytes& w = c.writes[0];
    FUZZ_CHECK(w.size() == items.size() + 3);
    FUZZ_CHECK(w[0] == 0x1B && w[1] == 0x40 && w.back() == 0x0A);
    for (std::size_t k = 0; k < items.size(); ++k)
        if (items[k].in_range) FUZZ_CHECK(w[2 + k] == static_cast<std::uint8_t>(items[k].value));
}

void check_code128(const std::string& text, const std::vector<Item>& items, int justification,
                   int height, int width) {
    bool usable = items.size() >= 22;
    for (std::size_t k = 0; k < 22 && k < items.size(); ++k) usable = usable && items[k].converts;
    const std::string marked = model_marked(text, items, 97);
    const std::uint8_t j = justification == 0 ? 0 : justification == 1 ? 1 : 2;

    auto one = writable(text);
    Capture c = capture([&] { return ImprimeCode128C(one.data(), justification, height); });
    FUZZ_CHECK(text_of(one) == marked);
    if (!usable) {
        check_refused(c);
    } else {
        FUZZ_CHECK(c.result == 1 && c.writes.size() == 1 && c.writes[0].size() == 44);
        const Bytes& w = c.writes[0];
        FUZZ_CHECK(w[4] == j && w[7] == 2 && w[17] == 24 && w[42] == 0x0D && w[43] == 0x0A);
        for (std::size_t k = 0; k < 22; ++k)
            if (items[k].in_range)
                FUZZ_CHECK(w[20 + k] == static_cast<std::uint8_t>(items[k].value));
    }

    auto two = writable(text);
    c = capture([&] { return ImprimeCode128_C(two.data(), justification, height, width); });
    FUZZ_CHECK(text_of(two) == marked);
    if (!usable) return check_refused(c);
    FUZZ_CHECK(c.result == 1 && c.writes.size() == 2);
    for (std::size_t half = 0; half < 2; ++half) {
        const Bytes& w = c.writes[half];
        FUZZ_CHECK(w.size() == 35 && w[4] == j && w[17] == 15 && w[34] == 0x0A);
        for (std::size_t k = 0; k < 11; ++k) {
            const Item& item = items[11 * half + k];
            if (item.in_range) FUZZ_CHECK(w[22 + k] == static_cast<std::uint8_t>(item.value));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ensure_link_open();
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.substr(0, text.find('\0'));  // the library sees the text up to its NUL
    const auto items = model_items(text);
    check_separa(text, items);
    check_raw_command(text, items);
    const int selector = size > 0 ? static_cast<signed char>(data[0]) : 0;
    check_code128(text, items, selector % 3, selector % 4, selector % 5);
    return 0;
}
