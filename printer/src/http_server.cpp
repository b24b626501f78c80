// SPDX-License-Identifier: MIT
#include "http_server.h"

#include <arpa/inet.h>
#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <deque>
#include <nlohmann/json.hpp>
#include <regex>

namespace quorvel::printer {

using nlohmann::json;

namespace {

// A fixed set of workers and a bounded queue: when both are full the
// acceptor waits, and further clients wait in the kernel's listen queue.
class BoundedPool : public httplib::TaskQueue {
  public:
    BoundedPool(size_t workers, size_t queued) : max_queued_(queued) {
        for (size_t i = 0; i < workers; ++i) threads_.emplace_back([this] { work(); });
    }

    void enqueue(std::function<void()> fn) override {
        std::unique_lock lock(mu_);
        space_.wait(lock, [&] { return jobs_.size() < max_queued_ || shutdown_; });
        jobs_.push_back(std::move(fn));
        ready_.notify_one();
    }

    void shutdown() override {
        {
            std::lock_guard lock(mu_);
            shutdown_ = true;
        }
        ready_.notify_all();
        space_.notify_all();
        for (auto& t : threads_) t.join();
    }

  private:
    void work() {
        for (;;) {
            std::function<void()> fn;
            {
                std::unique_lock lock(mu_);
                ready_.wait(lock, [&] { return !jobs_.empty() || shutdown_; });
                if (jobs_.empty()) return;
                fn = std::move(jobs_.front());
                jobs_.pop_front();
            }
            space_.notify_one();
            fn();
        }
    }

    const size_t max_queued_;
    std::mutex mu_;
    std::condition_variable ready_, space_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> threads_;
    bool shutdown_ = false;
};

void send_json(httplib::Response& res, const json& j, int status = 200) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(j.dump(), "application/json");
}

void send_error(httplib::Response& res, int status, const std::string& message) {
    send_json(res, {{"error", message}}, status);
}

const char* paper_name(Paper p) {
    return p == Paper::OK ? "ok" : p == Paper::NEAR_END ? "near_end" : "out";
}

std::string hex_byte(uint8_t b) {
    char s[3];
    std::snprintf(s, sizeof s, "%02X", b);
    return s;
}

json status_json(const StatusModel& status) {
    const PrinterState s = status.state();
    json dle = json::array();
    for (int n = 1; n <= 4; ++n) dle.push_back(hex_byte(status.dle_eot(n)));
    return {{"paper", paper_name(s.paper)},
            {"cover", s.cover_open ? "open" : "closed"},
            {"drawer", s.drawer_open ? "open" : "closed"},
            {"drawer_reads_open", status.drawer_open()},
            {"online", !s.offline},
            {"reports_offline", status.offline()},
            {"never_answer", s.silent},
            {"replies", {{"dle_eot", dle}, {"esc_v", hex_byte(status.esc_v())}}}};
}

// Applies a JSON object of switches to `state`; an error message when the
// body is not one.
std::string apply_status(const std::string& body, PrinterState* state) {
    const json j = json::parse(body, nullptr, false);
    if (j.is_discarded()) return "body is not JSON";
    if (!j.is_object() || j.empty()) return "body must be a JSON object of switches";
    for (const auto& item : j.items()) {
        const std::string& key = item.key();
        const json& v = item.value();
        auto word = [&](std::initializer_list<const char*> allowed) -> std::string {
            if (!v.is_string()) return {};
            const std::string w = v.get<std::string>();
            for (const char* a : allowed)
                if (w == a) return w;
            return {};
        };
        if (key == "paper") {
            const std::string w = word({"ok", "near_end", "near-end", "out"});
            if (w.empty()) return "paper must be \"ok\", \"near_end\" or \"out\"";
            state->paper = w == "ok" ? Paper::OK : w == "out" ? Paper::OUT : Paper::NEAR_END;
        } else if (key == "cover" || key == "drawer") {
            const std::string w = word({"open", "closed"});
            if (w.empty()) return key + " must be \"open\" or \"closed\"";
            (key == "cover" ? state->cover_open : state->drawer_open) = w == "open";
        } else if (key == "online" || key == "never_answer") {
            if (!v.is_boolean()) return key + " must be true or false";
            if (key == "online")
                state->offline = !v.get<bool>();
            else
                state->silent = v.get<bool>();
        } else {
            return "unknown switch \"" + key + "\"";
        }
    }
    return {};
}

struct Route {
    std::regex path;
    const char* methods;  // allowed, as in an Allow header
};

// The optional printer part of every API path: group 1 is the name.
#define API_PATH R"(/api(?:/printers/([A-Za-z0-9_\-]{1,64}))?)"

int receipt_id(const httplib::Request& req) {
    return std::stoi(req.matches[2].str());  // at most 9 digits by the route
}

json printer_json(const WebPrinter& p) {
    const Profile& f = *p.profile;
    return {{"name", p.name},
            {"profile", f.name},
            {"paper_mm", f.paper_mm},
            {"dots", f.dots},
            {"columns", f.columns_a()},
            {"receipts", p.store.list().size()},
            {"uncut_height", p.store.paper_height()},
            {"api", "/api/printers/" + p.name}};
}

}  // namespace

