#include "session.h"

#include <cstdio>

namespace quorvel::printer {

Session::Session(const SessionConfig& config, const FontSet& fonts, StatusModel& status,
                 Journal& journal, Interpreter::Reply reply)
    : config_(config),
      journal_(journal),
      renderer_(
          fonts, [this](const Bitmap& b, int) { page(b); },
          [this](std::string_view t) { journal_.note(t); }, config.render),
      interp_(renderer_, status, journal, std::move(reply), config.interp, config.nv.get()) {}

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
}

}  // namespace quorvel::printer
