// SPDX-License-Identifier: MIT
// The spool link: a print service (quorvel-spool) in front of the printer.
// It is a queue link whose jobs go to the service over HTTP: commands collect
// into a job, handed over at each paper cut, flush and close; the call that
// hands it over returns once the service has stored it. Status queries are
// answered from the service's view of the printer. HTTP/1.1 is spoken over the
// platform layer's TCP sockets (Winsock on Windows): no new imports.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "api/quorvel.h"
#include "link/connection.h"

namespace quorvel::link {
namespace {

constexpr int spool_timeout_ms = 10000;  // one exchange with the service, whole
constexpr std::uint16_t spool_default_port = 8631;

// One HTTP exchange: a request (head and body), the status code and the
// start of the answer's body in `answer` (NUL-terminated). 0 when the service
// could not be reached or did not answer whole; the cause recorded.
int exchange(const SpoolTarget& t, const char* method, const char* path, const char* key,
             const std::uint8_t* body, std::size_t length, char* answer, std::size_t size) {
    char head[512];
    const int n = std::snprintf(
        head, sizeof head,
        "%s %s HTTP/1.1\r\nHost: %s\r\nConnection: close\r\n%s%s%sContent-Length: %lu\r\n"
        "Content-Type: application/octet-stream\r\n\r\n",
        method, path, t.host, key ? "Idempotency-Key: " : "", key ? key : "", key ? "\r\n" : "",
        static_cast<unsigned long>(length));
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof head)
        return fail(QUORVEL_E_TOO_LONG, "spool request");
    if (!platform::net_startup())
        return fail_from_platform(QUORVEL_E_SYSTEM, "socket library start-up");
    const platform::SocketHandle s = platform::tcp_socket(t.address.v6);
    int status = 0;
    auto send_all = [&](const std::uint8_t* data, std::size_t left) {
        while (left > 0) {
            const std::ptrdiff_t sent = platform::tcp_send(s, data, left);
            if (sent < 0) return false;
            if (sent == 0 &&
                platform::tcp_wait_writable(s, spool_timeout_ms) != platform::Wait::ready)
                return false;
            data += sent;
            left -= static_cast<std::size_t>(sent);
        }
        return true;
    };
    std::size_t got = 0;
    bool whole = false;
    if (s != platform::invalid_handle &&
        platform::tcp_connect(s, t.address, t.port, connect_timeout_ms) &&
        send_all(reinterpret_cast<const std::uint8_t*>(head), static_cast<std::size_t>(n)) &&
        send_all(body, length)) {
        // The answer until the service closes (Connection: close), kept up to `size`.
        char scratch[512];
        for (;;) {
            if (platform::tcp_wait_readable(s, spool_timeout_ms) != platform::Wait::ready) break;
            const std::ptrdiff_t r =
                platform::tcp_recv(s, reinterpret_cast<std::uint8_t*>(scratch), sizeof scratch);
            if (r == platform::would_block) continue;
            if (r <= 0) {
                whole = r == 0;
                break;
            }
            const std::size_t keep =
                got + 1 < size ? std::min(size - 1 - got, static_cast<std::size_t>(r)) : 0;
            std::memcpy(answer + got, scratch, keep);
            got += keep;
        }
    }
    answer[got] = '\0';
    if (s != platform::invalid_handle) platform::tcp_close(s);
    platform::net_cleanup();
    if (!whole || std::strncmp(answer, "HTTP/1.", 7) != 0 || got < 12)
        return fail_format(QUORVEL_E_SPOOL_UNREACHABLE, "%s: no answer from the service",
                           current().link_name);
    status = (answer[9] - '0') * 100 + (answer[10] - '0') * 10 + (answer[11] - '0');
    // The body after the blank line, moved to the front.
    const char* body_start = std::strstr(answer, "\r\n\r\n");
    const std::size_t skip = body_start ? static_cast<std::size_t>(body_start + 4 - answer) : got;
    std::memmove(answer, answer + skip, got - skip + 1);
    return status;
}

// The text of "error" in a JSON answer, for the message.
const char* error_text(char* body) {
    char* at = std::strstr(body, "\"error\":\"");
    if (!at) return "refused";
    at += 9;
    if (char* end = std::strchr(at, '"')) *end = '\0';
    return at;
}

bool post_job(const std::uint8_t* data, std::size_t length) {
    SpoolTarget& t = *current().spool;
    char path[160], key[48], answer[1024];
    std::snprintf(path, sizeof path, "/api/printers/%s/jobs", t.printer);
    // The same key on the one retry: a job the service stored but could not
    // answer for is not stored twice.
    std::snprintf(key, sizeof key, "qv-%08x-%u", t.session, ++t.jobs);
    int status = exchange(t, "POST", path, key, data, length, answer, sizeof answer);
    if (status == 0) status = exchange(t, "POST", path, key, data, length, answer, sizeof answer);
    if (status == 0) return false;
    if (status == 200 || status == 201) return true;
    return fail_format(QUORVEL_E_SPOOL_REFUSED, "%s: %d %.200s", current().link_name, status,
                       error_text(answer));
}

// Parses "http://ADDRESS[:PORT]" (an address literal, IPv6 in brackets), with
// or without a final slash.
bool parse_url(const char* url, SpoolTarget& t) {
    if (std::strncmp(url, "http://", 7) != 0) return false;
    const char* p = url + 7;
    char host[64] = {};
    const char* end = nullptr;
    if (*p == '[') {
        end = std::strchr(p, ']');
        if (!end || end - p - 1 >= static_cast<std::ptrdiff_t>(sizeof host)) return false;
        std::memcpy(host, p + 1, static_cast<std::size_t>(end - p - 1));
        ++end;
    } else {
        end = p + std::strcspn(p, ":/");
        if (end - p >= static_cast<std::ptrdiff_t>(sizeof host)) return false;
        std::memcpy(host, p, static_cast<std::size_t>(end - p));
    }
    if (!parse_ip_literal(host, t.address)) return false;
    long port = spool_default_port;
    if (*end == ':') {
        char* after = nullptr;
        port = std::strtol(end + 1, &after, 10);
        if (after == end + 1 || port < 1 || port > 65535) return false;
        end = after;
    }
    if (*end == '/') ++end;
    if (*end != '\0') return false;
    t.port = static_cast<std::uint16_t>(port);
    std::snprintf(t.host, sizeof t.host, t.address.v6 ? "[%s]:%ld" : "%s:%ld", host, port);
    return true;
}

bool name_ok(const char* name) {
    const std::size_t n = std::strlen(name);
    if (n == 0 || n > 64) return false;
    for (const char* c = name; *c; ++c)
        if (!std::isalnum(static_cast<unsigned char>(*c)) && *c != '-' && *c != '_') return false;
    return true;
}

}  // namespace

