// The serial link: a printer on a serial port.
#include "api/quorvel.h"
#include "link/connection.h"

using namespace quorvel::link;
namespace platform = quorvel::platform;

namespace {

std::uint32_t baud_for_model(int model) { return model == 3 ? 9600 : 115200; }

}  // namespace

extern "C" int QUORVEL_CALL AbrePortaSerial(const char* port_name, int model_number) {
    CallGuard guard;
    printer_model = model_number;
    if (serial_port_held) {
        // Never leave a port open with no way to close it.
        platform::port_close(serial_handle);
        serial_port_held = false;
    }
    if (port_name == nullptr) return 0;
    serial_handle = platform::port_open(port_name);
    if (serial_handle == platform::invalid_handle) return 0;
    serial_port_held = true;
    // A port that opens but refuses some settings stays open and keeps receiving commands.
    if (!platform::port_configure(serial_handle, baud_for_model(printer_model))) return 0;
    platform::port_drop_modem_lines(serial_handle);
    return 1;
}

extern "C" int QUORVEL_CALL FechaPortaSerial() {
    CallGuard guard;
    if (!serial_port_held) return 0;
    serial_port_held = false;
    return platform::port_close(serial_handle) ? 1 : 0;
}
