// The PNG form of a displayed picture (8-bit red, green, blue) or of a gray
// one, compressed for speed. vexo-cli and the window both write it through here, so the same
// picture gives the same bytes from either.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vexo {

// `rgb` holds `height` rows of `width` pixels (red, green, blue), `stride`
// bytes apart. Both return false on failure with the library's reason in
// `why`; when writing to the file itself failed, `why` stays empty and the
// file's error state tells.
bool WritePngStream(std::FILE* file, int width, int height, const uint8_t* rgb, std::size_t stride,
                    std::string& why);
bool EncodePng(int width, int height, const uint8_t* rgb, std::size_t stride, std::vector<uint8_t>& png,
               std::string& why);
// The same for a gray picture, one byte a pixel (straightened cells).
bool WriteGrayPngStream(std::FILE* file, int width, int height, const uint8_t* gray, std::size_t stride,
                        std::string& why);
bool EncodeGrayPng(int width, int height, const uint8_t* gray, std::size_t stride, std::vector<uint8_t>& png,
                   std::string& why);

}  // namespace vexo
