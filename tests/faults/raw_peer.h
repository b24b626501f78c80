// SPDX-License-Identifier: MIT
// The printer end of a fault test, as bare sockets and pseudo-terminals, so a
// test can set buffer sizes and backlogs and time its answers itself.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "fake_printer.h"

namespace quorvel::testing {


// A listener at 127.a.b.c:9100 that accepts nothing by itself.
class RawListener {
  public:
    // receive_buffer > 0 shrinks SO_RCVBUF before listen, so accepted sockets
    // advertise a small window.
    explicit RawListener(int backlog = 4, int receive_buffer = 0);
    ~RawListener();
    RawListener(const RawListener&) = delete;
    RawListener& operator=(const RawListener&) = delete;

    const std::string& address() const { return address_; }
    // The next connection, or -1 after timeout.
    int accept_one(std::chrono::milliseconds timeout = std::chrono::seconds(3));

  private:
    std::string address_;
    int listener_ = -1;
};

// Reads whatever arrives within timeout; the count read, 0 on orderly close or
// time-out, -1 on error.
long read_some(int fd, std::uint8_t* buffer, std::size_t length,
               std::chrono::milliseconds timeout = std::chrono::seconds(3));
// Aborts the connection with RST instead of FIN.
void reset_connection(int fd);
// A non-blocking client connection to address:9100, started but not awaited.
int start_connect(const std::string& address);

// A pseudo-terminal pair: the library opens slave_name(), the test plays the
// printer on master().
class Pty {
  public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& slave_name() const { return slave_name_; }
    int master() const { return master_; }
    void close_master();
    void close_slave();

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slave_name_;
};

}  // namespace quorvel::testing
