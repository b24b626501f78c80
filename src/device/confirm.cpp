// SPDX-License-Identifier: MIT
// Confirmed printing: GS ( H process ID requests and their answers.
#include "api/quorvel.h"
#include "link/command.h"

using namespace quorvel;

extern "C" int QUORVEL_CALL quorvel_confirm(int) {
    link::CallGuard guard;
    return link::fail(QUORVEL_E_CANNOT_CONFIRM, "not built yet");
}

extern "C" int QUORVEL_CALL quorvel_confirm_level() { return QUORVEL_CONFIRM_NONE; }

extern "C" int QUORVEL_CALL quorvel_write(const unsigned char*, int) {
    link::CallGuard guard;
    return link::fail(QUORVEL_E_CANNOT_CONFIRM, "not built yet");
}

extern "C" int QUORVEL_CALL quorvel_printer_confirm(quorvel_printer* printer, int) {
    link::PrinterGuard guard(printer);
    return guard ? link::fail(QUORVEL_E_CANNOT_CONFIRM, "not built yet") : 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_confirm_level(quorvel_printer* printer) {
    link::PrinterGuard guard(printer);
    return QUORVEL_CONFIRM_NONE;
}

extern "C" int QUORVEL_CALL quorvel_printer_begin(quorvel_printer* printer) {
    link::PrinterGuard guard(printer);
    return guard ? link::fail(QUORVEL_E_CANNOT_CONFIRM, "not built yet") : 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_end(quorvel_printer* printer, int) {
    link::PrinterGuard guard(printer);
    return guard ? link::fail(QUORVEL_E_CANNOT_CONFIRM, "not built yet") : 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_write(quorvel_printer* printer, const unsigned char*,
                                                  int) {
    link::PrinterGuard guard(printer);
    return guard ? link::fail(QUORVEL_E_CANNOT_CONFIRM, "not built yet") : 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_cancel(quorvel_printer* printer) {
    link::PrinterGuard guard(printer);
    return guard ? link::fail(QUORVEL_E_CANNOT_CONFIRM, "not built yet") : 0;
}
