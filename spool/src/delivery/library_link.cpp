// SPDX-License-Identifier: MIT
// Delivery through the Quorvel library: a printer handle on any of its links
// (TCP, serial, print queue, device), the job's bytes as they are in one
// write, then the library's confirmation (GS ( H process ID, or what the
// link can tell) and its verdict: printed, held, or outcome unknown.
#include <string>

#include "link.h"
#include "quorvel.h"

namespace quorvel::spool {

namespace {

std::string last_error(int* code = nullptr) {
    char message[256] = {0};
    const int c = quorvel_last_error(message, sizeof message);
    if (code) *code = c;
    return message;
}

class LibraryLink final : public Link {
  public:
    LibraryLink(const PrinterConfig& p, const LinkTimings& t) : config_(p), timings_(t) {}
    ~LibraryLink() override { disconnect(); }

    bool connect(std::string* why) override {
        disconnect();
        const char* target = config_.target.c_str();
        switch (config_.kind) {
            case LinkKind::tcp:
                handle_ = quorvel_printer_open_tcp(target, config_.port, config_.model);
                break;
            case LinkKind::serial:
                handle_ = quorvel_printer_open_serial(target, config_.baud, config_.model);
                break;
            case LinkKind::queue:
                handle_ = quorvel_printer_open_queue(target, config_.model);
                break;
            case LinkKind::device:
                handle_ = quorvel_printer_open_device(target, config_.model);
                break;
        }
        permanent_ = false;
        if (!handle_) {
            int code = 0;
            *why = last_error(&code);
            permanent_ = is_permanent(code);
        }
        if (handle_) opened_once_ = true;
        return handle_ != nullptr;
    }

    void disconnect() override {
        if (handle_) quorvel_printer_close(handle_);
        handle_ = nullptr;
    }
    bool connected() const override { return handle_ != nullptr; }

    std::optional<PrinterStatus> status(std::string* why) override {
        if (!handle_ && !connect(why)) return std::nullopt;
        quorvel_status s{};
        if (quorvel_printer_read_status(handle_, &s) == 1) {
            PrinterStatus out;
            for (size_t i = 0; i < 4; ++i) out.raw[i] = s.raw[i];
            return out;
        }
        int code = 0;
        *why = last_error(&code);
        if (code == QUORVEL_E_NO_STATUS_ON_QUEUE) {
            // A spooler passes no answers back: the queue is taken as ready.
            PrinterStatus out;
            out.raw = {0x12, 0x12, 0x12, 0x12};
            return out;
        }
        disconnect();
        return std::nullopt;
    }

    SendResult send(const std::string& bytes, int64_t) override {
        if (!handle_) return {SendResult::link_down, "not connected"};
        if (bytes.size() > 0x7fffffff) return {SendResult::refused, "job too large for one write"};
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
        if (quorvel_printer_write(handle_, data, static_cast<int>(bytes.size())) != 1) {
            // The link answered its status a moment ago: part of the job may
            // have gone before the write failed.
            const std::string why = last_error();
            disconnect();
            return {SendResult::uncertain, "the write failed: " + why};
        }
        return confirm(timings_.confirm_ms);
    }

    SendResult wait_held(int) override { return confirm(timings_.confirm_ms); }

    bool recover(int n, std::string* why) override {
        if (!status(why) && !status(why)) return false;
        const unsigned char cmd[] = {0x10, 0x05, static_cast<unsigned char>(n)};
        if (quorvel_printer_write(handle_, cmd, 3) == 1) return true;
        *why = last_error();
        disconnect();
        return false;
    }

    std::string confirm_level() const override { return level_; }
    bool cannot_open() const override { return permanent_; }

  private:
    // Errors of opening the link that waiting will not cure: the link as
    // configured can never work. A serial port or device that is missing is
    // one only while it never opened (a USB printer unplugged comes back).
    bool is_permanent(int code) const {
        switch (code) {
            case QUORVEL_E_QUEUE_NOT_FOUND:
            case QUORVEL_E_NOT_SERIAL:
            case QUORVEL_E_BAD_SPEED:
            case QUORVEL_E_BAD_ADDRESS:
            case QUORVEL_E_BAD_PORT:
                return true;
            case QUORVEL_E_PORT_NOT_FOUND:
                return !opened_once_;
            default:
                return false;
        }
    }

    SendResult confirm(int ms) {
        if (!handle_) return {SendResult::uncertain, "not connected"};
        if (quorvel_printer_confirm(handle_, ms) == 1) {
            switch (quorvel_printer_confirm_level(handle_)) {
                case QUORVEL_CONFIRM_PRINTED:
                    level_ = "confirmed by the printer (process ID answered after printing)";
                    break;
                case QUORVEL_CONFIRM_ARRIVED:
                    level_ = "arrived: the printer cannot tell when it has printed";
                    break;
                case QUORVEL_CONFIRM_SPOOLED:
                    level_ = "spooled: the print queue took it";
                    break;
                default:
                    level_ = "confirmed";
            }
            return {SendResult::printed, {}};
        }
        int code = 0;
        const std::string why = last_error(&code);
        if (code == QUORVEL_E_HELD) return {SendResult::held, why};
        // The link stays: what the library learnt of the printer (whether it
        // answers GS ( H) is kept, and the next job's status query finds out
        // whether the link still works.
        if (code == QUORVEL_E_JOB_REFUSED) return {SendResult::refused, why};
        return {SendResult::uncertain, why};
    }

    PrinterConfig config_;
    LinkTimings timings_;
    quorvel_printer* handle_ = nullptr;
    std::string level_ = "confirmed";
    bool permanent_ = false;    // the last open failed for good
    bool opened_once_ = false;  // the link opened at least once
};

}  // namespace

std::string PrinterStatus::stop_cause() const {
    if (paper_out()) return "paper out";
    if (cover_open()) return "cover open";
    if (error()) return "printer error";
    if (!online()) return "printer off line";
    return {};
}

std::unique_ptr<Link> make_library_link(const PrinterConfig& printer, const LinkTimings& timings) {
    return std::make_unique<LibraryLink>(printer, timings);
}

}  // namespace quorvel::spool
