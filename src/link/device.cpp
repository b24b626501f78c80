// SPDX-License-Identifier: MIT
// The device link: a printer-class character device on Linux (/dev/usb/lp0,
// /dev/lp0). It is written and read like a serial port without line
// settings, with the same bounded waits; FechaPortaSerial closes it.
#include <cstdio>

#include "api/quorvel.h"
#include "link/connection.h"

namespace quorvel::link {

int open_device(const char* path, int model) {
    if (path == nullptr) return fail(QUORVEL_E_NULL_INPUT, "device path");
    Link& link = current();
    link.printer_model = model;
    release_held_port();
    begin_call();  // a job an old queue refused on the way out is not this call's outcome
#if defined(_WIN32)
    return fail_format(QUORVEL_E_PORT_NOT_FOUND,
                       "%.64s: printer devices are opened on Linux; here use the printer's queue",
                       path);
#else
    const platform::PortHandle device = platform::device_open(path);
    if (device == platform::invalid_handle) {
        const platform::Failure failure = platform::last_failure();
        switch (failure.fault) {
            case platform::Fault::busy:
                return fail(QUORVEL_E_DEVICE_BUSY, path, failure.code);
            case platform::Fault::access_denied: {
                char group[64];
                platform::device_group(path, group, sizeof group);
                fail_format(QUORVEL_E_PERMISSION_DENIED, "%.96s belongs to group %s", path,
                            group);
                outcome().hint = "add the user to that group (usermod -aG GROUP USER) and log in again";
                return 0;
            }
            case platform::Fault::not_found:
                return fail(QUORVEL_E_PORT_NOT_FOUND, path, failure.code);
            default:
                return fail(QUORVEL_E_SYSTEM, path, failure.code);
        }
    }
    link.serial_handle = device;
    link.serial_port_held = true;
    link.port_kind = PortKind::device;
    set_link_name(path);
    return 1;
#endif
}

}  // namespace quorvel::link

using namespace quorvel::link;

extern "C" int QUORVEL_CALL quorvel_open_device(const char* path, int model) {
    CallGuard guard;
    return open_device(path, model);
}
