// SPDX-License-Identifier: MIT
// Exported calls over a real loopback TCP link against a bare send() of the
// very same bytes, captured from the library, on the same connection to the
// same draining listener. Calls and bare sends alternate in small batches, so
// both see the same machine load; the counters give the wall and thread-CPU
// time of each and their ratios. The same families through a printer handle
// (quorvel_printer_*) against bare sends on the handle's own connection.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "alternating_batches.h"
#include "drain_listener.h"
#include "quorvel.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

int bare_fd = -1;

bool bare_send(const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t count = ::send(bare_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (count > 0) {
            done += static_cast<std::size_t>(count);
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
        pollfd writable{bare_fd, POLLOUT, 0};
        ::poll(&writable, 1, 1000);
    }
    return true;
}

// The bare status round trip: the query, then the one reply byte.
bool bare_query() {
    static const Bytes query{0x10, 0x04, 0x01};
    if (!bare_send(query)) return false;
    pollfd readable{bare_fd, POLLIN, 0};
    if (::poll(&readable, 1, 2000) != 1) return false;
    std::uint8_t reply = 0;
    return ::recv(bare_fd, &reply, 1, 0) == 1 && reply == 0x12;
}

const std::string line40 = "2x Pao de queijo            R$     9,80";  // 40 with the end
const std::string data100(100, 'Q');

// Lists are parsed in place: each call parses a fresh copy, as a host would pass.
int code128() {
    char list[] = "10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31";
    return ImprimeCode128C(list, 1, 1);
}

int raw_command() {
    char list[] = "27,64,27,97,1,29,33,17,27,69,1";
    return ComandoTx(list);
}

struct Family {
    const char* name;
    int (*call)();
    int expected;
};

const Family families[] = {
    {"device_action/cut", AcionaGuilhotina, 1},
    {"text/ImprimeTexto_40", [] { return ImprimeTexto(line40.c_str(), 0, 0, 0, 0); }, 1},
    {"formatted_text/ImprimeTxFormatado_40",
     [] { return ImprimeTxFormatado(line40.c_str(), 1, 0, 3); }, 1},
    {"barcode/EAN13", [] { return ImprimeCodigoBarras(1, 2, 1, 2, 2, "7891234567895"); }, 1},
    {"code128/22_items", code128, 1},
    {"esc_z_symbol/QR_100", [] { return ImprimeQRCODE_M2(1, 2, 4, 1, data100.c_str()); }, 1},
    {"gs_k_qr/QR_100", [] { return ImprimeQRCODE_M1(1, 2, 4, 1, data100.c_str()); }, 1},
    {"raw/ComandoTx_11_items", raw_command, 1},
};

// The same calls through a printer handle, on a connection of its own.
quorvel_printer* printer = nullptr;

int handle_code128() {
    char list[] = "10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31";
    return quorvel_printer_code128(printer, list, 1, 1);
}

int handle_raw_command() {
    char list[] = "27,64,27,97,1,29,33,17,27,69,1";
    return quorvel_printer_raw(printer, list);
}

const Family handle_families[] = {
    {"device_action/cut", [] { return quorvel_printer_cut(printer); }, 1},
    {"text/text_40", [] { return quorvel_printer_text(printer, line40.c_str(), 0, 0, 0, 0); }, 1},
    {"formatted_text/formatted_text_40",
     [] { return quorvel_printer_formatted_text(printer, line40.c_str(), 1, 0, 3); }, 1},
    {"barcode/EAN13",
     [] { return quorvel_printer_barcode(printer, 1, 2, 1, 2, 2, "7891234567895"); }, 1},
    {"code128/22_items", handle_code128, 1},
    {"esc_z_symbol/QR_100",
     [] { return quorvel_printer_qr_code_escz(printer, 1, 2, 4, 1, data100.c_str()); }, 1},
    {"gs_k_qr/QR_100", [] { return quorvel_printer_qr_code(printer, 1, 2, 4, 1, data100.c_str()); },
     1},
    {"raw/raw_11_items", handle_raw_command, 1},
};

// One batch of calls and one of bare sends per iteration, in alternating order.
// Reported time: wall time of one exported call. Counters: wall and thread-CPU
// nanoseconds of each side per call, and their ratios.
template <typename Call, typename Bare>
void compare(benchmark::State& state, Call call, Bare bare, int sends_per_call = 1) {
    if (quorvel::bench::alternate_batches(state, {"call", "call failed"}, call,
                                          {"bare", "bare send failed"}, bare, 0))
        state.counters["sends"] = sends_per_call;
}

// A typical receipt: 25 calls.
using Step = int (*)();
const Step receipt_steps[] = {
    [] { return ImprimeLogoNV(1, 1, 0); },
    [] { return ImprimeTexto("PADARIA E CONFEITARIA BOM PAO", 1, 0, 0, 1); },
    [] { return ImprimeTexto("Rua das Flores, 123 - Centro", 1, 1, 0, 0); },
    [] { return ImprimeTexto("Tel. (11) 5555-0123", 1, 1, 0, 0); },
    [] { return ImprimeTexto("---------------------------------------", 0, 0, 0, 0); },
    [] { return ImprimeTexto("1x Cafe expresso             R$     5,50", 0, 0, 0, 0); },
    [] { return ImprimeTexto("2x Pao de queijo             R$     9,80", 0, 0, 0, 0); },
    [] { return ImprimeTexto("1x Suco de laranja 300ml     R$     8,90", 0, 0, 0, 0); },
    [] { return ImprimeTexto("1x Misto quente              R$    12,00", 0, 0, 0, 0); },
    [] { return ImprimeTexto("3x Brigadeiro                R$     7,50", 0, 0, 0, 0); },
    [] { return ImprimeTexto("1x Bolo de cenoura fatia     R$     9,00", 0, 0, 0, 0); },
    [] { return ImprimeTexto("1x Agua mineral 500ml        R$     3,50", 0, 0, 0, 0); },
    [] { return ImprimeTexto("2x Croissant                 R$    13,00", 0, 0, 0, 0); },
    [] { return ImprimeTexto("1x Cappuccino                R$     8,20", 0, 0, 0, 0); },
    [] { return ImprimeTexto("---------------------------------------", 0, 0, 0, 0); },
    [] { return ImprimeTexto("Subtotal                     R$    77,40", 0, 0, 0, 0); },
    [] { return ImprimeTexto("Desconto                     R$     0,00", 0, 0, 0, 0); },
    [] { return ImprimeTxFormatado("TOTAL R$ 77,40", 2, 0, 4); },
    [] { return ImprimeTexto("Cartao de debito             R$    77,40", 0, 0, 0, 0); },
    [] { return ImprimeCodigoBarras(1, 2, 1, 2, 2, "7891234567895"); },
    [] {
        return ImprimeQRCODE_M1(
            1, 2, 4, 1,
            "https://nfce.example.com/consulta?chave=35261212345678000190650010000"
            "012341000012345");
    },
    [] { return ImprimeTexto("Consulte pela chave de acesso", 1, 1, 0, 0); },
    [] { return ImprimeTextoLF("Obrigado pela preferencia!", 1, 0, 0, 0, 4); },
    [] { return AcionaGuilhotina(); },
    [] { return Abre_Gaveta(); },
};

std::vector<Bytes> receipt_bytes;

// A 576 x 400 photograph-like image (gradients and rings), dithered: four
// GS v 0 bands, 29 KiB.
constexpr int image_width = 576, image_height = 400;
const std::vector<unsigned char> image_pixels = [] {
    std::vector<unsigned char> pixels(image_width * image_height);
    for (int y = 0; y < image_height; ++y)
        for (int x = 0; x < image_width; ++x) {
            const int dx = x - image_width / 2, dy = y - image_height / 2;
            pixels[static_cast<std::size_t>(y * image_width + x)] = static_cast<unsigned char>(
                (x * 255 / image_width + (dx * dx + dy * dy) / 200) & 0xFF);
        }
    return pixels;
}();

int print_image() {
    return quorvel_print_image(image_pixels.data(), image_width, image_height, image_width, 1,
                               QUORVEL_DITHER_FLOYD_STEINBERG);
}

// The captured image bytes split back into the call's writes: ESC @ ESC a n
// with the first band, then one GS v 0 band each.
std::vector<Bytes> image_bands(const Bytes& stream) {
    std::vector<Bytes> bands;
    std::size_t at = 0;
    while (at + 8 <= stream.size()) {
        const std::size_t header = bands.empty() ? 5 : 0;
        const std::size_t x = stream[at + header + 4] | stream[at + header + 5] << 8;
        const std::size_t y = stream[at + header + 6] | stream[at + header + 7] << 8;
        const std::size_t size = header + 8 + x * y;
        bands.emplace_back(stream.begin() + static_cast<long>(at),
                           stream.begin() + static_cast<long>(at + size));
        at += size;
    }
    return bands;
}

bool print_receipt() {
    bool ok = true;
    for (Step step : receipt_steps) ok = step() == 1 && ok;
    return ok;
}

bool bare_receipt() {
    bool ok = true;
    for (const Bytes& command : receipt_bytes) ok = bare_send(command) && ok;
    return ok;
}

// This process's connections to the listener, found among its descriptors
// by their peer address.
std::vector<int> listener_sockets(const std::string& printer_address) {
    in_addr wanted{};
    ::inet_pton(AF_INET, printer_address.c_str(), &wanted);
    std::vector<int> found;
    for (int fd = 3; fd < 1024; ++fd) {
        sockaddr_in peer{};
        socklen_t size = sizeof peer;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) == 0 &&
            peer.sin_family == AF_INET && peer.sin_addr.s_addr == wanted.s_addr &&
            peer.sin_port == htons(9100))
            found.push_back(fd);
    }
    return found;
}

