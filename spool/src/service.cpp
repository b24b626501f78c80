// SPDX-License-Identifier: MIT
#include "service.h"

#include "delivery/link.h"
#include "front/front_port.h"
#include "readiness.h"
#include "web/http_guard.h"

namespace quorvel::spool {

Service::Service(Config config) : config_(std::move(config)) {}

Service::~Service() {
    stop();
}

bool Service::open(std::string* error, int* code) {
    *code = 2;
    if (std::string why = check_config(config_); !why.empty()) {
        *error = why;
        return false;
    }
    for (const PrinterConfig& p : config_.printers)
        if (!link_supported(p.kind)) {
            *error = "printer " + p.name +
                     ": serial, queue and device links need the library's confirmed write, not "
                     "in this build; use tcp:ADDR:PORT";
            return false;
        }
    std::string host;
    int port = 0;
    if (!parse_http_address(config_.listen, &host, &port)) {
        *error = "--listen " + config_.listen + ": expected ADDR:PORT";
        return false;
    }
    if (!is_loopback(host) && config_.token.empty()) config_.token = random_token();
    *code = 1;
    if (!store_.open(config_.db, error)) return false;
    access_ = std::make_unique<Access>(config_);
    if (!access_->open(config_.db, error)) return false;
    workers_ = std::make_unique<Workers>(config_, store_);
    intake_ = std::make_unique<StoreIntake>(config_, store_, *workers_);
    api_ = std::make_unique<SpoolApi>(config_, store_, *workers_, *intake_, hub_, *access_);
    HttpLimits limits;
    limits.max_body = config_.limits.max_job_bytes;
    http_ = std::make_unique<HttpServer>([this](const HttpRequest& r) { return api_->handle(r); },
                                         hub_, limits, config_.token);
    http_->set_access(access_.get());
    if (!http_->listen(host, port, error)) return false;
    http_host_ = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    fronts_ = std::make_unique<FrontPorts>(config_, *intake_, *workers_);
    if (!fronts_->listen(error)) return false;

    // Every change of a job goes to the event stream.
    store_.on_change([this](const Job& j) { hub_.publish("job", job_json(j)); });
    // A job caught while being sent may have printed: uncertain, and printed
    // again marked COPY where the printer says so.
    for (const Job& j : store_.recover_after_stop()) {
        const PrinterConfig* p = config_.find(j.printer);
        if (p && p->reprint_uncertain && !store_.auto_reprinted(j.id))
            store_.change(j.id, JobStore::Change(JobState::queued,
                                                 j.reason + "; printed again once, marked COPY",
                                                 {JobState::uncertain})
                                    .mark_sent(false)
                                    .mark_copy(true)
                                    .reprinted_once());
    }
    *code = 0;
    return true;
}

bool Service::start(std::string* error) {
    workers_->start();
    http_->start();
    fronts_->start();
    ReadyInfo info{{"http", "http://" + http_host_ + ":" + std::to_string(http_->port()) + "/"}};
    for (const auto& [name, addr] : fronts_->addresses()) info.emplace_back("front." + name, addr);
    if (!config_.token.empty()) info.emplace_back("token", config_.token);
    return announce_ready(config_.ready_file, info, error);
}

void Service::stop() {
    if (fronts_) fronts_->stop();
    if (http_) http_->stop();
    if (workers_) workers_->stop();
    if (access_) access_->close();
    store_.close();
}

}  // namespace quorvel::spool
