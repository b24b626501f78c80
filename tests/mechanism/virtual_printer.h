// SPDX-License-Identifier: MIT
// The virtual printer (quorvel-printer) as a child process for one test: its
// own loopback address for the printer (port 9100) and its HTTP API (port
// 8080), its own folder, gone when the test ends.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quorvel::testing {

class VirtualPrinter {
  public:
    struct Options {
        std::string speed = "250";  // mm/s
        int paper_roll_mm = 0;      // 0: a roll that never ends
        bool process_id = true;     // false: a profile without GS ( H
        bool serial = false;        // also a serial link (a pseudo-terminal)
    };
    explicit VirtualPrinter(Options options);
    ~VirtualPrinter();
    VirtualPrinter(const VirtualPrinter&) = delete;
    VirtualPrinter& operator=(const VirtualPrinter&) = delete;

    const std::string& address() const { return address_; }
    const std::string& serial_link() const { return serial_link_; }

    // PUT /api/status with a JSON body; the HTTP status code.
    int put_status(const std::string& json);
    // GET path; the body, empty when the request failed.
    std::string get(const std::string& path);
    // The text of every receipt printed so far (GET /api/receipts/N/text),
    // oldest first, one entry per receipt.
    std::vector<std::string> receipt_texts();
    // The ids of the receipts listed now, oldest first.
    std::vector<int> receipt_ids();

  private:
    std::string request(const std::string& method, const std::string& path, const std::string& body,
                        int* status);

    std::string address_, directory_, serial_link_;
    pid_t child_ = -1;
};

// How often `line` is a whole printed line in a receipt's text.
int printed_lines(const std::string& receipt_text, const std::string& line);

}  // namespace quorvel::testing
