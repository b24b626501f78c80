// SPDX-License-Identifier: MIT
#include "options.h"

#include <vector>

#include "inputs.h"

namespace quorvel::cli {
namespace {

const std::vector<int> standard_speeds = {1200,  2400,   4800,   9600,   19200, 38400,
                                          57600, 115200, 230400, 460800, 921600};

}  // namespace

void add_global_options(CLI::App& root, Globals& globals) {
    auto* tcp = root.add_option("--tcp", globals.tcp,
                                "Printer at this IPv4 or IPv6 address (no host names)")
                    ->type_name("IP");
    root.add_option("--port", globals.port, "TCP port of the printer (default 9100)")
        ->type_name("N")
        ->check(CLI::Range(1, 65535))
        ->needs(tcp);
    auto* serial = root.add_option("--serial", globals.serial,
                                   "Printer on this serial port, e.g. /dev/ttyUSB0")
                       ->type_name("PORT");
    root.add_option("--speed", globals.speed, "Serial speed in bit/s (default: by --model)")
        ->type_name("BPS")
        ->check(CLI::IsMember(standard_speeds))
        ->needs(serial);
    auto* queue = root.add_option("--queue", globals.queue,
                                  "Printer behind this print queue (lpstat -p lists them)")
                      ->type_name("NAME");
    auto* device = root.add_option("--device", globals.device,
                                   "Printer-class device, e.g. /dev/usb/lp0 (Linux)")
                       ->type_name("PATH");
    auto* spool = root.add_option("--spool", globals.spool,
                                  "Printer behind a print service (quorvel-spool), e.g. "
                                  "http://127.0.0.1:8631:kitchen")
                      ->type_name("URL:NAME");
    tcp->excludes(serial, queue, device, spool);
    serial->excludes(queue, device, spool);
    queue->excludes(device, spool);
    device->excludes(spool);
    root.add_option("--model", globals.model,
                    "Printer model 0-3: status query and serial speed (default 0)")
        ->check(CLI::Range(0, 3));
    root.add_flag("--confirm", globals.confirm,
                  "At the end, confirm that everything sent has printed (exit 4, 5 or 6 if not)");
    root.add_option("--confirm-timeout", globals.confirm_timeout_ms,
                    "Longest wait of --confirm in ms (default 10000)")
        ->type_name("MS")
        ->check(CLI::Range(0, 3600000));
    root.add_flag("--raw-bytes", globals.raw_bytes,
                  "Send text and data bytes unchanged (no UTF-8 conversion)");
}

// A parse error as one line: what CLI11 found, and where to look.
std::string parse_error_text(const CLI::ParseError& error, const CLI::App& app) {
    std::string text = error.what();
    const auto unknown = app.remaining();
    if (app.get_subcommands().empty() && !unknown.empty() && unknown.front().rfind("-", 0) != 0)
        return "unknown subcommand '" + unknown.front() + "'; quorvel --help lists them";
    const std::string where = app.get_subcommands().empty()
                                  ? "quorvel"
                                  : "quorvel " + app.get_subcommands().front()->get_name();
    return text + "; " + where + " --help lists the options";
}

std::string Help::make_option_opts(const CLI::Option* option) const {
    std::string text = CLI::Formatter::make_option_opts(option);
    for (auto at = text.find("INT:"); at != std::string::npos; at = text.find("INT:"))
        text.erase(at, 4);
    return text;
}

const char* const global_options_help = R"(Printer (global options; before or after the subcommand):
  --tcp IP        printer at this IPv4 or IPv6 address (host names are not resolved)
  --port N        its TCP port, 1-65535 (default 9100); only with --tcp
  --serial PORT   printer on this serial port, e.g. /dev/ttyUSB0 or /dev/ttyS0
  --queue NAME    printer behind the system's print queue NAME (lpstat -p lists
                  them); commands go as one job at each cut and at the end
  --device PATH   printer-class device on Linux, e.g. /dev/usb/lp0 or /dev/lp0
  --spool URL:NAME  printer NAME of the print service at URL (quorvel-spool), e.g.
                  http://127.0.0.1:8631:kitchen; a job at each cut and at the end,
                  stored by the service when the command returns
  --speed BPS     serial speed: 1200, 2400, 4800, 9600, 19200, 38400, 57600,
                  115200, 230400, 460800 or 921600 (default: by --model)
  --model 0-3     printer model; it picks the status query and the serial speed:
                    0  DLE EOT 1 status; a reply outside the table reads as 24;
                       115200 bit/s (the default)
                    1  DLE EOT 1 status; a reply outside the table is no status;
                       115200 bit/s
                    2  ESC v status (paper sensor only); 115200 bit/s
                    3  as model 1, at 9600 bit/s
  --raw-bytes     send text and data bytes unchanged (no UTF-8 conversion)
  --confirm       at the end, wait until the printer has printed everything sent
                  (a printer without process ID: until it has received it)
  --confirm-timeout MS  the longest wait of --confirm (default 10000)
Exit codes: 0 done; 1 the printer or the link failed; 2 usage error (nothing is sent);
with --confirm: 4 held in the printer (paper out, cover open, error: fix it, then
confirm again, never resend); 5 outcome unknown (reprint marked COPY); 6 this
printer cannot confirm.)";

void check_link_options(const Globals& globals, bool needs_link) {
    if (needs_link && globals.tcp.empty() && globals.serial.empty() && globals.queue.empty() &&
        globals.device.empty() && globals.spool.empty())
        throw UsageError{
            "name the printer with --tcp IP or --serial PORT (or --queue NAME, "
            "--device PATH, --spool URL:NAME)"};
    if (!globals.spool.empty() && (globals.spool.rfind("http://", 0) != 0 ||
                                   globals.spool.rfind(':') <= std::string("http://").size()))
        throw UsageError{
            "--spool takes the service's URL and the printer's name, e.g. "
            "http://127.0.0.1:8631:kitchen"};
    if (has_port_suffix(globals.tcp))
        throw UsageError{"--tcp takes the address alone, not '" + globals.tcp +
                         "': give the port with --port, e.g. --tcp " +
                         globals.tcp.substr(0, globals.tcp.rfind(':')) + " --port " +
                         globals.tcp.substr(globals.tcp.rfind(':') + 1)};
}

}  // namespace quorvel::cli
