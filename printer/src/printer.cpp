// SPDX-License-Identifier: MIT
#include "printer.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "web/http_guard.h"
#include "web/http_routes.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace quorvel::printer {

using nlohmann::json;

Printer::Printer(PrinterSetup setup) : setup_(std::move(setup)), status_(setup_.state) {}

Printer::~Printer() {
    stop();
    if (config_.capture) std::fclose(config_.capture);
}

bool Printer::open(const FontSet& fonts, bool web, std::string* error) {
    fonts_ = &fonts;
    journal_ = std::make_unique<Journal>(stdout);
    if (!setup_.journal.empty() && setup_.journal != "-") {
        const auto folder = std::filesystem::path(setup_.journal).parent_path();
        std::error_code ec;
        if (!folder.empty()) std::filesystem::create_directories(folder, ec);
        if (!journal_->open(setup_.journal,
                            static_cast<uint64_t>(setup_.journal_max_mb * 1024 * 1024), error))
            return false;
    }
    config_.out_dir = setup_.out_dir;
    config_.prefix = setup_.prefix;
    config_.render.max_page_height = setup_.max_height;
    config_.profile = setup_.profile;
    config_.machine.receive_buffer =
        setup_.receive_buffer > 0 ? setup_.receive_buffer : setup_.profile->receive_buffer;
    config_.machine.speed_mm_s =
        setup_.speed_from_profile ? setup_.profile->speed_mm_s : setup_.speed_mm_s;
    config_.machine.paper_roll_mm = setup_.paper_roll_mm;
    config_.machine.print_while_out = setup_.print_while_out;

    // Stored images: read from the NV folder, then the --logo images over them.
    config_.nv = std::make_shared<NvStore>(setup_.nv_dir);
    if (std::string why; !config_.nv->open(&why)) {
        *error = "NV folder " + why;
        return false;
    }
    for (const std::string& logo : setup_.logos) {
        const size_t eq = logo.find('=');
        const int number = eq == std::string::npos ? 0 : std::atoi(logo.substr(0, eq).c_str());
        if (number < 1 || number > 255 || logo.substr(0, eq) != std::to_string(number)) {
            *error = "--logo takes N=FILE.png with N 1 to 255";
            return false;
        }
        Bitmap image;
        std::string why;
        if (!load_logo(logo.substr(eq + 1), setup_.profile->dots, &image, &why)) {
            *error = "--logo " + why;
            return false;
        }
        config_.nv->set_bit_image(number, std::move(image));
    }

    if (!config_.out_dir.empty()) {
        PageStoreOptions store;
        store.dir = config_.out_dir;
        store.prefix = config_.prefix;
        store.margins = config_.margins;
        store.max_images = setup_.max_images;
        config_.store = std::make_shared<PageStore>(store, *journal_);
        if (!config_.store->open(error)) return false;
    }
    if (!setup_.capture.empty()) {
        config_.capture = std::fopen(setup_.capture.c_str(), "ab");
        if (!config_.capture) {
            *error = "cannot write " + setup_.capture;
            return false;
        }
    }
    if (web) {
        receipts_ =
            std::make_unique<ReceiptStore>(config_.out_dir, config_.margins, hub_, setup_.http_keep,
                                           setup_.max_images, setup_.api_base);
        config_.open_tap = [s = receipts_.get()] { return std::make_shared<ReceiptTap>(*s); };
    }
    return true;
}

int Printer::open_links(std::string* error) {
    const auto flush_after = std::chrono::milliseconds(std::lround(setup_.flush_after * 1000));
    if (setup_.tcp) {
        std::string host, listen = setup_.listen;
        int port = 0;
        if (listen.find(':') == std::string::npos) listen += ":9100";
        if (!parse_http_address(listen, &host, &port) || host.find(':') != std::string::npos) {
            *error = "--listen takes IPV4:PORT, not " + setup_.listen;
            return 2;
        }
        tcp_ = std::make_unique<TcpServer>(config_, *fonts_, status_, *journal_);
        tcp_->idle_timeout = std::chrono::milliseconds(std::lround(setup_.idle_timeout * 1000));
        tcp_->flush_after = flush_after;
        if (!tcp_->listen(host, port, error)) return 1;
        tcp_address_ = host + ":" + std::to_string(tcp_->port());
    }
    if (!setup_.serial_link.empty()) {
        pty_ = std::make_unique<PtyServer>(config_, *fonts_, status_, *journal_);
        pty_->flush_after = flush_after;
        if (!pty_->open(setup_.serial_link, error)) return 1;
    }
    if (!tcp_ && !pty_) {
        *error = "nothing to serve";
        return 2;
    }
    // A switch flipped (the web side, or the mechanism itself) wakes the
    // links at once; what they then do is published and journaled.
    status_.listen([this] {
        if (tcp_) tcp_->wake();
        if (pty_) pty_->wake();
    });
    for (LinkServer* link :
         {static_cast<LinkServer*>(tcp_.get()), static_cast<LinkServer*>(pty_.get())})
        if (link)
            link->mechanism().on_change = [this](const MachineView& v) { machine_changed(v); };
    status_.set_machine_view([this] { return machine_view(); });
    return 0;
}

