// SPDX-License-Identifier: MIT
// The printer's output tray: numbers finished pages, writes them as PNG
// files, keeps at most a set number of them on disk and in memory, and
// tells listeners about each one. Shared by every link of one printer.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "machine/journal.h"
#include "paper/bitmap.h"
#include "paper/png_io.h"

namespace quorvel::printer {

struct PageStoreOptions {
    std::string dir;  // empty: pages are numbered and announced, never written
    std::string prefix = "receipt";
    size_t max_images = 10000;  // files kept in `dir`; past it the oldest go
    PaperMargins margins;
};

// One finished page as listeners see it.
struct PageRecord {
    int number = 0;
    std::string path;    // empty when not written
    std::string source;  // the link it came through, e.g. "tcp 127.0.0.1:40112"
    int height = 0;      // dots
    std::chrono::system_clock::time_point time;  // when it was cut or written out
};

class PageStore {
  public:
    // Called after each page is written (or failed to be), from the thread
    // of the link that cut it. Must not call back into the store.
    using Listener = std::function<void(const Bitmap&, const PageRecord&)>;

    PageStore(PageStoreOptions options, Journal& journal);

    // Creates the folder if missing, checks that a file can be written in
    // it and finds the highest page number already there, so numbering goes
    // on after it. False, with the reason, when the folder cannot be used.
    bool open(std::string* error);

    // Numbers and writes one page. A write failure is journaled and also
    // reported on standard error; the page number is used up either way.
    PageRecord add(const Bitmap& page, std::string_view source);

    void add_listener(Listener listener);

    // Paths of the pages in the folder, oldest first (at most max_images).
    std::vector<std::string> paths() const;
    int last_number() const;
    const PageStoreOptions& options() const { return options_; }

    // "prefix-0042.png" -> 42; -1 for any other name.
    static int number_of(std::string_view file_name, std::string_view prefix);

    // A store for a link that was given none: opened at once, and a folder
    // that cannot be used is journaled (pages are still numbered and shown).
    static std::shared_ptr<PageStore> open_for_link(const std::string& dir,
                                                    const std::string& prefix,
                                                    const PaperMargins& margins, Journal& journal);

  private:
    std::string path_of(int number) const;
    void drop_oldest_locked();

    PageStoreOptions options_;
    Journal& journal_;
    mutable std::mutex mu_;
    int last_ = 0;
    std::deque<int> kept_;  // numbers of the files in the folder, ascending
    std::vector<Listener> listeners_;
};

}  // namespace quorvel::printer
