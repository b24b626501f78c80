// SPDX-License-Identifier: MIT
// 2D symbol subcommands: QR Code by both command sets, PDF417, Data Matrix.
#include <memory>
#include <string>

#include "quorvel.h"
#include "subcommands.h"

namespace quorvel::cli {

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
    return {
        app, [o, &globals]() -> Action {
            const bool escz = o->command_set == 1;
            if (!escz && o->model == 0)
                throw UsageError{"--qr-model auto needs --command-set escz"};
            auto data = std::make_shared<std::string>(
                printable_bytes(o->data, globals, "QR data", escz ? 4335 : 4295, false));
            auto call = escz ? quorvel_printer_qr_code_escz : quorvel_printer_qr_code;
            return [o, data, call](quorvel_printer* p) {
                return written(call(p, o->align, o->model, o->module_size, o->ecc, data->c_str()));
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
                return [o, data](quorvel_printer* p) {
                    return written(quorvel_printer_pdf417_escz(
                        p, o->align, o->columns, o->row_height, o->ecc, data->c_str()));
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
                return [o, data](quorvel_printer* p) {
                    return written(quorvel_printer_data_matrix_escz(
                        p, o->align, o->size_v, o->size_r, o->module_size, data->c_str()));
                };
            }};
}

}  // namespace quorvel::cli
