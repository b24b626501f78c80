// SPDX-License-Identifier: MIT
// Interpreter and renderer timings on a captured receipt stream (the demo's
// sample receipt as the library sends it, plus its self-test slip).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "links/session.h"

namespace {

const std::vector<uint8_t>& stream() {
    static const std::vector<uint8_t> data = [] {
        std::ifstream in(PRINTER_BENCH_STREAM, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>());
    }();
    return data;
}

// mode 0: layout only; 1: draw the dots; 2: draw and write PNG files.
void run_stream(benchmark::State& state, int mode) {
    const auto& data = stream();
    if (data.empty()) {
        state.SkipWithError("stream file missing");
        return;
    }
    const std::string dir = (std::filesystem::temp_directory_path() / "qvp-bench").string();
    std::filesystem::create_directories(dir);
    quorvel::printer::StatusModel status;
    quorvel::printer::Journal journal(nullptr);
    quorvel::printer::SessionConfig config;
    config.render.draw = mode >= 1;
    if (mode == 2) config.out_dir = dir;
    int pages = 0;
    for (auto _ : state) {
        quorvel::printer::Session s(config, quorvel::printer::FontSet::shared(), status, journal,
                                    {});
        s.feed(data);
        s.finish();
        pages = s.renderer().pages_written();
        benchmark::DoNotOptimize(pages);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
    state.counters["receipts"] = benchmark::Counter(static_cast<double>(state.iterations() * pages),
                                                    benchmark::Counter::kIsRate);
}

void BM_InterpretLayout(benchmark::State& state) {
    run_stream(state, 0);
}
void BM_InterpretAndDraw(benchmark::State& state) {
    run_stream(state, 1);
}
void BM_InterpretDrawAndPng(benchmark::State& state) {
    run_stream(state, 2);
}

// Plain text: the interpreter's own speed, without symbol encoding.
void BM_TextLines(benchmark::State& state) {
    std::string line = "\x1b\x40\x1b\x61";
    line += '\0';
    line += "\x1b\x33\x20\x1b\x74\x10  1 Caf\xe9 expresso                R$    11,00\n";
    std::string text;
    for (int i = 0; i < 200; ++i) text += line;
    quorvel::printer::StatusModel status;
    quorvel::printer::Journal journal(nullptr);
    quorvel::printer::SessionConfig config;
    config.render.draw = state.range(0) != 0;
    for (auto _ : state) {
        quorvel::printer::Session s(config, quorvel::printer::FontSet::shared(), status, journal,
                                    {});
        s.feed({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
        s.finish();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// A stored 7089-digit QR Code (version 40) printed again 3000 times by the
// 8-byte GS ( k print function, drawn: the CPU a hostile or careless host
// can ask for with 24 KB of input.
void BM_StoredQrReprints(benchmark::State& state) {
    std::string digits;
    for (int i = 0; i < 7089; ++i) digits += static_cast<char>('0' + (i * 7 + 3) % 10);
    std::string s = "\x1b\x40";
    const size_t len = digits.size() + 3;
    s += std::string("\x1d\x28\x6b") + static_cast<char>(len & 0xFF) + static_cast<char>(len >> 8) +
         "\x31\x50\x30" + digits;
    const std::string print("\x1d\x28\x6b\x03\x00\x31\x51\x30", 8);
    for (int i = 0; i < 3000; ++i) s += print;
    quorvel::printer::StatusModel status;
    quorvel::printer::Journal journal(nullptr);
    quorvel::printer::SessionConfig config;
    for (auto _ : state) {
        quorvel::printer::Session session(config, quorvel::printer::FontSet::shared(), status,
                                          journal, {});
        session.feed({reinterpret_cast<const uint8_t*>(s.data()), s.size()});
        session.finish();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}

}  // namespace

BENCHMARK(BM_StoredQrReprints)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InterpretLayout)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InterpretAndDraw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InterpretDrawAndPng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextLines)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
