// SPDX-License-Identifier: MIT
// The print mechanism of one link: a receive buffer of the model's size, a
// paper motion at the model's speed, and a roll of paper of a given length.
// Bytes wait in the receive buffer until the mechanism takes them; the
// interpreter lays out one line at a time and the paper then moves for the
// line's length divided by the speed. Paper out, an open cover or a cutter
// error stop the motion where it is: received data stays in the buffer, and
// once it is full the link stops reading (the host's writes block).
//
// It runs on its link's thread, driven by run() at the times it asks for;
// nothing in it waits or spins. view() may be read from any thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "machine/machine_link.h"

namespace quorvel::printer {

class Journal;
class StatusModel;

struct MechanismSettings {
    size_t receive_buffer = 4096;  // bytes
    double speed_mm_s = 0;         // 0: instant, as the printer was before it had a speed
    double paper_roll_mm = 0;      // 0: a roll that never runs out
    // Print on with paper out or the cover open (only the status replies
    // change), as the printer did before it had a mechanism.
    bool print_while_out = false;
};

// What the mechanism drives: one link's interpreter, paper and host.
struct MechanismHooks {
    std::function<void(std::span<const uint8_t>)> feed;  // bytes to the interpreter, in order
    std::function<uint64_t()> dots;                      // paper laid out so far, in dots
    std::function<bool()> uncut;                         // paper laid out and not cut yet
    std::function<void(std::string_view, int back)>
        mark;                                            // a mark across the paper, `back` dots up
    std::function<void(std::span<const uint8_t>)> send;  // bytes to the host, now
    std::function<void()> clear_input;  // drop a half-read command and the line being built
};

class Mechanism : public MachineLink {
  public:
    using Clock = std::chrono::steady_clock;
    // Dots per mm at 203 dpi.
    static constexpr double DOTS_PER_MM = 8.0;
    // Bytes laid out per step when printing takes time: up to a line feed.
    static constexpr size_t LINE_PIECE = 256;

    Mechanism(MechanismSettings settings, StatusModel& status, Journal& journal);

    const MechanismSettings& settings() const { return settings_; }

    // A session begins (its interpreter, paper and host) or ends.
    void attach(MechanismHooks hooks);
    void detach();

    // Bytes the receive buffer takes now (0: full, or the power is off).
    size_t room() const;
    // Bytes to read from the link now: while printing takes no time and
    // nothing holds it, all there is (up to `most`), as before the printer
    // had a mechanism, so a host that closes at once loses nothing; else room().
    size_t take_now(size_t most) const;
    size_t used() const { return queue_.size() - head_; }
    // Nothing waits: the buffer is empty and the paper has stopped moving.
    bool idle() const;

    // Bytes from the link. Real-time commands among bytes that have to wait
    // (DLE EOT, DLE ENQ, DLE DC4 fn 8) are acted on at once.
    void receive(std::span<const uint8_t> bytes, Clock::time_point now);
    // Does what is due at `now`: moves the paper, lays out the next lines,
    // sends the replies whose data has printed. Returns when it next needs
    // to run for the motion (none when stopped, idle or held).
    std::optional<Clock::time_point> run(Clock::time_point now);

    // Replies of queued queries, in stream order (the interpreter's reply
    // channel): sent once the paper laid out before them has moved.
    void reply(std::span<const uint8_t> bytes);

    // MachineLink, from the interpreter.
    void process_id(std::span<const uint8_t, 4> id) override;
    bool done_on_arrival(uint64_t offset) override;
    void clear_buffers() override;
    bool recover(int n) override;

    // The printer is stopping: what may still print prints at once.
    void hurry() { rate_ = 0; }

    // Power: off loses every buffer and queued reply; on starts afresh
    // (with a new roll if the old one had run out).
    void power_off();
    void power_on();

    // Thread-safe: the last state the link's thread saw, with the hold the
    // switches make now (a switch just flipped shows at once).
    // `on_change` (set before the link runs) hears every change.
    MachineView view() const;
    std::function<void(const MachineView&)> on_change;

  private:
    struct Pending {
        uint64_t at_dots;  // sent once the paper has moved this far
        bool id;           // a process ID answer (only the latest due is sent)
        std::vector<uint8_t> bytes;
    };
    // Why the motion stops now; empty when it may move.
    std::string hold_reason(bool power = true) const;
    void advance(Clock::time_point now);
    void deliver();
    void send_now(std::span<const uint8_t> bytes);
    // Feeds the next piece of the buffer to the interpreter.
    void feed_piece();
    void check_roll();
    void scan_arrivals();
    void clear_queue_before(size_t index);
    void publish();

    MechanismSettings settings_;
    StatusModel& status_;
    Journal& journal_;
    MechanismHooks hooks_;
    bool attached_ = false;
    double rate_;  // dots per second; 0 instant

    std::vector<uint8_t> queue_;            // the receive buffer: bytes not yet fed
    size_t head_ = 0;                       // queue_[head_..] are waiting
    uint64_t fed_ = 0;                      // bytes fed to the interpreter this session
    size_t scanned_ = 0;                    // queue index up to which arrivals were scanned
    std::deque<uint64_t> done_on_arrival_;  // stream offsets of real-time commands acted on

    uint64_t target_ = 0;  // dots laid out by the interpreter
    double done_ = 0;      // dots the paper has moved
    Clock::time_point moved_at_{};
    std::string held_;  // the hold in force ("" none)
    std::atomic<bool> off_{false};

    double roll_used_mm_ = 0;
    std::atomic<bool> roll_out_{false};  // this roll has run out
    bool mark_due_ = false;              // paper was out while a receipt was on it
    uint64_t mark_at_ = 0;               // where: the paper's position when it stopped
    uint64_t piece_start_ = 0;           // dots laid out before the line now moving

    std::deque<Pending> pending_;

    mutable std::mutex view_mu_;
    MachineView view_;
};

}  // namespace quorvel::printer
