// SPDX-License-Identifier: MIT
// The service's web side: the page at /, the JSON API and the event stream.
// Every request is bounded in size and in time, and every client in the
// number of connections it holds, as on the virtual printer's web side.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "http_guard.h"
#include "http_types.h"

namespace quorvel::spool {

class Access;

struct HttpLimits {
    size_t connections = 256;        // open at once, from all peers
    size_t per_peer = 64;            // open at once from one address
    size_t header_bytes = 16 << 10;  // request line and headers together
    size_t header_count = 100;       // header lines
    size_t target_bytes = 4 << 10;   // the URL
    size_t max_body = 1 << 20;       // request body bytes, chunked or not (the largest job)
    // A request must arrive whole within this, from its first byte (from
    // the connection's start for the first request); bytes do not extend it.
    std::chrono::milliseconds request_time{10000};
    // A kept-alive connection with no new request is closed after this.
    std::chrono::milliseconds idle_time{5000};
    // A reply must be taken by the client within this.
    std::chrono::milliseconds reply_time{10000};
    size_t requests_per_connection = 100000;
    size_t threads = 4;  // requests wait for the disk: more threads than cores
};

using HttpHandler = std::function<HttpReply(const HttpRequest&)>;

class HttpServer {
  public:
    // `token`: when not empty, every request must carry it. `hub`: the event
    // streams' hub, closed by stop().
    HttpServer(HttpHandler handler, EventHub& hub, HttpLimits limits = {}, std::string token = {});
    ~HttpServer();

    // Binds ADDR:PORT (port 0: any free port), without serving yet. False
    // with `error` set (the address and the reason) on failure.
    bool listen(const std::string& host, int port, std::string* error);
    int port() const;
    // Pages from the origins `access` allows, with its tokens (before listen).
    void set_access(const Access* access);
    void start();
    void stop();

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace quorvel::spool
