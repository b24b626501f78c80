// SPDX-License-Identifier: MIT
// Text subcommands: text in its four forms, and formatted text (ESC !).
#include <memory>
#include <string>

#include "quorvel.h"
#include "subcommands.h"

namespace quorvel::cli {

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

    return {app, [o, &globals]() -> Action {
                if (o->feed >= 0) {
                    auto text = std::make_shared<std::string>(
                        printable_bytes(o->text, globals, "text", 8172, true));
                    return [o, text](quorvel_printer* p) {
                        return written(quorvel_printer_text_feed(
                            p, text->c_str(), o->align, o->font, o->spacing, o->bold, o->feed));
                    };
                }
                if (o->upside_down) {
                    auto text = std::make_shared<std::string>(
                        printable_bytes(o->text, globals, "text", 8171, true));
                    return [o, text](quorvel_printer* p) {
                        return written(quorvel_printer_text_upside_down(
                            p, text->c_str(), o->align, o->font, o->spacing, o->bold));
                    };
                }
                auto text = std::make_shared<std::string>(
                    printable_bytes(o->text, globals, "text", 8174, true));
                if (o->reverse)
                    return [o, text](quorvel_printer* p) {
                        return written(quorvel_printer_text_inverted(p, text->c_str(), o->align,
                                                                     o->font, o->spacing));
                    };
                return [o, text](quorvel_printer* p) {
                    return written(quorvel_printer_text(p, text->c_str(), o->align, o->font,
                                                        o->spacing, o->bold));
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
    return {app, [o, &globals]() -> Action {
                auto text = std::make_shared<std::string>(
                    printable_bytes(o->text, globals, "text", 8177, true));
                return [o, text](quorvel_printer* p) {
                    return written(quorvel_printer_formatted_text(p, text->c_str(), o->align,
                                                                  o->spacing, o->mode));
                };
            }};
}

}  // namespace quorvel::cli
