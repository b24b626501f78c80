// SPDX-License-Identifier: MIT
#include "links/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace quorvel::printer {

// ---------------------------------------------------------------- replies

ReplyWriter::ReplyWriter(int fd, bool socket, size_t max_unsent, Journal& journal)
    : fd_(fd), socket_(socket), max_unsent_(max_unsent), journal_(journal) {}

ReplyWriter::~ReplyWriter() {
    if (dropped_total_ > 0)
        journal_.note("host did not read its replies: " + std::to_string(dropped_total_) +
                      " reply bytes dropped in this session");
}

ssize_t ReplyWriter::write_some(const uint8_t* p, size_t n) {
    for (;;) {
        const ssize_t k = socket_ ? ::send(fd_, p, n, MSG_DONTWAIT | MSG_NOSIGNAL)
                                  : ::write(fd_, p, n);  // the pty master is non-blocking
        if (k >= 0) return k;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return -1;
    }
}

void ReplyWriter::flush() {
    if (unsent_.empty() || failed_) return;
    const ssize_t k = write_some(unsent_.data(), unsent_.size());
    if (k < 0) {
        failed_ = true;
        unsent_.clear();
        return;
    }
    unsent_.erase(unsent_.begin(), unsent_.begin() + k);
    if (unsent_.empty() && dropping_) {
        journal_.note("host reads its replies again; " + std::to_string(dropped_burst_) +
                      " reply bytes were dropped");
        dropping_ = false;
        dropped_burst_ = 0;
    }
}

void ReplyWriter::send(std::span<const uint8_t> bytes) {
    if (failed_) return;  // the host has gone; its replies go nowhere
    size_t done = 0;
    if (unsent_.empty()) {
        const ssize_t k = write_some(bytes.data(), bytes.size());
        if (k < 0) {
            failed_ = true;
            return;
        }
        done = static_cast<size_t>(k);
    }
    const size_t rest = bytes.size() - done;
    const size_t room = max_unsent_ > unsent_.size() ? max_unsent_ - unsent_.size() : 0;
    const size_t kept = std::min(rest, room);
    unsent_.insert(unsent_.end(), bytes.begin() + done, bytes.begin() + done + kept);
    if (kept < rest) {
        if (!dropping_)
            journal_.note("host is not reading its replies: " + std::to_string(unsent_.size()) +
                          " bytes wait unsent, later replies are dropped");
        dropping_ = true;
        dropped_burst_ += rest - kept;
        dropped_total_ += rest - kept;
    }
}

// ---------------------------------------------------------------- any link

LinkServer::LinkServer(SessionConfig config, const FontSet& fonts, StatusModel& status,
                       Journal& journal)
    : config_(std::move(config)), fonts_(fonts), status_(status), journal_(journal) {
    store_ = config_.store;
    if (!store_) {
        store_ =
            PageStore::open_for_link(config_.out_dir, config_.prefix, config_.margins, journal_);
    }
    if (config_.open_tap) {
        tap_ = config_.open_tap();
        tap_journal_ = std::make_unique<Journal>(
            journal_, [t = tap_.get()](std::string_view line) { t->journal_line(line); });
    }
    Journal* notes = tap_journal_ ? tap_journal_.get() : &journal_;
    paper_ = std::make_unique<Renderer>(
        fonts_, [this](const Bitmap& b, int) { page(b); },
        [notes](std::string_view t) { notes->note(t); }, config_.paper());
    paper_->set_recording(tap_ != nullptr);
    mech_ = std::make_unique<Mechanism>(config_.machine, status_, *notes);
    wake_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

LinkServer::~LinkServer() {
    stop();
    if (wake_fd_ >= 0) ::close(wake_fd_);
}

void LinkServer::wake() {
    if (wake_fd_ < 0) return;
    const uint64_t one = 1;
    // A counter already set wakes the thread as well: a failed write is no loss.
    if (::write(wake_fd_, &one, sizeof one) < 0) return;
}

void LinkServer::woken() {
    uint64_t n = 0;
    if (::read(wake_fd_, &n, sizeof n) < 0) n = 0;  // nothing was waiting
    if (session_) session_->status_changed();
}

int LinkServer::ms_until(Clock::time_point t) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(t - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 24 * 3600 * 1000));
}

