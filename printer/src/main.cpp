// SPDX-License-Identifier: MIT
// quorvel-printer: a virtual ESC/POS receipt printer, or a shop of them.
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "links/readiness.h"
#include "links/server.h"
#include "links/session.h"
#include "machine/profile.h"
#include "paper/codepage.h"
#include "printer.h"
#include "web/http_guard.h"
#include "web/http_server.h"
#include "web/receipt_store.h"

namespace {

std::atomic<bool> g_stop{false};
void on_signal(int) {
    g_stop = true;
}

const char* USAGE = R"(usage: quorvel-printer [options]
  --profile NAME|FILE     the printer model: generic-80 (default), generic-80-512,
                          generic-58, or a profile file (see printer/profiles)
  --name NAME             the printer's name in the web page and API (default: printer)
  --shop FILE             play several printers, one per entry of FILE (JSON); the
                          options below are every printer's defaults
  --listen ADDR:PORT      TCP address (default 127.0.0.1:9100; port 0: any free port)
  --serial-link PATH      also serve a pseudo-terminal, symlinked at PATH
  --no-tcp                serve only the serial link
  --out DIR               write receipt PNGs here (default: .)
  --prefix NAME           image file prefix (default: receipt)
  --journal FILE          command journal, appended to (default: standard output; '-' also means it)
  --journal-max MB        past this size the journal moves to FILE.1 and starts again (default 100)
  --max-images N          keep at most N receipt images in --out; the oldest go (default 10000)
  --flush-after SEC       uncut paper becomes an image after SEC without data (default 5; 0 never)
  --capture FILE          append every received byte to FILE (for --decode and --bench)
  --decode FILE           render a captured byte stream offline and exit
  --bench FILE            time interpretation and render+PNG of a captured stream
                          (the images go to a temporary folder, removed at the end)
  --drawer open|closed    drawer state (default closed)
  --drawer-open-ms N      how long ESC p leaves the drawer open (default 3000)
  --offline               report the printer offline
  --paper ok|near-end|out paper state (default ok)
  --cover open|closed     cover state (default closed)
  --silent                never answer status queries
  --idle-timeout SEC      close a connection that sends under 64 bytes in SEC (default: never)
  --max-height DOTS       receipt height cap (default 32000)
  --font-a FILE           font for font A, fitted to its 12x24 cell (default: Terminus)
  --font-b FILE           font for font B, fitted to its 9x17 cell (default: X11 misc 9x15)
  --no-fonts              read no font file: draw characters as boxes (box drawing stays)
  --double-byte ENC       double-byte text (FS &): gb18030, shift_jis, euc-kr, big5 or none
                          (default none); with one, the printer starts in double-byte mode
  --double-byte ENC       double-byte text (FS &): gb18030, shift_jis, euc-kr, big5 or none;
                          overrides the profile's (with one, the printer starts in double-byte mode)
  --nv-dir DIR            keep stored (NV) images in DIR across restarts (default: in memory)
  --logo N=FILE.png       preload stored image N (1-255, printed by FS p N) from a PNG
  --http [ADDR:PORT]      serve the live web page and JSON API (default 127.0.0.1:8080;
                          port 0: any free port)
  --http-token TOKEN      require TOKEN for the web side (made up and printed when the
                          address is not loopback and none is given)
  --ready-file FILE       once every address is served, write them to FILE (KEY=value lines)
  --http-keep N           receipts kept whole in memory for the web side (default 1000;
                          older ones are written beside their images and read back)
  --fresh-list            start the web side's receipt list empty (default: it lists the
                          receipts of earlier runs found in --out; numbering goes on either way)
  --version               print the version and exit
)";

// A number within [lo, hi], or exit 2 naming the option.
double number(const std::string& option, const std::string& text, double lo, double hi) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(v >= lo && v <= hi)) {
        std::fprintf(stderr, "quorvel-printer: %s takes a number from %g to %g, not '%s'\n",
                     option.c_str(), lo, hi, text.c_str());
        std::exit(2);
    }
    return v;
}

