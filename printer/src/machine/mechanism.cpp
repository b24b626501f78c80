// SPDX-License-Identifier: MIT
#include "machine/mechanism.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "machine/journal.h"
#include "machine/status.h"

namespace quorvel::printer {
namespace {

constexpr uint8_t DLE = 0x10, EOT = 0x04, ENQ = 0x05, DC4 = 0x14, LF = 0x0A;
// DLE DC4 fn 8: clear the buffers.
constexpr uint8_t CLEAR_BUFFERS[] = {0x10, 0x14, 0x08, 0x01, 0x03, 0x14, 0x01, 0x06, 0x02, 0x08};

std::string mm_text(double mm) {
    char s[32];
    std::snprintf(s, sizeof s, "%.1f mm", mm);
    return s;
}

}  // namespace

const char* machine_state_name(MachineState s) {
    switch (s) {
        case MachineState::IDLE:
            return "idle";
        case MachineState::PRINTING:
            return "printing";
        case MachineState::HELD:
            return "held";
        case MachineState::OFF:
            return "off";
    }
    return "idle";
}

Mechanism::Mechanism(MechanismSettings settings, StatusModel& status, Journal& journal)
    : settings_(settings),
      status_(status),
      journal_(journal),
      rate_(settings.speed_mm_s * DOTS_PER_MM) {
    view_.buffer_size = settings_.receive_buffer;
    view_.paper_left_mm = settings_.paper_roll_mm > 0 ? settings_.paper_roll_mm : -1;
}

void Mechanism::attach(MechanismHooks hooks) {
    hooks_ = std::move(hooks);
    attached_ = true;
    fed_ = 0;
    target_ = hooks_.dots();
    done_ = static_cast<double>(target_);
    done_on_arrival_.clear();
}

void Mechanism::detach() {
    // Whatever still waits belongs to a session that is gone.
    queue_.clear();
    head_ = scanned_ = 0;
    pending_.clear();
    done_on_arrival_.clear();
    attached_ = false;
    hooks_ = {};
    done_ = static_cast<double>(target_);
    publish();
}

size_t Mechanism::room() const {
    if (off_) return 0;
    const size_t waiting = queue_.size() - head_;
    return waiting >= settings_.receive_buffer ? 0 : settings_.receive_buffer - waiting;
}

size_t Mechanism::take_now(size_t most) const {
    if (!off_ && rate_ <= 0 && held_.empty() && head_ == queue_.size()) return most;
    return std::min(most, room());
}

bool Mechanism::idle() const {
    return head_ == queue_.size() && done_ >= static_cast<double>(target_) && pending_.empty();
}

std::string Mechanism::hold_reason(bool power) const {
    if (power && off_) return "power off";
    const PrinterState s = status_.state();
    if (status_.error_waiting())
        return s.cutter_jammed ? "cutter jammed" : "cutter error: waiting for DLE ENQ 1 or 2";
    if (settings_.print_while_out) return {};
    if (s.cover_open) return "cover open";
    if (s.paper == Paper::OUT) return roll_out_ ? "paper roll ran out" : "paper out";
    return {};
}

void Mechanism::advance(Clock::time_point now) {
    const double target = static_cast<double>(target_);
    if (!held_.empty()) {
        moved_at_ = now;  // stopped: the time passing moves nothing
        return;
    }
    if (done_ >= target) return;
    if (rate_ <= 0) {
        roll_used_mm_ += (target - done_) / DOTS_PER_MM;
        done_ = target;
        moved_at_ = now;
        return;
    }
    const double elapsed = std::chrono::duration<double>(now - moved_at_).count();
    const double can = elapsed * rate_;
    if (done_ + can >= target) {
        // The motion ended before now: it ended at that moment, so the next
        // line (if it was already here) starts from there and no time drifts.
        moved_at_ += std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>((target - done_) / rate_));
        roll_used_mm_ += (target - done_) / DOTS_PER_MM;
        done_ = target;
    } else if (can > 0) {
        roll_used_mm_ += can / DOTS_PER_MM;
        done_ += can;
        moved_at_ = now;
    }
}

void Mechanism::send_now(std::span<const uint8_t> bytes) {
    if (attached_ && hooks_.send && !status_.silent()) hooks_.send(bytes);
}