bool parse_http_address(const std::string& text, std::string* host, int* port) {
    std::smatch m;
    static const std::regex FORM(R"(^(\[[0-9A-Fa-f:.]+\]|[A-Za-z0-9.\-]+):(\d{1,5})$)");
    if (!std::regex_match(text, m, FORM)) return false;
    const int p = std::stoi(m[2].str());
    if (p > 65535) return false;
    std::string h = m[1].str();
    if (h.front() == '[') h = h.substr(1, h.size() - 2);
    *host = h;
    *port = p;
    return true;
}

bool is_loopback(const std::string& host) {
    // Only "localhost" and address literals: a name such as "127.x.example"
    // is whatever its DNS says, which may change between two requests.
    std::string h = host;
    std::transform(h.begin(), h.end(), h.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (h == "localhost" || h == "localhost.") return true;
    in_addr v4{};
    if (inet_pton(AF_INET, h.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    return inet_pton(AF_INET6, h.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

std::string host_name_of(const std::string& host_header) {
    if (!host_header.empty() && host_header.front() == '[') {
        const size_t end = host_header.find(']');
        return end == std::string::npos ? host_header : host_header.substr(1, end - 1);
    }
    const size_t colon = host_header.find(':');
    if (colon != std::string::npos && host_header.find(':', colon + 1) == std::string::npos)
        return host_header.substr(0, colon);
    return host_header;
}

HttpServer::HttpServer(std::vector<WebPrinter> printers, HttpLimits limits)
    : printers_(std::move(printers)),
      limits_(limits),
      server_(std::make_unique<httplib::Server>()) {
    limits_.event_streams = std::min(limits_.event_streams, limits_.workers - 1);
    routes();
}

HttpServer::~HttpServer() {
    stop();
}

bool HttpServer::listen(const std::string& host, int port, std::string* error) {
    if (port == 0)
        port_ = server_->bind_to_any_port(host);
    else
        port_ = server_->bind_to_port(host, port) ? port : -1;
    if (port_ <= 0) {
        if (error) *error = "cannot listen for HTTP on " + host + ":" + std::to_string(port);
        return false;
    }
    loopback_only_ = is_loopback(host);
    return true;
}

void HttpServer::start() {
    thread_ = std::thread([this] { server_->listen_after_bind(); });
}

WebPrinter* HttpServer::printer_of(const std::string& name) {
    if (name.empty()) return &printers_.front();
    for (WebPrinter& p : printers_)
        if (p.name == name) return &p;
    return nullptr;
}

void HttpServer::stop() {
    for (WebPrinter& p : printers_) p.hub.close();  // event streams end, so their workers come free
    if (thread_.joinable()) {
        server_->stop();
        thread_.join();
    }
}

void HttpServer::routes() {
    httplib::Server& s = *server_;
    const size_t workers = limits_.workers, queued = limits_.queued;
    s.new_task_queue = [workers, queued] { return new BoundedPool(workers, queued); };
    s.set_payload_max_length(limits_.max_body);
    s.set_keep_alive_max_count(100);
    s.set_keep_alive_timeout(2);
    s.set_read_timeout(5);
    s.set_write_timeout(5);
    s.set_tcp_nodelay(true);

    // Every path the server knows, with its methods: anything else is 404,
    // a known path with another method 405.
    static const std::vector<Route> ROUTES = {
        {std::regex("/"), "GET, HEAD"},
        {std::regex("/api/printers"), "GET, HEAD"},
        {std::regex(API_PATH "/receipts"), "GET, HEAD, DELETE"},
        {std::regex(API_PATH R"(/receipts/\d{1,9}(\.png|\.bin|/text|/symbols|/journal)?)"), "GET, HEAD"},
        {std::regex(API_PATH "/paper.png"), "GET, HEAD"},
        {std::regex(API_PATH "/status"), "GET, HEAD, PUT"},
        {std::regex(API_PATH "/events"), "GET"},
    };
    s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        // Listening on loopback, the server answers only requests addressed to
        // a loopback name: a web site whose name its DNS later points at
        // 127.0.0.1 must not read receipts or flip switches from a browser.
        const std::string host = req.get_header_value("Host");
        if (loopback_only_ && !host.empty() && !is_loopback(host_name_of(host))) {
            send_error(res, 403,
                       "this printer answers on loopback only to localhost or a loopback "
                       "address, not to " +
                           host.substr(0, 64));
            return httplib::Server::HandlerResponse::Handled;
        }
        for (const Route& r : ROUTES) {
            std::smatch m;
            if (!std::regex_match(req.path, m, r.path)) continue;
            if (m.size() > 1 && m[1].matched && !printer_of(m[1].str())) {
                send_error(res, 404, "no printer named " + m[1].str());
                return httplib::Server::HandlerResponse::Handled;
            }
            const std::string allowed = r.methods;
            size_t at = 0;
            while ((at = allowed.find(req.method, at)) != std::string::npos) {
                const size_t end = at + req.method.size();
                if ((at == 0 || allowed[at - 1] == ' ') &&
                    (end == allowed.size() || allowed[end] == ','))
                    return httplib::Server::HandlerResponse::Unhandled;
                at = end;
            }
            res.set_header("Allow", allowed);
            send_error(res, 405, req.method + " is not allowed on " + req.path);
            return httplib::Server::HandlerResponse::Handled;
        }
        send_error(res, 404, "no such path");
        return httplib::Server::HandlerResponse::Handled;
    });
    // Errors the library itself finds (a malformed request, a body or URI too long).
    s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty()) return;
        const char* what = res.status == 413   ? "request body too large"
                           : res.status == 414 ? "request URI too long"
                           : res.status == 404 ? "no such path"
                           : res.status < 500  ? "bad request"
                                               : "server error";
        send_error(res, res.status, what);
    });
    s.set_exception_handler([](const httplib::Request&, httplib::Response& res,
                               std::exception_ptr) { send_error(res, 500, "server error"); });

    s.Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Cache-Control", "no-store");
        res.set_content(WEB_PAGE, "text/html; charset=utf-8");
    });

    s.Get(API_PATH "/receipts", [this](const httplib::Request& req, httplib::Response& res) {
        WebPrinter& pr = *printer_of(req.matches[1].str());
        // ?limit=N: only the newest N.
        size_t limit = SIZE_MAX;
        if (req.has_param("limit")) {
            static const std::regex NUMBER(R"(\d{1,9})");
            const std::string v = req.get_param_value("limit");
            if (!std::regex_match(v, NUMBER))
                return send_error(res, 400, "limit must be a whole number");
            limit = std::stoul(v);
        }
        std::string out = "{\"receipts\":[";
        size_t n = 0;
        for (const ReceiptInfo& r : pr.store.list()) {
            if (n == limit) break;
            if (n++) out += ',';
            out += receipt_json(r);
        }
        out += "],\"uncut_height\":" + std::to_string(pr.store.paper_height()) +
               ",\"in_memory\":" + std::to_string(pr.store.in_memory()) + "}";
        res.set_header("Cache-Control", "no-store");
        res.set_content(out, "application/json");
    });
    s.Delete(API_PATH "/receipts", [this](const httplib::Request& req, httplib::Response& res) {
        WebPrinter& pr = *printer_of(req.matches[1].str());
        const size_t n = pr.store.list().size();
        pr.store.clear();
        send_json(res, {{"cleared", n}});
    });

    s.Get(API_PATH R"(/receipts/(\d{1,9}))",
          [this](const httplib::Request& req, httplib::Response& res) {
        WebPrinter& pr = *printer_of(req.matches[1].str());
              const auto info = pr.store.info(receipt_id(req));
              if (!info) return send_error(res, 404, "no such receipt");
              res.set_header("Cache-Control", "no-store");
              res.set_content(receipt_json(*info), "application/json");
          });
    s.Get(API_PATH R"(/receipts/(\d{1,9})\.png)",
          [this](const httplib::Request& req, httplib::Response& res) {
        WebPrinter& pr = *printer_of(req.matches[1].str());
              const int id = receipt_id(req);
              std::string png = pr.store.png(id);
              if (png.empty()) return send_error(res, 404, "no such receipt image");
              res.set_header("Cache-Control", "max-age=3600");
              res.set_header("Content-Disposition",
                             "inline; filename=\"receipt-" + std::to_string(id) + ".png\"");
              res.set_content(std::move(png), "image/png");
          });
    s.Get(API_PATH R"(/receipts/(\d{1,9})\.bin)",
          [this](const httplib::Request& req, httplib::Response& res) {
        WebPrinter& pr = *printer_of(req.matches[1].str());
              const int id = receipt_id(req);
              const auto d = pr.store.detail(id);
              if (!d) return send_error(res, 404, "no such receipt");
              res.set_header("Content-Disposition",
                             "attachment; filename=\"receipt-" + std::to_string(id) + ".bin\"");
              res.set_content(d->bytes, "application/octet-stream");
          });
    s.Get(API_PATH R"(/receipts/(\d{1,9})/text)",
          [this](const httplib::Request& req, httplib::Response& res) {
        WebPrinter& pr = *printer_of(req.matches[1].str());
              const int id = receipt_id(req);
              const auto d = pr.store.detail(id);
              if (!d) return send_error(res, 404, "no such receipt");
              res.set_content("{\"id\":" + std::to_string(id) +
                                  ",\"lines\":" + content_text_json(d->content) + "}",
                              "application/json");
          });
    s.Get(API_PATH R"(/receipts/(\d{1,9})/symbols)",
          [this](const httplib::Request& req, httplib::Response& res) {
        WebPrinter& pr = *printer_of(req.matches[1].str());
              const int id = receipt_id(req);
              const auto d = pr.store.detail(id);
              if (!d) return send_error(res, 404, "no such receipt");
              res.set_content("{\"id\":" + std::to_string(id) +
                                  ",\"symbols\":" + content_symbols_json(d->content) + "}",
                              "application/json");
          });
    s.Get(API_PATH R"(/receipts/(\d{1,9})/journal)",
          [this](const httplib::Request& req, httplib::Response& res) {
        WebPrinter& pr = *printer_of(req.matches[1].str());
              const int id = receipt_id(req);
              const auto d = pr.store.detail(id);
              if (!d) return send_error(res, 404, "no such receipt");
              send_json(res, {{"id", id}, {"lines", d->journal}});
          });
    s.Get(API_PATH "/paper.png", [this](const httplib::Request& req, httplib::Response& res) {
        WebPrinter& pr = *printer_of(req.matches[1].str());
        std::string png = pr.store.paper_png();
        if (png.empty()) return send_error(res, 404, "no paper waiting for a cut");
        res.set_header("Cache-Control", "no-store");
        res.set_content(std::move(png), "image/png");
    });

    s.Get(API_PATH "/status", [this](const httplib::Request& req, httplib::Response& res) {
        WebPrinter& pr = *printer_of(req.matches[1].str());
        send_json(res, status_json(pr.status));
    });
    s.Put(API_PATH "/status", [this](const httplib::Request& req, httplib::Response& res) {
        WebPrinter& pr = *printer_of(req.matches[1].str());
        PrinterState state = pr.status.state();
        const std::string error = apply_status(req.body, &state);
        if (!error.empty()) return send_error(res, 400, error);
        pr.status.set_state(state);
        const json now = status_json(pr.status);
        pr.hub.publish("status", now.dump());
        send_json(res, now);
    });

    s.Get(API_PATH "/events", [this](const httplib::Request& req, httplib::Response& res) {
        WebPrinter& pr = *printer_of(req.matches[1].str());
        // Streams of all printers together stay below the workers, so that
        // other requests are always served.
        if (streams_.fetch_add(1) >= limits_.event_streams) {
            --streams_;
            return send_error(res, 503, "too many event streams open");
        }
        auto sub = pr.hub.subscribe();
        if (!sub) {
            --streams_;
            return send_error(res, 503, "too many event streams open");
        }
        res.set_header("Cache-Control", "no-store");
        const std::string hello =
            "retry: 1000\nevent: hello\ndata: " + status_json(pr.status).dump() + "\n\n";
        EventHub* hub = &pr.hub;
        res.set_chunked_content_provider(
            "text/event-stream",
            [hub, sub, hello, idle = -1](size_t, httplib::DataSink& sink) mutable {
                if (idle < 0) {
                    idle = 0;
                    return sink.write(hello.data(), hello.size());
                }
                const auto frame = hub->next(sub, std::chrono::milliseconds(250));
                if (hub->closed() || hub->dropped(sub)) return false;
                if (frame) {
                    idle = 0;
                    return sink.write(frame->data(), frame->size());
                }
                // A page that went away is noticed within a quarter second (its
                // socket reads as closed) and its worker comes free; a comment
                // every 5 s keeps proxies from timing the stream out.
                if (!sink.is_writable()) return false;
                if (++idle < 20) return true;
                idle = 0;
                return sink.write(":\n\n", 3);
            },
            [this, hub, sub](bool) {
                hub->unsubscribe(sub);
                --streams_;
            });
    });

    s.Get("/api/printers", [this](const httplib::Request&, httplib::Response& res) {
        json list = json::array();
        for (const WebPrinter& p : printers_) list.push_back(printer_json(p));
        send_json(res, {{"printers", list}});
    });
}

}  // namespace quorvel::printer
