// SPDX-License-Identifier: MIT
#include "options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "paper/double_byte.h"
#include "web/http_guard.h"

namespace quorvel::printer {
namespace {

// Takes one value of an option (an empty one for a flag) into the options;
// returns the refusal, or an empty string.
using Setter = std::string (*)(Options& o, const char* option, const std::string& value);

struct OptionRow {
    const char* name;
    const char* value;  // shown after the name; nullptr: a flag
    Setter set;
    const char* help;              // continuation lines start with \n
    const char* omitted = nullptr;  // the value when the option is given without one
};

// A number within [lo, hi] into *out, or the refusal naming the option.
template <typename T>
std::string number(const char* option, const std::string& text, double lo, double hi, T* out) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(v >= lo && v <= hi)) {
        char message[160];
        std::snprintf(message, sizeof message, "%s takes a number from %g to %g, not '%s'", option,
                      lo, hi, text.c_str());
        return message;
    }
    *out = static_cast<T>(v);
    return {};
}

// open|closed into *out (true: open).
std::string open_or_closed(const char* option, const std::string& text, bool* out) {
    if (text != "open" && text != "closed") return std::string(option) + " takes open or closed";
    *out = text == "open";
    return {};
}

std::string paper_state(Options& o, const char*, const std::string& v) {
    if (v == "ok")
        o.base.state.paper = Paper::OK;
    else if (v == "near-end")
        o.base.state.paper = Paper::NEAR_END;
    else if (v == "out")
        o.base.state.paper = Paper::OUT;
    else
        return "--paper takes ok, near-end or out";
    return {};
}

std::string double_byte(Options& o, const char*, const std::string& v) {
    if (!double_byte_from_name(v))
        return "--double-byte " + v + ": not gb18030, shift_jis, euc-kr, big5 or none";
    o.double_byte = v;
    return {};
}

// The token travels in a URL, a header and a cookie: only characters that
// need no escaping in any of them.
std::string http_token(Options& o, const char*, const std::string& v) {
    constexpr const char* SAFE =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
    if (v.find_first_not_of(SAFE) != std::string::npos)
        return "--http-token takes letters, digits and - . _ ~ only";
    o.http_token = v;
    return {};
}

#define TO(field)                                                      \
    [](Options& o, const char*, const std::string& v) -> std::string { \
        o.field = v;                                                   \
        return {};                                                     \
    }
#define SWITCH(field)                                                \
    [](Options& o, const char*, const std::string&) -> std::string { \
        o.field = true;                                              \
        return {};                                                   \
    }
#define NUMBER(field, lo, hi) \
    [](Options& o, const char* n, const std::string& v) { return number(n, v, lo, hi, &o.field); }

