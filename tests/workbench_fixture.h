// A workbench on an in-memory screen with a picture installed straight from
// gray values (no JPEG involved).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/workbench.h"
#include "core/jpeg_decoder.h"
#include "core/memory_screen.h"
#include "lines/line_list.h"

namespace vexo::testing {

inline std::unique_ptr<JpegDecoder> GrayPicture(int width, int height, const std::function<uint8_t(int, int)>& gray) {
    DecodedBitmap bitmap;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.indices.resize(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) bitmap.indices[std::size_t(y) * width + x] = gray(x, y);
    for (int j = 0; j < 256; ++j) bitmap.palette[j] = Rgb{uint8_t(j), uint8_t(j), uint8_t(j)};
    bitmap.paletteSize = 256;
    return JpegDecoder::FromBitmap(std::move(bitmap));
}

struct Bench {
    MemoryScreen screen;
    Workbench wb{screen};

    // Installs the picture as a successful file click would.
    void Load(int width, int height, const std::function<uint8_t(int, int)>& gray,
              const std::string& path = "/pics/test.jpg") {
        wb.LoadDecoded(GrayPicture(width, height, gray), path);
    }
    GrayPlane& active() { return wb.image().active(); }
    MarkPlane& marks() { return wb.image().marks; }
    std::vector<std::string> errors() const {
        std::vector<std::string> out;
        for (const auto& m : screen.messages)
            if (m.kind == RecordedMessage::Error) out.push_back(m.text);
        return out;
    }
    void Run(int operation, const std::string& parameter) {
        wb.ChooseOperation(operation);
        wb.SetParameterText(parameter);
        wb.GoClick();
    }
};

}  // namespace vexo::testing
