// SPDX-License-Identifier: MIT
#include "escpos/interpreter.h"

#include <algorithm>

#include "escpos/command_table.h"
#include "escpos/commands.h"

namespace quorvel::printer {
namespace {

constexpr size_t NEED_MORE = 0;
constexpr uint8_t LF = 0x0A, CR = 0x0D, DLE = 0x10, DC2 = 0x12, ESC = 0x1B, FS = 0x1C, GS = 0x1D;

const char* unknown_what(uint8_t lead) {
    switch (lead) {
        case DLE:
            return "DLE command";
        case DC2:
            return "DC2 command";
        case ESC:
            return "ESC command";
        case FS:
            return "FS command";
        case GS:
            return "GS command";
        default:
            return "control byte";
    }
}

// A byte that starts a command or ends a line is never taken as the second
// byte of an unknown sequence, so the command after it is not eaten.
bool starts_command(uint8_t b) {
    return b == ESC || b == GS || b == FS || b == DLE || b == DC2 || b == LF || b == CR;
}

}  // namespace

Interpreter::Interpreter(Renderer& renderer, StatusModel& status, Journal& journal, Reply reply,
                         InterpreterLimits limits, NvStore* nv, const Profile* profile)
    : c_(renderer, status, journal, std::move(reply), limits, nv, profile) {}

void Interpreter::feed(std::span<const uint8_t> data) {
    if (pos_ == buf_.size()) {
        buf_.clear();
        pos_ = 0;
    }
    buf_.insert(buf_.end(), data.begin(), data.end());
    // A change since the last command (the drawer closing again) goes out before anything else.
    if (c_.auto_status) c_.auto_status_check();
    for (;;) {
        const uint8_t* p = buf_.data() + pos_;
        const size_t n = buf_.size() - pos_;
        if (n == 0) break;
        c_.offset = offset_;
        size_t used;
        if (c_.skip > 0) {
            used = static_cast<size_t>(std::min<uint64_t>(c_.skip, n));
            c_.skip -= used;
        } else if (c_.escv_param) {
            // Some hosts follow ESC v with a parameter byte; it belongs to the query.
            c_.escv_param = false;
            if (p[0] > 0x01) continue;
            JOURNAL_COMMAND(c_, p, 1, "(ESC v)", "parameter byte of the paper sensor query");
            used = 1;
        } else if (c_.fsq_left > 0) {
            used = fs_define_nv_next(c_, p, n);
        } else if (c_.userchar_left > 0) {
            used = esc_define_user_chars_next(c_, p, n);
        } else {
            used = step(p, n);
        }
        if (used == NEED_MORE) break;
        pos_ += used;
        offset_ += used;
    }
    if (pos_ > 0 && pos_ == buf_.size()) {
        buf_.clear();
        pos_ = 0;
    } else if (pos_ > 4096) {
        buf_.erase(buf_.begin(), buf_.begin() + static_cast<ptrdiff_t>(pos_));
        pos_ = 0;
    }
}

void Interpreter::finish() {
    end_stream();
    c_.r.finish();
}

void Interpreter::end_stream() {
    c_.offset = offset_;
    if (buffered() == 1 && buf_[pos_] == CR) {
        JOURNAL_COMMAND(c_, buf_.data() + pos_, 1, "CR", "carriage return (no effect without LF)");
        ++pos_;
        ++offset_;
    }
    const size_t left = buffered();
    if (left > 0 || c_.skip > 0 || c_.fsq_left > 0 || c_.userchar_left > 0) {
        c_.counters.truncated = true;
        const uint8_t* p = buf_.data() + pos_;
        if (left > 0)
            JOURNAL_COMMAND(
                c_, p, left, "TRUNCATED",
                "stream ended inside a command; " + num(static_cast<int>(left)) + " bytes dropped");
        else
            c_.note("stream ended inside a command's data (" + std::to_string(c_.skip) +
                    " bytes short)");
        pos_ = buf_.size();
        offset_ += left;
        c_.skip = 0;
        c_.fsq_left = c_.userchar_left = 0;
    }
}

void Interpreter::drop_input(std::string_view why) {
    const size_t left = buffered();
    if (left > 0 || c_.skip > 0 || c_.fsq_left > 0 || c_.userchar_left > 0)
        c_.note(std::string(why) + ": " + std::to_string(left + c_.skip) +
                " bytes of a command dropped");
    offset_ += left;
    buf_.clear();
    pos_ = 0;
    c_.skip = 0;
    c_.fsq_left = c_.userchar_left = 0;
    c_.escv_param = false;
    c_.r.clear_line();
}

void Interpreter::status_changed() {
    if (c_.auto_status) c_.auto_status_check();
}

size_t Interpreter::text(const uint8_t* p, size_t n) {
    size_t k = 0;
    while (k < n && p[k] >= 0x20) ++k;
    for (size_t i = 0; i < k; ++i) c_.r.put_char(p[i]);
    JOURNAL_COMMAND(c_, p, k, "TEXT", quoted(p, k) + " (" + num(static_cast<int>(k)) + " bytes)");
    return k;
}

size_t Interpreter::unknown_sequence(const uint8_t* p, size_t n) {
    const uint8_t lead = p[0];
    const bool prefix = lead == DLE || lead == DC2 || lead == ESC || lead == FS || lead == GS;
    const size_t len = !prefix || n < 2 || starts_command(p[1]) ? 1 : 2;
    c_.unknown(p, len, unknown_what(lead));
    return len;
}

size_t Interpreter::step(const uint8_t* p, size_t n) {
    if (p[0] >= 0x20) return text(p, n);
    bool need_more = false;
    const CommandRow* row = find_command(p, n, &need_more);
    if (need_more) return NEED_MORE;
    if (!row) return unknown_sequence(p, n);
    const Extent e = measure_command(*row, p, n, c_.limits);
    if (e.header == 0) return NEED_MORE;
    if (e.skip_why) return c_.skip_payload(p, e.header, e.data, row->mnemonic, e.skip_why);
    const size_t len = e.header + static_cast<size_t>(e.data);
    if (n < len) return NEED_MORE;
    if (row->handler)
        row->handler(c_, p, len);
    else
        JOURNAL_COMMAND(c_, p, len, row->mnemonic, row->meaning);
    // A command may change the status (a drawer pulse): automatic status back tells the host.
    if (c_.auto_status) c_.auto_status_check();
    return len;
}

}  // namespace quorvel::printer
