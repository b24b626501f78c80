// SPDX-License-Identifier: MIT
// Two-dimensional symbols by GS Z t and ESC Z P1 P2 P3 nL nH data.
#include "api/quorvel.h"
#include "link/command.h"

using namespace quorvel;

namespace {

constexpr std::size_t capacity = 4350, fixed = 15;

// value when it lies in [low, high], otherwise fallback.
std::uint8_t in_range_or(int value, int low, int high, std::uint8_t fallback) {
    return value >= low && value <= high ? static_cast<std::uint8_t>(value) : fallback;
}

int send_symbol(int justification, std::uint8_t type, std::uint8_t p1, std::uint8_t p2,
                std::uint8_t p3, const char* data) {
    std::size_t length = bounded_length(data, capacity - fixed);
    if (length > capacity - fixed) return link::fail_text(data, capacity - fixed);
    Command<capacity> cmd;
    open_command(cmd, justification);
    cmd.put(GS, 'Z', type);                // GS Z t: symbol type
    cmd.put(ESC, 'Z', p1, p2, p3).put_u16(length);  // ESC Z P1 P2 P3 nL nH
    cmd.append(data, length);
    return cmd.send();
}

int print_pdf417_escz(int justification, int columns, int p3_code, int ecc_level,
                      const char* data) {
    return send_symbol(justification, 0x00, in_range_or(columns, 1, 29, 30),
                       in_range_or(ecc_level, 0, 7, 8), in_range_or(p3_code, 1, 5, 6), data);
}

}  // namespace

extern "C" int QUORVEL_CALL ImprimePDF417_M2(int justification, int columns, int p3_code,
                                             int ecc_level, const char* data) {
    link::CallGuard guard;
    return print_pdf417_escz(justification, columns, p3_code, ecc_level, data);
}

extern "C" int QUORVEL_CALL quorvel_printer_pdf417_escz(quorvel_printer* printer, int justification,
                                                        int columns, int p3_code, int ecc_level,
                                                        const char* data) {
    link::PrinterGuard guard(printer);
    return guard ? print_pdf417_escz(justification, columns, p3_code, ecc_level, data) : 0;
}

namespace {

int print_data_matrix_escz(int justification, int p1_code, int p2_code, int p3_code,
                           const char* data) {
    static constexpr std::uint8_t p2_table[] = {0x00, 0x08, 0x09, 0x0A};
    auto p2_index = static_cast<unsigned>(p2_code);
    return send_symbol(justification, 0x01, in_range_or(p1_code, 0, 3, 4),
                       p2_index < sizeof p2_table ? p2_table[p2_index] : 0x0B,
                       in_range_or(p3_code, 1, 6, 7), data);
}

}  // namespace

extern "C" int QUORVEL_CALL ImprimeDataMatrix_M2(int justification, int p1_code, int p2_code,
                                                 int p3_code, const char* data) {
    link::CallGuard guard;
    return print_data_matrix_escz(justification, p1_code, p2_code, p3_code, data);
}

extern "C" int QUORVEL_CALL quorvel_printer_data_matrix_escz(quorvel_printer* printer,
                                                             int justification, int p1_code,
                                                             int p2_code, int p3_code,
                                                             const char* data) {
    link::PrinterGuard guard(printer);
    return guard ? print_data_matrix_escz(justification, p1_code, p2_code, p3_code, data) : 0;
}

namespace {

int print_qr_code_escz(int justification, int model, int module_size, int ecc_level,
                       const char* data) {
    static constexpr std::uint8_t ecc_letters[] = {'L', 'M', 'Q'};
    auto ecc_index = static_cast<unsigned>(ecc_level);
    std::uint8_t p1 = model == 1 ? 0x31 : model == 2 ? 0x32 : 0x00;
    std::uint8_t p2 = ecc_index < sizeof ecc_letters ? ecc_letters[ecc_index] : 'H';
    return send_symbol(justification, 0x02, p1, p2, in_range_or(module_size, 1, 6, 7), data);
}

}  // namespace

extern "C" int QUORVEL_CALL ImprimeQRCODE_M2(int justification, int model, int module_size,
                                             int ecc_level, const char* data) {
    link::CallGuard guard;
    return print_qr_code_escz(justification, model, module_size, ecc_level, data);
}

extern "C" int QUORVEL_CALL quorvel_printer_qr_code_escz(quorvel_printer* printer,
                                                         int justification, int model,
                                                         int module_size, int ecc_level,
                                                         const char* data) {
    link::PrinterGuard guard(printer);
    return guard ? print_qr_code_escz(justification, model, module_size, ecc_level, data) : 0;
}