int LinkServer::pump() {
    due_ = mech_->run(Clock::now());
    journal_.flush();
    std::optional<Clock::time_point> next = due_;
    // Uncut paper waits flush_after for more data, once nothing is printing.
    if (flush_after.count() > 0 && paper_->has_paper() && mech_->idle()) {
        const auto flush_at = last_data_ + flush_after;
        if (!next || flush_at < *next) next = flush_at;
    }
    return next ? ms_until(*next) : -1;
}

bool LinkServer::check_power() {
    const bool off = status_.state().power_off;
    if (off == off_) return off;
    off_ = off;
    if (off) {
        mech_->power_off();
        if (!session_) lose_paper();
        power_changed(off);
    } else {
        // Switched on: every mode at its default, the stored images kept. The
        // port is open again before the machine shows itself on.
        paper_->initialize();
        power_changed(off);
        mech_->power_on();
    }
    return off;
}

void LinkServer::lose_paper() {
    // The line being built is gone; what was printed stays, marked.
    paper_->clear_line();
    if (paper_->has_paper()) {
        paper_->mark("-- power lost --");
        paper_->finish();
    }
    paper_->initialize();
    journal_.flush();
}

void LinkServer::start() {
    stop_ = false;
    stop_seen_.reset();
    running_ = false;
    thread_ = std::thread([this] {
        {
            std::lock_guard lock(mu_);
            running_ = true;
        }
        cv_.notify_all();
        run(stop_);
        // Whatever is on the paper when the printer stops is written out.
        if (paper_->has_paper()) {
            journal_.note("writing out uncut paper at exit");
            paper_->finish();
        }
    });
    std::unique_lock lock(mu_);
    cv_.wait(lock, [&] { return running_; });
}

void LinkServer::stop() {
    stop_ = true;
    wake();
    if (thread_.joinable()) thread_.join();
}

int LinkServer::served() const {
    std::lock_guard lock(mu_);
    return served_;
}

bool LinkServer::wait_served(int n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mu_);
    return cv_.wait_for(lock, timeout, [&] { return served_ >= n; });
}

std::vector<std::string> LinkServer::images() const {
    return store_->paths();
}

void LinkServer::page(const Bitmap& b) {
    const PageRecord rec = store_->add(b, source_);
    if (config_.on_page) config_.on_page(b, rec.path);
    if (tap_)
        tap_->page(b, rec.path, paper_->take_content(),
                   session_ ? session_->interpreter().offset() : 0);
}

Session& LinkServer::begin_session(const std::string& source, ReplyWriter& out) {
    source_ = source;
    last_data_ = Clock::now();
    if (tap_) tap_->begin(source);
    session_.emplace(config_, *paper_, status_, tap_journal_ ? *tap_journal_ : journal_,
                     [this](std::span<const uint8_t> b) { mech_->reply(b); });
    session_->attach_machine(mech_.get(), [&out](std::span<const uint8_t> b) { out.send(b); });
    MechanismHooks hooks;
    hooks.feed = [this](std::span<const uint8_t> piece) {
        if (tap_) tap_->received(piece);
        session_->feed(piece);
        if (tap_) tap_->paper(*paper_);
    };
    hooks.dots = [this] { return paper_->dots_fed(); };
    hooks.uncut = [this] { return paper_->has_paper(); };
    hooks.mark = [this](std::string_view label, int back) { paper_->mark(label, back); };
    hooks.send = [&out](std::span<const uint8_t> b) { out.send(b); };
    hooks.clear_input = [this] { session_->drop_input("buffers cleared"); };
    mech_->attach(std::move(hooks));
    return *session_;
}

bool LinkServer::out_of_time(const std::atomic<bool>& stop) {
    if (!stop) return false;
    if (!stop_seen_) stop_seen_ = Clock::now();
    return Clock::now() - *stop_seen_ > STOP_GRACE;
}

bool LinkServer::feed(std::span<const uint8_t> data, const std::atomic<bool>& stop) {
    last_data_ = Clock::now();
    if (stop) mech_->hurry();  // stopping: what came is printed at once, if it may be
    for (size_t at = 0; at < data.size(); at += FEED_PIECE) {
        if (out_of_time(stop)) return false;
        mech_->receive(data.subspan(at, std::min(FEED_PIECE, data.size() - at)), Clock::now());
    }
    journal_.flush();
    return true;
}

