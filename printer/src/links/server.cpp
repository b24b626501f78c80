// SPDX-License-Identifier: MIT
#include "links/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
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
}

LinkServer::~LinkServer() {
    stop();
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
                     [&out](std::span<const uint8_t> b) { out.send(b); });
    return *session_;
}

bool LinkServer::out_of_time(const std::atomic<bool>& stop) {
    if (!stop) return false;
    if (!stop_seen_) stop_seen_ = Clock::now();
    return Clock::now() - *stop_seen_ > STOP_GRACE;
}

bool LinkServer::feed(std::span<const uint8_t> data, const std::atomic<bool>& stop) {
    last_data_ = Clock::now();
    for (size_t at = 0; at < data.size(); at += FEED_PIECE) {
        if (out_of_time(stop)) return false;
        const auto piece = data.subspan(at, std::min(FEED_PIECE, data.size() - at));
        if (tap_) tap_->received(piece);
        session_->feed(piece);
        if (tap_) tap_->paper(*paper_);
    }
    journal_.flush();
    return true;
}

void LinkServer::end_session() {
    if (!session_) return;
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
    if (flush_after.count() <= 0 || !paper_->has_paper()) return;
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

void TcpServer::run(const std::atomic<bool>& stop) {
    while (!stop) {
        pollfd pfd{listen_fd_, POLLIN, 0};
        const int r = ::poll(&pfd, 1, POLL_MS);
        tick();
        if (r <= 0) continue;
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

void TcpServer::serve_connection(int fd, const std::string& peer, const std::atomic<bool>& stop) {
    journal_.note("connection from " + peer);
    ReplyWriter out(fd, true, max_unsent, journal_);
    Session& s = begin_session("tcp " + peer, out);
    std::vector<uint8_t> buf(64 * 1024);
    // The idle clock starts again only once TRICKLE_BYTES more have come.
    auto window_start = Clock::now();
    size_t window_bytes = 0;
    for (;;) {
        if (stop) {
            // What the host sent before the stop is still printed, briefly.
            for (;;) {
                const ssize_t k = ::recv(fd, buf.data(), buf.size(), MSG_DONTWAIT);
                if (k <= 0 || !feed({buf.data(), static_cast<size_t>(k)}, stop)) break;
            }
            break;
        }
        pollfd pfd{fd, static_cast<short>(POLLIN | (out.pending() ? POLLOUT : 0)), 0};
        const int r = ::poll(&pfd, 1, POLL_MS);
        if (r < 0 && errno != EINTR) break;
        if (r > 0 && (pfd.revents & POLLOUT)) out.flush();
        if (r > 0 && (pfd.revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t k = ::recv(fd, buf.data(), buf.size(), MSG_DONTWAIT);
            if (k < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
            if (k <= 0) break;
            if (!feed({buf.data(), static_cast<size_t>(k)}, stop)) break;
            window_bytes += static_cast<size_t>(k);
            if (window_bytes >= TRICKLE_BYTES) {
                window_start = Clock::now();
                window_bytes = 0;
            }
        }
        if (idle_timeout.count() > 0 && Clock::now() - window_start > idle_timeout) {
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
    end_session();
    journal_.note("connection from " + peer + " closed after " + std::to_string(bytes) + " bytes");
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
        const ssize_t k = ::read(master_, buf.data(), buf.size());
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return;  // EAGAIN: nothing more now; EIO: no host has the port open
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
        pollfd pfd[2] = {{watch_, POLLIN, 0}, {master_, 0, 0}};
        // While no host holds the port, the master reports hang-up without
        // end: it is only watched once a host has opened the port.
        if (opens > 0)
            pfd[1].events = static_cast<short>(POLLIN | (out_ && out_->pending() ? POLLOUT : 0));
        const int r = ::poll(pfd, opens > 0 ? 2 : 1, POLL_MS);
        if (r < 0 && errno != EINTR) break;
        if (opens > 0 && (pfd[1].revents & POLLOUT) && out_) out_->flush();
        // Bytes that are there now were written before any close still queued.
        if (opens > 0) drain(buf, stop);
        const ssize_t n = ::read(watch_, events, sizeof events);
        for (ssize_t at = 0; at < n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(events + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            if (ev->mask & IN_OPEN) {
                ++opens;
            } else if (ev->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
                if (opens > 0 && --opens == 0) {
                    drain(buf, stop);  // the closing host's last bytes
                    close_session();
                }
            } else if (ev->mask & IN_Q_OVERFLOW) {
                opens = 1;  // unknown: read on until the master reports hang-up
            }
        }
        if (opens > 0 && (pfd[1].revents & POLLHUP) && !(pfd[1].revents & POLLIN)) {
            opens = 0;  // events were lost; the hang-up tells the port is free
            close_session();
        }
        tick();
    }
    if (opens > 0) drain(buf, stop);
    if (out_) out_->flush();
    close_session();
}

}  // namespace quorvel::printer
