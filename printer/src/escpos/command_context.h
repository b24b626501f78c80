// SPDX-License-Identifier: MIT
// What every command handler works on: the renderer, the status model, the
// journal, the reply channel, the caps, and the state that outlives one
// command (stored symbols, multi-part definitions, automatic status back).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "machine/journal.h"
#include "machine/profile.h"
#include "machine/status.h"
#include "paper/renderer.h"
#include "paper/symbols.h"

namespace quorvel::printer {

class NvStore;
class MachineLink;

struct InterpreterLimits {
    size_t max_symbol_data = 7089;          // bytes of 2D symbol or GS ( k store data
    size_t max_raster_bytes = 1u << 20;     // GS v 0 / ESC * / NV image data held at once
    size_t max_command_bytes = 256u << 10;  // anything longer is skipped unread
};

struct InterpreterCounters {
    uint64_t commands = 0;
    uint64_t unknown = 0;
    uint64_t skipped_bytes = 0;  // payload bytes skipped for being over a cap
    uint64_t rejected = 0;       // symbols not printed for invalid data
    uint64_t replies = 0;
    bool truncated = false;  // the stream ended inside a command
};

using Reply = std::function<void(std::span<const uint8_t>)>;

// Settings and data of the GS ( k symbols. A stored symbol is encoded once,
// on its first print, and reused by every print after it until its data or
// a setting that shapes it changes: reprinting costs no encoding.
struct SymbolStore {
    int model = 50;
    int module = 3;
    int ecc = 0;
    std::string data;
    bool encoded_valid = false;
    Matrix encoded;
};

struct PdfStore {
    int columns = 0;
    int rows = 0;
    int module = 3;
    int row_height = 3;
    int ecc = -1;
    bool truncated = false;
    std::string data;
    bool encoded_valid = false;
    Matrix encoded;
    std::string encode_note;  // said again with each print of the cached symbol
};

// Symbols of GS ( k cn 50 and on (MaxiCode, 2D GS1 DataBar, Composite,
// Aztec, Data Matrix): settings, data and the drawn symbol, one store each.
struct OtherSymbolStore {
    int mode = 0;    // MaxiCode mode 2..6; Aztec 48 full range, 49 compact; Data Matrix 1 rectangle
    int module = 0;  // dots per module; 0: the symbol's default
    int size1 = 0;   // Aztec layers; Data Matrix columns
    int size2 = 0;   // Data Matrix rows
    int ecc = 0;     // Aztec error correction, percent
    std::string data;
    bool encoded_valid = false;
    DrawnSymbol encoded;
};

class CommandContext {
  public:
    CommandContext(Renderer& renderer, StatusModel& status, Journal& journal, Reply reply,
                   InterpreterLimits limits, NvStore* nv, const Profile* profile)
        : r(renderer),
          status(status),
          journal(journal),
          reply(std::move(reply)),
          limits(limits),
          nv(nv),
          profile(profile ? *profile : builtin_profile()) {}

    // generic-80, for an interpreter made without a profile.
    static const Profile& builtin_profile();
    // True, with a journal note, when the model lacks `what`: a printer
    // without it prints nothing for the command.
    bool lacks(bool has, std::string_view what);

    // Journal a command; counts it even when no journal is kept.
    void log(const uint8_t* p, size_t len, std::string_view mnemonic, std::string_view meaning);
    void unknown(const uint8_t* p, size_t len, std::string_view what);
    void note(std::string_view text) { journal.note(text); }
    // Answer the host, unless the printer is set to stay silent.
    void send(std::span<const uint8_t> bytes);
    void send(std::initializer_list<uint8_t> bytes) { send({bytes.begin(), bytes.size()}); }
    // Consume a header now and skip `payload` further bytes as they arrive.
    size_t skip_payload(const uint8_t* p, size_t header, uint64_t payload,
                        std::string_view mnemonic, std::string_view why);
    // Send the automatic status back group if it is on and a status it
    // watches has changed since the group last sent.
    void auto_status_check();

    Renderer& r;
    StatusModel& status;
    Journal& journal;
    Reply reply;
    // What goes out at once, ahead of replies queued behind printing
    // (automatic status back); empty: the reply channel.
    Reply urgent;
    InterpreterLimits limits;
    InterpreterCounters counters;
    NvStore* nv;  // shared by every connection of one printer; may be null
    // The print mechanism of the link (completion replies, recovery, clearing
    // the buffers); null without one, and these commands then act at once.
    MachineLink* machine = nullptr;
    const Profile& profile;  // the model: what it has, its answers

    uint64_t offset = 0;  // stream offset of the command being handled

    // Multi-part commands walked across feeds.
    uint64_t skip = 0;               // data bytes still to skip
    bool escv_param = false;         // ESC v may be followed by one parameter byte
    int fsq_left = 0;                // FS q images still to come
    std::vector<Bitmap> fsq_images;  // FS q images so far; stored when the last one is in
    int userchar_left = 0;           // ESC & characters still to come
    int userchar_y = 0;

    int auto_status = 0;  // GS a mask: 1 drawer, 2 online/offline, 4 errors, 8 paper
    std::array<uint8_t, 4> auto_status_sent{};

    // GS ( L fn 112: the graphic held in the print buffer until fn 50 prints it.
    Bitmap buffer_graphic;
    int buffer_graphic_xs = 1, buffer_graphic_ys = 1;

    int gsz = 0;  // GS Z: 0 PDF417, 1 Data Matrix, 2 QR Code
    SymbolStore qr;
    PdfStore pdf;
    OtherSymbolStore other[7];  // cn 50..56
};

// Journal a command; the meaning text is only built when a journal is kept.
#define JOURNAL_COMMAND(c, p, len, mnemonic, meaning)                                            \
    do {                                                                                         \
        ++(c).counters.commands;                                                                 \
        if ((c).journal.enabled()) (c).journal.command((c).offset, {p, len}, mnemonic, meaning); \
    } while (0)

// Small helpers the handlers share.
inline std::string num(int v) {
    return std::to_string(v);
}
inline int u16(const uint8_t* p) {
    return p[0] | (p[1] << 8);
}
inline const char* on_off(int n) {
    return (n & 1) ? "on" : "off";
}
// Parameter bytes given as ASCII digits ('0'..'9') mean the same as 0..9.
inline int digit(int n) {
    return n >= '0' && n <= '9' ? n - '0' : n;
}
// The bytes as a quoted string for the journal, at most `max_chars` shown.
std::string quoted(const uint8_t* p, size_t n, size_t max_chars = 40);

}  // namespace quorvel::printer
