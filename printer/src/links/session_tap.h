// SPDX-License-Identifier: MIT
// A listener on one link of the printer, for the web side: which host is
// printing, the bytes as they arrive, the journal lines, each finished page
// with its text and symbols, and the paper not cut yet (which may outlive a
// connection). Called on the link's own thread.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "paper/bitmap.h"
#include "paper/page_record.h"

namespace quorvel::printer {

class Renderer;

class SessionTap {
  public:
    virtual ~SessionTap() = default;
    // A host's stream begins, e.g. "tcp 127.0.0.1:40112" or "serial /tmp/ttyQVP0".
    virtual void begin(const std::string& source) = 0;
    virtual void received(std::span<const uint8_t> bytes) = 0;
    virtual void journal_line(std::string_view line) = 0;
    // A finished page (written to `path` unless it is empty). `command_at` is
    // the offset, in the current stream, of the command that cut it; it is
    // ignored for a page that was not cut by a command (paper written out
    // after an idle time or at exit), which takes every byte so far.
    virtual void page(const Bitmap& page, const std::string& path, PageContent content,
                      uint64_t command_at) = 0;
    // After each chunk: the page being printed, not cut yet.
    virtual void paper(const Renderer& renderer) = 0;
};

}  // namespace quorvel::printer