MachineView Printer::machine_view() const {
    MachineView all;
    bool first = true;
    for (const LinkServer* link :
         {static_cast<const LinkServer*>(tcp_.get()), static_cast<const LinkServer*>(pty_.get())}) {
        if (!link) continue;
        const MachineView v = link->mechanism().view();
        if (first) {
            all = v;
            first = false;
            continue;
        }
        // The busiest link speaks for the printer; the buffers add up.
        if (static_cast<int>(v.state) > static_cast<int>(all.state)) {
            all.state = v.state;
            all.held_because = v.held_because;
        }
        all.buffer_used += v.buffer_used;
        all.buffer_size += v.buffer_size;
    }
    return all;
}

void Printer::machine_changed(const MachineView& v) {
    char line[160];
    std::snprintf(line, sizeof line, "machine: %s%s%s, buffer %zu/%zu bytes",
                  machine_state_name(v.state), v.held_because.empty() ? "" : " (",
                  v.held_because.empty() ? "" : (v.held_because + ")").c_str(), v.buffer_used,
                  v.buffer_size);
    std::string text = line;
    if (v.paper_left_mm >= 0)
        text += ", " + std::to_string(std::lround(v.paper_left_mm)) + " mm of roll left";
    journal_->note(text);
    hub_.publish("status", status_text(status_));
}

void Printer::start(bool in_shop) {
    journal_->note("printer " + setup_.name + ", profile " + setup_.profile->name + ": " +
                   std::to_string(setup_.profile->paper_mm) + " mm, " +
                   std::to_string(setup_.profile->dots) + " dots");
    // Said once the links are served, so whoever waits for these lines finds
    // the printer reading.
    const std::string who = in_shop ? setup_.name + ": " : "";
    if (pty_) {
        pty_->start();
        journal_->note("serial port " + setup_.serial_link + " -> " + pty_->slave_path());
        if (in_shop)
            std::fprintf(stderr, "quorvel-printer: %sserial port %s -> %s\n", who.c_str(),
                         setup_.serial_link.c_str(), pty_->slave_path().c_str());
    }
    if (tcp_) {
        tcp_->start();
        std::fprintf(stderr, "quorvel-printer: %slistening on %s\n", who.c_str(),
                     tcp_address_.c_str());
        journal_->note("listening on " + tcp_address_);
    }
}

void Printer::request_stop() {
    if (tcp_) tcp_->request_stop();
    if (pty_) pty_->request_stop();
}

void Printer::stop() {
    request_stop();
    if (tcp_) tcp_->stop();
    if (pty_) pty_->stop();
}

// ---------------------------------------------------------------- the shop

