// The worlds the camera looks at: what lies on the desk or hangs on the
// wall, in millimetres, with the grid (when there is one) at the origin:
// crossing (a, b) at (a * cellWidth, b * cellHeight). Everything but the
// grid's own lines and dark squares is painted into the canvas by layers.
#include <algorithm>
#include <cmath>
#include <string>

#include <opencv2/imgproc.hpp>

#include "photo_parts.h"

namespace vexo::gridphotos {

namespace {

using Layer = std::function<void(Canvas&)>;

// --- Words and text ---

const std::vector<std::string> kSyllables = {
    "the", "and", "ing", "er", "an", "re", "on", "at", "en", "nd", "ti", "es", "or", "te", "of", "ed", "is",
    "it", "al", "ar", "st", "to", "nt", "ha", "ve", "ou", "ea", "hi", "as", "ro", "li", "ra", "co", "me",
    "de", "ne", "ri", "ma", "ca", "la", "po", "tion", "ment", "ness", "ly", "pro", "con", "sta", "ver"};

std::string Word(Rng& rng) {
    if (rng.Chance(0.07)) return std::to_string(rng.Int(1, 2024));
    std::string w;
    const int n = rng.Chance(0.3) ? 1 : rng.Int(2, 4);
    for (int i = 0; i < n; ++i) w += rng.Pick(kSyllables);
    if (rng.Chance(0.12)) w[0] = char(std::toupper(static_cast<unsigned char>(w[0])));
    if (rng.Chance(0.08)) w += rng.Chance(0.5) ? "," : ".";
    return w;
}

// Lines of words filling [x0, x1] on the baseline y; keeps to `free` parts.
void TextLine(Canvas& c, double x0, double x1, double y, double cap, const Colour& ink, int font, Rng& rng,
              double fill = 1.0) {
    const double space = c.TextWidth("n", cap, font) * 0.9;
    double x = x0;
    const double end = x0 + (x1 - x0) * fill;
    while (true) {
        const std::string w = Word(rng);
        const double width = c.TextWidth(w, cap, font);
        if (x + width > end) break;
        c.Text(w, x, y, cap, ink, font);
        x += width + space;
    }
}

// The free parts of [x0, x1] at the band y0..y1, once the keep-out boxes
// are taken away; only parts at least `minWidth` long.
std::vector<std::pair<double, double>> FreeParts(double x0, double x1, double y0, double y1,
                                                 const std::vector<RectMm>& keepOut, double minWidth) {
    std::vector<std::pair<double, double>> parts{{x0, x1}};
    for (const RectMm& k : keepOut) {
        if (k.y1 < y0 || k.y0 > y1) continue;
        std::vector<std::pair<double, double>> next;
        for (auto [a, b] : parts) {
            if (k.x1 <= a || k.x0 >= b) {
                next.push_back({a, b});
                continue;
            }
            if (k.x0 > a) next.push_back({a, k.x0});
            if (k.x1 < b) next.push_back({k.x1, b});
        }
        parts = next;
    }
    std::vector<std::pair<double, double>> wide;
    for (auto p : parts)
        if (p.second - p.first >= minWidth) wide.push_back(p);
    return wide;
}

// A block of text lines over `area`, flowing around the keep-out boxes.
void TextBlock(Canvas& c, const RectMm& area, double spacing, double cap, const Colour& ink, int font, Rng rng,
               const std::vector<RectMm>& keepOut = {}) {
    for (double y = area.y0 + cap; y <= area.y1; y += spacing) {
        if (rng.Chance(0.06)) continue;  // a paragraph break
        const double fill = rng.Chance(0.1) ? rng.Uniform(0.3, 0.9) : 1.0;
        for (auto [a, b] : FreeParts(area.x0, area.x1, y - cap * 1.2, y + cap * 0.4, keepOut, cap * 4))
            TextLine(c, a, b, y, cap, ink, font, rng, fill);
    }
}

// Newspaper columns over `page` around the keep-out boxes, with rules
// between them and a headline.
void Newspaper(Canvas& c, const RectMm& page, std::vector<RectMm> keepOut, const Colour& ink, Rng rng) {
    const double margin = rng.Uniform(8, 15);
    const RectMm inner{page.x0 + margin, page.y0 + margin, page.x1 - margin, page.y1 - margin};
    const double colWidth = rng.Uniform(40, 65), gutter = rng.Uniform(3, 6);
    const int cols = std::max(1, int((inner.width() + gutter) / (colWidth + gutter)));
    const double w = (inner.width() - gutter * (cols - 1)) / cols;
    const double cap = rng.Uniform(1.3, 2.0), spacing = cap * rng.Uniform(1.6, 1.9);
    // Boxes over a column or two (an advertisement, a weather table, a
    // notice), framed, with their own text; the columns flow around them.
    for (int k = rng.Int(0, 3); k > 0; --k) {
        const int span = std::min(cols, rng.Int(1, 2)), first = rng.Int(0, cols - span);
        const double x0 = inner.x0 + first * (w + gutter), x1 = x0 + span * w + (span - 1) * gutter;
        const double h = rng.Uniform(25, 70), y0 = rng.Uniform(inner.y0, std::max(inner.y0, inner.y1 - h));
        const RectMm box{x0, y0, x1, y0 + h};
        bool clear = true;
        for (const RectMm& o : keepOut)
            clear = clear && (box.x1 + 3 < o.x0 || box.x0 - 3 > o.x1 || box.y1 + 3 < o.y0 || box.y0 - 3 > o.y1);
        if (!clear) continue;
        c.StrokeRect(box, rng.Uniform(0.2, 1.2), ink);
        if (rng.Chance(0.4)) c.FillRect(box.grown(-2), Mix(Gray(200), ink, rng.Uniform(0.1, 0.3)));
        const double boxCap = rng.Uniform(2, 5);
        TextLine(c, box.x0 + 3, box.x1 - 3, box.y0 + 3 + boxCap, boxCap, ink, rng.Int(0, 3), rng);
        TextBlock(c, {box.x0 + 3, box.y0 + 6 + boxCap * 1.5, box.x1 - 3, box.y1 - 3}, spacing, cap, ink, 0, rng.Fork(77));
        keepOut.push_back(box.grown(2));
    }
    const bool rules = rng.Chance(0.5);
    double top = inner.y0;
    if (rng.Chance(0.7)) {
        const double h = rng.Uniform(6, 14);
        for (auto [a, b] : FreeParts(inner.x0, inner.x1, top, top + h * 1.3, keepOut, h * 5))
            TextLine(c, a, b, top + h, h, ink, rng.Int(1, 3), rng, rng.Uniform(0.5, 1.0));
        top += h * 2;
    }
    for (int k = 0; k < cols; ++k) {
        const double x0 = inner.x0 + k * (w + gutter);
        TextBlock(c, {x0, top, x0 + w, inner.y1}, spacing, cap, ink, rng.Chance(0.8) ? 2 : 0, rng.Fork(uint64_t(k)),
                  keepOut);
        if (rules && k + 1 < cols) {
            const double x = x0 + w + gutter / 2;
            // Rules stop at the keep-out boxes.
            double y = top;
            while (y < inner.y1) {
                double yEnd = inner.y1;
                bool blocked = false;
                for (const RectMm& o : keepOut)
                    if (x > o.x0 && x < o.x1) {
                        if (o.y0 <= y && o.y1 > y) {
                            y = o.y1;
                            blocked = true;
                            break;
                        }
                        if (o.y0 > y) yEnd = std::min(yEnd, o.y0);
                    }
                if (blocked) continue;
                c.Line({x, y}, {x, yEnd}, 0.2, Mix(ink, Gray(200), 0.3));
                y = yEnd + 0.01;
                if (yEnd >= inner.y1) break;
            }
        }
    }
}

// --- Surfaces ---

enum class DeskStyle { Wood, Laminate, DarkCloth, LightTable, Stone };

Colour DeskColour(DeskStyle style, bool colour, Rng& rng) {
    switch (style) {
        case DeskStyle::Wood:
            return colour ? Bgr(rng.Uniform(40, 80), rng.Uniform(85, 130), rng.Uniform(130, 180)) : Gray(rng.Uniform(90, 140));
        case DeskStyle::Laminate: return Gray(rng.Uniform(120, 190));
        case DeskStyle::DarkCloth:
            return colour ? Bgr(rng.Uniform(20, 70), rng.Uniform(20, 50), rng.Uniform(15, 45)) : Gray(rng.Uniform(20, 50));
        case DeskStyle::LightTable: return Gray(rng.Uniform(185, 225));
        case DeskStyle::Stone: return Gray(rng.Uniform(100, 170));
    }
    return Gray(128);
}

void PaintDesk(Canvas& c, const RectMm& r, DeskStyle style, const Colour& base, Rng rng) {
    c.FillRect(r, base);
    const ValueNoise fine(rng.Next(), 3.0, 3), broad(rng.Next(), 120.0, 2);
    if (style == DeskStyle::Wood) {
        const double angle = rng.Chance(0.5) ? 0 : kPi / 2;
        const double ca = std::cos(angle), sa = std::sin(angle);
        const double period = rng.Uniform(4, 12);
        const ValueNoise warp(rng.Next(), 60.0, 2);
        c.Paint(r, 0.6, [=](double x, double y) {
            const double along = ca * x + sa * y, across = -sa * x + ca * y;
            const double ring = std::sin((across + 25 * warp(along * 0.2, across)) * 2 * kPi / period);
            const double k = 0.88 + 0.1 * ring + 0.08 * (fine(x * 0.3, y * 3) - 0.5);
            return Gray(k);
        }, true);
        // Boards of the desk: seams every few hundred millimetres.
        const double board = rng.Uniform(90, 200);
        for (double t = std::floor((angle == 0 ? r.y0 : r.x0) / board) * board; t < (angle == 0 ? r.y1 : r.x1); t += board) {
            if (angle == 0) c.Line({r.x0, t}, {r.x1, t}, 0.8, Scaled(base, 0.55));
            else c.Line({t, r.y0}, {t, r.y1}, 0.8, Scaled(base, 0.55));
        }
    } else {
        const double amount = style == DeskStyle::Stone ? 0.2 : style == DeskStyle::DarkCloth ? 0.15 : 0.06;
        c.Paint(r, 1.0, [=](double x, double y) {
            return Gray(1 + amount * (fine(x, y) - 0.5) * 2 + 0.08 * (broad(x, y) - 0.5));
        }, true);
    }
}

// Paper: its colour with a fine grain and a few broad blotches.
void PaintPaper(Canvas& c, const RectMm& r, const Colour& colour, double grain, Rng rng) {
    c.FillRect(r, colour);
    const ValueNoise fine(rng.Next(), 0.5, 2), broad(rng.Next(), 60.0, 2);
    c.Paint(r, 0.35, [=](double x, double y) {
        return Gray(1 + grain * (fine(x, y) - 0.5) * 2 + grain * 0.8 * (broad(x, y) - 0.5));
    }, true);
}

// A pen or pencil lying from a to b.
void PaintPen(Canvas& c, cv::Point2d a, cv::Point2d b, double width, const Colour& body, Rng& rng) {
    const cv::Point2d d = b - a;
    const double len = std::hypot(d.x, d.y);
    const cv::Point2d u = d / len, n(-u.y, u.x);
    const cv::Point2d tipStart = b - u * width * 2.5;
    // The body, a highlight along it and the tip.
    c.FillPolygon({a - n * width / 2, tipStart - n * width / 2, tipStart + n * width / 2, a + n * width / 2}, body);
    c.Line(a - n * width * 0.2, tipStart - n * width * 0.2, width * 0.15, Mix(body, Gray(255), 0.5));
    c.FillPolygon({tipStart - n * width / 2, b, tipStart + n * width / 2}, rng.Chance(0.5) ? Gray(200) : Gray(40));
}

// Random desk things outside `keep`: other sheets, pens, a phone.
void DeskClutter(Canvas& c, const RectMm& desk, const RectMm& keep, bool colour, Rng rng) {
    const int count = rng.Int(1, 5);
    for (int k = 0; k < count; ++k) {
        for (int attempt = 0; attempt < 12; ++attempt) {
            const double x = rng.Uniform(desk.x0, desk.x1), y = rng.Uniform(desk.y0, desk.y1);
            const int kind = rng.Int(0, 2);
            const double size = kind == 0 ? rng.Uniform(60, 200) : rng.Uniform(100, 160);
            const RectMm box{x - size / 2, y - size / 2, x + size / 2, y + size / 2};
            if (box.x1 > keep.x0 && box.x0 < keep.x1 && box.y1 > keep.y0 && box.y0 < keep.y1) continue;
            if (kind == 0) {
                const double w = rng.Uniform(60, 150), h = rng.Uniform(60, 200), a = Radians(rng.Uniform(-25, 25));
                std::vector<cv::Point2d> pts;
                for (auto [px, py] : {std::pair{-1, -1}, {1, -1}, {1, 1}, {-1, 1}})
                    pts.push_back({x + std::cos(a) * px * w / 2 - std::sin(a) * py * h / 2,
                                   y + std::sin(a) * px * w / 2 + std::cos(a) * py * h / 2});
                c.FillPolygon(pts, Gray(rng.Uniform(200, 240)));
                for (int line = 0; line < 6; ++line) {
                    const double t = -0.35 + 0.12 * line;
                    const cv::Point2d p0 = pts[0] + (pts[3] - pts[0]) * (t + 0.5) + (pts[1] - pts[0]) * 0.1;
                    const cv::Point2d p1 = pts[0] + (pts[3] - pts[0]) * (t + 0.5) + (pts[1] - pts[0]) * 0.85;
                    c.Line(p0, p1, 1.2, Gray(150));
                }
            } else if (kind == 1) {
                const double a = rng.Uniform(0, 2 * kPi), len = rng.Uniform(120, 160);
                const Colour body = colour ? Bgr(rng.Uniform(20, 200), rng.Uniform(20, 200), rng.Uniform(20, 200))
                                           : Gray(rng.Uniform(20, 200));
                PaintPen(c, {x, y}, {x + std::cos(a) * len, y + std::sin(a) * len}, rng.Uniform(7, 11), body, rng);
            } else {
                const double w = 70, h = 145, a = Radians(rng.Uniform(-40, 40));
                std::vector<cv::Point2d> pts;
                for (auto [px, py] : {std::pair{-1, -1}, {1, -1}, {1, 1}, {-1, 1}})
                    pts.push_back({x + std::cos(a) * px * w / 2 - std::sin(a) * py * h / 2,
                                   y + std::sin(a) * px * w / 2 + std::cos(a) * py * h / 2});
                c.FillPolygon(pts, Gray(25));
            }
            break;
        }
    }
}

// Lines of the grid as printed: half widths per line.
std::vector<double> Halves(int count, const std::function<double(int)>& width) {
    std::vector<double> h(std::size_t(count) + 1);
    for (int k = 0; k <= count; ++k) h[std::size_t(k)] = width(k) / 2;
    return h;
}

// The desk around a page, painted, with clutter, and the room beyond.
void AddDesk(World& w, const RectMm& page, bool colour, Rng& rng, bool clutter = true) {
    const double reach = std::max(page.width(), page.height()) * rng.Uniform(0.8, 2.0) + 100;
    w.bounds = page.grown(reach);
    const DeskStyle style = static_cast<DeskStyle>(rng.Int(0, 4));
    const Colour base = DeskColour(style, colour, rng);
    const RectMm bounds = w.bounds;
    w.layers.push_back([=, r = rng.Fork(1)](Canvas& c) { PaintDesk(c, bounds, style, base, r); });
    if (clutter)
        w.layers.push_back([=, r = rng.Fork(2)](Canvas& c) { DeskClutter(c, bounds, page.grown(5), colour, r); });
    w.room = Gray(rng.Uniform(40, 110));
}

Colour PaperColour(bool colour, Rng& rng, bool newsprint = false) {
    if (newsprint)
        return colour ? Bgr(rng.Uniform(175, 200), rng.Uniform(195, 215), rng.Uniform(205, 225)) : Gray(rng.Uniform(185, 215));
    if (colour && rng.Chance(0.3)) return Bgr(rng.Uniform(180, 215), rng.Uniform(215, 235), rng.Uniform(225, 245));
    return Gray(rng.Uniform(205, 240));
}

// --- Grid scenes ---

World Sudoku(const SceneSettings& s, Rng& rng) {
    World w;
    GridPattern& g = w.grid;
    g.present = true;
    g.columns = s.columns.value_or(9);
    g.rows = s.rows.value_or(9);
    const double cell = rng.Uniform(7, 11);
    g.cellWidth = g.cellHeight = cell;
    const double thin = cell * rng.Uniform(0.025, 0.06);
    const double thick = std::max(thin * rng.Uniform(2.0, 3.5), cell * 0.06);
    const double border = thick * rng.Uniform(1.0, 1.5);
    auto widths = [&](int n) {
        return Halves(n, [&](int k) { return k == 0 || k == n ? border : k % 3 == 0 ? thick : thin; });
    };
    g.columnHalfWidth = widths(g.columns);
    g.rowHalfWidth = widths(g.rows);
    const bool newspaper = rng.Chance(0.6);
    const Colour paper = s.inverted ? Bgr(rng.Uniform(40, 90), rng.Uniform(20, 50), rng.Uniform(10, 40))
                                    : PaperColour(s.colour, rng, newspaper);
    const Colour sheet = PaperColour(s.colour, rng, newspaper);
    const Colour ink = s.inverted ? Gray(rng.Uniform(215, 245)) : Gray(rng.Uniform(15, 55));
    g.ink = ink;
    g.opacity = rng.Uniform(0.85, 1.0);
    g.inkVariation = rng.Uniform(0.0, 0.15);
    w.lineContrast = std::fabs(Luma(paper) - Luma(ink)) * g.opacity;
    w.neededContrast = 28;
    w.maxThinFraction = 0.1;
    const RectMm ext = g.Extent();
    w.subject = ext;
    const double gap = rng.Uniform(0.3, 0.6) * cell;
    // The box around the grid (dark for an inverted print) and its title.
    const RectMm box = ext.grown(s.inverted ? gap * 0.8 : 0);
    const double titleCap = cell * rng.Uniform(0.35, 0.6);
    const bool title = rng.Chance(0.7);
    RectMm keep = ext.grown(gap);
    if (title) keep.y0 -= titleCap * 3.2;
    RectMm page;
    if (newspaper) {
        page = {ext.x0 - rng.Uniform(25, 160), keep.y0 - rng.Uniform(20, 160), ext.x1 + rng.Uniform(25, 160),
                ext.y1 + rng.Uniform(25, 160)};
    } else {
        page = keep.grown(rng.Uniform(12, 40));
        page.y1 += rng.Uniform(0, 60);
    }
    w.page = page;
    AddDesk(w, page, s.colour, rng);
    const Colour textInk = Gray(rng.Uniform(20, 60));
    w.layers.push_back([=, r = rng.Fork(3)](Canvas& c) mutable {
        PaintPaper(c, page, sheet, newspaper ? 0.06 : 0.03, r.Fork(1));
        if (newspaper) Newspaper(c, page, {keep}, textInk, r.Fork(2));
        if (s.inverted) c.FillRect(box, paper);
        if (title) {
            c.Text(r.Chance(0.5) ? "SUDOKU" : "Sudoku", ext.x0, keep.y0 + titleCap * 1.3, titleCap, textInk, r.Int(0, 3));
            TextLine(c, ext.x0, ext.x1, keep.y0 + titleCap * 2.8, titleCap * 0.45, textInk, 0, r, 0.9);
        }
        // Given digits, and a few pencilled in.
        // Digits about half a cell tall (these fonts' digits are about as
        // wide), clear of the lines.
        const double digit = cell * r.Uniform(0.42, 0.58);
        const int font = r.Int(0, 3);
        const double given = r.Uniform(0.22, 0.4), pencil = r.Chance(0.3) ? r.Uniform(0.05, 0.2) : 0.0;
        for (int b = 0; b < g.rows; ++b)
            for (int a = 0; a < g.columns; ++a) {
                const std::string d(1, char('1' + r.Int(0, 8)));
                const double dw = c.TextWidth(d, digit, font);
                const double u = r.Uniform();
                if (u < given)
                    c.Text(d, (a + 0.5) * cell - dw / 2, (b + 0.5) * cell + digit / 2, digit, ink, font, 0.14);
                else if (u < given + pencil)
                    c.Text(d, (a + 0.5) * cell - dw / 2 + r.Uniform(-0.05, 0.05) * cell,
                           (b + 0.5) * cell + digit / 2 + r.Uniform(-0.05, 0.05) * cell, digit * 0.85,
                           s.inverted ? Gray(170) : Gray(110), 4, 0.08);
            }
    });
    if (newspaper && rng.Chance(0.5)) {
        // A fold across the page: a soft crease, darker on one side.
        const bool alongX = rng.Chance(0.5);
        const double at = alongX ? rng.Uniform(page.y0, page.y1) : rng.Uniform(page.x0, page.x1);
        const double soft = rng.Uniform(2, 8), depth = rng.Uniform(0.05, 0.15);
        w.shade = [=](double x, double y) {
            if (!page.contains(x, y)) return 1.0;
            const double d = ((alongX ? y : x) - at) / soft;
            return 1.0 - depth * std::exp(-d * d) * (d < 0 ? 1.0 : 0.4);
        };
    }
    return w;
}

World GraphPaper(const SceneSettings& s, Rng& rng) {
    World w;
    GridPattern& g = w.grid;
    g.present = true;
    const double u = rng.Uniform();
    const int major = u < 0.5 ? 5 : u < 0.7 ? 10 : 0;
    auto count = [&](std::optional<int> asked) {
        if (asked) return *asked;
        if (major) return major * rng.Int(1, 40 / major);
        return rng.Int(4, 40);
    };
    g.columns = count(s.columns);
    g.rows = count(s.rows);
    if (g.columns * g.rows < 16 && !s.columns && !s.rows) g.columns = g.rows = std::max(g.columns, 4);
    const double cell = rng.Chance(0.6) ? 5.0 : rng.Pick(std::vector<double>{2.5, 4.0, 6.35, 10.0});
    g.cellWidth = g.cellHeight = cell;
    const double thin = cell * rng.Uniform(0.025, 0.07);
    const double thick = thin * rng.Uniform(1.8, 2.6);
    auto widths = [&](int n) { return Halves(n, [&](int k) { return major && k % major == 0 ? thick : thin; }); };
    g.columnHalfWidth = widths(g.columns);
    g.rowHalfWidth = widths(g.rows);
    const RectMm ext = g.Extent();
    w.subject = ext;
    Colour ground, ink;
    if (s.inverted) {
        // A school board with its grid painted in light lines.
        ground = s.colour ? Bgr(rng.Uniform(40, 60), rng.Uniform(60, 85), rng.Uniform(25, 45)) : Gray(rng.Uniform(35, 70));
        ink = s.colour && rng.Chance(0.4) ? Bgr(120, 220, 235) : Gray(rng.Uniform(170, 230));
        g.opacity = rng.Uniform(0.5, 0.9);
        g.inkVariation = rng.Uniform(0.1, 0.35);
    } else {
        ground = PaperColour(s.colour, rng);
        const int hue = rng.Int(0, 3);
        const Colour inks[4] = {Bgr(220, 170, 120), Bgr(130, 190, 110), Bgr(90, 150, 240), Gray(140)};
        ink = inks[hue];
        g.opacity = rng.Uniform(0.45, 1.0);
        g.inkVariation = rng.Uniform(0.0, 0.15);
    }
    g.ink = ink;
    w.lineContrast = std::fabs(Luma(ground) - Luma(ink)) * g.opacity;
    w.neededContrast = 16;
    w.maxThinFraction = 0.1;
    const RectMm page = ext.grown(rng.Uniform(5, 20));
    w.page = page;
    if (s.inverted) {
        const RectMm board = ext.grown(rng.Uniform(1.0, 4.0) * cell);
        w.page = board;
        w.rigid = true;
        w.bounds = board.grown(std::max(board.width(), board.height()) * rng.Uniform(0.5, 1.5));
        const Colour wall = Gray(rng.Uniform(150, 220)), frame = Gray(rng.Uniform(90, 190));
        const RectMm bounds = w.bounds;
        w.layers.push_back([=, r = rng.Fork(3)](Canvas& c) {
            PaintPaper(c, bounds, wall, 0.04, r.Fork(1));
            c.FillRect(board.grown(30), frame);
            PaintPaper(c, board, ground, 0.05, r.Fork(2));
            // Chalk dust: soft light blotches over the board.
            const ValueNoise dust(r.Fork(3).Next(), 150.0, 3);
            c.Paint(board, 3.0, [=](double x, double y) { return Gray(1 + 0.35 * std::max(0.0, dust(x, y) - 0.45)); }, true);
        });
        w.room = Gray(60);
        return w;
    }
    AddDesk(w, page, s.colour, rng);
    w.layers.push_back([=, r = rng.Fork(3)](Canvas& c) mutable {
        PaintPaper(c, page, ground, 0.03, r.Fork(1));
        // Pencil work on the sheet: a curve and a few numbers.
        if (r.Chance(0.5)) {
            std::vector<cv::Point2d> curve;
            const double a = r.Uniform(0.2, 0.5), ph = r.Uniform(0, 6);
            for (int k = 0; k <= 60; ++k) {
                const double t = ext.x0 + (ext.x1 - ext.x0) * k / 60.0;
                curve.push_back({t, (ext.y0 + ext.y1) / 2 + a * ext.height() / 2 * std::sin(ph + 4 * t / ext.width())});
            }
            c.Polyline(curve, 0.3, Gray(100));
        }
        const double figure = std::min(3.5, cell);
        for (int k = r.Int(0, 4); k > 0; --k)
            c.Text(std::to_string(r.Int(1, 99)), r.Uniform(ext.x0, ext.x1 - 3 * figure), r.Uniform(ext.y0 + figure, ext.y1),
                   figure, Gray(90), 4, 0.06);
    });
    return w;
}

World Table(const SceneSettings& s, Rng& rng) {
    World w;
    GridPattern& g = w.grid;
    g.present = true;
    g.columns = s.columns.value_or(rng.Int(2, 8));
    g.rows = s.rows.value_or(rng.Int(2, 16));
    g.cellHeight = rng.Uniform(6, 12);
    g.cellWidth = g.cellHeight * (rng.Chance(0.2) ? 1.0 : rng.Uniform(1.2, 4.0));
    const double line = g.cellHeight * rng.Uniform(0.02, 0.06);
    const double outer = line * (rng.Chance(0.5) ? 1.0 : rng.Uniform(1.5, 2.5));
    g.columnHalfWidth = Halves(g.columns, [&](int k) { return k == 0 || k == g.columns ? outer : line; });
    g.rowHalfWidth = Halves(g.rows, [&](int k) { return k == 0 || k == g.rows ? outer : k == 1 ? outer : line; });
    const Colour paper = s.inverted ? Gray(rng.Uniform(25, 60)) : PaperColour(s.colour, rng);
    const Colour sheet = PaperColour(s.colour, rng);
    const Colour ink = s.inverted ? Gray(rng.Uniform(190, 240))
                       : s.colour && rng.Chance(0.3) ? Bgr(rng.Uniform(60, 140), rng.Uniform(40, 90), rng.Uniform(10, 50))
                                                     : Gray(rng.Uniform(15, 90));
    g.ink = ink;
    g.opacity = rng.Uniform(0.8, 1.0);
    w.lineContrast = std::fabs(Luma(paper) - Luma(ink)) * g.opacity;
    w.neededContrast = 25;
    w.maxThinFraction = 0.08;
    const RectMm ext = g.Extent();
    w.subject = ext;
    const double gap = rng.Uniform(0.4, 1.0) * g.cellHeight;
    const RectMm keep = ext.grown(gap);
    const RectMm page{keep.x0 - rng.Uniform(15, 40), keep.y0 - rng.Uniform(15, 120), keep.x1 + rng.Uniform(15, 40),
                      keep.y1 + rng.Uniform(15, 120)};
    w.page = page;
    AddDesk(w, page, s.colour, rng);
    const bool header = rng.Chance(0.4);
    const Colour textInk = s.inverted ? Gray(210) : Gray(rng.Uniform(20, 60));
    w.layers.push_back([=, r = rng.Fork(3)](Canvas& c) mutable {
        PaintPaper(c, page, sheet, 0.03, r.Fork(1));
        if (s.inverted) c.FillRect(ext.grown(gap * 0.7), paper);
        TextBlock(c, {page.x0 + 12, page.y0 + 10, page.x1 - 12, page.y1 - 10}, 4.5, 2.2, textInk, 0, r.Fork(2),
                  {keep});
        if (header) c.FillRect({0, 0, ext.x1, g.cellHeight}, Mix(paper, ink, 0.15));
        const double cap = g.cellHeight * r.Uniform(0.3, 0.45);
        for (int b = 0; b < g.rows; ++b)
            for (int a = 0; a < g.columns; ++a) {
                if (!r.Chance(0.65)) continue;
                const double x = a * g.cellWidth + g.cellWidth * 0.12, y = (b + 0.5) * g.cellHeight + cap / 2;
                TextLine(c, x, (a + 1) * g.cellWidth - g.cellWidth * 0.1, y, cap, textInk, 0, r, r.Uniform(0.3, 1.0));
            }
    });
    return w;
}

World Tiles(const SceneSettings& s, Rng& rng) {
    World w;
    GridPattern& g = w.grid;
    g.present = true;
    g.columns = s.columns.value_or(rng.Int(2, 12));
    g.rows = s.rows.value_or(rng.Int(2, 12));
    const double tile = rng.Uniform(80, 300);
    g.cellWidth = tile;
    g.cellHeight = rng.Chance(0.75) ? tile : tile * rng.Pick(std::vector<double>{0.5, 2.0});
    const double grout = std::min(g.cellWidth, g.cellHeight) * rng.Uniform(0.035, 0.11);
    g.columnHalfWidth = Halves(g.columns, [&](int) { return grout; });
    g.rowHalfWidth = Halves(g.rows, [&](int) { return grout; });
    Colour tileColour, groutColour;
    if (s.inverted) {
        tileColour = s.colour ? Bgr(rng.Uniform(20, 80), rng.Uniform(20, 70), rng.Uniform(20, 60)) : Gray(rng.Uniform(20, 70));
        groutColour = Gray(rng.Uniform(170, 230));
    } else {
        tileColour = s.colour && rng.Chance(0.5)
                         ? rng.Pick(std::vector<Colour>{Bgr(190, 150, 90), Bgr(150, 190, 150), Bgr(110, 140, 200),
                                                        Bgr(205, 215, 220)})
                         : Gray(rng.Uniform(180, 235));
        groutColour = Gray(std::max(30.0, Luma(tileColour) - rng.Uniform(45, 110)));
    }
    g.ink = groutColour;
    g.opacity = 1.0;
    g.inkVariation = rng.Uniform(0.05, 0.2);
    w.lineContrast = std::fabs(Luma(tileColour) - Luma(groutColour));
    w.neededContrast = 25;
    w.maxThinFraction = 0.14;
    const RectMm ext = g.Extent();
    w.subject = ext;
    w.page = ext;
    w.rigid = true;
    w.bounds = ext.grown(std::max(ext.width(), ext.height()) * rng.Uniform(0.6, 1.5));
    const Colour wall = Gray(rng.Uniform(120, 230));
    const bool trim = rng.Chance(0.6);
    const Colour trimColour = Gray(rng.Uniform(60, 200));
    const RectMm bounds = w.bounds;
    w.glossy = rng.Chance(0.4);
    w.layers.push_back([=, r = rng.Fork(3)](Canvas& c) mutable {
        PaintPaper(c, bounds, wall, 0.05, r.Fork(1));
        // A socket and a shelf on the wall.
        if (r.Chance(0.5)) {
            const double x = r.Chance(0.5) ? ext.x1 + r.Uniform(100, 300) : ext.x0 - r.Uniform(150, 300);
            const double y = r.Uniform(ext.y0, ext.y1);
            c.FillRect({x, y, x + 80, y + 80}, Gray(235));
            c.StrokeRect({x, y, x + 80, y + 80}, 2, Gray(150));
            c.FillCircle({x + 40, y + 40}, 20, Gray(210));
        }
        // The outer joints as wide as the others, then the trim or the wall.
        if (trim) c.FillRect(ext.grown(r.Uniform(10, 25)), trimColour);
        c.FillRect(ext, groutColour);
        // Tiles: each its own shade, with speckles and a sheen.
        const ValueNoise speck(r.Next(), 2.0, 2), sheen(r.Next(), tile * 0.8, 1);
        for (int b = 0; b < g.rows; ++b)
            for (int a = 0; a < g.columns; ++a) {
                const RectMm t{a * g.cellWidth + grout * 0.25, b * g.cellHeight + grout * 0.25,
                               (a + 1) * g.cellWidth - grout * 0.25, (b + 1) * g.cellHeight - grout * 0.25};
                c.FillRect(t, Scaled(tileColour, r.Uniform(0.95, 1.05)));
            }
        c.Paint(ext, 1.0, [=](double x, double y) {
            return Gray(1 + 0.06 * (speck(x, y) - 0.5) + 0.06 * (sheen(x, y) - 0.5));
        }, true);
    });
    w.room = Gray(rng.Uniform(60, 120));
    return w;
}

struct BoardSize {
    int columns, rows;
};

World Calibration(const SceneSettings& s, Rng& rng) {
    World w;
    GridPattern& g = w.grid;
    g.present = true;
    g.chessboard = true;
    const std::vector<BoardSize> sizes = {{10, 7}, {9, 6}, {8, 6}, {5, 4}, {7, 5}, {11, 8}, {6, 4}, {9, 7},
                                          {12, 9}, {4, 3}, {8, 5}, {14, 10}, {3, 3}, {6, 5}};
    const BoardSize size = rng.Pick(sizes);
    const bool swap = rng.Chance(0.3);
    g.columns = s.columns.value_or(swap ? size.rows : size.columns);
    g.rows = s.rows.value_or(swap ? size.columns : size.rows);
    const double square = rng.Uniform(15, 40);
    g.cellWidth = g.cellHeight = square;
    g.darkParity = rng.Int(0, 1);
    const Colour paper = Gray(rng.Uniform(195, 240));
    g.ink = Gray(rng.Uniform(12, 55));
    g.opacity = 1.0;
    g.inkVariation = rng.Uniform(0.0, 0.1);
    w.lineContrast = Luma(paper) - Luma(g.ink);
    const RectMm ext = g.Extent();
    w.subject = ext;
    // On a dark ground the sheet is cut close to the squares.
    const double margin = s.inverted ? square * rng.Uniform(0.0, 0.15) : square * rng.Uniform(0.3, 1.5);
    const RectMm sheet = ext.grown(margin);
    w.page = sheet;
    w.glossy = rng.Chance(0.3);
    const bool mounted = !s.inverted && rng.Chance(0.4);
    w.rigid = mounted;
    const RectMm board = sheet.grown(mounted ? rng.Uniform(5, 30) : 0);
    const double reach = std::max(board.width(), board.height()) * rng.Uniform(0.6, 1.8) + 80;
    w.bounds = board.grown(reach);
    const DeskStyle style = s.inverted ? DeskStyle::DarkCloth : static_cast<DeskStyle>(rng.Int(0, 4));
    const Colour desk = DeskColour(style, s.colour, rng);
    const Colour boardColour = s.colour && rng.Chance(0.5) ? Bgr(80, 130, 170) : Gray(rng.Uniform(60, 230));
    const RectMm bounds = w.bounds;
    w.layers.push_back([=, r = rng.Fork(3)](Canvas& c) mutable {
        PaintDesk(c, bounds, style, desk, r.Fork(1));
        if (!s.inverted) DeskClutter(c, bounds, board.grown(10), s.colour, r.Fork(2));
        if (mounted) c.FillRect(board, boardColour);
        PaintPaper(c, sheet, paper, 0.02, r.Fork(3));
        if (!s.inverted && margin > square * 0.5 && r.Chance(0.5))
            c.Text("Checkerboard " + std::to_string(g.columns) + "x" + std::to_string(g.rows), ext.x0,
                   ext.y1 + margin * 0.6, std::min(5.0, margin * 0.3), Gray(90), 0);
    });
    w.room = Gray(rng.Uniform(30, 90));
    return w;
}

World GameBoard(const SceneSettings& s, Rng& rng) {
    World w;
    GridPattern& g = w.grid;
    g.present = true;
    g.chessboard = true;
    const int n = rng.Chance(0.85) ? 8 : 10;
    g.columns = s.columns.value_or(n);
    g.rows = s.rows.value_or(n);
    const double square = rng.Uniform(25, 60);
    g.cellWidth = g.cellHeight = square;
    g.darkParity = rng.Int(0, 1);
    struct Scheme {
        Colour light, dark;
    };
    const std::vector<Scheme> colours = {{Bgr(200, 235, 235), Bgr(80, 150, 110)},   // cream and green
                                         {Bgr(160, 205, 235), Bgr(60, 110, 170)},   // maple and walnut
                                         {Gray(225), Gray(40)},
                                         {Gray(220), Gray(120)},
                                         {Bgr(230, 225, 220), Bgr(160, 110, 70)}};  // white and blue
    Scheme scheme = rng.Pick(colours);
    if (!s.colour) scheme = {Gray(Luma(scheme.light)), Gray(Luma(scheme.dark))};
    g.ink = scheme.dark;
    g.opacity = 1.0;
    g.inkVariation = rng.Uniform(0.02, 0.12);
    w.lineContrast = Luma(scheme.light) - Luma(scheme.dark);
    const RectMm ext = g.Extent();
    w.subject = ext;
    const double frameWidth = square * rng.Uniform(0.3, 1.2);
    const bool innerLine = rng.Chance(0.4);
    const RectMm frame = ext.grown(frameWidth);
    w.page = frame;
    w.rigid = true;
    w.glossy = rng.Chance(0.4);
    const Colour frameColour = s.colour ? Bgr(rng.Uniform(30, 70), rng.Uniform(50, 100), rng.Uniform(80, 140))
                                        : Gray(rng.Uniform(40, 120));
    const double reach = frame.width() * rng.Uniform(0.5, 1.5) + 60;
    w.bounds = frame.grown(reach);
    const DeskStyle style = static_cast<DeskStyle>(rng.Int(0, 4));
    const Colour desk = DeskColour(style, s.colour, rng);
    const RectMm bounds = w.bounds;
    const bool letters = rng.Chance(0.5);
    w.layers.push_back([=, r = rng.Fork(3)](Canvas& c) mutable {
        PaintDesk(c, bounds, style, desk, r.Fork(1));
        DeskClutter(c, bounds, frame.grown(20), s.colour, r.Fork(2));
        c.FillRect(frame, frameColour);
        const ValueNoise grain(r.Next(), 4.0, 3);
        c.Paint(frame, 0.8, [=](double x, double y) { return Gray(0.9 + 0.2 * grain(x * 0.3, y * 2.0)); }, true);
        c.FillRect(ext, scheme.light);
        c.Paint(ext, 1.0, [=](double x, double y) { return Gray(0.96 + 0.08 * grain(x, y)); }, true);
        if (innerLine) c.StrokeRect(ext.grown(frameWidth * 0.25), std::max(0.6, frameWidth * 0.04), Mix(frameColour, Gray(230), 0.6));
        if (letters && frameWidth > square * 0.45) {
            const double cap = frameWidth * 0.35;
            for (int a = 0; a < g.columns; ++a) {
                const std::string l(1, char('a' + a));
                c.Text(l, (a + 0.45) * square, ext.y1 + frameWidth * 0.65, cap, Gray(210), 1);
            }
            for (int b = 0; b < g.rows; ++b)
                c.Text(std::to_string(g.rows - b), -frameWidth * 0.7, (b + 0.6) * square, cap, Gray(210), 1);
        }
    });
    w.room = Gray(rng.Uniform(30, 90));
    return w;
}

// --- Scenes without a grid ---

// A sheet of paper on a desk, its content painted by `content` over `area`.
World PageScene(const SceneSettings& s, Rng& rng, RectMm area, const std::function<void(Canvas&, Rng&)>& content,
                bool clutter = true) {
    World w;
    w.subject = area;
    w.page = area.grown(rng.Uniform(8, 25));
    AddDesk(w, w.page, s.colour, rng, clutter);
    const Colour paper = PaperColour(s.colour, rng);
    const RectMm page = w.page;
    w.layers.push_back([=, r = rng.Fork(3)](Canvas& c) mutable {
        PaintPaper(c, page, paper, 0.03, r.Fork(1));
        Rng inner = r.Fork(2);
        content(c, inner);
    });
    return w;
}

World TextPage(const SceneSettings& s, Rng& rng) {
    const RectMm area{0, 0, rng.Uniform(120, 200), rng.Uniform(160, 280)};
    const bool columns = rng.Chance(0.6);
    const Colour ink = Gray(rng.Uniform(15, 60));
    return PageScene(s, rng, area, [=](Canvas& c, Rng& r) {
        if (columns) {
            Newspaper(c, area, {}, ink, r.Fork(1));
        } else {
            const double cap = r.Uniform(1.8, 3.0);
            TextBlock(c, area, cap * r.Uniform(1.5, 2.0), cap, ink, r.Int(0, 3), r.Fork(2));
        }
    });
}

World LinedPaper(const SceneSettings& s, Rng& rng) {
    const RectMm area{0, 0, rng.Uniform(140, 210), rng.Uniform(180, 297)};
    const double spacing = rng.Uniform(6, 9.5);
    const Colour line = s.colour ? Bgr(220, 170, 120) : Gray(rng.Uniform(110, 170));
    const Colour marginColour = s.colour ? Bgr(120, 120, 230) : Gray(rng.Uniform(110, 170));
    const bool handwriting = rng.Chance(0.6);
    return PageScene(s, rng, area, [=](Canvas& c, Rng& r) {
        const double top = r.Uniform(15, 35);
        for (double y = area.y0 + top; y < area.y1 - 5; y += spacing)
            c.Line({area.x0, y}, {area.x1, y}, r.Uniform(0.2, 0.35), line);
        const double mx = area.x0 + r.Uniform(20, 35);
        c.Line({mx, area.y0}, {mx, area.y1}, 0.4, marginColour);
        for (double y = area.y0 + 20; y < area.y1; y += r.Uniform(70, 100)) c.FillCircle({area.x0 + 8, y}, 3, Gray(70));
        if (handwriting) {
            int lines = r.Int(3, 15);
            for (double y = area.y0 + top + spacing; y < area.y1 - 5 && lines > 0; y += spacing, --lines)
                TextLine(c, mx + 3, area.x1 - 5, y - 1, spacing * 0.45, Gray(60), 4, r, r.Uniform(0.4, 1.0));
        }
    });
}

World Frame(const SceneSettings& s, Rng& rng) {
    const RectMm area{0, 0, rng.Uniform(80, 250), rng.Uniform(80, 250)};
    const double width = rng.Uniform(0.5, 15);
    const Colour ink = Gray(rng.Uniform(15, 90));
    const int inside = rng.Int(0, 2);
    return PageScene(s, rng, area, [=](Canvas& c, Rng& r) {
        c.StrokeRect(area, width, ink);
        if (inside == 1) TextBlock(c, area.grown(-width - 8), 5, 2.5, ink, 0, r.Fork(1));
        if (inside == 2) {
            const ValueNoise blobs(r.Next(), 40.0, 3);
            c.Paint(area.grown(-width / 2 - 2), 1.5, [=](double x, double y) { return Gray(40 + 170 * blobs(x, y)); }, false);
        }
    });
}

World RandomLines(const SceneSettings& s, Rng& rng) {
    const RectMm area{0, 0, rng.Uniform(150, 300), rng.Uniform(150, 300)};
    const int count = rng.Int(12, 60);
    return PageScene(s, rng, area, [=](Canvas& c, Rng& r) {
        for (int k = 0; k < count; ++k) {
            const cv::Point2d a(r.Uniform(area.x0, area.x1), r.Uniform(area.y0, area.y1));
            const double angle = r.Uniform(0, kPi), len = r.Uniform(30, 300);
            const cv::Point2d d(std::cos(angle) * len / 2, std::sin(angle) * len / 2);
            c.Line(a - d, a + d, r.Uniform(0.3, 3), Gray(r.Uniform(10, 120)));
        }
    });
}

World Rectangles(const SceneSettings& s, Rng& rng) {
    const RectMm area{0, 0, rng.Uniform(200, 400), rng.Uniform(200, 400)};
    const int count = rng.Int(6, 30);
    const bool colour = s.colour;
    return PageScene(s, rng, area, [=](Canvas& c, Rng& r) {
        for (int k = 0; k < count; ++k) {
            const double w = r.Uniform(0.05, 0.45) * area.width(), h = r.Uniform(0.05, 0.45) * area.height();
            const double x = r.Uniform(area.x0, area.x1 - w), y = r.Uniform(area.y0, area.y1 - h);
            const Colour fill = colour ? Bgr(r.Uniform(30, 240), r.Uniform(30, 240), r.Uniform(30, 240)) : Gray(r.Uniform(30, 240));
            if (r.Chance(0.6)) c.FillRect({x, y, x + w, y + h}, fill);
            c.StrokeRect({x, y, x + w, y + h}, r.Uniform(0.3, 3), Gray(r.Uniform(10, 100)));
        }
    }, false);
}

World Texture(const SceneSettings& s, Rng& rng) {
    World w;
    const RectMm area{0, 0, rng.Uniform(200, 600), rng.Uniform(200, 600)};
    w.subject = area;
    w.page = area;
    w.rigid = true;
    w.bounds = area.grown(std::max(area.width(), area.height()));
    const int kind = rng.Int(0, 2);
    const DeskStyle style = kind == 0 ? DeskStyle::Wood : DeskStyle::Stone;
    const Colour base = DeskColour(style, s.colour, rng);
    const RectMm bounds = w.bounds;
    w.layers.push_back([=, r = rng.Fork(3)](Canvas& c) mutable {
        PaintDesk(c, bounds, style, base, r.Fork(1));
        if (kind == 2) {
            const ValueNoise blobs(r.Next(), r.Uniform(20, 80), 4);
            c.Paint(bounds, 2.0, [=](double x, double y) { return Gray(0.5 + blobs(x, y)); }, true);
        }
    });
    return w;
}

World Bricks(const SceneSettings& s, Rng& rng) {
    World w;
    const double brick = rng.Uniform(190, 240), course = rng.Uniform(55, 80), mortar = rng.Uniform(8, 13);
    const RectMm area{0, 0, brick * rng.Int(6, 14), course * rng.Int(10, 30)};
    w.subject = area;
    w.page = area;
    w.rigid = true;
    w.bounds = area.grown(std::max(area.width(), area.height()) * 0.8);
    const Colour brickColour = s.colour ? Bgr(rng.Uniform(40, 70), rng.Uniform(60, 90), rng.Uniform(120, 170))
                                        : Gray(rng.Uniform(70, 140));
    const Colour mortarColour = Gray(rng.Uniform(120, 200));
    const RectMm bounds = w.bounds;
    w.layers.push_back([=, r = rng.Fork(3)](Canvas& c) mutable {
        PaintDesk(c, bounds, DeskStyle::Stone, Gray(r.Uniform(90, 150)), r.Fork(1));
        c.FillRect(area, mortarColour);
        int row = 0;
        for (double y = area.y0; y < area.y1 - 1; y += course, ++row) {
            const double offset = (row % 2) ? brick / 2 : 0;
            for (double x = area.x0 - offset; x < area.x1; x += brick) {
                const RectMm b{std::max(area.x0, x + mortar / 2), y + mortar / 2, std::min(area.x1, x + brick - mortar / 2),
                               std::min(area.y1, y + course - mortar / 2)};
                if (b.width() > 2) c.FillRect(b, Scaled(brickColour, r.Uniform(0.8, 1.2)));
            }
        }
        const ValueNoise rough(r.Next(), 3.0, 3);
        c.Paint(area, 1.0, [=](double x, double y) { return Gray(0.85 + 0.3 * rough(x, y)); }, true);
    });
    w.room = Gray(120);
    return w;
}

World Circuit(const SceneSettings& s, Rng& rng) {
    World w;
    const RectMm area{0, 0, rng.Uniform(60, 160), rng.Uniform(50, 120)};
    w.subject = area;
    w.page = area;
    w.rigid = true;
    w.bounds = area.grown(std::max(area.width(), area.height()) * rng.Uniform(0.5, 1.2));
    const Colour board = s.colour ? Bgr(rng.Uniform(40, 70), rng.Uniform(90, 130), rng.Uniform(20, 50)) : Gray(rng.Uniform(60, 100));
    const Colour copper = s.colour ? Bgr(60, 150, 190) : Gray(rng.Uniform(120, 170));
    const Colour trace = Mix(board, Gray(200), 0.25);
    const RectMm bounds = w.bounds;
    const DeskStyle style = static_cast<DeskStyle>(rng.Int(0, 4));
    const Colour desk = DeskColour(style, s.colour, rng);
    w.layers.push_back([=, r = rng.Fork(3)](Canvas& c) mutable {
        PaintDesk(c, bounds, style, desk, r.Fork(1));
        c.FillRect(area, board);
        // Traces: runs along x and y with 45-degree bends.
        for (int k = r.Int(30, 90); k > 0; --k) {
            cv::Point2d p(r.Uniform(area.x0, area.x1), r.Uniform(area.y0, area.y1));
            std::vector<cv::Point2d> path{p};
            for (int seg = r.Int(2, 5); seg > 0; --seg) {
                const int dir = r.Int(0, 7);
                const double len = r.Uniform(3, 25);
                p += cv::Point2d(std::cos(dir * kPi / 4), std::sin(dir * kPi / 4)) * len;
                p.x = std::clamp(p.x, area.x0, area.x1);
                p.y = std::clamp(p.y, area.y0, area.y1);
                path.push_back(p);
            }
            c.Polyline(path, r.Uniform(0.2, 0.8), trace);
            c.FillCircle(path.front(), 0.8, copper);
            c.FillCircle(path.back(), 0.8, copper);
        }
        // Chips with rows of pins, and other parts.
        for (int k = r.Int(2, 7); k > 0; --k) {
            const double cw = r.Uniform(6, 25), ch = r.Uniform(5, 15);
            const double x = r.Uniform(area.x0, area.x1 - cw), y = r.Uniform(area.y0 + 2, area.y1 - ch - 2);
            const double pitch = r.Pick(std::vector<double>{1.27, 2.54, 0.65});
            for (double px = x + pitch; px < x + cw - pitch / 2; px += pitch) {
                c.FillRect({px - pitch * 0.2, y - 1.5, px + pitch * 0.2, y}, copper);
                c.FillRect({px - pitch * 0.2, y + ch, px + pitch * 0.2, y + ch + 1.5}, copper);
            }
            c.FillRect({x, y, x + cw, y + ch}, Gray(25));
            c.Text("IC" + std::to_string(r.Int(1, 40)), x + 1, y + ch * 0.6, std::min(2.0, ch * 0.3), Gray(170));
        }
        for (int k = r.Int(10, 40); k > 0; --k) {
            const cv::Point2d p(r.Uniform(area.x0, area.x1), r.Uniform(area.y0, area.y1));
            if (r.Chance(0.5)) c.FillCircle(p, r.Uniform(0.5, 2), copper);
            else c.FillRect({p.x, p.y, p.x + r.Uniform(1, 4), p.y + r.Uniform(1, 3)}, r.Chance(0.5) ? copper : Gray(200));
        }
        for (int k = r.Int(0, 4); k > 0; --k) {
            const cv::Point2d p(r.Uniform(area.x0 + 5, area.x1 - 10), r.Uniform(area.y0 + 5, area.y1 - 10));
            c.FillCircle(p, r.Uniform(2, 5), Gray(r.Uniform(30, 200)));
        }
    });
    w.room = Gray(70);
    return w;
}

World Street(const SceneSettings& s, Rng& rng) {
    // A street as a picture held upright: sky, houses side by side with
    // rows of windows (each house its own), the road and poles.
    World w;
    const double width = rng.Uniform(12000, 30000), height = width * rng.Uniform(0.6, 0.8);
    const RectMm area{0, 0, width, height};
    w.subject = area;
    w.page = area;
    w.rigid = true;
    w.bounds = area;
    w.upright = true;
    const bool colour = s.colour;
    w.layers.push_back([=, r = rng.Fork(3)](Canvas& c) mutable {
        const double horizon = height * r.Uniform(0.55, 0.75);
        c.Paint({0, 0, width, horizon}, 200, [=](double, double y) {
            const double t = y / horizon;
            return colour ? Bgr(230 - 40 * t, 200 - 20 * t, 160 + 20 * t) : Gray(215 - 20 * t);
        }, false);
        c.FillRect({0, horizon, width, height}, Gray(r.Uniform(60, 100)));
        for (double x = r.Uniform(0, 3000); x < width; x += r.Uniform(4000, 7000))
            c.FillRect({x, horizon + (height - horizon) * 0.5, x + 2000, horizon + (height - horizon) * 0.5 + 150}, Gray(220));
        double x = -r.Uniform(0, 3000);
        while (x < width) {
            const double bw = r.Uniform(4000, 12000), bh = r.Uniform(0.35, 0.9) * horizon;
            const Colour facade = colour ? Bgr(r.Uniform(80, 200), r.Uniform(90, 210), r.Uniform(100, 230)) : Gray(r.Uniform(80, 210));
            const double top = horizon - bh;
            // Roofs and floors lean as seen from the street.
            const double lean = r.Uniform(-0.08, 0.08);
            std::vector<cv::Point2d> wall{{x, top}, {x + bw, top + lean * bw}, {x + bw, horizon}, {x, horizon}};
            c.FillPolygon(wall, facade);
            const double ww = r.Uniform(800, 1500), wh = r.Uniform(1000, 1800);
            const double gx = r.Uniform(500, 1500), gy = r.Uniform(1200, 2000);
            const Colour glass = Gray(r.Uniform(30, 120));
            for (double fy = top + gy * 0.6; fy + wh < horizon - 2500; fy += wh + gy)
                for (double fx = x + gx; fx + ww < x + bw - gx / 2; fx += ww + gx) {
                    const double dy0 = lean * (fx - x), dy1 = lean * (fx + ww - x);
                    const Colour pane = r.Chance(0.2) ? Gray(r.Uniform(150, 230)) : Scaled(glass, r.Uniform(0.7, 1.3));
                    c.FillPolygon({{fx, fy + dy0}, {fx + ww, fy + dy1}, {fx + ww, fy + wh + dy1}, {fx, fy + wh + dy0}}, pane);
                    if (r.Chance(0.5)) c.Line({fx + ww / 2, fy + dy0}, {fx + ww / 2, fy + wh + dy0}, 80, facade);
                }
            const double door = r.Uniform(x + 500, x + bw - 1500);
            c.FillRect({door, horizon - 2300, door + 1100, horizon}, Gray(r.Uniform(20, 90)));
            x += bw + r.Uniform(0, 800);
        }
        for (double px = r.Uniform(1000, 5000); px < width; px += r.Uniform(5000, 15000)) {
            c.Line({px, horizon - r.Uniform(6000, 9000)}, {px, horizon + 800}, r.Uniform(120, 250), Gray(r.Uniform(20, 70)));
        }
        const double wireY = horizon * r.Uniform(0.2, 0.5);
        std::vector<cv::Point2d> wire;
        for (int k = 0; k <= 40; ++k) {
            const double t = width * k / 40.0;
            wire.push_back({t, wireY + 600 * std::pow(std::sin(kPi * std::fmod(t, 9000) / 9000), 2)});
        }
        c.Polyline(wire, 40, Gray(30));
        for (int k = r.Int(0, 4); k > 0; --k) {
            const double cx = r.Uniform(0, width), cw = r.Uniform(3800, 4800);
            c.FillRect({cx, horizon + 200, cx + cw, horizon + 1600}, colour ? Bgr(r.Uniform(20, 200), r.Uniform(20, 200), r.Uniform(20, 200)) : Gray(r.Uniform(20, 200)));
            c.FillCircle({cx + 800, horizon + 1600}, 330, Gray(20));
            c.FillCircle({cx + cw - 800, horizon + 1600}, 330, Gray(20));
        }
    });
    w.room = Gray(150);
    return w;
}

}  // namespace

World BuildWorld(const SceneSettings& s, Rng& rng) {
    switch (s.scene) {
        case Scene::Calibration: return Calibration(s, rng);
        case Scene::GameBoard: return GameBoard(s, rng);
        case Scene::Sudoku: return Sudoku(s, rng);
        case Scene::GraphPaper: return GraphPaper(s, rng);
        case Scene::Table: return Table(s, rng);
        case Scene::Tiles: return Tiles(s, rng);
        case Scene::TextPage: return TextPage(s, rng);
        case Scene::Street: return Street(s, rng);
        case Scene::Rectangles: return Rectangles(s, rng);
        case Scene::Bricks: return Bricks(s, rng);
        case Scene::LinedPaper: return LinedPaper(s, rng);
        case Scene::Frame: return Frame(s, rng);
        case Scene::RandomLines: return RandomLines(s, rng);
        case Scene::Texture: return Texture(s, rng);
        case Scene::Circuit: return Circuit(s, rng);
    }
    return {};
}

}  // namespace vexo::gridphotos
