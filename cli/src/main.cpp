// SPDX-License-Identifier: MIT
// quorvel: drives an ESC/POS receipt printer from the command line. Every byte
// it sends comes from the library's exported functions.
#include <grp.h>
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "inputs.h"
#include "quorvel.h"
#include "text_encoding.h"

namespace {

using namespace quorvel::cli;

constexpr int exit_done = 0;
constexpr int exit_failure = 1;
constexpr int exit_usage = 2;

struct UsageError {
    std::string message;
};

constexpr int exit_not_ready = 3;  // status: the printer answered, but is not ready

struct Globals {
    std::string tcp;
    int port = 9100;
    std::string serial;
    std::string queue;   // a spooler's print queue
    std::string device;  // a printer-class device, /dev/usb/lp0
    int speed = 0;  // 0: the model's speed
    int model = 0;
    bool raw_bytes = false;
    bool in_batch = false;  // standard input holds the batch, not text
};

// Where a message comes from: empty, or "FILE line N: " in a batch.
std::string message_context;

using Action = std::function<int()>;      // talks to the printer; returns the exit code
using Builder = std::function<Action()>;  // checks and converts input; throws UsageError

struct Subcommand {
    CLI::App* app;
    Builder build;
    bool needs_link = true;
};

using Choices = std::vector<std::pair<std::string, int>>;

// Accepts one of the names and hands the option its number.
CLI::Validator choice(Choices names, const std::string& what) {
    std::string listed;
    for (const auto& [name, number] : names) listed += (listed.empty() ? "" : "|") + name;
    return CLI::Validator(
        [names, what, listed](std::string& value) -> std::string {
            for (const auto& [name, number] : names) {
                if (value == name) {
                    value = std::to_string(number);
                    return {};
                }
            }
            return "unknown " + what + " '" + value + "'; choose " + listed;
        },
        listed);
}

const Choices alignments = {{"left", 0}, {"center", 1}, {"centre", 1}, {"right", 2}};
const Choices bar_heights = {{"32", 0}, {"50", 1}, {"80", 2}};  // dots

void add_align(CLI::App* app, int& align, const char* default_name) {
    app->add_option("--align", align, std::string("Justification (default ") + default_name + ")")
        ->transform(choice(alignments, "alignment"));
}

void say(const std::string& message) {
    std::fprintf(stderr, "quorvel: %s%s\n", message_context.c_str(), message.c_str());
}

int fail(const std::string& message) {
    say(message);
    return exit_failure;
}

// Why the last library call failed, in the library's own words.
std::string library_reason() {
    char message[QUORVEL_ERROR_MESSAGE_SIZE] = "";
    quorvel_last_error(message, sizeof message);
    return message;
}

// The exit code for a print or control call: the library returns 1 only when
// the whole command was written to the open link.
int written(int result) {
    if (result == 1) return exit_done;
    const std::string reason = library_reason();
    return fail("the command was not written to the printer" +
                (reason.empty() ? std::string() : ": " + reason) +
                "; check that it is on and still connected");
}

// Reads standard input up to a bound, so a runaway pipe cannot fill memory:
// four UTF-8 bytes per character at most, plus a line end.
std::string read_stdin(const std::string& what, std::size_t max_length, const Globals& globals) {
    if (globals.in_batch)
        throw UsageError{what + ": standard input holds the batch itself; put the text on the line"};
    const std::size_t bound = 4 * max_length + 2;
    std::string text;
    char buffer[65536];
    while (std::cin.read(buffer, sizeof buffer) || std::cin.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(std::cin.gcount()));
        if (text.size() > bound)
            throw UsageError{what + " on standard input is too long; one command holds at most " +
                             std::to_string(max_length) + " bytes"};
    }
    return strip_one_line_end(std::move(text));
}

// The bytes to send for a text or data argument ("-" reads standard input):
// UTF-8 turned into Windows-1252, or unchanged with --raw-bytes.
std::string printable_bytes(const std::string& argument, const Globals& globals,
                            const std::string& what, std::size_t max_length, bool allow_empty) {
    std::string text = argument == "-" ? read_stdin(what, max_length, globals) : argument;
    if (text.find('\0') != std::string::npos)
        throw UsageError{what + " holds a NUL byte, which cannot be sent"};
    if (!globals.raw_bytes) {
        auto converted = utf8_to_windows1252(text);
        if (auto* error = std::get_if<EncodingError>(&converted))
            throw UsageError{what + ": " + error->message + " (--raw-bytes sends bytes unchanged)"};
        text = std::get<std::string>(converted);
    }
    if (text.empty() && !allow_empty) throw UsageError{what + " is empty"};
    if (text.size() > max_length)
        throw UsageError{what + " is " + std::to_string(text.size()) +
                         " bytes; one command holds at most " + std::to_string(max_length)};
    return text;
}

