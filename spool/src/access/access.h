// SPDX-License-Identifier: MIT
// Who may use the service from a web page: the origins allowed, the tokens
// given by pairing (stored hashed) or preset in the configuration, the
// pairing code, and which origin made which job.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../config/config.h"

struct sqlite3;

namespace quorvel::spool {

// An origin as a browser sends it: "http://HOST[:PORT]" or https, lower
// case, no path. `*error` says why not.
bool valid_origin(const std::string& origin, std::string* error);

// SHA-256 of `text`, as 64 hex digits.
std::string sha256_hex(std::string_view text);

struct TokenInfo {
    int64_t id = 0;  // 0 for a token preset in the configuration
    std::string name;
    std::string origin;  // the origin it was paired from; empty: any allowed origin
    double created = 0;
};

struct PairOutcome {
    unsigned status = 200;  // 201 paired; 400, 403, 429
    std::string error;
    std::string token;
    TokenInfo info;
};

class Access {
  public:
    // Wrong pairing codes taken in a minute before the others are refused.
    static constexpr int MAX_WRONG_CODES = 5;
    // How long a pairing code is valid.
    static constexpr std::chrono::seconds CODE_LIFE{120};

    explicit Access(const Config& config);
    ~Access();

    // Opens the token tables next to the jobs in `db`.
    bool open(const std::string& db, std::string* error);
    void close();

    bool origin_allowed(std::string_view origin) const;

    // A fresh 6-digit code, valid CODE_LIFE and for one use; the one before
    // it ends. `*expires` gets its end (seconds since the epoch).
    std::string new_code(double* expires);
    PairOutcome pair(std::string_view code, std::string_view name, const std::string& origin);

    // The token's holder, when `token` is known and may be used from `origin`.
    std::optional<TokenInfo> check(std::string_view token, const std::string& origin) const;
    std::vector<TokenInfo> tokens() const;  // paired ones, oldest first
    bool revoke(int64_t id);

    // Jobs a page made: only its origin reads them.
    void own(int64_t job, const std::string& origin);
    // The origin that made `job`; empty when a program on the machine did.
    std::string owner(int64_t job) const;

  private:
    const Config& config_;
    mutable std::mutex mu_;
    sqlite3* db_ = nullptr;
    std::map<std::string, TokenInfo> by_hash_;  // paired and preset tokens by their hash
    std::string code_;                          // the pairing code; empty: none
    std::chrono::steady_clock::time_point code_end_{};
    std::deque<std::chrono::steady_clock::time_point> wrong_;  // wrong codes' times
};

}  // namespace quorvel::spool
