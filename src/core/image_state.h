// The one picture of the program: two gray planes, the mark plane, the JPEG
// decoder that keeps the decoded picture, and the title.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/jpeg_decoder.h"
#include "core/plane.h"

namespace vexo {

struct ImageState {
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;  // width rounded up to a multiple of 4: the displayed width
    GrayPlane planes[2];
    uint8_t activePlane = 0;
    MarkPlane marks;
    std::unique_ptr<JpegDecoder> decoder;
    std::string title;
    SourceSize source;  // the file's own size and the scale it was decoded at

    GrayPlane& active() { return planes[activePlane]; }
    GrayPlane& other() { return planes[1 - activePlane]; }
    void Toggle() { activePlane = static_cast<uint8_t>(1 - activePlane); }
    bool loaded() const { return static_cast<bool>(planes[0]); }
    // The greater of width and height.
    int32_t lineSide() const { return width > height ? width : height; }
};

int32_t StrideFor(int32_t width);

// Frees planes 0, 1 and the mark plane.
void FreePlanes(ImageState& image);

// Fills the plane from the decoded picture (the part both have).
void PlaneFromBitmap(const GrayPlane& decoded, GrayPlane& target);

// A coordinate of the decoded picture in the file's own pixels for a picture
// decoded at M/8: (c + 0.5) * 8 / M - 0.5 to nearest, halves to even.
int64_t SourceCoordinate(int32_t c, int scale);

// "4000 x 3000 shown at 2/8 (1000 x 750)" for a scaled picture, "640 x 480"
// for one shown at full size.
std::string WorkingSizeText(const ImageState& image);

// The file name part of a path: the text after its last "/".
std::string FileNameOf(const std::string& path);

}  // namespace vexo
