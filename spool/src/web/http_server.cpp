// SPDX-License-Identifier: MIT
// The web server: binding, threads, and who is served (Host, other sites,
// the token). The connections themselves are in http_connection.cpp; what
// is answered is the handler's.
#include "http_server.h"

#include <sys/socket.h>

#include <fstream>

#include "http_server_impl.h"

namespace quorvel::spool {

namespace {

constexpr const char* TOKEN_COOKIE = "quorvel_spool_token";

// The kernel's accept backlog, so a burst of tills is not refused.
int system_backlog() {
    std::ifstream in("/proc/sys/net/core/somaxconn");
    int n = 0;
    return (in >> n) && n > 0 ? n : SOMAXCONN;
}

}  // namespace

std::optional<HttpReply> HttpServer::Impl::screen(const http::request_header<>& req,
                                                  const std::string& path, const std::string& query,
                                                  std::string* origin) const {
    if (req.count(http::field::host) != 1)
        return error_reply(400, "a request needs exactly one Host header");
    std::string name;
    if (!parse_host(sv(req[http::field::host]), &name)) return error_reply(400, "bad Host header");
    // On loopback, only requests addressed to a loopback name: a web site
    // whose name its DNS later points at 127.0.0.1 must not read or post jobs.
    if (loopback_only && !is_loopback(name))
        return error_reply(403,
                           "this service answers on loopback only to localhost or a loopback "
                           "address, not to " +
                               name.substr(0, 64));
    // A browser names the page's origin on every request a page makes to
    // another origin (and on a same-origin POST). Pages from elsewhere get
    // in only from an allowed origin, with a token, whatever the address:
    // any site's page may reach 127.0.0.1.
    if (req.count(http::field::origin) > 0) {
        const std::string from(sv(req[http::field::origin]));
        const std::string own = "http://" + std::string(sv(req[http::field::host]));
        if (req.count(http::field::origin) != 1)
            return error_reply(403, "a request needs at most one Origin header");
        if (!beast::iequals(from, own)) {
            if (!access || !access->origin_allowed(from))
                return error_reply(403, "pages from " + from.substr(0, 80) +
                                            " may not use this print service (not an allowed "
                                            "origin)");
            *origin = from;
            return screen_page(req, path, query, from);
        }
    }
    const std::string_view method = sv(req.method_string());
    const std::string why = fetch_refusal(sv(req["Sec-Fetch-Site"]), sv(req["Sec-Fetch-Mode"]),
                                          sv(req["Sec-Fetch-Dest"]), method, path);
    if (!why.empty()) return error_reply(403, why);
    if (token.empty()) return std::nullopt;
    const std::string_view auth = sv(req[http::field::authorization]);
    if (auth.size() > 7 && beast::iequals(beast::string_view(auth.data(), 7), "Bearer ") &&
        same_secret(auth.substr(7), token))
        return std::nullopt;
    if (same_secret(cookie_value(sv(req[http::field::cookie]), TOKEN_COOKIE), token))
        return std::nullopt;
    // The page's URL carries the token once; a cookie carries it from then on.
    const auto given = query_value(query, "token");
    if (path == "/" && (method == "GET" || method == "HEAD") && given &&
        same_secret(*given, token)) {
        HttpReply r = json_reply("{\"see\":\"/\"}", 303);
        r.headers.emplace_back("Location", "/");
        r.headers.emplace_back("Set-Cookie", std::string(TOKEN_COOKIE) + "=" + token +
                                                 "; Path=/; HttpOnly; SameSite=Strict");
        return r;
    }
    HttpReply r = error_reply(401,
                              "a token is needed: open the URL the service printed at start, or "
                              "send Authorization: Bearer TOKEN");
    r.headers.emplace_back("WWW-Authenticate", "Bearer");
    return r;
}

std::optional<HttpReply> HttpServer::Impl::screen_page(const http::request_header<>& req,
                                                       const std::string& path,
                                                       const std::string& query,
                                                       const std::string& origin) const {
    const std::string_view method = sv(req.method_string());
    if (method == "OPTIONS") {
        // A preflight: what the client sends (its methods and headers), and
        // the private-network permission when the browser asks for it.
        HttpReply r;
        r.status = 204;
        r.type = "text/plain";
        r.headers = {
            {"Access-Control-Allow-Methods", "GET, POST"},
            {"Access-Control-Allow-Headers", "Authorization, Content-Type, Idempotency-Key"},
            {"Access-Control-Max-Age", "600"}};
        if (beast::iequals(req["Access-Control-Request-Private-Network"], "true"))
            r.headers.emplace_back("Access-Control-Allow-Private-Network", "true");
        return r;
    }
    // Without a token: the client itself, and pairing (which gives one).
    if ((path == "/quorvel.js" && (method == "GET" || method == "HEAD")) ||
        (path == "/api/pair" && method == "POST"))
        return std::nullopt;
    std::string_view given;
    const std::string_view auth = sv(req[http::field::authorization]);
    if (auth.size() > 7 && beast::iequals(beast::string_view(auth.data(), 7), "Bearer "))
        given = auth.substr(7);
    // EventSource cannot send headers: the event stream takes it in the URL.
    std::optional<std::string_view> in_url;
    if (given.empty() && path == "/api/events" && (in_url = query_value(query, "access_token")))
        given = *in_url;
    if (!given.empty() &&
        (access->check(given, origin) || (!token.empty() && same_secret(given, token))))
        return std::nullopt;
    HttpReply r =
        error_reply(401, given.empty() ? "a token is needed: pair this till (POST /api/pair) and "
                                         "send Authorization: Bearer TOKEN"
                                       : "this token is not known here (revoked, or paired from "
                                         "another origin): pair again");
    r.headers.emplace_back("WWW-Authenticate", "Bearer");
    return r;
}

void HttpServer::set_access(const Access* access) {
    impl_->access = access;
}

HttpServer::HttpServer(HttpHandler handler, EventHub& hub, HttpLimits limits, std::string token)
    : impl_(std::make_unique<Impl>(std::move(handler), hub, limits, std::move(token))) {}

HttpServer::~HttpServer() {
    stop();
}

int HttpServer::port() const {
    return impl_->port;
}

bool HttpServer::listen(const std::string& host, int port, std::string* error) {
    const std::string where = "cannot listen for HTTP on " +
                              (host.find(':') != std::string::npos ? "[" + host + "]" : host) +
                              ":" + std::to_string(port) + ": ";
    error_code ec;
    const auto address = net::ip::make_address(host == "localhost" ? "127.0.0.1" : host, ec);
    if (ec) {
        if (error) *error = where + "not an address literal";
        return false;
    }
    const tcp::endpoint endpoint(address, static_cast<unsigned short>(port));
    auto& a = impl_->acceptor.emplace(impl_->ioc);
    // SO_REUSEADDR only (a restart may bind at once); never SO_REUSEPORT, so
    // a second service on the same address is refused.
    a.open(endpoint.protocol(), ec);
    if (!ec) a.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec && address.is_v6()) a.set_option(net::ip::v6_only(true), ec);
    if (!ec) a.bind(endpoint, ec);
    if (!ec) a.listen(system_backlog(), ec);
    if (ec) {
        if (error) *error = where + ec.message();
        impl_->acceptor.reset();
        return false;
    }
    impl_->port = a.local_endpoint().port();
    impl_->loopback_only = is_loopback(host);
    impl_->accept_pause.emplace(impl_->ioc);
    return true;
}

void HttpServer::start() {
    impl_->hub.on_news([impl = impl_.get()] { impl->wake_streams(); });
    impl_->accept();
    for (size_t i = 0; i < std::max<size_t>(1, impl_->limits.threads); ++i)
        impl_->threads.emplace_back([this] { impl_->ioc.run(); });
}

void HttpServer::stop() {
    if (impl_->stopped) return;
    impl_->stopped = true;
    impl_->hub.on_news(nullptr);
    impl_->hub.close();  // event streams end
    impl_->ioc.stop();
    for (auto& t : impl_->threads) t.join();
    impl_->threads.clear();
    if (impl_->acceptor) {
        error_code ec;
        impl_->acceptor->close(ec);
    }
}

}  // namespace quorvel::spool