Subcommand add_text(CLI::App& root, const Globals& globals) {
    struct Options {
        std::string text;
        int align = 0, font = 0, spacing = 0, feed = -1;
        bool bold = false, upside_down = false, reverse = false;
    };
    auto o = std::make_shared<Options>();
    auto* app = root.add_subcommand("text", "Print one piece of text, ended by a line feed");
    app->add_option("text", o->text, "The text, or - to read it from standard input")->required();
    add_align(app, o->align, "left");
    app->add_flag("--bold", o->bold, "Emphasised characters");
    app->add_option("--font", o->font, "Character font (default a)")
        ->transform(choice({{"a", 0}, {"b", 1}}, "font"));
    app->add_option("--spacing", o->spacing,
                    "Line spacing 0-5: 32, 40, 48, 53, 64 or 69 motion units (default 0)")
        ->check(CLI::Range(0, 5));
    auto* feed = app->add_option("--feed", o->feed,
                                 "End with a feed of N lines (0-255) instead of one line feed")
                     ->check(CLI::Range(0, 255));
    auto* upside = app->add_flag("--upside-down", o->upside_down, "Print upside down");
    auto* reverse = app->add_flag("--reverse", o->reverse, "Print white on black (no --bold)");
    feed->excludes(upside)->excludes(reverse);
    upside->excludes(reverse);
    reverse->excludes("--bold");

    return {
        app, [o, &globals]() -> Action {
            if (o->feed >= 0) {
                auto text = std::make_shared<std::string>(
                    printable_bytes(o->text, globals, "text", 8172, true));
                return [o, text] {
                    return written(ImprimeTextoLF(text->c_str(), o->align, o->font, o->spacing,
                                                  o->bold, o->feed));
                };
            }
            if (o->upside_down) {
                auto text = std::make_shared<std::string>(
                    printable_bytes(o->text, globals, "text", 8171, true));
                return [o, text] {
                    return written(
                        ImprimeTexto180(text->c_str(), o->align, o->font, o->spacing, o->bold));
                };
            }
            auto text = std::make_shared<std::string>(
                printable_bytes(o->text, globals, "text", 8174, true));
            if (o->reverse)
                return [o, text] {
                    return written(
                        ImprimeTextoInvertido(text->c_str(), o->align, o->font, o->spacing));
                };
            return [o, text] {
                return written(ImprimeTexto(text->c_str(), o->align, o->font, o->spacing, o->bold));
            };
        }};
}

Subcommand add_formatted(CLI::App& root, const Globals& globals) {
    struct Options {
        std::string text;
        int align = 0, spacing = 0, mode = 0;
    };
    auto o = std::make_shared<Options>();
    auto* app = root.add_subcommand("formatted", "Print text in one combined print mode (ESC !)");
    app->add_option("text", o->text, "The text, or - to read it from standard input")->required();
    app->add_option("--mode", o->mode, "Print mode")
        ->required()
        ->transform(choice(
            {{"font-b", 1}, {"bold", 3}, {"double-height", 4}, {"double", 5}, {"underline", 0}},
            "print mode"));
    add_align(app, o->align, "left");
    app->add_option("--spacing", o->spacing, "Line spacing 0-5 (default 0)")
        ->check(CLI::Range(0, 5));
    return {
        app, [o, &globals]() -> Action {
            auto text = std::make_shared<std::string>(
                printable_bytes(o->text, globals, "text", 8177, true));
            return [o, text] {
                return written(ImprimeTxFormatado(text->c_str(), o->align, o->spacing, o->mode));
            };
        }};
}

Subcommand add_barcode(CLI::App& root, const Globals& globals) {
    struct Options {
        int type = 0;
        std::string data;
        bool counted = false;
        int align = 1, height = 2, width = 2, hri = 2;
    };
    auto o = std::make_shared<Options>();
    // Index into the symbology tables of both GS k forms; the last three exist
    // only in the counted form.
    const Choices symbologies = {{"upc-a", 0},   {"upc-e", 1},  {"ean13", 2},   {"ean8", 3},
                                 {"code39", 4},  {"itf", 5},    {"codabar", 6}, {"code93", 7},
                                 {"code128", 8}, {"gs1-128", 9}};
    auto* app = root.add_subcommand("barcode", "Print a linear barcode (GS k)");
    app->add_option("type", o->type, "Symbology")
        ->required()
        ->transform(choice(symbologies, "symbology"));
    app->add_option("data", o->data, "Barcode data, sent as given (- reads standard input)")
        ->required();
    app->add_flag("--counted", o->counted,
                  "Use the counted GS k form (code93, code128 and gs1-128 always use it)");
    add_align(app, o->align, "center");
    app->add_option("--height", o->height, "Bar height in dots (default 80)")
        ->transform(choice(bar_heights, "bar height"));
    app->add_option("--width", o->width, "Module width 1-3 (default 2)")->check(CLI::Range(1, 3));
    app->add_option("--hri", o->hri, "Human-readable digits (default below)")
        ->transform(choice({{"none", 0}, {"above", 1}, {"below", 2}, {"both", 3}}, "HRI position"));
    return {
        app, [o, &globals]() -> Action {
            const auto symbology = static_cast<Symbology>(o->type);
            const bool counted = o->counted || counted_form_only(symbology);
            auto data = std::make_shared<std::string>(
                printable_bytes(o->data, globals, "barcode data", counted ? 93 : 91, false));
            if (auto error = check_barcode_data(symbology, *data)) throw UsageError{error->message};
            auto call = counted ? ImprimeCodigoBarras_C : ImprimeCodigoBarras;
            return [o, data, call] {
                return written(call(o->align, o->type, o->height, o->width, o->hri, data->c_str()));
            };
        }};
}

