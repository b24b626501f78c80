// SPDX-License-Identifier: MIT
// The service's bench mode: durable accepts from several clients over real
// HTTP, and jobs end to end to a printer.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "config/config.h"

namespace quorvel::spool {

struct BenchOptions {
    std::string mode;  // accept | end-to-end
    int clients = 8;
    int jobs = 2000;
    size_t job_bytes = 600;
    bool requested() const { return !mode.empty(); }
};

void add_bench_options(CLI::App& app, BenchOptions& options);
int run_bench(const Config& config, const BenchOptions& options);

}  // namespace quorvel::spool