void LinkServer::end_session() {
    if (!session_) return;
    if (stop_) {
        // Stopping: what the buffer holds prints at once, unless it is held.
        mech_->hurry();
        mech_->run(Clock::now());
    }
    mech_->detach();
    session_->finish();
    session_.reset();
    journal_.flush();
    {
        std::lock_guard lock(mu_);
        ++served_;
    }
    cv_.notify_all();
}

void LinkServer::tick() {
    if (flush_after.count() <= 0 || !paper_->has_paper() || !mech_->idle()) return;
    if (Clock::now() - last_data_ < flush_after) return;
    journal_.note("no data for " + std::to_string(flush_after.count() / 1000.0).substr(0, 4) +
                  " s: uncut paper written out");
    paper_->finish();
}

// ---------------------------------------------------------------- TCP

TcpServer::~TcpServer() {
    stop();
    if (listen_fd_ >= 0) ::close(listen_fd_);
}

int system_backlog() {
    std::ifstream in("/proc/sys/net/core/somaxconn");
    int n = 0;
    if (in >> n && n > 0) return n;
    return SOMAXCONN;
}

bool TcpServer::listen(const std::string& host, int port, std::string* error) {
    host_ = host;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
        if (error) *error = "not an IPv4 address: " + host;
        return false;
    }
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0) {
        if (error) *error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int one = 1;
    setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // When printing takes time the kernel's share of the receive buffer stays
    // near the printer's own, so that a full printer soon closes the window
    // on the host. Printing at once it stays the system's, as before.
    if (config_.machine.speed_mm_s > 0) {
        const int rcvbuf = static_cast<int>(std::max<size_t>(config_.machine.receive_buffer, 2048));
        setsockopt(listen_fd_, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    }
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listen_fd_, system_backlog()) != 0) {
        if (error)
            *error = "cannot listen on " + host + ":" + std::to_string(port) + ": " +
                     std::strerror(errno);
        ::close(listen_fd_);
        listen_fd_ = -1;
        return false;
    }
    socklen_t len = sizeof addr;
    getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    return true;
}

void TcpServer::power_changed(bool off) {
    if (off) {
        // A printer switched off takes no connection: hosts are refused.
        if (listen_fd_ >= 0) ::close(listen_fd_);
        listen_fd_ = -1;
        journal_.note("power off: not listening on " + host_ + ":" + std::to_string(port_));
        return;
    }
    std::string why;
    if (!listen(host_, port_, &why)) journal_.note("power on: " + why);
}

void TcpServer::run(const std::atomic<bool>& stop) {
    while (!stop) {
        const bool off = check_power();
        const int timeout = pump();
        pollfd pfd[2] = {{wake_fd(), POLLIN, 0}, {listen_fd_, POLLIN, 0}};
        const nfds_t n = off || listen_fd_ < 0 ? 1 : 2;
        // Nothing due: sleep until a host, a status change or a stop wakes it.
        const int r = ::poll(pfd, n, timeout);
        if (pfd[0].revents & POLLIN) woken();
        tick();
        if (r <= 0 || n < 2 || !(pfd[1].revents & POLLIN)) continue;
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        const int fd =
            ::accept4(listen_fd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        if (fd < 0) continue;
        char ip[INET_ADDRSTRLEN] = "?";
        inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof ip);
        serve_connection(fd, std::string(ip) + ":" + std::to_string(ntohs(peer.sin_port)), stop);
        ::close(fd);
    }
}

void TcpServer::take_last_bytes(int fd, std::vector<uint8_t>& buf, const std::atomic<bool>& stop) {
    // What the host sent before the stop is still printed, briefly.
    for (;;) {
        const size_t room = mechanism().take_now(buf.size());
        if (room == 0) return;
        const ssize_t k = ::recv(fd, buf.data(), room, MSG_DONTWAIT);
        if (k <= 0 || !feed({buf.data(), static_cast<size_t>(k)}, stop)) return;
    }
}

