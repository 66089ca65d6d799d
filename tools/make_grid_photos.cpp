// vexo_make_grid_photos: writes photo-like pictures of grids (and of things
// that are not grids) with their truth, NAME.jpg and NAME.json, into a
// folder. The same options and seed give the same files.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "grid_photos/grid_photos.h"

namespace {

namespace fs = std::filesystem;
using namespace vexo::gridphotos;

const char* kUsage =
    "usage: vexo_make_grid_photos --out DIR [--kind KIND] [--count N] [--seed S] [OPTION ...]\n"
    "       vexo_make_grid_photos --out DIR --bench GRIDS NOGRIDS [--seed S]\n"
    "       vexo_make_grid_photos --out DIR --quick\n"
    "       vexo_make_grid_photos --out DIR --samples\n"
    "Writes NAME.jpg and its truth NAME.json for each picture.\n"
    "  --kind KIND      calibration, gameboard, sudoku, graph, table, tiles (grids);\n"
    "                   text, street, rectangles, bricks, lined, frame, lines, texture,\n"
    "                   circuit (no grid); or a group: chessboard, ruled, grid, nogrid,\n"
    "                   all (default grid)\n"
    "  --count N        pictures to make (default 10)\n"
    "  --seed S         first seed (default 1); picture k gets seed S + k\n"
    "  --bench G N      the accuracy benchmark's set: G grid and N no-grid pictures\n"
    "  --quick          the benchmark's small fixed set\n"
    "  --samples        the bundled sample photos (samples/), JPEG only\n"
    "  --width W, --height H     picture size (default: drawn, mostly phone sizes)\n"
    "  --columns C, --rows R     cells of the grid as printed (2..40)\n"
    "  --tilt DEG, --rotation DEG  perspective (0..60) and turn on the picture\n"
    "  --blur SIGMA     Gaussian blur in working pixels\n"
    "  --noise SIGMA    sensor noise in gray levels\n"
    "  --quality Q      JPEG quality\n"
    "  --inverted, --colour, --occluded, --touching, --distorted, --bent\n"
    "  --no-inverted, --gray, --no-occluded, --no-touching, --no-distorted, --no-bent\n"
    "                   force a condition on or off (default: drawn)\n"
    "  --help           this text\n"
    "Exit status: 0 done, 1 usage error, 2 a file could not be written.\n";

[[noreturn]] void Usage(const std::string& problem) {
    std::fprintf(stderr, "vexo_make_grid_photos: %s\n%s", problem.c_str(), kUsage);
    std::exit(1);
}

long Number(const std::string& option, const char* text, long lo, long hi) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno || end == text || *end || v < lo || v > hi)
        Usage(option + " wants a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) + ", not '" +
              text + "'");
    return v;
}

double Real(const std::string& option, const char* text, double lo, double hi) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (errno || end == text || *end || !(v >= lo && v <= hi))
        Usage(option + " wants a number from " + std::to_string(lo) + " to " + std::to_string(hi) + ", not '" + text + "'");
    return v;
}

std::vector<Scene> KindScenes(const std::string& kind) {
    if (auto s = SceneFromName(kind)) return {*s};
    std::vector<Scene> out;
    for (int k = 0; k < kSceneCount; ++k) {
        const Scene s = static_cast<Scene>(k);
        if (kind == "all" || (kind == "grid" && HasGrid(s)) || (kind == "nogrid" && !HasGrid(s)) ||
            (kind == "chessboard" && IsChessboard(s)) || (kind == "ruled" && HasGrid(s) && !IsChessboard(s)))
            out.push_back(s);
    }
    if (out.empty()) Usage("unknown kind '" + kind + "'");
    return out;
}

// The bundled samples: grids the grid search of operations 13-17 cannot
// take (perspective, a turn, light on dark, a chessboard) and Find Grid can.
struct Sample {
    const char* file;
    PhotoRequest request;
};

std::vector<Sample> Samples() {
    auto make = [](Scene scene, uint32_t seed, int width, int height, double tilt, double rotation) {
        PhotoRequest q;
        q.scene = scene;
        q.seed = seed;
        q.width = width;
        q.height = height;
        q.tiltDegrees = tilt;
        q.rotationDegrees = rotation;
        q.occluded = false;
        q.distorted = false;
        q.bent = false;
        q.touchesBorder = false;
        q.blur = 0.9;
        q.noise = 2.0;
        q.quality = 88;
        q.colour = false;
        return q;
    };
    std::vector<Sample> samples;
    {
        PhotoRequest q = make(Scene::Calibration, 4, 800, 600, 38, 12);
        q.inverted = false;
        q.columns = 9;
        q.rows = 6;
        samples.push_back({"chessboard-perspective.jpg", q});
    }
    {
        PhotoRequest q = make(Scene::GameBoard, 7, 800, 600, 32, 350);
        q.occluded = true;
        q.colour = true;
        samples.push_back({"chessboard-game.jpg", q});
    }
    {
        PhotoRequest q = make(Scene::Sudoku, 3, 800, 600, 18, 28);
        q.inverted = false;
        samples.push_back({"sudoku-rotated.jpg", q});
    }
    {
        PhotoRequest q = make(Scene::GraphPaper, 3, 800, 600, 25, 200);
        q.columns = 12;
        q.rows = 8;
        q.inverted = true;
        samples.push_back({"grid-inverted.jpg", q});
    }
    {
        PhotoRequest q = make(Scene::GraphPaper, 6, 1024, 768, 30, 75);
        q.columns = 20;
        q.rows = 15;
        q.colour = true;
        q.bent = true;
        samples.push_back({"graph-paper.jpg", q});
    }
    return samples;
}

