// Making a picture: the settings drawn from the seed, the camera placed so
// that the grid fills enough of the frame and stays inside it with cells a
// person can tell apart, the world painted and photographed, and the truth
// taken from the same camera.
#include "grid_photos.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include <nlohmann/json.hpp>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include "photo_parts.h"
#include "test_jpegs.h"

namespace vexo::gridphotos {

namespace {

constexpr const char* kSceneNames[kSceneCount] = {"calibration", "gameboard", "sudoku", "graph", "table",
                                                  "tiles",       "text",      "street", "rectangles", "bricks",
                                                  "lined",       "frame",     "lines",  "texture", "circuit"};

// The working size: the largest M/8 at which both sides are at most 1200
// pixels (1/8 when none is), 8/8 for a picture that fits already.
constexpr int kWorkingSide = 1200;
int WorkingScale(int width, int height) {
    for (int m = 8; m >= 1; --m)
        if ((int64_t(width) * m + 7) / 8 <= kWorkingSide && (int64_t(height) * m + 7) / 8 <= kWorkingSide) return m;
    return 1;
}

struct Settings {
    int width = 0, height = 0, scale = 8;
    bool colour = false, inverted = false, occluded = false, touches = false, distorted = false, bent = false;
    double blur = 1, noise = 1;
    int quality = 90;
    double sharpen = 0, sharpenRadius = 1;  // the phone's unsharp mask (radius in working pixels)
};

// Picture sizes as phones and scanners make them; a quarter held upright.
void DrawSize(Rng& rng, bool allowHuge, int& width, int& height) {
    struct Size {
        int w, h;
        double p;
    };
    static const Size kSizes[] = {{320, 240, .05},   {640, 480, .30},   {800, 600, .12},  {1024, 768, .10},
                                  {1280, 720, .08},  {1280, 960, .08},  {1600, 1200, .10}, {1920, 1080, .05},
                                  {2048, 1536, .03}, {4000, 3000, .03}, {0, 0, .06}};
    double u = rng.Uniform() * (allowHuge ? 1.0 : 0.97);
    const Size* pick = &kSizes[1];
    for (const Size& s : kSizes) {
        if (!allowHuge && s.w == 4000) continue;
        if (u < s.p) {
            pick = &s;
            break;
        }
        u -= s.p;
    }
    width = pick->w;
    height = pick->h;
    if (width == 0) {  // a cropped photo
        width = rng.Int(300, 1100);
        height = rng.Int(300, 1100);
    }
    if (rng.Chance(0.25)) std::swap(width, height);
}

Settings DrawSettings(const PhotoRequest& q, Rng& rng) {
    Settings s;
    if (q.width && q.height) {
        s.width = *q.width;
        s.height = *q.height;
    } else if (q.width || q.height) {
        s.width = q.width.value_or(*q.height * 4 / 3);
        s.height = q.height.value_or(*q.width * 3 / 4);
    } else {
        DrawSize(rng, true, s.width, s.height);
    }
    s.scale = WorkingScale(s.width, s.height);
    const bool grid = HasGrid(q.scene);
    s.colour = q.colour.value_or(rng.Chance(0.35));
    s.inverted = q.inverted.value_or(grid && q.scene != Scene::GameBoard && rng.Chance(0.15));
    s.occluded = q.occluded.value_or(grid && rng.Chance(q.scene == Scene::GameBoard ? 0.6 : 0.22));
    s.touches = q.touchesBorder.value_or(grid && rng.Chance(0.1));
    s.distorted = q.distorted.value_or(rng.Chance(0.3));
    s.bent = q.bent.value_or(rng.Chance(0.2));
    const double u = rng.Uniform();
    s.blur = q.blur.value_or(u < 0.6 ? rng.Uniform(0.4, 1.2) : u < 0.85 ? rng.Uniform(1.2, 1.8) : rng.Uniform(1.8, 2.5));
    s.noise = q.noise.value_or(rng.Chance(0.8) ? rng.Uniform(0.5, 3.5) : rng.Uniform(3.5, 7));
    s.quality = q.quality.value_or(rng.Chance(0.6) ? rng.Int(80, 95) : rng.Int(40, 79));
    if (rng.Chance(0.6)) {
        s.sharpen = rng.Uniform(0.3, 1.0);
        s.sharpenRadius = rng.Uniform(0.8, 1.6);
    }
    return s;
}

double Distance(const Point& a, const Point& b) { return std::hypot(a.x - b.x, a.y - b.y); }

double PolygonArea(const std::vector<Point>& p) {
    double a = 0;
    for (std::size_t k = 0; k < p.size(); ++k) {
        const Point& u = p[k];
        const Point& v = p[(k + 1) % p.size()];
        a += u.x * v.y - v.x * u.y;
    }
    return std::fabs(a) / 2;
}

// Points along the border of a rectangle, `n` a side.
std::vector<cv::Point2d> Border(const RectMm& r, int n) {
    std::vector<cv::Point2d> pts;
    for (int k = 0; k < n; ++k) {
        const double t = double(k) / n;
        pts.push_back({r.x0 + t * r.width(), r.y0});
        pts.push_back({r.x1, r.y0 + t * r.height()});
        pts.push_back({r.x1 - t * r.width(), r.y1});
        pts.push_back({r.x0, r.y1 - t * r.height()});
    }
    return pts;
}

std::vector<Point> BorderCrossings(const GridPattern& g, const Camera& camera) {
    std::vector<Point> p;
    for (int a = 0; a < g.columns; ++a) p.push_back(camera.Project(a * g.cellWidth, 0));
    for (int b = 0; b < g.rows; ++b) p.push_back(camera.Project(g.columns * g.cellWidth, b * g.cellHeight));
    for (int a = g.columns; a > 0; --a) p.push_back(camera.Project(a * g.cellWidth, g.rows * g.cellHeight));
    for (int b = g.rows; b > 0; --b) p.push_back(camera.Project(0, b * g.cellHeight));
    return p;
}

struct Placement {
    Camera camera;
    NamedCrossings named;
    double tilt = 0, rotation = 0, coverage = 0;
};

double DrawTilt(Rng& rng, bool upright) {
    if (upright) return rng.Uniform(0, 15);
    const double u = rng.Uniform();
    return u < 0.25 ? rng.Uniform(0, 10) : u < 0.7 ? rng.Uniform(10, 35) : rng.Uniform(35, 50);
}

double DrawRotation(Rng& rng, bool upright) {
    if (upright) return std::fmod(360 + 4 * rng.Normal(), 360.0);
    if (rng.Chance(0.35)) return std::fmod(360 + 8 * rng.Normal(), 360.0);
    return rng.Uniform(0, 360);
}

// The camera looking at the subject's centre from `tilt` degrees off its
// normal, in the direction `azimuth`, turned about its axis by `roll`.
void Orient(Camera& cam, const cv::Vec3d& target, double tilt, double azimuth, double roll, double distance) {
    const double th = Radians(tilt);
    const cv::Vec3d toCamera(std::sin(th) * std::cos(azimuth), std::sin(th) * std::sin(azimuth), -std::cos(th));
    const cv::Vec3d z = -toCamera;
    const cv::Vec3d ex(1, 0, 0);
    const cv::Vec3d x0 = cv::normalize(ex - ex.dot(z) * z);
    const cv::Vec3d y0 = z.cross(x0);
    const cv::Vec3d xc = std::cos(roll) * x0 + std::sin(roll) * y0;
    const cv::Vec3d yc = z.cross(xc);
    cam.rotation = cv::Matx33d(xc[0], xc[1], xc[2], yc[0], yc[1], yc[2], z[0], z[1], z[2]);
    cam.centre = target + distance * toCamera;
}

double AngleAt(const Camera& cam, const cv::Vec3d& target) {
    const Point a = cam.Project3d(target), b = cam.Project3d(target + cv::Vec3d(1, 0, 0));
    return Degrees(std::atan2(b.y - a.y, b.x - a.x));
}

double Wrap360(double a) {
    a = std::fmod(a, 360.0);
    return a < 0 ? a + 360 : a;
}

std::optional<Placement> Place(const PhotoRequest& q, Settings& st, World& world, Rng& rng) {
    Placement out;
    Camera& cam = out.camera;
    cam.width = st.width;
    cam.height = st.height;
    const int W = st.width, H = st.height;
    GridPattern& g = world.grid;
    const bool grid = g.present;
    const RectMm subject = world.subject;
    const cv::Vec3d target((subject.x0 + subject.x1) / 2, (subject.y0 + subject.y1) / 2, 0);
    const double tilt = q.tiltDegrees ? *q.tiltDegrees : DrawTilt(rng, world.upright);
    const double rotation = Wrap360(q.rotationDegrees ? *q.rotationDegrees : DrawRotation(rng, world.upright));
    const double azimuth = rng.Uniform(0, 2 * kPi);
    cam.focal = std::max(W, H) / 2.0 / std::tan(Radians(rng.Uniform(55, 75)) / 2);
    cam.cx = (W - 1) / 2.0;
    cam.cy = (H - 1) / 2.0;
    const double coverage = grid ? (st.touches ? rng.Uniform(0.35, 0.8) : rng.Uniform(0.25, 0.8))
                          : world.upright ? rng.Uniform(1.6, 3.0) : rng.Uniform(0.4, 2.0);
    double distance = cam.focal * std::max(subject.width(), subject.height()) / std::sqrt(coverage * W * H);
    // The roll that turns the world's x axis to `rotation` on the picture.
    Orient(cam, target, tilt, azimuth, 0, distance);
    const double a0 = AngleAt(cam, target);
    double roll = Radians(a0 - rotation);
    Orient(cam, target, tilt, azimuth, roll, distance);
    if (std::fabs(std::remainder(AngleAt(cam, target) - rotation, 360.0)) > 1e-6) roll = Radians(rotation - a0);
    auto corners = [&] {
        return std::vector<Point>{cam.Project(subject.x0, subject.y0), cam.Project(subject.x1, subject.y0),
                                  cam.Project(subject.x1, subject.y1), cam.Project(subject.x0, subject.y1)};
    };
    for (int it = 0; it < 6; ++it) {
        Orient(cam, target, tilt, azimuth, roll, distance);
        distance *= std::sqrt(PolygonArea(corners()) / (coverage * W * H));
    }
    Orient(cam, target, tilt, azimuth, roll, distance);
    if (st.distorted) {
        cam.k1 = (rng.Chance(0.5) ? 1 : -1) * rng.Uniform(0.005, 0.025);
        cam.r0 = std::hypot(W, H) / 2;
        cam.midX = (W - 1) / 2.0;
        cam.midY = (H - 1) / 2.0;
    }
    if (st.bent && !world.rigid) {
        cam.bent = true;
        cam.pageRect = world.page;
        cam.bendAlongX = rng.Chance(0.5);
        cam.bendHump = rng.Chance(0.5);
        cam.bendDepth = rng.Uniform(0.005, 0.02) * (cam.bendAlongX ? world.page.width() : world.page.height());
    }

    if (!grid) {
        // The subject somewhere about the middle, as it comes.
        cam.cx += rng.Uniform(-0.15, 0.15) * W;
        cam.cy += rng.Uniform(-0.15, 0.15) * H;
        out.tilt = tilt;
        out.rotation = rotation;
        return out;
    }

    // Place the grid in the frame: by shifting the principal point (a crop
    // of a larger picture), which keeps every angle as it was.
    const std::vector<cv::Point2d> border = Border(g.Extent(), 24);
    const double cellPx = std::sqrt(coverage * W * H) / std::max(g.columns, g.rows);
    const double normal = std::max(3.0, 0.3 * cellPx);
    bool touch[4] = {false, false, false, false};  // left, top, right, bottom
    if (st.touches) {
        const int side = rng.Int(0, 3);
        touch[side] = true;
        if (rng.Chance(0.3)) touch[(side + 1) % 4] = true;
    }
    double margin[4];
    for (int k = 0; k < 4; ++k) margin[k] = touch[k] ? rng.Uniform(1.0, 4.0) : normal;
    const double ux = rng.Uniform(), uy = rng.Uniform();
    for (int it = 0; it < 4; ++it) {
        double x0 = 1e18, y0 = 1e18, x1 = -1e18, y1 = -1e18;
        for (const cv::Point2d& b : border) {
            const Point p = cam.Project(b.x, b.y);
            x0 = std::min(x0, p.x);
            y0 = std::min(y0, p.y);
            x1 = std::max(x1, p.x);
            y1 = std::max(y1, p.y);
        }
        const double roomX = (W - 1) - (x1 - x0) - margin[0] - margin[2];
        const double roomY = (H - 1) - (y1 - y0) - margin[1] - margin[3];
        if (roomX < 0 || roomY < 0) return std::nullopt;
        const double left = touch[0] ? margin[0] : touch[2] ? W - 1 - margin[2] - (x1 - x0) : margin[0] + ux * roomX;
        const double top = touch[1] ? margin[1] : touch[3] ? H - 1 - margin[3] - (y1 - y0) : margin[1] + uy * roomY;
        cam.cx += left - x0;
        cam.cy += top - y0;
    }
    // Everything of the grid inside the picture.
    for (const cv::Point2d& b : border) {
        const Point p = cam.Project(b.x, b.y);
        if (p.x < 0.5 || p.y < 0.5 || p.x > W - 1.5 || p.y > H - 1.5) return std::nullopt;
    }
    out.coverage = PolygonArea(BorderCrossings(g, cam)) / (double(W) * H);
    if (out.coverage < 0.25) return std::nullopt;

    out.named = NameCrossings(g.columns, g.rows, [&](double a, double b) { return cam.Project(a * g.cellWidth, b * g.cellHeight); });
    if (!q.rotationDegrees && out.named.margin < 4.0) return std::nullopt;

    // Cells a person can tell apart at the working size.
    const NamedCrossings& n = out.named;
    const double toWorking = st.scale / 8.0;
    double minSide = 1e18;
    for (int j = 0; j <= n.rows; ++j)
        for (int i = 0; i <= n.columns; ++i) {
            const Point& p = n.crossings[std::size_t(j) * (n.columns + 1) + i];
            if (i < n.columns) minSide = std::min(minSide, Distance(p, n.crossings[std::size_t(j) * (n.columns + 1) + i + 1]));
            if (j < n.rows) minSide = std::min(minSide, Distance(p, n.crossings[std::size_t(j + 1) * (n.columns + 1) + i]));
        }
    minSide *= toWorking;
    if (minSide < std::max(6.5, 3.5 * st.blur)) return std::nullopt;

    // A mild lens and a slight bend: no crossing further from the best
    // homography than a tenth of the smallest cell or 4 working pixels.
    if (cam.k1 != 0 || cam.bent) {
        std::vector<cv::Point2d> from, to;
        for (int j = 0; j <= n.rows; ++j)
            for (int i = 0; i <= n.columns; ++i) {
                from.push_back({double(i), double(j)});
                const Point& p = n.crossings[std::size_t(j) * (n.columns + 1) + i];
                to.push_back({p.x, p.y});
            }
        const cv::Mat h = cv::findHomography(from, to, 0);
        if (h.empty()) return std::nullopt;
        std::vector<cv::Point2d> mapped;
        cv::perspectiveTransform(from, mapped, h);
        double worst = 0;
        for (std::size_t k = 0; k < to.size(); ++k) worst = std::max(worst, cv::norm(mapped[k] - to[k]));
        if (worst * toWorking > std::min(4.0, 0.1 * minSide)) return std::nullopt;
    }

    // Lines that stay visible through the blur: the thinnest line's peak
    // contrast once blurred, contrast * erf(w / (2 sqrt(2) sigma)).
    if (!g.chessboard) {
        double thinHalf = 1e18;
        for (double h : g.columnHalfWidth) thinHalf = std::min(thinHalf, h);
        for (double h : g.rowHalfWidth) thinHalf = std::min(thinHalf, h);
        const double cellMm = std::min(g.cellWidth, g.cellHeight);
        auto visible = [&](double grow, double blur) {
            const double widthPx = 2 * thinHalf * grow / cellMm * minSide;
            const double sigma = std::sqrt(blur * blur + 0.09);
            return world.lineContrast * std::erf(widthPx / (2 * std::sqrt(2.0) * sigma));
        };
        double grow = 1;
        const double maxGrow = std::max(1.0, world.maxThinFraction * cellMm / (2 * thinHalf));
        while (visible(grow, st.blur) < world.neededContrast && grow < maxGrow) grow = std::min(maxGrow, grow * 1.1);
        while (visible(grow, st.blur) < world.neededContrast && !q.blur && st.blur > 0.45) st.blur *= 0.9;
        if (visible(grow, st.blur) < world.neededContrast) return std::nullopt;
        for (double& h : g.columnHalfWidth) h *= grow;
        for (double& h : g.rowHalfWidth) h *= grow;
        // The lines grew: keep them inside the picture.
        for (const cv::Point2d& b : Border(g.Extent(), 24)) {
            const Point p = cam.Project(b.x, b.y);
            if (p.x < 0 || p.y < 0 || p.x > W - 1 || p.y > H - 1) return std::nullopt;
        }
    }
    out.tilt = tilt;
    out.rotation = rotation;
    return out;
}

// The canvas over the part of the world the picture sees, fine enough for
// its nearest part (one raster pixel a sample there), within a memory cap.
Canvas MakeCanvas(const World& world, const Camera& cam, int ss) {
    double x0 = 1e18, y0 = 1e18, x1 = -1e18, y1 = -1e18, finest = 1e18;
    const int n = 24;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            const double px = -0.5 + (cam.width) * double(i) / n, py = -0.5 + (cam.height) * double(j) / n;
            double wx, wy, ax, ay, bx, by;
            if (!cam.BackProject(px, py, world.bounds, wx, wy)) continue;
            x0 = std::min(x0, wx);
            y0 = std::min(y0, wy);
            x1 = std::max(x1, wx);
            y1 = std::max(y1, wy);
            if (cam.BackProject(px + 1, py, world.bounds, ax, ay) && cam.BackProject(px, py + 1, world.bounds, bx, by))
                finest = std::min({finest, std::hypot(ax - wx, ay - wy), std::hypot(bx - wx, by - wy)});
        }
    RectMm r{x0, y0, x1, y1};
    if (x1 < x0) r = world.subject;
    r = r.grown(std::max(r.width(), r.height()) * 0.02 + 1);
    r.x0 = std::max(r.x0, world.bounds.x0);
    r.y0 = std::max(r.y0, world.bounds.y0);
    r.x1 = std::min(r.x1, world.bounds.x1);
    r.y1 = std::min(r.y1, world.bounds.y1);
    if (finest > 1e17) finest = std::max(r.width(), r.height()) / 1000;
    double scale = ss / finest;
    const double cap = std::clamp(1.5 * cam.width * cam.height * ss * ss, 1e6, 1.6e7);
    scale = std::min(scale, std::sqrt(cap / (r.width() * r.height())));
    return Canvas(r, scale);
}

// The camera's processing: the sensor's noise (more in the light, as
// photons come), then the phone's sharpening (an unsharp mask: `sharpen`
// times the detail finer than `radius`, none at 0), rounded to bytes. Gray
// pictures are the luminance; colour ones red, green, blue.
cv::Mat Develop(const cv::Mat3f& radiance, bool colour, double noise, double sharpen, double radius, Rng& rng) {
    const int w = radiance.cols, h = radiance.rows;
    cv::Mat values;
    if (!colour) {
        cv::Mat1f out(h, w);
        for (int y = 0; y < h; ++y) {
            const cv::Vec3f* in = radiance.ptr<cv::Vec3f>(y);
            float* row = out.ptr<float>(y);
            for (int x = 0; x < w; ++x) {
                const double v = Luma(in[x]);
                row[x] = float(v + noise * std::sqrt(std::max(v, 16.0) / 128.0) * rng.Normal());
            }
        }
        values = out;
    } else {
        cv::Mat3f out(h, w);
        for (int y = 0; y < h; ++y) {
            const cv::Vec3f* in = radiance.ptr<cv::Vec3f>(y);
            cv::Vec3f* row = out.ptr<cv::Vec3f>(y);
            for (int x = 0; x < w; ++x) {
                const double shared = rng.Normal();
                for (int c = 0; c < 3; ++c) {
                    const double v = in[x][2 - c];
                    const double sigma = noise * std::sqrt(std::max(v, 16.0) / 128.0);
                    row[x][c] = float(v + sigma * (0.8 * shared + 0.6 * rng.Normal()));
                }
            }
        }
        values = out;
    }
    if (sharpen > 0) {
        cv::Mat smooth;
        cv::GaussianBlur(values, smooth, cv::Size(0, 0), radius);
        cv::addWeighted(values, 1 + sharpen, smooth, -sharpen, 0, values);
    }
    cv::Mat bytes;
    values.convertTo(bytes, CV_8U);
    return bytes;
}

std::vector<uint8_t> Luminance(const cv::Mat& picture) {
    std::vector<uint8_t> gray(picture.total());
    if (picture.channels() == 1) {
        std::copy(picture.datastart, picture.dataend, gray.begin());
        return gray;
    }
    std::size_t k = 0;
    for (int y = 0; y < picture.rows; ++y) {
        const cv::Vec3b* row = picture.ptr<cv::Vec3b>(y);
        for (int x = 0; x < picture.cols; ++x)
            gray[k++] = cv::saturate_cast<uint8_t>(std::lround(0.299 * row[x][0] + 0.587 * row[x][1] + 0.114 * row[x][2]));
    }
    return gray;
}

// The camera's own map from grid coordinates to pixels (flat world,
// straight lens): K [r1 r2 t] scaled to cells, after the naming's turn.
std::array<double, 9> CameraHomography(const Camera& cam, const GridPattern& g, const NamedCrossings& n) {
    const cv::Matx33d K(cam.focal, 0, cam.cx, 0, cam.focal, cam.cy, 0, 0, 1);
    const cv::Vec3d t = -(cam.rotation * cam.centre);
    const cv::Matx33d& R = cam.rotation;
    const cv::Matx33d plane(R(0, 0), R(0, 1), t[0], R(1, 0), R(1, 1), t[1], R(2, 0), R(2, 1), t[2]);
    const cv::Matx33d cells(g.cellWidth, 0, 0, 0, g.cellHeight, 0, 0, 0, 1);
    const std::array<int, 6>& m = n.toDrawn;
    const cv::Matx33d turn(m[0], m[1], m[2], m[3], m[4], m[5], 0, 0, 1);
    const cv::Matx33d h = K * plane * cells * turn;
    std::array<double, 9> out;
    for (int k = 0; k < 9; ++k) out[std::size_t(k)] = h.val[k] / h.val[8];
    return out;
}

Point Apply(const std::array<double, 9>& h, double u, double v) {
    const double w = h[6] * u + h[7] * v + h[8];
    return {(h[0] * u + h[1] * v + h[2]) / w, (h[3] * u + h[4] * v + h[5]) / w};
}

}  // namespace

