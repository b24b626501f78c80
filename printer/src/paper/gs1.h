// SPDX-License-Identifier: MIT
// GS1 element strings as clients send them to GS k 74 / 78 and GS ( k
// cn 51: application identifiers in ( ) or [ ], or run into the data with
// FNC1 ({1, byte 1D) after the ones of variable length.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvel::printer {

struct Gs1Element {
    std::string ai;
    std::string data;
};

struct Gs1Parse {
    bool ok = false;
    std::string error;  // why the data is not a GS1 element string
    std::vector<Gs1Element> elements;

    std::string bracketed() const;  // [01]0950…[17]250101, for zint
    std::string hri() const;        // (01)0950…(17)250101, the printed text
    // What a scanner transmits: the AIs and data run together, with GS
    // (1D) after each AI whose length is not predefined, but the last.
    std::string transmitted() const;
};

Gs1Parse parse_gs1(std::string_view data);

// The data length an AI's table row allows, for tests: {min, max}, or
// {0, 0} for an AI the table does not have.
std::pair<int, int> gs1_ai_length(std::string_view ai);

}  // namespace quorvel::printer
