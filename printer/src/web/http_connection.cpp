// SPDX-License-Identifier: MIT
// One HTTP connection as a small state machine on a strand: read a request,
// answer it, wait for the next. One deadline timer per phase, which bytes
// never push back; and the acceptor, which admits connections within the
// per-peer and total bounds.
#include <cctype>

#include "web/http_server_impl.h"

namespace quorvel::printer {

using Clock = std::chrono::steady_clock;

namespace {

// Waiting replies look for a receipt this often; event streams are woken
// by the hub on news, and look for paper news (at most every 100 ms) and
// closed hubs this often.
constexpr auto POLL = std::chrono::milliseconds(50);
constexpr auto STREAM_TICK = std::chrono::milliseconds(100);
// An event stream with nothing to say sends a comment this often, so that
// proxies keep it open.
constexpr auto STREAM_COMMENT = std::chrono::seconds(5);
// After a refusal the client's unread bytes are read and dropped for this
// long, up to this much, so that it gets the answer rather than a reset.
constexpr auto LINGER_TIME = std::chrono::seconds(1);
constexpr size_t LINGER_BYTES = 1 << 20;
// Connections being refused at once; past it they are just closed.
constexpr size_t MAX_REFUSING = 256;

// On every answer.
const std::pair<const char*, const char*> SECURITY_HEADERS[] = {
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Cross-Origin-Resource-Policy", "same-origin"},
    {"Referrer-Policy", "no-referrer"},
};
// Answers other than the page: nothing may load from them or frame them.
constexpr const char* API_POLICY = "default-src 'none'; frame-ancestors 'none'";

std::string seconds(std::chrono::milliseconds d) {
    return std::to_string(d.count() / 1000.0).substr(0, 4) + " s";
}

}  // namespace

class Connection : public std::enable_shared_from_this<Connection> {
  public:
    Connection(HttpServer::Impl& server, tcp::socket socket, std::string peer, bool counted)
        : server_(server),
          limits_(server.limits),
          socket_(std::move(socket)),
          deadline_(socket_.get_executor()),
          tick_(socket_.get_executor()),
          buffer_(server.limits.header_bytes + server.limits.max_body + 4096),
          peer_(std::move(peer)),
          counted_(counted) {}

    ~Connection() {
        if (stream_) hub_->unsubscribe(stream_);
        std::lock_guard lock(server_.mu);
        if (!counted_) {
            --server_.refusing;
            return;
        }
        --server_.open;
        if (--server_.per_peer[peer_] == 0) server_.per_peer.erase(peer_);
        server_.connections.erase(slot_);
    }

    std::list<HttpServer::Impl::Slot>::iterator slot_;
    // Only waiting for a request: may be closed to make room for another.
    const std::shared_ptr<std::atomic<bool>> awaiting_request_ =
        std::make_shared<std::atomic<bool>>(false);
    net::any_io_executor executor() { return socket_.get_executor(); }

    void start() {
        arm(limits_.request_time);
        read_request();
    }

    void refuse(const std::string& why) { respond(error_reply(503, why), true); }

    void evict() { close(); }

  private:
    enum class Phase { request, idle, busy, reply, stream, closing, closed };

    // One deadline for the phase at hand; re-armed only between phases.
    void arm(std::chrono::milliseconds d) {
        deadline_.expires_after(d);
        deadline_.async_wait([w = weak_from_this()](error_code ec) {
            if (auto self = w.lock(); self && !ec) self->on_deadline();
        });
    }

    void on_deadline() {
        if (phase_ == Phase::request) {
            timed_out_ = true;  // the read ends, and its handler answers 408
            error_code ec;
            socket_.cancel(ec);
        } else {
            close();
        }
    }

    void close() {
        if (phase_ == Phase::closed) return;
        phase_ = Phase::closed;
        *awaiting_request_ = false;
        error_code ec;
        socket_.shutdown(tcp::socket::shutdown_both, ec);
        socket_.close(ec);
        deadline_.cancel();
        tick_.cancel();
    }

    // --- reading a request --------------------------------------------------
    void read_request() {
        phase_ = Phase::request;
        *awaiting_request_ = true;
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(limits_.header_bytes));
        parser_->body_limit(limits_.max_body);
        http::async_read_header(
            socket_, buffer_, *parser_,
            [self = shared_from_this()](error_code ec, size_t) { self->on_header(ec); });
    }

