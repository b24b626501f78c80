// SPDX-License-Identifier: MIT
#include "offline.h"

#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace quorvel::printer {
namespace {

bool read_file(const std::string& path, std::vector<uint8_t>* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

}  // namespace

int decode_stream(const std::string& file, Printer& printer, const FontSet& fonts) {
    std::vector<uint8_t> data;
    if (!read_file(file, &data)) {
        std::fprintf(stderr, "quorvel-printer: cannot read %s\n", file.c_str());
        return 2;
    }
    Session s(printer.config(), fonts, printer.status(), printer.journal(), {});
    for (size_t at = 0; at < data.size(); at += 4096)
        s.feed({data.data() + at, std::min<size_t>(4096, data.size() - at)});
    s.finish();
    for (const auto& p : s.images()) std::fprintf(stderr, "%s\n", p.c_str());
    return 0;
}

int bench_stream(const std::string& file, Printer& printer, const FontSet& fonts,
                 const std::string& parent) {
    SessionConfig cfg = printer.config();
    StatusModel& status = printer.status();
    std::vector<uint8_t> data;
    if (!read_file(file, &data) || data.empty()) {
        std::fprintf(stderr, "quorvel-printer: cannot read %s\n", file.c_str());
        return 2;
    }
    Journal quiet(nullptr);  // --bench names none of its images
    // Hundreds of images: into a folder of its own, removed on return. The
    // file system's cost of creating them is part of the figure, so --out
    // chooses the disk.
    std::error_code ec;
    const std::filesystem::path base =
        parent.empty() ? std::filesystem::temp_directory_path(ec) : std::filesystem::path(parent);
    if (!parent.empty()) std::filesystem::create_directories(base, ec);
    std::string folder = (base / "quorvel-bench-XXXXXX").string();
    if (ec || ::mkdtemp(folder.data()) == nullptr) {
        std::fprintf(stderr, "quorvel-printer: cannot make a temporary folder for --bench\n");
        return 2;
    }
    struct RemoveFolder {
        std::string path;
        ~RemoveFolder() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    } remove_folder{folder};
    PageStoreOptions store;
    store.dir = folder;
    store.prefix = cfg.prefix;
    store.margins = cfg.margins;
    cfg.out_dir = folder;
    cfg.store = std::make_shared<PageStore>(store, quiet);
    std::string err;
    if (!cfg.store->open(&err)) {
        std::fprintf(stderr, "quorvel-printer: %s\n", err.c_str());
        return 2;
    }
    int pages = 0;
    // Runs the whole stream through a fresh session: mode 0 lays out only,
    // 1 also draws the dots, 2 also writes the PNG files.
    auto run = [&](int mode) {
        SessionConfig c = cfg;
        if (mode < 2) {
            c.out_dir.clear();
            c.store.reset();
        }
        c.render.draw = mode >= 1;
        Session s(c, fonts, status, quiet, {});
        s.feed(data);
        s.finish();
        pages = s.renderer().pages_written();
    };
    // Wall time, and the process's CPU time: on a machine shared with other
    // work the wall time measures the scheduler as much as the code.
    using clock = std::chrono::steady_clock;
    struct Cost {
        double wall, user, system;  // seconds per run
    };
    auto cpu_now = [] {
        rusage u{};
        ::getrusage(RUSAGE_SELF, &u);
        auto s = [](const timeval& t) {
            return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
        };
        return Cost{0, s(u.ru_utime), s(u.ru_stime)};
    };
    auto time = [&](int mode) {
        run(mode);  // warm the glyph cache
        int reps = 0;
        const auto t0 = clock::now();
        const Cost c0 = cpu_now();
        while (clock::now() - t0 < std::chrono::seconds(1) || reps < 5) {
            run(mode);
            ++reps;
        }
        const Cost c1 = cpu_now();
        return Cost{std::chrono::duration<double>(clock::now() - t0).count() / reps,
                    (c1.user - c0.user) / reps, (c1.system - c0.system) / reps};
    };
    const Cost parse = time(0), draw = time(1), png = time(2);
    const int receipts = std::max(1, pages);
    std::printf("stream: %zu bytes, %d receipt(s)\n", data.size(), pages);
    std::printf(
        "interpret (layout, no dots):  %8.3f ms per stream, %7.1f MB/s; CPU %.3f ms user + %.3f ms "
        "system\n",
        parse.wall * 1e3, data.size() / parse.wall / 1e6, parse.user * 1e3, parse.system * 1e3);
    std::printf(
        "interpret + draw:             %8.3f ms per stream, %7.1f MB/s; CPU %.3f ms user + %.3f ms "
        "system\n",
        draw.wall * 1e3, data.size() / draw.wall / 1e6, draw.user * 1e3, draw.system * 1e3);
    std::printf(
        "interpret + draw + PNG file:  %8.3f ms per stream, %7.3f ms per receipt; CPU %.3f ms user "
        "+ "
        "%.3f ms system per stream\n",
        png.wall * 1e3, png.wall * 1e3 / receipts, png.user * 1e3, png.system * 1e3);
    return 0;
}

}  // namespace quorvel::printer
