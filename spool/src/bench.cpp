// SPDX-License-Identifier: MIT
#include "bench.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "service.h"

namespace quorvel::spool {

namespace {

using Clock = std::chrono::steady_clock;

// One keep-alive HTTP client on loopback; each post's time in microseconds.
struct Client {
    int fd = -1;
    bool connect(int port) {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Client() {
        if (fd >= 0) ::close(fd);
    }
    // The status code, or 0 when the exchange failed.
    int post(const std::string& path, const std::string& key, const std::string& body) {
        std::string req = "POST " + path +
                          " HTTP/1.1\r\nHost: 127.0.0.1\r\nIdempotency-Key: " + key +
                          "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        if (::send(fd, req.data(), req.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(req.size()))
            return 0;
        std::string in;
        char buf[4096];
        size_t need = std::string::npos;
        while (in.size() < need) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) return 0;
            in.append(buf, static_cast<size_t>(n));
            const size_t end = in.find("\r\n\r\n");
            if (end != std::string::npos && need == std::string::npos) {
                const size_t cl = in.find("Content-Length: ");
                need = end + 4 + (cl < end ? std::stoul(in.substr(cl + 16)) : 0);
            }
        }
        return std::atoi(in.c_str() + 9);
    }
};

double percentile(std::vector<double>& v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

}  // namespace

void add_bench_options(CLI::App& app, BenchOptions& o) {
    app.add_option("--bench", o.mode,
                   "time the service and exit: accept (durable accepts over HTTP) or end-to-end "
                   "(accepted and printed by the first --printer)")
        ->check(CLI::IsMember({"accept", "end-to-end"}));
    app.add_option("--bench-clients", o.clients, "clients posting at once (default 8)")
        ->check(CLI::Range(1, 256));
    app.add_option("--bench-jobs", o.jobs, "jobs in all (default 2000)")
        ->check(CLI::Range(1, 1000000));
    app.add_option("--bench-job-bytes", o.job_bytes, "bytes per job (default 600)")
        ->check(CLI::Range(size_t{16}, size_t{1} << 20));
}

int run_bench(const Config& given, const BenchOptions& o) {
    Config config = given;
    config.listen = "127.0.0.1:0";
    config.ready_file.clear();
    const bool fresh_db = config.db == "spool.db";
    if (fresh_db)
        config.db = (std::filesystem::temp_directory_path() /
                     ("quorvel-spool-bench-" + std::to_string(getpid()) + ".db"))
                        .string();
    if (config.printers.empty()) {
        std::fprintf(stderr,
                     "quorvel-spool: --bench needs a --printer (end-to-end prints to it)\n");
        return 2;
    }
    // Accepting alone: the printer's worker must not take the disk's time.
    if (o.mode == "accept")
        config.printers[0].target = "127.255.255.254", config.printers[0].port = 1;
    config.limits.max_queue = static_cast<size_t>(o.jobs) + 1;
    Service service(config);
    std::string error;
    int code = 0;
    if (!service.open(&error, &code) || !service.start(&error)) {
        std::fprintf(stderr, "quorvel-spool: %s\n", error.c_str());
        return code ? code : 1;
    }
    const std::string path = "/api/printers/" + config.printers[0].name + "/jobs";
    // A receipt-like job: text lines and a cut.
    std::string body = "\x1b@";
    while (body.size() + 48 < o.job_bytes) body += "Bench line of a receipt, 40 columns wide..\n";
    body += "\x1dV\x01";
    std::vector<std::vector<double>> times(static_cast<size_t>(o.clients));
    std::atomic<int> next{0}, failures{0};
    const auto t0 = Clock::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < o.clients; ++c)
        threads.emplace_back([&, c] {
            Client client;
            if (!client.connect(service.http_port())) return void(++failures);
            for (int i; (i = next++) < o.jobs;) {
                const auto a = Clock::now();
                const int status = client.post(
                    path, "bench-" + std::to_string(getpid()) + "-" + std::to_string(i), body);
                if (status != 201) ++failures;
                times[static_cast<size_t>(c)].push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - a).count());
            }
        });
    for (auto& t : threads) t.join();
    const double accept_s = std::chrono::duration<double>(Clock::now() - t0).count();
    std::vector<double> all;
    for (auto& v : times) all.insert(all.end(), v.begin(), v.end());
    std::printf(
        "accept: %d jobs of %zu bytes from %d clients in %.3f s: %.0f jobs/s; latency "
        "p50 %.2f ms, p99 %.2f ms, max %.2f ms; %d failed\n",
        o.jobs, body.size(), o.clients, accept_s, o.jobs / accept_s, percentile(all, 0.50),
        percentile(all, 0.99), percentile(all, 1.0) - 0, failures.load());
    int rc = failures ? 1 : 0;
    if (o.mode == "end-to-end") {
        // Until the printer has confirmed every job.
        JobStore store;
        store.open(config.db, &error);
        size_t printed = 0;
        while ((printed = store.counts(config.printers[0].name)["printed"]) <
               static_cast<size_t>(o.jobs))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const double all_s = std::chrono::duration<double>(Clock::now() - t0).count();
        std::printf("end-to-end: %zu jobs printed and confirmed in %.3f s: %.0f jobs/s\n", printed,
                    all_s, static_cast<double>(printed) / all_s);
        store.close();
    }
    service.stop();
    if (fresh_db)
        for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(config.db + suffix);
    return rc;
}

}  // namespace quorvel::spool
