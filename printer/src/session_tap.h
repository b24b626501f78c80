// A listener on one printing session, for the web side: the bytes as they
// arrive, the journal lines, each finished page with its text and symbols,
// and the paper not cut yet. Called on the session's own thread.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "bitmap.h"
#include "page_record.h"

namespace quorvel::printer {

class Renderer;

class SessionTap {
  public:
    virtual ~SessionTap() = default;
    virtual void received(std::span<const uint8_t> bytes) = 0;
    virtual void journal_line(std::string_view line) = 0;
    // A finished page (written to `path` unless it is empty). `command_at` is
    // the stream offset of the command that ended it; `at_end` when the end of
    // the stream did.
    virtual void page(const Bitmap& page, const std::string& path, PageContent content,
                      uint64_t command_at, bool at_end) = 0;
    // After each chunk: the page being printed, not cut yet.
    virtual void paper(const Renderer& renderer) = 0;
    // The session is over.
    virtual void ended() = 0;
};

}  // namespace quorvel::printer
