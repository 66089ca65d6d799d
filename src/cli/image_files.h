// The picture files vexo-cli writes: binary PGM for planes, binary PPM and
// PNG for the displayed picture. Each returns nothing on success, else why
// the file could not be written. Every file is written so that a failed or
// interrupted write loses nothing (see safe_output.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/safe_output.h"
#include "core/plane.h"

namespace vexo::cli {

// P5, plane.width x plane.height, maxval 255.
WriteResult WritePgm(const std::string& path, const Plane& plane);
// P6 from width * height * 3 bytes of red, green, blue.
WriteResult WritePpm(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb);
WriteResult WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb);
// A gray picture as PNG.
WriteResult WriteGrayPng(const std::string& path, const Plane& plane);
// Writes the text as the whole file.
WriteResult WriteText(const std::string& path, const std::string& text);

}  // namespace vexo::cli
