// SPDX-License-Identifier: MIT
// Device subcommands: cut, drawer, self-test, stored logo, raw bytes, status reads, versions.
#include <cstdio>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "inputs.h"
#include "quorvel.h"
#include "status_meaning.h"
#include "subcommands.h"

namespace quorvel::cli {

Subcommand add_simple(CLI::App& root, const char* name, const char* description,
                      int(QUORVEL_CALL* call)(quorvel_printer*)) {
    auto* app = root.add_subcommand(name, description);
    return {app,
            [call]() -> Action { return [call](quorvel_printer* p) { return written(call(p)); }; }};
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
                return [o](quorvel_printer* p) {
                    return written(quorvel_printer_logo(p, o->image, o->align, o->size));
                };
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
                return [bytes](quorvel_printer* p) {
                    std::vector<char> text(bytes->begin(), bytes->end());
                    text.push_back('\0');
                    return written(quorvel_printer_raw(p, text.data()));
                };
            }};
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
            return [&globals](quorvel_printer* p) {
                int code = quorvel_printer_status(p);
                if (code == QUORVEL_STATUS_NONE) {
                    const std::string reason = library_reason();
                    const bool own = reason.empty() || reason == "ok";  // else it ends with a hint
                    return fail(
                        "no status: the printer gave no reply, or one this model does not define" +
                        (own ? std::string("; check that it is on and that --model matches it")
                             : ": " + reason));
                }
                const StatusMeaning meaning = printer_status_meaning(globals.model, code);
                std::printf("%d %s\n", code, meaning.text);
                return meaning.ready ? exit_done : exit_not_ready;
            };
        }};
}

Subcommand add_drawer_status(CLI::App& root, const Globals&) {
    auto* app =
        root.add_subcommand("drawer-status", "Read the cash drawer connector status (GS r 2)");
    return {app, []() -> Action {
                return [](quorvel_printer* p) {
                    int code = quorvel_printer_drawer_status(p);
                    if (code == QUORVEL_STATUS_NONE)
                        return fail("no status: the printer gave no reply");
                    std::printf("%d %s\n", code, drawer_status_meaning(code));
                    return exit_done;
                };
            }};
}

Subcommand add_version(CLI::App& root, const Globals&) {
    auto* app = root.add_subcommand("version", "Show the versions of this tool and of the library");
    return {app,
            []() -> Action {
                return [](quorvel_printer*) {
                    std::printf("quorvel %s, library %s\n", QUORVEL_CLI_VERSION, Le_VersaoDLL());
                    return exit_done;
                };
            },
            false};
}

}  // namespace quorvel::cli
