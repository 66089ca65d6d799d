#include "core/operations.h"

#include <cstdint>

namespace vexo {

namespace {
constexpr const char* kWrongThreshold = "Wrong treshold!";
constexpr const char* kWrongSegment = "Wrong segment size!";
}  // namespace

const std::array<OperationInfo, kOperationCount> OperationTable = {{
    {"Horizontal Sobel convolution (0)", " [horizontal Sobel filter]", "20", kWrongThreshold, 20},
    {"Vertical Sobel convolution (1)", " [vertical Sobel filter]", "20", kWrongThreshold, 20},
    {"Edge Sobel searcher (2)", " [corner Sobel searcher]", "100", kWrongThreshold, 100},
    {"Segmentation (3)", " [Segmentation]", "30", kWrongSegment, 10},
    {"Hough horizontal transformation (4)", " [Hough horizontal transformation]", "150", kWrongThreshold, 100},
    {"Hough vertical transformation (5)", " [Hough vertical transformation]", "150", kWrongThreshold, 100},
    {"Hough cross detection (6)", " [Hough cross detection]", "150", kWrongThreshold, 100},
    {"Erase high intensity (7)", " [Erasing high intensities]", "130", kWrongThreshold, 100},
    {"Horizontal Recursion (8)", nullptr, nullptr, kWrongThreshold, 100},
    {"Vertical Recursion (9)", nullptr, nullptr, kWrongThreshold, 100},
    {"Horizontalni Spary - primky (10)", nullptr, "35", kWrongThreshold, 100},
    {"Vertikalni Spary - primky (11)", nullptr, nullptr, kWrongThreshold, 100},
    {"Histogram (12)", nullptr, nullptr, kWrongThreshold, 100},
    {"MEGA REKURSE (13)", nullptr, nullptr, nullptr, 0},
    {"Horiz Hough NEW (14)", nullptr, nullptr, nullptr, 0},
    {"Vert Hough NEW (15)", nullptr, nullptr, nullptr, 0},
    {"Hough NEW with lines (16)", nullptr, nullptr, nullptr, 0},
    {"Hough NEW only numbers (17)", nullptr, nullptr, nullptr, 0},
}};

std::optional<int32_t> ParseParameter(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return std::nullopt;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return std::nullopt;
        }
        value = value * base + digit;
        if (value > 2147483648LL) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > 2147483647LL) return std::nullopt;
    return static_cast<int32_t>(value);
}

}  // namespace vexo
