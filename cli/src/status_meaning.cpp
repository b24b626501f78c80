// SPDX-License-Identifier: MIT
#include "status_meaning.h"

#include "quorvel.h"

namespace quorvel::cli {
namespace {

// Models 0, 1 and 3 ask DLE EOT 1; model 2 asks ESC v, which reads only the
// paper sensor, so paper present is as ready as it can say. Model 0 reads a
// reply outside the table as pin 3 high.
struct StatusRow {
    const char* models;  // the model digits the row applies to
    int code;
    bool ready;
    const char* text;
};

// clang-format off
constexpr StatusRow status_rows[] = {
    {"013", QUORVEL_STATUS_READY,             true,  "ready: on line, drawer connector pin 3 low"},
    {"013", QUORVEL_STATUS_OFFLINE,           false, "off line, drawer connector pin 3 low"},
    {"013", QUORVEL_STATUS_OFFLINE_PIN3_HIGH, false, "off line, drawer connector pin 3 high"},
    {"0",   QUORVEL_STATUS_PIN3_HIGH,         false, "on line, drawer connector pin 3 high (or an unlisted reply)"},
    {"13",  QUORVEL_STATUS_PIN3_HIGH,         false, "on line, drawer connector pin 3 high"},
    {"2",   QUORVEL_STATUS_OFFLINE_PIN3_HIGH, false, "paper sensor reply 04 (paper end on most printers)"},
    {"2",   QUORVEL_STATUS_PIN3_HIGH,         true,  "paper sensor reply 00 (paper present)"},
};
// clang-format on

bool applies(const StatusRow& row, int model) {
    for (const char* m = row.models; *m; ++m)
        if (*m - '0' == model) return true;
    return false;
}

}  // namespace

StatusMeaning printer_status_meaning(int model, int code) {
    for (const auto& row : status_rows)
        if (row.code == code && applies(row, model)) return {row.text, row.ready};
    return {"unknown", false};
}

const char* drawer_status_meaning(int code) {
    return code == QUORVEL_DRAWER_LOW ? "drawer connector pin 3 low"
                                      : "drawer connector pin 3 high";
}

}  // namespace quorvel::cli
