// SPDX-License-Identifier: MIT
// The web server: binding, threads, and what is served to whom (Host,
// other sites, the token, the page and the API). The connections themselves
// are in http_connection.cpp.
#include "web/http_server.h"

#include <cctype>
#include <nlohmann/json.hpp>

#include "links/server.h"
#include "web/http_server_impl.h"

namespace quorvel::printer {

namespace {

// The page's policy: its own script and style (by a nonce per answer), its
// own images, its own API; nothing from elsewhere, and no framing.
std::string page_policy(const std::string& nonce) {
    return "default-src 'none'; script-src 'nonce-" + nonce + "'; style-src 'nonce-" + nonce +
           "'; style-src-attr 'unsafe-inline'; img-src 'self' blob: data:; connect-src 'self'; "
           "base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
}

// Every <script> and <style> element of the page gets the nonce, whatever
// attributes it has.
std::string page_with_nonce(const std::string& nonce) {
    std::string page = WEB_PAGE;
    const std::string attribute = " nonce=\"" + nonce + "\"";
    for (const std::string tag : {"<script", "<style"})
        for (size_t at = page.find(tag); at != std::string::npos; at = page.find(tag, at + 1)) {
            const size_t end = at + tag.size();
            if (end < page.size() &&
                (page[end] == '>' || std::isspace(static_cast<unsigned char>(page[end]))))
                page.insert(end, attribute);
        }
    return page;
}

constexpr const char* TOKEN_COOKIE = "quorvel_token";

}  // namespace

std::optional<HttpReply> HttpServer::Impl::screen(const http::request_header<>& req,
                                                  const std::string& path,
                                                  const std::string& query) const {
    if (req.count(http::field::host) != 1)
        return error_reply(400, "a request needs exactly one Host header");
    std::string name;
    if (!parse_host(sv(req[http::field::host]), &name)) return error_reply(400, "bad Host header");
    // Listening on loopback, the server answers only requests addressed to a
    // loopback name: a web site whose name its DNS later points at 127.0.0.1
    // must not read receipts or flip switches.
    if (loopback_only && !is_loopback(name))
        return error_reply(403,
                           "this printer answers on loopback only to localhost or a loopback "
                           "address, not to " +
                               name.substr(0, 64));
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
    // The page's URL carries the token once; a cookie carries it from then on,
    // and the URL loses it.
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
                              "a token is needed: open the URL the printer printed at start, or "
                              "send Authorization: Bearer TOKEN");
    r.headers.emplace_back("WWW-Authenticate", "Bearer");
    return r;
}

HttpReply HttpServer::Impl::route(const HttpRequest& req) const {
    if (req.path == "/") {
        if (req.method != "GET" && req.method != "HEAD") {
            HttpReply r = error_reply(405, req.method + " is not allowed on /");
            r.headers.emplace_back("Allow", "GET, HEAD");
            return r;
        }
        const std::string nonce = random_token();
        HttpReply r;
        r.type = "text/html; charset=utf-8";
        r.body = page_with_nonce(nonce);
        r.headers = {{"Cache-Control", "no-store"},
                     {"Content-Security-Policy", page_policy(nonce)}};
        return r;
    }
    const std::string_view path(req.path);
    constexpr std::string_view PRINTERS = "/api/printers";
    if (path == PRINTERS) return printers_reply(req);
    if (path.starts_with(PRINTERS) && path[PRINTERS.size()] == '/') {
        // /api/printers/NAME/rest: that printer's API at /rest.
        const std::string_view named = path.substr(PRINTERS.size() + 1);
        const size_t slash = named.find('/');
        const std::string_view name = named.substr(0, slash);
        for (const Served& s : printers)
            if (s.printer.name == name)
                return s.api.handle(req, slash == std::string_view::npos ? std::string_view("")
                                                                         : named.substr(slash));
        return error_reply(404, "no printer named " + std::string(name.substr(0, 64)));
    }
    if (path.starts_with("/api/")) return printers.front().api.handle(req, path.substr(4));
    return error_reply(404, "no such path");
}

HttpReply HttpServer::Impl::printers_reply(const HttpRequest& req) const {
    if (req.method != "GET" && req.method != "HEAD") {
        HttpReply r = error_reply(405, req.method + " is not allowed on /api/printers");
        r.headers.emplace_back("Allow", "GET, HEAD");
        return r;
    }
    nlohmann::json list = nlohmann::json::array();
    for (const Served& s : printers) {
        const WebPrinter& p = s.printer;
        const Profile& f = *p.profile;
        list.push_back({{"name", p.name},
                        {"profile", f.name},
                        {"paper_mm", f.paper_mm},
                        {"dots", f.dots},
                        {"columns", f.columns_a()},
                        {"receipts", p.store.list().size()},
                        {"uncut_height", p.store.paper_height()},
                        {"api", "/api/printers/" + p.name}});
    }
    return json_reply(nlohmann::json{{"printers", list}}.dump());
}

// -------------------------------------------------------------------- server

HttpServer::HttpServer(std::vector<WebPrinter> printers, HttpLimits limits, std::string token)
    : impl_(std::make_unique<Impl>(std::move(printers), limits, std::move(token))) {}

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
    // a second printer on the same address is refused.
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
    for (Impl::Served& p : impl_->printers)
        p.printer.hub.on_news([impl = impl_.get()] { impl->wake_streams(); });
    impl_->accept();
    for (size_t i = 0; i < std::max<size_t>(1, impl_->limits.threads); ++i)
        impl_->threads.emplace_back([this] { impl_->ioc.run(); });
}

void HttpServer::stop() {
    if (impl_->stopped) return;
    impl_->stopped = true;
    for (Impl::Served& p : impl_->printers) {
        p.printer.hub.on_news(nullptr);
        p.printer.hub.close();  // event streams end
    }
    impl_->ioc.stop();
    for (auto& t : impl_->threads) t.join();
    impl_->threads.clear();
    if (impl_->acceptor) {
        error_code ec;
        impl_->acceptor->close(ec);
    }
}

}  // namespace quorvel::printer
