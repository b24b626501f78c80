// SPDX-License-Identifier: MIT
// Printer handles: a table of slots, each with its own link, lock and
// generation count. A handle carries its slot and the generation it was
// opened under, so a null, closed or stale handle is recognised and refused,
// never followed: a copy kept after close cannot reach a printer opened later
// in the same slot.
#include <atomic>
#include <new>

#include "api/quorvel.h"
#include "link/connection.h"

namespace quorvel::link {
namespace {

using platform::printer_slots;

// Handle value: generation above the slot index; generation 0 is never used,
// so no handle is null.
constexpr unsigned slot_bits = 10;
static_assert(printer_slots == std::size_t{1} << slot_bits);
constexpr std::uintptr_t generation_limit = ~std::uintptr_t{0} >> slot_bits;

// Read and written only under the slot's lock (but `holder`, which any
// thread may read); a cache line each, like the locks.
struct alignas(64) Slot {
    Link* link = nullptr;       // null while the slot is free
    std::uintptr_t handle = 0;  // the value handed out for the open printer
    std::uintptr_t generation = 0;
    // The thread that holds the printer for a whole receipt, its lock taken
    // from begin to end; null when none. Only that thread sets or clears it,
    // so for any other thread it never reads as its own.
    std::atomic<const void*> holder{nullptr};
};
Slot slots[printer_slots];

// One address per thread, naming the thread as a holder.
thread_local const char this_thread_mark = 0;

// Where the next open starts looking, so slots are reused as late as possible.
std::atomic<std::size_t> next_slot{0};

int refuse(quorvel_printer* printer) {
    return printer == nullptr ? fail(QUORVEL_E_BAD_HANDLE, "null printer handle")
                              : fail_format(QUORVEL_E_BAD_HANDLE, "printer handle %p",
                                            static_cast<void*>(printer));
}

// Puts an open link in a free slot; its handle, or null when every slot is taken.
quorvel_printer* claim_slot(Link* link) {
    const std::size_t start = next_slot.fetch_add(1, std::memory_order_relaxed);
    for (std::size_t step = 0; step < printer_slots; ++step) {
        const std::size_t index = (start + step) % printer_slots;
        if (!platform::try_lock_printer(index)) continue;  // held: in use
        Slot& slot = slots[index];
        if (slot.link == nullptr) {
            slot.generation = slot.generation % generation_limit + 1;
            slot.handle = slot.generation << slot_bits | index;
            slot.link = link;
            const std::uintptr_t handle = slot.handle;
            platform::unlock_printer(index);
            return reinterpret_cast<quorvel_printer*>(handle);
        }
        platform::unlock_printer(index);
    }
    return nullptr;
}

// Opens a fresh link with `open` and hands it a slot; null on failure, with
// the cause recorded and nothing left open.
template <typename Open>
quorvel_printer* open_printer(Open open) {
    begin_call();
    Link* link = new (std::nothrow) Link{};
    if (link == nullptr) {
        fail(QUORVEL_E_SYSTEM, "out of memory for a printer");
        return nullptr;
    }
    current_link = link;
    quorvel_printer* printer = nullptr;
    if (open()) {
        printer = claim_slot(link);
        if (printer == nullptr)
            fail_format(QUORVEL_E_SYSTEM, "%u printers already open", unsigned{printer_slots});
    }
    if (printer == nullptr) {
        // Also a serial port that opened but refused its settings.
        if (link->Statesocket == 1) close_tcp();
        if (link->serial_port_held) close_serial();
        delete link;
    }
    current_link = &default_link;
    return printer;
}

}  // namespace

std::size_t bind_printer(quorvel_printer* printer) {
    begin_call();
    const auto value = reinterpret_cast<std::uintptr_t>(printer);
    const std::size_t index = value & (printer_slots - 1);
    if (value >> slot_bits == 0) {
        refuse(printer);
        return no_slot;
    }
    // A printer this thread holds for a receipt: its lock is this thread's already.
    const bool held = held_by_this_thread(index);
    if (!held) platform::lock_printer(index);
    const Slot& slot = slots[index];
    if (slot.link == nullptr || slot.handle != value) {
        if (!held) platform::unlock_printer(index);
        refuse(printer);
        return no_slot;
    }
    current_link = slot.link;
    return index;
}

bool held_by_this_thread(std::size_t slot) {
    return slots[slot].holder.load(std::memory_order_relaxed) == &this_thread_mark;
}

void set_held_by_this_thread(std::size_t slot, bool held) {
    slots[slot].holder.store(held ? &this_thread_mark : nullptr, std::memory_order_relaxed);
}

void end_printer_call(std::size_t slot, bool part_of_receipt) {
    Link& link = *slots[slot].link;
    if (part_of_receipt && link.collecting && outcome().code != 0 && !link.receipt_failed) {
        link.receipt_failed = true;
        link.receipt_failure = outcome();
    }
    if (!held_by_this_thread(slot)) platform::unlock_printer(slot);
}

}  // namespace quorvel::link

using namespace quorvel::link;
namespace platform = quorvel::platform;

extern "C" quorvel_printer* QUORVEL_CALL quorvel_printer_open_tcp(const char* address, int port,
                                                                  int model) {
    return open_printer([&] { return open_tcp(address, port, model); });
}

extern "C" quorvel_printer* QUORVEL_CALL quorvel_printer_open_serial(const char* port,
                                                                     int bits_per_second,
                                                                     int model) {
    return open_printer(
        [&] { return open_serial(port, bits_per_second, model) && current().serial_port_held; });
}

extern "C" int QUORVEL_CALL quorvel_printer_close(quorvel_printer* printer) {
    // Waits for a call in progress on this printer, then takes the link out of
    // its slot: from here every copy of the handle is refused.
    const std::size_t index = bind_printer(printer);
    if (index == no_slot) return 0;
    Link* link = slots[index].link;
    slots[index].link = nullptr;
    // A receipt this thread began and never ended is dropped with the printer.
    set_held_by_this_thread(index, false);
    platform::unlock_printer(index);
    delete[] link->receipt;
    if (link->Statesocket == 1) close_tcp();
    // A queue sends its last job here: a refused one is this call's outcome.
    const int released = link->serial_port_held ? close_serial() : 1;
    current_link = &default_link;
    delete link;
    return released;
}

extern "C" quorvel_printer* QUORVEL_CALL quorvel_printer_open_queue(const char* name, int model) {
    return open_printer([&] { return open_queue(name, model); });
}

extern "C" quorvel_printer* QUORVEL_CALL quorvel_printer_open_device(const char* path, int model) {
    return open_printer([&] { return open_device(path, model); });
}

extern "C" int QUORVEL_CALL quorvel_printer_flush(quorvel_printer* printer) {
    PrinterGuard guard(printer);
    return guard ? flush() : 0;
}
