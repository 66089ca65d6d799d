// JPEG decoding into a gray picture.
//
// Every JPEG is decoded to gray (colour files as their luminance) at 1/1, or
// at libjpeg's scale M/8 when it is larger than the working size, with block
// smoothing and libjpeg's default DCT, then reduced by the one-pass quantiser
// to 236 levels with Floyd-Steinberg dithering: each pixel holds the gray
// level (255 * j + 117) / 235 of the index j libjpeg chose. The decoder never
// calls exit(): libjpeg errors become VexoError "JPEG error #N" with libjpeg's
// message code; warnings (truncated or corrupt data that libjpeg gets past)
// do not fail the decode. A progressive file of more than 500 scans is
// refused, and libjpeg may use at most 512 MB of working memory (a larger need
// fails with its error), so a file made to exhaust the machine is refused
// instead.
//
// Rows are turned into gray levels on a second thread while libjpeg decodes
// the next ones; the caller's thread is the one that decodes.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/plane.h"
#include "core/rgb.h"

namespace vexo {

// A picture as a palette and one palette index per pixel (tests and fuzzing
// make pictures this way).
struct DecodedBitmap {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> indices;       // width * height, top row first
    std::array<Rgb, 256> palette{};     // entries beyond the colormap are black
    int paletteSize = 0;
};

// Pictures with a side above this many pixels are decoded at a smaller scale
// unless they are asked for at full size.
inline constexpr int kWorkingSide = 1200;

// The picture file's own size, as its header declares it, and the scale M of
// M/8 it was decoded at (8 at full size).
struct SourceSize {
    int32_t width = 0;
    int32_t height = 0;
    int scale = 8;
};

// The content of a file.
struct FileBytes {
    Block data;  // null when size is 0
    std::size_t size = 0;
};

// A JPEG's luminance, 8 bits a pixel with no quantising, at the scale the
// loader would choose, and the file's own size.
struct LuminancePicture {
    GrayPlane plane;
    SourceSize source;
};

// Decodes a JPEG's luminance (colour files through libjpeg's gray output) at
// 1/1 with `fullSize` or when both sides are at most kWorkingSide, else at the
// largest M/8 that fits, with the loader's limits. Throws VexoError, or
// Terminate when the picture's memory cannot be had.
LuminancePicture DecodeLuminance(const uint8_t* data, std::size_t size, bool fullSize);

// The JPEG decoder of one file: keeps the file's bytes and decodes on demand,
// once; later requests return the same picture. The bytes stay, so that the
// luminance can be decoded again later.
class JpegDecoder {
public:
    // fullSize: decode at 1/1 whatever the size; otherwise a picture with a
    // side above kWorkingSide is decoded at the largest M/8 that fits it.
    JpegDecoder(FileBytes fileBytes, bool fullSize);
    explicit JpegDecoder(const std::vector<uint8_t>& fileBytes, bool fullSize = true);
    // decodedBitmap points into the object itself.
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;
    // A decoder that already holds a decoded picture: each pixel the red
    // component of the palette entry its index selects (tests, fuzzing).
    static std::unique_ptr<JpegDecoder> FromBitmap(const DecodedBitmap& bitmap);

    // Reads the header only: the declared size, the scale and the output
    // dimensions at that scale. Throws VexoError.
    void ReadHeader();
    int Width() const { return width_; }
    int Height() const { return height_; }
    const SourceSize& Source() const { return source_; }

    // Decodes if not yet done and sets decodedBitmap. With `copy`, the copy
    // becomes a second plane of the picture, filled as the rows are decoded.
    // Throws VexoError, or Terminate when the picture's memory cannot be had.
    void DecodeBitmap(GrayPlane* copy = nullptr);
    // The decoded picture: one gray level per pixel.
    const GrayPlane* decodedBitmap = nullptr;

    // The file's luminance at the scale of the decoded picture (a decoder
    // made from a bitmap: a copy of its picture).
    GrayPlane DecodeLuminance() const;
    // The file's luminance at 1/1, whatever the scale of the decoded picture
    // (cells cut from the file's own pixels).
    GrayPlane DecodeFullLuminance() const;

    // libjpeg warnings of the last decode (data it got past): how many, and
    // the message code of the first one (-1 when there was none).
    int WarningCount() const { return warningCount_; }
    int FirstWarningCode() const { return firstWarningCode_; }

private:
    void TakeSizes(int64_t sourceWidth, int64_t sourceHeight, int scale, int64_t width, int64_t height);

    FileBytes bytes_;
    bool fullSize_ = false;
    SourceSize source_;
    GrayPlane picture_;
    bool decoded_ = false;
    int width_ = 0;
    int height_ = 0;
    int warningCount_ = 0;
    int firstWarningCode_ = -1;
};

}  // namespace vexo