bool spool_send(const std::uint8_t* data, std::size_t length) {
    return post_job(data, length);
}

// A status query on a spool link: the answer is the service's last reading of
// the printer (DLE EOT 1 to 4), waiting for the next recv_reply.
bool spool_status_query(const std::uint8_t* command, std::size_t length) {
    SpoolTarget& t = *current().spool;
    t.has_reply = false;
    if (length != 3 || command[2] < 1 || command[2] > 4) return true;  // nothing to answer
    char path[160], answer[2048];
    std::snprintf(path, sizeof path, "/api/printers/%s", t.printer);
    const int status = exchange(t, "GET", path, nullptr, nullptr, 0, answer, sizeof answer);
    if (status == 0) return false;
    const char* raw = std::strstr(answer, "\"dle_eot\":[");
    if (status != 200 || !raw) return true;  // never read by the service: no answer
    int values[4] = {-1, -1, -1, -1};
    if (std::sscanf(raw + 11, "%d,%d,%d,%d", &values[0], &values[1], &values[2], &values[3]) != 4)
        return true;
    t.reply = static_cast<std::uint8_t>(values[command[2] - 1]);
    t.has_reply = true;
    return true;
}

std::optional<std::uint8_t> spool_reply() {
    SpoolTarget& t = *current().spool;
    if (!t.has_reply) {
        fail_format(QUORVEL_E_NO_REPLY, "%s: the service has no status of the printer yet",
                    current().link_name);
        return std::nullopt;
    }
    t.has_reply = false;
    current().message[0] = t.reply;
    current().message_length = 1;
    return t.reply;
}

int open_spool(const char* url, const char* printer, int model) {
    if (url == nullptr) return fail(QUORVEL_E_NULL_INPUT, "spool URL");
    if (printer == nullptr) return fail(QUORVEL_E_NULL_INPUT, "printer name");
    SpoolTarget target;
    if (!parse_url(url, target))
        return fail_format(QUORVEL_E_BAD_SPOOL_URL, "\"%.64s\": expected http://ADDRESS[:PORT]",
                           url);
    if (!name_ok(printer))
        return fail_format(QUORVEL_E_BAD_SPOOL_URL, "printer \"%.64s\"", printer);
    std::snprintf(target.printer, sizeof target.printer, "%s", printer);
    Link& link = current();
    link.printer_model = model;
    release_held_port();
    begin_call();
    char name[link_name_capacity];
    std::snprintf(name, sizeof name, "spool %.40s printer %.40s", target.host, printer);
    set_link_name(name);
    // The service must know the printer: asked once now, so a wrong name fails here.
    char path[160], answer[512];
    std::snprintf(path, sizeof path, "/api/printers/%s", printer);
    const int status = exchange(target, "GET", path, nullptr, nullptr, 0, answer, sizeof answer);
    if (status == 0) return 0;
    if (status != 200)
        return fail_format(QUORVEL_E_SPOOL_REFUSED, "%s: %d %.200s", name, status,
                           error_text(answer));
    link.spool = new (std::nothrow) SpoolTarget(target);
    link.job = new (std::nothrow) std::uint8_t[QUORVEL_QUEUE_JOB_MAX];
    if (link.spool == nullptr || link.job == nullptr) {
        delete link.spool;
        delete[] link.job;
        link.spool = nullptr;
        link.job = nullptr;
        return fail(QUORVEL_E_SYSTEM, "out of memory for the spool's job");
    }
    // Told apart from other tills' jobs by the link's address and the time.
    link.spool->session =
        static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(link.spool)) ^
        static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    link.job_size = 0;
    link.port_kind = PortKind::queue;
    link.serial_port_held = true;
    return 1;
}

}  // namespace quorvel::link

using namespace quorvel::link;

extern "C" int QUORVEL_CALL quorvel_open_spool(const char* url, const char* printer, int model) {
    CallGuard guard;
    return open_spool(url, printer, model);
}
