// SPDX-License-Identifier: MIT
#include "access.h"

#include <openssl/evp.h>
#include <sqlite3.h>
#include <sys/random.h>

#include <algorithm>
#include <regex>

#include "../store/job.h"
#include "../web/http_guard.h"

namespace quorvel::spool {

namespace {

constexpr const char* TOKEN_SCHEMA = R"(
CREATE TABLE IF NOT EXISTS tokens (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  name TEXT NOT NULL,
  origin TEXT NOT NULL,
  hash TEXT NOT NULL UNIQUE,
  created REAL NOT NULL);
CREATE TABLE IF NOT EXISTS job_origins (
  job INTEGER PRIMARY KEY,
  origin TEXT NOT NULL);
)";

// A uniformly drawn number below 1,000,000, as six digits.
std::string six_digits() {
    uint32_t v = 0;
    do {
        size_t got = 0;
        auto* p = reinterpret_cast<unsigned char*>(&v);
        while (got < sizeof v) {
            const ssize_t n = getrandom(p + got, sizeof v - got, 0);
            if (n > 0) got += static_cast<size_t>(n);
        }
    } while (v >= 4294000000u);  // a multiple of 10^6: no digit more likely than another
    std::string s = std::to_string(v % 1000000);
    return std::string(6 - s.size(), '0') + s;
}

}  // namespace

bool valid_origin(const std::string& origin, std::string* error) {
    static const std::regex FORM(
        R"(^https?://(\[[0-9a-f:.]+\]|[a-z0-9]([a-z0-9.-]{0,251}[a-z0-9])?)(:[0-9]{1,5})?$)");
    if (origin == "null" || origin == "*") {
        *error = "\"" + origin + "\" cannot be allowed: name a site, as http://HOST[:PORT]";
        return false;
    }
    if (!std::regex_match(origin, FORM)) {
        *error = "\"" + origin.substr(0, 64) +
                 "\" is not an origin: http:// or https://, a lower-case host, an optional "
                 ":PORT, no path";
        return false;
    }
    return true;
}

std::string sha256_hex(std::string_view text) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(text.data(), text.size(), md, &n, EVP_sha256(), nullptr);
    static const char HEX[] = "0123456789abcdef";
    std::string out;
    for (unsigned i = 0; i < n; ++i) out += {HEX[md[i] >> 4], HEX[md[i] & 15]};
    return out;
}

Access::Access(const Config& config) : config_(config) {
    for (const PresetToken& t : config.tokens)
        by_hash_[sha256_hex(t.token)] = TokenInfo{0, t.name, t.origin, 0};
}

Access::~Access() {
    close();
}

bool Access::open(const std::string& path, std::string* error) {
    std::lock_guard lock(mu_);
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK ||
        sqlite3_busy_timeout(db_, 5000) != SQLITE_OK ||
        sqlite3_exec(db_, TOKEN_SCHEMA, nullptr, nullptr, nullptr) != SQLITE_OK) {
        *error = "cannot open the token store in " + path + ": " + sqlite3_errmsg(db_);
        return false;
    }
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db_, "SELECT id, name, origin, hash, created FROM tokens", -1, &s, nullptr);
    while (sqlite3_step(s) == SQLITE_ROW) {
        auto text = [&](int c) {
            return std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, c)));
        };
        by_hash_[text(3)] =
            TokenInfo{sqlite3_column_int64(s, 0), text(1), text(2), sqlite3_column_double(s, 4)};
    }
    sqlite3_finalize(s);
    return true;
}

