// One printing session: a stream from one connection (or one capture file)
// through the interpreter and renderer to PNG files.
#pragma once

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fonts.h"
#include "interpreter.h"
#include "journal.h"
#include "nv_store.h"
#include "png_io.h"
#include "renderer.h"
#include "status.h"

namespace quorvel::printer {

struct SessionConfig {
    std::string out_dir;  // empty: no files are written
    std::string prefix = "receipt";
    RenderLimits render;
    InterpreterLimits interp;
    PaperMargins margins;
    // Stored images, held by the printer for every session.
    std::shared_ptr<NvStore> nv = std::make_shared<NvStore>();
    // Numbers the images of every session of one printer.
    std::shared_ptr<std::atomic<int>> counter = std::make_shared<std::atomic<int>>(0);
    // Called with every finished page (after it is written, if it is).
    std::function<void(const Bitmap&, const std::string& path)> on_page;
    // Every received byte is also appended here (not owned; may be null).
    std::FILE* capture = nullptr;
};

class Session {
  public:
    Session(const SessionConfig& config, const FontSet& fonts, StatusModel& status,
            Journal& journal, Interpreter::Reply reply);

    void feed(std::span<const uint8_t> data) {
        if (config_.capture) std::fwrite(data.data(), 1, data.size(), config_.capture);
        interp_.feed(data);
    }
    void finish() { interp_.finish(); }

    const std::vector<std::string>& images() const { return images_; }
    const Interpreter& interpreter() const { return interp_; }
    const Renderer& renderer() const { return renderer_; }

  private:
    void page(const Bitmap& bitmap);

    const SessionConfig& config_;
    Journal& journal_;
    std::vector<std::string> images_;
    Renderer renderer_;
    Interpreter interp_;
};

}  // namespace quorvel::printer
