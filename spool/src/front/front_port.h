// SPDX-License-Identifier: MIT
// Printer-like front ports: a TCP address per printer that takes raw ESC/POS
// as the printer would. A job ends at each cut, after 2 s without data, or
// when the till closes; real-time status queries are answered at once from
// the printer's last known state. A till that can only print to an address
// gets the service's guarantees by pointing there.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "../config/config.h"

namespace quorvel::spool {

class JobIntake;
class Workers;

// Splits a byte stream into jobs. `feed` takes bytes as they come and
// returns the real-time status queries found (DLE EOT n: n), which are
// not part of any job; complete jobs collect in `jobs`.
class JobSplitter {
  public:
    explicit JobSplitter(size_t max_job) : max_job_(max_job) {}
    std::vector<int> feed(const std::string& bytes);
    // What is left becomes a job (idle time-out, or the till closed).
    void flush();
    std::vector<std::string> jobs;

  private:
    // Length of the command at `at`, 0 when it is not all here yet.
    size_t command_length(size_t at) const;
    std::string buffer_;
    size_t scanned_ = 0;  // commands before this are whole and seen
    size_t max_job_;
};

class FrontPorts {
  public:
    FrontPorts(const Config& config, JobIntake& intake, Workers& workers);
    ~FrontPorts();
    // Binds every printer's front address. False with `error` on failure.
    bool listen(std::string* error);
    void start();
    void stop();
    // Printer name and the address bound (the port when 0 was asked).
    std::vector<std::pair<std::string, std::string>> addresses() const;

  private:
    struct Port {
        std::string printer;
        std::string address;
        int fd = -1;
    };
    void serve(Port& port);

    const Config& config_;
    JobIntake& intake_;
    Workers& workers_;
    std::vector<Port> ports_;
    std::vector<std::thread> threads_;
    std::atomic<bool> stopping_{false};
    int wake_[2] = {-1, -1};
};

}  // namespace quorvel::spool
