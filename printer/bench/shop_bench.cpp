// SPDX-License-Identifier: MIT
// A shop against one printer: N printers of one process, each fed receipts
// over its own TCP link at the same time, each drawing them and writing PNG
// files. The printers share no lock on the way, so N printers on N cores
// should print close to N times one printer's receipts per second.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "printer.h"

namespace {

namespace qp = quorvel::printer;

const std::string& receipt() {
    static const std::string data = [] {
        std::ifstream in(PRINTER_BENCH_STREAM, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }();
    return data;
}

void send_all(const std::string& address, const std::string& data) {
    const auto colon = address.rfind(':');
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(std::stoi(address.substr(colon + 1))));
    inet_pton(AF_INET, address.substr(0, colon).c_str(), &a.sin_addr);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
        for (size_t at = 0; at < data.size();) {
            const ssize_t k = ::send(fd, data.data() + at, data.size() - at, MSG_NOSIGNAL);
            if (k <= 0) break;
            at += static_cast<size_t>(k);
        }
    ::close(fd);
}

// state.range(0) printers; each iteration sends every printer one connection
// of RECEIPTS receipts at once and waits until all have been printed. A round
// is about 50 ms of one printer's work, so that three printers on two cores
// even out within it: with short rounds the wait for the last printer of
// each round, not the printers, would set the pace.
void BM_Shop(benchmark::State& state) {
    constexpr int RECEIPTS = 24;
    const int n = static_cast<int>(state.range(0));
    if (receipt().empty()) return state.SkipWithError("stream file missing");
    std::string stream;
    for (int i = 0; i < RECEIPTS; ++i) stream += receipt();
    const auto dir =
        std::filesystem::temp_directory_path() / ("qvp-shop-bench-" + std::to_string(::getpid()));
    qp::load_code_tables();
    qp::keep_freed_image_memory();  // as quorvel-printer does at start-up
    std::vector<std::unique_ptr<qp::Printer>> shop;
    for (int i = 0; i < n; ++i) {
        qp::PrinterSetup setup;
        setup.name = "p" + std::to_string(i);
        setup.listen = "127.0.0.1:0";
        setup.out_dir = (dir / setup.name).string();
        setup.journal = "/dev/null";
        setup.max_images = 50;
        setup.flush_after = 0;
        shop.push_back(std::make_unique<qp::Printer>(setup));
        std::string error;
        if (!shop.back()->open(qp::FontSet::shared(), false, &error) ||
            shop.back()->open_links(&error) != 0)
            return state.SkipWithError(error.c_str());
        shop.back()->start();
    }
    int served = 0;
    const int pages_per_stream = [&] {
        qp::Printer& p = *shop.front();
        const size_t before = p.tcp()->images().size();
        send_all(p.tcp_address(), receipt());
        p.tcp()->wait_served(++served, std::chrono::seconds(30));
        return static_cast<int>(p.tcp()->images().size() - before);
    }();
    for (int i = 1; i < n; ++i) {  // the same warm-up for the others
        send_all(shop[i]->tcp_address(), receipt());
        shop[i]->tcp()->wait_served(served, std::chrono::seconds(30));
    }
    // The whole process's CPU over the loop, printers included: cores used
    // shows whether the printers were waiting on each other or on the CPU.
    auto cpu_seconds = [] {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return u.ru_utime.tv_sec + u.ru_stime.tv_sec +
               (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    const double cpu0 = cpu_seconds();
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        ++served;
        std::vector<std::thread> hosts;
        for (auto& p : shop)
            hosts.emplace_back([&p, &stream] { send_all(p->tcp_address(), stream); });
        for (auto& h : hosts) h.join();
        for (auto& p : shop) p->tcp()->wait_served(served, std::chrono::seconds(60));
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = cpu_seconds() - cpu0;
    const double receipts =
        static_cast<double>(state.iterations() * n * RECEIPTS * pages_per_stream);
    state.counters["cores_used"] = cpu / wall;
    state.counters["ms_cpu_per_receipt"] = cpu * 1e3 / receipts;
    state.counters["receipts"] = benchmark::Counter(
        static_cast<double>(state.iterations() * n * RECEIPTS * pages_per_stream),
        benchmark::Counter::kIsRate);
    for (auto& p : shop) p->request_stop();
    shop.clear();
    std::filesystem::remove_all(dir);
}

}  // namespace

BENCHMARK(BM_Shop)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
