// Find Grid's accuracy benchmark: a fixed, seeded set of photo-like pictures
// with exact truth (tools/grid_photos), each decoded to its luminance at the
// working size as vexo-cli decodes it, searched with FindGrid, and the
// lattice, back in the file's pixels, compared with the truth:
//   found / right size (C x R) / right names (every crossing at its index,
//   within a quarter of the local cell side), the crossing error on the
//   unoccluded grids named right, false grids on the pictures without one,
//   and the time per picture.
// Beside it, on the chessboards and on the same gray picture, OpenCV's
// chessboard finder told the true inner-corner count. A memory mode measures
// in child processes the peak resident memory of loading a 12 MP picture
// as the workbench does, without and with Find Grid.
//
// Exit status: 0, or 1 when a threshold given on the command line is
// missed (the quick subset runs as a test this way), 2 for a usage error.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>

#include "app/png_encoding.h"
#include "app/workbench.h"
#include "core/jpeg_decoder.h"
#include "core/memory_screen.h"
#include "find_grid/find_grid.h"
#include "grid_photos/grid_photos.h"

namespace {

namespace fs = std::filesystem;
namespace gp = vexo::gridphotos;
using Clock = std::chrono::steady_clock;
using nlohmann::ordered_json;
using vexo::DecodeLuminance;
using vexo::LuminancePicture;

// --- Options ---

struct Options {
    int grids = 300;
    std::optional<int> noGrids;  // default: a third of the grids
    uint32_t seed = 1;
    bool quick = false;
    std::optional<std::string> json;
    std::optional<std::string> dump;
    std::string kind = "all";
    bool memory = true;
    bool memoryOnly = false;
    bool verbose = false;
    bool peer = true;
    // Thresholds that make the exit status 1 when missed.
    std::optional<double> minRightNames;  // percent of grid pictures
    std::optional<int> maxFalseGrids;
};

const char* kUsage =
    "usage: vexo_find_grid_accuracy [--count N] [--nogrid M] [--seed S] [--kind KIND] [--quick]\n"
    "                               [--json FILE|-] [--dump DIR] [--verbose] [--no-peer]\n"
    "                               [--memory | --no-memory] [--min-right-names PCT] [--max-false-grids N]\n"
    "  --count N       grid pictures (default 300)\n"
    "  --nogrid M      pictures without a grid (default a third of N)\n"
    "  --seed S        the set's seed (default 1)\n"
    "  --kind KIND     only pictures of a scene (calibration, gameboard, sudoku, graph, table, tiles,\n"
    "                  text, street, rectangles, bricks, lined, frame, lines, texture, circuit)\n"
    "                  or a group (chessboard, ruled, grid, nogrid, all)\n"
    "  --quick         the small fixed subset (every scene and condition, small sizes)\n"
    "  --json FILE     the figures and every picture's result as JSON ('-': standard output)\n"
    "  --dump DIR      each picture, its truth, what was found and an overlay (truth green,\n"
    "                  found red) into DIR\n"
    "  --verbose       one line per picture\n"
    "  --no-peer       without OpenCV's chessboard finder\n"
    "  --memory        only the peak-memory measurement; --no-memory: without it\n"
    "  --min-right-names PCT, --max-false-grids N   exit status 1 when missed\n";

[[noreturn]] void Usage(const std::string& problem) {
    std::fprintf(stderr, "vexo_find_grid_accuracy: %s\n%s", problem.c_str(), kUsage);
    std::exit(2);
}

long Number(const std::string& option, const char* text, long lo, long hi) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end || v < lo || v > hi)
        Usage(option + " wants a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
    return v;
}

bool SceneInKind(gp::Scene s, const std::string& kind) {
    if (auto one = gp::SceneFromName(kind)) return *one == s;
    return kind == "all" || (kind == "grid" && gp::HasGrid(s)) || (kind == "nogrid" && !gp::HasGrid(s)) ||
           (kind == "chessboard" && gp::IsChessboard(s)) || (kind == "ruled" && gp::HasGrid(s) && !gp::IsChessboard(s));
}

// --- One picture ---

