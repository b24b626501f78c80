// SPDX-License-Identifier: MIT
// The print-queue part of the platform layer on Windows: the spooler's RAW
// documents (OpenPrinter, StartDocPrinter, WritePrinter, EndDocPrinter), and
// no printer-class devices. winspool.drv is loaded on the first queue open,
// so programs that never use a queue load nothing more than before.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "link/platform.h"

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

using OpenPrinterFn = BOOL(WINAPI*)(char*, HANDLE*, void*);
using ClosePrinterFn = BOOL(WINAPI*)(HANDLE);
using GetPrinterFn = BOOL(WINAPI*)(HANDLE, DWORD, BYTE*, DWORD, DWORD*);
using StartDocPrinterFn = DWORD(WINAPI*)(HANDLE, DWORD, BYTE*);
using WritePrinterFn = BOOL(WINAPI*)(HANDLE, void*, DWORD, DWORD*);
using EndDocPrinterFn = BOOL(WINAPI*)(HANDLE);

struct Spooler {
    OpenPrinterFn open;
    ClosePrinterFn close;
    GetPrinterFn get;
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
        !find(module, "GetPrinterA", s.get) || !find(module, "StartDocPrinterA", s.start_doc) ||
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
    HANDLE printer = nullptr;
    if (!spooler.open(const_cast<char*>(name), &printer, nullptr)) {
        const DWORD code = ::GetLastError();
        note(result, code == error_invalid_printer_name ? QueueFault::not_found : QueueFault::other,
             code);
        return invalid_handle;
    }
    if (paused(printer)) {
        spooler.close(printer);
        result.fault = QueueFault::paused;
        std::snprintf(result.reason, sizeof result.reason, "the queue is paused");
        return invalid_handle;
    }
    return reinterpret_cast<QueueHandle>(printer);
}

bool queue_send(QueueHandle queue, const std::uint8_t* data, std::size_t length,
                QueueResult& result) {
    HANDLE printer = reinterpret_cast<HANDLE>(queue);
    if (paused(printer)) {
        result.fault = QueueFault::paused;
        std::snprintf(result.reason, sizeof result.reason, "the queue is paused");
        return false;
    }
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
    if (!spooler.end_doc(printer)) return note(result, QueueFault::refused, ::GetLastError());
    return true;
}

void queue_close(QueueHandle queue) { spooler.close(reinterpret_cast<HANDLE>(queue)); }

}  // namespace quorvel::platform
