// SPDX-License-Identifier: MIT
// The command set as data: one row per command, with its bytes, how its
// length is found, the handler that carries it out and its journal text.
// command_table.cpp is where a reader looks up what the printer does with a
// byte sequence; the handlers live in commands_*.cpp, one file per family.
#pragma once

#include <cstddef>
#include <cstdint>

#include "escpos/command_context.h"

namespace quorvel::printer {

// How much of the stream a command takes, once enough of it is there.
struct Extent {
    size_t header = 0;               // bytes held before the handler runs; 0: not known yet
    uint64_t data = 0;               // bytes after the header, held with it unless streamed
    const char* skip_why = nullptr;  // set: the data is skipped as it arrives, not held
};

using Handler = void (*)(CommandContext& c, const uint8_t* p, size_t len);
using Measure = Extent (*)(const uint8_t* p, size_t n, const InterpreterLimits& limits);

enum class Length : uint8_t {
    FIXED,     // `size` bytes in all
    BLOCK16,   // 5-byte header whose bytes 3-4 count the bytes that follow (ESC (, FS (, GS ()
    BLOCK32,   // 7-byte header whose bytes 3-6 count the bytes that follow (GS 8)
    MEASURED,  // the row's measure function reads the parameters
};

enum class Family : uint8_t { TEXT, LAYOUT, IMAGE, BARCODE, SYMBOL2D, DEVICE, SKIPPED };

constexpr int16_t NONE = -1;  // single-byte command: no second byte
constexpr int16_t ANY = -2;   // any third byte

struct CommandRow {
    uint8_t lead;    // first byte
    int16_t second;  // second byte, or NONE
    int16_t third;   // third byte when it picks the function (GS ( k, DLE EOT), or ANY
    Length length;
    uint16_t size;    // FIXED: total bytes
    Measure measure;  // MEASURED
    Handler handler;  // nullptr: journaled with `meaning` and skipped by its length
    Family family;
    const char* mnemonic;
    const char* meaning;
};

// The row for the command at p (n bytes available). Sets *need_more when more
// bytes are needed to tell; returns nullptr for an unknown sequence.
const CommandRow* find_command(const uint8_t* p, size_t n, bool* need_more);

// Every row, in table order (for the tests and the README's count).
std::span<const CommandRow> command_rows();

// The extent of a row's command at p, or header 0 when more bytes are needed.
Extent measure_command(const CommandRow& row, const uint8_t* p, size_t n,
                       const InterpreterLimits& limits);

}  // namespace quorvel::printer