// --- Names of scenes ---

const char* SceneName(Scene scene) { return kSceneNames[int(scene)]; }

std::optional<Scene> SceneFromName(std::string_view name) {
    for (int k = 0; k < kSceneCount; ++k)
        if (name == kSceneNames[k]) return static_cast<Scene>(k);
    return std::nullopt;
}

bool HasGrid(Scene scene) { return int(scene) <= int(Scene::Tiles); }
bool IsChessboard(Scene scene) { return scene == Scene::Calibration || scene == Scene::GameBoard; }

std::string PhotoName(int index, Scene scene) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%s", index, SceneName(scene));
    return text;
}

double Truth::LocalCellSide(int i, int j) const {
    double side = 1e18;
    const Point& p = at(i, j);
    if (i > 0) side = std::min(side, std::hypot(p.x - at(i - 1, j).x, p.y - at(i - 1, j).y));
    if (i < columns) side = std::min(side, std::hypot(p.x - at(i + 1, j).x, p.y - at(i + 1, j).y));
    if (j > 0) side = std::min(side, std::hypot(p.x - at(i, j - 1).x, p.y - at(i, j - 1).y));
    if (j < rows) side = std::min(side, std::hypot(p.x - at(i, j + 1).x, p.y - at(i, j + 1).y));
    return side;
}

