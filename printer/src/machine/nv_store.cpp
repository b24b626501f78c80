// SPDX-License-Identifier: MIT
#include "machine/nv_store.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "paper/png_io.h"

namespace fs = std::filesystem;

namespace quorvel::printer {
namespace {

constexpr const char* BIT_IMAGE_FORMAT = "nv-image-%03d.png";
constexpr const char* GRAPHIC_FORMAT = "nv-graphic-%04X.png";

bool save(const std::string& path, const Bitmap& image, std::string* error) {
    // Written aside and renamed, so that a crash never leaves half an image.
    const std::string tmp = path + ".tmp";
    if (!write_png(tmp, image, PaperMargins{0, 0, 0, 0}, error)) return false;
    std::error_code ec;
    fs::rename(tmp, path, ec);
    if (ec && error) *error = path + ": " + ec.message();
    return !ec;
}

bool remove_file(const std::string& path, std::string* error) {
    std::error_code ec;
    fs::remove(path, ec);
    if (ec && error) *error = path + ": " + ec.message();
    return !ec;
}

}  // namespace

bool NvStore::open(std::string* error) {
    if (dir_.empty()) return true;
    std::error_code ec;
    fs::create_directories(dir_, ec);
    if (ec) {
        *error = dir_ + ": " + ec.message();
        return false;
    }
    const fs::path probe = fs::path(dir_) / ".write-test";
    if (std::FILE* f = std::fopen(probe.c_str(), "wb")) {
        std::fclose(f);
        fs::remove(probe, ec);
    } else {
        *error = dir_ + ": not writable";
        return false;
    }
    std::lock_guard lock(mu_);
    for (const auto& entry : fs::directory_iterator(dir_, ec)) {
        const std::string name = entry.path().filename().string();
        int number = 0;
        unsigned key = 0;
        char tail = 0;
        const bool is_bit = std::sscanf(name.c_str(), "nv-image-%3d.pn%c", &number, &tail) == 2;
        const bool is_graphic =
            !is_bit && std::sscanf(name.c_str(), "nv-graphic-%4X.pn%c", &key, &tail) == 2;
        if (!is_bit && !is_graphic) continue;
        Bitmap image;
        std::string why;
        if (!read_png(entry.path().string(), &image, &why)) {
            *error = entry.path().string() + ": " + why;
            return false;
        }
        auto ptr = std::make_shared<const Bitmap>(std::move(image));
        if (is_bit && number >= 1 && number <= 255)
            bit_images_[number] = std::move(ptr);
        else if (is_graphic)
            nv_graphics_[static_cast<int>(key)] = std::move(ptr);
    }
    if (ec) {
        *error = dir_ + ": " + ec.message();
        return false;
    }
    return true;
}

std::string NvStore::bit_image_path(int number) const {
    char name[32];
    std::snprintf(name, sizeof name, BIT_IMAGE_FORMAT, number);
    return (fs::path(dir_) / name).string();
}

std::string NvStore::graphic_path(int key) const {
    char name[32];
    std::snprintf(name, sizeof name, GRAPHIC_FORMAT, key & 0xFFFF);
    return (fs::path(dir_) / name).string();
}

bool NvStore::replace_bit_images(std::vector<Bitmap> images, std::string* error) {
    std::lock_guard lock(mu_);
    bool ok = true;
    if (!dir_.empty())
        for (const auto& [number, image] : bit_images_)
            ok = remove_file(bit_image_path(number), error) && ok;
    bit_images_.clear();
    for (size_t i = 0; i < images.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        if (!dir_.empty()) ok = save(bit_image_path(number), images[i], error) && ok;
        bit_images_[number] = std::make_shared<const Bitmap>(std::move(images[i]));
    }
    return ok;
}

void NvStore::set_bit_image(int number, Bitmap image) {
    std::lock_guard lock(mu_);
    bit_images_[number] = std::make_shared<const Bitmap>(std::move(image));
}

ImagePtr NvStore::bit_image(int number) const {
    std::lock_guard lock(mu_);
    const auto it = bit_images_.find(number);
    return it == bit_images_.end() ? nullptr : it->second;
}

bool NvStore::define_graphic(bool nv, int key, Bitmap image, std::string* error) {
    std::lock_guard lock(mu_);
    (nv ? nv_graphics_ : download_graphics_)[key] =
        std::make_shared<const Bitmap>(std::move(image));
    if (!nv || dir_.empty()) return true;
    return save(graphic_path(key), *nv_graphics_[key], error);
}

ImagePtr NvStore::graphic(bool nv, int key) const {
    std::lock_guard lock(mu_);
    const auto& map = nv ? nv_graphics_ : download_graphics_;
    const auto it = map.find(key);
    return it == map.end() ? nullptr : it->second;
}

bool NvStore::delete_graphic(bool nv, int key, std::string* error) {
    std::lock_guard lock(mu_);
    (nv ? nv_graphics_ : download_graphics_).erase(key);
    if (!nv || dir_.empty()) return true;
    return remove_file(graphic_path(key), error);
}

bool NvStore::delete_all_graphics(bool nv, std::string* error) {
    std::lock_guard lock(mu_);
    auto& map = nv ? nv_graphics_ : download_graphics_;
    bool ok = true;
    if (nv && !dir_.empty())
        for (const auto& [key, image] : map) ok = remove_file(graphic_path(key), error) && ok;
    map.clear();
    return ok;
}

size_t NvStore::graphics_count(bool nv) const {
    std::lock_guard lock(mu_);
    return (nv ? nv_graphics_ : download_graphics_).size();
}

size_t NvStore::graphics_bytes(bool nv) const {
    std::lock_guard lock(mu_);
    size_t n = 0;
    for (const auto& [key, image] : nv ? nv_graphics_ : download_graphics_)
        n += static_cast<size_t>((image->width() + 7) / 8) * image->height();
    return n;
}

bool load_logo(const std::string& path, int max_width, Bitmap* out, std::string* error) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) {
        *error = path + ": " + img.message;
        return false;
    }
    img.format = PNG_FORMAT_GRAY;
    const png_color white{255, 255, 255};
    std::vector<uint8_t> px(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, &white, px.data(), 0, nullptr)) {
        *error = path + ": " + img.message;
        return false;
    }
    const int w = static_cast<int>(img.width), h = static_cast<int>(img.height);
    // Scale down by area averaging when wider than the paper.
    const int ow = std::min(w, max_width);
    const int oh = std::max(1, static_cast<int>(static_cast<int64_t>(h) * ow / w));
    std::vector<float> lum(static_cast<size_t>(ow) * oh);
    for (int y = 0; y < oh; ++y) {
        const int sy0 = static_cast<int>(static_cast<int64_t>(y) * h / oh);
        const int sy1 = std::max(sy0 + 1, static_cast<int>(static_cast<int64_t>(y + 1) * h / oh));
        for (int x = 0; x < ow; ++x) {
            const int sx0 = static_cast<int>(static_cast<int64_t>(x) * w / ow);
            const int sx1 =
                std::max(sx0 + 1, static_cast<int>(static_cast<int64_t>(x + 1) * w / ow));
            float sum = 0;
            for (int sy = sy0; sy < sy1; ++sy)
                for (int sx = sx0; sx < sx1; ++sx) sum += px[static_cast<size_t>(sy) * w + sx];
            lum[static_cast<size_t>(y) * ow + x] =
                sum / static_cast<float>((sy1 - sy0) * (sx1 - sx0));
        }
    }
    // Floyd-Steinberg error diffusion to 1 bit.
    *out = Bitmap(ow, oh);
    for (int y = 0; y < oh; ++y)
        for (int x = 0; x < ow; ++x) {
            const float v = lum[static_cast<size_t>(y) * ow + x];
            const bool black = v < 128;
            if (black) out->set(x, y);
            const float err = v - (black ? 0.0f : 255.0f);
            auto spread = [&](int dx, int dy, float f) {
                const int nx = x + dx, ny = y + dy;
                if (nx >= 0 && nx < ow && ny < oh)
                    lum[static_cast<size_t>(ny) * ow + nx] += err * f;
            };
            spread(1, 0, 7 / 16.0f);
            spread(-1, 1, 3 / 16.0f);
            spread(0, 1, 5 / 16.0f);
            spread(1, 1, 1 / 16.0f);
        }
    return true;
}

}  // namespace quorvel::printer
