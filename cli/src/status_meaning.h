// SPDX-License-Identifier: MIT
// What the status codes the library reads mean, for the query each printer
// model uses, and which of them count as ready.
#pragma once

#include <string>

namespace quorvel::cli {

struct StatusMeaning {
    const char* text;  // "unknown" for a code this model does not give
    bool ready;
};

// A Le_Status code, for the query model (0-3) uses.
StatusMeaning printer_status_meaning(int model, int code);

// A Le_Status_Gaveta code (GS r 2).
const char* drawer_status_meaning(int code);

}  // namespace quorvel::cli
