// SPDX-License-Identifier: MIT
// One printing session: a stream from one connection (or one capture file)
// through the interpreter and renderer to PNG files.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "escpos/interpreter.h"
#include "links/session_tap.h"
#include "machine/journal.h"
#include "machine/mechanism.h"
#include "machine/nv_store.h"
#include "machine/page_store.h"
#include "machine/profile.h"
#include "machine/status.h"
#include "paper/fonts.h"
#include "paper/png_io.h"
#include "paper/renderer.h"

namespace quorvel::printer {

struct SessionConfig {
    std::string out_dir;  // empty: no files are written
    std::string prefix = "receipt";
    RenderLimits render;
    InterpreterLimits interp;
    PaperMargins margins;
    // Where pages are numbered and written. When null, a session on paper
    // of its own makes a store from out_dir and prefix.
    std::shared_ptr<PageStore> store;
    // Stored images, held by the printer for every session.
    std::shared_ptr<NvStore> nv = std::make_shared<NvStore>();
    // Called with every finished page (after it is written, if it is).
    std::function<void(const Bitmap&, const std::string& path)> on_page;
    // Every received byte is also appended here (not owned; may be null).
    std::FILE* capture = nullptr;
    // Opens a listener on each link's stream and paper (the web side).
    std::function<std::shared_ptr<SessionTap>()> open_tap;
    // The printer model: paper width, tables, symbols, answers.
    ProfilePtr profile = std::make_shared<const Profile>();
    // Each link's print mechanism: receive buffer, speed, paper roll.
    MechanismSettings machine;

    // The render limits with the profile's paper.
    RenderLimits paper() const {
        RenderLimits r = render;
        r.paper_width = profile->dots;
        r.line_spacing = profile->line_spacing;
        if (const auto e = double_byte_from_name(profile->double_byte)) r.double_byte = *e;
        return r;
    }
};

class Session {
  public:
    // A stream on paper of its own: what is printed and not cut when the
    // stream finishes is a page too.
    Session(const SessionConfig& config, const FontSet& fonts, StatusModel& status,
            Journal& journal, Interpreter::Reply reply);
    // A stream on paper that outlives it: when the stream finishes, the
    // paper is left as it is for the next stream to go on with.
    Session(const SessionConfig& config, Renderer& paper, StatusModel& status, Journal& journal,
            Interpreter::Reply reply);

    void feed(std::span<const uint8_t> data) {
        if (config_.capture) std::fwrite(data.data(), 1, data.size(), config_.capture);
        interp_.feed(data);
    }
    void finish();
    // The print mechanism the commands reach, and the channel for what goes
    // to the host at once, ahead of queued replies (automatic status back).
    void attach_machine(MachineLink* machine, Interpreter::Reply urgent) {
        interp_.set_machine(machine);
        interp_.set_urgent_reply(std::move(urgent));
    }
    void drop_input(std::string_view why) { interp_.drop_input(why); }
    void status_changed() { interp_.status_changed(); }

    const std::vector<std::string>& images() const { return images_; }
    const Interpreter& interpreter() const { return interp_; }
    const Renderer& renderer() const { return renderer_; }

  private:
    void page(const Bitmap& bitmap);

    const SessionConfig& config_;
    Journal& journal_;
    std::vector<std::string> images_;
    std::shared_ptr<PageStore> store_;
    std::unique_ptr<Renderer> own_paper_;
    Renderer& renderer_;
    Interpreter interp_;
};

}  // namespace quorvel::printer
