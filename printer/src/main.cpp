// SPDX-License-Identifier: MIT
// quorvel-printer: a virtual 80 mm ESC/POS receipt printer.
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

#include "codepage.h"
#include "http_server.h"
#include "readiness.h"
#include "receipt_store.h"
#include "server.h"
#include "session.h"

namespace {

std::atomic<bool> g_stop{false};
void on_signal(int) {
    g_stop = true;
}

const char* USAGE = R"(usage: quorvel-printer [options]
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
  --nv-dir DIR            keep stored (NV) images in DIR across restarts (default: in memory)
  --logo N=FILE.png       preload stored image N (1-255, printed by FS p N) from a PNG
  --http [ADDR:PORT]      serve the live web page and JSON API (default 127.0.0.1:8080;
                          port 0: any free port)
  --http-token TOKEN      require TOKEN for the web side (made up and printed when the
                          address is not loopback and none is given)
  --ready-file FILE       once every address is served, write them to FILE (KEY=value lines)
  --http-keep N           receipts kept whole in memory for the web side (default 1000;
                          older ones are written beside their images and read back)
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
    quorvel::printer::Journal quiet(nullptr);
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
    std::string listen = "127.0.0.1:9100", serial_link, journal_path, decode, bench_file,
                capture_path;
    bool tcp = true;
    quorvel::printer::SessionConfig cfg;
    cfg.out_dir = ".";
    quorvel::printer::PrinterState state;
    quorvel::printer::FontPaths font_paths;
    double idle = 0, flush_after = 5, journal_max = 100, max_images = 10000;
    std::string nv_dir;
    std::vector<std::string> logos;
    std::string http, http_token, ready_file;
    int http_keep = 1000;
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
            listen = value();
        else if (a == "--serial-link")
            serial_link = value();
        else if (a == "--no-tcp")
            tcp = false;
        else if (a == "--out")
            cfg.out_dir = value();
        else if (a == "--prefix")
            cfg.prefix = value();
        else if (a == "--journal")
            journal_path = value();
        else if (a == "--decode")
            decode = value();
        else if (a == "--capture")
            capture_path = value();
        else if (a == "--bench")
            bench_file = value();
        else if (a == "--drawer")
            state.drawer_open = value() == "open";
        else if (a == "--drawer-open-ms")
            state.drawer_open_time = std::chrono::milliseconds(std::atoi(value().c_str()));
        else if (a == "--offline")
            state.offline = true;
        else if (a == "--paper") {
            const std::string v = value();
            if (v == "ok")
                state.paper = quorvel::printer::Paper::OK;
            else if (v == "near-end")
                state.paper = quorvel::printer::Paper::NEAR_END;
            else if (v == "out")
                state.paper = quorvel::printer::Paper::OUT;
            else {
                std::fprintf(stderr, "quorvel-printer: --paper takes ok, near-end or out\n");
                return 2;
            }
        } else if (a == "--cover")
            state.cover_open = value() == "open";
        else if (a == "--silent")
            state.silent = true;
        else if (a == "--idle-timeout")
            idle = number(a, value(), 0, 86400);
        else if (a == "--flush-after")
            flush_after = number(a, value(), 0, 86400);
        else if (a == "--journal-max")
            journal_max = number(a, value(), 0, 1 << 20);
        else if (a == "--max-images")
            max_images = number(a, value(), 1, 1e9);
        else if (a == "--max-height")
            cfg.render.max_page_height = std::max(100, std::atoi(value().c_str()));
        else if (a == "--font-a")
            font_paths.font_a = value();
        else if (a == "--font-b")
            font_paths.font_b = value();
        else if (a == "--no-fonts")
            font_paths.boxes = true;
        else if (a == "--double-byte") {
            const std::string name = value();
            const auto e = quorvel::printer::double_byte_from_name(name);
            if (!e) {
                std::fprintf(stderr,
                             "quorvel-printer: --double-byte %s: not gb18030, shift_jis, euc-kr, "
                             "big5 or none\n",
                             name.c_str());
                return 2;
            }
            cfg.render.double_byte = *e;
        } else if (a == "--nv-dir")
            nv_dir = value();
        else if (a == "--logo")
            logos.push_back(value());
        else if (a == "--http")
            http = i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0 ? value()
                                                                           : "127.0.0.1:8080";
        else if (a == "--http-token")
            http_token = value();
        else if (a == "--ready-file")
            ready_file = value();
        else if (a == "--http-keep")
            http_keep = std::max(1, std::atoi(value().c_str()));
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
    // refuses to start, unless boxes were asked for.
    const quorvel::printer::FontSet fonts(font_paths);
    if (!fonts.error().empty()) {
        std::fprintf(stderr,
                     "quorvel-printer: %s\n(give a font file with --font-a/--font-b, or run with "
                     "--no-fonts to draw characters as boxes)\n",
                     fonts.error().c_str());
        return 2;
    }
    const std::vector<std::string> table_problems = quorvel::printer::load_code_tables();

