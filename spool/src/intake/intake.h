// SPDX-License-Identifier: MIT
// Where jobs come in. HTTP and the printer-like front ports hand their jobs
// to one JobIntake; a broker subscription can be added beside them.
#pragma once

#include <optional>
#include <string>

#include "../config/config.h"
#include "../store/job_store.h"

namespace quorvel::spool {

struct Intake {
    // 201 new job, 200 the same job again (its Idempotency-Key), else the
    // 4xx or 5xx refusal, with `error` saying why. Nothing is stored when refused.
    unsigned status = 500;
    int64_t id = 0;
    JobState state = JobState::queued;
    std::string error;
};

class JobIntake {
  public:
    virtual ~JobIntake() = default;
    // Returns once the job is committed (or refused).
    virtual Intake submit(const std::string& printer, const std::optional<std::string>& key,
                          std::string data) = 0;
};

class Workers;

// Checks each job against the bounds, stores it durably and wakes its
// printer's worker.
class StoreIntake final : public JobIntake {
  public:
    StoreIntake(const Config& config, JobStore& store, Workers& workers)
        : config_(config), store_(store), workers_(workers) {}
    Intake submit(const std::string& printer, const std::optional<std::string>& key,
                  std::string data) override;

  private:
    const Config& config_;
    JobStore& store_;
    Workers& workers_;
};

}  // namespace quorvel::spool
