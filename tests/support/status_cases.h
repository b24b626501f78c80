// SPDX-License-Identifier: MIT
// Every row of the status tables, shared by the TCP and the serial suites: the
// model the link was opened with, the query the printer must see, the reply
// byte it gives and the code the call must return.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "fake_printer.h"
#include "quorvel.h"

namespace quorvel::testing {

struct StatusCase {
    int model;
    int (QUORVEL_CALL* call)();
    Bytes query;
    std::uint8_t reply;
    int expected;
};

inline std::string status_case_name(const StatusCase& c) {
    std::string model = c.model < 0 ? "minus" + std::to_string(-c.model) : std::to_string(c.model);
    return std::string(c.call == Le_Status ? "printer" : "drawer") + "_model" + model + "_reply" +
           hex(Bytes{c.reply});
}

inline void PrintTo(const StatusCase& c, std::ostream* out) {
    *out << status_case_name(c);
}

inline std::vector<StatusCase> status_table_cases() {
    const Bytes dle_eot_1{0x10, 0x04, 0x01}, esc_v{0x1B, 0x76, 0x01}, gs_r_2{0x1D, 0x72, 0x02};
    std::vector<StatusCase> cases;
    // Model 0: every byte that is not listed reads as 24.
    for (auto [reply, code] : {std::pair{0x1A, 5},
                               {0x12, 32},
                               {0x1E, 9},
                               {0x16, 24},
                               {0x00, 24},
                               {0xFF, 24},
                               {0x04, 24}})
        cases.push_back({0, Le_Status, dle_eot_1, static_cast<std::uint8_t>(reply), code});
    // Models 1 and 3: the same query; an unlisted byte gives no status.
    for (int model : {1, 3})
        for (auto [reply, code] : {std::pair{0x1A, 5},
                                   {0x12, 32},
                                   {0x1E, 9},
                                   {0x16, 24},
                                   {0x00, 0},
                                   {0xFF, 0},
                                   {0x04, 0}})
            cases.push_back({model, Le_Status, dle_eot_1, static_cast<std::uint8_t>(reply), code});
    // Model 2: ESC v.
    for (auto [reply, code] : {std::pair{0x04, 9}, {0x00, 24}, {0x1A, 0}, {0x12, 0}, {0xFF, 0}})
        cases.push_back({2, Le_Status, esc_v, static_cast<std::uint8_t>(reply), code});
    // The drawer: the same query for every model; 00 is low, anything else high.
    for (int model : {0, 2, 7, -1})
        for (auto [reply, code] : {std::pair{0x00, 1}, {0x01, 2}, {0xFF, 2}})
            cases.push_back(
                {model, Le_Status_Gaveta, gs_r_2, static_cast<std::uint8_t>(reply), code});
    return cases;
}

}  // namespace quorvel::testing
