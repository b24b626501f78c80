// SPDX-License-Identifier: MIT
// quorvel-printer: a virtual ESC/POS receipt printer, or a shop of them.
// main() only wires the steps: the options (options.cpp), the fonts, code
// tables and profiles, the printers (printer.cpp), then either a captured
// stream offline (offline.cpp) or the shop served (serve.cpp).
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "offline.h"
#include "options.h"
#include "paper/codepage.h"
#include "printer.h"
#include "serve.h"

using namespace quorvel::printer;

namespace {

int refuse(const std::string& text, int exit_code = 2) {
    std::fprintf(stderr, "quorvel-printer: %s\n", text.c_str());
    return exit_code;
}

}  // namespace

int main(int argc, char** argv) {
    keep_freed_image_memory();
    Options options;
    if (const int exit_code = parse_options(argc, argv, &options); exit_code >= 0) return exit_code;

    // Fonts and code tables first: a printer that cannot draw its characters
    // refuses to start, unless boxes were asked for. Profiles name tables,
    // so they are read after them.
    const FontSet fonts(options.fonts);
    if (!fonts.error().empty())
        return refuse(fonts.error() +
                      "\n(give a font file with --font-a/--font-b, or run with --no-fonts to draw "
                      "characters as boxes)");
    const std::vector<std::string> table_problems = load_code_tables();
    std::vector<PrinterSetup> setups;
    if (std::string err; !printer_setups(options, &setups, &err)) return refuse(err);

    std::setvbuf(stdout, nullptr, _IOFBF, 64 * 1024);  // the journal flushes per batch
    std::vector<std::unique_ptr<Printer>> shop;
    for (const PrinterSetup& setup : setups) {
        shop.push_back(std::make_unique<Printer>(setup));
        if (std::string err; !shop.back()->open(fonts, !options.http.empty(), &err))
            return refuse(setups.size() > 1 ? setup.name + ": " + err : err);
    }
    if (!options.bench.empty())
        return bench_stream(options.bench, *shop.front(), fonts,
                            options.out_given ? setups.front().out_dir : "");

    for (auto& p : shop) {
        p->journal().note("font A: " + fonts.description(0));
        p->journal().note("font B: " + fonts.description(1));
        for (const std::string& problem : table_problems) p->journal().note(problem);
    }
    if (!options.decode.empty()) return decode_stream(options.decode, *shop.front(), fonts);
    return serve(shop, {options.http, options.http_token, options.ready_file});
}
