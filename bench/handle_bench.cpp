// SPDX-License-Identifier: MIT
// Printer handles over real loopback TCP links.
//   handle_vs_default/*  the same call on a printer handle and on the default
//                        link, two connections to one draining listener, in
//                        alternating batches so both see the same machine load;
//   three_printers/*     receipts on three printers (three listeners): from
//                        three threads, one printer each, against one thread
//                        driving all three in turn.
#include <benchmark/benchmark.h>

#include <atomic>
#include <barrier>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "alternating_batches.h"
#include "drain_listener.h"
#include "quorvel.h"

namespace {

using quorvel::bench::alternate_batches;
using quorvel::bench::thread_cpu_ns;

quorvel_printer* printer = nullptr;  // the handle of the handle_vs_default rows

const std::string line40 = "2x Pao de queijo            R$     9,80";
const std::string data100(100, 'Q');

struct Pair {
    const char* name;
    int (*on_default)();
    int (*on_handle)();
    int expected;
};

const Pair pairs[] = {
    {"cut", AcionaGuilhotina, [] { return quorvel_printer_cut(printer); }, 1},
    {"text_40", [] { return ImprimeTexto(line40.c_str(), 0, 0, 0, 0); },
     [] { return quorvel_printer_text(printer, line40.c_str(), 0, 0, 0, 0); }, 1},
    {"code128_22_items",
     [] {
         char list[] = "10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31";
         return ImprimeCode128C(list, 1, 1);
     },
     [] {
         char list[] = "10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31";
         return quorvel_printer_code128(printer, list, 1, 1);
     },
     1},
    {"qr_gs_k_100", [] { return ImprimeQRCODE_M1(1, 2, 4, 1, data100.c_str()); },
     [] { return quorvel_printer_qr_code(printer, 1, 2, 4, 1, data100.c_str()); }, 1},
    {"status_round_trip", Le_Status, [] { return quorvel_printer_status(printer); },
     QUORVEL_STATUS_READY},
};

// The same call on the default link and on a handle, in alternating batches.
// Reported time: wall time of one handle call.
void handle_vs_default(benchmark::State& state, const Pair& pair) {
    alternate_batches(
        state, {"default", "default-link call failed"},
        [&pair] { return pair.on_default() == pair.expected; }, {"handle", "handle call failed"},
        [&pair] { return pair.on_handle() == pair.expected; }, 1);
}

// A kitchen ticket: a heading, eight lines and a cut, ten calls.
bool print_ticket(quorvel_printer* p) {
    bool ok = quorvel_printer_formatted_text(p, "MESA 12 - PEDIDO 345", 1, 0, 4) == 1;
    for (int line = 0; line < 8; ++line)
        ok = quorvel_printer_text(p, line40.c_str(), 0, 0, 0, 0) == 1 && ok;
    return quorvel_printer_cut(p) == 1 && ok;
}

constexpr int tickets_per_round = 50;  // per printer

std::vector<quorvel::bench::DrainListener>* listeners = nullptr;

std::vector<quorvel_printer*> open_three() {
    std::vector<quorvel_printer*> printers;
    for (auto& listener : *listeners)
        printers.push_back(quorvel_printer_open_tcp(listener.address().c_str(), 9100, 0));
    return printers;
}

// One thread: a ticket on each printer in turn (batched: all of a round's
// tickets on one printer, then on the next, so each listener wakes less often).
void three_printers_one_thread(benchmark::State& state, bool batched) {
    std::vector<quorvel_printer*> printers = open_three();
    const double cpu_start = thread_cpu_ns();
    for (auto _ : state) {
        bool ok = true;
        if (batched)
            for (quorvel_printer* p : printers)
                for (int t = 0; t < tickets_per_round; ++t) ok = print_ticket(p) && ok;
        else
            for (int t = 0; t < tickets_per_round; ++t)
                for (quorvel_printer* p : printers) ok = print_ticket(p) && ok;
        if (!ok) state.SkipWithError("a ticket failed");
    }
    const double cpu = thread_cpu_ns() - cpu_start;
    for (quorvel_printer* p : printers) quorvel_printer_close(p);
    const auto tickets = state.iterations() * tickets_per_round * 3;
    state.SetItemsProcessed(tickets);
    state.counters["cpu_ns_per_ticket"] = cpu / static_cast<double>(tickets);
}

// Three threads, one printer each, started once and released together each round.
void three_printers_three_threads(benchmark::State& state) {
    std::vector<quorvel_printer*> printers = open_three();
    std::barrier start(4), done(4);
    bool stop = false, failed = false;
    std::atomic<double> cpu{0};  // the workers' own CPU time, summed
    std::vector<std::thread> workers;
    for (quorvel_printer* p : printers)
        workers.emplace_back([&, p] {
            const double cpu_start = thread_cpu_ns();
            for (;;) {
                start.arrive_and_wait();
                if (stop) break;
                bool ok = true;
                for (int t = 0; t < tickets_per_round; ++t) ok = print_ticket(p) && ok;
                if (!ok) failed = true;
                done.arrive_and_wait();
            }
            cpu += thread_cpu_ns() - cpu_start;
        });
    for (auto _ : state) {
        start.arrive_and_wait();
        done.arrive_and_wait();
    }
    stop = true;
    start.arrive_and_wait();
    for (auto& worker : workers) worker.join();
    for (quorvel_printer* p : printers) quorvel_printer_close(p);
    if (failed) state.SkipWithError("a ticket failed");
    const auto tickets = state.iterations() * tickets_per_round * 3;
    state.SetItemsProcessed(tickets);
    state.counters["cpu_ns_per_ticket"] = cpu / static_cast<double>(tickets);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    std::vector<quorvel::bench::DrainListener> three(3);
    listeners = &three;
    if (AbreSocket(three[0].address().c_str(), 0) != 1 ||
        (printer = quorvel_printer_open_tcp(three[0].address().c_str(), 9100, 0)) == nullptr) {
        std::fprintf(stderr, "cannot open the links to %s\n", three[0].address().c_str());
        return 1;
    }
    for (const Pair& pair : pairs)
        benchmark::RegisterBenchmark(
            (std::string("handle_vs_default/") + pair.name).c_str(),
            [&pair](benchmark::State& state) { handle_vs_default(state, pair); })
            ->UseManualTime();
    benchmark::RegisterBenchmark("three_printers/one_thread", three_printers_one_thread, false)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("three_printers/one_thread_batched", three_printers_one_thread,
                                 true)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("three_printers/three_threads", three_printers_three_threads)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    quorvel_printer_close(printer);
    FechaSocket();
    return 0;
}
