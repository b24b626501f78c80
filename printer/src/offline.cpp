// SPDX-License-Identifier: MIT
#include "offline.h"

#include <stdlib.h>

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

int bench_stream(const std::string& file, Printer& printer, const FontSet& fonts) {
    SessionConfig cfg = printer.config();
    StatusModel& status = printer.status();
    std::vector<uint8_t> data;
    if (!read_file(file, &data) || data.empty()) {
        std::fprintf(stderr, "quorvel-printer: cannot read %s\n", file.c_str());
        return 2;
    }
    Journal quiet(nullptr);  // --bench names none of its images
    // Hundreds of images: into a folder of its own, removed on return.
    std::error_code ec;
    std::string folder =
        (std::filesystem::temp_directory_path(ec) / "quorvel-bench-XXXXXX").string();
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
    using clock = std::chrono::steady_clock;
    auto time = [&](int mode) {
        run(mode);  // warm the glyph cache
        int reps = 0;
        const auto t0 = clock::now();
        while (clock::now() - t0 < std::chrono::seconds(1) || reps < 5) {
            run(mode);
            ++reps;
        }
        return std::chrono::duration<double>(clock::now() - t0).count() / reps;
    };
    const double parse_s = time(0), draw_s = time(1), png_s = time(2);
    std::printf("stream: %zu bytes, %d receipt(s)\n", data.size(), pages);
    std::printf("interpret (layout, no dots):  %8.3f ms per stream, %7.1f MB/s\n", parse_s * 1e3,
                data.size() / parse_s / 1e6);
    std::printf("interpret + draw:             %8.3f ms per stream, %7.1f MB/s\n", draw_s * 1e3,
                data.size() / draw_s / 1e6);
    std::printf("interpret + draw + PNG file:  %8.3f ms per stream, %7.3f ms per receipt\n",
                png_s * 1e3, png_s * 1e3 / std::max(1, pages));
    return 0;
}

}  // namespace quorvel::printer
