// SPDX-License-Identifier: MIT
// The service's configuration: the printers it serves and its own addresses
// and bounds, from a JSON file or from the command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quorvel::spool {

enum class LinkKind { tcp, serial, queue, device };

struct PrinterConfig {
    std::string name;
    LinkKind kind = LinkKind::tcp;
    std::string target;  // tcp: address; serial/device: path; queue: name
    int port = 9100;     // tcp only
    int baud = 9600;     // serial only
    int model = 0;       // the library's model number
    std::string fallback;
    double fallback_after = 60;      // seconds down before the fallback takes its jobs
    double expire_after = 0;         // seconds; 0: never
    bool reprint_uncertain = false;  // on_uncertain: reprint (else hold)
    std::string front;               // ADDR:PORT of a printer-like port, empty: none
    int width_dots = 576;            // printable width (576: 80 mm paper, 384: 58 mm)
};

struct Limits {
    size_t max_job_bytes = 1 << 20;  // one job's ESC/POS bytes
    size_t max_queue = 10000;        // jobs waiting per printer
    size_t max_key_bytes = 128;      // Idempotency-Key
};

// A token given in the configuration (tests, kiosks): as good as a paired one.
struct PresetToken {
    std::string name;
    std::string token;
    std::string origin;  // empty: any allowed origin
};

struct Config {
    std::vector<PrinterConfig> printers;
    // Web pages from these origins may use the service (with a token).
    std::vector<std::string> allowed_origins;
    std::vector<PresetToken> tokens;
    std::string listen = "127.0.0.1:8631";
    std::string db = "spool.db";
    std::string ready_file;
    std::string token;
    Limits limits;
    // Link timings (tests make them short).
    double confirm_timeout = 10;  // seconds a printer may take to confirm a job
    double retry_min = 1, retry_max = 30;

    const PrinterConfig* find(const std::string& name) const;
};

// "NAME=tcp:ADDR:PORT" (also serial:PATH, queue:NAME, device:PATH), with
// optional ",key=value" settings after it (model, fallback, fallback_after,
// expire_after, on_uncertain, front). Nothing with `error` set when malformed.
std::optional<PrinterConfig> parse_printer_option(const std::string& text, std::string* error);

// Reads a JSON config file into `config` (its settings win over what is
// there). False with `error` naming the file, the field and the reason.
bool load_config_file(const std::string& path, Config* config, std::string* error);

// Checks the whole: names unique and well formed, fallbacks known and not
// the printer itself, addresses well formed. Empty when good, else why not.
std::string check_config(const Config& config);

bool valid_name(const std::string& name);

}  // namespace quorvel::spool