void Mechanism::reply(std::span<const uint8_t> bytes) {
    const uint64_t at = attached_ ? hooks_.dots() : target_;
    if (pending_.empty() && static_cast<double>(at) <= done_ && held_.empty()) {
        send_now(bytes);
        return;
    }
    if (pending_.empty() && rate_ <= 0 && held_.empty()) {
        send_now(bytes);  // instant printing: what is laid out has printed
        return;
    }
    pending_.push_back({at, false, {bytes.begin(), bytes.end()}});
}

void Mechanism::process_id(std::span<const uint8_t, 4> id) {
    std::vector<uint8_t> answer{0x37, 0x22, id[0], id[1], id[2], id[3], 0x00};
    const uint64_t at = attached_ ? hooks_.dots() : target_;
    const bool printed = static_cast<double>(at) <= done_ || (rate_ <= 0 && held_.empty());
    if (pending_.empty() && printed) {
        send_now(answer);
        return;
    }
    pending_.push_back({at, true, std::move(answer)});
}

void Mechanism::deliver() {
    // The replies whose data has moved out, in order; of the process IDs
    // among them only the latest is sent.
    size_t due = 0;
    while (due < pending_.size() && static_cast<double>(pending_[due].at_dots) <= done_) ++due;
    if (due == 0) return;
    size_t last_id = due;
    for (size_t i = 0; i < due; ++i)
        if (pending_[i].id) last_id = i;
    for (size_t i = 0; i < due; ++i) {
        const Pending& p = pending_[i];
        if (p.id && i != last_id) {
            journal_.note("process ID " + std::string(p.bytes.begin() + 2, p.bytes.begin() + 6) +
                          " not sent: a later one is due with it");
            continue;
        }
        send_now(p.bytes);
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(due));
}

void Mechanism::feed_piece() {
    const uint8_t* p = queue_.data() + head_;
    size_t n = queue_.size() - head_;
    // Instant printing with an endless roll takes everything at once; else a
    // line at a time, so the paper stops at the line where it must.
    if (rate_ > 0 || settings_.paper_roll_mm > 0 || !held_.empty()) {
        const size_t limit = std::min(n, LINE_PIECE);
        const auto* lf = static_cast<const uint8_t*>(std::memchr(p, LF, limit));
        n = lf ? static_cast<size_t>(lf - p) + 1 : limit;
    }
    head_ += n;
    fed_ += n;
    if (scanned_ < head_) scanned_ = head_;
    const uint64_t before = hooks_.dots();
    hooks_.feed({p, n});
    target_ = std::max<uint64_t>(target_, hooks_.dots());
    if (hooks_.dots() > before) piece_start_ = before;
    if (head_ == queue_.size()) {
        queue_.clear();
        head_ = scanned_ = 0;
    } else if (head_ >= 16384) {
        queue_.erase(queue_.begin(), queue_.begin() + static_cast<ptrdiff_t>(head_));
        scanned_ -= head_;
        head_ = 0;
    }
}

void Mechanism::check_roll() {
    if (settings_.paper_roll_mm <= 0 || roll_out_) return;
    if (roll_used_mm_ < settings_.paper_roll_mm) return;
    roll_out_ = true;
    journal_.note("the paper roll ran out (" + mm_text(settings_.paper_roll_mm) +
                  " used): paper end");
    status_.set_paper(Paper::OUT);
}

