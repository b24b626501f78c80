// SPDX-License-Identifier: MIT
#include "link.h"

#include <grp.h>
#include <sys/stat.h>

#include "quorvel.h"

namespace quorvel::cli {
namespace {

// The link the global options name.
struct Link {
    std::string description;  // "127.0.0.1 port 9100", "serial port /dev/ttyS0"
    bool tcp = false;
};

Link link_of(const Globals& globals) {
    if (!globals.tcp.empty()) return {globals.tcp + " port " + std::to_string(globals.port), true};
    if (!globals.queue.empty()) return {"print queue " + globals.queue, false};
    if (!globals.spool.empty()) return {"print service " + globals.spool, false};
    if (!globals.device.empty()) return {"printer device " + globals.device, false};
    return {"serial port " + globals.serial, false};
}

// The group that owns a device, by name, or "" when it cannot be told.
std::string group_of(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {};
    const group* owner = ::getgrgid(info.st_gid);
    return owner ? owner->gr_name : std::string();
}

// The serial speed: --speed, or the model's own (9600 bit/s for model 3,
// 115200 for the others, as AbrePortaSerial picks it).
int serial_speed(const Globals& globals) {
    if (globals.speed != 0) return globals.speed;
    return globals.model == 3 ? 9600 : 115200;
}

}  // namespace

OpenFailure explain_open_failure(const Globals& globals, int code, const std::string& reason) {
    const Link link = link_of(globals);
    switch (code) {
        case QUORVEL_E_BAD_ADDRESS:
            return {exit_usage, "'" + globals.tcp +
                                    "' is not an IP address: give an IPv4 address such as "
                                    "192.168.0.50 or an IPv6 address such as fe80::1 (host names "
                                    "are not resolved)"};
        case QUORVEL_E_BAD_PORT:
            return {exit_usage, "--port takes 1 to 65535"};
        case QUORVEL_E_BAD_SPEED:
            return {exit_usage, "--speed " + std::to_string(globals.speed) +
                                    " is not a standard speed; quorvel --help lists them"};
        case QUORVEL_E_REFUSED:
            return {exit_failure, "connection to " + link.description +
                                      " refused: nothing listens there. Check that the printer "
                                      "is on, and the address and --port"};
        case QUORVEL_E_TIMED_OUT:
            return {exit_failure, "no answer from " + link.description +
                                      " within 5 s: check that the printer is on and on this "
                                      "network, and the address"};
        case QUORVEL_E_UNREACHABLE:
            return {exit_failure, "cannot reach " + link.description +
                                      ": no route to that address from here. Check the address "
                                      "and this computer's network"};
        case QUORVEL_E_QUEUE_NOT_FOUND:
            return {exit_failure, link.description +
                                      " does not exist: lpstat -p lists the queues (on Windows, "
                                      "the printer list in Settings)"};
        case QUORVEL_E_QUEUE_PAUSED:
            return {exit_failure, link.description + " is paused: resume it (cupsenable " +
                                      globals.queue + ", or in the printer list) and try again"};
        case QUORVEL_E_DEVICE_BUSY:
            return {exit_failure, link.description +
                                      " is busy: another program holds it (fuser -v " +
                                      globals.device + " names it)"};
        case QUORVEL_E_PORT_NOT_FOUND:
            if (!globals.device.empty())
                return {exit_failure, link.description +
                                          " does not exist: check the name (ls /dev/usb/lp* "
                                          "/dev/lp*) and that the printer is on and plugged in"};
            return {exit_failure, link.description +
                                      " does not exist: check the name (ls /dev/ttyS* "
                                      "/dev/ttyUSB*) and that the adapter is plugged in"};
        case QUORVEL_E_PERMISSION_DENIED: {
            if (!globals.device.empty()) {
                const std::string group = group_of(globals.device);
                return {exit_failure, "permission denied on " + link.description +
                                          ": join its group with 'sudo usermod -aG " +
                                          (group.empty() ? std::string("lp") : group) +
                                          " $USER' and log in again"};
            }
            const std::string group = group_of(globals.serial);
            return {exit_failure,
                    "permission denied on " + link.description +
                        (group.empty() ? std::string() : " (group " + group + ")") +
                        ": serial ports usually belong to the group dialout; join it with "
                        "'sudo usermod -aG " +
                        (group.empty() || group == "root" ? std::string("dialout") : group) +
                        " $USER' and log in again"};
        }
        case QUORVEL_E_PORT_BUSY:
            return {exit_failure,
                    link.description + " is busy: another program holds it (fuser -v " +
                        globals.serial + " names it); close that program and try again"};
        case QUORVEL_E_NOT_SERIAL:
            return {exit_failure, globals.serial +
                                      " is not a serial device: name a serial port such as "
                                      "/dev/ttyS0 or /dev/ttyUSB0"};
        case QUORVEL_E_SETTINGS_NOT_APPLIED:
            return {exit_failure, link.description +
                                      " opened but refused its line settings (8N1 at the "
                                      "speed of --speed or --model): " +
                                      reason};
        default:
            return {exit_failure,
                    "cannot open " + link.description +
                        (reason.empty() || reason == "ok" ? std::string() : ": " + reason)};
    }
}

std::variant<Printer, OpenFailure> open_link(const Globals& globals) {
    quorvel_printer* printer = nullptr;
    if (!globals.tcp.empty())
        printer = quorvel_printer_open_tcp(globals.tcp.c_str(), globals.port, globals.model);
    else if (!globals.queue.empty())
        printer = quorvel_printer_open_queue(globals.queue.c_str(), globals.model);
    else if (!globals.device.empty())
        printer = quorvel_printer_open_device(globals.device.c_str(), globals.model);
    else if (!globals.spool.empty()) {
        const size_t colon = globals.spool.rfind(':');
        printer =
            quorvel_printer_open_spool(globals.spool.substr(0, colon).c_str(),
                                       globals.spool.substr(colon + 1).c_str(), globals.model);
    } else
        printer = quorvel_printer_open_serial(globals.serial.c_str(), serial_speed(globals),
                                              globals.model);
    if (printer) return Printer(printer);
    char reason[QUORVEL_ERROR_MESSAGE_SIZE] = "";
    const int code = quorvel_last_error(reason, sizeof reason);
    return explain_open_failure(globals, code, reason);
}

namespace {

// --confirm: what became of everything the run sent.
int confirm_run(quorvel_printer* printer, const Globals& globals) {
    if (quorvel_printer_confirm(printer, globals.confirm_timeout_ms) == 1) {
        const int level = quorvel_printer_confirm_level(printer);
        if (level == QUORVEL_CONFIRM_ARRIVED)
            say("confirmed as received: this printer does not report when it has printed");
        if (level == QUORVEL_CONFIRM_SPOOLED)
            say("confirmed as far as the print queue can tell: the spooler took the job");
        return exit_done;
    }
    const int code = quorvel_last_error(nullptr, 0);
    const std::string reason = "not confirmed: " + library_reason();
    say(reason);
    switch (code) {
        case QUORVEL_E_HELD: return exit_held;
        case QUORVEL_E_OUTCOME_UNKNOWN: return exit_outcome_unknown;
        case QUORVEL_E_CANNOT_CONFIRM: return exit_cannot_confirm;
        default: return exit_failure;
    }
}

}  // namespace

int close_link(Printer printer, const Globals& globals, int result) {
    if (globals.confirm && result == exit_done) result = confirm_run(printer.get(), globals);
    if (quorvel_printer_close(printer.release()) == 1 ||
        (globals.queue.empty() && globals.spool.empty()) || result != exit_done)
        return result;
    return fail("the last job did not reach " + link_of(globals).description + ": " +
                library_reason());
}

}  // namespace quorvel::cli
