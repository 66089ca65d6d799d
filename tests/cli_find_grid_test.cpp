// vexo-cli --find-grid end to end: the report's grid and cells, the cell and
// straightened pictures, the summary row and the text summary, on a ruled
// grid drawn here whose crossings are known.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "cli_harness.h"

namespace vexo {
namespace {

using namespace clitest;
using nlohmann::json;

// A ruled grid of 8 x 6 cells turned by 3 degrees about the picture's centre:
// dark lines three pixels wide on a light ground, `scale` times the size of a
// 520 x 380 picture.
struct DrawnGrid {
    int scale = 1;
    int width() const { return 520 * scale; }
    int height() const { return 380 * scale; }
    double angle() const { return 3.0 * M_PI / 180.0; }
    // Crossing of row line j and column line i, in the picture's pixels.
    std::pair<double, double> Crossing(int i, int j) const {
        const double u = (60 + 50 * i) * scale - width() / 2.0, v = (40 + 45 * j) * scale - height() / 2.0;
        return {width() / 2.0 + u * std::cos(angle()) - v * std::sin(angle()),
                height() / 2.0 + u * std::sin(angle()) + v * std::cos(angle())};
    }
    void Write(const fs::path& path) const {
        WriteGrayJpeg(path, width(), height(), [this](int x, int y) {
            // Back to the unturned grid, where the lines are at fixed u and v.
            const double dx = x - width() / 2.0, dy = y - height() / 2.0;
            const double u = (dx * std::cos(angle()) + dy * std::sin(angle()) + width() / 2.0) / scale;
            const double v = (-dx * std::sin(angle()) + dy * std::cos(angle()) + height() / 2.0) / scale;
            auto near = [](double t, double first, double step, int count) {
                const double k = std::round((t - first) / step);
                return k >= 0 && k <= count && std::abs(t - first - k * step) * 1.0 < 1.5;
            };
            const bool onColumn = near(u, 60, 50, 8) && v > 40 - 1.5 && v < 40 + 45 * 6 + 1.5;
            const bool onRow = near(v, 40, 45, 6) && u > 60 - 1.5 && u < 60 + 50 * 8 + 1.5;
            return onColumn || onRow ? 40 : 210;
        });
    }
};

std::pair<int, int> PngSize(const fs::path& path) {
    const std::string bytes = ReadFile(path);
    if (bytes.size() < 26 || bytes.compare(1, 3, "PNG") != 0) return {0, 0};
    auto word = [&bytes](std::size_t at) {
        return int((unsigned char)bytes[at]) << 24 | int((unsigned char)bytes[at + 1]) << 16 |
               int((unsigned char)bytes[at + 2]) << 8 | int((unsigned char)bytes[at + 3]);
    };
    EXPECT_EQ(bytes[25], 0) << path << " is not gray";
    return {word(16), word(20)};
}

class CliFindGridTest : public CliTest {};

// The grid is reported in the file's pixels whatever size the picture was
// worked at; cells name the lattice row by row, their corners in the working
// picture and in the file; every cell and the whole grid come out as pictures.
TEST_F(CliFindGridTest, ReportsTheGridInTheFilesPixelsWithItsCellsAndPictures) {
    for (const int scale : {1, 4}) {
        SCOPED_TRACE(scale);
        const DrawnGrid grid{scale};
        grid.Write(Path("grid.jpg"));
        fs::remove_all(Path("cells"));
        const CliRun run = Run({Path("grid.jpg").string(), "--op", "2", "--find-grid", "--json",
                                Path("r.json").string(), "--cells", Path("cells").string(), "--straightened",
                                Path("whole.png").string()});
        ASSERT_EQ(run.status, 0) << run.err;
        const json report = json::parse(ReadFile(Path("r.json")));
        const double working = scale == 1 ? 1.0 : 0.5;  // 2080 wide is decoded at 4/8
        ASSERT_EQ(report["width"], int(grid.width() * working));

        const json& step = report["steps"].back();
        EXPECT_EQ(step["step"], "find-grid");
        EXPECT_FALSE(step.contains("operation"));
        const json& g = step["grid"];
        ASSERT_EQ(g["found"], true);
        EXPECT_EQ(g["kind"], "ruled");
        ASSERT_EQ(g["columns"], 8);
        ASSERT_EQ(g["rows"], 6);
        ASSERT_EQ(g["crossings"].size(), 7u);
        double worst = 0;
        for (int j = 0; j <= 6; ++j) {
            ASSERT_EQ(g["crossings"][j].size(), 9u);
            for (int i = 0; i <= 8; ++i) {
                const auto [x, y] = grid.Crossing(i, j);
                worst = std::max(worst, std::hypot(g["crossings"][j][i][0].get<double>() - x,
                                                   g["crossings"][j][i][1].get<double>() - y));
            }
        }
        EXPECT_LT(worst, 1.0 * scale) << "crossings off the drawn lines";
        // The homography carries (i, j) to the crossing in the file's pixels.
        const json& h = g["homography"];
        EXPECT_DOUBLE_EQ(h[2][2].get<double>(), 1.0);
        auto map = [&h](double i, double j, int row) {
            return (h[row][0].get<double>() * i + h[row][1].get<double>() * j + h[row][2].get<double>()) /
                   (h[2][0].get<double>() * i + h[2][1].get<double>() * j + h[2][2].get<double>());
        };
        EXPECT_NEAR(map(8, 6, 0), g["crossings"][6][8][0].get<double>(), 1.0 * scale);
        EXPECT_NEAR(map(8, 6, 1), g["crossings"][6][8][1].get<double>(), 1.0 * scale);

        const json& cells = step["cells"];
        ASSERT_EQ(cells.size(), 48u);
        EXPECT_EQ(cells[0]["label"], "A1");
        EXPECT_EQ(cells[1]["label"], "B1");
        EXPECT_EQ(cells[8]["label"], "A2");
        EXPECT_EQ(cells[47]["label"], "H6");
        for (const json& cell : cells) {
            const int i = cell["column"].get<int>() - 1, j = cell["row"].get<int>() - 1;
            const json& crossing = g["crossings"][j][i];
            EXPECT_NEAR(cell["sourceCorners"]["TL"][0].get<double>(), crossing[0].get<double>(), 0.51);
            EXPECT_NEAR(cell["sourceCorners"]["TL"][1].get<double>(), crossing[1].get<double>(), 0.51);
            EXPECT_NEAR(cell["corners"]["BR"][0].get<double>(),
                        cell["sourceCorners"]["BR"][0].get<double>() * working, 1.0);
        }

        for (const char* name : {"A1", "H1", "A6", "H6"}) {
            const auto [w, h2] = PngSize(Path("cells") / (std::string(name) + ".png"));
            EXPECT_EQ(w, h2) << name << " is not square";
            EXPECT_NEAR(w, 47.5 * scale, 4.0 * scale) << name;
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(Path("cells")), fs::directory_iterator()), 48);
        const auto [wholeWidth, wholeHeight] = PngSize(Path("whole.png"));
        EXPECT_GT(wholeWidth, wholeHeight) << "8 columns by 6 rows";
        EXPECT_GT(wholeHeight, 6 * 16);
    }
}

// No grid: the step says so with empty lists, --cells writes nothing and says
// why, and that is no failure; the text summary names what was found.
TEST_F(CliFindGridTest, NoGridAndTheTextSummary) {
    WriteGrayJpeg(Path("flat.jpg"), 300, 200, [](int x, int) { return 100 + x / 10; });
    CliRun run = Run({Path("flat.jpg").string(), "--find-grid", "--json", Path("r.json").string(), "--cells",
                      Path("cells").string()});
    EXPECT_EQ(run.status, 0) << run.err;
    const json g = json::parse(ReadFile(Path("r.json")))["steps"][0]["grid"];
    EXPECT_EQ(g["found"], false);
    EXPECT_EQ(g["columns"], 0);
    EXPECT_TRUE(g["crossings"].empty());
    EXPECT_TRUE(g["homography"].empty());
    EXPECT_FALSE(fs::exists(Path("cells") / "A1.png"));
    EXPECT_NE(run.err.find("no grid"), std::string::npos) << run.err;

    DrawnGrid{1}.Write(Path("grid.jpg"));
    run = Run({Path("grid.jpg").string(), "--op", "16", "--find-grid"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("find grid: 8 x 6 cells, ruled"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("horizontal lines:"), std::string::npos) << "Find Grid came last";
    run = Run({Path("grid.jpg").string(), "--find-grid", "--op", "16"});
    EXPECT_EQ(run.out.find("find grid:"), std::string::npos) << "the operation came last";
}

// Batch: each picture's cells in a folder of its own, the summary row of Find
// Grid, and the one-picture outputs refused.
TEST_F(CliFindGridTest, BatchCellsAndSummaryRows) {
    fs::create_directory(Path("in"));
    DrawnGrid{1}.Write(Path("in") / "a.jpg");
    WriteGrayJpeg(Path("in") / "b.jpg", 300, 200, [](int, int) { return 90; });
    CliRun run = Run({Path("in").string(), "--find-grid", "--cells", Path("cells").string(), "--summary",
                      Path("s.jsonl").string(), "--no-progress"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(Path("cells") / "a" / "H6.png"));
    EXPECT_FALSE(fs::exists(Path("cells") / "b" / "A1.png"));
    std::istringstream lines(ReadFile(Path("s.jsonl")));
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    json row = json::parse(line);
    EXPECT_EQ(row["operation"], "find-grid");
    EXPECT_EQ(row["horizontal_lines"], 7);
    EXPECT_EQ(row["vertical_lines"], 9);
    EXPECT_EQ(row["cells"], 48);
    EXPECT_EQ(row["grid_found"], true);
    ASSERT_TRUE(std::getline(lines, line));
    row = json::parse(line);
    EXPECT_EQ(row["operation"], "find-grid");
    EXPECT_EQ(row["cells"], 0);
    EXPECT_EQ(row["grid_found"], false);

    run = Run({Path("in").string(), "--find-grid", "--straightened", Path("w.png").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("--straightened is for one picture"), std::string::npos) << run.err;
}

// Broken and hostile files go through Find Grid like any other step: each
// ends with its own status and a summary row, never a crash.
TEST_F(CliFindGridTest, HostileFilesEndCleanly) {
    const fs::path corpus = fs::path(VEXO_SOURCE_DIR) / "tests" / "hostile_corpus";
    const CliRun run =
        Run({corpus.string(), "--find-grid", "--summary", Path("s.csv").string(), "--no-progress", "--jobs", "2"});
    EXPECT_EQ(run.signal, 0);
    EXPECT_TRUE(run.status == 0 || run.status == 2) << run.status << run.err;
    const std::string summary = ReadFile(Path("s.csv"));
    const auto rows = std::count(summary.begin(), summary.end(), '\n');
    const auto files = std::distance(fs::directory_iterator(corpus), fs::directory_iterator());
    EXPECT_EQ(rows, files + 1) << summary;
}

}  // namespace
}  // namespace vexo
