// SPDX-License-Identifier: MIT
// Greyscale images: printed as raster bit images (GS v 0) in bands of rows, or
// stored as a non-volatile bit image (FS q) for FS p to print.
#include <cstdint>
#include <cstring>

#include "api/quorvel.h"
#include "link/command.h"

using namespace quorvel;

namespace {

constexpr int max_width = QUORVEL_IMAGE_MAX_WIDTH;
constexpr int max_row_bytes = max_width / 8;
constexpr int band_rows = QUORVEL_IMAGE_BAND_ROWS;
constexpr std::uint8_t black_below = 128;

// Turns greyscale rows into rows of dots, top to bottom: 1 bits are black,
// most significant bit first, padded with white to whole bytes. Floyd-Steinberg
// diffusion carries each pixel's error to its right (7/16) and to the row below
// (3/16 left, 5/16 under, 1/16 right); only two rows of errors are kept.
class Ditherer {
  public:
    Ditherer(const unsigned char* gray, int width, int stride, bool diffuse)
        : gray_(gray), width_(width), stride_(stride), diffuse_(diffuse) {
        std::memset(errors_, 0, sizeof errors_);
    }

    // Writes the next row's (width + 7) / 8 bytes into out.
    void next_row(std::uint8_t* out) {
        const unsigned char* pixels = gray_ + static_cast<std::ptrdiff_t>(row_) * stride_;
        std::memset(out, 0, static_cast<std::size_t>((width_ + 7) / 8));
        int* here = errors_[row_ & 1] + 1;  // index -1 and width are spill slots
        int* below = errors_[(row_ + 1) & 1] + 1;
        std::memset(below - 1, 0, sizeof errors_[0]);
        for (int x = 0; x < width_; ++x) {
            const int value = pixels[x] + (diffuse_ ? here[x] / 16 : 0);
            const bool black = value < black_below;
            if (black) out[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
            if (!diffuse_) continue;
            const int error = value - (black ? 0 : 255);  // in 16ths below
            here[x + 1] += error * 7;
            below[x - 1] += error * 3;
            below[x] += error * 5;
            below[x + 1] += error;
        }
        ++row_;
    }

  private:
    const unsigned char* gray_;
    int width_;
    int stride_;
    bool diffuse_;
    int row_ = 0;
    int errors_[2][max_width + 2];  // sixteenths of a grey level
};

// The checks both image calls share. Records the refusal; true when accepted.
bool image_accepted(const unsigned char* gray, int width, int height, int stride, int max_height,
                    int dither) {
    if (gray == nullptr) return link::fail(QUORVEL_E_NULL_INPUT, "image");
    if (width > max_width)
        return link::fail_format(QUORVEL_E_IMAGE_TOO_WIDE, "%d dots wide, at most %d", width,
                                 max_width);
    if (width < 1) return link::fail_format(QUORVEL_E_BAD_ARGUMENT, "width %d", width);
    if (height < 1 || height > max_height)
        return link::fail_format(QUORVEL_E_BAD_ARGUMENT, "height %d, not 1 to %d", height,
                                 max_height);
    if (stride < width)
        return link::fail_format(QUORVEL_E_BAD_ARGUMENT, "stride %d less than width %d", stride,
                                 width);
    if (dither != QUORVEL_DITHER_THRESHOLD && dither != QUORVEL_DITHER_FLOYD_STEINBERG)
        return link::fail_format(QUORVEL_E_BAD_ARGUMENT, "dither %d, not 0 or 1", dither);
    return true;
}

int print_image(const unsigned char* gray, int width, int height, int stride, int justification,
                int dither) {
    if (!image_accepted(gray, width, height, stride, QUORVEL_IMAGE_MAX_HEIGHT, dither)) return 0;
    if (justification < 0 || justification > 2)
        return link::fail_format(QUORVEL_E_BAD_ARGUMENT, "justification %d, not 0 to 2",
                                 justification);
    if (!link::current().is_open()) return link::fail(QUORVEL_E_NO_LINK);

    const int row_bytes = (width + 7) / 8;
    Ditherer rows(gray, width, stride, dither == QUORVEL_DITHER_FLOYD_STEINBERG);
    for (int top = 0; top < height; top += band_rows) {
        const int rows_here = height - top < band_rows ? height - top : band_rows;
        Command<5 + 8 + max_row_bytes * band_rows> cmd;
        if (top == 0) open_command(cmd, justification);  // ESC @, ESC a j
        cmd.put(GS, 'v', '0', 0x00).put_u16(static_cast<std::size_t>(row_bytes));
        cmd.put_u16(static_cast<std::size_t>(rows_here));  // GS v 0 m xL xH yL yH
        std::uint8_t* band = cmd.extend(static_cast<std::size_t>(row_bytes * rows_here));
        for (int y = 0; y < rows_here; ++y) rows.next_row(band + y * row_bytes);
        if (!cmd.send()) return 0;  // no band after a failed one
    }
    return 1;
}

}  // namespace

extern "C" int QUORVEL_CALL quorvel_print_image(const unsigned char* gray, int width, int height,
                                                int stride, int justification, int dither) {
    link::CallGuard guard;
    return print_image(gray, width, height, stride, justification, dither);
}

extern "C" int QUORVEL_CALL quorvel_printer_image(quorvel_printer* printer,
                                                  const unsigned char* gray, int width, int height,
                                                  int stride, int justification, int dither) {
    link::PrinterGuard guard(printer);
    return guard ? print_image(gray, width, height, stride, justification, dither) : 0;
}

namespace {

// FS q defines images 1 to n in one command; the ones before ours get an
// 8 x 8 blank placeholder: xL xH yL yH = 1 0 1 0 and 8 bytes.
constexpr std::size_t placeholder_size = 4 + 8;
constexpr std::size_t logo_band_bytes = 16384;

int store_logo(int number, const unsigned char* gray, int width, int height, int stride,
               int dither) {
    if (number < 1 || number > 255)
        return link::fail_format(QUORVEL_E_BAD_ARGUMENT, "image number %d, not 1 to 255", number);
    if (!image_accepted(gray, width, height, stride, QUORVEL_LOGO_MAX_HEIGHT, dither)) return 0;
    if (!link::current().is_open()) return link::fail(QUORVEL_E_NO_LINK);

    // FS q counts whole bytes: x bytes across (8 dots each), y bytes down.
    const int x_bytes = (width + 7) / 8;
    const int y_bytes = (height + 7) / 8;
    const int columns = x_bytes * 8;
    // Bands of whole columns, each column y_bytes bytes top to bottom.
    const int band_columns = static_cast<int>(logo_band_bytes) / y_bytes;
    const bool diffuse = dither == QUORVEL_DITHER_FLOYD_STEINBERG;

    for (int left = 0; left < columns; left += band_columns) {
        const int columns_here = columns - left < band_columns ? columns - left : band_columns;
        Command<3 + 254 * placeholder_size + 4 + logo_band_bytes> cmd;
        if (left == 0) {
            cmd.put(FS, 'q', number);  // FS q n
            for (int image = 1; image < number; ++image)
                cmd.put(1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0);
            cmd.put_u16(static_cast<std::size_t>(x_bytes))
                .put_u16(static_cast<std::size_t>(y_bytes));
        }
        // The band's columns, rebuilt from the top: error diffusion runs along
        // rows, so every row of the image is dithered again for each band.
        std::uint8_t* band = cmd.extend(static_cast<std::size_t>(columns_here * y_bytes));
        Ditherer rows(gray, width, stride, diffuse);
        std::uint8_t row[max_row_bytes];
        for (int y = 0; y < height; ++y) {
            rows.next_row(row);
            const std::uint8_t bit = static_cast<std::uint8_t>(0x80 >> (y & 7));
            for (int c = 0; c < columns_here; ++c) {
                const int x = left + c;
                if (x < width && (row[x >> 3] & (0x80 >> (x & 7))) != 0)
                    band[c * y_bytes + (y >> 3)] |= bit;
            }
        }
        if (!cmd.send()) return 0;  // no band after a failed one
    }
    return 1;
}

}  // namespace

extern "C" int QUORVEL_CALL quorvel_store_logo(int number, const unsigned char* gray, int width,
                                               int height, int stride, int dither) {
    link::CallGuard guard;
    return store_logo(number, gray, width, height, stride, dither);
}

extern "C" int QUORVEL_CALL quorvel_printer_store_logo(quorvel_printer* printer, int number,
                                                       const unsigned char* gray, int width,
                                                       int height, int stride, int dither) {
    link::PrinterGuard guard(printer);
    return guard ? store_logo(number, gray, width, height, stride, dither) : 0;
}
