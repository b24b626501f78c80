// SPDX-License-Identifier: MIT
// The printer's web side: one self-contained page at /, a JSON API over the
// receipts and the status switches, and Server-Sent Events at /api/events.
// Every request is bounded in size and in time, and every client in the
// number of connections it holds, so that no client can starve the others
// or the printer (see printer/README.md, "Bounds").
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "machine/journal.h"
#include "machine/profile.h"
#include "machine/status.h"
#include "web/http_guard.h"
#include "web/http_routes.h"
#include "web/receipt_store.h"

namespace quorvel::printer {

struct HttpLimits {
    size_t connections = 256;        // open at once, from all peers
    size_t per_peer = 64;            // open at once from one address (a few browsers)
    size_t header_bytes = 16 << 10;  // request line and headers together
    size_t header_count = 100;       // header lines
    size_t target_bytes = 4 << 10;   // the URL
    size_t max_body = 16 << 10;      // request body bytes, chunked or not
    // A request must arrive whole within this, from its first byte (from
    // the connection's start for the first request); bytes do not extend it.
    std::chrono::milliseconds request_time{10000};
    // A kept-alive connection with no new request is closed after this.
    std::chrono::milliseconds idle_time{5000};
    // A reply must be taken by the client within this.
    std::chrono::milliseconds reply_time{10000};
    size_t requests_per_connection = 1000;
    size_t threads = 2;
};

// One printer as the web side sees it.
struct WebPrinter {
    std::string name;
    ProfilePtr profile;
    ReceiptStore& store;
    EventHub& hub;
    StatusModel& status;
};

// Every printer's API is served under /api/printers/NAME/...; the same
// URLs under /api/... are the first printer's; /api/printers lists them.
class HttpServer {
  public:
    // `token`: when not empty, every request must carry it (see README).
    explicit HttpServer(std::vector<WebPrinter> printers, HttpLimits limits = {},
                        std::string token = {});
    ~HttpServer();

    // Binds ADDR:PORT (port 0: any free port), without serving yet. False
    // with `error` set (the address and the reason) on failure.
    bool listen(const std::string& host, int port, std::string* error);
    int port() const;
    // Serves on threads of its own; stop() closes every connection and
    // joins them.
    void start();
    void stop();

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

// The page served at /, built into the binary.
extern const char* const WEB_PAGE;

}  // namespace quorvel::printer