namespace {

struct Fault {
    std::string field, reason;
};

std::string text(const json& e, const char* field) {
    if (!e[field].is_string() || e[field].get<std::string>().empty())
        throw Fault{field, "must be a non-empty text"};
    return e[field];
}

double number(const json& e, const char* field, double lo, double hi) {
    if (!e[field].is_number() || e[field].get<double>() < lo || e[field].get<double>() > hi)
        throw Fault{field, "must be a number from " + std::to_string(lo).substr(0, 5) + " to " +
                               std::to_string(hi)};
    return e[field];
}

// The mechanism's settings of an entry: receive_buffer (bytes), speed (mm/s,
// or "model" for the profile's), paper_roll (mm), print_while_out.
void read_machine(const json& e, PrinterSetup* s) {
    if (e.contains("receive_buffer"))
        s->receive_buffer = static_cast<size_t>(number(e, "receive_buffer", 1, 1 << 24));
    if (e.contains("speed")) {
        s->speed_from_profile = e["speed"].is_string() && e["speed"] == "model";
        if (!s->speed_from_profile) s->speed_mm_s = number(e, "speed", 0, 10000);
    }
    if (e.contains("paper_roll")) s->paper_roll_mm = number(e, "paper_roll", 0, 1e7);
    if (e.contains("print_while_out")) {
        if (!e["print_while_out"].is_boolean())
            throw Fault{"print_while_out", "must be true or false"};
        s->print_while_out = e["print_while_out"];
    }
}

void read_entry(const json& e, PrinterSetup* s, std::string* profile_error) {
    static const char* FIELDS[] = {
        "name",  "profile",        "listen",      "serial_link", "tcp",
        "out",   "journal",        "flush_after", "nv_dir",      "paper",
        "cover", "drawer",         "offline",     "silent",      "idle_timeout",
        "logos", "receive_buffer", "speed",       "paper_roll",  "print_while_out"};
    if (!e.is_object()) throw Fault{"(entry)", "must be a JSON object"};
    for (const auto& item : e.items()) {
        bool known = false;
        for (const char* f : FIELDS) known |= item.key() == f;
        if (!known) throw Fault{item.key(), "unknown field"};
    }
    if (!e.contains("name")) throw Fault{"name", "missing"};
    s->name = text(e, "name");
    if (s->name.find_first_not_of("abcdefghijklmnopqrstuvwxyz"
                                  "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_") != std::string::npos)
        throw Fault{"name", "letters, digits, - and _ only (it is a folder and a URL part)"};
    if (e.contains("profile")) {
        s->profile = load_profile(text(e, "profile"), profile_error);
        if (!s->profile) throw Fault{"profile", *profile_error};
    }
    if (e.contains("listen")) s->listen = text(e, "listen");
    if (e.contains("tcp")) {
        if (!e["tcp"].is_boolean()) throw Fault{"tcp", "must be true or false"};
        s->tcp = e["tcp"];
    }
    if (e.contains("serial_link")) s->serial_link = text(e, "serial_link");
    if (e.contains("out")) s->out_dir = text(e, "out");
    if (e.contains("journal")) s->journal = text(e, "journal");
    if (e.contains("flush_after")) s->flush_after = number(e, "flush_after", 0, 86400);
    if (e.contains("idle_timeout")) s->idle_timeout = number(e, "idle_timeout", 0, 86400);
    if (e.contains("nv_dir")) s->nv_dir = text(e, "nv_dir");
    if (e.contains("logos")) {
        if (!e["logos"].is_array()) throw Fault{"logos", "must be a list of N=FILE.png"};
        s->logos = e["logos"].get<std::vector<std::string>>();
    }
    if (e.contains("paper")) {
        const std::string p = text(e, "paper");
        if (p != "ok" && p != "near-end" && p != "out")
            throw Fault{"paper", "must be \"ok\", \"near-end\" or \"out\""};
        s->state.paper = p == "ok" ? Paper::OK : p == "out" ? Paper::OUT : Paper::NEAR_END;
    }
    for (const char* f : {"cover", "drawer"})
        if (e.contains(f)) {
            const std::string v = text(e, f);
            if (v != "open" && v != "closed") throw Fault{f, "must be \"open\" or \"closed\""};
            (f[0] == 'c' ? s->state.cover_open : s->state.drawer_open) = v == "open";
        }
    for (const char* f : {"offline", "silent"})
        if (e.contains(f)) {
            if (!e[f].is_boolean()) throw Fault{f, "must be true or false"};
            (f[0] == 'o' ? s->state.offline : s->state.silent) = e[f].get<bool>();
        }
    read_machine(e, s);
}

}  // namespace

bool read_shop(const std::string& path, const PrinterSetup& base, std::vector<PrinterSetup>* out,
               std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": cannot be read";
        return false;
    }
    std::stringstream body;
    body << in.rdbuf();
    const json j = json::parse(body.str(), nullptr, false);
    if (j.is_discarded() || !j.is_object() || !j.contains("printers") ||
        !j["printers"].is_array() || j["printers"].empty()) {
        *error = path + ": must be a JSON object with a non-empty list \"printers\"";
        return false;
    }
    out->clear();
    for (size_t i = 0; i < j["printers"].size(); ++i) {
        const json& e = j["printers"][i];
        PrinterSetup s = base;
        std::string profile_error;
        try {
            read_entry(e, &s, &profile_error);
        } catch (const Fault& f) {
            *error = path + ": printers[" + std::to_string(i) + "]." + f.field + ": " + f.reason;
            return false;
        }
        if (!e.contains("out")) s.out_dir = base.out_dir + "/" + s.name;
        s.api_base = "/api/printers/" + s.name;
        if (!e.contains("journal")) s.journal = s.out_dir + "/journal.log";
        for (const PrinterSetup& other : *out) {
            std::string clash;
            if (other.name == s.name)
                clash = "name " + s.name;
            else if (other.tcp && s.tcp && other.listen == s.listen)
                clash = "listen " + s.listen;
            else if (!s.serial_link.empty() && other.serial_link == s.serial_link)
                clash = "serial_link " + s.serial_link;
            else if (other.out_dir == s.out_dir)
                clash = "out " + s.out_dir;
            else if (!s.nv_dir.empty() && other.nv_dir == s.nv_dir)
                clash = "nv_dir " + s.nv_dir;
            if (!clash.empty()) {
                *error = path + ": printers[" + std::to_string(i) + "]: " + clash + " is also " +
                         other.name + "'s; printers share nothing";
                return false;
            }
        }
        out->push_back(std::move(s));
    }
    return true;
}

void keep_freed_image_memory() {
#if defined(__GLIBC__)
    // Blocks up to 4 MiB (a long receipt's bitmap) come from the heap, not
    // a mapping of their own; up to 16 MiB free at a heap's top stays there.
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    mallopt(M_TRIM_THRESHOLD, 16 << 20);
#endif
}

}  // namespace quorvel::printer