Verdict Judge(const Truth& t, int columns, int rows, const std::vector<Point>& crossings) {
    Verdict v;
    if (!t.hasGrid || columns != t.columns || rows != t.rows ||
        crossings.size() != std::size_t(columns + 1) * std::size_t(rows + 1))
        return v;
    v.rightSize = true;
    v.rightNames = true;
    for (int j = 0; j <= rows; ++j)
        for (int i = 0; i <= columns; ++i) {
            const double e = Distance(crossings[std::size_t(j) * (columns + 1) + i], t.at(i, j));
            v.errors.push_back(e);
            v.worstError = std::max(v.worstError, e);
            if (!(e <= 0.25 * t.LocalCellSide(i, j))) v.rightNames = false;
        }
    return v;
}

// --- The naming rule ---

NamedCrossings NameCrossings(int C, int R, const std::function<Point(double, double)>& project) {
    // The drawn axes at the grid's centre.
    const double ca = C / 2.0, cb = R / 2.0, h = 0.25;
    const Point a0 = project(ca - h, cb), a1 = project(ca + h, cb);
    const Point b0 = project(ca, cb - h), b1 = project(ca, cb + h);
    const cv::Point2d ea(a1.x - a0.x, a1.y - a0.y), eb(b1.x - b0.x, b1.y - b0.y);
    // The four turns, as (direction of i, direction of j) on the picture.
    const cv::Point2d dirs[4][2] = {{ea, eb}, {eb, -ea}, {-ea, -eb}, {-eb, ea}};
    auto off = [](cv::Point2d d, double wanted) {
        return std::fabs(std::remainder(Degrees(std::atan2(d.y, d.x)) - wanted, 360.0));
    };
    double score[4];
    int best = 0;
    for (int k = 0; k < 4; ++k) {
        // Columns to the right, rows downwards (y grows down the picture).
        score[k] = off(dirs[k][0], 0) + off(dirs[k][1], 90);
        if (score[k] < score[best]) best = k;
    }
    double second = 1e18;
    for (int k = 0; k < 4; ++k)
        if (k != best) second = std::min(second, score[k]);
    NamedCrossings n;
    n.quarterTurns = best;
    n.margin = (second - score[best]) / 2;
    // a = m[0] i + m[1] j + m[2], b = m[3] i + m[4] j + m[5].
    switch (best) {
        case 0: n.toDrawn = {1, 0, 0, 0, 1, 0}; break;
        case 1: n.toDrawn = {0, -1, C, 1, 0, 0}; break;
        case 2: n.toDrawn = {-1, 0, C, 0, -1, R}; break;
        default: n.toDrawn = {0, 1, 0, -1, 0, R}; break;
    }
    const bool across = best % 2 == 1;
    n.columns = across ? R : C;
    n.rows = across ? C : R;
    const std::array<int, 6>& m = n.toDrawn;
    for (int j = 0; j <= n.rows; ++j)
        for (int i = 0; i <= n.columns; ++i)
            n.crossings.push_back(project(m[0] * i + m[1] * j + m[2], m[3] * i + m[4] * j + m[5]));
    return n;
}

