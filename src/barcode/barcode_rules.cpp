// SPDX-License-Identifier: MIT
// quorvel_check_barcode: the fixed rules of the linear symbologies (characters,
// lengths, check digits, even digit counts, start and stop characters), so a
// caller can refuse data the printer would silently drop. Nothing is sent.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "api/quorvel.h"
#include "link/outcome.h"

namespace {

using std::string_view;

// What a symbology asks of its data beyond its character set.
enum class Shape {
    free,          // any length
    upc_ean,       // short_length (printer adds the check digit) or full_length (printer checks it)
    upc_e,         // as upc_ean starting with 0, or 6 to 8 digits
    even_count,    // digits in pairs
    start_stop,    // A-D on both ends, characters between them
};

struct BarcodeRule {
    int type;
    const char* name;
    string_view characters;  // allowed bytes; empty: any
    const char* takes;       // the allowed bytes in words
    Shape shape;
    unsigned short_length, full_length;
    const char* lengths;  // the allowed lengths in words
};

constexpr string_view digits = "0123456789";

// Read like the symbology table of GS k: one line per symbology.
constexpr BarcodeRule rules[] = {
    {QUORVEL_BARCODE_UPC_A, "UPC-A", digits, "digits only", Shape::upc_ean, 11, 12, "11 or 12 digits"},
    {QUORVEL_BARCODE_UPC_E, "UPC-E", digits, "digits only", Shape::upc_e, 11, 12,
     "6 to 8 digits, or 11 or 12 starting with 0"},
    {QUORVEL_BARCODE_EAN13, "EAN-13", digits, "digits only", Shape::upc_ean, 12, 13, "12 or 13 digits"},
    {QUORVEL_BARCODE_EAN8, "EAN-8", digits, "digits only", Shape::upc_ean, 7, 8, "7 or 8 digits"},
    {QUORVEL_BARCODE_CODE39, "CODE39", "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./",
     "0-9, A-Z, space and $ % * + - . / (capitals only)", Shape::free, 0, 0, ""},
    {QUORVEL_BARCODE_ITF, "ITF", digits, "digits only", Shape::even_count, 0, 0, ""},
    {QUORVEL_BARCODE_CODABAR, "CODABAR", "0123456789$+-./:",
     "0-9 and $ + - . / : between its start and stop", Shape::start_stop, 0, 0, ""},
    {QUORVEL_BARCODE_CODE93, "CODE93", "", "", Shape::free, 0, 0, ""},
    {QUORVEL_BARCODE_CODE128, "CODE128", "", "", Shape::free, 0, 0, ""},
    {QUORVEL_BARCODE_GS1_128, "GS1-128", "", "", Shape::free, 0, 0, ""},
};

// The digit that completes a UPC/EAN number: weights 3 and 1 from the right.
char check_digit(string_view number) {
    int sum = 0;
    for (std::size_t i = 0; i < number.size(); ++i) {
        const int digit = number[number.size() - 1 - i] - '0';
        sum += i % 2 == 0 ? 3 * digit : digit;
    }
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

using quorvel::link::fail;
using quorvel::link::fail_format;

constexpr int bad = QUORVEL_E_BAD_BARCODE_DATA;

// The first byte outside the rule's characters, as a refusal; 1 when none.
int check_characters(const BarcodeRule& rule, string_view data, std::size_t offset) {
    if (rule.characters.empty()) return 1;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const char c = data[i];
        if (rule.characters.find(c) != string_view::npos) continue;
        const unsigned position = static_cast<unsigned>(offset + i + 1);
        if (c >= 0x20 && c < 0x7F)
            return fail_format(bad, "%s cannot encode '%c' at position %u; it takes %s", rule.name, c,
                               position, rule.takes);
        return fail_format(bad, "%s cannot encode byte 0x%02X at position %u; it takes %s", rule.name,
                           static_cast<unsigned char>(c), position, rule.takes);
    }
    return 1;
}

int check_upc_ean(const BarcodeRule& rule, string_view data) {
    if (data.empty()) return fail_format(bad, "%s data is empty", rule.name);
    if (check_characters(rule, data, 0) == 0) return 0;
    const bool short_upc_e = rule.shape == Shape::upc_e && data.size() >= 6 && data.size() <= 8;
    if (short_upc_e) return 1;
    if (data.size() != rule.short_length && data.size() != rule.full_length)
        return fail_format(bad, "%s takes %s, not %u", rule.name, rule.lengths,
                           static_cast<unsigned>(data.size()));
    if (rule.shape == Shape::upc_e && data.front() != '0')
        return fail_format(bad, "UPC-E of %u digits starts with 0 (number system 0)",
                           static_cast<unsigned>(data.size()));
    if (data.size() == rule.full_length) {
        const char expected = check_digit(data.substr(0, data.size() - 1));
        if (data.back() != expected)
            return fail_format(bad, "%s check digit is %c, not %c (or leave it out: the printer adds it)",
                               rule.name, expected, data.back());
    }
    return 1;
}

int check(const BarcodeRule& rule, string_view data) {
    switch (rule.shape) {
        case Shape::free:
            return check_characters(rule, data, 0);
        case Shape::upc_ean:
        case Shape::upc_e:
            return check_upc_ean(rule, data);
        case Shape::even_count:
            if (check_characters(rule, data, 0) == 0) return 0;
            if (data.size() % 2 != 0)
                return fail_format(bad, "ITF encodes digits in pairs: it takes an even number of digits, not %u",
                                   static_cast<unsigned>(data.size()));
            return 1;
        case Shape::start_stop: {
            constexpr string_view ends = "ABCDabcd";
            if (data.size() < 3 || ends.find(data.front()) == string_view::npos ||
                ends.find(data.back()) == string_view::npos)
                return fail(bad, "CODABAR starts and ends with A, B, C or D around its data, e.g. A40156B");
            return check_characters(rule, data.substr(1, data.size() - 2), 1);
        }
    }
    return 1;
}

}  // namespace

extern "C" int QUORVEL_CALL quorvel_check_barcode(int barcode_type, const char* data) {
    quorvel::link::begin_call();  // reads nothing shared: no library lock
    if (data == nullptr) return fail(QUORVEL_E_NULL_INPUT, "barcode data");
    for (const BarcodeRule& rule : rules)
        if (rule.type == barcode_type) return check(rule, data);
    return fail_format(QUORVEL_E_BAD_ARGUMENT, "barcode type %d (0 to 9)", barcode_type);
}
