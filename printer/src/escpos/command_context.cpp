// SPDX-License-Identifier: MIT
#include "escpos/command_context.h"

#include <cstdio>

namespace quorvel::printer {

std::string quoted(const uint8_t* p, size_t n, size_t max_chars) {
    std::string s = "\"";
    for (size_t i = 0; i < n && i < max_chars; ++i) {
        const uint8_t c = p[i];
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            s += static_cast<char>(c);
        } else {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02X", c);
            s += b;
        }
    }
    s += n > max_chars ? "\"…" : "\"";
    return s;
}

void CommandContext::log(const uint8_t* p, size_t len, std::string_view mnemonic,
                         std::string_view meaning) {
    ++counters.commands;
    journal.command(offset, {p, len}, mnemonic, meaning);
}

void CommandContext::unknown(const uint8_t* p, size_t len, std::string_view what) {
    ++counters.unknown;
    log(p, len, "?",
        std::string("unknown ") + std::string(what) + ", skipped " + num(static_cast<int>(len)) +
            (len == 1 ? " byte" : " bytes"));
}

void CommandContext::send(std::span<const uint8_t> bytes) {
    if (status.silent()) {
        note("silent: query not answered");
        return;
    }
    ++counters.replies;
    if (reply) reply(bytes);
}

size_t CommandContext::skip_payload(const uint8_t* p, size_t header, uint64_t payload,
                                    std::string_view mnemonic, std::string_view why) {
    JOURNAL_COMMAND(*this, p, header, mnemonic,
                    std::string(why) + "; " + std::to_string(payload) + " data bytes skipped");
    skip = payload;
    counters.skipped_bytes += payload;
    return header;
}

void CommandContext::auto_status_check() {
    if (!auto_status) return;
    const auto now = status.auto_status();
    // The bits each GS a mask bit watches: drawer (byte 1 bit 2), online
    // state and cover (byte 1 bits 3, 5), errors (byte 2), paper (byte 3).
    const auto watched = [&](const std::array<uint8_t, 4>& g) {
        return std::array<uint8_t, 4>{static_cast<uint8_t>(g[0] & ((auto_status & 1 ? 0x04 : 0) |
                                                                   (auto_status & 2 ? 0x28 : 0) |
                                                                   (auto_status & 4 ? 0x40 : 0))),
                                      static_cast<uint8_t>(auto_status & 4 ? g[1] : 0),
                                      static_cast<uint8_t>(auto_status & 8 ? g[2] : 0), 0};
    };
    if (watched(now) == watched(auto_status_sent)) return;
    auto_status_sent = now;
    if (urgent && !status.silent()) {
        const uint8_t group[4] = {now[0], now[1], now[2], now[3]};
        ++counters.replies;
        urgent(group);
        return;
    }
    send({now[0], now[1], now[2], now[3]});
}

const Profile& CommandContext::builtin_profile() {
    static const Profile generic;
    return generic;
}

bool CommandContext::lacks(bool has, std::string_view what) {
    if (has) return false;
    note(std::string(what) + ": not on this model (" + profile.name + "); nothing printed");
    return true;
}

}  // namespace quorvel::printer
