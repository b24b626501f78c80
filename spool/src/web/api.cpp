// SPDX-License-Identifier: MIT
#include "api.h"

#include <cctype>
#include <nlohmann/json.hpp>
#include <regex>

#include "../receipt/receipt.h"
#include "http_guard.h"

namespace quorvel::spool {

using nlohmann::json;

namespace {

// The page's policy: its own script and style (by a nonce per answer) and
// its own API; nothing from elsewhere, and no framing.
std::string page_policy(const std::string& nonce) {
    return "default-src 'none'; script-src 'nonce-" + nonce + "'; style-src 'nonce-" + nonce +
           "'; connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
}

HttpReply not_allowed(const HttpRequest& req, const char* allow) {
    HttpReply r = error_reply(405, req.method + " is not allowed on " + req.path.substr(0, 64));
    r.headers.emplace_back("Allow", allow);
    return r;
}

bool is_get(const HttpRequest& req) {
    return req.method == "GET" || req.method == "HEAD";
}

// A whole number of 1 to 18 digits, or -1.
int64_t whole(std::string_view text) {
    if (text.empty() || text.size() > 18) return -1;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

json view_json(const Worker& w, const JobStore& store) {
    const PrinterView v = w.view();
    const PrinterConfig& c = w.config();
    json status = nullptr;
    if (v.status.raw[0] >= 0)
        status = {{"online", v.status.online()},
                  {"paper", v.status.paper_out()        ? "out"
                            : v.status.paper_near_end() ? "near_end"
                                                        : "ok"},
                  {"cover", v.status.cover_open() ? "open" : "closed"},
                  {"error", v.status.error()},
                  {"dle_eot", v.status.raw}};
    const auto counts = store.counts(c.name);
    size_t waiting = 0;
    for (const char* s : {"queued", "printing", "held", "retrying"}) waiting += counts.at(s);
    json j = {{"name", c.name},
              {"state", v.state},
              {"reason", v.reason},
              {"since", v.since},
              {"status", status},
              {"queue", waiting},
              {"jobs", counts},
              {"current_job", v.current_job},
              {"model", c.model},
              {"fallback", c.fallback.empty() ? json(nullptr) : json(c.fallback)},
              {"fallback_after", c.fallback_after},
              {"expire_after", c.expire_after},
              {"on_uncertain", c.reprint_uncertain ? "reprint" : "hold"},
              {"front", c.front.empty() ? json(nullptr) : json(c.front)}};
    if (v.down_since > 0) j["down_since"] = v.down_since;
    if (v.next_try > 0) j["next_try"] = v.next_try;
    return j;
}

}  // namespace

std::string job_json(const Job& j) {
    json out = {{"id", j.id},
                {"printer", j.printer},
                {"requested", j.requested},
                {"state", state_name(j.state)},
                {"reason", j.reason},
                {"size", j.size},
                {"copy", j.copy},
                {"attempts", j.attempts},
                {"created", j.created},
                {"updated", j.updated}};
    if (!j.banner.empty()) out["banner"] = j.banner;
    if (!j.key.empty()) out["idempotency_key"] = j.key;
    if (j.reprint_of) out["reprint_of"] = j.reprint_of;
    return out.dump(-1, ' ', false, json::error_handler_t::replace);
}

HttpReply SpoolApi::handle(const HttpRequest& req) const {
    const std::string& p = req.path;
    if (p == "/quorvel.js") return is_get(req) ? client_script() : not_allowed(req, "GET, HEAD");
    if (p == "/api/pair") return req.method == "POST" ? pair(req) : not_allowed(req, "POST");
    static const std::regex TOKEN(R"(^/api/tokens/(\d{1,18})/revoke$)");
    std::smatch m;
    const bool operator_path =
        p == "/" || p == "/api/pairing" || p.starts_with("/api/tokens") || p.ends_with("/recover");
    // The page at /, pairing codes, tokens and recovery are for the shop's
    // people on the machine, never for a till's page.
    if (!req.origin.empty() && operator_path)
        return error_reply(403, "pages from other origins cannot use " + p.substr(0, 64));
    if (p == "/api/pairing")
        return req.method == "POST" ? pairing_code() : not_allowed(req, "POST");
    if (p == "/api/tokens") return is_get(req) ? tokens() : not_allowed(req, "GET, HEAD");
    if (p.size() < 64 && std::regex_match(p, m, TOKEN))
        return req.method == "POST" ? revoke(whole(m[1].str())) : not_allowed(req, "POST");
    if (p == "/") return is_get(req) ? page() : not_allowed(req, "GET, HEAD");
    if (p == "/api/printers") return is_get(req) ? printers() : not_allowed(req, "GET, HEAD");
    if (p == "/api/jobs") return is_get(req) ? jobs(req) : not_allowed(req, "GET, HEAD");
    if (p == "/api/events") return is_get(req) ? events(req) : not_allowed(req, "GET, HEAD");
    static const std::regex PRINTER(
        R"(^/api/printers/([A-Za-z0-9_-]{1,64})(/jobs|/receipts|/recover)?$)");
    static const std::regex JOB(R"(^/api/jobs/(\d{1,18})(/cancel|/reprint)?$)");
    if (p.size() < 128 && std::regex_match(p, m, PRINTER)) {
        const std::string name = m[1];
        const Worker* w = workers_.find(name);
        if (!w) return error_reply(404, "no printer named " + name);
        if (m[2] == "/jobs") {
            if (req.method == "POST") return post_job(req, name);
            if (!is_get(req)) return not_allowed(req, "GET, HEAD, POST");
            HttpRequest list = req;
            list.query = "printer=" + name + (req.query.empty() ? "" : "&" + req.query);
            return jobs(list);
        }
        if (m[2] == "/receipts")
            return req.method == "POST" ? post_receipt(req, name) : not_allowed(req, "POST");
        if (m[2] == "/recover")
            return req.method == "POST" ? recover(req, name) : not_allowed(req, "POST");
        if (!is_get(req)) return not_allowed(req, "GET, HEAD");
        return json_reply(view_json(*w, store_).dump());
    }
    if (p.size() < 64 && std::regex_match(p, m, JOB)) {
        const int64_t id = whole(m[1].str());
        if (!visible_job(req, id)) return error_reply(404, "no job " + std::to_string(id));
        if (m[2] == "/cancel") return req.method == "POST" ? cancel(id) : not_allowed(req, "POST");
        if (m[2] == "/reprint")
            return req.method == "POST" ? reprint(id) : not_allowed(req, "POST");
        return is_get(req) ? job(id) : not_allowed(req, "GET, HEAD");
    }
    return error_reply(404, "no such path");
}

HttpReply SpoolApi::page() const {
    const std::string nonce = random_token();
    std::string body = SPOOL_PAGE;
    for (const std::string tag : {"<script", "<style"})
        for (size_t at = body.find(tag); at != std::string::npos; at = body.find(tag, at + 1))
            body.insert(at + tag.size(), " nonce=\"" + nonce + "\"");
    HttpReply r;
    r.type = "text/html; charset=utf-8";
    r.body = std::move(body);
    r.headers = {{"Cache-Control", "no-store"}, {"Content-Security-Policy", page_policy(nonce)}};
    return r;
}

HttpReply SpoolApi::printers() const {
    json list = json::array();
    for (Worker* w : workers_.all()) list.push_back(view_json(*w, store_));
    return json_reply(json{{"printers", list}}.dump());
}

HttpReply SpoolApi::post_job(const HttpRequest& req, const std::string& printer) const {
    return submit(req, printer, req.body);
}

HttpReply SpoolApi::submit(const HttpRequest& req, const std::string& printer,
                           const std::string& data) const {
    const Intake in = intake_.submit(printer, req.idempotency_key, data);
    // A page's job is its origin's; a key another origin used is not its.
    if (in.status < 400 && !req.origin.empty()) {
        if (in.status == 201) access_.own(in.id, req.origin);
        if (access_.owner(in.id) != req.origin)
            return error_reply(409, "this Idempotency-Key was used by another till");
    }
    if (in.status >= 400) {
        HttpReply r = error_reply(in.status, in.error);
        if (in.status == 503) r.headers.emplace_back("Retry-After", "5");
        return r;
    }
    HttpReply r =
        json_reply(json{{"id", in.id}, {"state", state_name(in.state)}}.dump(), in.status);
    r.headers.emplace_back("Location", "/api/jobs/" + std::to_string(in.id));
    return r;
}

HttpReply SpoolApi::post_receipt(const HttpRequest& req, const std::string& printer) const {
    const BuiltReceipt built =
        build_receipt(req.body, *config_.find(printer), config_.limits.max_job_bytes);
    if (built.status != 200) return error_reply(built.status, built.error);
    return submit(req, printer, built.bytes);
}

HttpReply SpoolApi::recover(const HttpRequest& req, const std::string& printer) const {
    // ?clear=1: DLE ENQ 2 (recover and clear the buffers), else DLE ENQ 1.
    int n = 1;
    if (auto v = query_value(req.query, "clear")) {
        if (*v != "0" && *v != "1") return error_reply(400, "clear must be 0 or 1");
        n = *v == "1" ? 2 : 1;
    }
    bool ok = false;
    const std::string said = workers_.find(printer)->recover(n, &ok);
    return ok ? json_reply(json{{"printer", printer}, {"sent", said}}.dump())
              : error_reply(502, said);
}

HttpReply SpoolApi::jobs(const HttpRequest& req) const {
    JobFilter f;
    if (auto v = query_value(req.query, "printer"); v && !v->empty()) {
        f.printer = std::string(*v);
        if (!config_.find(f.printer))
            return error_reply(404, "no printer named " + f.printer.substr(0, 64));
    }
    if (auto v = query_value(req.query, "state"); v && !v->empty()) {
        f.state = parse_state(*v);
        if (!f.state)
            return error_reply(400,
                               "state must be one of queued, printing, printed, held, "
                               "retrying, uncertain, expired, failed, cancelled");
    }
    if (auto v = query_value(req.query, "limit")) {
        const int64_t n = whole(*v);
        if (n < 1 || n > 1000) return error_reply(400, "limit must be 1 to 1000");
        f.limit = static_cast<size_t>(n);
    }
    if (auto v = query_value(req.query, "before")) {
        f.before_id = whole(*v);
        if (f.before_id < 1) return error_reply(400, "before must be a job id");
    }
    std::string out = "{\"jobs\":[";
    size_t shown = 0;
    // A page's list holds only its origin's jobs: read on past the others'
    // (a bounded number of pages) until `limit` are found.
    for (int pages = 0; shown < f.limit && pages < 20; ++pages) {
        const std::vector<Job> batch = store_.list(f);
        for (const Job& j : batch) {
            f.before_id = j.id;
            if (shown == f.limit) break;
            if (!req.origin.empty() && access_.owner(j.id) != req.origin) continue;
            out += (shown++ ? "," : "") + job_json(j);
        }
        if (req.origin.empty() || batch.size() < f.limit) break;
    }
    return json_reply(out + "]}");
}

HttpReply SpoolApi::job(int64_t id) const {
    const auto j = store_.get(id);
    if (!j) return error_reply(404, "no job " + std::to_string(id));
    return json_reply(job_json(*j));
}

HttpReply SpoolApi::cancel(int64_t id) const {
    const auto j = store_.get(id);
    if (!j) return error_reply(404, "no job " + std::to_string(id));
    // Only a job no byte of which has gone: one in the printer cannot be taken back.
    const bool moved =
        !j->sent &&
        store_.change(id, JobStore::Change(JobState::cancelled, "cancelled by request",
                                           {JobState::queued, JobState::retrying, JobState::held}));
    if (!moved) {
        const auto now = store_.get(id);
        return error_reply(
            409, "job " + std::to_string(id) + " is " + state_name(now->state) +
                     (now->sent && !is_final(now->state) ? ", already sent to the printer" : "") +
                     ": it cannot be cancelled");
    }
    if (Worker* w = workers_.find(j->printer)) w->wake();
    return json_reply(job_json(*store_.get(id)));
}

HttpReply SpoolApi::reprint(int64_t id) const {
    const auto j = store_.get(id);
    if (!j) return error_reply(404, "no job " + std::to_string(id));
    if (!is_final(j->state) || j->state == JobState::cancelled)
        return error_reply(409,
                           "job " + std::to_string(id) + " is " + state_name(j->state) +
                               ": only a printed, uncertain, expired or failed job is reprinted");
    std::string why;
    const int64_t copy = store_.reprint(id, &why);
    if (!copy) return error_reply(500, "not reprinted: " + why);
    if (Worker* w = workers_.find(j->printer)) w->wake();
    HttpReply r =
        json_reply(json{{"id", copy}, {"state", "queued"}, {"reprint_of", id}}.dump(), 201);
    r.headers.emplace_back("Location", "/api/jobs/" + std::to_string(copy));
    return r;
}

HttpReply SpoolApi::events(const HttpRequest& req) const {
    HttpReply r;
    r.type = "text/event-stream";
    r.headers = {{"Cache-Control", "no-store"}};
    if (req.method == "HEAD") return r;
    // A page from another origin hears only of its own origin's jobs.
    std::function<bool(const std::string&)> filter;
    if (!req.origin.empty())
        filter = [this, origin = req.origin](const std::string& data) {
            const json j = json::parse(data, nullptr, false);
            return j.is_object() && j.contains("id") && j["id"].is_number_integer() &&
                   access_.owner(j["id"].get<int64_t>()) == origin;
        };
    r.stream = hub_.subscribe(std::move(filter));
    if (!r.stream) return error_reply(503, "too many event streams open");
    r.hub = &hub_;
    r.body = "retry: 1000\nevent: hello\ndata: {}\n\n";
    return r;
}

}  // namespace quorvel::spool
