// SPDX-License-Identifier: MIT
// quorvel-spool: a shop's print service. Jobs come in over HTTP (and the
// printers' front ports), are stored durably, and are delivered once,
// confirmed, to their printer.
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench.h"
#include "pair_command.h"
#include "service.h"

namespace {

std::atomic<bool> g_stop{false};
void on_signal(int) {
    g_stop = true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quorvel::spool;
    CLI::App app{"quorvel-spool: a print service that keeps every job and delivers it once"};
    Config config;
    std::string config_file;
    std::vector<std::string> printers;
    BenchOptions bench;
    app.add_option("--config", config_file, "JSON configuration file (see man quorvel-spool)");
    app.add_option("--printer", printers,
                   "NAME=tcp:ADDR:PORT (also serial:PATH, queue:NAME, device:PATH), then "
                   ",key=value settings: model, fallback, fallback_after, expire_after, "
                   "on_uncertain, front; may be repeated");
    app.add_option("--listen", config.listen, "HTTP address (default 127.0.0.1:8631)");
    app.add_option("--db", config.db, "job store, an SQLite file (default spool.db)");
    app.add_option("--ready-file", config.ready_file,
                   "once serving, write the addresses to FILE (KEY=value lines)");
    app.add_option("--token", config.token,
                   "required for every request (made up when --listen is not loopback)");
    app.add_option("--max-job-bytes", config.limits.max_job_bytes, "largest job (default 1 MiB)")
        ->check(CLI::Range(size_t{1}, size_t{64} << 20));
    app.add_option("--max-queue", config.limits.max_queue,
                   "jobs waiting per printer (default 10000)")
        ->check(CLI::Range(size_t{1}, size_t{10000000}));
    app.add_option("--confirm-timeout", config.confirm_timeout,
                   "seconds a printer may take to confirm a job (default 10)")
        ->check(CLI::Range(0.1, 3600.0));
    app.add_option("--retry-max", config.retry_max,
                   "longest wait between tries of a printer that is down (default 30)")
        ->check(CLI::Range(0.1, 3600.0));
    app.add_option("--retry-min", config.retry_min, "first wait (default 1)")
        ->check(CLI::Range(0.05, 3600.0));
    std::vector<std::string> origins;
    app.add_option("--allow-origin", origins,
                   "web pages from ORIGIN (http://HOST[:PORT]) may print, once paired; "
                   "may be repeated");
    CLI::App* pair = app.add_subcommand(
        "pair", "show a 6-digit pairing code for a till (asks the service running at --listen)");
    add_bench_options(app, bench);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    std::string error;
    if (!config_file.empty()) {
        // The command line wins over the file: read the file into a fresh
        // config, then lay the options given over it.
        Config from_file;
        if (!load_config_file(config_file, &from_file, &error)) {
            std::fprintf(stderr, "quorvel-spool: %s\n", error.c_str());
            return 2;
        }
        for (const char* opt : {"--listen", "--db", "--ready-file", "--token"}) {
            if (app.count(opt) == 0) {
                const std::string o(opt);
                if (o == "--listen") config.listen = from_file.listen;
                if (o == "--db") config.db = from_file.db;
                if (o == "--ready-file") config.ready_file = from_file.ready_file;
                if (o == "--token") config.token = from_file.token;
            }
        }
        if (app.count("--max-job-bytes") == 0)
            config.limits.max_job_bytes = from_file.limits.max_job_bytes;
        if (app.count("--max-queue") == 0) config.limits.max_queue = from_file.limits.max_queue;
        config.limits.max_key_bytes = from_file.limits.max_key_bytes;
        config.printers = from_file.printers;
        config.allowed_origins = from_file.allowed_origins;
        config.tokens = from_file.tokens;
    }
    config.allowed_origins.insert(config.allowed_origins.end(), origins.begin(), origins.end());
    if (pair->parsed()) return run_pair(config);
    for (const std::string& text : printers) {
        auto p = parse_printer_option(text, &error);
        if (!p) {
            std::fprintf(stderr, "quorvel-spool: %s\n", error.c_str());
            return 2;
        }
        config.printers.push_back(*p);
    }
    if (bench.requested()) return run_bench(config, bench);

    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    std::signal(SIGPIPE, SIG_IGN);
    Service service(config);
    int code = 0;
    if (!service.open(&error, &code)) {
        std::fprintf(stderr, "quorvel-spool: %s\n", error.c_str());
        return code;
    }
    if (!service.start(&error)) {
        std::fprintf(stderr, "quorvel-spool: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "quorvel-spool: serving %zu printers on port %d\n",
                 service.config().printers.size(), service.http_port());
    while (!g_stop) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    service.stop();
    return 0;
}
