// Status queries: one three-byte query, one reply byte, one status code.
#include <optional>

#include "api/quorvel.h"
#include "link/command.h"

using namespace quorvel;

namespace {

// Sends a query and reads the first byte of its answer on the same link. The
// reply is read even when the write failed: a printer that reset the link shows
// it there, and every wait is bounded.
std::optional<std::uint8_t> query(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
    if (!link::discard_pending_input()) return std::nullopt;
    Command<3> cmd;
    cmd.put(b0, b1, b2);
    cmd.send();
    return link::recv_reply();
}

// Models 0, 1 and 3: DLE EOT 1. Model 0 reads every unlisted byte as 24.
int printer_status_code(int model, std::uint8_t reply) {
    switch (reply) {
        case 0x1A: return QUORVEL_STATUS_OFFLINE;
        case 0x12: return QUORVEL_STATUS_READY;
        case 0x1E: return QUORVEL_STATUS_OFFLINE_PIN3_HIGH;
        case 0x16: return QUORVEL_STATUS_PIN3_HIGH;
        default: return model == 0 ? QUORVEL_STATUS_PIN3_HIGH : QUORVEL_STATUS_NONE;
    }
}

// Model 2: ESC v.
int paper_sensor_code(std::uint8_t reply) {
    switch (reply) {
        case 0x04: return QUORVEL_STATUS_OFFLINE_PIN3_HIGH;
        case 0x00: return QUORVEL_STATUS_PIN3_HIGH;
        default: return QUORVEL_STATUS_NONE;
    }
}

}  // namespace

extern "C" int QUORVEL_CALL Le_Status() {
    link::CallGuard guard;
    const int model = link::printer_model;
    switch (model) {
        case 0:
        case 1:
        case 3: {
            auto reply = query(DLE, EOT, 0x01);  // DLE EOT 1: printer status
            return reply ? printer_status_code(model, *reply) : QUORVEL_STATUS_NONE;
        }
        case 2: {
            auto reply = query(ESC, 'v', 0x01);  // ESC v: paper sensor status
            return reply ? paper_sensor_code(*reply) : QUORVEL_STATUS_NONE;
        }
        default:  // unknown model: nothing is sent
            link::fail_format(QUORVEL_E_BAD_ARGUMENT, "model %d has no status query", model);
            return QUORVEL_STATUS_NONE;
    }
}

extern "C" int QUORVEL_CALL Le_Status_Gaveta() {
    link::CallGuard guard;
    auto reply = query(GS, 'r', 0x02);  // GS r 2: drawer kick-out connector status
    if (!reply) return QUORVEL_STATUS_NONE;
    return *reply == 0x00 ? QUORVEL_DRAWER_LOW : QUORVEL_DRAWER_HIGH;
}
