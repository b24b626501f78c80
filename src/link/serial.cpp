// SPDX-License-Identifier: MIT
// The serial link: a printer on a serial port, at the model's speed
// (AbrePortaSerial) or at any standard speed (quorvel_open_serial).
#include "api/quorvel.h"
#include "link/connection.h"

namespace quorvel::link {
namespace {

std::uint32_t baud_for_model(int model) {
    return model == 3 ? 9600 : 115200;
}

// Opens and sets the port; the rules of both open calls. A port already held
// is closed first, so none is ever left open with no way to close it.
int open_port(const char* port_name, std::uint32_t baud) {
    Link& link = current();
    release_held_port();
    begin_call();  // a job a queue refused on the way out is not this call's outcome
    bool& serial_port_held = link.serial_port_held;
    platform::PortHandle& serial_handle = link.serial_handle;
    if (port_name == nullptr) return fail(QUORVEL_E_NULL_INPUT, "port name");
    serial_handle = platform::port_open(port_name);
    if (serial_handle == platform::invalid_handle)
        return fail_from_platform(QUORVEL_E_SYSTEM, port_name);
    serial_port_held = true;
    link.port_kind = PortKind::serial;
    set_link_name(port_name);
    // A port that opens but refuses some settings stays open and keeps receiving commands.
    if (!platform::port_configure(serial_handle, baud))
        return fail_from_platform(QUORVEL_E_SETTINGS_NOT_APPLIED, port_name);
    platform::port_drop_modem_lines(serial_handle);
    return 1;
}

}  // namespace

int open_serial(const char* port, int bits_per_second, int model) {
    // Refused before anything changes: a port already open stays as it is.
    if (port == nullptr) return fail(QUORVEL_E_NULL_INPUT, "port name");
    if (bits_per_second <= 0 ||
        !platform::port_speed_supported(static_cast<std::uint32_t>(bits_per_second)))
        return fail_format(QUORVEL_E_BAD_SPEED, "%d bit/s", bits_per_second);
    current().printer_model = model;
    return open_port(port, static_cast<std::uint32_t>(bits_per_second));
}

int close_serial() {
    Link& link = current();
    if (!link.serial_port_held) return fail(QUORVEL_E_NO_LINK, "no serial port to close");
    return release_held_port() ? 1 : 0;
}

}  // namespace quorvel::link

using namespace quorvel::link;

extern "C" int QUORVEL_CALL AbrePortaSerial(const char* port_name, int model_number) {
    CallGuard guard;
    current().printer_model = model_number;
    return open_port(port_name, baud_for_model(model_number));
}

extern "C" int QUORVEL_CALL quorvel_open_serial(const char* port, int bits_per_second, int model) {
    CallGuard guard;
    return open_serial(port, bits_per_second, model);
}

extern "C" int QUORVEL_CALL FechaPortaSerial() {
    CallGuard guard;
    return close_serial();
}