    // Between requests on a kept-alive connection.
    void await_next() {
        if (++served_ >= limits_.requests_per_connection) return linger_close();
        if (buffer_.size() > 0) {  // a pipelined request is already here
            arm(limits_.request_time);
            return read_request();
        }
        phase_ = Phase::idle;
        *awaiting_request_ = true;
        arm(limits_.idle_time);
        socket_.async_wait(tcp::socket::wait_read, [self = shared_from_this()](error_code ec) {
            if (ec || self->phase_ != Phase::idle) return self->close();
            self->arm(self->limits_.request_time);
            self->read_request();
        });
    }

    void read_failed(error_code ec) {
        if (phase_ == Phase::closed) return;
        if (timed_out_)
            return fail(408,
                        "the request did not arrive whole within " + seconds(limits_.request_time));
        if (ec == http::error::end_of_stream || ec == net::error::operation_aborted) return close();
        if (ec == http::error::header_limit)  // no request line yet: the URL is too long
            return parser_->get().target().empty() ? fail(414, "request URI too long")
                                                   : fail(431, "request headers too large");
        if (ec == http::error::body_limit) return fail(413, "request body too large");
        if (ec == http::error::buffer_overflow)
            return parser_->is_header_done() ? fail(413, "request body too large")
                                             : fail(431, "request headers too large");
        if (ec.category() == make_error_code(http::error::bad_target).category())
            return fail(400, "bad request");
        close();  // the client went away
    }

    void on_header(error_code ec) {
        if (ec) return read_failed(ec);
        auto& req = parser_->get();
        head_ = req.method() == http::verb::head;
        keep_alive_ = req.keep_alive();
        if (req.version() != 10 && req.version() != 11)
            return fail(400, "only HTTP/1.0 and HTTP/1.1 are spoken here");
        const std::string_view target = sv(req.target());
        if (target.size() > limits_.target_bytes) return fail(414, "request URI too long");
        if (static_cast<size_t>(std::distance(req.begin(), req.end())) > limits_.header_count)
            return fail(431, "more than " + std::to_string(limits_.header_count) + " header lines");
        if (target.empty() || target[0] != '/') return fail(400, "bad request target");
        const size_t q = target.find('?');
        path_ = std::string(target.substr(0, q));
        query_ = q == std::string_view::npos ? "" : std::string(target.substr(q + 1));
        if (auto refusal = server_.screen(req, path_, query_)) {
            // A malformed request (no or a bad Host) ends the connection: what
            // follows it on the wire cannot be trusted to be a request.
            const bool close_after = !parser_->is_done() || !keep_alive_ || refusal->status == 400;
            return respond(std::move(*refusal), close_after);
        }
        if (parser_->is_done()) return on_request();
        auto read_body = [self = shared_from_this()] {
            http::async_read(self->socket_, self->buffer_, *self->parser_,
                             [self](error_code ec, size_t) {
                                 if (ec) return self->read_failed(ec);
                                 self->on_request();
                             });
        };
        if (beast::iequals(req[http::field::expect], "100-continue")) {
            static const std::string CONTINUE = "HTTP/1.1 100 Continue\r\n\r\n";
            return net::async_write(socket_, net::buffer(CONTINUE),
                                    [self = shared_from_this(), read_body](error_code ec, size_t) {
                                        if (ec) return self->close();
                                        read_body();
                                    });
        }
        read_body();
    }

    void on_request() {
        phase_ = Phase::busy;
        *awaiting_request_ = false;
        auto& req = parser_->get();
        HttpRequest r{std::string(sv(req.method_string()).substr(0, 16)), path_, query_,
                      std::move(req.body())};
        HttpReply reply = server_.route(r);
        // A refused event stream (503) ends the connection, so a client
        // waiting for the stream is not left waiting for the idle time-out.
        const bool close_after = !keep_alive_ || reply.status == 503;
        respond(std::move(reply), close_after);
    }

    void fail(unsigned status, const std::string& why) { respond(error_reply(status, why), true); }

