// SPDX-License-Identifier: MIT
// Linear barcode subcommands: GS k in both forms, and the Code 128 value lists.
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "inputs.h"
#include "quorvel.h"
#include "subcommands.h"

namespace quorvel::cli {

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
    return {app, [o, &globals]() -> Action {
                const auto symbology = static_cast<Symbology>(o->type);
                const bool counted = o->counted || counted_form_only(symbology);
                auto data = std::make_shared<std::string>(
                    printable_bytes(o->data, globals, "barcode data", counted ? 93 : 91, false));
                if (auto error = check_barcode_data(symbology, *data))
                    throw UsageError{error->message};
                auto call = counted ? quorvel_printer_barcode_counted : quorvel_printer_barcode;
                return [o, data, call](quorvel_printer* p) {
                    return written(
                        call(p, o->align, o->type, o->height, o->width, o->hri, data->c_str()));
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
                return [o, list](quorvel_printer* p) {
                    // The library parses the list in place, so it gets its own copy.
                    std::vector<char> codes(list->begin(), list->end());
                    codes.push_back('\0');
                    return written(
                        o->split ? quorvel_printer_code128_width(p, codes.data(), o->align,
                                                                 o->height, o->width)
                                 : quorvel_printer_code128(p, codes.data(), o->align, o->height));
                };
            }};
}

}  // namespace quorvel::cli
