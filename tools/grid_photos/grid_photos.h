// Photo-like pictures of grids with exact truth, for measuring Find Grid.
//
// A picture is made the way a camera makes one: a flat world (a sheet of
// paper, a board, a wall of tiles, with whatever lies around it on the desk)
// is seen through a pinhole camera from any side and turned by any angle,
// with mild lens distortion and a slightly bent page in some pictures, then
// lit unevenly, partly covered (a coin, a pen, a hand, chess pieces),
// blurred, made noisy and stored as JPEG. The grid's lines and squares are
// computed exactly at every pixel (the area of the pixel they cover), so the
// truth - every crossing in the file's own pixels - is the camera's image of
// the world crossings; the rest of the world is painted at a resolution
// finer than the picture's and sampled with its level of detail.
//
// Pixel convention: pixel centres are at integer coordinates (pixel (0, 0)
// covers -0.5..0.5 in both directions).
//
// Names: the grid is turned by the multiple of 90 degrees that brings it
// nearest to upright on the picture, judged at the grid's centre; crossing
// [0][0] is then the top-left one, rows run downwards, columns to the right.
//
// Everything is drawn from the request's seed: the same request gives the
// same bytes.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexo::gridphotos {

// What a picture shows. The first six hold a grid, the others none.
enum class Scene {
    Calibration,  // a printed calibration chessboard with a white margin
    GameBoard,    // an 8 x 8 (or 10 x 10) game board in a frame, pieces on it
    Sudoku,       // 9 x 9, thick lines every 3 cells, digits, often in a newspaper
    GraphPaper,   // fine, often faint lines, a thicker one every 5 or 10
    Table,        // a regular table, cells often wider than tall, text in them
    Tiles,        // tiles with thick grout lines
    TextPage,     // a page of text in columns
    Street,       // buildings with windows, a road, poles
    Rectangles,   // rectangles of random sizes, overlapping
    Bricks,       // a brick wall: staggered joints
    LinedPaper,   // one family of lines and a margin line
    Frame,        // a single frame on a page
    RandomLines,  // straight lines at random
    Texture,      // wood grain, noise, soft blobs
    Circuit,      // traces, pads and chips of a circuit board
};
inline constexpr int kSceneCount = 15;

// "calibration", "gameboard", "sudoku", "graph", "table", "tiles", "text",
// "street", "rectangles", "bricks", "lined", "frame", "lines", "texture",
// "circuit".
const char* SceneName(Scene scene);
std::optional<Scene> SceneFromName(std::string_view name);
bool HasGrid(Scene scene);
bool IsChessboard(Scene scene);

// What a picture should show. Whatever is left unset is drawn from the seed.
struct PhotoRequest {
    Scene scene = Scene::Sudoku;
    uint32_t seed = 1;
    std::optional<int> width, height;       // the file's size in pixels
    std::optional<int> columns, rows;       // cells of the grid as printed
    std::optional<double> tiltDegrees;      // line of sight to the grid's centre against the page's normal
    std::optional<double> rotationDegrees;  // the grid's turn on the picture, 0..360
    std::optional<bool> inverted;           // light lines on dark (a chessboard: on a dark ground)
    std::optional<bool> colour;             // a colour JPEG
    std::optional<bool> occluded;           // something covers a few cells
    std::optional<bool> touchesBorder;      // an outer line a few pixels from the picture's edge
    std::optional<bool> distorted;          // lens distortion
    std::optional<bool> bent;               // the page bends
    std::optional<double> blur;             // Gaussian sigma in working pixels
    std::optional<double> noise;            // standard deviation in gray levels
    std::optional<int> quality;             // JPEG quality
};

struct Point {
    double x = 0;
    double y = 0;
};

// How a picture came out (every value as drawn, set or not in the request).
struct Conditions {
    double tiltDegrees = 0;      // at the grid's centre (the picture's centre without a grid)
    double rotationDegrees = 0;  // of the printed grid's x axis on the picture, at its centre, 0..360
    bool inverted = false;
    bool colour = false;
    bool occluded = false;       // at least one crossing covered
    bool touchesBorder = false;
    bool distorted = false;
    bool bent = false;
    double blur = 0;             // working pixels
    double noise = 0;
    int quality = 0;
    bool sharpened = false;      // the phone's unsharp mask
    int workingScale = 8;        // M of M/8 for the working size
    double coverage = 0;         // the grid's area over the picture's
    double bendResidual = 0;     // largest distance of a crossing from the truth homography, pixels
};

