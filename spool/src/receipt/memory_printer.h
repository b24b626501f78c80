// SPDX-License-Identifier: MIT
// A printer handle whose bytes come back to the caller: the library's own
// handle on a loopback socket that this object reads (as the Python
// package's Dummy does), so a receipt is built by the very functions that
// print on a real printer.
#pragma once

#include <mutex>
#include <string>
#include <thread>

#include "quorvel.h"

namespace quorvel::spool {

class MemoryPrinter {
  public:
    // Opens the handle; `*error` says why not (handle() is then null).
    MemoryPrinter(int model, std::string* error);
    ~MemoryPrinter();
    MemoryPrinter(const MemoryPrinter&) = delete;
    MemoryPrinter& operator=(const MemoryPrinter&) = delete;

    quorvel_printer* handle() const { return handle_; }
    // Closes the handle and returns every byte it sent.
    std::string finish();
    // Bytes received so far (for a bound while building).
    size_t size();

  private:
    int listener_ = -1;
    int peer_ = -1;
    quorvel_printer* handle_ = nullptr;
    std::thread reader_;
    std::mutex mu_;
    std::string bytes_;
};

}  // namespace quorvel::spool
