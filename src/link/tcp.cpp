// The TCP link to a network printer's raw port 9100.
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

}  // namespace
}  // namespace quorvel::link

using namespace quorvel::link;
namespace platform = quorvel::platform;

extern "C" int QUORVEL_CALL AbreSocket(const char* ip_address, int model_number) {
    CallGuard guard;
    printer_model = model_number;
    if (Statesocket == 1) return 0;

    if (!platform::net_startup()) {
        report_failure("WSAStartup() failed\n");
        return 0;
    }
    remote_socket = platform::tcp_socket();
    if (remote_socket == platform::invalid_handle) {
        platform::net_cleanup();
        report_failure("socket() failed\n");
        return 0;
    }
    std::uint8_t address[4];
    if (!parse_ipv4(ip_address, address) ||
        !platform::tcp_connect(remote_socket, address, printer_port, connect_timeout_ms)) {
        platform::tcp_close(remote_socket);
        platform::net_cleanup();
        return 0;
    }
    Statesocket = 1;
    return 1;
}

extern "C" int QUORVEL_CALL FechaSocket() {
    CallGuard guard;
    if (Statesocket == 0) return 0;
    // Read what the printer sent unasked first: closing a socket with unread input
    // resets the connection, and the reset drops commands still queued for sending.
    std::uint8_t unread[512];
    for (int round = 0; round < 64; ++round)
        if (platform::tcp_recv(remote_socket, unread, sizeof unread) <= 0) break;
    // Close before release: releasing the last Winsock reference first makes the close fail.
    platform::tcp_close(remote_socket);
    platform::net_cleanup();
    Statesocket = 0;
    return 1;
}