bool WriteFile(const fs::path& path, const void* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), std::streamsize(size));
    out.close();
    if (!out) {
        std::fprintf(stderr, "vexo_make_grid_photos: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<std::string> outDir;
    std::string kind = "grid";
    long count = 10, seed = 1;
    bool quick = false, samples = false;
    std::optional<std::pair<long, long>> bench;
    PhotoRequest base;
    for (int k = 1; k < argc; ++k) {
        const std::string a = argv[k];
        auto value = [&]() -> const char* {
            if (k + 1 >= argc) Usage(a + " wants a value");
            return argv[++k];
        };
        if (a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--out") outDir = value();
        else if (a == "--kind") kind = value();
        else if (a == "--count") count = Number(a, value(), 1, 100000);
        else if (a == "--seed") seed = Number(a, value(), 0, 4000000000L);
        else if (a == "--quick") quick = true;
        else if (a == "--samples") samples = true;
        else if (a == "--bench") {
            const long g = Number(a, value(), 0, 100000);
            bench = {g, Number(a, value(), 0, 100000)};
        } else if (a == "--width") base.width = int(Number(a, value(), 16, 16384));
        else if (a == "--height") base.height = int(Number(a, value(), 16, 16384));
        else if (a == "--columns") base.columns = int(Number(a, value(), 2, 40));
        else if (a == "--rows") base.rows = int(Number(a, value(), 2, 40));
        else if (a == "--tilt") base.tiltDegrees = Real(a, value(), 0, 60);
        else if (a == "--rotation") base.rotationDegrees = Real(a, value(), -360, 720);
        else if (a == "--blur") base.blur = Real(a, value(), 0, 10);
        else if (a == "--noise") base.noise = Real(a, value(), 0, 50);
        else if (a == "--quality") base.quality = int(Number(a, value(), 1, 100));
        else if (a == "--inverted" || a == "--no-inverted") base.inverted = a == "--inverted";
        else if (a == "--colour" || a == "--gray") base.colour = a == "--colour";
        else if (a == "--occluded" || a == "--no-occluded") base.occluded = a == "--occluded";
        else if (a == "--touching" || a == "--no-touching") base.touchesBorder = a == "--touching";
        else if (a == "--distorted" || a == "--no-distorted") base.distorted = a == "--distorted";
        else if (a == "--bent" || a == "--no-bent") base.bent = a == "--bent";
        else Usage("unknown option '" + a + "'");
    }
    if (!outDir) Usage("--out DIR is needed");

    std::vector<PhotoRequest> requests;
    if (quick) {
        requests = QuickSet();
    } else if (bench) {
        requests = BenchmarkSet(int(bench->first), int(bench->second), uint32_t(seed));
    } else {
        const std::vector<Scene> scenes = KindScenes(kind);
        if ((base.columns || base.rows))
            for (Scene s : scenes)
                if (!HasGrid(s)) Usage(std::string("--columns and --rows need grid kinds; ") + SceneName(s) + " has none");
        for (long k = 0; k < count; ++k) {
            PhotoRequest q = base;
            q.scene = scenes[std::size_t(k) % scenes.size()];
            q.seed = uint32_t(seed + k);
            requests.push_back(q);
        }
    }

    std::error_code ec;
    fs::create_directories(*outDir, ec);
    if (ec) {
        std::fprintf(stderr, "vexo_make_grid_photos: cannot make %s: %s\n", outDir->c_str(), ec.message().c_str());
        return 2;
    }
    if (samples) {
        for (const Sample& s : Samples()) {
            const Photo photo = MakePhoto(s.request);
            if (!WriteFile(fs::path(*outDir) / s.file, photo.jpeg.data(), photo.jpeg.size())) return 2;
            const Truth& t = photo.truth;
            std::printf("%s  %d x %d  %s %d x %d\n", s.file, t.width, t.height, t.chessboard ? "chessboard" : "ruled",
                        t.columns, t.rows);
        }
        return 0;
    }
    for (std::size_t k = 0; k < requests.size(); ++k) {
        const PhotoRequest& q = requests[k];
        Photo photo;
        try {
            photo = MakePhoto(q);
        } catch (const std::invalid_argument& e) {
            Usage(e.what());
        }
        const std::string name = PhotoName(int(k), q.scene);
        const std::string json = TruthJson(photo.truth, name + ".jpg");
        if (!WriteFile(fs::path(*outDir) / (name + ".jpg"), photo.jpeg.data(), photo.jpeg.size()) ||
            !WriteFile(fs::path(*outDir) / (name + ".json"), json.data(), json.size()))
            return 2;
        const Truth& t = photo.truth;
        if (t.hasGrid)
            std::printf("%s.jpg  %d x %d  %s %d x %d  tilt %.0f  turn %.0f\n", name.c_str(), t.width, t.height,
                        t.chessboard ? "chessboard" : "ruled", t.columns, t.rows, t.conditions.tiltDegrees,
                        t.conditions.rotationDegrees);
        else
            std::printf("%s.jpg  %d x %d  no grid\n", name.c_str(), t.width, t.height);
    }
    return 0;
}