// The connection that `open` adds, or -1.
template <typename Open>
int new_socket(const std::string& printer_address, Open open) {
    const std::vector<int> before = listener_sockets(printer_address);
    if (!open()) return -1;
    for (int fd : listener_sockets(printer_address))
        if (std::find(before.begin(), before.end(), fd) == before.end()) return fd;
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    quorvel::bench::DrainListener listener;
    const int library_fd = new_socket(
        listener.address(), [&] { return AbreSocket(listener.address().c_str(), 0) == 1; });
    if (library_fd < 0) {
        std::fprintf(stderr, "cannot open the link to %s\n", listener.address().c_str());
        return 1;
    }
    // Bare sends go on the library's own connection, so both sides share the
    // socket, its buffers and the listener's wake-ups; set
    // QUORVEL_BENCH_BARE_SOCKET=separate for a second connection of the same kind.
    const char* bare_socket = std::getenv("QUORVEL_BENCH_BARE_SOCKET");
    const bool separate = bare_socket != nullptr && std::string(bare_socket) == "separate";
    bare_fd = separate ? listener.connect_client() : library_fd;
    // The printer handle's connection: bare sends for its rows go there.
    int handle_fd = new_socket(listener.address(), [&] {
        printer = quorvel_printer_open_tcp(listener.address().c_str(), 9100, 0);
        return printer != nullptr;
    });
    if (separate && handle_fd >= 0) handle_fd = listener.connect_client();
    if (bare_fd < 0 || handle_fd < 0) {
        std::fprintf(stderr, "cannot find the library's sockets\n");
        return 1;
    }

    static std::vector<Bytes> family_bytes;
    static int (*capturing)() = nullptr;
    auto capture = [&](int (*call)()) {
        capturing = call;
        return listener.capture([] { capturing(); });
    };
    for (const Family& family : families) family_bytes.push_back(capture(family.call));
    for (Step step : receipt_steps) receipt_bytes.push_back(capture(step));
    static std::vector<Bytes> handle_bytes;
    for (const Family& family : handle_families) handle_bytes.push_back(capture(family.call));
    static const std::vector<Bytes> image_writes = image_bands(capture(print_image));

    for (std::size_t i = 0; i < std::size(families); ++i) {
        const Family& family = families[i];
        const Bytes& bytes = family_bytes[i];
        benchmark::RegisterBenchmark(
            (std::string("call_vs_bare_send/") + family.name).c_str(),
            [&family, &bytes](benchmark::State& state) {
                compare(
                    state, [&] { return family.call() == family.expected; },
                    [&] { return bare_send(bytes); });
                state.counters["bytes"] = static_cast<double>(bytes.size());
            })
            ->UseManualTime();
    }
    // Bare sends on the handle's connection, so each side again shares one socket.
    static int handle_socket = handle_fd;
    for (std::size_t i = 0; i < std::size(handle_families); ++i) {
        const Family& family = handle_families[i];
        const Bytes& bytes = handle_bytes[i];
        benchmark::RegisterBenchmark(
            (std::string("handle_call_vs_bare_send/") + family.name).c_str(),
            [&family, &bytes](benchmark::State& state) {
                std::swap(bare_fd, handle_socket);
                compare(
                    state, [&] { return family.call() == family.expected; },
                    [&] { return bare_send(bytes); });
                std::swap(bare_fd, handle_socket);
                state.counters["bytes"] = static_cast<double>(bytes.size());
            })
            ->UseManualTime();
    }
    benchmark::RegisterBenchmark(
        "handle_status_round_trip/status_vs_send_recv",
        [](benchmark::State& state) {
            std::swap(bare_fd, handle_socket);
            compare(
                state, [] { return quorvel_printer_status(printer) == QUORVEL_STATUS_READY; },
                bare_query);
            std::swap(bare_fd, handle_socket);
        })
        ->UseManualTime();
    benchmark::RegisterBenchmark("status_round_trip/Le_Status_vs_send_recv", [](benchmark::State&
                                                                                    state) {
        compare(
            state, [] { return Le_Status() == QUORVEL_STATUS_READY; }, bare_query);
    })->UseManualTime();
    benchmark::RegisterBenchmark("receipt/25_calls", [](benchmark::State& state) {
        compare(state, print_receipt, bare_receipt, static_cast<int>(std::size(receipt_steps)));
        std::size_t bytes = 0;
        for (const Bytes& command : receipt_bytes) bytes += command.size();
        state.counters["bytes"] = static_cast<double>(bytes);
    })->UseManualTime();

    benchmark::RegisterBenchmark("image/576x400_dithered", [](benchmark::State& state) {
        compare(
            state, [] { return print_image() == 1; },
            [] {
                bool ok = true;
                for (const Bytes& band : image_writes) ok = bare_send(band) && ok;
                return ok;
            },
            static_cast<int>(image_writes.size()));
        std::size_t bytes = 0;
        for (const Bytes& band : image_writes) bytes += band.size();
        state.counters["bytes"] = static_cast<double>(bytes);
    })->UseManualTime();

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    FechaSocket();
    quorvel_printer_close(printer);
    if (separate) {
        ::close(bare_fd);
        ::close(handle_socket);
    }
    return 0;
}
