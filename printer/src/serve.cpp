// SPDX-License-Identifier: MIT
#include "serve.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>
#include <utility>

#include "links/readiness.h"
#include "web/http_guard.h"
#include "web/http_server.h"

namespace quorvel::printer {
namespace {

std::atomic<bool> g_stop{false};
void on_signal(int) {
    g_stop = true;
}

using Shop = std::vector<std::unique_ptr<Printer>>;

// The web side, bound but not started; its URL in *url. The exit code on
// a fault (said on standard error), else 0.
int bind_web(Shop& shop, ServeOptions& o, std::unique_ptr<HttpServer>* server, std::string* host,
             std::string* url) {
    int port = 0;
    if (!parse_http_address(o.http, host, &port)) {
        std::fprintf(stderr, "quorvel-printer: --http takes ADDR:PORT, not %s\n", o.http.c_str());
        return 2;
    }
    // Beyond loopback nothing is served without a token: one is made up
    // when none was given.
    if (!is_loopback(*host) && o.http_token.empty()) o.http_token = random_token();
    std::vector<WebPrinter> web;
    for (auto& p : shop)
        web.push_back({p->name(), p->setup().profile, *p->receipts(), p->hub(), p->status()});
    *server = std::make_unique<HttpServer>(std::move(web), HttpLimits{}, o.http_token);
    std::string err;
    if (!(*server)->listen(*host, port, &err)) {
        std::fprintf(stderr, "quorvel-printer: %s\n", err.c_str());
        return 1;
    }
    const std::string shown = host->find(':') != std::string::npos ? "[" + *host + "]" : *host;
    *url = "http://" + shown + ":" + std::to_string((*server)->port()) + "/";
    return 0;
}

// Starts the web side: the page's URL on standard error and in each journal.
void start_web(HttpServer& server, Shop& shop, const ServeOptions& o, const std::string& host,
               const std::string& url, ReadyInfo* ready) {
    server.start();
    const std::string page = o.http_token.empty() ? url : url + "?token=" + o.http_token;
    std::fprintf(stderr, "quorvel-printer: web page at %s\n", page.c_str());
    if (!is_loopback(host))
        std::fprintf(stderr,
                     "quorvel-printer: the web page is open to other machines; it and the API "
                     "need the token (Authorization: Bearer %s)\n",
                     o.http_token.c_str());
    for (auto& p : shop) p->journal().note("web page at " + url);
    ready->emplace_back("http", url);
    if (!o.http_token.empty()) ready->emplace_back("token", o.http_token);
}

// Starts every printer's links; their addresses go into *ready.
void start_printers(Shop& shop, ReadyInfo* ready) {
    for (auto& p : shop) {
        p->start(shop.size() > 1);
        // The first printer also under the plain keys, as a printer alone.
        const bool first = p.get() == shop.front().get();
        const std::string key = shop.size() > 1 ? p->name() + "." : "";
        for (const auto& [what, value] :
             {std::pair<std::string, std::string>{"serial", p->serial_path()},
              {"tcp", p->tcp_address()}}) {
            if (value.empty()) continue;
            if (first) ready->emplace_back(what, value);
            if (!key.empty()) ready->emplace_back(key + what, value);
        }
    }
    if (shop.size() > 1) {
        std::fprintf(stderr, "quorvel-printer: shop of %zu printers ready\n", shop.size());
        std::fflush(stdout);
    }
}

}  // namespace

int serve(Shop& shop, ServeOptions options) {
    // Every address is bound before anything is served: a printer that cannot
    // have all of them exits at once, with no thread started.
    std::unique_ptr<HttpServer> http_server;
    std::string url, host;
    if (!options.http.empty())
        if (const int status = bind_web(shop, options, &http_server, &host, &url)) return status;
    for (auto& p : shop) {
        std::string err;
        if (const int status = p->open_links(&err)) {
            std::fprintf(stderr, "quorvel-printer: %s%s\n",
                         shop.size() > 1 ? (p->name() + ": ").c_str() : "", err.c_str());
            return status;
        }
    }

    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    std::signal(SIGPIPE, SIG_IGN);

    // Served from here on. The web side first, so the first receipt already
    // appears; said once each link is served, so whoever waits for these
    // lines finds the printer reading.
    ReadyInfo ready;
    if (http_server) start_web(*http_server, shop, options, host, url, &ready);
    start_printers(shop, &ready);
    // Whoever waits for the ready file would wait for ever: stop, and say why.
    int exit_code = 0;
    if (std::string err; !announce_ready(options.ready_file, ready, &err)) {
        std::fprintf(stderr, "quorvel-printer: %s\n", err.c_str());
        g_stop = true;
        exit_code = 1;
    }
    while (!g_stop) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // Every printer stops at once, each writing out its uncut paper.
    for (auto& p : shop) p->request_stop();
    for (auto& p : shop) p->stop();
    if (http_server) http_server->stop();
    for (auto& p : shop) p->journal().note("stopped");
    return exit_code;
}

}  // namespace quorvel::printer
