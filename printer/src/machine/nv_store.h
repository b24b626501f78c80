// SPDX-License-Identifier: MIT
// Stored images of the printer: the FS q bit images (numbered 1..255), the
// GS ( L NV graphics (two key-code bytes) and the download graphics. One store
// belongs to the printer process and outlives every connection; with a
// directory, the NV kinds are also kept there as 1-bit PNG files and read
// back at start-up, as a printer keeps them over a power cycle. Thread-safe.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "paper/bitmap.h"

namespace quorvel::printer {

using ImagePtr = std::shared_ptr<const Bitmap>;

class NvStore {
  public:
    // `dir` empty: kept in memory only.
    explicit NvStore(std::string dir = {}) : dir_(std::move(dir)) {}

    // Reads the images `dir` holds, creating it if needed. False, with the
    // reason in *error, when the directory cannot be made, read or written.
    bool open(std::string* error);

    // FS q: every bit image at once; images[0] becomes number 1.
    // False with *error when the files could not be written (memory is set).
    bool replace_bit_images(std::vector<Bitmap> images, std::string* error);
    // One bit image (--logo); kept in memory only.
    void set_bit_image(int number, Bitmap image);
    ImagePtr bit_image(int number) const;

    // GS ( L: `nv` graphics persist, the others (download graphics) do not.
    static int key(uint8_t kc1, uint8_t kc2) { return kc1 << 8 | kc2; }
    bool define_graphic(bool nv, int key, Bitmap image, std::string* error);
    ImagePtr graphic(bool nv, int key) const;
    bool delete_graphic(bool nv, int key, std::string* error);
    bool delete_all_graphics(bool nv, std::string* error);
    size_t graphics_count(bool nv) const;
    // Bytes the graphics of one kind take, one bit per dot.
    size_t graphics_bytes(bool nv) const;

  private:
    std::string bit_image_path(int number) const;
    std::string graphic_path(int key) const;

    mutable std::mutex mu_;
    std::string dir_;
    std::map<int, ImagePtr> bit_images_;
    std::map<int, ImagePtr> nv_graphics_;
    std::map<int, ImagePtr> download_graphics_;
};

// A PNG of any kind as a 1-bit image: composited on white, scaled down to at
// most `max_width` dots wide (keeping its proportions), then dithered by
// error diffusion, which leaves a pure black-and-white image as it is.
bool load_logo(const std::string& path, int max_width, Bitmap* out, std::string* error);

}  // namespace quorvel::printer
