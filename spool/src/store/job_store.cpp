// SPDX-License-Identifier: MIT
#include "job_store.h"

#include <sqlite3.h>

#include <chrono>

namespace quorvel::spool {

namespace {

constexpr const char* JOB_SCHEMA = R"(
CREATE TABLE IF NOT EXISTS jobs (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  printer TEXT NOT NULL,
  requested TEXT NOT NULL,
  state TEXT NOT NULL,
  reason TEXT NOT NULL DEFAULT '',
  idem_key TEXT,
  data BLOB NOT NULL,
  size INTEGER NOT NULL,
  copy INTEGER NOT NULL DEFAULT 0,
  banner TEXT NOT NULL DEFAULT '',
  sent INTEGER NOT NULL DEFAULT 0,
  attempts INTEGER NOT NULL DEFAULT 0,
  auto_reprinted INTEGER NOT NULL DEFAULT 0,
  reprint_of INTEGER NOT NULL DEFAULT 0,
  created REAL NOT NULL,
  updated REAL NOT NULL);
CREATE UNIQUE INDEX IF NOT EXISTS jobs_key ON jobs(idem_key) WHERE idem_key IS NOT NULL;
CREATE INDEX IF NOT EXISTS jobs_queue ON jobs(printer, state, id);
)";

// Columns read into a Job, data last (left out of lists).
constexpr const char* COLUMNS =
    "id, printer, requested, state, reason, coalesce(idem_key,''), copy, banner, attempts, "
    "reprint_of, created, updated, size, sent";

// A prepared statement that finalizes itself.
class Stmt {
  public:
    Stmt(sqlite3* db, const std::string& sql) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s_, nullptr) != SQLITE_OK) s_ = nullptr;
    }
    ~Stmt() { sqlite3_finalize(s_); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    explicit operator bool() const { return s_ != nullptr; }
    sqlite3_stmt* get() { return s_; }

    Stmt& bind(int i, const std::string& v) {
        sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& blob(int i, const std::string& v) {
        sqlite3_bind_blob(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& bind(int i, int64_t v) {
        sqlite3_bind_int64(s_, i, v);
        return *this;
    }
    Stmt& bind(int i, double v) {
        sqlite3_bind_double(s_, i, v);
        return *this;
    }
    Stmt& null(int i) {
        sqlite3_bind_null(s_, i);
        return *this;
    }
    int step() { return s_ ? sqlite3_step(s_) : SQLITE_ERROR; }
    int64_t i64(int c) { return sqlite3_column_int64(s_, c); }
    double f(int c) { return sqlite3_column_double(s_, c); }
    std::string text(int c) {
        const auto* p = sqlite3_column_blob(s_, c);
        return p ? std::string(static_cast<const char*>(p),
                               static_cast<size_t>(sqlite3_column_bytes(s_, c)))
                 : std::string();
    }

  private:
    sqlite3_stmt* s_ = nullptr;
};

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

Job read_job(Stmt& s, bool with_data) {
    Job j;
    j.id = s.i64(0);
    j.printer = s.text(1);
    j.requested = s.text(2);
    j.state = parse_state(s.text(3)).value_or(JobState::failed);
    j.reason = s.text(4);
    j.key = s.text(5);
    j.copy = s.i64(6) != 0;
    j.banner = s.text(7);
    j.attempts = static_cast<int>(s.i64(8));
    j.reprint_of = s.i64(9);
    j.created = s.f(10);
    j.updated = s.f(11);
    j.size = static_cast<size_t>(s.i64(12));
    j.sent = s.i64(13) != 0;
    if (with_data) j.data = s.text(14);
    return j;
}

std::string pending_list() {
    return "('queued','printing','held','retrying')";
}

}  // namespace

double now_seconds() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

std::optional<JobState> parse_state(std::string_view name) {
    for (size_t i = 0; i < std::size(STATE_NAMES); ++i)
        if (name == STATE_NAMES[i]) return static_cast<JobState>(i);
    return std::nullopt;
}

JobStore::~JobStore() {
    close();
}

bool JobStore::open(const std::string& path, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = "cannot open the job store " + path + ": " + why;
        close();
        return false;
    };
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK)
        return fail(db_ ? sqlite3_errmsg(db_) : "out of memory");
    sqlite3_busy_timeout(db_, 5000);
    // WAL: readers never block the writer; FULL: a commit is on the disk
    // (WAL fsynced) before it returns.
    Stmt mode(db_, "PRAGMA journal_mode=WAL");
    if (mode.step() != SQLITE_ROW || mode.text(0) != "wal")
        return fail(std::string("cannot use WAL mode: ") + sqlite3_errmsg(db_));
    if (!exec(db_, "PRAGMA synchronous=FULL") || !exec(db_, JOB_SCHEMA))
        return fail(sqlite3_errmsg(db_));
    if (sqlite3_open_v2(path.c_str(), &read_, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK)
        return fail(read_ ? sqlite3_errmsg(read_) : "out of memory");
    sqlite3_busy_timeout(read_, 5000);
    stopping_ = false;
    committer_ = std::thread([this] { committer(); });
    return true;
}

void JobStore::close() {
    {
        std::lock_guard lock(queue_mu_);
        stopping_ = true;
    }
    queue_cv_.notify_all();
    if (committer_.joinable()) committer_.join();
    sqlite3_close_v2(read_);
    sqlite3_close_v2(db_);
    read_ = db_ = nullptr;
}

// ------------------------------------------------------------------ intake

SubmitResult JobStore::submit(SubmitRequest request) {
    Pending p{std::move(request), {}, false};
    std::unique_lock lock(queue_mu_);
    if (stopping_ || !db_) return {SubmitResult::error, 0, JobState::queued, "the store is closed"};
    queue_.push_back(&p);
    queue_cv_.notify_one();
    done_cv_.wait(lock, [&] { return p.done; });
    return p.result;
}

void JobStore::committer() {
    std::vector<Pending*> batch;
    for (;;) {
        {
            std::unique_lock lock(queue_mu_);
            queue_cv_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;  // stopping, nothing left
            // Everything waiting shares one commit.
            batch.assign(queue_.begin(), queue_.end());
            queue_.clear();
        }
        commit_batch(batch);
        // The ids first: once `done` is set, a submitter returns and its
        // Pending (on its stack) is gone.
        std::vector<int64_t> created;
        for (Pending* p : batch)
            if (p->result.status == SubmitResult::created) created.push_back(p->result.id);
        {
            std::lock_guard lock(queue_mu_);
            for (Pending* p : batch) p->done = true;
        }
        done_cv_.notify_all();
        batch.clear();
        for (int64_t id : created) publish(id);
    }
}

void JobStore::commit_batch(std::vector<Pending*>& batch) {
    std::lock_guard lock(write_mu_);
    if (!exec(db_, "BEGIN IMMEDIATE")) {
        for (Pending* p : batch)
            p->result = {SubmitResult::error, 0, JobState::queued, sqlite3_errmsg(db_)};
        return;
    }
    for (Pending* p : batch) p->result = insert_one(p->request);
    if (!exec(db_, "COMMIT")) {
        const std::string why = sqlite3_errmsg(db_);
        exec(db_, "ROLLBACK");
        for (Pending* p : batch)
            p->result = {SubmitResult::error, 0, JobState::queued, "not stored: " + why};
    }
}

SubmitResult JobStore::insert_one(const SubmitRequest& r) {
    if (!r.key.empty()) {
        Stmt s(db_, "SELECT id, printer, state, data FROM jobs WHERE idem_key = ?");
        s.bind(1, r.key);
        if (s.step() == SQLITE_ROW) {
            const int64_t id = s.i64(0);
            // The same key for another printer or other bytes is a till's
            // mistake, not a retry: refused rather than answered with a job
            // that is not the one it asked for.
            if (s.text(1) != r.printer || s.text(3) != r.data)
                return {SubmitResult::conflict, id, JobState::queued,
                        "Idempotency-Key already used by job " + std::to_string(id) +
                            " with other content"};
            return {
                SubmitResult::existing, id, parse_state(s.text(2)).value_or(JobState::queued), {}};
        }
    }
    if (r.max_queue > 0) {
        Stmt c(db_, "SELECT count(*) FROM jobs WHERE printer = ? AND state IN " + pending_list());
        c.bind(1, r.printer);
        if (c.step() == SQLITE_ROW && static_cast<size_t>(c.i64(0)) >= r.max_queue)
            return {SubmitResult::queue_full, 0, JobState::queued,
                    "printer " + r.printer + " already has " + std::to_string(r.max_queue) +
                        " jobs waiting"};
    }
    Stmt s(db_,
           "INSERT INTO jobs(printer, requested, state, idem_key, data, size, created, updated) "
           "VALUES(?, ?, 'queued', ?, ?, ?, ?, ?)");
    const double t = now_seconds();
    s.bind(1, r.printer).bind(2, r.printer).blob(4, r.data);
    if (r.key.empty())
        s.null(3);
    else
        s.bind(3, r.key);
    s.bind(5, static_cast<int64_t>(r.data.size())).bind(6, t).bind(7, t);
    if (s.step() != SQLITE_DONE)
        return {SubmitResult::error, 0, JobState::queued, sqlite3_errmsg(db_)};
    return {SubmitResult::created, sqlite3_last_insert_rowid(db_), JobState::queued, {}};
}

// ------------------------------------------------------------------- reads

std::optional<Job> JobStore::get(int64_t id, bool with_data) const {
    std::lock_guard lock(read_mu_);
    Stmt s(read_, std::string("SELECT ") + COLUMNS + ", data FROM jobs WHERE id = ?");
    s.bind(1, id);
    if (s.step() != SQLITE_ROW) return std::nullopt;
    return read_job(s, with_data);
}

std::vector<Job> JobStore::list(const JobFilter& f) const {
    std::string sql = std::string("SELECT ") + COLUMNS + " FROM jobs WHERE 1";
    if (!f.printer.empty()) sql += " AND printer = ?1";
    if (f.state) sql += " AND state = ?2";
    if (f.before_id > 0) sql += " AND id < ?3";
    sql += " ORDER BY id DESC LIMIT ?4";
    std::lock_guard lock(read_mu_);
    Stmt s(read_, sql);
    if (!f.printer.empty()) s.bind(1, f.printer);
    if (f.state) s.bind(2, std::string(state_name(*f.state)));
    if (f.before_id > 0) s.bind(3, f.before_id);
    s.bind(4, static_cast<int64_t>(f.limit));
    std::vector<Job> out;
    while (s.step() == SQLITE_ROW) out.push_back(read_job(s, false));
    return out;
}

std::optional<Job> JobStore::next_pending(const std::string& printer) const {
    std::lock_guard lock(read_mu_);
    Stmt s(read_, std::string("SELECT ") + COLUMNS +
                      ", data FROM jobs WHERE printer = ? AND state IN " + pending_list() +
                      " ORDER BY id LIMIT 1");
    s.bind(1, printer);
    if (s.step() != SQLITE_ROW) return std::nullopt;
    return read_job(s, true);
}

std::vector<Job> JobStore::pending(const std::string& printer, size_t limit) const {
    std::lock_guard lock(read_mu_);
    Stmt s(read_, std::string("SELECT ") + COLUMNS +
                      ", data FROM jobs WHERE printer = ? AND state IN " + pending_list() +
                      " ORDER BY id LIMIT ?");
    s.bind(1, printer).bind(2, static_cast<int64_t>(limit));
    std::vector<Job> out;
    while (s.step() == SQLITE_ROW) out.push_back(read_job(s, true));
    return out;
}

std::vector<Job> JobStore::unsent(const std::string& printer) const {
    std::lock_guard lock(read_mu_);
    Stmt s(read_, std::string("SELECT ") + COLUMNS +
                      " FROM jobs WHERE printer = ? AND sent = 0 AND state IN " + pending_list() +
                      " ORDER BY id");
    s.bind(1, printer);
    std::vector<Job> out;
    while (s.step() == SQLITE_ROW) out.push_back(read_job(s, false));
    return out;
}

std::map<std::string, size_t> JobStore::counts(const std::string& printer) const {
    std::lock_guard lock(read_mu_);
    Stmt s(read_, "SELECT state, count(*) FROM jobs WHERE printer = ? GROUP BY state");
    s.bind(1, printer);
    std::map<std::string, size_t> out;
    for (const char* n : STATE_NAMES) out[n] = 0;
    while (s.step() == SQLITE_ROW) out[s.text(0)] = static_cast<size_t>(s.i64(1));
    return out;
}

size_t JobStore::total() const {
    std::lock_guard lock(read_mu_);
    Stmt s(read_, "SELECT count(*) FROM jobs");
    return s.step() == SQLITE_ROW ? static_cast<size_t>(s.i64(0)) : 0;
}

bool JobStore::auto_reprinted(int64_t id) const {
    std::lock_guard lock(read_mu_);
    Stmt s(read_, "SELECT auto_reprinted FROM jobs WHERE id = ?");
    s.bind(1, id);
    return s.step() == SQLITE_ROW && s.i64(0) != 0;
}

// ----------------------------------------------------------------- changes

bool JobStore::change(int64_t id, const Change& c) {
    bool moved = false;
    {
        std::lock_guard lock(write_mu_);
        moved = apply(id, c);
    }
    if (moved) publish(id);
    return moved;
}

std::vector<bool> JobStore::change_all(const std::vector<std::pair<int64_t, Change>>& changes) {
    std::vector<bool> moved(changes.size(), false);
    {
        std::lock_guard lock(write_mu_);
        if (!exec(db_, "BEGIN IMMEDIATE")) return moved;
        for (size_t i = 0; i < changes.size(); ++i)
            moved[i] = apply(changes[i].first, changes[i].second);
        if (!exec(db_, "COMMIT")) {
            // Nothing of it is on disk: as if none had moved.
            exec(db_, "ROLLBACK");
            return std::vector<bool>(changes.size(), false);
        }
    }
    for (size_t i = 0; i < changes.size(); ++i)
        if (moved[i]) publish(changes[i].first);
    return moved;
}

bool JobStore::apply(int64_t id, const Change& c) {
    std::string sql = "UPDATE jobs SET state = ?1, reason = ?2, updated = ?3";
    if (c.sent) sql += ", sent = ?4";
    if (c.copy) sql += ", copy = ?5";
    if (c.printer) sql += ", printer = ?6";
    if (c.banner) sql += ", banner = ?7";
    if (c.count_attempt) sql += ", attempts = attempts + 1";
    if (c.auto_reprinted) sql += ", auto_reprinted = 1";
    sql += " WHERE id = ?8 AND state IN (";
    std::vector<JobState> from = c.from;
    if (from.empty())
        for (size_t i = 0; i < std::size(STATE_NAMES); ++i)
            if (!is_final(static_cast<JobState>(i))) from.push_back(static_cast<JobState>(i));
    for (size_t i = 0; i < from.size(); ++i)
        sql += std::string(i ? "," : "") + "'" + state_name(from[i]) + "'";
    sql += ")";
    Stmt s(db_, sql);
    s.bind(1, std::string(state_name(c.to))).bind(2, c.reason).bind(3, now_seconds());
    if (c.sent) s.bind(4, static_cast<int64_t>(*c.sent));
    if (c.copy) s.bind(5, static_cast<int64_t>(*c.copy));
    if (c.printer) s.bind(6, *c.printer);
    if (c.banner) s.bind(7, *c.banner);
    s.bind(8, id);
    return s.step() == SQLITE_DONE && sqlite3_changes(db_) == 1;
}

std::optional<Job> JobStore::change_get(int64_t id, const Change& c) {
    if (!change(id, c)) return std::nullopt;
    return get(id, true);
}

int64_t JobStore::reprint(int64_t id, std::string* why) {
    int64_t new_id = 0;
    {
        std::lock_guard lock(write_mu_);
        Stmt s(db_,
               "INSERT INTO jobs(printer, requested, state, reason, data, size, copy, reprint_of, "
               "created, updated) SELECT printer, requested, 'queued', 'reprint of job ' || id, "
               "data, size, 1, id, ?1, ?1 FROM jobs WHERE id = ?2");
        s.bind(1, now_seconds()).bind(2, id);
        if (s.step() != SQLITE_DONE) {
            if (why) *why = sqlite3_errmsg(db_);
            return 0;
        }
        if (sqlite3_changes(db_) != 1) {
            if (why) *why = "no job " + std::to_string(id);
            return 0;
        }
        new_id = sqlite3_last_insert_rowid(db_);
    }
    publish(new_id);
    return new_id;
}

std::vector<Job> JobStore::recover_after_stop() {
    std::vector<int64_t> ids;
    {
        std::lock_guard lock(write_mu_);
        exec(db_, "BEGIN IMMEDIATE");
        {
            Stmt s(db_, "SELECT id FROM jobs WHERE sent = 1 AND state IN ('printing','held')");
            while (s.step() == SQLITE_ROW) ids.push_back(s.i64(0));
        }
        Stmt u(db_,
               "UPDATE jobs SET state = 'uncertain', updated = ?1, reason = 'the service stopped "
               "while it was being printed: it may or may not have printed' WHERE sent = 1 AND "
               "state IN ('printing','held')");
        u.bind(1, now_seconds());
        u.step();
        // Never sent: back in the queue.
        Stmt q(db_,
               "UPDATE jobs SET state = 'queued', reason = '' WHERE sent = 0 AND state IN "
               "('printing','held','retrying')");
        q.step();
        exec(db_, "COMMIT");
    }
    std::vector<Job> out;
    for (int64_t id : ids)
        if (auto j = get(id)) out.push_back(*j);
    return out;
}

void JobStore::publish(int64_t id) {
    if (!listener_) return;
    if (auto j = get(id)) listener_(*j);
}

}  // namespace quorvel::spool