Subcommand add_code128(CLI::App& root, const Globals&) {
    struct Options {
        std::string list;
        bool split = false;
        int align = 1, height = 2, width = 2;
    };
    auto o = std::make_shared<Options>();
    auto* app = root.add_subcommand("code128", "Print Code 128 (code set C) from 22 values 0-99");
    app->add_option("list", o->list,
                    "22 comma-separated values 0-99, or the 44 digits they stand for")
        ->required();
    auto* split = app->add_flag("--split", o->split, "Print two symbols of 11 values each");
    add_align(app, o->align, "center");
    app->add_option("--height", o->height, "Bar height in dots (default 80)")
        ->transform(choice(bar_heights, "bar height"));
    app->add_option("--width", o->width, "Module width 1-3, with --split (default 2)")
        ->check(CLI::Range(1, 3))
        ->needs(split);
    return {app, [o]() -> Action {
                auto normalised = normalise_code128_values(o->list);
                if (auto* error = std::get_if<InputError>(&normalised))
                    throw UsageError{"code128: " + error->message};
                auto list = std::make_shared<std::string>(std::get<std::string>(normalised));
                return [o, list] {
                    // The library parses the list in place, so it gets its own copy.
                    std::vector<char> codes(list->begin(), list->end());
                    codes.push_back('\0');
                    return written(
                        o->split ? ImprimeCode128_C(codes.data(), o->align, o->height, o->width)
                                 : ImprimeCode128C(codes.data(), o->align, o->height));
                };
            }};
}

Subcommand add_qr(CLI::App& root, const Globals& globals) {
    struct Options {
        std::string data;
        int command_set = 0, model = 2, module_size = 4, ecc = 1, align = 1;
    };
    auto o = std::make_shared<Options>();
    auto* app = root.add_subcommand("qr", "Print a QR Code");
    app->add_option("data", o->data, "Symbol data (- reads standard input)")->required();
    app->add_option("--command-set", o->command_set,
                    "gsk: GS ( k functions; escz: GS Z / ESC Z (default gsk)")
        ->transform(choice({{"gsk", 0}, {"escz", 1}}, "command set"));
    app->add_option("--qr-model", o->model, "QR Code model 1 or 2; auto only with escz (default 2)")
        ->transform(choice({{"1", 1}, {"2", 2}, {"auto", 0}}, "QR model"));
    app->add_option("--module-size", o->module_size, "Module size in dots, 1-7 (default 4)")
        ->check(CLI::Range(1, 7));
    app->add_option("--ecc", o->ecc, "Error correction level L, M, Q or H (default M)")
        ->transform(choice({{"L", 0}, {"M", 1}, {"Q", 2}, {"H", 3}}, "error correction level"));
    add_align(app, o->align, "center");
    return {app, [o, &globals]() -> Action {
                const bool escz = o->command_set == 1;
                if (!escz && o->model == 0)
                    throw UsageError{"--qr-model auto needs --command-set escz"};
                auto data = std::make_shared<std::string>(
                    printable_bytes(o->data, globals, "QR data", escz ? 4335 : 4295, false));
                auto call = escz ? ImprimeQRCODE_M2 : ImprimeQRCODE_M1;
                return [o, data, call] {
                    return written(call(o->align, o->model, o->module_size, o->ecc, data->c_str()));
                };
            }};
}

Subcommand add_pdf417(CLI::App& root, const Globals& globals) {
    struct Options {
        std::string data;
        int columns = 4, ecc = 2, row_height = 3, align = 1;
    };
    auto o = std::make_shared<Options>();
    auto* app = root.add_subcommand("pdf417", "Print a PDF417 symbol (GS Z / ESC Z)");
    app->add_option("data", o->data, "Symbol data (- reads standard input)")->required();
    app->add_option("--columns", o->columns, "Data columns 1-30 (default 4)")
        ->check(CLI::Range(1, 30));
    app->add_option("--ecc", o->ecc, "Error correction level 0-8 (default 2)")
        ->check(CLI::Range(0, 8));
    app->add_option("--row-height", o->row_height,
                    "Row height as a multiple of the module width, 1-6 (default 3)")
        ->check(CLI::Range(1, 6));
    add_align(app, o->align, "center");
    return {app, [o, &globals]() -> Action {
                auto data = std::make_shared<std::string>(
                    printable_bytes(o->data, globals, "PDF417 data", 4335, false));
                return [o, data] {
                    return written(ImprimePDF417_M2(o->align, o->columns, o->row_height, o->ecc,
                                                    data->c_str()));
                };
            }};
}