    // Stored images: read from --nv-dir, then the --logo images over them.
    cfg.nv = std::make_shared<quorvel::printer::NvStore>(nv_dir);
    if (std::string error; !cfg.nv->open(&error)) {
        std::fprintf(stderr, "quorvel-printer: --nv-dir %s\n", error.c_str());
        return 2;
    }
    for (const std::string& logo : logos) {
        const size_t eq = logo.find('=');
        const int number = eq == std::string::npos ? 0 : std::atoi(logo.substr(0, eq).c_str());
        if (number < 1 || number > 255 || logo.substr(0, eq) != std::to_string(number)) {
            std::fprintf(stderr, "quorvel-printer: --logo takes N=FILE.png with N 1 to 255\n");
            return 2;
        }
        quorvel::printer::Bitmap image;
        std::string error;
        if (!quorvel::printer::load_logo(logo.substr(eq + 1), quorvel::printer::PRINT_WIDTH, &image,
                                         &error)) {
            std::fprintf(stderr, "quorvel-printer: --logo %s\n", error.c_str());
            return 2;
        }
        cfg.nv->set_bit_image(number, std::move(image));
    }

    std::setvbuf(stdout, nullptr, _IOFBF, 64 * 1024);  // the journal flushes per batch
    quorvel::printer::Journal journal(stdout);
    if (!journal_path.empty() && journal_path != "-") {
        std::string err;
        if (!journal.open(journal_path, static_cast<uint64_t>(journal_max * 1024 * 1024), &err)) {
            std::fprintf(stderr, "quorvel-printer: %s\n", err.c_str());
            return 2;
        }
    }
    quorvel::printer::StatusModel status(state);

    // --bench writes hundreds of images: into a folder of its own, removed on return.
    std::unique_ptr<std::string, void (*)(std::string*)> bench_dir(nullptr, [](std::string* dir) {
        std::error_code ignored;
        std::filesystem::remove_all(*dir, ignored);
        delete dir;
    });
    if (!bench_file.empty()) {
        std::error_code ec;
        std::string pattern = (std::filesystem::temp_directory_path(ec) / "quorvel-bench-XXXXXX").string();
        if (ec || ::mkdtemp(pattern.data()) == nullptr) {
            std::fprintf(stderr, "quorvel-printer: cannot make a temporary folder for --bench\n");
            return 2;
        }
        bench_dir.reset(new std::string(pattern));
        cfg.out_dir = pattern;
    }
    quorvel::printer::Journal quiet(nullptr);  // --bench names none of its images

    if (!cfg.out_dir.empty()) {
        quorvel::printer::PageStoreOptions store;
        store.dir = cfg.out_dir;
        store.prefix = cfg.prefix;
        store.margins = cfg.margins;
        store.max_images = static_cast<size_t>(max_images);
        cfg.store = std::make_shared<quorvel::printer::PageStore>(
            store, bench_file.empty() ? journal : quiet);
        std::string err;
        if (!cfg.store->open(&err)) {
            std::fprintf(stderr, "quorvel-printer: %s\n", err.c_str());
            return 2;
        }
    }

    if (!bench_file.empty()) return bench(bench_file, cfg, fonts, status);
    if (!capture_path.empty()) {
        cfg.capture = std::fopen(capture_path.c_str(), "ab");
        if (!cfg.capture) {
            std::fprintf(stderr, "quorvel-printer: cannot write %s\n", capture_path.c_str());
            return 2;
        }
    }

    journal.note("font A: " + fonts.description(0));
    journal.note("font B: " + fonts.description(1));
    for (const std::string& problem : table_problems) journal.note(problem);
    if (!decode.empty()) {
        std::vector<uint8_t> data;
        if (!read_file(decode, &data)) {
            std::fprintf(stderr, "quorvel-printer: cannot read %s\n", decode.c_str());
            return 2;
        }
        quorvel::printer::Session s(cfg, fonts, status, journal, {});
        for (size_t at = 0; at < data.size(); at += 4096)
            s.feed({data.data() + at, std::min<size_t>(4096, data.size() - at)});
        s.finish();
        for (const auto& p : s.images()) std::fprintf(stderr, "%s\n", p.c_str());
        return 0;
    }