std::optional<Mechanism::Clock::time_point> Mechanism::run(Clock::time_point now) {
    if (off_) return std::nullopt;
    for (int guard = 0; guard < 100000; ++guard) {
        const std::string why = hold_reason();
        if (why != held_) {
            advance(now);  // the motion up to the change
            if (!why.empty() && held_.empty() && hooks_.uncut && attached_ && hooks_.uncut() &&
                why.find("paper") != std::string::npos) {
                mark_due_ = true;
                // The paper stops at the start of the line it is moving.
                mark_at_ = done_ < static_cast<double>(target_) ? piece_start_ : target_;
            }
            // The cover opened while printing: an automatically recoverable error.
            if (why == "cover open" && !idle()) status_.set_auto_recoverable(true);
            held_ = why;
            moved_at_ = now;
            if (held_.empty() && mark_due_ && attached_) {
                // Paper is back: a mark where the old paper stopped; the
                // lines laid out after it (and the mark) still have to move.
                mark_due_ = false;
                const uint64_t dots = hooks_.dots();
                if (hooks_.uncut())
                    hooks_.mark("-- paper loaded here --",
                                static_cast<int>(
                                    std::min<uint64_t>(dots - std::min(dots, mark_at_), 1u << 30)));
                target_ = std::max<uint64_t>(target_, hooks_.dots());
            }
            journal_.note(held_.empty() ? "printing may go on" : "printing stops: " + held_);
        }
        // A new roll after the old one ran out (or paper loaded after it was out).
        if (roll_out_ && status_.state().paper != Paper::OUT) {
            roll_out_ = false;
            roll_used_mm_ = 0;
            journal_.note("a new paper roll is loaded");
        }
        advance(now);
        deliver();
        if (!attached_ || done_ < static_cast<double>(target_)) break;
        check_roll();
        if (!hold_reason().empty() && held_.empty()) continue;  // the roll just ran out
        if (head_ == queue_.size()) break;
        // Caught up: the next line is laid out (while held too, so queries
        // and settings before it are read; the paper then stays put).
        feed_piece();
    }
    publish();
    if (held_.empty() && rate_ > 0 && done_ < static_cast<double>(target_))
        return moved_at_ +
               std::chrono::duration_cast<Clock::duration>(
                   std::chrono::duration<double>((static_cast<double>(target_) - done_) / rate_));
    return std::nullopt;
}

void Mechanism::receive(std::span<const uint8_t> bytes, Clock::time_point now) {
    if (off_ || bytes.empty()) return;
    if (idle()) moved_at_ = now;
    queue_.insert(queue_.end(), bytes.begin(), bytes.end());
    run(now);
    // What has to wait: real-time commands in it act now.
    scan_arrivals();
    publish();
}

void Mechanism::clear_queue_before(size_t index) {
    const size_t n = index - head_;
    if (n == 0) return;
    journal_.note(std::to_string(n) + " received bytes cleared before they printed");
    queue_.erase(queue_.begin() + static_cast<ptrdiff_t>(head_),
                 queue_.begin() + static_cast<ptrdiff_t>(index));
    // Real-time commands among the cleared bytes will never reach the interpreter.
    while (!done_on_arrival_.empty() && done_on_arrival_.back() >= fed_)
        done_on_arrival_.pop_back();
    if (scanned_ >= index)
        scanned_ -= n;
    else
        scanned_ = head_;
}

void Mechanism::scan_arrivals() {
    if (scanned_ < head_) scanned_ = head_;
    while (scanned_ < queue_.size()) {
        const size_t i = scanned_;
        const uint8_t* p = queue_.data() + i;
        const size_t n = queue_.size() - i;
        if (p[0] != DLE) {
            ++scanned_;
            continue;
        }
        if (n < 3) return;  // the rest may come
        const uint64_t offset = fed_ + (i - head_);
        if (p[1] == EOT && p[2] >= 1 && p[2] <= 4) {
            const uint8_t b = status_.dle_eot(p[2]);
            char line[96];
            std::snprintf(line, sizeof line,
                          "DLE EOT %d answered on arrival (%02X), ahead of %zu queued bytes", p[2],
                          b, i - head_);
            journal_.note(line);
            send_now({&b, 1});
            done_on_arrival_.push_back(offset);
            scanned_ += 3;
            continue;
        }
        if (p[1] == ENQ && (p[2] == 1 || p[2] == 2)) {
            size_t at = i;
            if (p[2] == 2 && status_.error_waiting()) {
                clear_queue_before(i);  // the command itself stays, to be journaled in order
                if (attached_) hooks_.clear_input();
                at = head_;
            }
            done_on_arrival_.push_back(fed_ + (at - head_));
            recover(queue_[at + 2]);
            scanned_ = at + 3;
            continue;
        }
        if (p[1] == DC4 && p[2] == 8) {
            if (n < sizeof CLEAR_BUFFERS) return;
            if (std::equal(std::begin(CLEAR_BUFFERS), std::end(CLEAR_BUFFERS), p)) {
                clear_queue_before(i);
                journal_.note("DLE DC4 8 on arrival: receive and print buffers cleared");
                if (attached_) hooks_.clear_input();
                done_on_arrival_.push_back(fed_);
                clear_buffers();
                scanned_ = head_ + sizeof CLEAR_BUFFERS;
                continue;
            }
        }
        ++scanned_;
    }
}