// --- The picture ---

Photo MakePhoto(const PhotoRequest& q) {
    auto bad = [](const std::string& text) { throw std::invalid_argument(text); };
    if ((q.width && (*q.width < 16 || *q.width > 16384)) || (q.height && (*q.height < 16 || *q.height > 16384)))
        bad("picture size outside 16..16384");
    if ((q.columns || q.rows) && !HasGrid(q.scene)) bad(std::string("a ") + SceneName(q.scene) + " picture has no grid");
    if ((q.columns && (*q.columns < 2 || *q.columns > 40)) || (q.rows && (*q.rows < 2 || *q.rows > 40)))
        bad("a grid has 2 to 40 cells a side");
    if (q.tiltDegrees && (*q.tiltDegrees < 0 || *q.tiltDegrees > 60)) bad("tilt outside 0..60 degrees");
    if (q.blur && (*q.blur < 0 || *q.blur > 10)) bad("blur outside 0..10");
    if (q.quality && (*q.quality < 1 || *q.quality > 100)) bad("quality outside 1..100");

    Rng rng(uint64_t(q.seed) * 0x100000001B3ull + uint64_t(q.scene) * 7919 + 1);
    Settings st = DrawSettings(q, rng);
    World world;
    std::optional<Placement> placed;
    for (int attempt = 0; attempt < 600 && !placed; ++attempt) {
        Rng trial = rng.Fork(uint64_t(attempt) + 1);
        const SceneSettings scene{q.scene, st.colour, st.inverted, q.columns, q.rows};
        world = BuildWorld(scene, trial);
        Settings s = st;
        placed = Place(q, s, world, trial);
        if (placed) st = s;
    }
    if (!placed) bad("no camera shows this grid whole with cells of at least 6.5 working pixels");
    const Camera& cam = placed->camera;
    const GridPattern& g = world.grid;

    // Samples a pixel: the grid's coverage is exact over each sample's
    // footprint, so more samples only sharpen small pictures' clutter.
    const int ss = int64_t(st.width) * st.height <= 600'000 ? 2 : 1;
    Canvas canvas = MakeCanvas(world, cam, ss);
    for (auto& layer : world.layers) layer(canvas);
    canvas.Finish();
    cv::Mat3f radiance = RenderRadiance(world, canvas, cam, ss);

    Photo photo;
    Truth& t = photo.truth;
    t.scene = q.scene;
    t.seed = q.seed;
    t.width = st.width;
    t.height = st.height;
    t.hasGrid = g.present;
    t.chessboard = g.present && g.chessboard;
    Rng finish = rng.Fork(100000);
    if (g.present) {
        const NamedCrossings& n = placed->named;
        t.columns = n.columns;
        t.rows = n.rows;
        t.crossings = n.crossings;
        t.covered.assign(t.crossings.size(), 0);
        if (st.occluded) {
            // Something covering a few crossings, not more.
            const int allowed = std::max(2, int(t.crossings.size() * (q.scene == Scene::GameBoard ? 0.2 : 0.12)));
            for (int attempt = 0; attempt < 16; ++attempt) {
                cv::Mat3f trial = radiance.clone();
                Rng r = finish.Fork(uint64_t(attempt) + 1);
                const cv::Mat1b mask = DrawOccluders(trial, world, cam, q.scene, r);
                std::vector<uint8_t> covered(t.crossings.size(), 0);
                int count = 0;
                for (int j = 0; j <= t.rows; ++j)
                    for (int i = 0; i <= t.columns; ++i) {
                        const Point& p = t.at(i, j);
                        const double radius = std::max(1.5, 0.2 * t.LocalCellSide(i, j));
                        bool hit = false;
                        for (int y = int(std::floor(p.y - radius)); y <= int(std::ceil(p.y + radius)) && !hit; ++y)
                            for (int x = int(std::floor(p.x - radius)); x <= int(std::ceil(p.x + radius)) && !hit; ++x)
                                if (x >= 0 && y >= 0 && x < mask.cols && y < mask.rows &&
                                    std::hypot(x - p.x, y - p.y) <= radius && mask(y, x) >= 128)
                                    hit = true;
                        covered[std::size_t(j) * (t.columns + 1) + i] = hit;
                        count += hit;
                    }
                if (count >= 1 && count <= allowed) {
                    radiance = trial;
                    t.covered = covered;
                    break;
                }
            }
        }
        // Cell sides.
        std::vector<double> sides;
        for (int j = 0; j <= t.rows; ++j)
            for (int i = 0; i <= t.columns; ++i) {
                if (i < t.columns) sides.push_back(Distance(t.at(i, j), t.at(i + 1, j)));
                if (j < t.rows) sides.push_back(Distance(t.at(i, j), t.at(i, j + 1)));
            }
        std::sort(sides.begin(), sides.end());
        t.cellSize = sides[sides.size() / 2];
        t.minCellSide = sides.front();
        // The homography: the camera's own, or the best fit to the crossings.
        if (!cam.bent && cam.k1 == 0) {
            t.homography = CameraHomography(cam, g, n);
        } else {
            std::vector<cv::Point2d> from, to;
            for (int j = 0; j <= t.rows; ++j)
                for (int i = 0; i <= t.columns; ++i) {
                    from.push_back({double(i), double(j)});
                    to.push_back({t.at(i, j).x, t.at(i, j).y});
                }
            const cv::Mat h = cv::findHomography(from, to, 0);
            for (int k = 0; k < 9; ++k) t.homography[std::size_t(k)] = h.at<double>(k / 3, k % 3) / h.at<double>(2, 2);
        }
        double residual = 0;
        for (int j = 0; j <= t.rows; ++j)
            for (int i = 0; i <= t.columns; ++i)
                residual = std::max(residual, Distance(Apply(t.homography, i, j), t.at(i, j)));
        t.conditions.bendResidual = residual;
    }

    Light(radiance, world, finish);
    const double sigma = st.blur * 8.0 / st.scale;
    if (sigma > 0.2) cv::GaussianBlur(radiance, radiance, cv::Size(0, 0), sigma);
    const cv::Mat picture = Develop(radiance, st.colour, st.noise, st.sharpen, st.sharpenRadius * 8.0 / st.scale, finish);
    photo.gray = Luminance(picture);

    testjpeg::JpegOptions options;
    options.width = st.width;
    options.height = st.height;
    options.colour = st.colour ? testjpeg::Colour::kRgb : testjpeg::Colour::kGray;
    options.quality = st.quality;
    std::vector<uint8_t> samples(picture.datastart, picture.dataend);
    photo.jpeg = testjpeg::EncodeJpeg(options, samples);

    Conditions& c = t.conditions;
    c.tiltDegrees = placed->tilt;
    c.rotationDegrees = placed->rotation;
    c.inverted = st.inverted && g.present;
    c.colour = st.colour;
    c.occluded = std::any_of(t.covered.begin(), t.covered.end(), [](uint8_t v) { return v != 0; });
    c.touchesBorder = st.touches && g.present;
    c.distorted = cam.k1 != 0;
    c.bent = cam.bent;
    c.blur = st.blur;
    c.noise = st.noise;
    c.quality = st.quality;
    c.sharpened = st.sharpen > 0;
    c.workingScale = st.scale;
    c.coverage = placed->coverage;
    return photo;
}

