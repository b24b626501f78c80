// SPDX-License-Identifier: MIT
// Printer handles: not yet implemented; every call is refused.
#include "api/quorvel.h"
#include "link/connection.h"

using namespace quorvel::link;

extern "C" quorvel_printer* QUORVEL_CALL quorvel_printer_open_tcp(const char* /*address*/, int /*port*/, int /*model*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return nullptr;
}

extern "C" quorvel_printer* QUORVEL_CALL quorvel_printer_open_serial(const char* /*port*/, int /*bits_per_second*/, int /*model*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return nullptr;
}

extern "C" int QUORVEL_CALL quorvel_printer_close(quorvel_printer* /*printer*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_text(quorvel_printer* /*printer*/, const char* /*text*/, int /*justification*/, int /*font*/, int /*spacing*/, int /*bold*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_text_feed(quorvel_printer* /*printer*/, const char* /*text*/, int /*justification*/, int /*font*/, int /*spacing*/, int /*bold*/, int /*feed_lines*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_text_upside_down(quorvel_printer* /*printer*/, const char* /*text*/, int /*justification*/, int /*font*/, int /*spacing*/, int /*bold*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_text_inverted(quorvel_printer* /*printer*/, const char* /*text*/, int /*justification*/, int /*font*/, int /*spacing*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_formatted_text(quorvel_printer* /*printer*/, const char* /*text*/, int /*justification*/, int /*spacing*/, int /*mode*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_barcode(quorvel_printer* /*printer*/, int /*justification*/, int /*barcode_type*/, int /*height*/, int /*width*/, int /*hri_position*/, const char* /*data*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_barcode_counted(quorvel_printer* /*printer*/, int /*justification*/, int /*barcode_type*/, int /*height*/, int /*width*/, int /*hri_position*/, const char* /*data*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_code128(quorvel_printer* /*printer*/, char* /*codes*/, int /*justification*/, int /*height*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_code128_width(quorvel_printer* /*printer*/, char* /*codes*/, int /*justification*/, int /*height*/, int /*width*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_qr_code(quorvel_printer* /*printer*/, int /*justification*/, int /*model*/, int /*module_size*/, int /*ecc_level*/, const char* /*data*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_qr_code_escz(quorvel_printer* /*printer*/, int /*justification*/, int /*model*/, int /*module_size*/, int /*ecc_level*/, const char* /*data*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_pdf417_escz(quorvel_printer* /*printer*/, int /*justification*/, int /*columns*/, int /*p3_code*/, int /*ecc_level*/, const char* /*data*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_data_matrix_escz(quorvel_printer* /*printer*/, int /*justification*/, int /*p1_code*/, int /*p2_code*/, int /*p3_code*/, const char* /*data*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_logo(quorvel_printer* /*printer*/, int /*image_number*/, int /*justification*/, int /*print_mode*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_self_test(quorvel_printer* /*printer*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_cut(quorvel_printer* /*printer*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_open_drawer(quorvel_printer* /*printer*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_status(quorvel_printer* /*printer*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_drawer_status(quorvel_printer* /*printer*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_raw(quorvel_printer* /*printer*/, char* /*text*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_image(quorvel_printer* /*printer*/, const unsigned char* /*gray*/, int /*width*/, int /*height*/, int /*stride*/, int /*justification*/, int /*dither*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_store_logo(quorvel_printer* /*printer*/, int /*number*/, const unsigned char* /*gray*/, int /*width*/, int /*height*/, int /*stride*/, int /*dither*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_read_status(quorvel_printer* /*printer*/, struct quorvel_status* /*status*/) {
    CallGuard guard;
    fail(QUORVEL_E_BAD_HANDLE);
    return 0;
}
