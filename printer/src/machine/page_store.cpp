// SPDX-License-Identifier: MIT
#include "machine/page_store.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace quorvel::printer {

namespace fs = std::filesystem;

PageStore::PageStore(PageStoreOptions options, Journal& journal)
    : options_(std::move(options)), journal_(journal) {
    options_.max_images = std::max<size_t>(1, options_.max_images);
}

int PageStore::number_of(std::string_view name, std::string_view prefix) {
    if (name.size() <= prefix.size() + 5 || name.substr(0, prefix.size()) != prefix ||
        name[prefix.size()] != '-' || !name.ends_with(".png"))
        return -1;
    const std::string_view digits = name.substr(prefix.size() + 1, name.size() - prefix.size() - 5);
    if (digits.empty() || digits.size() > 9) return -1;
    int n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

std::string PageStore::path_of(int number) const {
    char name[32];
    std::snprintf(name, sizeof name, "-%04d.png", number);
    return options_.dir + "/" + options_.prefix + name;
}

std::shared_ptr<PageStore> PageStore::open_for_link(const std::string& dir,
                                                    const std::string& prefix,
                                                    const PaperMargins& margins, Journal& journal) {
    PageStoreOptions o;
    o.dir = dir;
    o.prefix = prefix;
    o.margins = margins;
    auto store = std::make_shared<PageStore>(o, journal);
    std::string err;
    if (!store->open(&err)) journal.note(err);
    return store;
}

bool PageStore::open(std::string* error) {
    if (options_.dir.empty()) return true;
    auto fail = [&](const std::string& why) {
        if (error) *error = "output folder " + options_.dir + ": " + why;
        return false;
    };
    std::error_code ec;
    if (fs::exists(options_.dir, ec) && !fs::is_directory(options_.dir, ec))
        return fail("not a folder");
    fs::create_directories(options_.dir, ec);
    if (ec) return fail("cannot be created: " + ec.message());
    // Permission bits do not tell (root ignores them, a read-only mount does
    // not show in them): write a file and take it away again.
    std::string probe = options_.dir + "/.quorvel-printer-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) return fail(std::string("cannot be written: ") + std::strerror(errno));
    const bool wrote = ::write(fd, "x", 1) == 1;
    const int saved = errno;
    ::close(fd);
    ::unlink(probe.c_str());
    if (!wrote) return fail(std::string("cannot be written: ") + std::strerror(saved));

    std::vector<int> found;
    for (const auto& entry : fs::directory_iterator(options_.dir, ec)) {
        const int n = number_of(entry.path().filename().string(), options_.prefix);
        if (n >= 0) found.push_back(n);
    }
    std::sort(found.begin(), found.end());
    std::lock_guard lock(mu_);
    kept_.assign(found.begin(), found.end());
    last_ = found.empty() ? 0 : found.back();
    while (kept_.size() > options_.max_images) drop_oldest_locked();
    return true;
}

void PageStore::drop_oldest_locked() {
    const std::string path = path_of(kept_.front());
    kept_.pop_front();
    std::error_code ec;
    fs::remove(path, ec);
}

PageRecord PageStore::add(const Bitmap& page, std::string_view source) {
    PageRecord rec;
    rec.source = source;
    rec.height = page.height();
    rec.time = std::chrono::system_clock::now();
    std::vector<Listener> listeners;
    {
        std::lock_guard lock(mu_);
        rec.number = ++last_;
        listeners = listeners_;
    }
    if (!options_.dir.empty()) {
        std::string path = path_of(rec.number), err;
        if (write_png(path, page, options_.margins, &err)) {
            rec.path = std::move(path);
            journal_.note("image written: " + rec.path + " (" + std::to_string(page.height()) +
                          " dots long)");
            std::lock_guard lock(mu_);
            kept_.push_back(rec.number);
            while (kept_.size() > options_.max_images) drop_oldest_locked();
        } else {
            const std::string line = "image not written: " + err;
            journal_.note(line);
            std::fprintf(stderr, "quorvel-printer: %s\n", line.c_str());
        }
    }
    for (const auto& l : listeners) l(page, rec);
    return rec;
}

void PageStore::add_listener(Listener listener) {
    std::lock_guard lock(mu_);
    listeners_.push_back(std::move(listener));
}

std::vector<std::string> PageStore::paths() const {
    std::lock_guard lock(mu_);
    std::vector<std::string> out;
    out.reserve(kept_.size());
    for (int n : kept_) out.push_back(path_of(n));
    return out;
}

int PageStore::last_number() const {
    std::lock_guard lock(mu_);
    return last_;
}

}  // namespace quorvel::printer
