// SPDX-License-Identifier: MIT
// quorvel_confirm_bench: what a confirm costs on an idle printer, against the
// status round trips on the same handle and connection, in alternating
// batches (alternating_batches.h).
//
// The printer: by default a thread on 127.202.x.y:9100 that answers at once,
// as a printer at rest does: DLE EOT n with 12, GS ( H fn 48 with its
// process ID, GS r with 00. With QUORVEL_BENCH_PRINTER=path/to/quorvel-printer
// the virtual printer is started instead (--speed 0, its own loopback address)
// and answers through its interpreter and mechanism.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "alternating_batches.h"
#include "quorvel.h"

extern char** environ;

namespace {

using quorvel::bench::alternate_batches;

// A printer at rest: every answer at once, one connection at a time.
class AnsweringPrinter {
  public:
    AnsweringPrinter() {
        const unsigned key = static_cast<unsigned>(::getpid());
        address_ =
            "127.202." + std::to_string((key >> 8) & 0xFF) + "." + std::to_string(2 + key % 250);
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int on = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(9100);
        ::inet_pton(AF_INET, address_.c_str(), &local.sin_addr);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
            ::listen(listener_, 4) != 0)
            throw std::runtime_error("cannot listen on " + address_ + ":9100");
        thread_ = std::thread([this] { serve(); });
    }
    ~AnsweringPrinter() {
        stopping_ = true;
        thread_.join();
        ::close(listener_);
    }
    const std::string& address() const { return address_; }

  private:
    void serve() {
        while (!stopping_) {
            pollfd entry{listener_, POLLIN, 0};
            if (::poll(&entry, 1, 50) <= 0) continue;
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            int on = 1;
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            std::vector<std::uint8_t> input;
            while (!stopping_) {
                pollfd readable{client, POLLIN, 0};
                if (::poll(&readable, 1, 50) <= 0) continue;
                std::uint8_t buffer[4096];
                const ssize_t count = ::recv(client, buffer, sizeof buffer, 0);
                if (count <= 0) break;
                input.insert(input.end(), buffer, buffer + count);
                std::vector<std::uint8_t> out;
                std::size_t at = 0;
                for (; at < input.size(); ++at) {
                    const std::uint8_t* p = input.data() + at;
                    const std::size_t left = input.size() - at;
                    if (p[0] == 0x10 && left >= 3 && p[1] == 0x04) {
                        out.push_back(0x12);
                        at += 2;
                    } else if (p[0] == 0x1D && left >= 11 && p[1] == '(' && p[2] == 'H') {
                        out.insert(out.end(), {0x37, 0x22, p[7], p[8], p[9], p[10], 0x00});
                        at += 10;
                    } else if (p[0] == 0x1D && left >= 3 && p[1] == 'r') {
                        out.push_back(0x00);
                        at += 2;
                    } else if ((p[0] == 0x10 || p[0] == 0x1D) && left < 11) {
                        break;  // maybe the start of a command still on its way
                    }
                }
                input.erase(input.begin(), input.begin() + static_cast<long>(at));
                if (!out.empty()) ::send(client, out.data(), out.size(), MSG_NOSIGNAL);
            }
            ::close(client);
        }
    }

    std::string address_;
    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// The virtual printer as a child process on its own loopback address.
class VirtualPrinter {
  public:
    explicit VirtualPrinter(const char* program) {
        address_ = "127.203." + std::to_string((::getpid() >> 8) & 0xFF) + "." +
                   std::to_string(2 + ::getpid() % 250);
        directory_ = "/tmp/quorvel-confirm-bench-" + std::to_string(::getpid());
        const std::string listen = address_ + ":9100";
        std::vector<std::string> args = {program,     "--listen",      listen,     "--speed",
                                         "0",         "--out",         directory_, "--journal",
                                         "/dev/null", "--flush-after", "0"};
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&child_, program, nullptr, nullptr, argv.data(), environ) != 0)
            throw std::runtime_error(std::string("cannot start ") + program);
    }
    ~VirtualPrinter() {
        ::kill(child_, SIGTERM);
        ::waitpid(child_, nullptr, 0);
        const std::string remove = "rm -rf " + directory_;
        if (std::system(remove.c_str()) != 0)
            std::fprintf(stderr, "could not remove %s\n", directory_.c_str());
    }
    const std::string& address() const { return address_; }

  private:
    std::string address_, directory_;
    pid_t child_ = -1;
};

quorvel_printer* printer = nullptr;

// Confirm against the status round trips. Reported time: one confirm.
void confirm_vs(benchmark::State& state, bool full_status) {
    quorvel_status status;
    auto read_status = [&] {
        return full_status ? quorvel_printer_read_status(printer, &status) == 1
                           : quorvel_printer_status(printer) == QUORVEL_STATUS_READY;
    };
    alternate_batches(
        state, {full_status ? "read_status" : "status", "status query failed"}, read_status,
        {"confirm", "confirm failed"},
        [] {
            return quorvel_printer_confirm(printer, 2000) == 1 &&
                   quorvel_printer_confirm_level(printer) == QUORVEL_CONFIRM_PRINTED;
        },
        1);
}

}  // namespace

// quorvel_read_status: DLE EOT 1 to 4, four round trips in one call.
BENCHMARK_CAPTURE(confirm_vs, read_status, true)->UseManualTime();
// quorvel_printer_status: DLE EOT 1, one round trip, the closest like.
BENCHMARK_CAPTURE(confirm_vs, status, false)->UseManualTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const char* program = std::getenv("QUORVEL_BENCH_PRINTER");
    std::unique_ptr<AnsweringPrinter> answering;
    std::unique_ptr<VirtualPrinter> virtual_printer;
    std::string address;
    if (program != nullptr && *program != '\0') {
        virtual_printer = std::make_unique<VirtualPrinter>(program);
        address = virtual_printer->address();
    } else {
        answering = std::make_unique<AnsweringPrinter>();
        address = answering->address();
    }
    for (int attempt = 0; attempt < 50 && printer == nullptr; ++attempt) {
        printer = quorvel_printer_open_tcp(address.c_str(), 9100, 0);
        if (printer == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (printer == nullptr) {
        std::fprintf(stderr, "no printer at %s port 9100\n", address.c_str());
        return 1;
    }
    // The first confirm learns that the printer answers GS ( H.
    if (quorvel_printer_confirm(printer, 5000) != 1) {
        char message[QUORVEL_ERROR_MESSAGE_SIZE];
        quorvel_last_error(message, sizeof message);
        std::fprintf(stderr, "first confirm failed: %s\n", message);
        return 1;
    }
    benchmark::AddCustomContext("printer", program != nullptr && *program != '\0'
                                               ? "quorvel-printer --speed 0"
                                               : "in-process, answers at once");
    benchmark::RunSpecifiedBenchmarks();
    quorvel_printer_close(printer);
    benchmark::Shutdown();
    return 0;
}