    // --- answering ------------------------------------------------------------
    void respond(HttpReply r, bool close_after) {
        if (phase_ == Phase::closed) return;
        *awaiting_request_ = false;
        if (r.stream) return start_stream(std::move(r));
        if (r.wait) {
            phase_ = Phase::busy;
            waiting_ = std::move(r);
            close_after_ = close_after;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                waiting_->until - Clock::now());
            arm(left + limits_.reply_time);
            return poll_wait();
        }
        auto res = std::make_shared<http::response<http::string_body>>(
            static_cast<http::status>(r.status), parser_ ? parser_->get().version() : 11);
        res->set(http::field::content_type, r.type);
        bool policy = false;
        for (const auto& [name, value] : r.headers) {
            res->set(name, value);
            policy |= beast::iequals(name, "Content-Security-Policy");
        }
        for (const auto& [name, value] : SECURITY_HEADERS) res->set(name, value);
        if (!policy) res->set("Content-Security-Policy", API_POLICY);
        res->body() = std::move(r.body);
        res->keep_alive(!close_after);
        res->prepare_payload();
        if (head_) res->body().clear();  // Content-Length stays that of GET
        phase_ = Phase::reply;
        arm(limits_.reply_time);
        http::async_write(socket_, *res,
                          [self = shared_from_this(), res, close_after](error_code ec, size_t) {
                              if (ec || self->phase_ == Phase::closed) return self->close();
                              if (close_after) return self->linger_close();
                              self->await_next();
                          });
    }

    void poll_wait() {
        if (phase_ == Phase::closed) return;
        auto answer = waiting_->wait(Clock::now() >= waiting_->until);
        if (answer) {
            waiting_.reset();
            return respond(std::move(*answer), close_after_);
        }
        tick_.expires_after(POLL);
        tick_.async_wait([self = shared_from_this()](error_code ec) {
            if (!ec) self->poll_wait();
        });
    }

    // Shuts the sending side, then reads and drops what the client still
    // sends for a moment, so that it reads the answer instead of a reset.
    void linger_close() {
        phase_ = Phase::closing;
        *awaiting_request_ = true;
        error_code ec;
        socket_.shutdown(tcp::socket::shutdown_send, ec);
        arm(LINGER_TIME);
        drain();
    }

    void drain() {
        socket_.async_read_some(net::buffer(scratch_),
                                [self = shared_from_this()](error_code ec, size_t n) {
                                    self->drained_ += n;
                                    if (ec || self->drained_ > LINGER_BYTES) return self->close();
                                    self->drain();
                                });
    }

    // --- event streams ----------------------------------------------------------
    void start_stream(HttpReply r) {
        phase_ = Phase::stream;
        hub_ = r.hub;
        stream_ = std::move(r.stream);
        std::string head = "HTTP/1.1 200 OK\r\nContent-Type: " + r.type + "\r\n";
        for (const auto& [name, value] : r.headers) head += name + ": " + value + "\r\n";
        for (const auto& [name, value] : SECURITY_HEADERS)
            head += std::string(name) + ": " + value + "\r\n";
        head += "Content-Security-Policy: " + std::string(API_POLICY) + "\r\n";
        head += "Connection: close\r\n\r\n";
        out_ = head + r.body;
        {
            std::lock_guard lock(server_.mu);
            std::erase_if(server_.streams, [](const auto& w) { return w.expired(); });
            server_.streams.push_back(weak_from_this());
        }
        // A page that goes away ends the stream at once: its socket reads
        // as closed. Anything it sends is dropped.
        watch();
        pump();
    }

    void watch() {
        socket_.async_read_some(net::buffer(scratch_),
                                [self = shared_from_this()](error_code ec, size_t) {
                                    if (ec) return self->close();
                                    self->watch();
                                });
    }

  public:
    // Sends what the hub has for this stream; also every STREAM_TICK.
    void pump() {
        if (phase_ != Phase::stream) return;
        if (!writing_) {
            if (hub_->closed() || hub_->dropped(stream_)) return close();
            while (out_.size() < 64 * 1024)
                if (auto frame = hub_->next(stream_, std::chrono::milliseconds(0)))
                    out_ += *frame;
                else
                    break;
            if (out_.empty() && Clock::now() - last_write_ >= STREAM_COMMENT) out_ = ":\n\n";
            if (!out_.empty()) {
                writing_ = true;
                sending_ = std::move(out_);
                out_.clear();
                arm(limits_.reply_time);  // a page that stops reading is closed
                net::async_write(socket_, net::buffer(sending_),
                                 [self = shared_from_this()](error_code ec, size_t) {
                                     if (ec) return self->close();
                                     self->writing_ = false;
                                     self->last_write_ = Clock::now();
                                     self->deadline_.cancel();
                                     self->pump();
                                 });
            }
        }
        tick_.expires_after(STREAM_TICK);
        tick_.async_wait([self = shared_from_this()](error_code ec) {
            if (!ec) self->pump();
        });
    }

  private:
    HttpServer::Impl& server_;
    const HttpLimits& limits_;
    tcp::socket socket_;
    net::steady_timer deadline_;
    net::steady_timer tick_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    const std::string peer_;
    const bool counted_;
    Phase phase_ = Phase::request;
    bool timed_out_ = false;
    bool head_ = false;
    bool keep_alive_ = false;
    bool close_after_ = false;
    size_t served_ = 0;
    size_t drained_ = 0;
    std::string path_, query_;
    std::optional<HttpReply> waiting_;
    std::array<char, 4096> scratch_{};
    // Event stream.
    EventHub* hub_ = nullptr;
    std::shared_ptr<EventHub::Subscriber> stream_;
    std::string out_, sending_;
    bool writing_ = false;
    Clock::time_point last_write_ = Clock::now();
};