struct Result {
    std::string name;
    gp::Truth truth;
    int64_t pixels = 0;
    int scale = 8;
    double decodeMs = 0, findMs = 0;
    vexo::Lattice found;  // in the file's pixels
    bool rightSize = false, rightNames = false;
    std::vector<double> errors;  // per unoccluded crossing, file pixels, when named right
    double worstError = 0;       // over all crossings, when the size is right
    // OpenCV's chessboard finder.
    bool peerRan = false, peerFound = false, peerRight = false;
    double peerMs = 0;
    std::vector<double> peerErrors;
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Dist(double ax, double ay, double bx, double by) { return std::hypot(ax - bx, ay - by); }

// A working-picture coordinate in the file's pixels.
double ToFile(double c, int scale) { return (c + 0.5) * 8.0 / scale - 0.5; }

void Compare(Result& r) {
    const vexo::Lattice& f = r.found;
    if (!f.found) return;
    std::vector<gp::Point> crossings;
    for (const vexo::PointF& p : f.crossings) crossings.push_back({p.x, p.y});
    const gp::Verdict v = gp::Judge(r.truth, f.columns, f.rows, crossings);
    r.rightSize = v.rightSize;
    r.rightNames = v.rightNames;
    r.worstError = v.worstError;
    // Errors count on the grids nothing covers.
    if (v.rightNames && !r.truth.conditions.occluded) r.errors = v.errors;
}

void RunPeer(Result& r, const vexo::GrayPlane& gray) {
    const gp::Truth& t = r.truth;
    if (!t.chessboard || t.columns < 4 || t.rows < 4) return;  // it needs more than two inner corners a side
    const cv::Mat picture(gray.height, gray.width, CV_8UC1, const_cast<uint8_t*>(gray.begin()));
    std::vector<cv::Point2f> corners;
    const auto start = Clock::now();
    bool found = false;
    try {
        found = cv::findChessboardCorners(picture, cv::Size(t.columns - 1, t.rows - 1), corners,
                                          cv::CALIB_CB_ADAPTIVE_THRESH | cv::CALIB_CB_NORMALIZE_IMAGE);
    } catch (const cv::Exception&) {
        found = false;
    }
    r.peerMs = Ms(Clock::now() - start);
    r.peerRan = true;
    r.peerFound = found;
    if (!found) return;
    // Its corners come in an order of its own: each is matched to the
    // nearest inner truth crossing, and all must be distinct and near.
    std::vector<int> used(std::size_t((t.columns + 1) * (t.rows + 1)), 0);
    bool right = corners.size() == std::size_t((t.columns - 1) * (t.rows - 1));
    std::vector<double> errors;
    for (const cv::Point2f& c : corners) {
        const double x = ToFile(c.x, r.scale), y = ToFile(c.y, r.scale);
        double best = 1e18;
        int bi = 1, bj = 1;
        for (int j = 1; j < t.rows; ++j)
            for (int i = 1; i < t.columns; ++i) {
                const double d = Dist(x, y, t.at(i, j).x, t.at(i, j).y);
                if (d < best) best = d, bi = i, bj = j;
            }
        if (best > 0.25 * t.LocalCellSide(bi, bj) || used[std::size_t(bj * (t.columns + 1) + bi)]++) right = false;
        errors.push_back(best);
    }
    r.peerRight = right;
    if (right && !t.conditions.occluded) r.peerErrors = errors;
}

// --- Figures ---

double Quantile(std::vector<double> v, double q) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    const std::size_t k = std::min(v.size() - 1, std::size_t(std::ceil(q * double(v.size())) - (q > 0 ? 1 : 0)));
    return v[k];
}
double Median(const std::vector<double>& v) {
    if (v.empty()) return NAN;
    std::vector<double> s = v;
    std::sort(s.begin(), s.end());
    const std::size_t n = s.size();
    return n % 2 ? s[n / 2] : (s[n / 2 - 1] + s[n / 2]) / 2;
}
double Max(const std::vector<double>& v) { return v.empty() ? NAN : *std::max_element(v.begin(), v.end()); }

bool Huge(const Result& r) { return r.pixels >= 10'000'000; }
bool VgaClass(const Result& r) { return r.pixels >= 250'000 && r.pixels <= 400'000; }

// The rows of the table: a name and which pictures it takes.
struct Group {
    std::string name;
    std::function<bool(const Result&)> takes;
};

