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
     RunHorizontalSobel,
     {"Horizontal Sobel", "Finds horizontal edges: every pixel becomes the strength of the change from dark above to bright below it; weaker responses become black.",
      "Threshold: edge strengths below it turn black. Only its last 8 bits count (0 to 255); 20 to 100 keeps clear edges.", OperationResult::Picture}},
    {VerticalSobel, "Vertical Sobel convolution (1)", " [vertical Sobel filter]", "20", kThreshold(20), false,
     RunVerticalSobel,
     {"Vertical Sobel", "Finds vertical edges: every pixel becomes the strength of the change from bright on the left to dark on the right; weaker responses become black.",
      "Threshold: edge strengths below it turn black. Only its last 8 bits count (0 to 255); 20 to 100 keeps clear edges.", OperationResult::Picture}},
    {EdgeSearch, "Edge Sobel searcher (2)", " [corner Sobel searcher]", "100", kThreshold(100), false, RunEdgeSearch,
     {"Edge search", "Marks in colour the pixels where a horizontal and a vertical edge meet (both Sobel responses reach the threshold); the picture itself stays.",
      "Threshold both edge strengths must reach: 0 or more; 50 to 200 is useful.", OperationResult::Picture}},
    {Segmentation, "Segmentation (3)", " [Segmentation]", "30", kSegmentSize, true, RunSegmentation,
     {"Segmentation", "Reduces the gray levels to bands of equal width and lifts every band by the offset set on the track bar beside the parameter box.",
      "Band width in gray levels. Only its last 8 bits count (1 to 255); 10 to 60 is useful. 0 is refused and 10 used.", OperationResult::Picture}},
    {HoughHorizontalLines, "Hough horizontal transformation (4)", " [Hough horizontal transformation]", "150",
     kThreshold(100), false, RunHoughHorizontalLines,
     {"Hough horizontal", "Finds straight lines that cross the whole picture from the left edge to the right edge in an edge picture (run 0 first) and draws them in green.",
      "Votes a line needs: the number of edge pixels on it. 0 or more; a quarter to a half of the picture width is useful.", OperationResult::HorizontalLines}},
    {HoughVerticalLines, "Hough vertical transformation (5)", " [Hough vertical transformation]", "150",
     kThreshold(100), false, RunHoughVerticalLines,
     {"Hough vertical", "Finds straight lines that cross the whole picture from the top edge to the bottom edge in an edge picture (run 1 first) and draws them in green.",
      "Votes a line needs: the number of edge pixels on it. 0 or more; a quarter to a half of the picture height is useful.", OperationResult::VerticalLines}},
    {HoughCrossings, "Hough cross detection (6)", " [Hough cross detection]", "150", kThreshold(100), false,
     RunHoughCrossings,
     {"Hough crossings", "Finds horizontal and vertical edges, the straight lines through them, marks where the lines cross inside the picture and counts the crossings that fall outside it (the count shows beside the operation list).",
      "Votes a line needs: the number of edge pixels on it. 0 or more; a quarter of the picture side is a good start.", OperationResult::Crossings}},
    {EraseHighIntensity, "Erase high intensity (7)", " [Erasing high intensities]", "130", kThreshold(100), false,
     RunEraseHighIntensity,
     {"Erase high intensity", "Keeps the pixels darker than the limit and turns every pixel at or above it black.",
      "Limit gray level: 0 to 255 is useful (256 or more keeps everything).", OperationResult::Picture}},
    {HorizontalChainFilter, "Horizontal Recursion (8)", nullptr, nullptr, kThreshold(100), false,
     RunHorizontalChainFilter,
     {"Horizontal chains", "In an edge picture, keeps only the chains of edge pixels that run left to right for at least the given length, one pixel wide, and erases the rest.",
      "Shortest chain kept, in pixels: 0 or more; 50 to 200 is useful.", OperationResult::Picture}},
    {VerticalChainFilter, "Vertical Recursion (9)", nullptr, nullptr, kThreshold(100), false, RunVerticalChainFilter,
     {"Vertical chains", "In an edge picture, keeps only the chains of edge pixels that run top to bottom for at least the given length, one pixel wide, and erases the rest.",
      "Shortest chain kept, in pixels: 0 or more; 50 to 200 is useful.", OperationResult::Picture}},
    {HorizontalGapLines, "Horizontalni Spary - primky (10)", nullptr, "35", kThreshold(100), false,
     RunHorizontalGapLines,
     {"Horizontal gap lines", "Keeps the long left-to-right chains (as operation 8), follows them across the gaps between them and fits straight lines to the runs.",
      "Shortest chain kept and traced, in pixels: 0 or more; 30 to 150 is useful.", OperationResult::HorizontalLines}},
    {VerticalGapLines, "Vertikalni Spary - primky (11)", nullptr, nullptr, kThreshold(100), false, RunVerticalGapLines,
     {"Vertical gap lines", "Keeps the long top-to-bottom chains (as operation 9), follows them across the gaps between them and fits straight lines to the runs.",
      "Shortest chain kept and traced, in pixels: 0 or more; 30 to 150 is useful.", OperationResult::VerticalLines}},
    {HistogramBand, "Histogram (12)", nullptr, nullptr, kThreshold(100), false, RunHistogramBand,
     {"Histogram", "Finds the most frequent gray level between 100 and 200, shows it, and reduces the picture to two levels: dark features in black on a flat background of that level.",
      "Band below the most frequent level that still counts as background: 0 to 255; 10 to 50 is useful.", OperationResult::Picture}},
    {ChainGridSearch, "MEGA REKURSE (13)", nullptr, nullptr, kNotRead, false, RunChainGridSearch,
     {"Chain grid search", "Finds the grid with edges, chain filters and gap lines in both directions (chains of at least 80 pixels) and labels its cells.",
      nullptr, OperationResult::Grid}},
    {HorizontalGridSearch, "Horiz Hough NEW (14)", nullptr, nullptr, kNotRead, false, RunHorizontalGridSearch,
     {"Horizontal grid", "The horizontal half of the grid search: horizontal edges, the Hough lines through them, then the lines made evenly spaced (the spacings go to the log list).",
      nullptr, OperationResult::HorizontalLines}},
    {VerticalGridSearch, "Vert Hough NEW (15)", nullptr, nullptr, kNotRead, false, RunVerticalGridSearch,
     {"Vertical grid", "The vertical half of the grid search: vertical edges, the Hough lines through them, then the lines made evenly spaced towards a grid of 9 or 13 lines.",
      nullptr, OperationResult::VerticalLines}},
    {GridSearch, "Hough NEW with lines (16)", nullptr, nullptr, kNotRead, false, RunGridSearch,
     {"Grid search", "The whole grid search: both halves (operations 14 and 15), then the loaded picture with the grid lines and every cell labelled A1, B1, and so on.",
      nullptr, OperationResult::Grid}},
    {GridSearchLabelsOnly, "Hough NEW only numbers (17)", nullptr, nullptr, kNotRead, false, RunGridSearchLabelsOnly,
     {"Grid labels", "As operation 16, but only the cell labels are drawn on the loaded picture, without the grid lines.",
      nullptr, OperationResult::Grid}},
}};

constexpr bool InOrderAndConsistent(const std::array<OperationInfo, kOperationCount>& table) {
    for (int i = 0; i < kOperationCount; ++i) {
        const OperationInfo& entry = table[std::size_t(i)];
        if (entry.operation != Operation(i)) return false;
        if (entry.parameter.read != (entry.parameter.invalidMessage != nullptr)) return false;
        if (entry.parameter.read != (entry.help.parameter != nullptr)) return false;
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
