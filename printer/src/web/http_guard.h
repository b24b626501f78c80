// SPDX-License-Identifier: MIT
// Who may ask the web side: addresses, the Host header read strictly, what
// a browser says about where a request comes from, and the access token.
#pragma once

#include <string>
#include <string_view>

namespace quorvel::printer {

// Splits "ADDR:PORT" ("[::1]:8080" for IPv6; port 0 means any free one).
// False when malformed.
bool parse_http_address(const std::string& text, std::string* host, int* port);
// True for "localhost" and the address literals of 127.0.0.0/8 and ::1.
bool is_loopback(const std::string& host);

// A Host header value: a DNS name, an IPv4 literal or a bracketed IPv6
// literal, then an optional ":PORT". `name` gets the name without brackets.
// False for anything else: no percent-decoding, no bytes past the grammar.
bool parse_host(std::string_view value, std::string* name);

// What the browser's Sec-Fetch-* headers allow (empty strings when absent:
// not a browser, or an old one). Empty when allowed, else why not.
std::string fetch_refusal(std::string_view site, std::string_view mode, std::string_view dest,
                          std::string_view method, std::string_view path);

// 32 hex digits from the kernel's random source.
std::string random_token();
// Compares without an early exit, so timing does not tell the matching length.
bool same_secret(std::string_view a, std::string_view b);
// The value of cookie `name` in a Cookie header, or empty.
std::string_view cookie_value(std::string_view header, std::string_view name);

}  // namespace quorvel::printer
