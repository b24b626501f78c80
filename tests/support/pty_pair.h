// SPDX-License-Identifier: MIT
// A pseudo-terminal pair for serial tests: the library opens the slave by its
// name, the test plays the printer on the master.
#pragma once

#include <termios.h>

#include <chrono>
#include <cstddef>
#include <future>
#include <string>

#include "fake_printer.h"

namespace quorvel::testing {

class PtyPair {
  public:
    // The slave keeps the terminal's default (cooked) settings until the library
    // configures it. Throws std::runtime_error when no pair can be had.
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& slave_name() const { return slave_name_; }
    // The test's own descriptor of the slave, open for the pair's whole life.
    int slave_fd() const { return slave_; }

    // Reads from the master until count bytes have arrived or timeout passes;
    // returns what arrived.
    Bytes read_master(std::size_t count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(3));
    // Everything that arrives within quiet_for (waits no longer than that).
    Bytes read_master_for(std::chrono::milliseconds quiet_for);
    bool write_master(const Bytes& bytes);
    // Plays the printer once, on its own thread: waits for a query of
    // query_length bytes, then answers with reply. The future gives the query seen.
    std::future<Bytes> answer_once(std::size_t query_length, Bytes reply);

    // Closes the printer's end: a hang-up under an open link.
    void close_master();

    // The slave's line settings as the terminal now holds them.
    termios slave_settings() const;

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slave_name_;
};

}  // namespace quorvel::testing