Subcommand add_datamatrix(CLI::App& root, const Globals& globals) {
    struct Options {
        std::string data;
        int size_v = 0, size_r = 0, module_size = 4, align = 1;
    };
    auto o = std::make_shared<Options>();
    auto* app = root.add_subcommand("datamatrix", "Print a Data Matrix symbol (GS Z / ESC Z)");
    app->add_option("data", o->data, "Symbol data (- reads standard input)")->required();
    app->add_option("--size-v", o->size_v, "First size code 0-4, 0 automatic (default 0)")
        ->check(CLI::Range(0, 4));
    app->add_option("--size-r", o->size_r, "Second size code 0-4, 0 automatic (default 0)")
        ->check(CLI::Range(0, 4));
    app->add_option("--module-size", o->module_size, "Module size in dots, 1-7 (default 4)")
        ->check(CLI::Range(1, 7));
    add_align(app, o->align, "center");
    return {app, [o, &globals]() -> Action {
                auto data = std::make_shared<std::string>(
                    printable_bytes(o->data, globals, "Data Matrix data", 4335, false));
                return [o, data] {
                    return written(ImprimeDataMatrix_M2(o->align, o->size_v, o->size_r,
                                                        o->module_size, data->c_str()));
                };
            }};
}

Subcommand add_simple(CLI::App& root, const char* name, const char* description, int (*call)()) {
    auto* app = root.add_subcommand(name, description);
    return {app, [call]() -> Action { return [call] { return written(call()); }; }};
}

Subcommand add_logo(CLI::App& root, const Globals&) {
    struct Options {
        int image = 1, align = 1, size = 0;
    };
    auto o = std::make_shared<Options>();
    auto* app = root.add_subcommand("logo", "Print an image stored in the printer (FS p)");
    app->add_option("image", o->image, "Stored image number 1-255")
        ->required()
        ->check(CLI::Range(1, 255));
    add_align(app, o->align, "center");
    app->add_option("--size", o->size,
                    "normal, double-width, double-height or quadruple (default normal)")
        ->transform(
            choice({{"normal", 0}, {"double-width", 1}, {"double-height", 2}, {"quadruple", 3}},
                   "logo size"));
    return {app, [o]() -> Action {
                return [o] { return written(ImprimeLogoNV(o->image, o->align, o->size)); };
            }};
}

Subcommand add_raw(CLI::App& root, const Globals&) {
    auto list = std::make_shared<std::string>();
    auto* app = root.add_subcommand("raw", "Send raw command bytes, framed by ESC @ and LF");
    app->add_option("list", *list, "Comma-separated decimal bytes 0-255, e.g. 27,97,1")->required();
    return {app, [list]() -> Action {
                auto normalised = normalise_byte_list(*list, 4096);
                if (auto* error = std::get_if<InputError>(&normalised))
                    throw UsageError{"raw: " + error->message};
                auto bytes = std::make_shared<std::string>(std::get<std::string>(normalised));
                return [bytes] {
                    std::vector<char> text(bytes->begin(), bytes->end());
                    text.push_back('\0');
                    return written(ComandoTx(text.data()));
                };
            }};
}

// What a Le_Status code says, for the query the model uses.
std::string printer_status_meaning(int model, int code) {
    if (model == 2) {
        switch (code) {
            case QUORVEL_STATUS_OFFLINE_PIN3_HIGH:
                return "paper sensor reply 04 (paper end on most printers)";
            case QUORVEL_STATUS_PIN3_HIGH:
                return "paper sensor reply 00 (paper present)";
        }
    } else {
        switch (code) {
            case QUORVEL_STATUS_READY:
                return "ready: on line, drawer connector pin 3 low";
            case QUORVEL_STATUS_OFFLINE:
                return "off line, drawer connector pin 3 low";
            case QUORVEL_STATUS_OFFLINE_PIN3_HIGH:
                return "off line, drawer connector pin 3 high";
            case QUORVEL_STATUS_PIN3_HIGH:
                return model == 0 ? "on line, drawer connector pin 3 high (or an unlisted reply)"
                                  : "on line, drawer connector pin 3 high";
        }
    }
    return "unknown";
}

// Ready is 32 for the models that ask DLE EOT 1; model 2 reads only the paper
// sensor, so paper present is as ready as it can say.
bool is_ready(int model, int code) {
    return model == 2 ? code == QUORVEL_STATUS_PIN3_HIGH : code == QUORVEL_STATUS_READY;
}

