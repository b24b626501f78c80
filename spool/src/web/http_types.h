// SPDX-License-Identifier: MIT
// A request and its reply as the service's handlers see them, apart from
// any HTTP library.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "event_hub.h"

namespace quorvel::spool {

struct HttpRequest {
    std::string method;  // "GET", "POST", ...
    std::string path;    // without the query; never percent-decoded
    std::string query;   // after '?', raw
    std::string body;
    std::optional<std::string> idempotency_key;  // the Idempotency-Key header, when sent
    bool loopback_peer = true;
    // The page's origin when a web page from an allowed origin asks (with a
    // token); empty for the service's own page and programs on the machine.
    std::string origin;
};

struct HttpReply {
    unsigned status = 200;
    std::string type = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;

    // An event stream: the server writes `body` first, then the hub's frames.
    EventHub* hub = nullptr;
    std::shared_ptr<EventHub::Subscriber> stream;
};

HttpReply json_reply(std::string body, unsigned status = 200);
HttpReply error_reply(unsigned status, const std::string& message);

// The raw value of `key` in a query string ("a=1&b=2"); nothing when absent.
std::optional<std::string_view> query_value(std::string_view query, std::string_view key);

}  // namespace quorvel::spool
