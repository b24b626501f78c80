// SPDX-License-Identifier: MIT
#include "web/http_routes.h"

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <regex>
#include <thread>

#include "machine/mechanism.h"

namespace quorvel::printer {

using nlohmann::json;

HttpReply json_reply(std::string body, unsigned status) {
    HttpReply r;
    r.status = status;
    r.body = std::move(body);
    r.headers.emplace_back("Cache-Control", "no-store");
    return r;
}

HttpReply error_reply(unsigned status, const std::string& message) {
    return json_reply(json{{"error", message}}.dump(), status);
}

std::optional<std::string_view> query_value(std::string_view query, std::string_view key) {
    while (!query.empty()) {
        const size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const size_t eq = pair.find('=');
        if (pair.substr(0, eq) == key)
            return eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return std::nullopt;
}

namespace {

const char* paper_name(Paper p) {
    return p == Paper::OK ? "ok" : p == Paper::NEAR_END ? "near_end" : "out";
}

std::string hex_byte(uint8_t b) {
    char s[3];
    std::snprintf(s, sizeof s, "%02X", b);
    return s;
}

}  // namespace

static json status_json(const StatusModel& status) {
    const PrinterState s = status.state();
    json dle = json::array();
    for (int n = 1; n <= 4; ++n) dle.push_back(hex_byte(status.dle_eot(n)));
    json j = {{"paper", paper_name(s.paper)},
              {"cover", s.cover_open ? "open" : "closed"},
              {"drawer", s.drawer_open ? "open" : "closed"},
              {"drawer_reads_open", status.drawer_open()},
              {"online", !s.offline},
              {"reports_offline", status.offline()},
              {"never_answer", s.silent},
              {"replies", {{"dle_eot", dle}, {"esc_v", hex_byte(status.esc_v())}}},
              {"power", s.power_off ? "off" : "on"},
              {"cutter", s.cutter_jammed ? "jammed" : "ok"},
              {"error_waiting", status.error_waiting()}};
    // What the mechanism is doing: idle, printing, held (and why) or off.
    if (const auto m = status.machine_view()) {
        j["state"] = machine_state_name(m->state);
        j["held_because"] = m->held_because.empty() ? json() : json(m->held_because);
        j["buffer"] = {{"used", m->buffer_used}, {"size", m->buffer_size}};
        j["paper_left_mm"] = m->paper_left_mm < 0 ? json() : json(m->paper_left_mm);
    }
    return j;
}

std::string status_text(const StatusModel& status) {
    return status_json(status).dump();
}

namespace {

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
        } else if (key == "power") {
            const std::string w = word({"on", "off"});
            if (w.empty()) return "power must be \"on\" or \"off\"";
            state->power_off = w == "off";
        } else if (key == "cutter") {
            const std::string w = word({"ok", "jammed"});
            if (w.empty()) return "cutter must be \"ok\" or \"jammed\"";
            state->cutter_jammed = w == "jammed";
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

// A whole number of at most 9 digits, or -1.
long whole(std::string_view text) {
    if (text.empty() || text.size() > 9) return -1;
    long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

std::string list_json(const std::vector<ReceiptInfo>& receipts, const ReceiptStore& store) {
    std::string out = "{\"receipts\":[";
    for (size_t i = 0; i < receipts.size(); ++i) {
        if (i) out += ',';
        out += receipt_json(receipts[i], store.api_base());
    }
    out += "],\"uncut_height\":" + std::to_string(store.paper_height()) +
           ",\"in_memory\":" + std::to_string(store.in_memory()) + "}";
    return out;
}

HttpReply get_receipts(const PrinterApi& api, const HttpRequest& req, int) {
    // ?limit=N: only the newest N. ?after=N: only those after receipt N,
    // and with &wait=SEC, wait up to SEC seconds for the first of them.
    long limit = 1000000000, after = 0, wait = 0;
    for (auto [key, value] : {std::pair{"limit", &limit}, {"after", &after}, {"wait", &wait}}) {
        const auto v = query_value(req.query, key);
        if (!v) continue;
        *value = whole(*v);
        if (*value < 0) return error_reply(400, std::string(key) + " must be a whole number");
    }
    if (wait > api.max_wait.count())
        return error_reply(400, "wait is at most " + std::to_string(api.max_wait.count()) + " s");
    const ReceiptStore& store = api.store;
    auto answer = [&store, limit, after](bool last) -> std::optional<HttpReply> {
        std::vector<ReceiptInfo> r =
            store.list_after(static_cast<int>(after), static_cast<size_t>(limit));
        if (r.empty() && !last) return std::nullopt;
        return json_reply(list_json(r, store));
    };
    if (wait == 0 || req.method != "GET") return *answer(true);
    HttpReply r;
    r.wait = answer;
    r.until = std::chrono::steady_clock::now() + std::chrono::seconds(wait);
    return r;
}

HttpReply delete_receipts(const PrinterApi& api, const HttpRequest&, int) {
    const size_t n = api.store.list().size();
    api.store.clear();
    return json_reply(json{{"cleared", n}}.dump());
}

HttpReply get_receipt(const PrinterApi& api, const HttpRequest&, int id) {
    const auto info = api.store.info(id);
    if (!info) return error_reply(404, "no such receipt");
    return json_reply(receipt_json(*info, api.store.api_base()));
}

HttpReply get_png(const PrinterApi& api, const HttpRequest&, int id) {
    HttpReply r;
    r.body = api.store.png(id);
    if (r.body.empty()) return error_reply(404, "no such receipt image");
    r.type = "image/png";
    r.headers = {
        {"Cache-Control", "max-age=3600"},
        {"Content-Disposition", "inline; filename=\"receipt-" + std::to_string(id) + ".png\""}};
    return r;
}

HttpReply get_bin(const PrinterApi& api, const HttpRequest&, int id) {
    const auto d = api.store.detail(id);
    if (!d) return error_reply(404, "no such receipt");
    HttpReply r;
    r.body = d->bytes;
    r.type = "application/octet-stream";
    r.headers = {
        {"Content-Disposition", "attachment; filename=\"receipt-" + std::to_string(id) + ".bin\""}};
    return r;
}

HttpReply get_text(const PrinterApi& api, const HttpRequest&, int id) {
    const auto d = api.store.detail(id);
    if (!d) return error_reply(404, "no such receipt");
    return json_reply("{\"id\":" + std::to_string(id) +
                      ",\"lines\":" + content_text_json(d->content) + "}");
}

HttpReply get_symbols(const PrinterApi& api, const HttpRequest&, int id) {
    const auto d = api.store.detail(id);
    if (!d) return error_reply(404, "no such receipt");
    return json_reply("{\"id\":" + std::to_string(id) +
                      ",\"symbols\":" + content_symbols_json(d->content) + "}");
}

HttpReply get_journal(const PrinterApi& api, const HttpRequest&, int id) {
    const auto d = api.store.detail(id);
    if (!d) return error_reply(404, "no such receipt");
    return json_reply(json{{"id", id}, {"lines", d->journal}}.dump());
}

HttpReply get_paper(const PrinterApi& api, const HttpRequest&, int) {
    HttpReply r;
    r.body = api.store.paper_png();
    if (r.body.empty()) return error_reply(404, "no paper waiting for a cut");
    r.type = "image/png";
    r.headers = {{"Cache-Control", "no-store"}};
    return r;
}

HttpReply get_status(const PrinterApi& api, const HttpRequest&, int) {
    return json_reply(status_json(api.status).dump());
}

// Each link's own thread switches its mechanism on or off: the answer waits
// (1 s at most) until the machine shows the new power state, so that nothing
// prints, and no process ID is answered, after a 200 for "off".
void wait_for_power(const StatusModel& status, bool off) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    for (;;) {
        const std::optional<MachineView> v = status.machine_view();
        if (!v || (v->state == MachineState::OFF) == off) return;
        if (std::chrono::steady_clock::now() > end) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

HttpReply put_status(const PrinterApi& api, const HttpRequest& req, int) {
    PrinterState state = api.status.state();
    const bool was_off = state.power_off;
    const std::string error = apply_status(req.body, &state);
    if (!error.empty()) return error_reply(400, error);
    api.status.set_state(state);
    if (state.power_off != was_off) wait_for_power(api.status, state.power_off);
    const std::string now = status_json(api.status).dump();
    api.hub.publish("status", now);
    return json_reply(now);
}

HttpReply get_events(const PrinterApi& api, const HttpRequest& req, int) {
    HttpReply r;
    if (req.method == "HEAD") {  // the headers a stream would have, and no stream
        r.type = "text/event-stream";
        r.headers = {{"Cache-Control", "no-store"}};
        return r;
    }
    r.stream = api.hub.subscribe();
    if (!r.stream) return error_reply(503, "too many event streams open");
    r.hub = &api.hub;
    r.type = "text/event-stream";
    r.headers = {{"Cache-Control", "no-store"}};
    r.body = "retry: 1000\nevent: hello\ndata: " + status_json(api.status).dump() + "\n\n";
    return r;
}

struct Route {
    std::regex path;  // the receipt number, if any, is its first group
    const char* method;
    HttpReply (*handler)(const PrinterApi&, const HttpRequest&, int id);
};

// Every path the API knows, with its methods; HEAD is answered as GET.
const std::vector<Route>& routes() {
    static const std::string N = R"((\d{1,9}))";
    static const std::vector<Route> ROUTES = {
        {std::regex("/receipts"), "GET", get_receipts},
        {std::regex("/receipts"), "DELETE", delete_receipts},
        {std::regex("/receipts/" + N), "GET", get_receipt},
        {std::regex("/receipts/" + N + R"(\.png)"), "GET", get_png},
        {std::regex("/receipts/" + N + R"(\.bin)"), "GET", get_bin},
        {std::regex("/receipts/" + N + "/text"), "GET", get_text},
        {std::regex("/receipts/" + N + "/symbols"), "GET", get_symbols},
        {std::regex("/receipts/" + N + "/journal"), "GET", get_journal},
        {std::regex("/paper.png"), "GET", get_paper},
        {std::regex("/status"), "GET", get_status},
        {std::regex("/status"), "PUT", put_status},
        {std::regex("/events"), "GET", get_events},
    };
    return ROUTES;
}

}  // namespace

HttpReply PrinterApi::handle(const HttpRequest& req, std::string_view path) const {
    if (path.size() > 64) return error_reply(404, "no such path");  // longer than any route
    const std::string p(path);
    const std::string method = req.method == "HEAD" ? "GET" : req.method;
    std::string allowed;
    for (const Route& r : routes()) {
        std::smatch m;
        if (!std::regex_match(p, m, r.path)) continue;
        if (method == r.method) return r.handler(*this, req, m.size() > 1 ? std::stoi(m[1]) : 0);
        allowed += (allowed.empty() ? "" : ", ") + std::string(r.method);
        if (std::string_view(r.method) == "GET") allowed += ", HEAD";
    }
    if (allowed.empty()) return error_reply(404, "no such path");
    HttpReply r = error_reply(405, req.method + " is not allowed on " + p);
    r.headers.emplace_back("Allow", allowed);
    return r;
}

}  // namespace quorvel::printer