    // Every address is bound before anything is served: a printer that cannot
    // have all of them exits at once, with no thread started.
    quorvel::printer::EventHub hub;
    std::unique_ptr<quorvel::printer::ReceiptStore> store;
    std::unique_ptr<quorvel::printer::HttpServer> http_server;
    std::string url, host;
    if (!http.empty()) {
        int port = 0;
        if (!quorvel::printer::parse_http_address(http, &host, &port)) {
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
        if (!quorvel::printer::is_loopback(host) && http_token.empty())
            http_token = quorvel::printer::random_token();
        store = std::make_unique<quorvel::printer::ReceiptStore>(
            cfg.out_dir, cfg.margins, hub, http_keep, static_cast<size_t>(max_images));
        http_server = std::make_unique<quorvel::printer::HttpServer>(
            *store, hub, status, quorvel::printer::HttpLimits{}, http_token);
        std::string err;
        if (!http_server->listen(host, port, &err)) {
            std::fprintf(stderr, "quorvel-printer: %s\n", err.c_str());
            return 1;
        }
        const std::string shown = host.find(':') != std::string::npos ? "[" + host + "]" : host;
        url = "http://" + shown + ":" + std::to_string(http_server->port()) + "/";
        cfg.open_tap = [s = store.get()] {
            return std::make_shared<quorvel::printer::ReceiptTap>(*s);
        };
    }

    std::string listening, serial_note;
    std::unique_ptr<quorvel::printer::TcpServer> tcp_server;
    std::unique_ptr<quorvel::printer::PtyServer> pty_server;
    if (tcp) {
        std::string host;
        int port = 0;
        if (listen.find(':') == std::string::npos) listen += ":9100";
        if (!quorvel::printer::parse_http_address(listen, &host, &port) ||
            host.find(':') != std::string::npos) {
            std::fprintf(stderr, "quorvel-printer: --listen takes IPV4:PORT, not %s\n",
                         listen.c_str());
            return 2;
        }
        tcp_server = std::make_unique<quorvel::printer::TcpServer>(cfg, fonts, status, journal);
        tcp_server->idle_timeout = std::chrono::milliseconds(std::lround(idle * 1000));
        tcp_server->flush_after = std::chrono::milliseconds(std::lround(flush_after * 1000));
        std::string err;
        if (!tcp_server->listen(host, port, &err)) {
            std::fprintf(stderr, "quorvel-printer: %s\n", err.c_str());
            return 1;
        }
        listening = host + ":" + std::to_string(tcp_server->port());
    }
    if (!serial_link.empty()) {
        pty_server = std::make_unique<quorvel::printer::PtyServer>(cfg, fonts, status, journal);
        pty_server->flush_after = std::chrono::milliseconds(std::lround(flush_after * 1000));
        std::string err;
        if (!pty_server->open(serial_link, &err)) {
            std::fprintf(stderr, "quorvel-printer: %s\n", err.c_str());
            return 1;
        }
        serial_note = "serial port " + serial_link + " -> " + pty_server->slave_path();
    }
    if (!tcp_server && !pty_server) {
        std::fprintf(stderr, "quorvel-printer: nothing to serve\n");
        return 2;
    }

    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    std::signal(SIGPIPE, SIG_IGN);

    // Served from here on. The web side first, so the first receipt already
    // appears; said once each link is served, so whoever waits for these
    // lines finds the printer reading.
    quorvel::printer::ReadyInfo ready;
    if (http_server) {
        http_server->start();
        const std::string page = http_token.empty() ? url : url + "?token=" + http_token;
        std::fprintf(stderr, "quorvel-printer: web page at %s\n", page.c_str());
        if (!quorvel::printer::is_loopback(host))
            std::fprintf(stderr,
                         "quorvel-printer: the web page is open to other machines; it and the API "
                         "need the token (Authorization: Bearer %s)\n",
                         http_token.c_str());
        journal.note("web page at " + url);
        ready.emplace_back("http", url);
        if (!http_token.empty()) ready.emplace_back("token", http_token);
    }
    if (pty_server) {
        pty_server->start();
        journal.note(serial_note);
        ready.emplace_back("serial", pty_server->slave_path());
    }
    if (tcp_server) {
        tcp_server->start();
        std::fprintf(stderr, "quorvel-printer: listening on %s\n", listening.c_str());
        journal.note("listening on " + listening);
        ready.emplace_back("tcp", listening);
    }
    // Whoever waits for the ready file would wait for ever: stop, and say why.
    int exit_code = 0;
    if (std::string err; !quorvel::printer::announce_ready(ready_file, ready, &err)) {
        std::fprintf(stderr, "quorvel-printer: %s\n", err.c_str());
        g_stop = true;
        exit_code = 1;
    }
    while (!g_stop) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (tcp_server) tcp_server->stop();
    if (pty_server) pty_server->stop();
    if (http_server) http_server->stop();
    journal.note("stopped");
    if (cfg.capture) std::fclose(cfg.capture);
    return exit_code;
}
