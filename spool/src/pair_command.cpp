// SPDX-License-Identifier: MIT
#include "pair_command.h"

// The standard headers first: Asio 1.74 uses std::exchange without <utility>.
// clang-format off
#include <utility>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cstdio>
#include <nlohmann/json.hpp>
// clang-format on

#include "web/http_guard.h"

namespace quorvel::spool {

int run_pair(const Config& config) {
    namespace net = boost::asio;
    namespace http = boost::beast::http;
    std::string host;
    int port = 0;
    if (!parse_http_address(config.listen, &host, &port) || port == 0) {
        std::fprintf(stderr, "quorvel-spool pair: --listen %s: expected the service's ADDR:PORT\n",
                     config.listen.c_str());
        return 2;
    }
    // The service listens on an address given as a literal; "0.0.0.0" and
    // "::" are reached on loopback.
    if (host == "0.0.0.0" || host == "localhost") host = "127.0.0.1";
    if (host == "::") host = "::1";
    try {
        net::io_context ioc;
        net::ip::tcp::socket socket(ioc);
        socket.connect({net::ip::make_address(host), static_cast<unsigned short>(port)});
        http::request<http::string_body> req(http::verb::post, "/api/pairing", 11);
        req.set(http::field::host, (host.find(':') != std::string::npos ? "[" + host + "]" : host) +
                                       ":" + std::to_string(port));
        if (!config.token.empty()) req.set(http::field::authorization, "Bearer " + config.token);
        req.prepare_payload();
        http::write(socket, req);
        boost::beast::flat_buffer buffer;
        http::response<http::string_body> res;
        http::read(socket, buffer, res);
        const auto j = nlohmann::json::parse(res.body(), nullptr, false);
        if (res.result_int() != 200 || !j.is_object() || !j.contains("code")) {
            std::fprintf(stderr, "quorvel-spool pair: the service said %u %s\n", res.result_int(),
                         res.body().substr(0, 200).c_str());
            return 1;
        }
        std::printf("Pairing code: %s (valid 2 minutes, for one till)\n",
                    j["code"].get<std::string>().c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvel-spool pair: cannot reach the service at %s: %s\n",
                     config.listen.c_str(), e.what());
        return 1;
    }
}

}  // namespace quorvel::spool