// --- Truth as JSON ---

std::string TruthJson(const Truth& t, const std::string& fileName) {
    using nlohmann::ordered_json;
    auto round = [](double v) { return std::round(v * 1e4) / 1e4; };
    ordered_json j;
    j["file"] = fileName;
    j["width"] = t.width;
    j["height"] = t.height;
    j["scene"] = SceneName(t.scene);
    j["seed"] = t.seed;
    j["grid"] = t.hasGrid;
    if (t.hasGrid) {
        j["kind"] = t.chessboard ? "chessboard" : "ruled";
        j["columns"] = t.columns;
        j["rows"] = t.rows;
        ordered_json crossings = ordered_json::array(), covered = ordered_json::array();
        for (int r = 0; r <= t.rows; ++r) {
            ordered_json row = ordered_json::array(), cov = ordered_json::array();
            for (int i = 0; i <= t.columns; ++i) {
                row.push_back({round(t.at(i, r).x), round(t.at(i, r).y)});
                cov.push_back(t.coveredAt(i, r));
            }
            crossings.push_back(row);
            covered.push_back(cov);
        }
        j["crossings"] = crossings;
        ordered_json h = ordered_json::array();
        for (int r = 0; r < 3; ++r)
            h.push_back({t.homography[std::size_t(r * 3)], t.homography[std::size_t(r * 3 + 1)], t.homography[std::size_t(r * 3 + 2)]});
        j["homography"] = h;
        j["covered"] = covered;
        j["cellSize"] = round(t.cellSize);
        j["minCellSide"] = round(t.minCellSide);
    }
    const Conditions& c = t.conditions;
    j["conditions"] = {{"tilt", round(c.tiltDegrees)},
                       {"rotation", round(c.rotationDegrees)},
                       {"inverted", c.inverted},
                       {"colour", c.colour},
                       {"occluded", c.occluded},
                       {"touchesBorder", c.touchesBorder},
                       {"distorted", c.distorted},
                       {"bent", c.bent},
                       {"blur", round(c.blur)},
                       {"noise", round(c.noise)},
                       {"quality", c.quality},
                       {"sharpened", c.sharpened},
                       {"workingScale", c.workingScale},
                       {"coverage", round(c.coverage)},
                       {"homographyResidual", round(c.bendResidual)}};
    // One key a line; the crossings and the covered flags one row a line.
    std::string text = "{\n";
    for (auto it = j.begin(); it != j.end(); ++it) {
        text += " \"" + it.key() + "\": ";
        if ((it.key() == "crossings" || it.key() == "covered" || it.key() == "homography") && it->is_array()) {
            text += "[\n";
            for (std::size_t r = 0; r < it->size(); ++r)
                text += "  " + (*it)[r].dump() + (r + 1 < it->size() ? ",\n" : "\n");
            text += " ]";
        } else {
            text += it->dump();
        }
        text += std::next(it) != j.end() ? ",\n" : "\n";
    }
    return text + "}\n";
}