Subcommand add_status(CLI::App& root, const Globals& globals) {
    auto* app = root.add_subcommand("status", "Read the printer status (query chosen by --model)");
    app->footer(
        "Prints the status code and what it means, e.g. \"32 ready: on line, drawer connector "
        "pin 3 low\".\n"
        "Exit codes: 0 ready; 3 the printer answered but is not ready (off line, paper end, "
        "drawer connector pin 3 high);\n"
        "1 no status (no reply, a reply this model does not define, or the link failed); 2 "
        "usage error.\n\n" +
        app->get_footer());
    return {
        app, [&globals]() -> Action {
            return [&globals] {
                int code = Le_Status();
                if (code == QUORVEL_STATUS_NONE) {
                    const std::string reason = library_reason();
                    return fail(
                        "no status: the printer gave no reply, or one this model does not define" +
                        (reason.empty() || reason == "ok" ? std::string() : " (" + reason + ")") +
                        "; check that it is on and that --model matches it");
                }
                std::printf("%d %s\n", code, printer_status_meaning(globals.model, code).c_str());
                return is_ready(globals.model, code) ? exit_done : exit_not_ready;
            };
        }};
}

Subcommand add_drawer_status(CLI::App& root, const Globals&) {
    auto* app =
        root.add_subcommand("drawer-status", "Read the cash drawer connector status (GS r 2)");
    return {app, []() -> Action {
                return [] {
                    int code = Le_Status_Gaveta();
                    if (code == QUORVEL_STATUS_NONE)
                        return fail("no status: the printer gave no reply");
                    std::printf("%d %s\n", code,
                                code == QUORVEL_DRAWER_LOW ? "drawer connector pin 3 low"
                                                           : "drawer connector pin 3 high");
                    return exit_done;
                };
            }};
}

Subcommand add_version(CLI::App& root, const Globals&) {
    auto* app = root.add_subcommand("version", "Show the versions of this tool and of the library");
    return {app,
            []() -> Action {
                return [] {
                    std::printf("quorvel %s, library %s\n", QUORVEL_CLI_VERSION, Le_VersaoDLL());
                    return exit_done;
                };
            },
            false};
}

// Help shows "--align left|center|right" rather than "--align INT:left|center|right".
class Help : public CLI::Formatter {
  public:
    std::string make_option_opts(const CLI::Option* option) const override {
        std::string text = CLI::Formatter::make_option_opts(option);
        for (auto at = text.find("INT:"); at != std::string::npos; at = text.find("INT:"))
            text.erase(at, 4);
        return text;
    }
};

const char* const global_options_help = R"(Printer (global options; before or after the subcommand):
  --tcp IP        printer at this IPv4 or IPv6 address (host names are not resolved)
  --port N        its TCP port, 1-65535 (default 9100); only with --tcp
  --serial PORT   printer on this serial port, e.g. /dev/ttyUSB0 or /dev/ttyS0
  --queue NAME    printer behind the system's print queue NAME (lpstat -p lists
                  them); commands go as one job at each cut and at the end
  --device PATH   printer-class device on Linux, e.g. /dev/usb/lp0 or /dev/lp0
  --speed BPS     serial speed: 1200, 2400, 4800, 9600, 19200, 38400, 57600,
                  115200, 230400, 460800 or 921600 (default: by --model)
  --model 0-3     printer model; it picks the status query and the serial speed:
                    0  DLE EOT 1 status; a reply outside the table reads as 24;
                       115200 bit/s (the default)
                    1  DLE EOT 1 status; a reply outside the table is no status;
                       115200 bit/s
                    2  ESC v status (paper sensor only); 115200 bit/s
                    3  as model 1, at 9600 bit/s
  --raw-bytes     send text and data bytes unchanged (no UTF-8 conversion)
Exit codes: 0 done; 1 the printer or the link failed; 2 usage error (nothing is sent).)";

// The link the global options name.
struct Link {
    std::string description;  // "127.0.0.1 port 9100", "serial port /dev/ttyS0"
    bool tcp = false;
};

Link link_of(const Globals& globals) {
    if (!globals.tcp.empty()) return {globals.tcp + " port " + std::to_string(globals.port), true};
    if (!globals.queue.empty()) return {"print queue " + globals.queue, false};
    if (!globals.device.empty()) return {"printer device " + globals.device, false};
    return {"serial port " + globals.serial, false};
}

// The group that owns a device, by name, or "" when it cannot be told.
std::string group_of(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {};
    const group* owner = ::getgrgid(info.st_gid);
    return owner ? owner->gr_name : std::string();
}

// Why a link did not open and what to do about it, by the library's outcome code.
struct OpenFailure {
    int exit_code;
    std::string message;
};

