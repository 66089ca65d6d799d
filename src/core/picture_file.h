// Picture files: reading a file safely and decoding it into a picture of at
// most kMaxPictureSide pixels a side.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/jpeg_decoder.h"

namespace vexo {

// The whole content of a regular file; VexoError "Cannot open file PATH" for
// anything else (a folder, a pipe, a device, an unreadable or oversized file).
FileBytes ReadPictureFile(const std::string& path);

// Reads the file, refuses a picture too large by its header (CheckPictureSize
// of the declared size) before decoding anything, then decodes it, at the
// working size unless fullSize; `copy`, when given, receives a second plane of
// the picture (see JpegDecoder::DecodeBitmap). Throws VexoError or Terminate.
std::unique_ptr<JpegDecoder> DecodePictureFile(const std::string& path, bool fullSize, GrayPlane* copy = nullptr);

}  // namespace vexo
