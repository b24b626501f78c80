// SPDX-License-Identifier: MIT
#include "png_gray.h"

#include <png.h>

#include <cstring>

namespace quorvel::spool {

bool decode_png_gray(const std::string& png, int max_width, int max_height, GrayImage* out,
                     std::string* error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) {
        *error = std::string("not a PNG image (") + image.message + ")";
        return false;
    }
    if (image.width < 1 || image.height < 1 || static_cast<int>(image.width) > max_width ||
        static_cast<int>(image.height) > max_height) {
        *error = std::to_string(image.width) + " x " + std::to_string(image.height) +
                 " dots: at most " + std::to_string(max_width) + " wide and " +
                 std::to_string(max_height) + " high";
        png_image_free(&image);
        return false;
    }
    // Grey without alpha: colours by their luminance, transparency over white paper.
    image.format = PNG_FORMAT_GRAY;
    out->width = static_cast<int>(image.width);
    out->height = static_cast<int>(image.height);
    out->pixels.assign(PNG_IMAGE_SIZE(image), 0);
    png_color white{255, 255, 255};
    if (!png_image_finish_read(&image, &white, out->pixels.data(), 0, nullptr)) {
        *error = std::string("damaged PNG image (") + image.message + ")";
        png_image_free(&image);
        return false;
    }
    return true;
}

bool decode_base64(const std::string& text, std::string* out) {
    static const std::string ALPHABET =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    size_t end = text.size();
    while (end > 0 && text[end - 1] == '=' && text.size() - end < 2) --end;
    if (text.size() % 4 != 0 && end != text.size()) return false;
    out->clear();
    out->reserve(end * 3 / 4);
    unsigned acc = 0;
    int bits = 0;
    for (size_t i = 0; i < end; ++i) {
        const size_t v = ALPHABET.find(text[i]);
        if (v == std::string::npos) return false;
        acc = (acc << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out->push_back(static_cast<char>((acc >> bits) & 0xFF));
        }
    }
    return end % 4 != 1;
}

}  // namespace quorvel::spool
