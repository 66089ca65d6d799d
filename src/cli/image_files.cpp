#include "cli/image_files.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace vexo::cli {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

std::string SystemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

// Writes the header and the bytes, then closes; any failure on the way is reported.
std::string WriteWhole(const std::string& path, const std::string& header, const uint8_t* data,
                       std::size_t size) {
    std::FILE* raw = std::fopen(path.c_str(), "wb");
    if (!raw) return SystemError("cannot create", path);
    std::unique_ptr<std::FILE, FileCloser> file(raw);
    bool ok = std::fwrite(header.data(), 1, header.size(), raw) == header.size();
    if (ok && size > 0) ok = std::fwrite(data, 1, size, raw) == size;
    if (ok) ok = std::fflush(raw) == 0;
    if (!ok) return SystemError("cannot write", path);
    if (std::fclose(file.release()) != 0) return SystemError("cannot write", path);
    return {};
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
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    const int ok = png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), width * 3, nullptr);
    std::string error = ok ? std::string() : "cannot write " + path + ": " + image.message;
    png_image_free(&image);
    return error;
}

std::string WriteText(const std::string& path, const std::string& text) {
    return WriteWhole(path, std::string(), reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

}  // namespace vexo::cli
