// SPDX-License-Identifier: MIT
// Incremental ESC/POS stream interpreter. It is fed chunks as they arrive,
// keeps a partial command until the rest comes, answers status queries at
// once, writes the journal and drives the renderer. What each command does
// is looked up in the command table (command_table.cpp).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "escpos/command_context.h"

namespace quorvel::printer {

class Interpreter {
  public:
    using Reply = quorvel::printer::Reply;

    // `nv` holds the stored images of the printer (shared by its sessions); null: none kept.
    Interpreter(Renderer& renderer, StatusModel& status, Journal& journal, Reply reply,
                InterpreterLimits limits = {}, NvStore* nv = nullptr,
                const Profile* profile = nullptr);

    void feed(std::span<const uint8_t> data);
    // End of the stream: log a command cut short, print what is left.
    void finish();
    // End of the stream on paper that stays in the printer: log a command
    // cut short and forget it; the paper is left as it is.
    void end_stream();
    // The buffers are cleared (DLE DC4 8, DLE ENQ 2, a power cut): a command
    // half read is dropped, and so is the line being built.
    void drop_input(std::string_view why);
    // A status changed outside the stream: automatic status back tells the host.
    void status_changed();
    void set_machine(MachineLink* machine) { c_.machine = machine; }
    void set_urgent_reply(Reply urgent) { c_.urgent = std::move(urgent); }

    uint64_t offset() const { return offset_; }
    size_t buffered() const { return buf_.size() - pos_; }
    const InterpreterCounters& counters() const { return c_.counters; }

  private:
    size_t step(const uint8_t* p, size_t n);
    size_t text(const uint8_t* p, size_t n);
    size_t unknown_sequence(const uint8_t* p, size_t n);

    CommandContext c_;
    std::vector<uint8_t> buf_;
    size_t pos_ = 0;
    uint64_t offset_ = 0;  // stream offset of buf_[pos_]
};

}  // namespace quorvel::printer
