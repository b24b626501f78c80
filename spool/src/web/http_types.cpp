// SPDX-License-Identifier: MIT
#include "http_types.h"

#include <nlohmann/json.hpp>

namespace quorvel::spool {

HttpReply json_reply(std::string body, unsigned status) {
    HttpReply r;
    r.status = status;
    r.body = std::move(body);
    r.headers.emplace_back("Cache-Control", "no-store");
    return r;
}

HttpReply error_reply(unsigned status, const std::string& message) {
    return json_reply(nlohmann::json{{"error", message}}.dump(), status);
}

std::optional<std::string_view> query_value(std::string_view query, std::string_view key) {
    while (!query.empty()) {
        const size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const size_t eq = pair.find('=');
        if (pair.substr(0, eq) == key)
            return eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return std::nullopt;
}

}  // namespace quorvel::spool
