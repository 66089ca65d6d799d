#include "app/png_encoding.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <new>

namespace vexo {

namespace {

// Bytes of one pixel: 3 for red, green, blue; 1 for gray.
bool Usable(int width, int height, std::size_t stride, int bytes, std::string& why) {
    if (width > 0 && height > 0 && stride >= std::size_t(width) * std::size_t(bytes)) return true;
    why = "no picture to write";
    return false;
}

// Where libpng's errors go: the message is kept, then libpng jumps back.
void OnError(png_structp png, png_const_charp message) {
    auto* why = static_cast<std::string*>(png_get_error_ptr(png));
    try {
        *why = message;
    } catch (...) {
    }
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void AppendToVector(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    try {
        out->insert(out->end(), data, data + size);
    } catch (const std::bad_alloc&) {
        png_error(png, "out of memory");
    }
}

void NoFlush(png_structp) {}

// Writes the picture through `png`, whose output is already set. One set of
// settings for every PNG written: 8-bit RGB (or gray), no row filters, the
// fastest compression. Speed before size: the display of a large picture otherwise
// takes longer to compress than the grid search takes to run. Nothing here
// has a destructor, so libpng's jump out of it leaves nothing behind.
bool WriteRows(png_structp png, png_infop info, int width, int height, const uint8_t* rgb, std::size_t stride,
               int bytes) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, bytes == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, Z_BEST_SPEED);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) png_write_row(png, rgb + std::size_t(y) * stride);
    png_write_end(png, info);
    return true;
}

// A writer whose errors land in `why`, its output set by `attach`.
template <typename Attach>
bool Write(int width, int height, const uint8_t* rgb, std::size_t stride, int bytes, std::string& why,
           Attach&& attach) {
    if (!Usable(width, height, stride, bytes, why)) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &why, OnError, OnWarning);
    if (png == nullptr) {
        why = "out of memory";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    bool ok = false;
    if (info == nullptr)
        why = "out of memory";
    else {
        attach(png);
        ok = WriteRows(png, info, width, height, rgb, stride, bytes);
    }
    png_destroy_write_struct(&png, &info);
    return ok;
}

}  // namespace

bool WritePngStream(std::FILE* file, int width, int height, const uint8_t* rgb, std::size_t stride,
                    std::string& why) {
    const bool ok = Write(width, height, rgb, stride, 3, why, [file](png_structp png) { png_init_io(png, file); });
    // A failed write of the file itself is told by the file's error state.
    if (!ok && std::ferror(file) != 0) why.clear();
    return ok;
}

bool WriteGrayPngStream(std::FILE* file, int width, int height, const uint8_t* gray, std::size_t stride,
                        std::string& why) {
    const bool ok = Write(width, height, gray, stride, 1, why, [file](png_structp png) { png_init_io(png, file); });
    if (!ok && std::ferror(file) != 0) why.clear();
    return ok;
}

bool EncodePng(int width, int height, const uint8_t* rgb, std::size_t stride, std::vector<uint8_t>& png,
               std::string& why) {
    png.clear();
    const bool ok = Write(width, height, rgb, stride, 3, why, [&png](png_structp writer) {
        png_set_write_fn(writer, &png, AppendToVector, NoFlush);
    });
    if (!ok) png.clear();
    return ok;
}

bool EncodeGrayPng(int width, int height, const uint8_t* gray, std::size_t stride, std::vector<uint8_t>& png,
                   std::string& why) {
    png.clear();
    const bool ok = Write(width, height, gray, stride, 1, why, [&png](png_structp writer) {
        png_set_write_fn(writer, &png, AppendToVector, NoFlush);
    });
    if (!ok) png.clear();
    return ok;
}

}  // namespace vexo
