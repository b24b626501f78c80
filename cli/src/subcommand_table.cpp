// SPDX-License-Identifier: MIT
#include "subcommand_table.h"

#include "quorvel.h"
#include "subcommands.h"

namespace quorvel::cli {

std::vector<Subcommand> add_subcommands(CLI::App& app, Globals& globals) {
    // In the order --help lists them.
    return {
        add_text(app, globals),
        add_formatted(app, globals),
        add_barcode(app, globals),
        add_code128(app, globals),
        add_qr(app, globals),
        add_pdf417(app, globals),
        add_datamatrix(app, globals),
        add_simple(app, "cut", "Cut the paper (GS V 0)", quorvel_printer_cut),
        add_simple(app, "drawer", "Pulse the cash drawer (ESC p)", quorvel_printer_open_drawer),
        add_simple(app, "self-test", "Print the self-test page", quorvel_printer_self_test),
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

}  // namespace quorvel::cli
