// SPDX-License-Identifier: MIT
#include "worker.h"

#include <algorithm>
#include <cmath>

namespace quorvel::spool {

namespace {

// ESC @, centred, emphasized: a line on top of a job, then back to normal.
std::string mark_line(const std::string& text) {
    return std::string("\x1b@\x1b\x61\x01\x1b\x45\x01", 8) + text + "\n" +
           std::string("\x1b\x45\x00\x1b\x61\x00", 6);
}

// A job within this of the last confirmed one is sent without a status read first.
constexpr double FRESH_SECONDS = 1;
// At most this many jobs, and bytes, go back to back under one confirmation
// (and one commit before and one after them).
constexpr size_t BATCH_JOBS = 8;
constexpr size_t BATCH_BYTES = 256 * 1024;
// How often an idle printer's status is read.
constexpr double IDLE_LOOK_SECONDS = 5;

std::string seconds_text(double s) {
    return std::to_string(static_cast<long>(std::lround(s))) + " s";
}

}  // namespace

Worker::Worker(const PrinterConfig& config, JobStore& store, Workers& all, const Config& global)
    : config_(config), global_(global), store_(store), all_(all) {
    LinkTimings t;
    t.confirm_ms = static_cast<int>(global.confirm_timeout * 1000);
    link_ = make_link(config_, t);
    view_.since = now_seconds();
}

Worker::~Worker() {
    stop();
}

void Worker::start() {
    thread_ = std::thread([this] { run(); });
}

void Worker::stop() {
    {
        std::lock_guard lock(mu_);
        stopping_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void Worker::wake() {
    {
        std::lock_guard lock(mu_);
        woken_ = true;
    }
    cv_.notify_all();
}

PrinterView Worker::view() const {
    std::lock_guard lock(mu_);
    return view_;
}

bool Worker::up() const {
    std::lock_guard lock(mu_);
    return view_.down_since == 0;
}

bool Worker::pause(int ms) {
    std::unique_lock lock(mu_);
    cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping_ || woken_; });
    woken_ = false;
    return !stopping_;
}

void Worker::set_view(const std::string& state, const std::string& reason) {
    std::lock_guard lock(mu_);
    if (view_.state != state) view_.since = now_seconds();
    view_.state = state;
    view_.reason = reason;
    if (state != "down") {
        view_.down_since = 0;
        view_.next_try = 0;
    }
}

std::string Worker::printed_reason(const Job& job) const {
    // A copy printed after an uncertain send says so: the first may have printed too.
    // (A copy asked for by reprint has reprint_of set; this one is the same job again.)
    const bool after_uncertain = job.copy && job.reprint_of == 0;
    return (after_uncertain ? "printed as COPY after an uncertain send; " : "") +
           link_->confirm_level();
}

std::string Worker::with_marks(const Job& job) const {
    std::string out;
    if (!job.banner.empty()) out += mark_line(job.banner);
    if (job.copy) out += mark_line("*** COPY ***");
    return out + job.data;
}

void Worker::run() {
    while (true) {
        {
            std::lock_guard lock(mu_);
            if (stopping_) return;
        }
        housekeeping();
        double next_try = 0;
        {
            std::lock_guard lock(mu_);
            next_try = view_.next_try;
        }
        if (next_try > now_seconds()) {  // down: wait for the next try
            if (!pause(static_cast<int>((next_try - now_seconds()) * 1000) + 1)) return;
            continue;
        }
        auto jobs = store_.pending(config_.name, BATCH_JOBS);
        if (jobs.empty()) {
            {
                std::lock_guard lock(mu_);
                view_.current_job = 0;
            }
            if (view().state == "printing") set_view("ready", "");
            idle_look();
            if (!pause(1000)) return;
            continue;
        }
        if (expire_if_due(jobs.front())) continue;
        deliver(std::move(jobs));
    }
}

void Worker::housekeeping() {
    // Jobs past their time are expired while they wait, whatever the printer.
    if (config_.expire_after > 0)
        for (const Job& j : store_.unsent(config_.name)) expire_if_due(j);
    move_to_fallback();
}

bool Worker::expire_if_due(const Job& job) {
    if (config_.expire_after <= 0 || job.sent) return false;
    if (now_seconds() - job.created < config_.expire_after) return false;
    return store_.change(
        job.id, JobStore::Change(
                    JobState::expired,
                    "not printed within " + seconds_text(config_.expire_after) + " (expire_after)",
                    {JobState::queued, JobState::retrying, JobState::held}));
}

void Worker::move_to_fallback() {
    if (config_.fallback.empty()) return;
    double down_since = 0;
    {
        std::lock_guard lock(mu_);
        down_since = view_.down_since;
    }
    if (down_since == 0 || now_seconds() - down_since < config_.fallback_after) return;
    Worker* other = all_.find(config_.fallback);
    if (!other || !other->up()) return;
    bool moved = false;
    for (const Job& j : store_.unsent(config_.name)) {
        // The banner names the printer the till asked for.
        const std::string banner = "Printer " + j.requested + " was down";
        moved |= store_.change(
            j.id, JobStore::Change(JobState::queued,
                                   "moved from " + config_.name + ", down for " +
                                       seconds_text(now_seconds() - down_since),
                                   {JobState::queued, JobState::retrying, JobState::held})
                      .mark_sent(false)
                      .move_to(config_.fallback, banner));
    }
    if (moved) other->wake();
}

double Worker::mark_down(const std::string& why) {
    double wait = 0;
    {
        std::lock_guard lock(mu_);
        const double now = now_seconds();
        if (view_.down_since == 0) {
            view_.down_since = now;
            backoff_ = global_.retry_min;
        } else {
            backoff_ = std::min(global_.retry_max, backoff_ * 2);
        }
        wait = backoff_;
        if (view_.state != "down") view_.since = now;
        view_.state = "down";
        view_.reason = why;
        view_.next_try = now + wait;
    }
    return wait;
}

void Worker::link_down(const Job& job, const std::string& why) {
    const double wait = mark_down(why);
    store_.change(
        job.id,
        JobStore::Change(JobState::retrying, why + "; next try in " + seconds_text(wait),
                         {JobState::queued, JobState::retrying, JobState::held, JobState::printing})
            .mark_sent(false));
}

void Worker::idle_look() {
    // With nothing to print, the printer is still looked at now and then, so
    // that its state is known (the API, the front port's status answers).
    const double now = now_seconds();
    if (now - last_look_ < IDLE_LOOK_SECONDS) return;
    last_look_ = now;
    std::lock_guard link_lock(link_mu_);
    std::string why;
    auto status = link_->status(&why);
    if (!status) {
        mark_down(why);
        return;
    }
    {
        std::lock_guard lock(mu_);
        view_.status = *status;
    }
    const std::string cause = status->stop_cause();
    set_view(cause.empty() ? "ready" : "held", cause);
}

bool Worker::ready_to_send(const Job& job, std::string& why,
                           std::unique_lock<std::mutex>& link_lock) {
    if (!link_->connected() && !link_->connect(&why)) {
        if (link_->cannot_open()) {
            // Refused for good: the job fails rather than wait for ever.
            set_view("down", "the link cannot be opened: " + why);
            store_.change(job.id,
                          JobStore::Change(JobState::failed, "the link cannot be opened: " + why,
                                           {JobState::queued, JobState::retrying, JobState::held}));
            return false;
        }
        link_down(job, why);
        return false;
    }
    auto status = link_->status(&why);
    if (!status) {
        link_down(job, why);
        return false;
    }
    last_look_ = now_seconds();
    {
        std::lock_guard lock(mu_);
        view_.status = *status;
    }
    if (const std::string cause = status->stop_cause(); !cause.empty()) {
        // Not sent while the printer cannot print: held here, not resent.
        set_view("held", cause);
        const std::string reason = cause + " (waiting, not sent yet)";
        if (job.state != JobState::held || job.reason != reason)  // news only once
            store_.change(job.id,
                          JobStore::Change(JobState::held, reason,
                                           {JobState::queued, JobState::retrying, JobState::held}));
        link_lock.unlock();
        pause(500);
        return false;
    }
    return true;
}

std::vector<Job> Worker::take_batch(std::vector<Job>& pending) {
    // Behind the first job, only jobs queued and never sent join it, oldest
    // first and without a gap, so the order on paper stays the queue's.
    std::vector<Job> batch;
    size_t bytes = 0;
    for (Job& j : pending) {
        const bool first = batch.empty();
        if (!first && (j.state != JobState::queued || j.sent || expire_if_due(j))) break;
        if (!first && bytes + j.data.size() > BATCH_BYTES) break;
        bytes += j.data.size();
        batch.push_back(std::move(j));
    }
    return batch;
}

void Worker::deliver(std::vector<Job> pending) {
    std::unique_lock link_lock(link_mu_);
    const Job& job = pending.front();
    {
        std::lock_guard lock(mu_);
        view_.current_job = job.id;
    }
    if (job.sent && job.state == JobState::held) {
        // Sent before and held inside the printer: only waited for.
        return watch_held({job}, job.reason, link_lock);
    }
    std::string why;
    // Right after a confirmed job the printer's state is known: the next jobs
    // go at once, back to back (a stop meanwhile is the library's "held"
    // after sending). Otherwise the status is read and one job goes alone.
    const bool fresh = link_->connected() && job.state == JobState::queued &&
                       now_seconds() - last_confirmed_ < FRESH_SECONDS;
    if (!fresh && !ready_to_send(job, why, link_lock)) return;
    if (!fresh) pending.resize(1);
    std::vector<Job> batch = take_batch(pending);
    set_view("printing", "");
    // Committed before the first byte goes: after a crash they are known to
    // have perhaps printed. A job cancelled meanwhile is left out.
    std::vector<std::pair<int64_t, JobStore::Change>> marks;
    for (const Job& j : batch)
        marks.emplace_back(j.id,
                           JobStore::Change(JobState::printing, "",
                                            {JobState::queued, JobState::retrying, JobState::held})
                               .mark_sent(true)
                               .attempt());
    const std::vector<bool> marked = store_.change_all(marks);
    std::vector<Job> sending;
    std::string bytes;
    for (size_t i = 0; i < batch.size(); ++i)
        if (marked[i]) {
            bytes += with_marks(batch[i]);
            sending.push_back(std::move(batch[i]));
        }
    if (sending.empty()) return;
    // One confirmation covers everything sent before it: the whole batch.
    const SendResult r = link_->send(bytes, sending.front().id);
    switch (r.outcome) {
        case SendResult::printed:
            change_each(sending, [&](const Job& j) {
                return JobStore::Change(JobState::printed, printed_reason(j), {JobState::printing});
            });
            last_confirmed_ = now_seconds();
            return;
        case SendResult::held:
            change_each(sending, [&](const Job&) {
                return JobStore::Change(JobState::held,
                                        r.why + " (inside the printer; it prints on recovery)",
                                        {JobState::printing});
            });
            return watch_held(sending, r.why, link_lock);
        case SendResult::link_down:
            for (const Job& j : sending) link_down(j, r.why);
            return;
        case SendResult::uncertain:
            for (const Job& j : sending) settle_uncertain(j, r.why);
            return;
        case SendResult::refused:
            change_each(sending, [&](const Job&) {
                return JobStore::Change(JobState::failed, r.why, {JobState::printing});
            });
            return;
    }
}

void Worker::change_each(const std::vector<Job>& jobs,
                         const std::function<JobStore::Change(const Job&)>& change) {
    std::vector<std::pair<int64_t, JobStore::Change>> all;
    for (const Job& j : jobs) all.emplace_back(j.id, change(j));
    store_.change_all(all);
}

void Worker::watch_held(const std::vector<Job>& jobs, std::string cause,
                        std::unique_lock<std::mutex>& link_lock) {
    set_view("held", cause);
    const Job& job = jobs.front();
    while (true) {
        {
            std::lock_guard lock(mu_);
            if (stopping_) return;
        }
        const SendResult r = link_->wait_held(1000);
        if (r.outcome == SendResult::printed) {
            set_view("ready", "");
            change_each(jobs, [&](const Job& j) {
                return JobStore::Change(JobState::printed, printed_reason(j), {JobState::held});
            });
            return;
        }
        if (r.outcome != SendResult::held) {
            for (const Job& j : jobs) settle_uncertain(j, r.why);
            return;
        }
        if (auto j = store_.get(job.id); !j || j->state != JobState::held) return;  // operator
        if (r.why != cause) {
            cause = r.why;
            set_view("held", cause);
            change_each(jobs, [&](const Job&) {
                return JobStore::Change(JobState::held, cause + " (inside the printer)",
                                        {JobState::held});
            });
        }
        // The link is free meanwhile, for an operator's recover.
        link_lock.unlock();
        {
            std::unique_lock lock(mu_);
            cv_.wait_for(lock, std::chrono::milliseconds(500), [&] { return stopping_; });
        }
        link_lock.lock();
    }
}

void Worker::settle_uncertain(const Job& job, const std::string& why) {
    set_view("down", why);
    {
        std::lock_guard lock(mu_);
        view_.down_since = now_seconds();
        backoff_ = global_.retry_min;
        view_.next_try = now_seconds() + backoff_;
    }
    const bool again = config_.reprint_uncertain && !store_.auto_reprinted(job.id);
    store_.change(job.id,
                  JobStore::Change(JobState::uncertain, why, {JobState::printing, JobState::held}));
    if (again)  // once, marked COPY, so that nobody takes it for a second order
        store_.change(job.id,
                      JobStore::Change(JobState::queued,
                                       "uncertain (" + why + "); printed again once, marked COPY",
                                       {JobState::uncertain})
                          .mark_sent(false)
                          .mark_copy(true)
                          .reprinted_once());
}

std::string Worker::recover(int n, bool* ok) {
    std::lock_guard link_lock(link_mu_);
    std::string why;
    *ok = link_->recover(n, &why);
    if (!*ok) return "DLE ENQ not sent: " + why;
    wake();
    return n == 1 ? "DLE ENQ 1 sent: the printer recovers and goes on"
                  : "DLE ENQ 2 sent: the printer recovers and clears its buffers";
}

// ------------------------------------------------------------------ workers

Workers::Workers(const Config& config, JobStore& store) {
    for (const PrinterConfig& p : config.printers)
        workers_.push_back(std::make_unique<Worker>(p, store, *this, config));
}

void Workers::start() {
    for (auto& w : workers_) w->start();
}

void Workers::stop() {
    for (auto& w : workers_) w->stop();
}

Worker* Workers::find(const std::string& name) {
    for (auto& w : workers_)
        if (w->config().name == name) return w.get();
    return nullptr;
}

std::vector<Worker*> Workers::all() {
    std::vector<Worker*> out;
    for (auto& w : workers_) out.push_back(w.get());
    return out;
}

}  // namespace quorvel::spool
