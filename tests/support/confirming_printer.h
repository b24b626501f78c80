// SPDX-License-Identifier: MIT
// The printer's side of confirmed printing, for tests over any transport: it
// prints what it receives after a set time per line, answers GS ( H fn 48
// once the data before the ID has printed, GS r 1 once it reaches it, and
// DLE EOT at once; paper out and an open cover stop it (nothing is lost),
// a power cut loses what it holds and answers nothing. What it prints is kept
// as "paper". Everything it sends goes through one sender thread, in order.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "fake_printer.h"

namespace quorvel::testing {

class ConfirmingPrinter {
  public:
    using Emit = std::function<void(const Bytes&)>;
    explicit ConfirmingPrinter(Emit emit);
    ~ConfirmingPrinter();
    ConfirmingPrinter(const ConfirmingPrinter&) = delete;
    ConfirmingPrinter& operator=(const ConfirmingPrinter&) = delete;

    // Bytes from the host, as they arrive (commands may be split between chunks).
    void feed(const Bytes& chunk);

    // Settings and faults, any time.
    void set_process_id(bool answers);      // false: GS ( H is ignored
    void set_ms_per_line(int ms);           // printing time of each LF
    void set_paper(bool present);           // out: printing stops until it is back
    void paper_out_after_lines(int lines);  // runs out after this many more lines
    void set_cover_open(bool open);
    void set_power(bool on);            // off: buffers lost, nothing answered
    void send_raw(const Bytes& bytes);  // unasked bytes (ASB groups, noise)

    std::string paper();  // printable bytes printed so far
    int ids_requested();  // GS ( H fn 48 seen
    std::string last_id_requested();
    int fences_requested();  // GS r 1 seen
    int status_queries();    // DLE EOT seen

  private:
    struct Item {
        enum Kind { data, id, fence } kind;
        Bytes bytes;
        int lines_left = 0;
    };
    void parse_locked();
    void run();
    bool held_locked() const { return !paper_ || cover_open_; }
    void queue_out_locked(const Bytes& bytes);
    void group_locked();  // automatic status back, when the host turned it on
    std::uint8_t realtime_locked(int n) const;

    Emit emit_;
    std::mutex mutex_;
    std::condition_variable wake_;
    Bytes input_;
    std::deque<Item> queue_;
    std::deque<Bytes> out_;
    std::string paper_text_;
    bool process_id_ = true, paper_ = true, cover_open_ = false, power_ = true, asb_ = false;
    int ms_per_line_ = 0, out_after_lines_ = -1;
    int ids_ = 0, fences_ = 0, queries_ = 0;
    std::string last_id_;
    std::chrono::steady_clock::time_point line_started_{};
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace quorvel::testing