struct Truth {
    Scene scene = Scene::Sudoku;
    uint32_t seed = 0;
    int width = 0;
    int height = 0;
    bool hasGrid = false;
    bool chessboard = false;
    int columns = 0;  // C, as named
    int rows = 0;     // R, as named
    // (R + 1) rows of (C + 1) crossings, crossings[j * (C + 1) + i], in the
    // file's own pixels.
    std::vector<Point> crossings;
    // Grid coordinates (i, j) to file pixels, row-major, last element 1: the
    // camera's own when the world is flat and the lens straight, otherwise the
    // least-squares fit to the crossings.
    std::array<double, 9> homography{};
    std::vector<uint8_t> covered;  // per crossing, 1 when something lies on it
    double cellSize = 0;           // median side of a cell, pixels
    double minCellSide = 0;        // shortest side of a cell, pixels
    Conditions conditions;

    const Point& at(int i, int j) const { return crossings[std::size_t(j) * std::size_t(columns + 1) + std::size_t(i)]; }
    bool coveredAt(int i, int j) const { return covered[std::size_t(j) * std::size_t(columns + 1) + std::size_t(i)] != 0; }
    // The shortest distance from crossing (i, j) to a neighbouring crossing.
    double LocalCellSide(int i, int j) const;
};

struct Photo {
    std::vector<uint8_t> jpeg;
    // The luminance as rendered, before compression, width x height bytes.
    std::vector<uint8_t> gray;
    Truth truth;
};

// Makes the picture. Throws std::invalid_argument for a request that cannot
// be met (a size outside 16..16384, a grid of fewer than 2 or more than 40
// cells a side, a grid asked of a scene without one).
Photo MakePhoto(const PhotoRequest& request);

// How a lattice found on the picture compares with its truth.
struct Verdict {
    bool rightSize = false;   // C x R as the truth names them
    bool rightNames = false;  // and every crossing within a quarter of its local cell side of the truth
    double worstError = 0;    // pixels, when the size is right
    std::vector<double> errors;  // per crossing, row by row, when the size is right
};
// `crossings`: (rows + 1) rows of (columns + 1) crossings in the file's pixels.
Verdict Judge(const Truth& truth, int columns, int rows, const std::vector<Point>& crossings);

// The truth as JSON, with the picture's file name.
std::string TruthJson(const Truth& truth, const std::string& fileName);

// "0042-sudoku": the index in its set and the scene.
std::string PhotoName(int index, Scene scene);

// The benchmark's pictures: `gridCount` with a grid and `noGridCount`
// without, drawn from `seed`; mostly phone sizes, a few at 12 megapixels.
std::vector<PhotoRequest> BenchmarkSet(int gridCount, int noGridCount, uint32_t seed);

// A small fixed set (about 25 pictures at small sizes, one at 12 megapixels)
// that touches every scene and every condition.
std::vector<PhotoRequest> QuickSet();

// The naming rule on its own: the crossings of a grid of `worldColumns` x
// `worldRows` cells whose crossing (a, b) lands at project(a, b) on the
// picture (a, b may be fractional), named as the header says.
struct NamedCrossings {
    int columns = 0;
    int rows = 0;
    int quarterTurns = 0;  // 0..3: how far the named axes are turned from the drawn ones
    // Named (i, j) to drawn (a, b): a = ai * i + aj * j + a0, b likewise.
    std::array<int, 6> toDrawn{};
    std::vector<Point> crossings;  // as in Truth
    // How far the chosen turn is from the next best, degrees (small: the
    // picture could be read either way).
    double margin = 0;
};
NamedCrossings NameCrossings(int worldColumns, int worldRows, const std::function<Point(double, double)>& project);

}  // namespace vexo::gridphotos
