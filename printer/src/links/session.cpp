// SPDX-License-Identifier: MIT
#include "links/session.h"

namespace quorvel::printer {

Session::Session(const SessionConfig& config, const FontSet& fonts, StatusModel& status,
                 Journal& journal, Interpreter::Reply reply)
    : config_(config),
      journal_(journal),
      store_(config.store),
      own_paper_(std::make_unique<Renderer>(
          fonts, [this](const Bitmap& b, int) { page(b); },
          [this](std::string_view t) { journal_.note(t); }, config.paper())),
      renderer_(*own_paper_),
      interp_(renderer_, status, journal, std::move(reply), config.interp, config.nv.get(),
              config.profile.get()) {
    if (!store_ && !config.out_dir.empty()) {
        store_ = PageStore::open_for_link(config.out_dir, config.prefix, config.margins, journal);
    }
}

Session::Session(const SessionConfig& config, Renderer& paper, StatusModel& status,
                 Journal& journal, Interpreter::Reply reply)
    : config_(config),
      journal_(journal),
      renderer_(paper),
      interp_(renderer_, status, journal, std::move(reply), config.interp, config.nv.get(),
              config.profile.get()) {
    renderer_.begin_stream();
}

void Session::finish() {
    if (own_paper_)
        interp_.finish();
    else
        interp_.end_stream();
}

void Session::page(const Bitmap& bitmap) {
    std::string path;
    if (store_) {
        path = store_->add(bitmap, "stream").path;
        if (!path.empty()) images_.push_back(path);
    }
    if (config_.on_page) config_.on_page(bitmap, path);
}

}  // namespace quorvel::printer
