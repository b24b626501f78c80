// SPDX-License-Identifier: MIT
#include "web/http_guard.h"

#include <arpa/inet.h>
#include <sys/random.h>

#include <algorithm>
#include <cctype>
#include <regex>

namespace quorvel::printer {

bool parse_http_address(const std::string& text, std::string* host, int* port) {
    std::smatch m;
    static const std::regex FORM(R"(^(\[[0-9A-Fa-f:.]+\]|[A-Za-z0-9.\-]+):(\d{1,5})$)");
    if (!std::regex_match(text, m, FORM)) return false;
    const int p = std::stoi(m[2].str());
    if (p > 65535) return false;
    std::string h = m[1].str();
    if (h.front() == '[') h = h.substr(1, h.size() - 2);
    *host = h;
    *port = p;
    return true;
}

bool is_loopback(const std::string& host) {
    // Only "localhost" and address literals: a name such as "127.x.example"
    // is whatever its DNS says, which may change between two requests.
    std::string h = host;
    std::transform(h.begin(), h.end(), h.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (h == "localhost" || h == "localhost.") return true;
    in_addr v4{};
    if (inet_pton(AF_INET, h.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    return inet_pton(AF_INET6, h.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

namespace {

// ":PORT" with 1 to 5 digits up to 65535, or nothing.
bool port_ok(std::string_view s) {
    if (s.empty()) return true;
    if (s[0] != ':' || s.size() < 2 || s.size() > 6) return false;
    long v = 0;
    for (char c : s.substr(1)) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    return v <= 65535;
}

// Labels of letters, digits and '-', not starting or ending with '-',
// separated by dots; one trailing dot allowed.
bool dns_name_ok(std::string_view s) {
    if (s.empty() || s.size() > 253) return false;
    if (s.back() == '.') s.remove_suffix(1);
    size_t label = 0;
    char prev = '.';
    for (char c : s) {
        if (c == '.') {
            if (label == 0 || prev == '-') return false;
            label = 0;
        } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '-') {
            if (label == 0 && c == '-') return false;
            if (++label > 63) return false;
        } else {
            return false;
        }
        prev = c;
    }
    return label > 0 && prev != '-';
}

}  // namespace

bool parse_host(std::string_view value, std::string* name) {
    if (value.empty() || value.size() > 261) return false;
    if (value[0] == '[') {
        const size_t end = value.find(']');
        if (end == std::string_view::npos || !port_ok(value.substr(end + 1))) return false;
        const std::string literal(value.substr(1, end - 1));
        in6_addr v6{};
        if (literal.empty() || inet_pton(AF_INET6, literal.c_str(), &v6) != 1) return false;
        *name = literal;
        return true;
    }
    const size_t colon = value.find(':');
    if (!port_ok(colon == std::string_view::npos ? "" : value.substr(colon))) return false;
    const std::string_view host = value.substr(0, colon);
    if (!dns_name_ok(host)) return false;
    *name = std::string(host);
    return true;
}

std::string fetch_refusal(std::string_view site, std::string_view mode, std::string_view dest,
                          std::string_view method, std::string_view path) {
    // Another site, or another port of this machine ("same-site"), may only
    // open the page itself, as a top-level navigation: no reads, no changes,
    // no event streams, no frames.
    if (site == "cross-site" || site == "same-site") {
        const bool top_level_page = (method == "GET" || method == "HEAD") && path == "/" &&
                                    mode == "navigate" && dest == "document";
        if (!top_level_page) return "requests from other sites are refused";
    }
    // The event stream is for the page's EventSource only: not a frame, not
    // a navigation, whoever embeds it.
    if (path.ends_with("/events") && (!dest.empty() && dest != "empty"))
        return "the event stream is only for the page's script";
    return {};
}

std::string random_token() {
    unsigned char bytes[16];
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n > 0) got += static_cast<size_t>(n);
    }
    static const char HEX[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) out += {HEX[b >> 4], HEX[b & 15]};
    return out;
}

bool same_secret(std::string_view a, std::string_view b) {
    unsigned diff = a.size() == b.size() ? 0 : 1;
    for (size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i]) ^
                static_cast<unsigned char>(b.empty() ? 0 : b[i % b.size()]);
    return diff == 0;
}

std::string_view cookie_value(std::string_view header, std::string_view name) {
    while (!header.empty()) {
        const size_t semi = header.find(';');
        std::string_view pair = header.substr(0, semi);
        while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
        const size_t eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == name) return pair.substr(eq + 1);
        if (semi == std::string_view::npos) break;
        header.remove_prefix(semi + 1);
    }
    return {};
}

}  // namespace quorvel::printer
