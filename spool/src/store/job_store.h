// SPDX-License-Identifier: MIT
// The job store: SQLite in WAL mode with synchronous=FULL, so a job that was
// answered as accepted survives a power cut. New jobs are committed in
// groups (every till waiting at once shares one fsync); reads go through a
// connection of their own and never wait for a commit.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "job.h"

struct sqlite3;

namespace quorvel::spool {

struct SubmitRequest {
    std::string printer;
    std::string key;  // Idempotency-Key, may be empty
    std::string data;
    size_t max_queue = 0;  // refused when this many jobs already wait (0: no bound)
};

struct SubmitResult {
    enum Status { created, existing, conflict, queue_full, error } status = error;
    int64_t id = 0;
    JobState state = JobState::queued;
    std::string message;  // for conflict, queue_full and error
};

struct JobFilter {
    std::string printer;  // empty: all
    std::optional<JobState> state;
    int64_t before_id = 0;  // 0: the newest; else ids below it
    size_t limit = 100;
};

// What happened to a job, told to whoever listens (the event stream).
using JobListener = std::function<void(const Job&)>;

class JobStore {
  public:
    JobStore() = default;
    ~JobStore();
    JobStore(const JobStore&) = delete;
    JobStore& operator=(const JobStore&) = delete;

    // Opens (creating if missing) the database at `path`. False with
    // `error` set when it cannot be opened or is not a job store.
    bool open(const std::string& path, std::string* error);
    void close();

    // Stores a job and returns once it is committed (or refused).
    SubmitResult submit(SubmitRequest request);

    // The job, with its data when `with_data`.
    std::optional<Job> get(int64_t id, bool with_data = false) const;
    // Newest first, without data.
    std::vector<Job> list(const JobFilter& filter) const;
    // The oldest job of `printer` still to deliver, with its data.
    std::optional<Job> next_pending(const std::string& printer) const;
    // The oldest `limit` jobs of `printer` still to deliver, with their data.
    std::vector<Job> pending(const std::string& printer, size_t limit) const;
    // Jobs per state for one printer.
    std::map<std::string, size_t> counts(const std::string& printer) const;
    size_t total() const;

    // A change of state, committed before it returns. `sent`: whether bytes
    // of it may have reached the printer. False when the job is not in one
    // of the `from` states (someone else moved it first, e.g. a cancel).
    struct Change {
        Change(JobState t, std::string r, std::vector<JobState> f = {})
            : to(t), reason(std::move(r)), from(std::move(f)) {}
        Change& mark_sent(bool v) {
            sent = v;
            return *this;
        }
        Change& mark_copy(bool v) {
            copy = v;
            return *this;
        }
        Change& move_to(std::string p, std::string b) {
            printer = std::move(p);
            banner = std::move(b);
            return *this;
        }
        Change& attempt() {
            count_attempt = true;
            return *this;
        }
        Change& reprinted_once() {
            auto_reprinted = true;
            return *this;
        }

        JobState to;
        std::string reason;
        std::vector<JobState> from;  // empty: any but a final state
        std::optional<bool> sent;
        std::optional<bool> copy;
        std::optional<std::string> printer;  // moved to another printer
        std::optional<std::string> banner;
        bool count_attempt = false;
        bool auto_reprinted = false;
    };
    bool change(int64_t id, const Change& c);
    // Several changes in one commit (one fsync): whether each moved; none
    // did when the commit failed.
    std::vector<bool> change_all(const std::vector<std::pair<int64_t, Change>>& changes);
    // The job moved, or nothing when it was not there.
    std::optional<Job> change_get(int64_t id, const Change& c);

    // A new job printing `id`'s data again, marked COPY; its id, or 0.
    int64_t reprint(int64_t id, std::string* why);

    // Pending jobs of `printer` never sent, oldest first (fallback and expiry).
    std::vector<Job> unsent(const std::string& printer) const;

    // At start: a job caught while being sent may have printed; it becomes
    // uncertain. One caught before sending goes back to the queue.
    // Returns the jobs made uncertain.
    std::vector<Job> recover_after_stop();
    bool auto_reprinted(int64_t id) const;

    void on_change(JobListener listener) { listener_ = std::move(listener); }

  private:
    struct Pending {
        SubmitRequest request;
        SubmitResult result;
        bool done = false;
    };
    void committer();
    // One change inside the caller's transaction (write_mu_ held).
    bool apply(int64_t id, const Change& c);
    void commit_batch(std::vector<Pending*>& batch);
    SubmitResult insert_one(const SubmitRequest& r);
    void publish(int64_t id);

    sqlite3* db_ = nullptr;    // writes
    sqlite3* read_ = nullptr;  // reads
    mutable std::mutex write_mu_;
    mutable std::mutex read_mu_;

    std::mutex queue_mu_;
    std::condition_variable queue_cv_, done_cv_;
    std::deque<Pending*> queue_;
    bool stopping_ = false;
    std::thread committer_;
    JobListener listener_;
};

}  // namespace quorvel::spool
