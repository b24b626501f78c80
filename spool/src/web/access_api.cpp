// SPDX-License-Identifier: MIT
// The API's side of pairing and tokens, and the web client's script.
#include <nlohmann/json.hpp>

#include "api.h"

namespace quorvel::spool {

using nlohmann::json;

namespace {

json token_json(const TokenInfo& t) {
    return {{"id", t.id}, {"name", t.name}, {"origin", t.origin}, {"created", t.created}};
}

// A till's name: 1 to 64 printable characters.
bool good_name(const std::string& name) {
    if (name.empty() || name.size() > 64) return false;
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7f) return false;
    }
    return true;
}

}  // namespace

HttpReply SpoolApi::pair(const HttpRequest& req) const {
    const json body = json::parse(req.body, nullptr, false);
    if (!body.is_object())
        return error_reply(400, "expected {\"code\": \"123456\", \"name\": \"till 1\"}");
    if (!body.contains("code") || !body["code"].is_string() ||
        body["code"].get<std::string>().size() != 6)
        return error_reply(400, "code: the 6 digits the service shows");
    const std::string name = body.value("name", "");
    if (!body.contains("name") || !body["name"].is_string() || !good_name(name))
        return error_reply(400, "name: 1 to 64 printable characters naming the till");
    PairOutcome out = access_.pair(body["code"].get<std::string>(), name, req.origin);
    if (out.status != 201) {
        HttpReply r = error_reply(out.status, out.error);
        if (out.status == 429) r.headers.emplace_back("Retry-After", "60");
        return r;
    }
    json j = token_json(out.info);
    j["token"] = out.token;
    return json_reply(j.dump(), 201);
}

HttpReply SpoolApi::pairing_code() const {
    double expires = 0;
    const std::string code = access_.new_code(&expires);
    return json_reply(json{{"code", code}, {"expires", expires}}.dump());
}

HttpReply SpoolApi::tokens() const {
    json list = json::array();
    for (const TokenInfo& t : access_.tokens()) list.push_back(token_json(t));
    return json_reply(json{{"tokens", list}}.dump());
}

HttpReply SpoolApi::revoke(int64_t id) const {
    if (!access_.revoke(id)) return error_reply(404, "no token " + std::to_string(id));
    return json_reply(json{{"id", id}, {"revoked", true}}.dump());
}

HttpReply SpoolApi::client_script() const {
    HttpReply r;
    r.type = "text/javascript; charset=utf-8";
    r.body = QUORVEL_JS;
    r.headers = {{"Cache-Control", "no-cache"}};
    return r;
}

std::optional<Job> SpoolApi::visible_job(const HttpRequest& req, int64_t id) const {
    auto j = store_.get(id);
    if (j && !req.origin.empty() && access_.owner(id) != req.origin) return std::nullopt;
    return j;
}

}  // namespace quorvel::spool
