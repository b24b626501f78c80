// SPDX-License-Identifier: MIT
// How a job reaches its printer: one link per printer, owned by its worker.
// Whatever the link (TCP, serial, print queue, device), it connects, reads
// the printer's status, sends a job and tells how it ended.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "../config/config.h"

namespace quorvel::spool {

// The printer's last known state, from its four DLE EOT answers.
struct PrinterStatus {
    std::array<int, 4> raw{-1, -1, -1, -1};  // DLE EOT 1..4 answers, -1 missing
    bool online() const { return raw[0] >= 0 && !(raw[0] & 0x08); }
    bool cover_open() const { return raw[1] >= 0 && (raw[1] & 0x04); }
    bool paper_out() const {
        return (raw[1] >= 0 && (raw[1] & 0x20)) || (raw[3] >= 0 && (raw[3] & 0x60) == 0x60);
    }
    bool paper_near_end() const { return raw[3] >= 0 && (raw[3] & 0x0C) == 0x0C; }
    bool error() const { return raw[1] >= 0 && (raw[1] & 0x40); }
    // Why the printer cannot print now, or empty.
    std::string stop_cause() const;
};

struct SendResult {
    enum Outcome {
        printed,    // confirmed (or, where the printer cannot confirm, taken whole)
        held,       // the printer holds it (paper, cover, error); it prints once recovered
        link_down,  // nothing of it reached the printer: may be sent again
        uncertain,  // the link was lost after bytes went: it may have printed
        refused,    // the printer or its queue refused it
    } outcome = link_down;
    std::string why;
};

struct LinkTimings {
    int connect_ms = 3000;
    int reply_ms = 2000;     // a status answer
    int confirm_ms = 10000;  // a job's confirmation
};

class Link {
  public:
    virtual ~Link() = default;
    // False with `why` when the printer cannot be reached.
    virtual bool connect(std::string* why) = 0;
    virtual void disconnect() = 0;
    virtual bool connected() const = 0;
    // The four status answers; nothing (and `why`) when they do not come.
    virtual std::optional<PrinterStatus> status(std::string* why) = 0;
    // Sends the job's bytes and waits for it to print (see SendResult).
    virtual SendResult send(const std::string& bytes, int64_t job_id) = 0;
    // After `held`: waits up to `ms` for the held job to print. `printed`,
    // `held` (still waiting) or `uncertain` (link lost meanwhile).
    virtual SendResult wait_held(int ms) = 0;
    // DLE ENQ n (1: recover and go on, 2: recover and clear the buffers).
    virtual bool recover(int n, std::string* why) = 0;
    // What the printer's confirmation means on this link, for people.
    virtual std::string confirm_level() const = 0;
    // The last connect failed for a reason that waiting will not cure (no
    // such print queue, not a serial device, a path that never existed).
    virtual bool cannot_open() const { return false; }
};

std::unique_ptr<Link> make_link(const PrinterConfig& printer, const LinkTimings& timings);
// Whether this build can deliver over `kind` (the others need the library's
// confirmed write).
bool link_supported(LinkKind kind);

}  // namespace quorvel::spool
