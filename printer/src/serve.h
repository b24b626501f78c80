// SPDX-License-Identifier: MIT
// The shop served: every address bound first (the web side, then each
// printer's links), then everything started and announced, until SIGINT or
// SIGTERM stops every printer at once.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "printer.h"

namespace quorvel::printer {

struct ServeOptions {
    std::string http;  // the web side's ADDR:PORT; empty: none
    std::string http_token;
    std::string ready_file;
};

// The exit code: 0 after a signal; 1 when an address cannot be had or the
// ready file cannot be written; 2 for a malformed address.
int serve(std::vector<std::unique_ptr<Printer>>& shop, ServeOptions options);

}  // namespace quorvel::printer
