// A colour of the displayed picture or of a palette entry.
#pragma once

#include <cstdint>

namespace vexo {

struct Rgb {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

}  // namespace vexo
