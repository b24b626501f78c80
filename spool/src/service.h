// SPDX-License-Identifier: MIT
// The whole service: the store, one worker per printer, the intake and the
// web side, started and stopped together.
#pragma once

#include <memory>
#include <string>

#include "access/access.h"
#include "config/config.h"
#include "delivery/worker.h"
#include "intake/intake.h"
#include "store/job_store.h"
#include "web/api.h"
#include "web/event_hub.h"
#include "web/http_server.h"

namespace quorvel::spool {

class FrontPorts;

class Service {
  public:
    explicit Service(Config config);
    ~Service();

    // Opens the store, settles what a stop left behind, binds every
    // address. False with `error` (and an exit status in `code`) on failure;
    // nothing is served then.
    bool open(std::string* error, int* code);
    // Serves, then announces readiness (ready file, systemd).
    bool start(std::string* error);
    void stop();

    int http_port() const { return http_ ? http_->port() : 0; }
    JobIntake& intake() { return *intake_; }
    const Config& config() const { return config_; }

  private:
    Config config_;
    JobStore store_;
    EventHub hub_;
    std::unique_ptr<Access> access_;
    std::unique_ptr<Workers> workers_;
    std::unique_ptr<StoreIntake> intake_;
    std::unique_ptr<SpoolApi> api_;
    std::unique_ptr<HttpServer> http_;
    std::unique_ptr<FrontPorts> fronts_;
    std::string http_host_;
};

}  // namespace quorvel::spool
