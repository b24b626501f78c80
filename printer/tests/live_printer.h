// SPDX-License-Identifier: MIT
// The virtual printer in the test's own process, on a loopback address of
// the test's own (TCP) or on a pseudo-terminal, printing into a folder that
// goes when the test ends. The pages come back read from the PNG files.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "links/server.h"
#include "paper/png_io.h"

namespace quorvel::printer::test {

class LivePrinter {
  public:
    explicit LivePrinter(PrinterState state = {}) : status_(state), journal_(nullptr) {
        dir_ = std::filesystem::temp_directory_path() /
               ("qvp-live-" + std::to_string(::getpid()) + "-" + std::to_string(++serial_));
        std::filesystem::create_directories(dir_);
        config_.out_dir = dir_.string();
    }
    ~LivePrinter() {
        server_.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    // The links' setup, before listen_tcp() or open_pty().
    SessionConfig& config() { return config_; }
    LivePrinter(const LivePrinter&) = delete;
    LivePrinter& operator=(const LivePrinter&) = delete;

    // Listens on 127.<net>.a.b:port, a and b from the test's name, trying
    // further addresses while one is taken. Returns the address.
    std::string listen_tcp(int net = 91, int port = 9100) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const size_t h =
            std::hash<std::string>{}(std::string(info->name()) + std::to_string(::getpid()));
        for (size_t attempt = 0; attempt < 50; ++attempt) {
            const size_t k = (h + attempt * 7919 + static_cast<size_t>(serial_)) % (250 * 250);
            const std::string ip = "127." + std::to_string(net) + "." +
                                   std::to_string(k / 250 + 1) + "." + std::to_string(k % 250 + 1);
            auto server =
                std::make_unique<TcpServer>(config_, FontSet::shared(), status_, journal_);
            if (server->listen(ip, port, nullptr)) {
                server->start();
                server_ = std::move(server);
                return ip;
            }
        }
        ADD_FAILURE() << "no free loopback address";
        return {};
    }

    // A pseudo-terminal whose far end is reached through the returned link.
    std::string open_serial() {
        auto server = std::make_unique<PtyServer>(config_, FontSet::shared(), status_, journal_);
        const std::string link = (dir_ / "ttyQVP0").string();
        std::string err;
        EXPECT_TRUE(server->open(link, &err)) << err;
        server->start();
        server_ = std::move(server);
        return link;
    }

    // Pages of the first `sessions` sessions. The printer is stopped first,
    // which writes out the paper left uncut.
    std::vector<Bitmap> pages(int sessions = 1) {
        EXPECT_TRUE(server_->wait_served(sessions, std::chrono::seconds(10)));
        server_->stop();
        std::vector<Bitmap> out;
        for (const auto& path : server_->images()) {
            Bitmap b;
            std::string err;
            EXPECT_TRUE(read_png(path, &b, &err)) << err;
            out.push_back(std::move(b));
        }
        return out;
    }

  private:
    static inline int serial_ = 0;
    StatusModel status_;
    Journal journal_;
    SessionConfig config_;
    std::filesystem::path dir_;
    std::unique_ptr<LinkServer> server_;
};

}  // namespace quorvel::printer::test
