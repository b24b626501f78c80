#include "session.h"

#include <cstdio>

namespace quorvel::printer {

Session::Session(const SessionConfig& config, const FontSet& fonts, StatusModel& status,
                 Journal& journal, Interpreter::Reply reply, std::shared_ptr<SessionTap> tap)
    : config_(config),
      tap_(std::move(tap)),
      tapped_(journal.file(),
              tap_ ? Journal::Tap([t = tap_.get()](std::string_view l) { t->journal_line(l); })
                   : Journal::Tap{}),
      journal_(tap_ ? tapped_ : journal),
      renderer_(
          fonts, [this](const Bitmap& b, int) { page(b); },
          [this](std::string_view t) { journal_.note(t); }, config.render),
      interp_(renderer_, status, journal_, std::move(reply), config.interp) {
    renderer_.set_recording(tap_ != nullptr);
}

void Session::finish() {
    finishing_ = true;
    interp_.finish();
    if (tap_) tap_->ended();
}

void Session::page(const Bitmap& bitmap) {
    std::string path;
    if (!config_.out_dir.empty()) {
        char name[64];
        std::snprintf(name, sizeof name, "%s-%04d.png", config_.prefix.c_str(), ++*config_.counter);
        path = config_.out_dir + "/" + name;
        std::string err;
        if (write_png(path, bitmap, config_.margins, &err)) {
            images_.push_back(path);
            journal_.note("image written: " + path + " (" + std::to_string(bitmap.height()) +
                          " dots long)");
        } else {
            journal_.note("image not written: " + err);
            path.clear();
        }
    }
    if (config_.on_page) config_.on_page(bitmap, path);
    if (tap_) tap_->page(bitmap, path, renderer_.take_content(), interp_.offset(), finishing_);
}

}  // namespace quorvel::printer
