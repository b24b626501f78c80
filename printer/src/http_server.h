// SPDX-License-Identifier: MIT
// The printer's web side: one self-contained page at /, a JSON API over the
// receipts and the status switches, and Server-Sent Events at /api/events.
#pragma once

#include <atomic>
#include <memory>
#include <vector>
#include <string>
#include <thread>

#include "journal.h"
#include "profile.h"
#include "receipt_store.h"
#include "status.h"

namespace httplib {
class Server;
}

namespace quorvel::printer {

struct HttpLimits {
    size_t workers = 24;         // connections served at once
    size_t queued = 64;          // accepted connections waiting for a worker
    size_t event_streams = 16;   // open /api/events streams (fewer than workers)
    size_t max_body = 16 << 10;  // request body bytes
};

// One printer as the web side sees it.
struct WebPrinter {
    std::string name;
    ProfilePtr profile;
    ReceiptStore& store;
    EventHub& hub;
    StatusModel& status;
};

// Every URL of a printer is served under /api/printers/NAME/...; the same
// URL without that part is the first printer's.
class HttpServer {
  public:
    explicit HttpServer(std::vector<WebPrinter> printers, HttpLimits limits = {});
    ~HttpServer();

    // Binds ADDR:PORT (port 0: any free port). False with `error` set on failure.
    bool listen(const std::string& host, int port, std::string* error);
    int port() const { return port_; }
    void start();
    void stop();

  private:
    void routes();
    // The printer a request's path names; null (with a 404 sent) for an unknown name.
    WebPrinter* printer_of(const std::string& name) ;

    std::vector<WebPrinter> printers_;
    HttpLimits limits_;
    std::atomic<size_t> streams_{0};  // open event streams, of every printer
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    bool loopback_only_ = true;  // bound to a loopback address: Host is checked
};

// Splits "ADDR:PORT" ("[::1]:8080" for IPv6). False when malformed.
bool parse_http_address(const std::string& text, std::string* host, int* port);
// True for "localhost" and the address literals of 127.0.0.0/8 and ::1.
bool is_loopback(const std::string& host);
// The name in a Host header: "127.0.0.1:8080" -> "127.0.0.1", "[::1]:80" -> "::1".
std::string host_name_of(const std::string& host_header);

// The page served at /, built into the binary.
extern const char* const WEB_PAGE;

}  // namespace quorvel::printer
