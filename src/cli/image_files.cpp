#include "cli/image_files.h"

#include <png.h>

#include <cstring>

#include "cli/safe_output.h"

namespace vexo::cli {

namespace {

// The header, then the bytes, as the whole file.
std::string WriteWhole(const std::string& path, const std::string& header, const uint8_t* data,
                       std::size_t size) {
    return WriteFileSafely(path, [&](std::FILE* file, std::string&) {
        bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size();
        if (ok && size > 0) ok = std::fwrite(data, 1, size, file) == size;
        return ok;
    });
}

}  // namespace

std::string WritePgm(const std::string& path, const Plane& plane) {
    if (!plane) return "no plane for " + path;
    const std::string header = "P5\n" + std::to_string(plane.width) + " " + std::to_string(plane.height) + "\n255\n";
    return WriteWhole(path, header, plane.begin(), plane.size());
}

std::string WritePpm(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
    const std::size_t size = std::size_t(width) * std::size_t(height) * 3;
    if (width <= 0 || height <= 0 || rgb.size() < size) return "no displayed picture for " + path;
    const std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    return WriteWhole(path, header, rgb.data(), size);
}

std::string WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
    const std::size_t size = std::size_t(width) * std::size_t(height) * 3;
    if (width <= 0 || height <= 0 || rgb.size() < size) return "no displayed picture for " + path;
    return WriteFileSafely(path, [&](std::FILE* file, std::string& why) {
        png_image image;
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        image.width = static_cast<png_uint_32>(width);
        image.height = static_cast<png_uint_32>(height);
        image.format = PNG_FORMAT_RGB;
        // Speed before size: the display of a large picture otherwise takes
        // longer to compress than the grid search takes to run.
        image.flags = PNG_IMAGE_FLAG_FAST;
        const int ok = png_image_write_to_stdio(&image, file, 0, rgb.data(), width * 3, nullptr);
        // A failed write of the file itself is told by errno; the library's
        // own text covers the rest.
        if (!ok && std::ferror(file) == 0) why = image.message;
        png_image_free(&image);
        return ok != 0;
    });
}

std::string WriteText(const std::string& path, const std::string& text) {
    return WriteWhole(path, std::string(), reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

}  // namespace vexo::cli
