// quorvel: drives an ESC/POS receipt printer from the command line. Every byte
// it sends comes from the library's exported functions.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
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

struct Globals {
    std::string tcp;
    std::string serial;
    int model = 0;
    bool raw_bytes = false;
};

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

int fail(const std::string& message) {
    std::fprintf(stderr, "quorvel: %s\n", message.c_str());
    return exit_failure;
}

// The exit code for a print or control call: the library returns 1 only when
// the whole command was written to the open link.
int written(int result) {
    return result == 1 ? exit_done : fail("the command was not written to the printer");
}

// Reads standard input up to a bound, so a runaway pipe cannot fill memory:
// four UTF-8 bytes per character at most, plus a line end.
std::string read_stdin(const std::string& what, std::size_t max_length) {
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
    std::string text = argument == "-" ? read_stdin(what, max_length) : argument;
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
                  "Use the counted GS k form (needed for code93, code128, gs1-128)");
    add_align(app, o->align, "center");
    app->add_option("--height", o->height, "Bar height in dots (default 80)")
        ->transform(choice(bar_heights, "bar height"));
    app->add_option("--width", o->width, "Module width 1-3 (default 2)")->check(CLI::Range(1, 3));
    app->add_option("--hri", o->hri, "Human-readable digits (default below)")
        ->transform(choice({{"none", 0}, {"above", 1}, {"below", 2}, {"both", 3}}, "HRI position"));
    return {
        app, [o, &globals]() -> Action {
            if (!o->counted && o->type > 6)
                throw UsageError{"this symbology exists only in the counted form: add --counted"};
            auto data = std::make_shared<std::string>(
                printable_bytes(o->data, globals, "barcode data", o->counted ? 93 : 91, false));
            auto call = o->counted ? ImprimeCodigoBarras_C : ImprimeCodigoBarras;
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

Subcommand add_status(CLI::App& root, const Globals& globals) {
    auto* app = root.add_subcommand("status", "Read the printer status (query chosen by --model)");
    return {
        app, [&globals]() -> Action {
            return [&globals] {
                int code = Le_Status();
                if (code == QUORVEL_STATUS_NONE)
                    return fail(
                        "no status: the printer gave no reply, or one this model does not define");
                std::printf("%d %s\n", code, printer_status_meaning(globals.model, code).c_str());
                return exit_done;
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

// Opens the link the global options name; false (with a message) if it won't open.
bool open_link(const Globals& globals) {
    if (!globals.tcp.empty()) {
        if (AbreSocket(globals.tcp.c_str(), globals.model) == 1) return true;
        fail("cannot connect to " + globals.tcp + ":9100");
        return false;
    }
    if (AbrePortaSerial(globals.serial.c_str(), globals.model) == 1) return true;
    FechaPortaSerial();  // a port that opened but could not be configured is still held
    fail("cannot open or configure serial port " + globals.serial);
    return false;
}

void close_link(const Globals& globals) {
    if (!globals.tcp.empty())
        FechaSocket();
    else
        FechaPortaSerial();
}

}  // namespace

int main(int argc, char** argv) {
    Globals globals;
    CLI::App root{"Drive an ESC/POS receipt printer through the Quorvel library.", "quorvel"};
    root.formatter(std::make_shared<Help>());
    root.require_subcommand(1);
    root.fallthrough();  // global options may also follow the subcommand
    auto* tcp = root.add_option("--tcp", globals.tcp, "Printer at this IPv4 address, TCP port 9100")
                    ->type_name("IP");
    auto* serial = root.add_option("--serial", globals.serial,
                                   "Printer on this serial port, e.g. /dev/ttyUSB0")
                       ->type_name("PORT");
    tcp->excludes(serial);
    root.add_option("--model", globals.model,
                    "Printer model 0-3: status query and serial speed (default 0)")
        ->check(CLI::Range(0, 3));
    root.add_flag("--raw-bytes", globals.raw_bytes,
                  "Send text and data bytes unchanged (no UTF-8 conversion)");

    const std::vector<Subcommand> subcommands = {
        add_text(root, globals),
        add_formatted(root, globals),
        add_barcode(root, globals),
        add_code128(root, globals),
        add_qr(root, globals),
        add_pdf417(root, globals),
        add_datamatrix(root, globals),
        add_simple(root, "cut", "Cut the paper (GS V 0)", AcionaGuilhotina),
        add_simple(root, "drawer", "Pulse the cash drawer (ESC p)", Abre_Gaveta),
        add_simple(root, "self-test", "Print the self-test page", ImprimeAutoTeste),
        add_logo(root, globals),
        add_raw(root, globals),
        add_status(root, globals),
        add_drawer_status(root, globals),
        add_version(root, globals),
    };

    try {
        root.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const auto unknown = root.remaining();
        if (root.get_subcommands().empty() && !unknown.empty() &&
            unknown.front().rfind("-", 0) != 0) {
            std::fprintf(stderr, "quorvel: unknown subcommand '%s'; quorvel --help lists them\n",
                         unknown.front().c_str());
            return exit_usage;
        }
        return root.exit(error) == 0 ? exit_done : exit_usage;
    }

    const Subcommand* chosen = nullptr;
    for (const auto& subcommand : subcommands)
        if (subcommand.app->parsed()) chosen = &subcommand;

    Action action;
    try {
        if (chosen->needs_link && globals.tcp.empty() && globals.serial.empty())
            throw UsageError{"name the printer with --tcp IP or --serial PORT"};
        if (!globals.tcp.empty() && !is_dotted_ipv4(globals.tcp))
            throw UsageError{
                "--tcp takes a dotted IPv4 address such as 192.168.0.50 (host names are not "
                "resolved)"};
        action = chosen->build();
    } catch (const UsageError& error) {
        std::fprintf(stderr, "quorvel: %s\n", error.message.c_str());
        return exit_usage;
    }

    if (!chosen->needs_link) return action();
    if (!open_link(globals)) return exit_failure;
    const int result = action();
    close_link(globals);
    return result;
}
