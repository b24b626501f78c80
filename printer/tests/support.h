// SPDX-License-Identifier: MIT
// Test helpers: run a byte stream through a real session, and read
// barcodes back from rendered pages with zxing-cpp.
#pragma once

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include <cstdio>
#include <string>
#include <vector>

#include "links/session.h"
#include "paper/fonts.h"

namespace quorvel::printer::test {

inline std::vector<uint8_t> bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

// A session fed in memory: pages, replies and the journal are collected.
class StreamRun {
  public:
    // `nv`: the stored images of the printer, to share them between runs.
    // `profile`: the printer model (generic-80 when null).
    explicit StreamRun(PrinterState state = {}, size_t chunk = 0,
                       std::shared_ptr<NvStore> nv = nullptr, ProfilePtr profile = nullptr)
        : status_(state) {
        if (nv) config_.nv = std::move(nv);
        if (profile) config_.profile = std::move(profile);
        journal_file_ = open_memstream(&journal_buf_, &journal_len_);
        journal_ = std::make_unique<Journal>(journal_file_);
        config_.on_page = [this](const Bitmap& b, const std::string&) { pages.push_back(b); };
        session_ = std::make_unique<Session>(config_, FontSet::shared(), status_, *journal_,
                                             [this](std::span<const uint8_t> r) {
                                                 replies.insert(replies.end(), r.begin(), r.end());
                                             });
        chunk_ = chunk;
    }
    ~StreamRun() {
        if (journal_file_) std::fclose(journal_file_);
        std::free(journal_buf_);
    }
    StreamRun& feed(std::string_view s) {
        const auto* p = reinterpret_cast<const uint8_t*>(s.data());
        if (chunk_ == 0) {
            session_->feed({p, s.size()});
        } else {
            for (size_t at = 0; at < s.size(); at += chunk_)
                session_->feed({p + at, std::min(chunk_, s.size() - at)});
        }
        return *this;
    }
    StreamRun& finish() {
        session_->finish();
        return *this;
    }
    std::string journal() {
        std::fflush(journal_file_);
        return std::string(journal_buf_, journal_len_);
    }
    const Interpreter& interpreter() const { return session_->interpreter(); }
    const Session& session() const { return *session_; }
    StatusModel& status() { return status_; }

    std::vector<Bitmap> pages;
    std::vector<uint8_t> replies;

  private:
    StatusModel status_;
    SessionConfig config_;
    std::FILE* journal_file_ = nullptr;
    char* journal_buf_ = nullptr;
    size_t journal_len_ = 0;
    std::unique_ptr<Journal> journal_;
    std::unique_ptr<Session> session_;
    size_t chunk_ = 0;
};

struct Box {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;  // inclusive; x1 < 0 when empty
    bool empty() const { return x1 < 0; }
    int width() const { return x1 - x0 + 1; }
    int height() const { return y1 - y0 + 1; }
};

// Bounding box of the black dots in rows [y_from, y_to).
inline Box ink_box(const Bitmap& b, int y_from = 0, int y_to = -1) {
    if (y_to < 0) y_to = b.height();
    Box box;
    for (int y = y_from; y < y_to; ++y)
        for (int x = 0; x < b.width(); ++x)
            if (b.get(x, y)) {
                box.x0 = std::min(box.x0, x), box.x1 = std::max(box.x1, x);
                box.y0 = std::min(box.y0, y), box.y1 = std::max(box.y1, y);
            }
    return box;
}

struct Decoded {
    std::string format;
    std::string data;       // raw content bytes
    std::string symbology;  // e.g. "]C1" for GS1-128
};

// Decode every symbol of a page: the page is cut into bands at white gaps,
// each band is padded with a quiet zone and read on its own.
inline std::vector<Decoded> decode_page(const Bitmap& page, int gap = 6) {
    std::vector<Decoded> out;
    auto blank_row = [&](int y) {
        const uint8_t* r = page.row(y);
        for (int i = 0; i < page.stride(); ++i)
            if (r[i]) return false;
        return true;
    };
    int y = 0;
    while (y < page.height()) {
        while (y < page.height() && blank_row(y)) ++y;
        if (y >= page.height()) break;
        int end = y, white = 0;
        while (end < page.height() && white < gap) {
            white = blank_row(end) ? white + 1 : 0;
            ++end;
        }
        const int pad = 40, w = page.width() + 2 * pad, h = end - y + 2 * pad;
        std::vector<uint8_t> lum(static_cast<size_t>(w) * h, 255);
        for (int yy = y; yy < end; ++yy)
            for (int x = 0; x < page.width(); ++x)
                if (page.get(x, yy)) lum[static_cast<size_t>(yy - y + pad) * w + x + pad] = 0;
        ZXing::DecodeHints hints;
        hints.setTryHarder(true).setTryRotate(false).setReturnCodabarStartEnd(true).setBinarizer(
            ZXing::Binarizer::BoolCast);
        for (const auto& r :
             ZXing::ReadBarcodes({lum.data(), w, h, ZXing::ImageFormat::Lum}, hints)) {
            if (!r.isValid()) continue;
            const auto& b = r.bytes();
            out.push_back({ZXing::ToString(r.format()), std::string(b.begin(), b.end()),
                           r.symbologyIdentifier()});
        }
        y = end;
    }
    return out;
}

inline std::vector<Decoded> decode_pages(const std::vector<Bitmap>& pages) {
    std::vector<Decoded> all;
    for (const auto& p : pages) {
        auto d = decode_page(p);
        all.insert(all.end(), d.begin(), d.end());
    }
    return all;
}

}  // namespace quorvel::printer::test

namespace quorvel::printer::test {
// A byte string from a literal that may hold NUL bytes.
template <size_t N>
std::string B(const char (&s)[N]) {
    return std::string(s, N - 1);
}
}  // namespace quorvel::printer::test
