// SPDX-License-Identifier: MIT
#include "machine/status.h"

namespace quorvel::printer {

StatusModel::StatusModel(PrinterState state, Clock clock)
    : state_(state), clock_(std::move(clock)) {
    if (!clock_) clock_ = [] { return std::chrono::steady_clock::now(); };
}

PrinterState StatusModel::state() const {
    std::lock_guard lock(mu_);
    return state_;
}

void StatusModel::set_state(const PrinterState& state) {
    {
        std::lock_guard lock(mu_);
        // A jam is an error that stays until the host recovers with DLE ENQ.
        if (state.cutter_jammed && !state_.cutter_jammed) error_waiting_ = true;
        if (!state.cover_open) auto_recoverable_ = false;
        state_ = state;
    }
    changed();
}

void StatusModel::set_paper(Paper paper) {
    {
        std::lock_guard lock(mu_);
        if (state_.paper == paper) return;
        state_.paper = paper;
    }
    changed();
}

void StatusModel::set_auto_recoverable(bool on) {
    {
        std::lock_guard lock(mu_);
        if (auto_recoverable_ == on) return;
        auto_recoverable_ = on;
    }
    changed();
}

bool StatusModel::error_waiting() const {
    std::lock_guard lock(mu_);
    return error_waiting_;
}

void StatusModel::clear_error() {
    {
        std::lock_guard lock(mu_);
        error_waiting_ = false;
        state_.cutter_jammed = false;
    }
    changed();
}

void StatusModel::listen(std::function<void()> listener) {
    std::lock_guard lock(mu_);
    listeners_.push_back(std::move(listener));
}

void StatusModel::set_machine_view(std::function<MachineView()> view) {
    std::lock_guard lock(mu_);
    machine_view_ = std::move(view);
}

std::optional<MachineView> StatusModel::machine_view() const {
    std::function<MachineView()> view;
    {
        std::lock_guard lock(mu_);
        view = machine_view_;
    }
    if (!view) return std::nullopt;
    return view();
}

void StatusModel::changed() {
    std::vector<std::function<void()>> to_call;
    {
        std::lock_guard lock(mu_);
        to_call = listeners_;
    }
    for (const auto& f : to_call) f();
}

void StatusModel::pulse_drawer() {
    std::lock_guard lock(mu_);
    pulsed_ = true;
    pulse_at_ = clock_();
}

StatusModel::Reading StatusModel::read() const {
    std::lock_guard lock(mu_);
    Reading r{state_, state_.drawer_open, false, error_waiting_, auto_recoverable_};
    if (!r.drawer_open) r.drawer_open = pulsed_ && clock_() - pulse_at_ < state_.drawer_open_time;
    // An open cover or an empty roll takes the printer offline as well.
    r.offline = state_.offline || state_.cover_open || state_.paper == Paper::OUT ||
                error_waiting_ || state_.power_off;
    return r;
}

bool StatusModel::drawer_open() const {
    return read().drawer_open;
}

bool StatusModel::offline() const {
    return read().offline;
}

bool StatusModel::silent() const {
    std::lock_guard lock(mu_);
    return state_.silent;
}

uint8_t StatusModel::dle_eot(int n) const {
    const Reading r = read();
    const PrinterState& s = r.state;
    uint8_t b = 0x12;  // bits 1 and 4 are fixed at 1
    switch (n) {
        case 1:  // printer status
            if (r.drawer_open) b |= 0x04;
            if (r.offline) b |= 0x08;
            if (r.error_waiting) b |= 0x20;  // waiting for online recovery (DLE ENQ)
            break;
        case 2:  // offline cause
            if (s.cover_open) b |= 0x04;
            if (s.paper == Paper::OUT) b |= 0x20;
            if (s.cover_open || s.paper == Paper::OUT || r.error_waiting) b |= 0x40;
            break;
        case 3:                                     // error cause
            if (r.error_waiting) b |= 0x04 | 0x08;  // recoverable: the autocutter
            if (r.auto_recoverable) b |= 0x40;      // the cover opened while printing
            break;
        case 4:  // roll paper sensors
            if (s.paper != Paper::OK) b |= 0x0C;
            if (s.paper == Paper::OUT) b |= 0x60;
            break;
        default:
            break;
    }
    return b;
}

uint8_t StatusModel::esc_v() const {
    const PrinterState s = state();
    uint8_t b = 0;
    if (s.paper != Paper::OK) b |= 0x03;
    if (s.paper == Paper::OUT) b |= 0x0C;
    return b;
}

uint8_t StatusModel::gs_r(int n) const {
    const Reading r = read();
    if (n == 1 || n == 0x31) {
        uint8_t b = 0;
        if (r.state.paper != Paper::OK) b |= 0x03;
        if (r.state.paper == Paper::OUT) b |= 0x0C;
        return b;
    }
    if (n == 2 || n == 0x32) return r.drawer_open ? 0x01 : 0x00;
    return 0;
}

std::array<uint8_t, 4> StatusModel::auto_status() const {
    const Reading r = read();
    uint8_t b1 = 0x10;
    if (r.drawer_open) b1 |= 0x04;
    if (r.offline) b1 |= 0x08;
    if (r.state.cover_open) b1 |= 0x20;
    uint8_t b2 = 0;
    if (r.error_waiting) b2 |= 0x08;     // autocutter error
    if (r.auto_recoverable) b2 |= 0x40;  // automatically recoverable error
    uint8_t b3 = 0;
    if (r.state.paper != Paper::OK) b3 |= 0x03;
    if (r.state.paper == Paper::OUT) b3 |= 0x0C;
    return {b1, b2, b3, 0x00};
}

}  // namespace quorvel::printer
