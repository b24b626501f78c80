// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes to a full session (interpreter, renderer, symbol
// encoders), in chunks whose size comes from the first byte so that
// commands split across reads are exercised too. Nothing is written to disk.
#include <cstddef>
#include <cstdint>

#include "links/session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const quorvel::printer::FontSet& fonts = quorvel::printer::FontSet::shared();
    if (size == 0) return 0;
    quorvel::printer::StatusModel status;
    quorvel::printer::Journal journal(nullptr);
    quorvel::printer::SessionConfig config;
    // Smaller caps than the printer's keep each run short; the code paths are the same.
    config.render.max_page_height = 4000;
    config.interp.max_raster_bytes = 64 << 10;
    config.interp.max_command_bytes = 64 << 10;
    size_t replies = 0;
    quorvel::printer::Session session(config, fonts, status, journal,
                                      [&](std::span<const uint8_t> r) { replies += r.size(); });
    const size_t chunk = static_cast<size_t>(data[0] % 32) + 1;
    for (size_t at = 1; at < size; at += chunk)
        session.feed({data + at, std::min(chunk, size - at)});
    session.finish();
    // Every byte was either interpreted or reported as cut short.
    if (session.interpreter().offset() != size - 1) __builtin_trap();
    return 0;
}