OpenFailure explain_open_failure(const Globals& globals, int code, const std::string& reason) {
    const Link link = link_of(globals);
    switch (code) {
        case QUORVEL_E_BAD_ADDRESS:
            return {exit_usage, "'" + globals.tcp +
                                    "' is not an IP address: give an IPv4 address such as "
                                    "192.168.0.50 or an IPv6 address such as fe80::1 (host names "
                                    "are not resolved)"};
        case QUORVEL_E_BAD_PORT:
            return {exit_usage, "--port takes 1 to 65535"};
        case QUORVEL_E_BAD_SPEED:
            return {exit_usage, "--speed " + std::to_string(globals.speed) +
                                    " is not a standard speed; quorvel --help lists them"};
        case QUORVEL_E_REFUSED:
            return {exit_failure, "connection to " + link.description +
                                      " refused: nothing listens there. Check that the printer "
                                      "is on, and the address and --port"};
        case QUORVEL_E_TIMED_OUT:
            return {exit_failure, "no answer from " + link.description +
                                      " within 5 s: check that the printer is on and on this "
                                      "network, and the address"};
        case QUORVEL_E_UNREACHABLE:
            return {exit_failure, "cannot reach " + link.description +
                                      ": no route to that address from here. Check the address "
                                      "and this computer's network"};
        case QUORVEL_E_QUEUE_NOT_FOUND:
            return {exit_failure, link.description +
                                      " does not exist: lpstat -p lists the queues (on Windows, "
                                      "the printer list in Settings)"};
        case QUORVEL_E_QUEUE_PAUSED:
            return {exit_failure, link.description + " is paused: resume it (cupsenable " +
                                      globals.queue + ", or in the printer list) and try again"};
        case QUORVEL_E_DEVICE_BUSY:
            return {exit_failure, link.description +
                                      " is busy: another program holds it (fuser -v " +
                                      globals.device + " names it)"};
        case QUORVEL_E_PORT_NOT_FOUND:
            if (!globals.device.empty())
                return {exit_failure, link.description +
                                          " does not exist: check the name (ls /dev/usb/lp* "
                                          "/dev/lp*) and that the printer is on and plugged in"};
            return {exit_failure, link.description +
                                      " does not exist: check the name (ls /dev/ttyS* "
                                      "/dev/ttyUSB*) and that the adapter is plugged in"};
        case QUORVEL_E_PERMISSION_DENIED: {
            if (!globals.device.empty()) {
                const std::string group = group_of(globals.device);
                return {exit_failure, "permission denied on " + link.description +
                                          ": join its group with 'sudo usermod -aG " +
                                          (group.empty() ? std::string("lp") : group) +
                                          " $USER' and log in again"};
            }
            const std::string group = group_of(globals.serial);
            return {exit_failure,
                    "permission denied on " + link.description +
                        (group.empty() ? std::string() : " (group " + group + ")") +
                        ": serial ports usually belong to the group dialout; join it with "
                        "'sudo usermod -aG " +
                        (group.empty() || group == "root" ? std::string("dialout") : group) +
                        " $USER' and log in again"};
        }
        case QUORVEL_E_PORT_BUSY:
            return {exit_failure, link.description +
                                      " is busy: another program holds it (fuser -v " +
                                      globals.serial + " names it); close that program and try again"};
        case QUORVEL_E_NOT_SERIAL:
            return {exit_failure, globals.serial +
                                      " is not a serial device: name a serial port such as "
                                      "/dev/ttyS0 or /dev/ttyUSB0"};
        case QUORVEL_E_SETTINGS_NOT_APPLIED:
            return {exit_failure, link.description +
                                      " opened but refused its line settings (8N1 at the "
                                      "speed of --speed or --model): " + reason};
        default:
            return {exit_failure, "cannot open " + link.description +
                                      (reason.empty() || reason == "ok" ? std::string()
                                                                        : ": " + reason)};
    }
}

// Opens the link the global options name; the failure, if it won't open.
std::optional<OpenFailure> open_link(const Globals& globals) {
    int opened = 0;
    if (!globals.tcp.empty())
        opened = quorvel_open_tcp(globals.tcp.c_str(), globals.port, globals.model);
    else if (!globals.queue.empty())
        opened = quorvel_open_queue(globals.queue.c_str(), globals.model);
    else if (!globals.device.empty())
        opened = quorvel_open_device(globals.device.c_str(), globals.model);
    else if (globals.speed != 0)
        opened = quorvel_open_serial(globals.serial.c_str(), globals.speed, globals.model);
    else
        opened = AbrePortaSerial(globals.serial.c_str(), globals.model);
    if (opened == 1) return std::nullopt;
    char reason[QUORVEL_ERROR_MESSAGE_SIZE] = "";
    const int code = quorvel_last_error(reason, sizeof reason);
    // A port that opened but could not be configured is still held.
    if (globals.tcp.empty()) FechaPortaSerial();
    return explain_open_failure(globals, code, reason);
}

