// SPDX-License-Identifier: MIT
// Command handlers and length measures, by family. Each handler gets the
// whole command (p, len) once all of it has arrived; the table in
// command_table.cpp says which bytes lead to which handler.
#pragma once

#include "escpos/command_table.h"

namespace quorvel::printer {

#define QVP_HANDLER(name) void name(CommandContext& c, const uint8_t* p, size_t len)
#define QVP_MEASURE(name) Extent name(const uint8_t* p, size_t n, const InterpreterLimits& limits)

// Text and print modes (commands_text.cpp).
QVP_HANDLER(esc_char_spacing);
QVP_HANDLER(esc_print_mode);
QVP_HANDLER(esc_user_chars_on);
QVP_HANDLER(esc_define_user_chars);
// The characters of ESC &, one width byte and its columns at a time.
size_t esc_define_user_chars_next(CommandContext& c, const uint8_t* p, size_t n);
QVP_HANDLER(esc_underline);
QVP_HANDLER(esc_bold);
QVP_HANDLER(esc_font);
QVP_HANDLER(esc_international_set);
QVP_HANDLER(esc_rotation);
QVP_HANDLER(esc_code_table);
QVP_HANDLER(esc_upside_down);
QVP_HANDLER(gs_char_size);
QVP_HANDLER(gs_reverse);
QVP_HANDLER(fs_kanji_on);
QVP_HANDLER(fs_kanji_off);
QVP_HANDLER(fs_code_system);
QVP_HANDLER(fs_print_mode);
QVP_HANDLER(fs_underline);
QVP_HANDLER(fs_spacing);
QVP_HANDLER(fs_quadruple);

// Layout and spacing (commands_layout.cpp).
QVP_HANDLER(line_feed);
QVP_HANDLER(carriage_return);
QVP_MEASURE(measure_carriage_return);
QVP_HANDLER(horizontal_tab);
QVP_HANDLER(form_feed);
QVP_HANDLER(esc_absolute_position);
QVP_HANDLER(esc_default_line_spacing);
QVP_HANDLER(esc_line_spacing);
QVP_HANDLER(esc_tab_stops);
QVP_MEASURE(measure_esc_tab_stops);
QVP_HANDLER(esc_feed_dots);
QVP_HANDLER(esc_relative_position);
QVP_HANDLER(esc_justification);
QVP_HANDLER(esc_feed_lines);
QVP_HANDLER(gs_left_margin);
QVP_HANDLER(gs_print_area_width);

// Page mode (commands_page.cpp). FF is form_feed, which prints the page.
QVP_HANDLER(esc_page_mode);
QVP_HANDLER(esc_standard_mode);
QVP_HANDLER(esc_page_area);
QVP_HANDLER(esc_page_direction);
QVP_HANDLER(gs_page_vertical);
QVP_HANDLER(gs_page_vertical_relative);
QVP_HANDLER(esc_print_page);
QVP_HANDLER(cancel_page_area);

// Bit images, raster and stored images (commands_image.cpp).
QVP_HANDLER(esc_bit_image);
QVP_MEASURE(measure_esc_bit_image);
QVP_HANDLER(gs_raster);
QVP_MEASURE(measure_gs_raster);
QVP_MEASURE(measure_gs_define_downloaded);
QVP_HANDLER(gs_print_downloaded);
QVP_HANDLER(fs_print_nv);
QVP_HANDLER(fs_define_nv);
// The images of FS q, one header and its data at a time.
size_t fs_define_nv_next(CommandContext& c, const uint8_t* p, size_t n);
QVP_HANDLER(gs_graphics);
QVP_MEASURE(measure_gs8_graphics);

// Linear barcodes (commands_barcode.cpp).
QVP_HANDLER(gs_hri_position);
QVP_HANDLER(gs_hri_font);
QVP_HANDLER(gs_bar_height);
QVP_HANDLER(gs_module_width);
QVP_HANDLER(gs_barcode);
QVP_MEASURE(measure_gs_barcode);

// 2D symbols (commands_symbol2d.cpp).
QVP_HANDLER(gs_symbol_function);
QVP_HANDLER(gs_select_2d);
QVP_HANDLER(esc_print_2d);
QVP_MEASURE(measure_esc_print_2d);

// Status and device (commands_device.cpp).
QVP_HANDLER(dle_status);
QVP_HANDLER(dle_recover);
QVP_HANDLER(gs_process_id);
QVP_MEASURE(measure_dle_status);
QVP_HANDLER(dle_realtime_request);
QVP_MEASURE(measure_dle_realtime_request);
QVP_HANDLER(dc2_self_test);
QVP_HANDLER(esc_initialize);
QVP_HANDLER(esc_drawer_pulse);
QVP_HANDLER(esc_drawer_status);
QVP_HANDLER(esc_paper_status);
QVP_HANDLER(esc_cut);
QVP_HANDLER(gs_cut);
QVP_MEASURE(measure_gs_cut);
QVP_HANDLER(gs_printer_id);
QVP_HANDLER(gs_user_setup);
QVP_HANDLER(gs_status);
QVP_HANDLER(gs_auto_status);

// Commands that are only skipped: length measures for the irregular ones
// (commands_skipped.cpp). Their rows have no handler.
QVP_MEASURE(measure_gs_counter);
QVP_MEASURE(measure_gs_variable_image);
QVP_MEASURE(measure_gs_bmp_graphics);
QVP_MEASURE(measure_fs_user_memory);
QVP_HANDLER(unknown_function);

}  // namespace quorvel::printer
