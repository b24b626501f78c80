// SPDX-License-Identifier: MIT
// Linear barcodes by GS k, in the NUL-ended and the counted form.
#include "api/quorvel.h"
#include "barcode/bar_settings.h"
#include "link/command.h"

using namespace quorvel;

namespace {

// GS H n: human-readable characters 0 none, 1 above, 2 below, 3 both.
std::uint8_t hri_code(int position) {
    return position >= 0 && position <= 2 ? static_cast<std::uint8_t>(position) : 3;
}

// GS k m, NUL-ended form: UPC-A, UPC-E, EAN-13, EAN-8, CODE39, ITF, CODABAR.
std::uint8_t nul_form_symbology(int type) {
    auto index = static_cast<unsigned>(type);
    return index <= 5 ? static_cast<std::uint8_t>(index) : 6;
}

// GS k m, counted form: 65 UPC-A ... 73 CODE128, 74 GS1-128 for anything else.
std::uint8_t counted_form_symbology(int type) {
    auto index = static_cast<unsigned>(type);
    return index <= 8 ? static_cast<std::uint8_t>(65 + index) : 74;
}

// ESC @, ESC a j, GS w, GS h, GS H, GS k m.
template <typename Cmd>
Cmd& open_barcode(Cmd& cmd, int justification, int height, int width, int hri_position,
                  std::uint8_t symbology) {
    open_command(cmd, justification);
    return cmd.put(GS, 'w', module_width(width), GS, 'h', bar_height(height), GS, 'H',
                   hri_code(hri_position), GS, 'k', symbology);
}

int print_barcode(int justification, int barcode_type, int height, int width, int hri_position,
                  const char* data) {
    constexpr std::size_t capacity = 110, fixed = 19;
    std::size_t length = bounded_length(data, capacity - fixed);
    if (length > capacity - fixed) return link::fail_text(data, capacity - fixed);
    Command<capacity> cmd;
    open_barcode(cmd, justification, height, width, hri_position, nul_form_symbology(barcode_type));
    cmd.append(data, length).put(0x00, LF);
    return cmd.send();
}

}  // namespace

extern "C" int QUORVEL_CALL ImprimeCodigoBarras(int justification, int barcode_type, int height,
                                                int width, int hri_position, const char* data) {
    link::CallGuard guard;
    return print_barcode(justification, barcode_type, height, width, hri_position, data);
}

extern "C" int QUORVEL_CALL quorvel_printer_barcode(quorvel_printer* printer, int justification,
                                                    int barcode_type, int height, int width,
                                                    int hri_position, const char* data) {
    link::PrinterGuard guard(printer);
    return guard ? print_barcode(justification, barcode_type, height, width, hri_position, data)
                 : 0;
}

namespace {

int print_barcode_counted(int justification, int barcode_type, int height, int width,
                          int hri_position, const char* data) {
    constexpr std::size_t capacity = 112, fixed = 19;
    std::size_t length = bounded_length(data, capacity - fixed);
    if (length > capacity - fixed) return link::fail_text(data, capacity - fixed);
    Command<capacity> cmd;
    open_barcode(cmd, justification, height, width, hri_position,
                 counted_form_symbology(barcode_type));
    cmd.put(length).append(data, length).put(LF);
    return cmd.send();
}

}  // namespace

extern "C" int QUORVEL_CALL ImprimeCodigoBarras_C(int justification, int barcode_type, int height,
                                                  int width, int hri_position, const char* data) {
    link::CallGuard guard;
    return print_barcode_counted(justification, barcode_type, height, width, hri_position, data);
}

extern "C" int QUORVEL_CALL quorvel_printer_barcode_counted(quorvel_printer* printer,
                                                            int justification, int barcode_type,
                                                            int height, int width, int hri_position,
                                                            const char* data) {
    link::PrinterGuard guard(printer);
    return guard ? print_barcode_counted(justification, barcode_type, height, width, hri_position,
                                         data)
                 : 0;
}