// --- Sets ---

std::vector<PhotoRequest> BenchmarkSet(int gridCount, int noGridCount, uint32_t seed) {
    // The grid scenes in fixed shares: chessboards and sudokus most.
    static const Scene kGridCycle[] = {Scene::Calibration, Scene::Sudoku, Scene::GraphPaper, Scene::GameBoard,
                                       Scene::Table,       Scene::Tiles,  Scene::Calibration, Scene::Sudoku,
                                       Scene::GameBoard,   Scene::GraphPaper, Scene::Table,   Scene::Tiles,
                                       Scene::Calibration, Scene::Sudoku};
    std::vector<PhotoRequest> set;
    Rng rng(uint64_t(seed) * 0x2545F4914F6CDD1Dull + 99);
    for (int k = 0; k < gridCount; ++k) {
        PhotoRequest q;
        q.scene = kGridCycle[k % 14];
        q.seed = uint32_t(rng.Next());
        int w, h;
        if (k % 30 == 17) {
            w = 4000;
            h = 3000;
        } else {
            DrawSize(rng, false, w, h);
        }
        q.width = w;
        q.height = h;
        set.push_back(q);
    }
    for (int k = 0; k < noGridCount; ++k) {
        PhotoRequest q;
        q.scene = static_cast<Scene>(int(Scene::TextPage) + k % (kSceneCount - int(Scene::TextPage)));
        q.seed = uint32_t(rng.Next());
        int w, h;
        if (k % 50 == 23) {
            w = 4000;
            h = 3000;
        } else {
            DrawSize(rng, false, w, h);
        }
        q.width = w;
        q.height = h;
        set.push_back(q);
    }
    return set;
}

