#include "cli/image_files.h"

#include "app/png_encoding.h"
#include "cli/safe_output.h"

namespace vexo::cli {

namespace {

// The header, then the bytes, as the whole file.
WriteResult WriteWhole(const std::string& path, const std::string& header, const uint8_t* data,
                       std::size_t size) {
    return WriteFileSafely(path, [&](std::FILE* file, std::string&) {
        bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size();
        if (ok && size > 0) ok = std::fwrite(data, 1, size, file) == size;
        return ok;
    });
}

}  // namespace

WriteResult WritePgm(const std::string& path, const Plane& plane) {
    if (!plane) return WriteFailure{"cannot write", path, "no plane"};
    const std::string header = "P5\n" + std::to_string(plane.width) + " " + std::to_string(plane.height) + "\n255\n";
    return WriteWhole(path, header, plane.begin(), plane.size());
}

WriteResult WritePpm(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
    const std::size_t size = std::size_t(width) * std::size_t(height) * 3;
    if (width <= 0 || height <= 0 || rgb.size() < size) return WriteFailure{"cannot write", path, "no displayed picture"};
    const std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    return WriteWhole(path, header, rgb.data(), size);
}

WriteResult WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
    const std::size_t size = std::size_t(width) * std::size_t(height) * 3;
    if (width <= 0 || height <= 0 || rgb.size() < size) return WriteFailure{"cannot write", path, "no displayed picture"};
    return WriteFileSafely(path, [&](std::FILE* file, std::string& why) {
        return WritePngStream(file, width, height, rgb.data(), std::size_t(width) * 3, why);
    });
}

WriteResult WriteGrayPng(const std::string& path, const Plane& plane) {
    if (!plane) return WriteFailure{"cannot write", path, "no picture"};
    return WriteFileSafely(path, [&](std::FILE* file, std::string& why) {
        return WriteGrayPngStream(file, plane.width, plane.height, plane.begin(), std::size_t(plane.width), why);
    });
}

WriteResult WriteText(const std::string& path, const std::string& text) {
    return WriteWhole(path, std::string(), reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

}  // namespace vexo::cli