void HttpServer::Impl::wake_streams() {
    std::vector<std::shared_ptr<Connection>> live;
    {
        std::lock_guard lock(mu);
        for (const auto& w : streams)
            if (auto c = w.lock()) live.push_back(std::move(c));
    }
    // Outside the lock: the last reference may go here, and a connection's
    // destructor takes the lock.
    for (auto& c : live) net::post(c->executor(), [c] { c->pump(); });
}

void HttpServer::Impl::accept() {
    acceptor->async_accept(net::make_strand(ioc), [this](error_code ec, tcp::socket socket) {
        if (ec == net::error::operation_aborted || !acceptor->is_open()) return;
        if (ec) {  // out of descriptors, say: try again shortly, without spinning
            accept_pause->expires_after(std::chrono::milliseconds(100));
            accept_pause->async_wait([this](error_code e) {
                if (!e) accept();
            });
            return;
        }
        admit(std::move(socket));
        accept();
    });
}

void HttpServer::Impl::admit(tcp::socket socket) {
    error_code ec;
    const auto remote = socket.remote_endpoint(ec);
    if (ec) return;
    socket.set_option(tcp::no_delay(true), ec);
    const std::string peer = remote.address().to_string();
    std::shared_ptr<Connection> conn;
    std::weak_ptr<Connection> victim;
    std::string why;
    {
        std::lock_guard lock(mu);
        const auto mine = per_peer.find(peer);
        if (mine != per_peer.end() && mine->second >= limits.per_peer) {
            why = "too many connections from " + peer;
        } else if (open >= limits.connections) {
            // Room is made by closing the oldest connection that is only
            // waiting for a request; if every one is busy, the newcomer is refused.
            bool found = false;
            for (const Slot& slot : connections) {
                bool expected = true;
                if (slot.waiting->compare_exchange_strong(expected, false)) {
                    victim = slot.connection;
                    found = true;
                    break;
                }
            }
            if (!found) why = "too many connections";
        }
        if (why.empty()) {
            ++open;
            ++per_peer[peer];
            conn = std::make_shared<Connection>(*this, std::move(socket), peer, true);
            conn->slot_ =
                connections.insert(connections.end(), Slot{conn, conn->awaiting_request_});
        } else if (refusing < MAX_REFUSING) {
            ++refusing;
            conn = std::make_shared<Connection>(*this, std::move(socket), peer, false);
        }
    }
    if (auto v = victim.lock()) net::post(v->executor(), [v] { v->evict(); });
    if (!conn) return;  // closed as it goes
    net::post(conn->executor(), [conn, why] {
        if (why.empty())
            conn->start();
        else
            conn->refuse(why);
    });
}

}  // namespace quorvel::printer
