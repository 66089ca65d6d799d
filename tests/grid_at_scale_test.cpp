// A found lattice in working pixels at another scale (the grid carried over
// to its file loaded again), and the found cells as the CSV export writes them.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "app/grid_at_scale.h"
#include "app/grid_export.h"
#include "app/grid_report.h"
#include "app/report_json.h"

namespace vexo {
namespace {

// A 3 x 2 lattice seen at a slant, its crossings on its homography.
Lattice SlantedLattice() {
    Lattice l;
    l.found = true;
    l.columns = 3;
    l.rows = 2;
    l.homography.h = {41.0, -6.5, 120.25, 3.0, 38.5, 87.75, 0.0011, -0.0007, 1};
    for (int j = 0; j <= l.rows; ++j)
        for (int i = 0; i <= l.columns; ++i) l.crossings.push_back(l.homography.Map(i, j));
    return l;
}

class GridAtScaleTest : public ::testing::TestWithParam<int> {};

// Working pixels at M/8 to the file's and back give the lattice again: the
// crossings, and the homography that maps grid coordinates onto them.
TEST_P(GridAtScaleTest, WorkingPixelsUndoSourcePixels) {
    const int scale = GetParam();
    const Lattice working = SlantedLattice();
    const Lattice back = ToWorkingPixels(ToSourcePixels(working, scale), scale);
    ASSERT_EQ(back.crossings.size(), working.crossings.size());
    for (std::size_t k = 0; k < working.crossings.size(); ++k) {
        EXPECT_NEAR(back.crossings[k].x, working.crossings[k].x, 1e-9);
        EXPECT_NEAR(back.crossings[k].y, working.crossings[k].y, 1e-9);
    }
    EXPECT_DOUBLE_EQ(back.homography.h[8], 1.0);
    for (int j = 0; j <= working.rows; ++j)
        for (int i = 0; i <= working.columns; ++i) {
            EXPECT_NEAR(back.homography.Map(i, j).x, working.at(i, j).x, 1e-7);
            EXPECT_NEAR(back.homography.Map(i, j).y, working.at(i, j).y, 1e-7);
        }
}

INSTANTIATE_TEST_SUITE_P(Scales, GridAtScaleTest, ::testing::Values(1, 2, 3, 5, 7, 8));

// A found grid's CSV gives each cell's corners in the file's pixels as the
// JSON does: rounded from the file's crossings, not scaled up from the
// rounded working corners (which would be off by a pixel or more).
TEST(GridCsvTest, FoundCellsKeepTheirOwnFileCorners) {
    FindGridRecord record;
    record.lattice = SlantedLattice();
    record.source = ToSourcePixels(record.lattice, 3);
    record.sourceSize = {2133, 1600, 3};
    StepRecord step;
    step.kind = StepKind::FindGrid;
    step.cells = LatticeCells(record);
    step.grid = record;
    const std::string csv = GridCsv(record.sourceSize, step);
    const auto json = StepJson(step, record.sourceSize.scale);
    std::size_t at = csv.find("\r\n") + 2;
    for (const auto& cell : json["cells"]) {
        const std::size_t end = csv.find("\r\n", at);
        const std::string row = csv.substr(at, end - at);
        at = end + 2;
        std::ostringstream expected;
        expected << cell["label"].get<std::string>() << ',' << cell["column"].get<int>() << ','
                 << cell["row"].get<int>();
        for (const char* kind : {"corners", "sourceCorners"})
            for (const char* corner : {"TL", "TR", "BL", "BR"})
                for (int k = 0; k < 2; ++k) expected << ',' << cell[kind][corner][k].get<int>();
        EXPECT_EQ(row, expected.str());
    }
    EXPECT_EQ(at, csv.size());
}

}  // namespace
}  // namespace vexo
