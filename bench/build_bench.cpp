// SPDX-License-Identifier: MIT
// Building a command alone: the exported call runs in full over a platform
// layer whose write is free, so what is left is the lock, the checks and the
// building of the bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "api/quorvel.h"

namespace {

const std::string line40 = "2x Pao de queijo            R$     9,80";
const std::string data100(100, 'Q');
const char code128_list[] = "10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31";

struct OpenLink {
    OpenLink() { AbreSocket("127.0.0.1", 0); }
    ~OpenLink() { FechaSocket(); }
};

void check(benchmark::State& state, int result) {
    if (result != 1) state.SkipWithError("call refused");
}

void BM_Text40(benchmark::State& state) {
    OpenLink link;
    for (auto _ : state) check(state, ImprimeTexto(line40.c_str(), 0, 0, 0, 0));
}
BENCHMARK(BM_Text40);

void BM_QrCode100(benchmark::State& state) {
    OpenLink link;
    for (auto _ : state) check(state, ImprimeQRCODE_M1(1, 2, 4, 1, data100.c_str()));
}
BENCHMARK(BM_QrCode100);

// Includes copying the 67-byte list, since the call parses it in place.
void BM_Code128List22(benchmark::State& state) {
    OpenLink link;
    char list[sizeof code128_list];
    for (auto _ : state) {
        std::memcpy(list, code128_list, sizeof list);
        check(state, ImprimeCode128C(list, 1, 1));
    }
}
BENCHMARK(BM_Code128List22);

// The floor every call pays: lock, a 3-byte command, the link checks.
void BM_Cut(benchmark::State& state) {
    OpenLink link;
    for (auto _ : state) check(state, AcionaGuilhotina());
}
BENCHMARK(BM_Cut);

// A 576 x 400 image, Floyd-Steinberg dithered into four GS v 0 bands.
void BM_Image576x400Dithered(benchmark::State& state) {
    OpenLink link;
    std::string pixels(576 * 400, '\0');
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<char>(i * 7 % 251);
    const auto* gray = reinterpret_cast<const unsigned char*>(pixels.data());
    for (auto _ : state) check(state, quorvel_print_image(gray, 576, 400, 576, 0, 1));
}
BENCHMARK(BM_Image576x400Dithered);

}  // namespace
