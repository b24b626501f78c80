// SPDX-License-Identifier: MIT
// The service's JSON API and page, apart from the HTTP library: a request
// in, a reply out. The server decides who may ask; this only answers.
#pragma once

#include "../config/config.h"
#include "../delivery/worker.h"
#include "../intake/intake.h"
#include "../store/job_store.h"
#include "event_hub.h"
#include "http_types.h"

namespace quorvel::spool {

class SpoolApi {
  public:
    SpoolApi(const Config& config, JobStore& store, Workers& workers, JobIntake& intake,
             EventHub& hub)
        : config_(config), store_(store), workers_(workers), intake_(intake), hub_(hub) {}

    HttpReply handle(const HttpRequest& req) const;

  private:
    HttpReply page() const;
    HttpReply printers() const;
    HttpReply post_job(const HttpRequest& req, const std::string& printer) const;
    HttpReply recover(const HttpRequest& req, const std::string& printer) const;
    HttpReply jobs(const HttpRequest& req) const;
    HttpReply job(int64_t id) const;
    HttpReply cancel(int64_t id) const;
    HttpReply reprint(int64_t id) const;
    HttpReply events(const HttpRequest& req) const;

    const Config& config_;
    JobStore& store_;
    Workers& workers_;
    JobIntake& intake_;
    EventHub& hub_;
};

// A job as the API shows it (without its data).
std::string job_json(const Job& job);

// The page served at /.
extern const char* const SPOOL_PAGE;

}  // namespace quorvel::spool
