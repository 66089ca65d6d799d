#include "app/png_encoding.h"

#include <png.h>

#include <cstring>
#include <new>

namespace vexo {

namespace {

// One set of settings for every PNG written.
png_image Described(int width, int height) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    // Speed before size: the display of a large picture otherwise takes
    // longer to compress than the grid search takes to run.
    image.flags = PNG_IMAGE_FLAG_FAST;
    return image;
}

bool Usable(int width, int height, std::size_t stride, std::string& why) {
    if (width > 0 && height > 0 && stride >= std::size_t(width) * 3 && stride <= 0x7fffffff) return true;
    why = "no picture to write";
    return false;
}

}  // namespace

bool WritePngStream(std::FILE* file, int width, int height, const uint8_t* rgb, std::size_t stride,
                    std::string& why) {
    if (!Usable(width, height, stride, why)) return false;
    png_image image = Described(width, height);
    const int ok = png_image_write_to_stdio(&image, file, 0, rgb, static_cast<png_int_32>(stride), nullptr);
    if (!ok && std::ferror(file) == 0) why = image.message;
    png_image_free(&image);
    return ok != 0;
}

bool EncodePng(int width, int height, const uint8_t* rgb, std::size_t stride, std::vector<uint8_t>& png,
               std::string& why) {
    if (!Usable(width, height, stride, why)) return false;
    png_image image = Described(width, height);
    // Room for the largest possible result, so one pass is enough.
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(image);
    try {
        png.resize(size);
    } catch (const std::bad_alloc&) {
        why = "out of memory";
        return false;
    }
    const int ok =
        png_image_write_to_memory(&image, png.data(), &size, 0, rgb, static_cast<png_int_32>(stride), nullptr);
    if (!ok) why = image.message;
    png_image_free(&image);
    png.resize(ok ? size : 0);
    return ok != 0;
}

}  // namespace vexo
