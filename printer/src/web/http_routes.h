// SPDX-License-Identifier: MIT
// One printer's JSON API, apart from any HTTP library: a request in, a
// reply out. The server decides who may ask; these handlers only answer.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "machine/status.h"
#include "web/receipt_store.h"

namespace quorvel::printer {

struct HttpRequest {
    std::string method;  // "GET", "PUT", ...
    std::string path;    // without the query; never percent-decoded
    std::string query;   // after '?', raw
    std::string body;
};

struct HttpReply {
    unsigned status = 200;
    std::string type = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;

    // An event stream: the server writes `body` first, then the hub's frames.
    EventHub* hub = nullptr;
    std::shared_ptr<EventHub::Subscriber> stream;

    // A reply that waits for something: the server calls `wait(false)` now
    // and then until it returns a reply, and `wait(true)` once `until` has
    // passed, which must return one.
    std::function<std::optional<HttpReply>(bool last)> wait;
    std::chrono::steady_clock::time_point until;
};

HttpReply json_reply(std::string body, unsigned status = 200);
// GET /api/status: the switches, the replies they give, and what the
// mechanism is doing (state, why held, buffer, roll left).
std::string status_text(const StatusModel& status);
HttpReply error_reply(unsigned status, const std::string& message);

// The raw value of `key` in a query string ("a=1&b=2"); nothing when absent.
std::optional<std::string_view> query_value(std::string_view query, std::string_view key);

// The API of one printer, under some prefix (today "/api").
struct PrinterApi {
    ReceiptStore& store;
    EventHub& hub;
    StatusModel& status;
    // Longest ?wait= a request may ask for.
    std::chrono::seconds max_wait{60};

    // `path` is what follows the prefix ("/receipts/3.png"). Unknown paths
    // are 404, a known path with another method 405 (with Allow).
    HttpReply handle(const HttpRequest& req, std::string_view path) const;
};

}  // namespace quorvel::printer