void Access::close() {
    std::lock_guard lock(mu_);
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

bool Access::origin_allowed(std::string_view origin) const {
    return std::find(config_.allowed_origins.begin(), config_.allowed_origins.end(), origin) !=
           config_.allowed_origins.end();
}

std::string Access::new_code(double* expires) {
    std::lock_guard lock(mu_);
    code_ = six_digits();
    code_end_ = std::chrono::steady_clock::now() + CODE_LIFE;
    *expires = now_seconds() + static_cast<double>(CODE_LIFE.count());
    return code_;
}

PairOutcome Access::pair(std::string_view code, std::string_view name, const std::string& origin) {
    using Clock = std::chrono::steady_clock;
    std::lock_guard lock(mu_);
    const auto now = Clock::now();
    while (!wrong_.empty() && now - wrong_.front() >= std::chrono::minutes(1)) wrong_.pop_front();
    if (wrong_.size() >= MAX_WRONG_CODES)
        return {429, "too many wrong pairing codes: try again in a minute", {}, {}};
    const bool live = !code_.empty() && now < code_end_;
    if (!live || !same_secret(code, code_)) {
        wrong_.push_back(now);
        return {403,
                live ? "wrong pairing code"
                     : "no pairing code is open: show one on the service's page or with "
                       "quorvel-spool pair",
                {},
                {}};
    }
    code_.clear();  // one use
    PairOutcome out{201, {}, random_token() + random_token(), {}};
    out.info = TokenInfo{0, std::string(name), origin, now_seconds()};
    const std::string hash = sha256_hex(out.token);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db_, "INSERT INTO tokens(name, origin, hash, created) VALUES(?,?,?,?)", -1,
                       &s, nullptr);
    sqlite3_bind_text(s, 1, out.info.name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(s, 2, origin.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(s, 3, hash.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(s, 4, out.info.created);
    const int rc = sqlite3_step(s);
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE)
        return {500, std::string("token not stored: ") + sqlite3_errmsg(db_), {}, {}};
    out.info.id = sqlite3_last_insert_rowid(db_);
    by_hash_[hash] = out.info;
    return out;
}

std::optional<TokenInfo> Access::check(std::string_view token, const std::string& origin) const {
    if (token.empty() || token.size() > 256) return std::nullopt;
    const std::string hash = sha256_hex(token);
    std::lock_guard lock(mu_);
    const auto it = by_hash_.find(hash);
    if (it == by_hash_.end()) return std::nullopt;
    // A paired token works only from the origin it was paired from.
    if (!it->second.origin.empty() && !origin.empty() && it->second.origin != origin)
        return std::nullopt;
    return it->second;
}

std::vector<TokenInfo> Access::tokens() const {
    std::lock_guard lock(mu_);
    std::vector<TokenInfo> out;
    for (const auto& [hash, t] : by_hash_)
        if (t.id) out.push_back(t);
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    return out;
}

bool Access::revoke(int64_t id) {
    std::lock_guard lock(mu_);
    const auto it = std::find_if(by_hash_.begin(), by_hash_.end(),
                                 [&](const auto& e) { return e.second.id == id && id != 0; });
    if (it == by_hash_.end()) return false;
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db_, "DELETE FROM tokens WHERE id = ?", -1, &s, nullptr);
    sqlite3_bind_int64(s, 1, id);
    const bool ok = sqlite3_step(s) == SQLITE_DONE;
    sqlite3_finalize(s);
    if (ok) by_hash_.erase(it);
    return ok;
}

void Access::own(int64_t job, const std::string& origin) {
    std::lock_guard lock(mu_);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db_, "INSERT OR IGNORE INTO job_origins(job, origin) VALUES(?,?)", -1, &s,
                       nullptr);
    sqlite3_bind_int64(s, 1, job);
    sqlite3_bind_text(s, 2, origin.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(s);
    sqlite3_finalize(s);
}

std::string Access::owner(int64_t job) const {
    std::lock_guard lock(mu_);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db_, "SELECT origin FROM job_origins WHERE job = ?", -1, &s, nullptr);
    sqlite3_bind_int64(s, 1, job);
    std::string out;
    if (sqlite3_step(s) == SQLITE_ROW)
        out = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    sqlite3_finalize(s);
    return out;
}

}  // namespace quorvel::spool