// Closes the link; a print queue sends the job still collected then, so its
// failure becomes the run's (given result when the run had already failed).
int close_link(const Globals& globals, int result) {
    if (!globals.tcp.empty()) {
        FechaSocket();
        return result;
    }
    if (FechaPortaSerial() == 1 || globals.queue.empty() || result != exit_done) return result;
    return fail("the last job did not reach " + link_of(globals).description + ": " +
                library_reason());
}

const std::vector<int> standard_speeds = {1200,   2400,   4800,   9600,   19200, 38400,
                                          57600,  115200, 230400, 460800, 921600};

// The global options, on the tool itself.
void add_global_options(CLI::App& root, Globals& globals) {
    auto* tcp = root.add_option("--tcp", globals.tcp,
                                "Printer at this IPv4 or IPv6 address (no host names)")
                    ->type_name("IP");
    root.add_option("--port", globals.port, "TCP port of the printer (default 9100)")
        ->type_name("N")
        ->check(CLI::Range(1, 65535))
        ->needs(tcp);
    auto* serial = root.add_option("--serial", globals.serial,
                                   "Printer on this serial port, e.g. /dev/ttyUSB0")
                       ->type_name("PORT");
    root.add_option("--speed", globals.speed, "Serial speed in bit/s (default: by --model)")
        ->type_name("BPS")
        ->check(CLI::IsMember(standard_speeds))
        ->needs(serial);
    auto* queue = root.add_option("--queue", globals.queue,
                                  "Printer behind this print queue (lpstat -p lists them)")
                      ->type_name("NAME");
    auto* device = root.add_option("--device", globals.device,
                                   "Printer-class device, e.g. /dev/usb/lp0 (Linux)")
                       ->type_name("PATH");
    tcp->excludes(serial, queue, device);
    serial->excludes(queue, device);
    queue->excludes(device);
    root.add_option("--model", globals.model,
                    "Printer model 0-3: status query and serial speed (default 0)")
        ->check(CLI::Range(0, 3));
    root.add_flag("--raw-bytes", globals.raw_bytes,
                  "Send text and data bytes unchanged (no UTF-8 conversion)");
}

std::vector<Subcommand> add_subcommands(CLI::App& app, Globals& globals) {
    return {
        add_text(app, globals),
        add_formatted(app, globals),
        add_barcode(app, globals),
        add_code128(app, globals),
        add_qr(app, globals),
        add_pdf417(app, globals),
        add_datamatrix(app, globals),
        add_simple(app, "cut", "Cut the paper (GS V 0)", AcionaGuilhotina),
        add_simple(app, "drawer", "Pulse the cash drawer (ESC p)", Abre_Gaveta),
        add_simple(app, "self-test", "Print the self-test page", ImprimeAutoTeste),
        add_logo(app, globals),
        add_raw(app, globals),
        add_status(app, globals),
        add_drawer_status(app, globals),
        add_version(app, globals),
    };
}

const Subcommand* chosen_subcommand(const std::vector<Subcommand>& subcommands) {
    for (const auto& subcommand : subcommands)
        if (subcommand.app->parsed()) return &subcommand;
    return nullptr;
}

// A parse error as one line: what CLI11 found, and where to look.
std::string parse_error_text(const CLI::ParseError& error, const CLI::App& app) {
    std::string text = error.what();
    const auto unknown = app.remaining();
    if (app.get_subcommands().empty() && !unknown.empty() && unknown.front().rfind("-", 0) != 0)
        return "unknown subcommand '" + unknown.front() + "'; quorvel --help lists them";
    const std::string where =
        app.get_subcommands().empty() ? "quorvel" : "quorvel " + app.get_subcommands().front()->get_name();
    return text + "; " + where + " --help lists the options";
}

// One subcommand of a batch: its line, what it does, and what it was parsed into.
struct BatchLine {
    int number;
    std::string text;
    Action action;
};

