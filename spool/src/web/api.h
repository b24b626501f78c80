// SPDX-License-Identifier: MIT
// The service's JSON API and page, apart from the HTTP library: a request
// in, a reply out. The server decides who may ask; this only answers.
#pragma once

#include "../access/access.h"
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
             EventHub& hub, Access& access)
        : config_(config),
          store_(store),
          workers_(workers),
          intake_(intake),
          hub_(hub),
          access_(access) {}

    HttpReply handle(const HttpRequest& req) const;

  private:
    HttpReply page() const;
    HttpReply printers() const;
    HttpReply post_job(const HttpRequest& req, const std::string& printer) const;
    HttpReply post_receipt(const HttpRequest& req, const std::string& printer) const;
    HttpReply recover(const HttpRequest& req, const std::string& printer) const;
    HttpReply jobs(const HttpRequest& req) const;
    HttpReply job(int64_t id) const;
    HttpReply cancel(int64_t id) const;
    HttpReply reprint(int64_t id) const;
    HttpReply events(const HttpRequest& req) const;
    // Pairing and tokens (access_api.cpp).
    HttpReply pair(const HttpRequest& req) const;
    HttpReply pairing_code() const;
    HttpReply tokens() const;
    HttpReply revoke(int64_t id) const;
    HttpReply client_script() const;
    // The job, when the asking page may see it (its origin made it).
    std::optional<Job> visible_job(const HttpRequest& req, int64_t id) const;
    // Stores `data` as a job for `printer` and answers as POST .../jobs does.
    HttpReply submit(const HttpRequest& req, const std::string& printer, const std::string& data) const;

    const Config& config_;
    JobStore& store_;
    Workers& workers_;
    JobIntake& intake_;
    EventHub& hub_;
    Access& access_;
};

// A job as the API shows it (without its data).
std::string job_json(const Job& job);

// The page served at /, and the web client served at /quorvel.js.
extern const char* const SPOOL_PAGE;
extern const char* const QUORVEL_JS;

}  // namespace quorvel::spool