// clang-format off
const OptionRow OPTIONS[] = {
    {"--profile", "NAME|FILE", TO(profile),
     "the printer model: generic-80 (default), generic-80-512,\n"
     "generic-58, or a profile file (see printer/profiles)"},
    {"--name", "NAME", TO(base.name),
     "the printer's name in the web page and API (default: printer)"},
    {"--shop", "FILE", TO(shop),
     "play several printers, one per entry of FILE (JSON); the\n"
     "options below are every printer's defaults"},
    {"--listen", "ADDR:PORT", TO(base.listen),
     "TCP address (default 127.0.0.1:9100; port 0: any free port)"},
    {"--serial-link", "PATH", TO(base.serial_link),
     "also serve a pseudo-terminal, symlinked at PATH"},
    {"--no-tcp", nullptr, [](Options& o, const char*, const std::string&) -> std::string {
         o.base.tcp = false;
         return {};
     },
     "serve only the serial link"},
    {"--out", "DIR", [](Options& o, const char*, const std::string& v) -> std::string {
         o.base.out_dir = v;
         o.out_given = true;
         return {};
     },
     "write receipt PNGs here (default: .)"},
    {"--prefix", "NAME", TO(base.prefix),
     "image file prefix (default: receipt)"},
    {"--journal", "FILE", TO(base.journal),
     "command journal, appended to (default: standard output; '-' also means it)"},
    {"--journal-max", "MB", NUMBER(base.journal_max_mb, 0, 1 << 20),
     "past this size the journal moves to FILE.1 and starts again (default 100)"},
    {"--max-images", "N", NUMBER(base.max_images, 1, 1e9),
     "keep at most N receipt images in --out; the oldest go (default 10000)"},
    {"--flush-after", "SEC", NUMBER(base.flush_after, 0, 86400),
     "uncut paper becomes an image after SEC without data (default 5; 0 never)"},
    {"--capture", "FILE", TO(base.capture),
     "append every received byte to FILE (for --decode and --bench)"},
    {"--decode", "FILE", TO(decode),
     "render a captured byte stream offline and exit"},
    {"--bench", "FILE", TO(bench),
     "time interpretation and render+PNG of a captured stream\n"
     "(the images go to a temporary folder, in --out if given,\n"
     "removed at the end)"},
    {"--drawer", "open|closed", [](Options& o, const char* n, const std::string& v) {
         return open_or_closed(n, v, &o.base.state.drawer_open);
     },
     "drawer state (default closed)"},
    {"--drawer-open-ms", "N", [](Options& o, const char* n, const std::string& v) {
         int ms = 0;
         std::string refusal = number(n, v, 0, 86400000, &ms);
         o.base.state.drawer_open_time = std::chrono::milliseconds(ms);
         return refusal;
     },
     "how long ESC p leaves the drawer open (default 3000)"},
    {"--offline", nullptr, SWITCH(base.state.offline),
     "report the printer offline"},
    {"--paper", "ok|near-end|out", paper_state,
     "paper state (default ok)"},
    {"--cover", "open|closed", [](Options& o, const char* n, const std::string& v) {
         return open_or_closed(n, v, &o.base.state.cover_open);
     },
     "cover state (default closed)"},
    {"--silent", nullptr, SWITCH(base.state.silent),
     "never answer status queries"},
    {"--receive-buffer", "BYTES", NUMBER(base.receive_buffer, 1, 1 << 24),
     "receive buffer (default: the profile's, 4096 in the generic ones);\n"
     "when it is full the printer stops reading and the host's writes block"},
    {"--speed", "MM_PER_S|model", [](Options& o, const char* n, const std::string& v) {
         o.base.speed_from_profile = v == "model";
         return o.base.speed_from_profile ? std::string()
                                          : number(n, v, 0, 10000, &o.base.speed_mm_s);
     },
     "print speed: a receipt prints for its length over it; 0 (default)\n"
     "prints at once, model takes the profile's speed_mm_s"},
    {"--paper-roll", "MM", NUMBER(base.paper_roll_mm, 0, 1e7),
     "a roll of MM mm of paper, which runs out (default: endless)"},
    {"--print-while-out", nullptr, SWITCH(base.print_while_out),
     "print on with paper out or the cover open, only the status replies\n"
     "telling (as before the printer had a mechanism)"},
    {"--idle-timeout", "SEC", NUMBER(base.idle_timeout, 0, 86400),
     "close a connection that sends under 64 bytes in SEC (default: never)"},
    {"--max-height", "DOTS", [](Options& o, const char* n, const std::string& v) {
         std::string refusal = number(n, v, 0, 1e7, &o.base.max_height);
         o.base.max_height = std::max(100, o.base.max_height);
         return refusal;
     },
     "receipt height cap (default 32000; at least 100)"},
    {"--font-a", "FILE", TO(fonts.font_a),
     "font for font A, fitted to its 12x24 cell (default: Terminus)"},
    {"--font-b", "FILE", TO(fonts.font_b),
     "font for font B, fitted to its 9x17 cell (default: X11 misc 9x15)"},
    {"--no-fonts", nullptr, SWITCH(fonts.boxes),
     "read no font file: draw characters as boxes (box drawing stays)"},
    {"--double-byte", "ENC", double_byte,
     "double-byte text (FS &): gb18030, shift_jis, euc-kr, big5 or none;\n"
     "overrides the profile's (with one, the printer starts in double-byte mode)"},
    {"--nv-dir", "DIR", TO(base.nv_dir),
     "keep stored (NV) images in DIR across restarts (default: in memory)"},
    {"--logo", "N=FILE.png", [](Options& o, const char*, const std::string& v) -> std::string {
         o.base.logos.push_back(v);
         return {};
     },
     "preload stored image N (1-255, printed by FS p N) from a PNG;\n"
     "may be given more than once"},
    {"--http", "[ADDR:PORT]", TO(http),
     "serve the live web page and JSON API (default 127.0.0.1:8080;\n"
     "port 0: any free port)", "127.0.0.1:8080"},
    {"--http-token", "TOKEN", http_token,
     "require TOKEN for the web side (made up and printed when the\n"
     "address is not loopback and none is given)"},
    {"--ready-file", "FILE", TO(ready_file),
     "once every address is served, write them to FILE (KEY=value lines)"},
    {"--http-keep", "N", NUMBER(base.http_keep, 1, 1e9),
     "receipts kept whole in memory for the web side (default 1000;\n"
     "older ones are written beside their images and read back)"},
    {"--fresh-list", nullptr, SWITCH(base.fresh_list),
     "start the web side's receipt list empty (default: it lists the\n"
     "receipts of earlier runs found in --out; numbering goes on either way)"},
};
// clang-format on