bool read_file(const std::string& path, std::vector<uint8_t>* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

int bench(const std::string& file, quorvel::printer::SessionConfig cfg,
          const quorvel::printer::FontSet& fonts, quorvel::printer::StatusModel& status) {
    std::vector<uint8_t> data;
    if (!read_file(file, &data) || data.empty()) {
        std::fprintf(stderr, "quorvel-printer: cannot read %s\n", file.c_str());
        return 2;
    }
    quorvel::printer::Journal quiet(nullptr);  // --bench names none of its images
    // Hundreds of images: into a folder of its own, removed on return.
    std::error_code ec;
    std::string folder = (std::filesystem::temp_directory_path(ec) / "quorvel-bench-XXXXXX").string();
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
    quorvel::printer::PageStoreOptions store;
    store.dir = folder;
    store.prefix = cfg.prefix;
    store.margins = cfg.margins;
    cfg.out_dir = folder;
    cfg.store = std::make_shared<quorvel::printer::PageStore>(store, quiet);
    std::string err;
    if (!cfg.store->open(&err)) {
        std::fprintf(stderr, "quorvel-printer: %s\n", err.c_str());
        return 2;
    }
    int pages = 0;
    // Runs the whole stream through a fresh session: mode 0 lays out only,
    // 1 also draws the dots, 2 also writes the PNG files.
    auto run = [&](int mode) {
        quorvel::printer::SessionConfig c = cfg;
        if (mode < 2) {
            c.out_dir.clear();
            c.store.reset();
        }
        c.render.draw = mode >= 1;
        quorvel::printer::Session s(c, fonts, status, quiet, {});
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

}  // namespace

int main(int argc, char** argv) {
    namespace qp = quorvel::printer;
    qp::keep_freed_image_memory();
    std::string decode, bench_file, profile_name, shop_file;
    qp::PrinterSetup base;
    qp::FontPaths font_paths;
    std::string http, http_token, ready_file;
    std::string double_byte;  // --double-byte: overrides the profile's encoding
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "quorvel-printer: %s needs a value\n%s", a.c_str(), USAGE);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--listen")
            base.listen = value();
        else if (a == "--serial-link")
            base.serial_link = value();
        else if (a == "--no-tcp")
            base.tcp = false;
        else if (a == "--out")
            base.out_dir = value();
        else if (a == "--prefix")
            base.prefix = value();
        else if (a == "--journal")
            base.journal = value();
        else if (a == "--decode")
            decode = value();
        else if (a == "--capture")
            base.capture = value();
        else if (a == "--bench")
            bench_file = value();
        else if (a == "--profile")
            profile_name = value();
        else if (a == "--name")
            base.name = value();
        else if (a == "--shop")
            shop_file = value();
        else if (a == "--drawer")
            base.state.drawer_open = value() == "open";
        else if (a == "--drawer-open-ms")
            base.state.drawer_open_time = std::chrono::milliseconds(std::atoi(value().c_str()));
        else if (a == "--offline")
            base.state.offline = true;
        else if (a == "--paper") {
            const std::string v = value();
            if (v == "ok")
                base.state.paper = qp::Paper::OK;
            else if (v == "near-end")
                base.state.paper = qp::Paper::NEAR_END;
            else if (v == "out")
                base.state.paper = qp::Paper::OUT;
            else {
                std::fprintf(stderr, "quorvel-printer: --paper takes ok, near-end or out\n");
                return 2;
            }
        } else if (a == "--cover")
            base.state.cover_open = value() == "open";
        else if (a == "--silent")
            base.state.silent = true;
        else if (a == "--idle-timeout")
            base.idle_timeout = number(a, value(), 0, 86400);
        else if (a == "--flush-after")
            base.flush_after = number(a, value(), 0, 86400);
        else if (a == "--journal-max")
            base.journal_max_mb = number(a, value(), 0, 1 << 20);
        else if (a == "--max-images")
            base.max_images = static_cast<size_t>(number(a, value(), 1, 1e9));
        else if (a == "--max-height")
            base.max_height = std::max(100, std::atoi(value().c_str()));
        else if (a == "--font-a")
            font_paths.font_a = value();
        else if (a == "--font-b")
            font_paths.font_b = value();
        else if (a == "--no-fonts")
            font_paths.boxes = true;
        else if (a == "--double-byte") {
            const std::string name = value();
            if (!qp::double_byte_from_name(name)) {
                std::fprintf(stderr,
                             "quorvel-printer: --double-byte %s: not gb18030, shift_jis, euc-kr, "
                             "big5 or none\n",
                             name.c_str());
                return 2;
            }
            double_byte = name;
        } else if (a == "--nv-dir")
            base.nv_dir = value();
        else if (a == "--logo")
            base.logos.push_back(value());
        else if (a == "--http")
            http = i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0 ? value()
                                                                           : "127.0.0.1:8080";
        else if (a == "--http-token")
            http_token = value();
        else if (a == "--ready-file")
            ready_file = value();
        else if (a == "--http-keep")
            base.http_keep = static_cast<size_t>(std::max(1, std::atoi(value().c_str())));
        else if (a == "--fresh-list")
            base.fresh_list = true;
        else if (a == "--help" || a == "-h") {
            std::fputs(USAGE, stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("quorvel-printer %s\n", QUORVEL_PRINTER_VERSION);
            return 0;
        } else {
            std::fprintf(stderr, "quorvel-printer: unknown option %s\n%s", a.c_str(), USAGE);
            return 2;
        }
    }

    // Fonts and code tables first: a printer that cannot draw its characters
    // refuses to start, unless boxes were asked for. Profiles name tables,
    // so they are read after them.
    const qp::FontSet fonts(font_paths);
    if (!fonts.error().empty()) {
        std::fprintf(stderr,
                     "quorvel-printer: %s\n(give a font file with --font-a/--font-b, or run with "
                     "--no-fonts to draw characters as boxes)\n",
                     fonts.error().c_str());
        return 2;
    }
    const std::vector<std::string> table_problems = qp::load_code_tables();
    if (!profile_name.empty()) {
        std::string err;
        base.profile = qp::load_profile(profile_name, &err);
        if (!base.profile) {
            std::fprintf(stderr, "quorvel-printer: --profile %s\n", err.c_str());
            return 2;
        }
    }
    if (!double_byte.empty()) {
        auto profile = std::make_shared<qp::Profile>(*base.profile);
        profile->double_byte = double_byte;
        base.profile = std::move(profile);
    }
    std::vector<qp::PrinterSetup> setups{base};
    if (!shop_file.empty()) {
        std::string err;
        if (!qp::read_shop(shop_file, base, &setups, &err)) {
            std::fprintf(stderr, "quorvel-printer: --shop %s\n", err.c_str());
            return 2;
        }
    }
    if (!decode.empty() || !bench_file.empty()) setups.resize(1);  // offline: one printer

    std::setvbuf(stdout, nullptr, _IOFBF, 64 * 1024);  // the journal flushes per batch
    std::vector<std::unique_ptr<qp::Printer>> shop;
    for (const qp::PrinterSetup& setup : setups) {
        shop.push_back(std::make_unique<qp::Printer>(setup));
        std::string err;
        if (!shop.back()->open(fonts, !http.empty(), &err)) {
            std::fprintf(stderr, "quorvel-printer: %s%s\n",
                         setups.size() > 1 ? (setup.name + ": ").c_str() : "", err.c_str());
            return 2;
        }
    }
    qp::Printer& first = *shop.front();
    if (!bench_file.empty()) return bench(bench_file, first.config(), fonts, first.status());

    for (auto& p : shop) {
        p->journal().note("font A: " + fonts.description(0));
        p->journal().note("font B: " + fonts.description(1));
        for (const std::string& problem : table_problems) p->journal().note(problem);
    }
    if (!decode.empty()) {
        std::vector<uint8_t> data;
        if (!read_file(decode, &data)) {
            std::fprintf(stderr, "quorvel-printer: cannot read %s\n", decode.c_str());
            return 2;
        }
        qp::Session s(first.config(), fonts, first.status(), first.journal(), {});
        for (size_t at = 0; at < data.size(); at += 4096)
            s.feed({data.data() + at, std::min<size_t>(4096, data.size() - at)});
        s.finish();
        for (const auto& p : s.images()) std::fprintf(stderr, "%s\n", p.c_str());
        return 0;
    }

    // Every address is bound before anything is served: a printer that cannot
    // have all of them exits at once, with no thread started.
    std::unique_ptr<qp::HttpServer> http_server;
    std::string url, host;
    if (!http.empty()) {
        int port = 0;
        if (!qp::parse_http_address(http, &host, &port)) {
            std::fprintf(stderr, "quorvel-printer: --http takes ADDR:PORT, not %s\n", http.c_str());
            return 2;
        }
        // The token travels in a URL, a header and a cookie: only characters
        // that need no escaping in any of them.
        if (!http_token.empty() &&
            http_token.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                         "0123456789-._~") != std::string::npos) {
            std::fprintf(stderr,
                         "quorvel-printer: --http-token takes letters, digits and - . _ ~ only\n");
            return 2;
        }
        // Beyond loopback nothing is served without a token: one is made up
        // when none was given.
        if (!qp::is_loopback(host) && http_token.empty()) http_token = qp::random_token();
        std::vector<qp::WebPrinter> web;
        for (auto& p : shop)
            web.push_back({p->name(), p->setup().profile, *p->receipts(), p->hub(), p->status()});
        http_server = std::make_unique<qp::HttpServer>(std::move(web), qp::HttpLimits{}, http_token);
        std::string err;
        if (!http_server->listen(host, port, &err)) {
            std::fprintf(stderr, "quorvel-printer: %s\n", err.c_str());
            return 1;
        }
        const std::string shown = host.find(':') != std::string::npos ? "[" + host + "]" : host;
        url = "http://" + shown + ":" + std::to_string(http_server->port()) + "/";
    }
    for (auto& p : shop) {
        std::string err;
        if (const int status = p->open_links(&err)) {
            std::fprintf(stderr, "quorvel-printer: %s%s\n",
                         shop.size() > 1 ? (p->name() + ": ").c_str() : "", err.c_str());
            return status;
        }
    }

    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    std::signal(SIGPIPE, SIG_IGN);

    // Served from here on. The web side first, so the first receipt already
    // appears; said once each link is served, so whoever waits for these
    // lines finds the printer reading.
    qp::ReadyInfo ready;
    if (http_server) {
        http_server->start();
        const std::string page = http_token.empty() ? url : url + "?token=" + http_token;
        std::fprintf(stderr, "quorvel-printer: web page at %s\n", page.c_str());
        if (!qp::is_loopback(host))
            std::fprintf(stderr,
                         "quorvel-printer: the web page is open to other machines; it and the API "
                         "need the token (Authorization: Bearer %s)\n",
                         http_token.c_str());
        for (auto& p : shop) p->journal().note("web page at " + url);
        ready.emplace_back("http", url);
        if (!http_token.empty()) ready.emplace_back("token", http_token);
    }
    for (auto& p : shop) {
        p->start(shop.size() > 1);
        // The first printer also under the plain keys, as a printer alone.
        const bool first = p.get() == shop.front().get();
        const std::string key = shop.size() > 1 ? p->name() + "." : "";
        for (const auto& [what, value] : {std::pair<std::string, std::string>{"serial", p->serial_path()},
                                          {"tcp", p->tcp_address()}}) {
            if (value.empty()) continue;
            if (first) ready.emplace_back(what, value);
            if (!key.empty()) ready.emplace_back(key + what, value);
        }
    }
    if (shop.size() > 1) {
        std::fprintf(stderr, "quorvel-printer: shop of %zu printers ready\n", shop.size());
        std::fflush(stdout);
    }
    // Whoever waits for the ready file would wait for ever: stop, and say why.
    int exit_code = 0;
    if (std::string err; !qp::announce_ready(ready_file, ready, &err)) {
        std::fprintf(stderr, "quorvel-printer: %s\n", err.c_str());
        g_stop = true;
        exit_code = 1;
    }
    while (!g_stop) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // Every printer stops at once, each writing out its uncut paper.
    for (auto& p : shop) p->request_stop();
    for (auto& p : shop) p->stop();
    if (http_server) http_server->stop();
    for (auto& p : shop) p->journal().note("stopped");
    return exit_code;
}
