// SPDX-License-Identifier: MIT
// Inside the web server (for http_server.cpp and http_connection.cpp only):
// the server's shared state and Beast's names.
#pragma once

// The standard headers first: Asio 1.74 uses std::exchange without <utility>.
// clang-format off
#include <atomic>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
// clang-format on

#include "web/http_server.h"

namespace quorvel::printer {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;
using error_code = boost::system::error_code;

// Beast's string_view (Boost's own, in 1.74) as the standard one.
inline std::string_view sv(beast::string_view s) {
    return {s.data(), s.size()};
}

class Connection;

struct HttpServer::Impl {
    Impl(std::vector<WebPrinter> list, HttpLimits l, std::string t)
        : limits(l), token(std::move(t)), ioc(static_cast<int>(l.threads)) {
        for (WebPrinter& p : list) printers.push_back({p, PrinterApi{p.store, p.hub, p.status}});
    }

    void accept();
    void admit(tcp::socket socket);
    // Refuses what must not be served, before any body is read: a bad or
    // foreign Host, another site, no token. Nothing when it may go on.
    std::optional<HttpReply> screen(const http::request_header<>& req, const std::string& path,
                                    const std::string& query) const;
    HttpReply route(const HttpRequest& req) const;
    // GET /api/printers: each printer's name, profile and paper.
    HttpReply printers_reply(const HttpRequest& req) const;

    struct Served {
        WebPrinter printer;
        PrinterApi api;
    };
    std::vector<Served> printers;  // the first also answers the URLs without a name
    HttpLimits limits;
    std::string token;
    bool loopback_only = true;  // bound to a loopback address: Host is checked
    int port = 0;

    // Who is connected: counts per peer and in total, oldest first.
    std::mutex mu;
    size_t open = 0;
    size_t refusing = 0;
    std::map<std::string, size_t> per_peer;
    // A connection, and whether it is only waiting for a request (so it may be
    // closed to make room), readable without owning the connection: its
    // destructor takes `mu`, so no reference to it may end while `mu` is held.
    struct Slot {
        std::weak_ptr<Connection> connection;
        std::shared_ptr<std::atomic<bool>> waiting;
    };
    std::list<Slot> connections;
    std::vector<std::weak_ptr<Connection>> streams;  // event streams, woken on news
    void wake_streams();

    net::io_context ioc;
    std::optional<tcp::acceptor> acceptor;
    std::optional<net::steady_timer> accept_pause;
    std::vector<std::thread> threads;
    bool stopped = false;
};

}  // namespace quorvel::printer
