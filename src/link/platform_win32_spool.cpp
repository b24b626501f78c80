// SPDX-License-Identifier: MIT
// The print-queue part of the platform layer on Windows: the spooler's RAW
// documents (OpenPrinter, StartDocPrinter, WritePrinter, EndDocPrinter), and
// no printer-class devices. winspool.drv is loaded on the first queue open,
// so programs that never use a queue load nothing more than before.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "link/platform.h"
#include "link/platform_win32_cups.h"

namespace quorvel::platform {
namespace {

struct DocInfo1 {  // DOC_INFO_1A
    char* document_name;
    char* output_file;
    char* datatype;
};
struct PrinterInfo2Head {  // the leading members of PRINTER_INFO_2A, up to Status
    char* server_name;
    char* printer_name;
    char* share_name;
    char* port_name;
    char* driver_name;
    char* comment;
    char* location;
    void* dev_mode;
    char* sep_file;
    char* print_processor;
    char* datatype;
    char* parameters;
    void* security_descriptor;
    DWORD attributes;
    DWORD priority;
    DWORD default_priority;
    DWORD start_time;
    DWORD until_time;
    DWORD status;
};
constexpr DWORD printer_status_paused = 0x00000001;  // PRINTER_STATUS_PAUSED
constexpr DWORD error_invalid_printer_name = 1801;   // ERROR_INVALID_PRINTER_NAME
constexpr DWORD printer_enum_local = 0x00000002;     // PRINTER_ENUM_LOCAL

using OpenPrinterFn = BOOL(WINAPI*)(char*, HANDLE*, void*);
using ClosePrinterFn = BOOL(WINAPI*)(HANDLE);
using GetPrinterFn = BOOL(WINAPI*)(HANDLE, DWORD, BYTE*, DWORD, DWORD*);
using EnumPrintersFn = BOOL(WINAPI*)(DWORD, char*, DWORD, BYTE*, DWORD, DWORD*, DWORD*);
using StartDocPrinterFn = DWORD(WINAPI*)(HANDLE, DWORD, BYTE*);
using WritePrinterFn = BOOL(WINAPI*)(HANDLE, void*, DWORD, DWORD*);
using EndDocPrinterFn = BOOL(WINAPI*)(HANDLE);

struct Spooler {
    OpenPrinterFn open;
    ClosePrinterFn close;
    GetPrinterFn get;
    EnumPrintersFn enumerate;
    StartDocPrinterFn start_doc;
    WritePrinterFn write;
    EndDocPrinterFn end_doc;
};
Spooler spooler;  // filled once (see queue_open), then only read

template <typename Fn>
bool find(HMODULE module, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    return fn != nullptr;
}

bool load_spooler() {
    HMODULE module = ::LoadLibraryA("winspool.drv");
    if (module == nullptr) return false;
    Spooler s{};
    if (!find(module, "OpenPrinterA", s.open) || !find(module, "ClosePrinter", s.close) ||
        !find(module, "GetPrinterA", s.get) || !find(module, "EnumPrintersA", s.enumerate) ||
        !find(module, "StartDocPrinterA", s.start_doc) ||
        !find(module, "WritePrinter", s.write) || !find(module, "EndDocPrinter", s.end_doc))
        return false;
    spooler = s;
    return true;
}

bool note(QueueResult& result, QueueFault fault, DWORD code) {
    result.fault = fault;
    describe_system_error(static_cast<int>(code), result.reason, sizeof result.reason);
    return false;
}

// A paused queue holds jobs instead of printing them.
bool paused(HANDLE printer) {
    DWORD needed = 0;
    spooler.get(printer, 2, nullptr, 0, &needed);
    if (needed < sizeof(PrinterInfo2Head)) return false;
    BYTE* info = new BYTE[needed];
    bool stopped = spooler.get(printer, 2, info, needed, &needed) &&
                   (reinterpret_cast<PrinterInfo2Head*>(info)->status & printer_status_paused);
    delete[] info;
    return stopped;
}

// An open queue: the spooler's handle, and the name to ask the scheduler about.
struct Queue {
    HANDLE printer;
    char name[128];
};
Queue* queue_of(QueueHandle handle) { return reinterpret_cast<Queue*>(handle); }

bool note_text(QueueResult& result, QueueFault fault, const char* text, const char* detail = "") {
    result.fault = fault;
    std::snprintf(result.reason, sizeof result.reason, text, detail);
    return false;
}

// Under wine, what the CUPS scheduler says of the queue, as the fault Linux
// reports for it; false when it is ready or cannot be asked. A queue that
// refuses jobs is only a fault when a job is sent, as with CUPS on Linux.
bool scheduler_fault(const char* name, QueueResult& result, bool sending) {
    if (!under_wine()) return false;
    char server[96];
    switch (ask_cups(name, server, sizeof server)) {
        case CupsQueue::unreachable:
            note_text(result, QueueFault::other, "print server %s not reachable", server);
            return true;
        case CupsQueue::no_such_queue:
            note_text(result, QueueFault::not_found, "no such queue");
            return true;
        case CupsQueue::stopped:
            note_text(result, QueueFault::paused, "the queue is stopped (cupsenable %s)", name);
            return true;
        case CupsQueue::not_accepting:
            if (!sending) return false;
            note_text(result, QueueFault::refused, "the queue is not accepting jobs (cupsaccept %s)",
                      name);
            return true;
        case CupsQueue::unknown:
        case CupsQueue::ready:
            break;
    }
    return false;
}

// True when the spooler lists no printer at all: under wine, its print
// server is then most likely out of reach.
bool no_printer_listed() {
    DWORD needed = 0, count = 0;
    return spooler.enumerate(printer_enum_local, nullptr, 4, nullptr, 0, &needed, &count) &&
           needed == 0;
}

// Why OpenPrinter failed with code.
void note_open_failure(const char* name, DWORD code, QueueResult& result) {
    if (code != error_invalid_printer_name) {
        note(result, QueueFault::other, code);
        return;
    }
    if (scheduler_fault(name, result, false)) return;
    if (under_wine() && no_printer_listed()) {
        note_text(result, QueueFault::other,
                  "the spooler lists no printer at all: its print server may not be reachable");
        return;
    }
    note(result, QueueFault::not_found, code);
}

}  // namespace

PortHandle device_open(const char*) {
    return invalid_handle;  // no printer-class devices here: use the printer's queue
}
void device_group(const char*, char* text, std::size_t size) {
    if (size > 0) text[0] = '\0';
}
int device_port_status(PortHandle) { return -1; }

QueueHandle queue_open(const char* name, QueueResult& result) {
    // Once per process, whichever link opens a queue first.
    static const bool loaded = load_spooler();
    if (!loaded) {
        note(result, QueueFault::other, ::GetLastError());
        return invalid_handle;
    }
    if (std::strlen(name) >= sizeof Queue::name) {
        note_text(result, QueueFault::not_found, "name too long");
        return invalid_handle;
    }
    HANDLE printer = nullptr;
    if (!spooler.open(const_cast<char*>(name), &printer, nullptr)) {
        note_open_failure(name, ::GetLastError(), result);
        return invalid_handle;
    }
    if (paused(printer)) {
        spooler.close(printer);
        note_text(result, QueueFault::paused, "the queue is paused");
        return invalid_handle;
    }
    auto* queue = new (std::nothrow) Queue{printer, {}};
    if (queue == nullptr || scheduler_fault(name, result, false)) {
        if (queue == nullptr) note_text(result, QueueFault::other, "out of memory");
        delete queue;
        spooler.close(printer);
        return invalid_handle;
    }
    std::snprintf(queue->name, sizeof queue->name, "%s", name);
    return reinterpret_cast<QueueHandle>(queue);
}

bool queue_send(QueueHandle handle, const std::uint8_t* data, std::size_t length,
                QueueResult& result) {
    Queue& queue = *queue_of(handle);
    HANDLE printer = queue.printer;
    if (paused(printer)) return note_text(result, QueueFault::paused, "the queue is paused");
    if (scheduler_fault(queue.name, result, true)) return false;
    char document[] = "Quorvel receipt";
    char datatype[] = "RAW";  // the spooler passes the bytes on unchanged
    DocInfo1 doc{document, nullptr, datatype};
    if (spooler.start_doc(printer, 1, reinterpret_cast<BYTE*>(&doc)) == 0)
        return note(result, QueueFault::refused, ::GetLastError());
    std::size_t written = 0;
    while (written < length) {
        DWORD count = 0;
        const std::size_t left = length - written;
        const DWORD chunk = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
        if (!spooler.write(printer, const_cast<std::uint8_t*>(data + written), chunk, &count) ||
            count == 0) {
            const DWORD code = ::GetLastError();
            spooler.end_doc(printer);
            return note(result, QueueFault::refused, code);
        }
        written += count;
    }
    if (!spooler.end_doc(printer)) {
        const DWORD code = ::GetLastError();
        // Wine's spooler hands the job to CUPS here and, when CUPS refuses it,
        // leaves an unrelated "invalid handle" behind: ask CUPS why instead.
        if (!under_wine()) return note(result, QueueFault::refused, code);
        if (scheduler_fault(queue.name, result, true)) return false;
        return note_text(result, QueueFault::refused, "the print server did not take the job");
    }
    return true;
}

void queue_close(QueueHandle handle) {
    Queue* queue = queue_of(handle);
    spooler.close(queue->printer);
    delete queue;
}

}  // namespace quorvel::platform