#undef TO
#undef SWITCH
#undef NUMBER

void say(const std::string& text) {
    std::fprintf(stderr, "quorvel-printer: %s\n", text.c_str());
}

// CLI11's parse errors in the tool's words.
std::string parse_refusal(const CLI::ParseError& error, const CLI::App& app) {
    const std::string what = error.what();
    if (dynamic_cast<const CLI::ExtrasError*>(&error)) {
        const std::vector<std::string> extra = app.remaining();
        return "unknown option " + (extra.empty() ? what : extra.front());
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error))
        return what.substr(0, what.find(':')) + " needs a value";
    return what;
}

}  // namespace

int parse_options(int argc, char** argv, Options* out) {
    CLI::App app{"", "quorvel-printer"};
    app.get_formatter()->column_width(26);
    app.get_formatter()->label("OPTIONS", "options");
    app.set_help_flag("-h,--help", "print this help and exit");
    // Every value as given, in order: a repeated option's last value wins
    // (each is still checked), a repeated --logo adds one more image.
    std::vector<std::pair<const OptionRow*, CLI::Option*>> given;
    for (const OptionRow& row : OPTIONS) {
        CLI::Option* option =
            row.value ? app.add_option(row.name, row.help) : app.add_flag(row.name, row.help);
        if (row.value) {
            option->option_text(row.value);
            option->expected(row.omitted ? 0 : 1, 1);
            if (row.omitted) option->default_str(row.omitted);  // given alone; never shown
            option->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        }
        given.emplace_back(&row, option);
    }
    app.set_version_flag("--version", std::string("quorvel-printer ") + QUORVEL_PRINTER_VERSION,
                         "print the version and exit");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) return app.exit(error);  // --help, --version
        say(parse_refusal(error, app) + "; quorvel-printer --help lists the options");
        return 2;
    }
    for (const auto& [row, option] : given) {
        std::vector<std::string> values = option->results();
        if (values.empty() && option->count() > 0) values.emplace_back();  // a flag
        for (const std::string& value : values) {
            if (const std::string refusal = row->set(*out, row->name, value); !refusal.empty()) {
                say(refusal);
                return 2;
            }
        }
    }
    return -1;
}

bool printer_setups(const Options& options, std::vector<PrinterSetup>* out, std::string* error) {
    PrinterSetup base = options.base;
    if (!options.profile.empty()) {
        base.profile = load_profile(options.profile, error);
        if (!base.profile) {
            *error = "--profile " + *error;
            return false;
        }
    }
    if (!options.double_byte.empty()) {
        auto profile = std::make_shared<Profile>(*base.profile);
        profile->double_byte = options.double_byte;
        base.profile = std::move(profile);
    }
    *out = {base};
    if (!options.shop.empty() && !read_shop(options.shop, base, out, error)) {
        *error = "--shop " + *error;
        return false;
    }
    if (!options.decode.empty() || !options.bench.empty()) out->resize(1);  // offline: one printer
    return true;
}

}  // namespace quorvel::printer