bool Mechanism::done_on_arrival(uint64_t offset) {
    while (!done_on_arrival_.empty() && done_on_arrival_.front() < offset)
        done_on_arrival_.pop_front();
    if (done_on_arrival_.empty() || done_on_arrival_.front() != offset) return false;
    done_on_arrival_.pop_front();
    return true;
}

void Mechanism::clear_buffers() {
    // Laid-out lines that have not moved out count as gone with the buffer;
    // the IDs of cleared data are never sent.
    size_t dropped = 0;
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->id) {
            ++dropped;
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
    if (dropped)
        journal_.note(std::to_string(dropped) + " process ID(s) of cleared data will not be sent");
    if (attached_) target_ = std::max<uint64_t>(target_, hooks_.dots());
    done_ = static_cast<double>(target_);
    deliver();
}

bool Mechanism::recover(int n) {
    if (!status_.error_waiting()) {
        journal_.note("DLE ENQ " + std::to_string(n) + ": no recoverable error (ignored)");
        return false;
    }
    if (n == 2) clear_buffers();
    status_.clear_error();
    journal_.note(n == 1 ? "DLE ENQ 1: recovered from the error, printing goes on from the line"
                         : "DLE ENQ 2: recovered from the error after clearing the buffers");
    return true;
}

void Mechanism::power_off() {
    if (off_) return;
    const size_t lost = queue_.size() - head_;
    size_t ids = 0;
    for (const Pending& p : pending_) ids += p.id ? 1 : 0;
    journal_.note("power off: " + std::to_string(lost) + " received bytes and " +
                  std::to_string(ids) + " process ID(s) lost");
    queue_.clear();
    head_ = scanned_ = 0;
    pending_.clear();
    done_on_arrival_.clear();
    done_ = static_cast<double>(target_);
    mark_due_ = false;
    off_ = true;
    held_ = "power off";
    publish();
}

void Mechanism::power_on() {
    if (!off_) return;
    off_ = false;
    held_.clear();
    journal_.note("power on");
    publish();
}

MachineView Mechanism::view() const {
    MachineView v;
    {
        std::lock_guard lock(view_mu_);
        v = view_;
    }
    const std::string why = status_.state().power_off ? "power off" : hold_reason(false);
    if (why == "power off") {
        v.state = MachineState::OFF;
        v.held_because.clear();
        v.buffer_used = 0;
    } else if (!why.empty()) {
        v.state = MachineState::HELD;
        v.held_because = why;
    } else if (v.state == MachineState::HELD || v.state == MachineState::OFF) {
        v.state = v.buffer_used > 0 ? MachineState::PRINTING : MachineState::IDLE;
        v.held_because.clear();
    }
    return v;
}

void Mechanism::publish() {
    MachineView v;
    v.buffer_size = settings_.receive_buffer;
    v.buffer_used = off_ ? 0 : queue_.size() - head_;
    v.paper_left_mm =
        settings_.paper_roll_mm > 0 ? std::max(0.0, settings_.paper_roll_mm - roll_used_mm_) : -1;
    if (off_) {
        v.state = MachineState::OFF;
    } else if (!held_.empty()) {
        v.state = MachineState::HELD;
        v.held_because = held_;
    } else if (!idle()) {
        v.state = MachineState::PRINTING;
    }
    bool changed;
    {
        std::lock_guard lock(view_mu_);
        // The roll's length left alone is not news (it moves with every line).
        MachineView a = view_, b = v;
        a.paper_left_mm = b.paper_left_mm = 0;
        a.buffer_used = b.buffer_used = 0;
        changed = a != b || (view_.buffer_used == 0) != (v.buffer_used == 0) ||
                  (view_.buffer_used < v.buffer_size) != (v.buffer_used < v.buffer_size);
        view_ = v;
    }
    if (changed && on_change) on_change(v);
}

}  // namespace quorvel::printer
