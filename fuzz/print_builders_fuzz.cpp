// SPDX-License-Identifier: MIT
// Calls one print builder per input with arbitrary selectors and data, and
// checks the command it wrote: length as the layout gives it (or refused: 0
// and nothing written), the data verbatim, the length fields, the closing
// bytes and every selector byte against its table.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_link.h"

using namespace quorvel::fuzz;

namespace {

std::uint8_t justification(int v) {
    return v == 0 ? 0 : v == 1 ? 1 : 2;
}
std::uint8_t line_spacing(int v) {
    switch (v) {
        case 0:
            return 0x20;
        case 1:
            return 0x28;
        case 2:
            return 0x30;
        case 3:
            return 0x35;
        case 4:
            return 0x40;
        case 5:
            return 0x45;
        default:
            return 0x15;
    }
}
std::uint8_t flag(int v) {
    return v != 0;
}
std::uint8_t print_mode(int v) {
    switch (v) {
        case 1:
            return 0x01;
        case 2:
            return 0x02;
        case 3:
            return 0x08;
        case 4:
            return 0x10;
        case 5:
            return 0x30;
        default:
            return 0x80;
    }
}
std::uint8_t bar_height(int v) {
    return v == 0 ? 0x20 : v == 1 ? 0x32 : 0x50;
}
std::uint8_t module_width(int v) {
    return v == 1 || v == 2 ? v : 3;
}
std::uint8_t hri(int v) {
    return v >= 0 && v <= 2 ? v : 3;
}
std::uint8_t listed_or(int v, int low, int high, std::uint8_t other) {
    return v >= low && v <= high ? static_cast<std::uint8_t>(v) : other;
}
std::uint8_t qr_escz_model(int v) {
    return v == 1 ? 0x31 : v == 2 ? 0x32 : 0x00;
}
std::uint8_t qr_escz_ecc(int v) {
    return v == 0 ? 'L' : v == 1 ? 'M' : v == 2 ? 'Q' : 'H';
}
std::uint8_t datamatrix_p2(int v) {
    return v == 0 ? 0x00 : v == 1 ? 0x08 : v == 2 ? 0x09 : v == 3 ? 0x0A : 0x0B;
}

struct Builder {
    std::size_t capacity;     // longest data accepted
    std::size_t data_offset;  // where the data starts
};

// Index by builder number: ImprimeTexto, ImprimeTextoLF, ImprimeTexto180,
// ImprimeTextoInvertido, ImprimeTxFormatado, ImprimeCodigoBarras,
// ImprimeCodigoBarras_C, ImprimePDF417_M2, ImprimeDataMatrix_M2,
// ImprimeQRCODE_M2, ImprimeQRCODE_M1.
constexpr Builder builders[] = {{8174, 17}, {8172, 17}, {8171, 20}, {8174, 17},
                                {8177, 14}, {91, 17},   {93, 18},   {4335, 15},
                                {4335, 15}, {4335, 15}, {4295, 38}};

int call(int which, const int (&a)[5], const char* d) {
    switch (which) {
        case 0:
            return ImprimeTexto(d, a[0], a[1], a[2], a[3]);
        case 1:
            return ImprimeTextoLF(d, a[0], a[1], a[2], a[3], a[4]);
        case 2:
            return ImprimeTexto180(d, a[0], a[1], a[2], a[3]);
        case 3:
            return ImprimeTextoInvertido(d, a[0], a[1], a[2]);
        case 4:
            return ImprimeTxFormatado(d, a[0], a[1], a[2]);
        case 5:
            return ImprimeCodigoBarras(a[0], a[1], a[2], a[3], a[4], d);
        case 6:
            return ImprimeCodigoBarras_C(a[0], a[1], a[2], a[3], a[4], d);
        case 7:
            return ImprimePDF417_M2(a[0], a[1], a[2], a[3], d);
        case 8:
            return ImprimeDataMatrix_M2(a[0], a[1], a[2], a[3], d);
        case 9:
            return ImprimeQRCODE_M2(a[0], a[1], a[2], a[3], d);
        default:
            return ImprimeQRCODE_M1(a[0], a[1], a[2], a[3], d);
    }
}

// Every byte of the command but the data, in order.
Bytes frame(int which, const int (&a)[5], std::size_t length) {
    const std::uint8_t j = justification(a[0]);
    Bytes head = {0x1B, 0x40, 0x1B, 0x61, j};
    auto add = [&](std::initializer_list<int> bytes) {
        for (int b : bytes) head.push_back(static_cast<std::uint8_t>(b));
    };
    Bytes tail;
    switch (which) {
        case 0:
        case 1:
        case 2:
            add({0x1B, 0x33, line_spacing(a[2]), 0x1B, 0x74, 0x10, 0x1B, 0x45, flag(a[3]), 0x1B,
                 0x4D, flag(a[1])});
            if (which == 2) add({0x1B, 0x7B, 0x01});
            tail = which == 1 ? Bytes{0x1B, 0x64, static_cast<std::uint8_t>(a[4])} : Bytes{0x0A};
            break;
        case 3:
            add({0x1B, 0x33, line_spacing(a[2]), 0x1B, 0x74, 0x10, 0x1B, 0x4D, flag(a[1]), 0x1D,
                 0x42, 0x01});
            tail = {0x0A};
            break;
        case 4:
            add({0x1B, 0x33, line_spacing(a[1]), 0x1B, 0x74, 0x10, 0x1B, 0x21, print_mode(a[2])});
            tail = {0x0A};
            break;
        case 5:
        case 6: {
            const unsigned type = static_cast<unsigned>(a[1]);
            const int symbology =
                which == 5 ? (type <= 6 ? type : 6) : (type <= 9 ? 65 + type : 74);
            add({0x1D, 0x77, module_width(a[3]), 0x1D, 0x68, bar_height(a[2]), 0x1D, 0x48,
                 hri(a[4]), 0x1D, 0x6B, symbology});
            if (which == 6) add({static_cast<int>(length & 0xFF)});
            tail = which == 5 ? Bytes{0x00, 0x0A} : Bytes{0x0A};
            break;
        }
        case 7:
            add({0x1D, 0x5A, 0x00, 0x1B, 0x5A, listed_or(a[1], 1, 29, 0x1E),
                 listed_or(a[3], 0, 7, 8), listed_or(a[2], 1, 5, 6)});
            break;
        case 8:
            add({0x1D, 0x5A, 0x01, 0x1B, 0x5A, listed_or(a[1], 0, 3, 4), datamatrix_p2(a[2]),
                 listed_or(a[3], 1, 6, 7)});
            break;
        case 9:
            add({0x1D, 0x5A, 0x02, 0x1B, 0x5A, qr_escz_model(a[1]), qr_escz_ecc(a[3]),
                 listed_or(a[2], 1, 6, 7)});
            break;
        default: {
            const int ecc = a[3] >= 0 && a[3] <= 2 ? 0x30 + a[3] : 0x33;
            const std::size_t stored = length + 3;
            add({0x1D, 0x28, 0x6B, 0x04, 0x00, 0x31, 0x41, a[1] == 1 ? 0x31 : 0x32, 0x00});
            add({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x43, listed_or(a[2], 1, 6, 7)});
            add({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x45, ecc});
            add({0x1D, 0x28, 0x6B, static_cast<int>(stored & 0xFF), static_cast<int>(stored >> 8),
                 0x31, 0x50, 0x30});
            tail = {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30, 0x00, 0x00, 0x0A};
        }
    }
    if (which >= 7 && which <= 9)
        add({static_cast<int>(length & 0xFF), static_cast<int>(length >> 8)});
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

int selector(FuzzedDataProvider& in) {
    return in.ConsumeBool() ? in.ConsumeIntegralInRange(-2, 32) : in.ConsumeIntegral<int>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ensure_link_open();
    FuzzedDataProvider in(data, size);
    const int which = in.ConsumeIntegralInRange(0, 10);
    int a[5];
    for (int& v : a) v = selector(in);
    const int shape = in.ConsumeIntegralInRange(0, 15);
    std::string payload;
    if (shape < 4) {
        // Around the capacity: the remaining bytes repeated, NUL made 80 hex.
        std::string pattern = in.ConsumeRemainingBytesAsString();
        if (pattern.empty()) pattern = "Q";
        const std::size_t length = builders[which].capacity + static_cast<std::size_t>(shape) - 1;
        payload.resize(length);
        for (std::size_t i = 0; i < length; ++i) {
            char c = pattern[i % pattern.size()];
            payload[i] = c == '\0' ? '\x80' : c;
        }
    } else {
        payload = in.ConsumeRemainingBytesAsString();
    }
    const bool null_data = shape == 15;
    const char* argument = null_data ? nullptr : payload.c_str();
    const std::size_t length = std::strlen(payload.c_str());

    Capture c = capture([&] { return call(which, a, argument); });
    if (null_data || length > builders[which].capacity) {
        check_refused(c);
        return 0;
    }
    FUZZ_CHECK(c.result == 1);
    FUZZ_CHECK(c.writes.size() == 1);
    const Bytes& w = c.writes[0];
    const Bytes expected_frame = frame(which, a, length);
    FUZZ_CHECK(w.size() == expected_frame.size() + length);
    const std::size_t offset = builders[which].data_offset;
    FUZZ_CHECK(std::memcmp(w.data(), expected_frame.data(), offset) == 0);
    FUZZ_CHECK(std::memcmp(w.data() + offset, payload.data(), length) == 0);
    FUZZ_CHECK(std::memcmp(w.data() + offset + length, expected_frame.data() + offset,
                           expected_frame.size() - offset) == 0);
    return 0;
}
