// SPDX-License-Identifier: MIT
// The TCP link to a network printer: AbreSocket on raw port 9100, and
// quorvel_open_tcp on any port and for IPv6 too.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "api/quorvel.h"
#include "link/connection.h"

namespace quorvel::link {
namespace {

// Dotted-decimal IPv4 only: four numbers 0 to 255, no leading zeros, nothing else.
// Host names are never resolved.
bool parse_ipv4(const char* text, std::uint8_t (&address)[4]) {
    if (text == nullptr) return false;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && *text++ != '.') return false;
        int value = 0, digits = 0;
        while (*text >= '0' && *text <= '9') {
            if (digits > 0 && value == 0) return false;  // leading zero
            value = value * 10 + (*text++ - '0');
            if (++digits > 3 || value > 255) return false;
        }
        if (digits == 0) return false;
        address[part] = static_cast<std::uint8_t>(value);
    }
    return *text == '\0';
}

constexpr std::size_t ipv6_text_capacity = 46;  // INET6_ADDRSTRLEN

// An IPv6 literal, optionally in brackets, optionally with a numeric zone
// ("fe80::1%2"). Interface names are not looked up: that is a system query.
bool parse_ipv6_literal(const char* text, platform::IpAddress& address) {
    std::size_t length = ::strnlen(text, ipv6_text_capacity + 16);
    if (length >= ipv6_text_capacity + 16) return false;
    if (text[0] == '[') {
        if (length < 2 || text[length - 1] != ']') return false;
        ++text;
        length -= 2;
    }
    char plain[ipv6_text_capacity + 16];
    std::memcpy(plain, text, length);
    plain[length] = '\0';
    if (char* zone = std::strchr(plain, '%'); zone != nullptr) {
        *zone++ = '\0';
        if (*zone < '0' || *zone > '9') return false;
        char* end = nullptr;
        unsigned long scope = std::strtoul(zone, &end, 10);
        if (*end != '\0' || scope > 0xFFFFFFFFul) return false;
        address.scope = static_cast<std::uint32_t>(scope);
    }
    return std::strchr(plain, ':') != nullptr && platform::parse_ipv6(plain, address);
}

bool parse_address(const char* text, platform::IpAddress& address) {
    std::uint8_t v4[4];
    if (parse_ipv4(text, v4)) {
        address.v6 = false;
        std::memcpy(address.bytes, v4, 4);
        return true;
    }
    return parse_ipv6_literal(text, address);
}

// Opens the current link's socket and connects; on failure everything is
// released again and the cause recorded. Statesocket is set by the caller.
bool connect_link(const platform::IpAddress& address, std::uint16_t port, const char* name) {
    platform::SocketHandle& remote_socket = current().remote_socket;
    if (!platform::net_startup()) {
        report_failure("WSAStartup() failed\n");
        return fail_from_platform(QUORVEL_E_SYSTEM, "socket library start-up");
    }
    remote_socket = platform::tcp_socket(address.v6);
    if (remote_socket == platform::invalid_handle) {
        platform::net_cleanup();
        report_failure("socket() failed\n");
        return fail_from_platform(QUORVEL_E_SYSTEM, "socket()");
    }
    if (!platform::tcp_connect(remote_socket, address, port, connect_timeout_ms)) {
        fail_from_platform(QUORVEL_E_UNREACHABLE, name);
        platform::tcp_close(remote_socket);
        platform::net_cleanup();
        return false;
    }
    set_link_name(name);
    return true;
}

}  // namespace

int open_tcp(const char* address, int port, int model) {
    Link& link = current();
    link.printer_model = model;
    if (link.Statesocket == 1) return fail(QUORVEL_E_ALREADY_OPEN, link.link_name);
    if (address == nullptr) return fail(QUORVEL_E_NULL_INPUT, "address");
    // Refused input touches nothing: checked before the socket library starts.
    platform::IpAddress ip;
    if (!parse_address(address, ip))
        return fail_format(QUORVEL_E_BAD_ADDRESS, "\"%.64s\"", address);
    if (port < 1 || port > 65535) return fail_format(QUORVEL_E_BAD_PORT, "%d", port);
    char name[link_name_capacity];
    // IPv6 in brackets, so the port reads apart from the address.
    const bool bracket = ip.v6 && address[0] != '[';
    std::snprintf(name, sizeof name, bracket ? "[%.64s] port %d" : "%.64s port %d", address, port);
    if (!connect_link(ip, static_cast<std::uint16_t>(port), name)) return 0;
    link.Statesocket = 1;
    return 1;
}

int close_tcp() {
    Link& link = current();
    if (link.Statesocket == 0) return fail(QUORVEL_E_NO_LINK, "no TCP link to close");
    // Read what the printer sent unasked first: closing a socket with unread input
    // resets the connection, and the reset drops commands still queued for sending.
    std::uint8_t unread[512];
    for (int round = 0; round < 64; ++round)
        if (platform::tcp_recv(link.remote_socket, unread, sizeof unread) <= 0) break;
    // Close before release: releasing the last Winsock reference first makes the close fail.
    platform::tcp_close(link.remote_socket);
    platform::net_cleanup();
    link.Statesocket = 0;
    reset_confirm_state();
    return 1;
}

}  // namespace quorvel::link

using namespace quorvel::link;
namespace platform = quorvel::platform;

extern "C" int QUORVEL_CALL AbreSocket(const char* ip_address, int model_number) {
    CallGuard guard;
    Link& link = current();
    link.printer_model = model_number;
    if (link.Statesocket == 1) return fail(QUORVEL_E_ALREADY_OPEN, link.link_name);

    if (!platform::net_startup()) {
        report_failure("WSAStartup() failed\n");
        return fail_from_platform(QUORVEL_E_SYSTEM, "socket library start-up");
    }
    link.remote_socket = platform::tcp_socket();
    if (link.remote_socket == platform::invalid_handle) {
        platform::net_cleanup();
        report_failure("socket() failed\n");
        return fail_from_platform(QUORVEL_E_SYSTEM, "socket()");
    }
    platform::IpAddress address;
    std::uint8_t v4[4];
    if (!parse_ipv4(ip_address, v4)) {
        fail_format(ip_address == nullptr ? QUORVEL_E_NULL_INPUT : QUORVEL_E_BAD_ADDRESS,
                    "\"%.64s\"", ip_address == nullptr ? "" : ip_address);
        platform::tcp_close(link.remote_socket);
        platform::net_cleanup();
        return 0;
    }
    std::memcpy(address.bytes, v4, 4);
    char name[link_name_capacity];
    std::snprintf(name, sizeof name, "%s port %u", ip_address, unsigned{printer_port});
    if (!platform::tcp_connect(link.remote_socket, address, printer_port, connect_timeout_ms)) {
        fail_from_platform(QUORVEL_E_UNREACHABLE, name);
        platform::tcp_close(link.remote_socket);
        platform::net_cleanup();
        return 0;
    }
    set_link_name(name);
    link.Statesocket = 1;
    return 1;
}

extern "C" int QUORVEL_CALL quorvel_open_tcp(const char* address, int port, int model) {
    CallGuard guard;
    return open_tcp(address, port, model);
}

extern "C" int QUORVEL_CALL FechaSocket() {
    CallGuard guard;
    return close_tcp();
}
