// SPDX-License-Identifier: MIT
// Emulated printer status: drawer, paper, cover, online state, and the
// one-byte replies to the status queries.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "machine/machine_link.h"

namespace quorvel::printer {

enum class Paper { OK, NEAR_END, OUT };

struct PrinterState {
    bool drawer_open = false;  // drawer held open (--drawer open)
    bool offline = false;      // forced offline (--offline)
    Paper paper = Paper::OK;
    bool cover_open = false;
    bool silent = false;         // never answer a query
    bool cutter_jammed = false;  // the autocutter is jammed (a recoverable error)
    bool power_off = false;      // switched off: no link is served, the buffers are lost
    // After ESC p the emulated drawer reads open for this long.
    std::chrono::milliseconds drawer_open_time{3000};
};

// Shared by every connection of one printer: a drawer opened by one host
// is still open for the next. Thread-safe: the state may be changed at run
// time (the web panel) and the next query answers from the new state.
class StatusModel {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    explicit StatusModel(PrinterState state = {}, Clock clock = {});

    PrinterState state() const;
    // Replaces the switches (paper, cover, drawer held open, offline, silent);
    // a drawer pulse in progress keeps running.
    void set_state(const PrinterState& state);
    void pulse_drawer();
    bool drawer_open() const;
    bool offline() const;
    bool silent() const;

    // DLE EOT n, n 1..4. Every reply matches 0xx1xx10.
    uint8_t dle_eot(int n) const;
    // ESC v: near end in bits 0-1, paper end in bits 2-3.
    uint8_t esc_v() const;
    // GS r n: 1 paper sensor, 2 drawer connector.
    uint8_t gs_r(int n) const;
    // GS a: the four automatic status back bytes.
    std::array<uint8_t, 4> auto_status() const;

    // A recoverable error (the cutter jammed) waits for DLE ENQ 1 or 2.
    bool error_waiting() const;
    // DLE ENQ 1 or 2: the error is cleared (and the cutter with it).
    void clear_error();
    // The mechanism's own changes: the roll ran out; the cover was opened
    // while printing (an automatically recoverable error until closed).
    void set_paper(Paper paper);
    void set_auto_recoverable(bool on);
    // Called (on the changing thread, without the lock) after every change.
    void listen(std::function<void()> listener);
    // What the print mechanism is doing, for the status the API shows.
    void set_machine_view(std::function<MachineView()> view);
    std::optional<MachineView> machine_view() const;

  private:
    // One consistent reading, so a reply never mixes an old and a new state.
    struct Reading {
        PrinterState state;
        bool drawer_open;
        bool offline;
        bool error_waiting;
        bool auto_recoverable;
    };
    Reading read() const;

    mutable std::mutex mu_;
    PrinterState state_;
    Clock clock_;
    bool pulsed_ = false;
    bool error_waiting_ = false;
    bool auto_recoverable_ = false;
    std::vector<std::function<void()>> listeners_;
    std::function<MachineView()> machine_view_;
    void changed();
    std::chrono::steady_clock::time_point pulse_at_{};
};

}  // namespace quorvel::printer