std::vector<Group> Groups() {
    auto scene = [](std::initializer_list<gp::Scene> scenes) {
        std::vector<gp::Scene> list(scenes);
        return [list](const Result& r) { return std::find(list.begin(), list.end(), r.truth.scene) != list.end(); };
    };
    auto turned = [](const Result& r) {
        return std::fabs(std::remainder(r.truth.conditions.rotationDegrees, 90.0)) > 20;
    };
    return {
        {"all grids", [](const Result&) { return true; }},
        {"chessboard", scene({gp::Scene::Calibration, gp::Scene::GameBoard})},
        {"  calibration", scene({gp::Scene::Calibration})},
        {"  game board", scene({gp::Scene::GameBoard})},
        {"sudoku", scene({gp::Scene::Sudoku})},
        {"graph paper", scene({gp::Scene::GraphPaper})},
        {"table", scene({gp::Scene::Table})},
        {"tiles", scene({gp::Scene::Tiles})},
        {"inverted", [](const Result& r) { return r.truth.conditions.inverted; }},
        {"perspective > 35 deg", [](const Result& r) { return r.truth.conditions.tiltDegrees > 35; }},
        {"turned > 20 deg", turned},
        {"blur > 1.5", [](const Result& r) { return r.truth.conditions.blur > 1.5; }},
        {"occluded", [](const Result& r) { return r.truth.conditions.occluded; }},
        {"touching the border", [](const Result& r) { return r.truth.conditions.touchesBorder; }},
        {"lens or page bent", [](const Result& r) { return r.truth.conditions.distorted || r.truth.conditions.bent; }},
        {"colour", [](const Result& r) { return r.truth.conditions.colour; }},
        {"JPEG quality < 60", [](const Result& r) { return r.truth.conditions.quality < 60; }},
        {"more than 20 cells a side", [](const Result& r) { return std::max(r.truth.columns, r.truth.rows) > 20; }},
        {"12 MP", Huge},
    };
}

struct RowFigures {
    int pictures = 0, found = 0, rightSize = 0, rightNames = 0;
    std::vector<double> errors, workingErrors, findMs;
};

RowFigures Figures(const std::vector<const Result*>& results) {
    RowFigures f;
    for (const Result* r : results) {
        ++f.pictures;
        f.found += r->found.found;
        f.rightSize += r->rightSize;
        f.rightNames += r->rightNames;
        for (double e : r->errors) {
            f.errors.push_back(e);
            f.workingErrors.push_back(e * r->scale / 8.0);
        }
        f.findMs.push_back(r->findMs);
    }
    return f;
}

std::string Pct(int part, int whole) {
    char text[32];
    if (whole == 0) return "    -";
    std::snprintf(text, sizeof text, "%5.1f", 100.0 * part / whole);
    return text;
}

std::string Num(double v, const char* format = "%6.2f") {
    char text[32];
    if (std::isnan(v)) return "     -";
    std::snprintf(text, sizeof text, format, v);
    return text;
}

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

// --- Dump ---

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

ordered_json LatticeJson(const vexo::Lattice& l, double findMs) {
    ordered_json j;
    j["found"] = l.found;
    j["kind"] = vexo::GridKindName(l.kind);
    j["columns"] = l.columns;
    j["rows"] = l.rows;
    ordered_json rows = ordered_json::array();
    for (int r = 0; r <= l.rows && l.found; ++r) {
        ordered_json row = ordered_json::array();
        for (int i = 0; i <= l.columns; ++i) row.push_back({l.at(i, r).x, l.at(i, r).y});
        rows.push_back(row);
    }
    j["crossings"] = rows;
    j["homography"] = l.homography.h;
    j["score"] = l.score;
    j["milliseconds"] = findMs;
    return j;
}

