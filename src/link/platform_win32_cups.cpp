// SPDX-License-Identifier: MIT
// Under wine the Windows spooler hands each job to the host's CUPS scheduler,
// but it lists no queue at all when the scheduler is unreachable, shows a
// stopped queue as ready and fails a refused job with a stale "invalid
// handle". So there the queue's state comes from the scheduler itself: one
// IPP Get-Printer-Attributes request over TCP (Windows sockets cannot reach a
// scheduler that listens only on a Unix socket: then the state is unknown).
#include "link/platform_win32_cups.h"

// winsock2.h before windows.h, which would otherwise bring the old winsock.h.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quorvel::platform {
namespace {

constexpr std::uint16_t ipp_port = 631;
constexpr int connect_timeout_ms = 5000;
constexpr int answer_timeout_ms = 10000;
constexpr std::uint16_t ipp_not_found = 0x0406;  // client-error-not-found
constexpr int printer_stopped = 5;               // printer-state: stopped

// IPP value tags and the delimiters of the request.
constexpr std::uint8_t operation_attributes = 0x01, end_of_attributes = 0x03;
constexpr std::uint8_t tag_boolean = 0x22, tag_enum = 0x23, tag_uri = 0x45, tag_keyword = 0x44,
                       tag_charset = 0x47, tag_language = 0x48;

struct Writer {
    std::uint8_t* at;
    std::uint8_t* end;
    bool fits = true;
    void bytes(const void* data, std::size_t length) {
        if (static_cast<std::size_t>(end - at) < length) {
            fits = false;
            return;
        }
        std::memcpy(at, data, length);
        at += length;
    }
    void u8(std::uint8_t v) { bytes(&v, 1); }
    void u16(std::size_t v) {
        const std::uint8_t b[2] = {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
        bytes(b, 2);
    }
    void attribute(std::uint8_t tag, const char* name, const char* value) {
        u8(tag);
        u16(std::strlen(name));
        bytes(name, std::strlen(name));
        u16(std::strlen(value));
        bytes(value, std::strlen(value));
    }
};

// The scheduler's host and port from CUPS_SERVER (default localhost:631);
// false when it names a Unix socket or a host that is no IPv4 literal.
bool server_address(IpAddress& address, std::uint16_t& port, char* name, std::size_t size) {
    const char* server = std::getenv("CUPS_SERVER");
    if (server == nullptr || server[0] == '\0') server = "localhost";
    std::snprintf(name, size, "%s", server);
    if (server[0] == '/' || server[0] == '~') return false;
    char host[64];
    std::snprintf(host, sizeof host, "%s", server);
    port = ipp_port;
    if (char* colon = std::strchr(host, ':')) {
        *colon = '\0';
        port = static_cast<std::uint16_t>(std::atoi(colon + 1));
        if (port == 0) return false;
    }
    if (std::strcmp(host, "localhost") == 0) std::snprintf(host, sizeof host, "127.0.0.1");
    address = IpAddress{};
    return ::inet_pton(AF_INET, host, address.bytes) == 1;
}

// The request for the queue's state and whether it takes jobs, behind its
// HTTP/1.0 header (so the answer comes whole, ended by the close).
std::size_t build_request(const char* queue, const char* host, char* out, std::size_t size) {
    char uri[200];
    int used = std::snprintf(uri, sizeof uri, "ipp://localhost/printers/");
    for (const char* c = queue; *c != '\0' && used < static_cast<int>(sizeof uri) - 4; ++c) {
        const unsigned char u = static_cast<unsigned char>(*c);
        const bool plain = (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') ||
                           (u >= 'a' && u <= 'z') || u == '-' || u == '_' || u == '.';
        used += std::snprintf(uri + used, sizeof uri - used, plain ? "%c" : "%%%02X", u);
    }
    std::uint8_t body[512];
    Writer w{body, body + sizeof body};
    const std::uint8_t head[] = {2, 0, 0x00, 0x0B,
                                 0, 0, 0,    1};  // IPP 2.0, Get-Printer-Attributes, id 1
    w.bytes(head, sizeof head);
    w.u8(operation_attributes);
    w.attribute(tag_charset, "attributes-charset", "utf-8");
    w.attribute(tag_language, "attributes-natural-language", "en");
    w.attribute(tag_uri, "printer-uri", uri);
    w.attribute(tag_keyword, "requested-attributes", "printer-state");
    w.attribute(tag_keyword, "", "printer-is-accepting-jobs");  // a second value
    w.u8(end_of_attributes);
    const std::size_t body_size = static_cast<std::size_t>(w.at - body);
    const int header =
        std::snprintf(out, size,
                      "POST %s HTTP/1.0\r\nHost: %s\r\nContent-Type: application/ipp\r\n"
                      "Content-Length: %u\r\n\r\n",
                      uri + std::strlen("ipp://localhost"), host, static_cast<unsigned>(body_size));
    if (!w.fits || header <= 0 || static_cast<std::size_t>(header) + body_size > size) return 0;
    std::memcpy(out + header, body, body_size);
    return static_cast<std::size_t>(header) + body_size;
}

// Sends the request and reads the answer until the scheduler closes; the
// count read, or -1 when the exchange failed.
int exchange(SocketHandle s, const char* request, std::size_t length, char* answer,
             std::size_t size) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(answer_timeout_ms);
    auto left = [&] {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
        return ms > 0 ? static_cast<int>(ms) : 0;
    };
    std::size_t sent = 0;
    while (sent < length) {
        if (tcp_wait_writable(s, left()) != Wait::ready) return -1;
        const std::ptrdiff_t n =
            tcp_send(s, reinterpret_cast<const std::uint8_t*>(request) + sent, length - sent);
        if (n < 0) return -1;
        sent += static_cast<std::size_t>(n);
    }
    std::size_t got = 0;
    while (got < size) {
        if (tcp_wait_readable(s, left()) != Wait::ready) return -1;
        const std::ptrdiff_t n =
            tcp_recv(s, reinterpret_cast<std::uint8_t*>(answer) + got, size - got);
        if (n == 0) break;
        if (n == would_block) continue;
        if (n < 0) return -1;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<int>(got);
}

unsigned be(const std::uint8_t* p, int bytes) {
    unsigned v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
    return v;
}

// Reads the IPP answer after the HTTP header.
CupsQueue read_answer(const char* answer, std::size_t length) {
    const char* body = nullptr;
    for (std::size_t i = 0; i + 4 <= length; ++i)
        if (std::memcmp(answer + i, "\r\n\r\n", 4) == 0) {
            body = answer + i + 4;
            break;
        }
    if (body == nullptr || std::strncmp(answer, "HTTP/1.", 7) != 0 || length < 12 ||
        std::strncmp(answer + 9, "200", 3) != 0)
        return CupsQueue::unknown;
    const auto* p = reinterpret_cast<const std::uint8_t*>(body);
    const auto* end = reinterpret_cast<const std::uint8_t*>(answer + length);
    if (end - p < 8) return CupsQueue::unknown;
    const unsigned status = be(p + 2, 2);
    if (status == ipp_not_found) return CupsQueue::no_such_queue;
    if (status >= 0x0100) return CupsQueue::unknown;
    int state = 0;
    bool accepting = true;
    char name[64] = "";
    for (p += 8; p < end && *p != end_of_attributes;) {
        const std::uint8_t tag = *p++;
        if (tag < 0x10) continue;  // a group delimiter
        if (end - p < 2) break;
        const unsigned name_length = be(p, 2);
        if (static_cast<unsigned>(end - p) < 4 + name_length) break;
        if (name_length > 0 && name_length < sizeof name) {  // 0: another value of the same one
            std::memcpy(name, p + 2, name_length);
            name[name_length] = '\0';
        }
        p += 2 + name_length;
        const unsigned value_length = be(p, 2);
        p += 2;
        if (static_cast<unsigned>(end - p) < value_length) break;
        if (tag == tag_enum && value_length == 4 && std::strcmp(name, "printer-state") == 0)
            state = static_cast<int>(be(p, 4));
        if (tag == tag_boolean && value_length == 1 &&
            std::strcmp(name, "printer-is-accepting-jobs") == 0)
            accepting = *p != 0;
        p += value_length;
    }
    if (state == printer_stopped) return CupsQueue::stopped;
    return accepting ? CupsQueue::ready : CupsQueue::not_accepting;
}

}  // namespace

bool under_wine() {
    static const bool wine = [] {
        HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
        return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

CupsQueue ask_cups(const char* queue, char* server, std::size_t server_size) {
    IpAddress address;
    std::uint16_t port = 0;
    if (!server_address(address, port, server, server_size)) return CupsQueue::unknown;
    if (!net_startup()) return CupsQueue::unknown;
    CupsQueue result = CupsQueue::unreachable;
    const SocketHandle s = tcp_socket(false);
    if (s != invalid_handle) {
        if (tcp_connect(s, address, port, connect_timeout_ms)) {
            // The scheduler refuses a loopback address in the Host field: it
            // takes "localhost" there, as its own clients send.
            char host[64];
            if (address.bytes[0] == 127)
                std::snprintf(host, sizeof host, "localhost");
            else
                std::snprintf(host, sizeof host, "%s", server);
            char request[1024];
            char answer[4096];
            const std::size_t length = build_request(queue, host, request, sizeof request);
            const int got = length == 0 ? -1 : exchange(s, request, length, answer, sizeof answer);
            result =
                got < 0 ? CupsQueue::unknown : read_answer(answer, static_cast<std::size_t>(got));
        }
        tcp_close(s);
    }
    net_cleanup();
    return result;
}

}  // namespace quorvel::platform
