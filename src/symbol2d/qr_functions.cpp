// SPDX-License-Identifier: MIT
// QR Code by the GS ( k cn 49 function commands.
#include "api/quorvel.h"
#include "link/command.h"

using namespace quorvel;

namespace {

int print_qr_code(int justification, int model, int module_size, int ecc_level, const char* data) {
    constexpr std::size_t capacity = 4344, fixed = 49;
    std::size_t length = bounded_length(data, capacity - fixed);
    if (length > capacity - fixed) return link::fail_text(data, capacity - fixed);

    const std::uint8_t model_byte = model == 1 ? 0x31 : 0x32;
    const std::uint8_t size_byte =
        module_size >= 1 && module_size <= 6 ? static_cast<std::uint8_t>(module_size) : 7;
    const std::uint8_t ecc_byte =
        static_cast<unsigned>(ecc_level) <= 2 ? static_cast<std::uint8_t>(0x30 + ecc_level) : 0x33;

    Command<capacity> cmd;
    open_command(cmd, justification);
    cmd.put(GS, '(', 'k', 4, 0, 49, 65, model_byte, 0);   // fn 165: select the model
    cmd.put(GS, '(', 'k', 3, 0, 49, 67, size_byte);       // fn 167: module size
    cmd.put(GS, '(', 'k', 3, 0, 49, 69, ecc_byte);        // fn 169: error correction
    cmd.put(GS, '(', 'k').put_u16(length + 3).put(49, 80, 48);  // fn 180: store the data
    cmd.append(data, length);
    cmd.put(GS, '(', 'k', 3, 0, 49, 81, 48);              // fn 181: print the symbol
    cmd.put(0x00, 0x00, LF);
    return cmd.send();
}

}  // namespace

extern "C" int QUORVEL_CALL ImprimeQRCODE_M1(int justification, int model, int module_size,
                                             int ecc_level, const char* data) {
    link::CallGuard guard;
    return print_qr_code(justification, model, module_size, ecc_level, data);
}

extern "C" int QUORVEL_CALL quorvel_printer_qr_code(quorvel_printer* printer, int justification,
                                                    int model, int module_size, int ecc_level,
                                                    const char* data) {
    link::PrinterGuard guard(printer);
    return guard ? print_qr_code(justification, model, module_size, ecc_level, data) : 0;
}