// The picture with the truth's crossings (green; covered ones yellow, [0][0]
// a larger mark) and the found ones (red; [0][0] larger).
void WriteOverlay(const fs::path& path, const std::vector<uint8_t>& gray, const Result& r) {
    const int w = r.truth.width, h = r.truth.height;
    std::vector<uint8_t> rgb(std::size_t(w) * h * 3);
    for (std::size_t k = 0; k < std::size_t(w) * h; ++k) rgb[3 * k] = rgb[3 * k + 1] = rgb[3 * k + 2] = gray[k];
    const int arm = std::max(2, std::max(w, h) / 400);
    auto cross = [&](double x, double y, uint8_t cr, uint8_t cg, uint8_t cb, int size, bool diagonal) {
        const int cx = int(std::lround(x)), cy = int(std::lround(y));
        for (int d = -size; d <= size; ++d) {
            const int px[2] = {cx + d, diagonal ? cx + d : cx}, py[2] = {diagonal ? cy + d : cy, diagonal ? cy - d : cy + d};
            for (int k = 0; k < 2; ++k)
                if (px[k] >= 0 && py[k] >= 0 && px[k] < w && py[k] < h) {
                    uint8_t* p = &rgb[(std::size_t(py[k]) * w + px[k]) * 3];
                    p[0] = cr, p[1] = cg, p[2] = cb;
                }
        }
    };
    const gp::Truth& t = r.truth;
    for (int j = 0; j <= t.rows && t.hasGrid; ++j)
        for (int i = 0; i <= t.columns; ++i) {
            const bool covered = t.coveredAt(i, j);
            cross(t.at(i, j).x, t.at(i, j).y, covered ? 255 : 0, 255, 0, (i == 0 && j == 0) ? arm * 3 : arm, false);
        }
    const vexo::Lattice& f = r.found;
    for (int j = 0; j <= f.rows && f.found; ++j)
        for (int i = 0; i <= f.columns; ++i)
            cross(f.at(i, j).x, f.at(i, j).y, 255, 0, 0, (i == 0 && j == 0) ? arm * 3 : arm, true);
    std::vector<uint8_t> png;
    std::string why;
    if (vexo::EncodePng(w, h, rgb.data(), std::size_t(w) * 3, png, why))
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
}

// --- Peak memory, in child processes ---

long PeakKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// Runs in a fresh process: the workbench loads the picture as a click on it
// does (the display kept as vexo-cli keeps it without outputs), and with
// `find` its decoder decodes the luminance, which is searched too. Prints
// the peak.
int MemoryChild(const std::string& what, const std::string& path) {
    vexo::MemoryScreen screen;
    screen.keepDisplay = false;
    vexo::Workbench workbench(screen);
    workbench.FileClick(path);
    if (!workbench.image().loaded()) return 3;
    if (what == "find") {
        const vexo::JpegDecoder& decoder = *workbench.image().decoder;
        const vexo::GrayPlane luminance = decoder.DecodeLuminance();
        const vexo::Lattice lattice = vexo::ToSourcePixels(vexo::FindGrid(luminance), decoder.Source().scale);
        std::printf("found %d\n", lattice.found ? 1 : 0);
    }
    std::printf("peak %ld\n", PeakKilobytes());
    return 0;
}

long RunMemoryChild(const std::string& what, const std::string& path) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], 1);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        ::execl("/proc/self/exe", "vexo_find_grid_accuracy", "--memory-child", what.c_str(), path.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    std::string out;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) out.append(buffer, std::size_t(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const std::size_t at = out.find("peak ");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || at == std::string::npos) return -1;
    return std::strtol(out.c_str() + at + 5, nullptr, 10);
}

struct MemoryFigures {
    long loadKb = -1, findKb = -1;
};