std::vector<PhotoRequest> QuickSet() {
    std::vector<PhotoRequest> set;
    auto add = [&](Scene scene, uint32_t seed, int w, int h) -> PhotoRequest& {
        PhotoRequest q;
        q.scene = scene;
        q.seed = seed;
        q.width = w;
        q.height = h;
        set.push_back(q);
        return set.back();
    };
    {
        PhotoRequest& q = add(Scene::Calibration, 101, 640, 480);
        q.columns = 10, q.rows = 7, q.tiltDegrees = 25, q.rotationDegrees = 8, q.occluded = false;
    }
    {
        PhotoRequest& q = add(Scene::Calibration, 102, 640, 480);
        q.columns = 9, q.rows = 6, q.tiltDegrees = 45, q.rotationDegrees = 200, q.occluded = false;
    }
    {
        PhotoRequest& q = add(Scene::Calibration, 103, 480, 640);
        q.inverted = true, q.tiltDegrees = 15, q.rotationDegrees = 100;
    }
    {
        PhotoRequest& q = add(Scene::Calibration, 104, 640, 480);
        q.occluded = true, q.blur = 1.8, q.colour = true;
    }
    {
        PhotoRequest& q = add(Scene::GameBoard, 105, 800, 600);
        q.occluded = true, q.colour = true, q.tiltDegrees = 30;
    }
    {
        PhotoRequest& q = add(Scene::GameBoard, 106, 640, 480);
        q.occluded = false, q.rotationDegrees = 290, q.tiltDegrees = 40;
    }
    {
        PhotoRequest& q = add(Scene::Sudoku, 107, 640, 480);
        q.rotationDegrees = 75, q.tiltDegrees = 20, q.occluded = false;
    }
    {
        PhotoRequest& q = add(Scene::Sudoku, 108, 558, 563);
        q.blur = 2.0, q.quality = 45, q.occluded = false;
    }
    {
        PhotoRequest& q = add(Scene::Sudoku, 109, 640, 480);
        q.occluded = true, q.bent = true, q.distorted = true;
    }
    {
        PhotoRequest& q = add(Scene::Sudoku, 110, 4000, 3000);
        q.tiltDegrees = 20, q.occluded = false;
    }
    {
        PhotoRequest& q = add(Scene::GraphPaper, 111, 800, 600);
        q.columns = 20, q.rows = 15, q.colour = true, q.occluded = false;
    }
    {
        PhotoRequest& q = add(Scene::GraphPaper, 112, 1024, 768);
        q.columns = 40, q.rows = 30, q.tiltDegrees = 10, q.blur = 0.6, q.occluded = false;
    }
    {
        PhotoRequest& q = add(Scene::GraphPaper, 113, 640, 480);
        q.inverted = true, q.tiltDegrees = 38;
    }
    {
        PhotoRequest& q = add(Scene::Table, 114, 640, 480);
        q.columns = 6, q.rows = 4, q.rotationDegrees = 180, q.occluded = false;
    }
    {
        PhotoRequest& q = add(Scene::Table, 115, 320, 240);
        q.columns = 2, q.rows = 2, q.occluded = false;
    }
    {
        PhotoRequest& q = add(Scene::Tiles, 116, 640, 480);
        q.colour = true, q.occluded = false, q.tiltDegrees = 30;
    }
    {
        PhotoRequest& q = add(Scene::Tiles, 117, 640, 480);
        q.inverted = true, q.occluded = true;
    }
    {
        PhotoRequest& q = add(Scene::Sudoku, 118, 640, 480);
        q.touchesBorder = true, q.occluded = false, q.rotationDegrees = 3;
    }
    {
        PhotoRequest& q = add(Scene::Sudoku, 119, 640, 480);
        q.inverted = true, q.blur = 1.6, q.tiltDegrees = 42, q.occluded = false;
    }
    {
        PhotoRequest& q = add(Scene::Calibration, 120, 1600, 1200);
        q.tiltDegrees = 48, q.occluded = false, q.distorted = true;
    }
    for (int k = int(Scene::TextPage); k < kSceneCount; ++k) add(static_cast<Scene>(k), uint32_t(200 + k), k % 2 ? 640 : 480, k % 2 ? 480 : 640);
    return set;
}

}  // namespace vexo::gridphotos
