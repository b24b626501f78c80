// SPDX-License-Identifier: MIT
// One printer's delivery: a thread of its own taking the printer's jobs
// oldest first, so that no printer ever waits for another.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "../config/config.h"
#include "../store/job_store.h"
#include "link.h"

namespace quorvel::spool {

// What the worker knows of its printer, for the API and the front port.
struct PrinterView {
    std::string state = "unknown";  // ready, printing, held, down, unknown
    std::string reason;
    PrinterStatus status;   // last answers (raw -1: never read)
    double since = 0;       // when `state` began (epoch seconds)
    double down_since = 0;  // 0: not down
    int64_t current_job = 0;
    double next_try = 0;  // epoch seconds, when down
};

class Workers;

class Worker {
  public:
    Worker(const PrinterConfig& config, JobStore& store, Workers& all, const Config& global);
    ~Worker();

    void start();
    void stop();
    // Something changed for this printer (a new job, a cancel, a move).
    void wake();
    PrinterView view() const;
    const PrinterConfig& config() const { return config_; }
    // DLE ENQ n, on an operator's word; the outcome for people.
    std::string recover(int n, bool* ok);
    // The printer is reachable and not stopped (for fallbacks).
    bool up() const;

  private:
    void run();
    // Sends the first of `pending` (the oldest jobs) and, right after a
    // confirmed job, those queued behind it, as one batch.
    void deliver(std::vector<Job> pending);
    std::vector<Job> take_batch(std::vector<Job>& pending);
    // One commit changing every job of `jobs`.
    void change_each(const std::vector<Job>& jobs,
                     const std::function<JobStore::Change(const Job&)>& change);
    // Reads the status before a send: false (the job moved to retrying or
    // held) when it must not go now.
    bool ready_to_send(const Job& job, std::string& why, std::unique_lock<std::mutex>& link_lock);
    void link_down(const Job& job, const std::string& why);
    // The printer is down: the view says so; the seconds until the next try.
    double mark_down(const std::string& why);
    void idle_look();
    void set_view(const std::string& state, const std::string& reason);
    void housekeeping();
    bool expire_if_due(const Job& job);
    void move_to_fallback();
    void settle_uncertain(const Job& job, const std::string& why);
    void watch_held(const std::vector<Job>& jobs, std::string cause,
                    std::unique_lock<std::mutex>& link_lock);
    // Waits `ms` or until woken; false when stopping.
    bool pause(int ms);
    std::string with_marks(const Job& job) const;
    std::string printed_reason(const Job& job) const;

    const PrinterConfig config_;
    const Config& global_;
    JobStore& store_;
    Workers& all_;
    std::unique_ptr<Link> link_;
    std::mutex link_mu_;  // the worker and an operator's recover

    mutable std::mutex mu_;
    std::condition_variable cv_;
    bool woken_ = false;
    bool stopping_ = false;
    PrinterView view_;
    double backoff_ = 0;
    double last_look_ = 0;       // when the status was last read
    double last_confirmed_ = 0;  // when a job was last confirmed
    std::thread thread_;
};

// Every printer's worker, by name.
class Workers {
  public:
    Workers(const Config& config, JobStore& store);
    void start();
    void stop();
    Worker* find(const std::string& name);
    std::vector<Worker*> all();

  private:
    std::vector<std::unique_ptr<Worker>> workers_;
};

}  // namespace quorvel::spool