MemoryFigures MeasureMemory() {
    gp::PhotoRequest q;
    q.scene = gp::Scene::Sudoku;
    q.seed = 12;
    q.width = 4000;
    q.height = 3000;
    q.colour = true;
    const gp::Photo photo = gp::MakePhoto(q);
    const fs::path file = fs::temp_directory_path() / ("vexo_find_grid_memory_" + std::to_string(::getpid()) + ".jpg");
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(photo.jpeg.data()), std::streamsize(photo.jpeg.size()));
    MemoryFigures m;
    m.loadKb = RunMemoryChild("load", file.string());
    m.findKb = RunMemoryChild("find", file.string());
    fs::remove(file);
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--memory-child") return MemoryChild(argv[2], argv[3]);
    Options o;
    for (int k = 1; k < argc; ++k) {
        const std::string a = argv[k];
        auto value = [&]() -> const char* {
            if (k + 1 >= argc) Usage(a + " wants a value");
            return argv[++k];
        };
        if (a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--count") o.grids = int(Number(a, value(), 0, 100000));
        else if (a == "--nogrid") o.noGrids = int(Number(a, value(), 0, 100000));
        else if (a == "--seed") o.seed = uint32_t(Number(a, value(), 0, 4000000000L));
        else if (a == "--kind") {
            o.kind = value();
            bool known = false;
            for (int s = 0; s < gp::kSceneCount; ++s) known |= SceneInKind(static_cast<gp::Scene>(s), o.kind);
            if (!known) Usage("unknown kind '" + o.kind + "'");
        } else if (a == "--quick") o.quick = true;
        else if (a == "--json") o.json = value();
        else if (a == "--dump") o.dump = value();
        else if (a == "--verbose") o.verbose = true;
        else if (a == "--no-peer") o.peer = false;
        else if (a == "--memory") o.memoryOnly = true;
        else if (a == "--no-memory") o.memory = false;
        else if (a == "--min-right-names") o.minRightNames = double(Number(a, value(), 0, 100));
        else if (a == "--max-false-grids") o.maxFalseGrids = int(Number(a, value(), 0, 100000));
        else Usage("unknown option '" + a + "'");
    }

    // The figures go to standard output, unless the JSON goes there.
    FILE* report = o.json && *o.json == "-" ? stderr : stdout;
    if (o.memoryOnly) {
        const MemoryFigures m = MeasureMemory();
        if (m.loadKb <= 0 || m.findKb <= 0) {
            std::fprintf(stderr, "vexo_find_grid_accuracy: the memory measurement failed\n");
            return 1;
        }
        std::fprintf(report, "Peak memory, 4000 x 3000 colour JPEG at its working size (child processes):\n");
        std::fprintf(report, "  workbench load              %8.1f MB\n", m.loadKb / 1024.0);
        std::fprintf(report, "  load, then Find Grid        %8.1f MB\n", m.findKb / 1024.0);
        std::fprintf(report, "  ratio                       %8.2f    [goal <= 2: %s]\n", double(m.findKb) / m.loadKb,
                    Verdict(double(m.findKb) / m.loadKb <= 2.0));
        return 0;
    }

    std::vector<gp::PhotoRequest> requests =
        o.quick ? gp::QuickSet() : gp::BenchmarkSet(o.grids, o.noGrids.value_or(o.grids / 3), o.seed);
    std::vector<std::string> names;
    {
        std::vector<gp::PhotoRequest> kept;
        for (std::size_t k = 0; k < requests.size(); ++k)
            if (SceneInKind(requests[k].scene, o.kind)) {
                kept.push_back(requests[k]);
                names.push_back(gp::PhotoName(int(k), requests[k].scene));
            }
        requests = kept;
    }
    if (o.dump) fs::create_directories(*o.dump);

    std::vector<Result> results;
    double makeSeconds = 0;
    const bool progress = ::isatty(2) && !o.verbose;
    for (std::size_t k = 0; k < requests.size(); ++k) {
        const auto makeStart = Clock::now();
        gp::Photo photo = gp::MakePhoto(requests[k]);
        makeSeconds += std::chrono::duration<double>(Clock::now() - makeStart).count();
        Result r;
        r.name = names[k];
        r.truth = photo.truth;
        r.pixels = int64_t(r.truth.width) * r.truth.height;

        const auto t0 = Clock::now();
        LuminancePicture lum = DecodeLuminance(photo.jpeg.data(), photo.jpeg.size(), false);
        const auto t1 = Clock::now();
        const vexo::Lattice lattice = vexo::FindGrid(lum.plane);
        const auto t2 = Clock::now();
        r.decodeMs = Ms(t1 - t0);
        r.findMs = Ms(t2 - t1);
        r.scale = lum.source.scale;
        r.found = vexo::ToSourcePixels(lattice, lum.source.scale);
        Compare(r);
        if (o.peer) RunPeer(r, lum.plane);

        if (o.verbose) {
            const gp::Truth& t = r.truth;
            std::fprintf(report, "%-22s %5d x %-5d %-10s truth %2d x %-2d found %s %2d x %-2d %-12s max err %7.2f  %6.1f ms\n",
                        r.name.c_str(), t.width, t.height, t.hasGrid ? (t.chessboard ? "chessboard" : "ruled") : "none",
                        t.columns, t.rows, r.found.found ? "yes" : "no ", r.found.columns, r.found.rows,
                        !t.hasGrid ? (r.found.found ? "FALSE GRID" : "") : r.rightNames ? "named right" : "WRONG",
                        r.rightSize ? r.worstError : NAN, r.findMs);
            if (r.peerRan)
                std::fprintf(report, "%-22s OpenCV: %s, max err %.2f, %.1f ms\n", "", r.peerRight ? "right" : r.peerFound ? "WRONG" : "not found",
                             Max(r.peerErrors), r.peerMs);
            std::fflush(stdout);
        } else if (progress) {
            std::fprintf(stderr, "\r%zu / %zu pictures", k + 1, requests.size());
        }
        if (o.dump) {
            const fs::path dir(*o.dump);
            std::ofstream(dir / (r.name + ".jpg"), std::ios::binary)
                .write(reinterpret_cast<const char*>(photo.jpeg.data()), std::streamsize(photo.jpeg.size()));
            WriteText(dir / (r.name + ".truth.json"), gp::TruthJson(r.truth, r.name + ".jpg"));
            WriteText(dir / (r.name + ".found.json"), LatticeJson(r.found, r.findMs).dump(1) + "\n");
            WriteOverlay(dir / (r.name + ".png"), photo.gray, r);
        }
        results.push_back(std::move(r));
    }
    if (progress) std::fprintf(stderr, "\r%*s\r", 40, "");

    // --- The table ---
    std::vector<const Result*> grids, noGrids;
    for (const Result& r : results) (r.truth.hasGrid ? grids : noGrids).push_back(&r);
    int falseGrids = 0;
    for (const Result* r : noGrids) falseGrids += r->found.found;

    std::fprintf(report, "Find Grid accuracy: %zu grid and %zu no-grid pictures (%s, seed %u%s); making them took %.1f s\n",
                grids.size(), noGrids.size(), o.quick ? "quick subset" : "benchmark set", o.seed,
                o.kind == "all" ? "" : (", kind " + o.kind).c_str(), makeSeconds);
    std::fprintf(report, "Right names: C x R right and every crossing within 1/4 of its local cell side of the truth.\n");
    std::fprintf(report, "Errors: crossings of the unoccluded grids named right, in the file's pixels (working pixels).\n\n");
    std::fprintf(report, "%-26s %5s %7s %7s %7s %9s %9s %9s %9s %8s\n", "", "pics", "found%", "size%", "names%", "med err",
                "max err", "med work", "max work", "med ms");
    ordered_json rowsJson = ordered_json::array();
    for (const Group& g : Groups()) {
        std::vector<const Result*> take;
        for (const Result* r : grids)
            if (g.takes(*r)) take.push_back(r);
        if (take.empty()) continue;
        const RowFigures f = Figures(take);
        std::fprintf(report, "%-26s %5d %7s %7s %7s %9s %9s %9s %9s %8s\n", g.name.c_str(), f.pictures,
                    Pct(f.found, f.pictures).c_str(), Pct(f.rightSize, f.pictures).c_str(),
                    Pct(f.rightNames, f.pictures).c_str(), Num(Median(f.errors), "%9.3f").c_str(),
                    Num(Max(f.errors), "%9.3f").c_str(), Num(Median(f.workingErrors), "%9.3f").c_str(),
                    Num(Max(f.workingErrors), "%9.3f").c_str(), Num(Median(f.findMs), "%8.1f").c_str());
        auto jnum = [](double v) { return std::isnan(v) ? ordered_json(nullptr) : ordered_json(v); };
        rowsJson.push_back({{"group", g.name.substr(g.name.find_first_not_of(' '))},
                            {"pictures", f.pictures},
                            {"found", f.found},
                            {"rightSize", f.rightSize},
                            {"rightNames", f.rightNames},
                            {"medianError", jnum(Median(f.errors))},
                            {"maxError", jnum(Max(f.errors))},
                            {"medianWorkingError", jnum(Median(f.workingErrors))},
                            {"maxWorkingError", jnum(Max(f.workingErrors))},
                            {"medianMilliseconds", jnum(Median(f.findMs))}});
    }
    const RowFigures all = Figures(grids);
    const double namesPct = grids.empty() ? 100.0 : 100.0 * all.rightNames / double(grids.size());
    const double noGridPct = noGrids.empty() ? 100.0 : 100.0 * (double(noGrids.size()) - falseGrids) / double(noGrids.size());
    std::fprintf(report, "\nNo-grid pictures: %zu, false grids %d (%s%% reported as no grid)\n", noGrids.size(), falseGrids,
                Pct(int(noGrids.size()) - falseGrids, int(noGrids.size())).c_str());
    for (const gp::Scene s : {gp::Scene::TextPage, gp::Scene::Street, gp::Scene::Rectangles, gp::Scene::Bricks,
                              gp::Scene::LinedPaper, gp::Scene::Frame, gp::Scene::RandomLines, gp::Scene::Texture,
                              gp::Scene::Circuit}) {
        int n = 0, f = 0;
        for (const Result* r : noGrids)
            if (r->truth.scene == s) ++n, f += r->found.found;
        if (n) std::fprintf(report, "  %-12s %3d pictures, %d false\n", gp::SceneName(s), n, f);
    }

    // --- Time ---
    struct TimeRow {
        const char* name;
        std::function<bool(const Result&)> takes;
    };
    const TimeRow timeRows[] = {{"640 x 480 class", VgaClass}, {"12 MP (working size)", Huge},
                                {"every picture", [](const Result&) { return true; }}};
    std::fprintf(report, "\nTime per picture, ms (finder alone | decode + finder): median, 90th percentile, max\n");
    ordered_json timeJson = ordered_json::array();
    double vgaMedian = NAN, hugeWorst = NAN;
    for (const TimeRow& row : timeRows) {
        std::vector<double> find, both;
        for (const Result& r : results)
            if (row.takes(r)) find.push_back(r.findMs), both.push_back(r.findMs + r.decodeMs);
        if (find.empty()) continue;
        std::fprintf(report, "  %-22s %4zu pics  %7.1f %7.1f %7.1f | %7.1f %7.1f %7.1f\n", row.name, find.size(), Median(find),
                    Quantile(find, 0.9), Max(find), Median(both), Quantile(both, 0.9), Max(both));
        if (std::string(row.name).rfind("640", 0) == 0) vgaMedian = Median(find);
        if (std::string(row.name).rfind("12 MP", 0) == 0) hugeWorst = Max(find);
        timeJson.push_back({{"pictures", row.name},
                            {"count", find.size()},
                            {"finder", {{"median", Median(find)}, {"p90", Quantile(find, 0.9)}, {"max", Max(find)}}},
                            {"decodeAndFinder", {{"median", Median(both)}, {"p90", Quantile(both, 0.9)}, {"max", Max(both)}}}});
    }

    // --- OpenCV's chessboard finder, told the size ---
    std::vector<const Result*> peer;
    for (const Result* r : grids)
        if (r->peerRan) peer.push_back(r);
    double ratio = NAN;
    ordered_json peerJson;
    if (!peer.empty()) {
        int found = 0, right = 0, oursRight = 0;
        std::vector<double> errors, ms, ourMs, ourErrors;
        for (const Result* r : peer) {
            found += r->peerFound;
            right += r->peerRight;
            oursRight += r->rightNames;
            errors.insert(errors.end(), r->peerErrors.begin(), r->peerErrors.end());
            ourErrors.insert(ourErrors.end(), r->errors.begin(), r->errors.end());
            ms.push_back(r->peerMs);
            ourMs.push_back(r->findMs);
        }
        ratio = Median(ourMs) / Median(ms);
        std::fprintf(report, "\nOpenCV findChessboardCorners told the inner corners, on the same %zu chessboards (gray, working size):\n",
                    peer.size());
        std::fprintf(report, "  %-12s found %s%%  right %s%%  err med %s max %s  med %6.1f ms\n", "OpenCV",
                    Pct(found, int(peer.size())).c_str(), Pct(right, int(peer.size())).c_str(),
                    Num(Median(errors), "%.3f").c_str(), Num(Max(errors), "%.3f").c_str(), Median(ms));
        std::fprintf(report, "  %-12s                right %s%%  err med %s max %s  med %6.1f ms\n", "Find Grid",
                    Pct(oursRight, int(peer.size())).c_str(), Num(Median(ourErrors), "%.3f").c_str(),
                    Num(Max(ourErrors), "%.3f").c_str(), Median(ourMs));
        std::fprintf(report, "  time ratio, Find Grid / OpenCV (medians): %.2f\n", ratio);
        peerJson = {{"chessboards", peer.size()},       {"found", found},
                    {"right", right},                   {"medianError", Median(errors)},
                    {"maxError", Max(errors)},          {"medianMilliseconds", Median(ms)},
                    {"findGridRight", oursRight},       {"findGridMedianMilliseconds", Median(ourMs)},
                    {"timeRatio", ratio}};
    }

    MemoryFigures memory;
    if (o.memory && !o.quick && o.kind == "all") memory = MeasureMemory();
    if (memory.loadKb > 0 && memory.findKb > 0)
        std::fprintf(report, "\nPeak memory, 4000 x 3000 picture: load %.1f MB, load + Find Grid %.1f MB, ratio %.2f\n",
                    memory.loadKb / 1024.0, memory.findKb / 1024.0, double(memory.findKb) / memory.loadKb);

    // --- The goals ---
    const double medErr = Median(all.errors), maxErr = Max(all.errors);
    std::fprintf(report, "\nGoals:\n");
    std::fprintf(report, "  right names >= 98%% of grid pictures          %6.1f%%   %s\n", namesPct, Verdict(namesPct >= 98));
    std::fprintf(report, "  median crossing error <= 0.3 px (unoccluded) %s px  %s\n", Num(medErr, "%6.3f").c_str(),
                Verdict(medErr <= 0.3));
    std::fprintf(report, "  max crossing error <= 1.5 px (unoccluded)    %s px  %s\n", Num(maxErr, "%6.3f").c_str(),
                Verdict(maxErr <= 1.5));
    std::fprintf(report, "  no grid on >= 98%% of no-grid pictures        %6.1f%%   %s\n", noGridPct, Verdict(noGridPct >= 98));
    if (!std::isnan(vgaMedian))
        std::fprintf(report, "  640 x 480: median <= 15 ms                   %6.1f ms  %s\n", vgaMedian, Verdict(vgaMedian <= 15));
    if (!std::isnan(hugeWorst))
        std::fprintf(report, "  12 MP at working size: <= 120 ms (slowest)   %6.1f ms  %s\n", hugeWorst, Verdict(hugeWorst <= 120));
    if (!std::isnan(ratio))
        std::fprintf(report, "  chessboards: <= 3 x OpenCV's time            %6.2f x   %s\n", ratio, Verdict(ratio <= 3));
    if (memory.loadKb > 0 && memory.findKb > 0) {
        const double m = double(memory.findKb) / memory.loadKb;
        std::fprintf(report, "  peak memory <= 2 x the load's                %6.2f x   %s\n", m, Verdict(m <= 2));
    }

    int status = 0;
    if (o.minRightNames && namesPct < *o.minRightNames) {
        std::fprintf(report, "\nFAILED: right names %.1f%% < %.0f%%\n", namesPct, *o.minRightNames);
        status = 1;
    }
    if (o.maxFalseGrids && falseGrids > *o.maxFalseGrids) {
        std::fprintf(report, "\nFAILED: %d false grids > %d\n", falseGrids, *o.maxFalseGrids);
        status = 1;
    }

    if (o.json) {
        ordered_json j;
        j["set"] = o.quick ? "quick" : "benchmark";
        j["seed"] = o.seed;
        j["kind"] = o.kind;
        j["groups"] = rowsJson;
        j["noGrid"] = {{"pictures", noGrids.size()}, {"falseGrids", falseGrids}};
        j["time"] = timeJson;
        if (!peerJson.is_null()) j["opencvChessboard"] = peerJson;
        if (memory.loadKb > 0) j["peakMemoryKb"] = {{"load", memory.loadKb}, {"loadAndFindGrid", memory.findKb}};
        ordered_json pictures = ordered_json::array();
        for (const Result& r : results) {
            const gp::Truth& t = r.truth;
            ordered_json p = {{"name", r.name},
                              {"scene", gp::SceneName(t.scene)},
                              {"width", t.width},
                              {"height", t.height},
                              {"grid", t.hasGrid},
                              {"columns", t.columns},
                              {"rows", t.rows},
                              {"found", r.found.found},
                              {"foundColumns", r.found.columns},
                              {"foundRows", r.found.rows},
                              {"rightSize", r.rightSize},
                              {"rightNames", r.rightNames},
                              {"decodeMilliseconds", r.decodeMs},
                              {"findMilliseconds", r.findMs}};
            if (r.rightSize) p["worstError"] = r.worstError;
            if (r.peerRan) p["opencv"] = {{"found", r.peerFound}, {"right", r.peerRight}, {"milliseconds", r.peerMs}};
            pictures.push_back(p);
        }
        j["pictures"] = pictures;
        const std::string text = j.dump(1) + "\n";
        if (*o.json == "-") {
            std::fputs(text.c_str(), stdout);
        } else {
            std::ofstream out(*o.json, std::ios::binary);
            out << text;
            if (!out) {
                std::fprintf(stderr, "vexo_find_grid_accuracy: cannot write %s\n", o.json->c_str());
                return 2;
            }
        }
    }
    return status;
}
