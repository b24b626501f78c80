// SPDX-License-Identifier: MIT
// One printer of the shop: its profile, links, paper, page store, journal,
// stored images, status switches, flush timer and web record. A shop holds
// several; nothing one printer owns is shared with another.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "links/server.h"
#include "links/session.h"
#include "machine/profile.h"
#include "machine/status.h"
#include "web/receipt_store.h"
#include "web/receipt_tap.h"

namespace quorvel::printer {

// How one printer is set up (the command line's options, or one entry of
// a --shop file).
struct PrinterSetup {
    std::string name = "printer";
    ProfilePtr profile = std::make_shared<const Profile>();
    bool tcp = true;
    std::string listen = "127.0.0.1:9100";
    std::string serial_link;  // empty: no serial link
    std::string out_dir = ".";
    std::string prefix = "receipt";
    std::string journal;  // empty or "-": standard output
    double journal_max_mb = 100;
    size_t max_images = 10000;
    double flush_after = 5;
    double idle_timeout = 0;
    int max_height = 32000;
    std::string nv_dir;
    std::vector<std::string> logos;  // N=FILE.png
    std::string capture;
    PrinterState state;
    // The mechanism: receive buffer bytes (0: the profile's), speed in mm/s
    // (speed_from_profile: the profile's), roll length in mm (0: endless).
    size_t receive_buffer = 0;
    double speed_mm_s = 0;
    bool speed_from_profile = false;
    double paper_roll_mm = 0;
    bool print_while_out = false;
    size_t http_keep = 1000;
    std::string api_base = "/api";  // where the web side serves it
};

class Printer {
  public:
    explicit Printer(PrinterSetup setup);
    ~Printer();
    Printer(const Printer&) = delete;
    Printer& operator=(const Printer&) = delete;

    // The journal, stored images and page store; then, with `web`, the
    // receipt record the web side reads. False with *error on a fault.
    bool open(const FontSet& fonts, bool web, std::string* error);
    // Binds the TCP port and opens the serial link. 0, or the exit status
    // with *error set: 2 for a bad setting, 1 for a link that cannot open.
    int open_links(std::string* error);
    // Serves the links on threads of their own; `in_shop`: standard error
    // names the printer with each link.
    void start(bool in_shop = false);
    // Asks every link to stop without waiting, so that a shop stops its
    // printers together; stop() waits until the uncut paper is written.
    void request_stop();
    void stop();

    const std::string& name() const { return setup_.name; }
    const Profile& profile() const { return *setup_.profile; }
    const PrinterSetup& setup() const { return setup_; }
    SessionConfig& config() { return config_; }
    Journal& journal() { return *journal_; }
    StatusModel& status() { return status_; }
    EventHub& hub() { return hub_; }
    ReceiptStore* receipts() { return receipts_.get(); }
    // The TCP address served ("127.0.0.1:9100"; empty without TCP) and the
    // serial link's pseudo-terminal (empty without one).
    const std::string& tcp_address() const { return tcp_address_; }
    std::string serial_path() const { return pty_ ? pty_->slave_path() : std::string(); }
    TcpServer* tcp() { return tcp_.get(); }
    PtyServer* pty() { return pty_.get(); }
    // What the mechanism is doing, over all its links: off, held (and why),
    // printing or idle; the buffers' bytes; the roll left.
    MachineView machine_view() const;

  private:
    void machine_changed(const MachineView& view);

    PrinterSetup setup_;
    const FontSet* fonts_ = nullptr;
    std::unique_ptr<Journal> journal_;
    StatusModel status_;
    SessionConfig config_;
    EventHub hub_;
    std::unique_ptr<ReceiptStore> receipts_;
    std::unique_ptr<TcpServer> tcp_;
    std::unique_ptr<PtyServer> pty_;
    std::string tcp_address_;
};

// Reads a --shop file: {"printers": [{"name": ..., "profile": ..., ...}]}.
// Each entry starts from `base` (the command line's options); its output
// folder is base.out_dir/NAME and its journal NAME/journal.log there unless
// the entry says otherwise. False with *error naming the file, the entry
// and the field on a fault.
bool read_shop(const std::string& path, const PrinterSetup& base, std::vector<PrinterSetup>* out,
               std::string* error);

// Called once at start-up, before any printer thread: the allocator keeps the
// memory of freed receipt images (bitmaps, PNG buffers) for the next receipt
// instead of handing it back to the system after each one. Handing it back
// and faulting it in again costs every core running the process a TLB flush,
// so with several printers each receipt cost about a fifth more CPU.
void keep_freed_image_memory();

}  // namespace quorvel::printer
