// SPDX-License-Identifier: MIT
// What the print mechanism offers the command handlers: the commands whose
// effect depends on the machine (completion replies, recovery, clearing the
// buffers) reach it through this interface. Without a mechanism (offline
// decoding) the handlers act at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace quorvel::printer {

enum class MachineState { IDLE, PRINTING, HELD, OFF };
const char* machine_state_name(MachineState s);

// What the machine shows: the state, why it is held, its buffer and roll.
struct MachineView {
    MachineState state = MachineState::IDLE;
    std::string held_because;  // empty unless held
    size_t buffer_used = 0;
    size_t buffer_size = 0;
    double paper_left_mm = -1;  // -1: the roll never runs out
    bool operator==(const MachineView&) const = default;
};

class MachineLink {
  public:
    virtual ~MachineLink() = default;
    // GS ( H fn 48: answer 37 22 id 00 once everything before it has printed.
    virtual void process_id(std::span<const uint8_t, 4> id) = 0;
    // A real-time command at this stream offset was already acted on when it
    // arrived (ahead of the data queued before it): it must not act twice.
    virtual bool done_on_arrival(uint64_t offset) = 0;
    // DLE DC4 fn 8, and DLE ENQ 2: the receive and print buffers are cleared.
    virtual void clear_buffers() = 0;
    // DLE ENQ n (1: go on from the line, 2: clear the buffers and go on);
    // false when no recoverable error was waiting.
    virtual bool recover(int n) = 0;
};

}  // namespace quorvel::printer