std::string read_batch(const std::string& file) {
    constexpr std::size_t limit = 64 << 20;
    std::string content;
    if (file == "-") {
        content.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream in(file, std::ios::binary);
        if (!in) throw UsageError{"cannot read batch file " + file + ": " + std::strerror(errno)};
        content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (content.size() > limit) throw UsageError{"batch " + file + " is larger than 64 MiB"};
    return content;
}

// Runs one subcommand per line over one link. Every line is checked first, so
// a usage error anywhere sends nothing; then the lines run in order and the
// first failure stops the batch with that line's exit code.
int run_batch(const std::string& file, const Globals& globals) {
    const std::string name = file == "-" ? "standard input" : file;
    std::string content;
    try {
        content = read_batch(file);
    } catch (const UsageError& error) {
        say(error.message);
        return exit_usage;
    }

    // Each line gets its own parser and options, so nothing carries over.
    std::vector<std::unique_ptr<Globals>> line_globals;
    std::vector<std::unique_ptr<CLI::App>> apps;
    std::vector<BatchLine> lines;
    std::size_t start = 0;
    for (int number = 1; start < content.size(); ++number) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        const std::string text = content.substr(start, end - start);
        start = end + 1;
        message_context = name + " line " + std::to_string(number) + ": ";
        auto words = split_words(text);
        if (auto* error = std::get_if<InputError>(&words)) {
            say(error->message);
            return exit_usage;
        }
        auto& args = std::get<std::vector<std::string>>(words);
        if (args.empty() || args.front().rfind("#", 0) == 0) continue;  // blank or comment

        auto& line_global = line_globals.emplace_back(std::make_unique<Globals>(globals));
        line_global->in_batch = true;
        auto& app = apps.emplace_back(std::make_unique<CLI::App>("", "quorvel"));
        app->require_subcommand(1);
        app->fallthrough();
        app->set_help_flag();
        app->add_flag("--raw-bytes", line_global->raw_bytes, "Send bytes unchanged");
        const auto subcommands = add_subcommands(*app, *line_global);
        for (const auto& subcommand : subcommands) subcommand.app->set_help_flag();
        std::reverse(args.begin(), args.end());
        try {
            app->parse(args);
            lines.push_back({number, text, chosen_subcommand(subcommands)->build()});
        } catch (const CLI::ParseError& error) {
            say(parse_error_text(error, *app));
            return exit_usage;
        } catch (const UsageError& error) {
            say(error.message);
            return exit_usage;
        }
    }
    message_context.clear();
    if (lines.empty()) {
        say("batch " + name + " holds no subcommand");
        return exit_usage;
    }

    if (auto failure = open_link(globals)) {
        say(failure->message);
        return failure->exit_code;
    }
    int result = exit_done;
    for (const auto& line : lines) {
        message_context = name + " line " + std::to_string(line.number) + ": ";
        result = line.action();
        if (result != exit_done) {
            say("stopped here, with exit code " + std::to_string(result) +
                "; the lines after it were not sent");
            break;
        }
    }
    message_context.clear();
    return close_link(globals, result);
}

}  // namespace

int main(int argc, char** argv) {
    Globals globals;
    CLI::App root{"Drive an ESC/POS receipt printer through the Quorvel library.", "quorvel"};
    root.formatter(std::make_shared<Help>());
    root.require_subcommand(1);
    root.fallthrough();  // global options may also follow the subcommand
    root.footer(global_options_help);  // every subcommand's --help shows it too
    root.set_version_flag("--version", [] {
        return std::string("quorvel ") + QUORVEL_CLI_VERSION + ", library " + Le_VersaoDLL();
    });
    add_global_options(root, globals);
    const std::vector<Subcommand> subcommands = add_subcommands(root, globals);
    std::string batch_file;
    auto* batch = root.add_subcommand(
        "batch", "Run one subcommand per line of FILE (- reads standard input) over one link");
    batch->add_option("file", batch_file, "The batch file, or - for standard input")->required();
    batch->footer(
        "Each line is a subcommand with its options, written as on the command line, e.g.\n"
        "  text --align center --bold \"Padaria São João\"\n"
        "  barcode ean13 5901234123457\n"
        "  cut\n"
        "Blank lines and lines starting with # are skipped. Every line is checked before\n"
        "anything is sent: a usage error on any line exits 2 with its line number. The\n"
        "lines then run in order over one link; the first that fails stops the batch,\n"
        "which exits with that line's code.\n\n" +
        std::string(global_options_help));

    try {
        root.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // --help and --version end here too, with exit code 0.
        if (error.get_exit_code() == 0) return root.exit(error) == 0 ? exit_done : exit_usage;
        say(parse_error_text(error, root));
        return exit_usage;
    }

    const Subcommand* chosen = chosen_subcommand(subcommands);
    const bool needs_link = chosen == nullptr || chosen->needs_link;  // batch needs one

    Action action;
    try {
        if (needs_link && globals.tcp.empty() && globals.serial.empty() && globals.queue.empty() &&
            globals.device.empty())
            throw UsageError{
                "name the printer with --tcp IP or --serial PORT (or --queue NAME, --device PATH)"};
        if (has_port_suffix(globals.tcp))
            throw UsageError{"--tcp takes the address alone, not '" + globals.tcp +
                             "': give the port with --port, e.g. --tcp " +
                             globals.tcp.substr(0, globals.tcp.rfind(':')) + " --port " +
                             globals.tcp.substr(globals.tcp.rfind(':') + 1)};
        if (chosen) action = chosen->build();
    } catch (const UsageError& error) {
        say(error.message);
        return exit_usage;
    }

    if (!chosen) return run_batch(batch_file, globals);
    if (!chosen->needs_link) return action();
    if (auto failure = open_link(globals)) {
        say(failure->message);
        return failure->exit_code;
    }
    return close_link(globals, action());
}