void TcpServer::serve_connection(int fd, const std::string& peer, const std::atomic<bool>& stop) {
    journal_.note("connection from " + peer);
    ReplyWriter out(fd, true, max_unsent, journal_);
    Session& s = begin_session("tcp " + peer, out);
    std::vector<uint8_t> buf(64 * 1024);
    // The idle clock starts again only once TRICKLE_BYTES more have come.
    auto window_start = Clock::now();
    size_t window_bytes = 0;
    bool ended = false;  // the host sent its last byte (or its link failed)
    bool failed = false;
    bool power_cut = false;
    for (;;) {
        if (stop) {
            if (!ended) take_last_bytes(fd, buf, stop);
            break;
        }
        if (check_power()) {
            power_cut = true;
            break;
        }
        int timeout = pump();
        // The host is done and everything it sent has printed.
        if (ended && mechanism().idle()) break;
        // A full receive buffer stops the reading: the host's writes block.
        const bool reading = !ended && mechanism().room() > 0;
        const bool idle_clock = idle_timeout.count() > 0 && reading && mechanism().idle();
        if (!idle_clock) window_start = Clock::now();
        if (idle_clock) {
            const int idle_ms = ms_until(window_start + idle_timeout);
            timeout = timeout < 0 ? idle_ms : std::min(timeout, idle_ms);
        }
        const short events =
            static_cast<short>((reading ? POLLIN : 0) | (out.pending() && !failed ? POLLOUT : 0));
        pollfd pfd[2] = {{wake_fd(), POLLIN, 0}, {fd, events, 0}};
        const int r = ::poll(pfd, failed ? 1 : 2, timeout);
        if (r < 0 && errno != EINTR) break;
        if (pfd[0].revents & POLLIN) woken();
        if (!failed && (pfd[1].revents & POLLOUT)) out.flush();
        if (!failed && (pfd[1].revents & (POLLERR | POLLHUP)) && !(pfd[1].revents & POLLIN)) {
            failed = ended = true;  // reset by the host: what it sent still prints
            continue;
        }
        if (reading && (pfd[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            const size_t room = mechanism().take_now(buf.size());
            const ssize_t k = ::recv(fd, buf.data(), room, MSG_DONTWAIT);
            if (k < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
            if (k <= 0) {
                ended = true;
                failed = k < 0;
                continue;
            }
            if (!feed({buf.data(), static_cast<size_t>(k)}, stop)) break;
            window_bytes += static_cast<size_t>(k);
            if (window_bytes >= TRICKLE_BYTES) {
                window_start = Clock::now();
                window_bytes = 0;
            }
        }
        if (idle_clock && Clock::now() - window_start > idle_timeout) {
            journal_.note(window_bytes == 0
                              ? "connection idle; closed"
                              : "connection only trickles (" + std::to_string(window_bytes) +
                                    " bytes in " + std::to_string(idle_timeout.count()) +
                                    " ms); closed");
            break;
        }
        tick();
    }
    out.flush();  // what the host's link takes now; the rest is lost with it
    const uint64_t bytes = s.interpreter().offset() + s.interpreter().buffered();
    // The connection is reset, as when a printer's power goes.
    const linger hard{1, 0};
    if (power_cut) setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    end_session();
    if (power_cut) lose_paper();
    journal_.note("connection from " + peer + (power_cut ? " reset (power off)" : " closed") +
                  " after " + std::to_string(bytes) + " bytes");
}

// ---------------------------------------------------------------- serial

PtyServer::~PtyServer() {
    stop();
    if (master_ >= 0) ::close(master_);
    if (watch_ >= 0) ::close(watch_);
    if (!link_.empty()) ::unlink(link_.c_str());
}

bool PtyServer::open(const std::string& link, std::string* error) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        if (error) *error = std::string("pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    const char* name = ::ptsname(master_);
    if (!name) {
        if (error) *error = "ptsname failed";
        return false;
    }
    slave_ = name;
    termios t{};
    if (tcgetattr(master_, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
    }
    // Hang-up on the master side is a level, not an event: a host that closes
    // the port and another that opens it soon after would leave no trace of
    // the gap. Every open and close of the slave side is an event here, in
    // order, however close together they come.
    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ < 0 || ::inotify_add_watch(watch_, slave_.c_str(),
                                          IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        if (error) *error = std::string("cannot watch ") + slave_ + ": " + std::strerror(errno);
        return false;
    }
    // Replace an old link, but never a file that is not one.
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            if (error) *error = link + " exists and is not a symbolic link";
            return false;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(slave_.c_str(), link.c_str()) != 0) {
        if (error) *error = "cannot create the link " + link + ": " + std::strerror(errno);
        return false;
    }
    link_ = link;
    return true;
}

void PtyServer::drain(std::vector<uint8_t>& buf, const std::atomic<bool>& stop) {
    for (int round = 0; round < 64 && !out_of_time(stop); ++round) {
        // A full receive buffer stops the reading: the host's writes block
        // once the pseudo-terminal's own buffer is full too.
        const bool off = power_is_off();
        const size_t room = off ? buf.size() : mechanism().take_now(buf.size());
        if (room == 0) return;
        const ssize_t k = ::read(master_, buf.data(), room);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return;  // EAGAIN: nothing more now; EIO: no host has the port open
        if (off) {
            journal_.note("power off: " + std::to_string(k) +
                          " serial bytes fell on a dead printer");
            continue;
        }
        if (!session_open()) {
            journal_.note("serial host opened " + link_);
            out_.emplace(master_, false, max_unsent, journal_);
            begin_session("serial " + link_, *out_);
        }
        feed({buf.data(), static_cast<size_t>(k)}, stop);
    }
}

void PtyServer::close_session() {
    if (!session_open()) return;
    const uint64_t bytes = current().interpreter().offset() + current().interpreter().buffered();
    end_session();
    // Replies the host left unread stay queued: when a host reopens the port
    // at once its first bytes may have been read into this session, and their
    // replies are its own. Hosts drop stale input before a query anyway.
    out_.reset();
    journal_.note("serial host closed the port after " + std::to_string(bytes) + " bytes");
}

void PtyServer::run(const std::atomic<bool>& stop) {
    std::vector<uint8_t> buf(64 * 1024);
    alignas(inotify_event) char events[4096];
    int opens = 0;  // descriptors the hosts hold on the slave side
    while (!stop) {
        if (check_power() && session_open()) {
            close_session();
            lose_paper();
            closing_ = false;
        }
        // The host closed the port: its session ends once what it sent has printed.
        if (closing_ && mechanism().idle()) {
            closing_ = false;
            close_session();
        }
        const int timeout = pump();
        pollfd pfd[3] = {{wake_fd(), POLLIN, 0}, {watch_, POLLIN, 0}, {master_, 0, 0}};
        // While no host holds the port, the master reports hang-up without
        // end: it is only watched once a host has opened the port.
        const bool reading = power_is_off() || mechanism().room() > 0;
        if (opens > 0)
            pfd[2].events = static_cast<short>((reading ? POLLIN : 0) |
                                               (out_ && out_->pending() ? POLLOUT : 0));
        const int r = ::poll(pfd, opens > 0 ? 3 : 2, timeout);
        if (r < 0 && errno != EINTR) break;
        if (pfd[0].revents & POLLIN) woken();
        if (opens > 0 && (pfd[2].revents & POLLOUT) && out_) out_->flush();
        // Bytes that are there now were written before any close still queued.
        if (opens > 0) drain(buf, stop);
        const ssize_t n = ::read(watch_, events, sizeof events);
        for (ssize_t at = 0; at < n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(events + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            if (ev->mask & IN_OPEN) {
                ++opens;
                closing_ = false;  // read on in the same session, as a serial line does
            } else if (ev->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
                if (opens > 0 && --opens == 0) {
                    drain(buf, stop);  // the closing host's last bytes
                    if (mechanism().idle())
                        close_session();
                    else
                        closing_ = session_open();
                }
            } else if (ev->mask & IN_Q_OVERFLOW) {
                opens = 1;  // unknown: read on until the master reports hang-up
            }
        }
        if (opens > 0 && (pfd[2].revents & POLLHUP) && !(pfd[2].revents & POLLIN)) {
            opens = 0;  // events were lost; the hang-up tells the port is free
            if (mechanism().idle())
                close_session();
            else
                closing_ = session_open();
        }
        tick();
    }
    if (opens > 0) drain(buf, stop);
    if (out_) out_->flush();
    close_session();
}

}  // namespace quorvel::printer
