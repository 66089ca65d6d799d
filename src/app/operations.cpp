#include "app/operations.h"

#include <cstdint>

#include "app/pipelines.h"

namespace vexo {

namespace {

constexpr ParameterRule kThreshold(int32_t fallback) { return {true, "Wrong treshold!", fallback}; }
constexpr ParameterRule kSegmentSize{true, "Wrong segment size!", 10};
constexpr ParameterRule kNotRead{};

using enum Operation;

constexpr std::array<OperationInfo, kOperationCount> kOperations = {{
    {HorizontalSobel, "Horizontal Sobel convolution (0)", " [horizontal Sobel filter]", "20", kThreshold(20), false,
     RunHorizontalSobel},
    {VerticalSobel, "Vertical Sobel convolution (1)", " [vertical Sobel filter]", "20", kThreshold(20), false,
     RunVerticalSobel},
    {EdgeSearch, "Edge Sobel searcher (2)", " [corner Sobel searcher]", "100", kThreshold(100), false, RunEdgeSearch},
    {Segmentation, "Segmentation (3)", " [Segmentation]", "30", kSegmentSize, true, RunSegmentation},
    {HoughHorizontalLines, "Hough horizontal transformation (4)", " [Hough horizontal transformation]", "150",
     kThreshold(100), false, RunHoughHorizontalLines},
    {HoughVerticalLines, "Hough vertical transformation (5)", " [Hough vertical transformation]", "150",
     kThreshold(100), false, RunHoughVerticalLines},
    {HoughCrossings, "Hough cross detection (6)", " [Hough cross detection]", "150", kThreshold(100), false,
     RunHoughCrossings},
    {EraseHighIntensity, "Erase high intensity (7)", " [Erasing high intensities]", "130", kThreshold(100), false,
     RunEraseHighIntensity},
    {HorizontalChainFilter, "Horizontal Recursion (8)", nullptr, nullptr, kThreshold(100), false,
     RunHorizontalChainFilter},
    {VerticalChainFilter, "Vertical Recursion (9)", nullptr, nullptr, kThreshold(100), false, RunVerticalChainFilter},
    {HorizontalGapLines, "Horizontalni Spary - primky (10)", nullptr, "35", kThreshold(100), false,
     RunHorizontalGapLines},
    {VerticalGapLines, "Vertikalni Spary - primky (11)", nullptr, nullptr, kThreshold(100), false, RunVerticalGapLines},
    {HistogramBand, "Histogram (12)", nullptr, nullptr, kThreshold(100), false, RunHistogramBand},
    {ChainGridSearch, "MEGA REKURSE (13)", nullptr, nullptr, kNotRead, false, RunChainGridSearch},
    {HorizontalGridSearch, "Horiz Hough NEW (14)", nullptr, nullptr, kNotRead, false, RunHorizontalGridSearch},
    {VerticalGridSearch, "Vert Hough NEW (15)", nullptr, nullptr, kNotRead, false, RunVerticalGridSearch},
    {GridSearch, "Hough NEW with lines (16)", nullptr, nullptr, kNotRead, false, RunGridSearch},
    {GridSearchLabelsOnly, "Hough NEW only numbers (17)", nullptr, nullptr, kNotRead, false, RunGridSearchLabelsOnly},
}};

constexpr bool InOrderAndConsistent(const std::array<OperationInfo, kOperationCount>& table) {
    for (int i = 0; i < kOperationCount; ++i) {
        const OperationInfo& entry = table[std::size_t(i)];
        if (entry.operation != Operation(i)) return false;
        if (entry.parameter.read != (entry.parameter.invalidMessage != nullptr)) return false;
    }
    return true;
}
static_assert(InOrderAndConsistent(kOperations), "entry i of the operation table is operation i");

}  // namespace

const std::array<OperationInfo, kOperationCount> OperationTable = kOperations;

const OperationInfo* FindOperation(int index) {
    if (index < 0 || index >= kOperationCount) return nullptr;
    return &OperationTable[std::size_t(index)];
}

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
