#include "cli/cli_screen.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <filesystem>
#include <iostream>

namespace vexo::cli {

namespace {

constexpr int kEmPixels = 11;  // 8 points at 96 dpi

const std::array<const char*, 4> kFontDirectories = {
    "/usr/share/fonts/truetype/dejavu/",
    "/usr/share/fonts/dejavu/",
    "/usr/share/fonts/TTF/",
    "/usr/local/share/fonts/",
};

}  // namespace

std::u32string DecodeUtf8(const std::string& text) {
    std::u32string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        int extra = c >= 0xF0 && c < 0xF5 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : 0;
        if (c < 0x80 || c >= 0xF5 || (c >= 0x80 && c < 0xC2)) extra = 0;
        char32_t cp = extra == 3 ? c & 0x07 : extra == 2 ? c & 0x0F : extra == 1 ? c & 0x1F : c;
        bool valid = i + extra < text.size();
        for (int k = 1; valid && k <= extra; ++k) {
            const unsigned char d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80) valid = false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if (!valid) {
            out.push_back(c);
            ++i;
        } else {
            out.push_back(cp);
            i += extra + 1;
        }
    }
    return out;
}

struct CliScreen::Fonts {
    FT_Library library = nullptr;
    FT_Face regular = nullptr;
    FT_Face bold = nullptr;

    Fonts() {
        if (FT_Init_FreeType(&library) != 0) {
            library = nullptr;
            return;
        }
        regular = Open("DejaVuSans.ttf");
        bold = Open("DejaVuSans-Bold.ttf");
    }
    ~Fonts() {
        if (regular) FT_Done_Face(regular);
        if (bold) FT_Done_Face(bold);
        if (library) FT_Done_FreeType(library);
    }
    Fonts(const Fonts&) = delete;
    Fonts& operator=(const Fonts&) = delete;

    FT_Face Open(const char* name) {
        for (const char* dir : kFontDirectories) {
            const std::string path = std::string(dir) + name;
            std::error_code ec;
            if (!std::filesystem::is_regular_file(path, ec)) continue;
            FT_Face face = nullptr;
            if (FT_New_Face(library, path.c_str(), 0, &face) != 0) continue;
            if (FT_Set_Pixel_Sizes(face, 0, kEmPixels) != 0) {
                FT_Done_Face(face);
                continue;
            }
            return face;
        }
        return nullptr;
    }

    // The face of the style; the other style when that one is missing.
    FT_Face Face(bool wantBold) const {
        if (wantBold) return bold ? bold : regular;
        return regular ? regular : bold;
    }
};

CliScreen::CliScreen(bool quiet) : CliScreen(quiet, std::cerr) {}

CliScreen::CliScreen(bool quiet, std::ostream& messageStream)
    : quiet_(quiet), messageStream_(messageStream) {}

CliScreen::~CliScreen() = default;

CliScreen::Fonts& CliScreen::fonts() const {
    if (!fonts_) fonts_ = std::make_unique<Fonts>();
    return *fonts_;
}

bool CliScreen::hasFont() const { return fonts().Face(true) != nullptr; }

void CliScreen::ErrorBox(const std::string& text) {
    MemoryScreen::ErrorBox(text);
    messageStream_ << "error: " << text << std::endl;
}

void CliScreen::ApplicationErrorBox(const std::string& text) {
    MemoryScreen::ApplicationErrorBox(text);
    messageStream_ << "error: " << text << std::endl;
}

void CliScreen::PlainBox(const std::string& text) {
    MemoryScreen::PlainBox(text);
    if (!quiet_) messageStream_ << "message: " << text << std::endl;
}

TextExtent CliScreen::MeasureText(const std::string& text) {
    FT_Face face = fonts().Face(fontBold);
    if (!face) return MemoryScreen::MeasureText(text);
    FT_Pos pen = 0;  // 26.6 fixed point
    for (char32_t cp : DecodeUtf8(text)) {
        if (FT_Load_Char(face, cp, FT_LOAD_DEFAULT) == 0) pen += face->glyph->advance.x;
    }
    return {static_cast<int>((pen + 32) >> 6), static_cast<int>((face->size->metrics.height + 32) >> 6)};
}

void CliScreen::Blend(int x, int y, int coverage) {
    if (coverage <= 0) return;
    if (coverage >= 255) {
        PutPixel(x, y, fontColour);
        return;
    }
    const Rgb under = DisplayPixel(x, y);
    auto mix = [coverage](uint8_t back, uint8_t front) {
        return static_cast<uint8_t>((back * (255 - coverage) + front * coverage + 127) / 255);
    };
    PutPixel(x, y, {mix(under.red, fontColour.red), mix(under.green, fontColour.green),
                    mix(under.blue, fontColour.blue)});
}

void CliScreen::DrawTextClipped(int x, int y, const ClipRect& clip, const std::string& text) {
    MemoryScreen::DrawTextClipped(x, y, clip, text);  // keeps the record of drawn texts
    const int left = std::max(clip.left, 0);
    const int top = std::max(clip.top, 0);
    const int right = std::min(clip.right, displayWidth);
    const int bottom = std::min(clip.bottom, displayHeight);
    if (left >= right || top >= bottom || display.empty()) return;
    const ClipRect area{left, top, right, bottom};

    FT_Face face = fonts().Face(fontBold);
    if (!face) {
        DrawBoxes(x, y, area, text);
        return;
    }
    const long baseline = long(y) + ((face->size->metrics.ascender + 32) >> 6);
    FT_Pos pen = 0;
    for (char32_t cp : DecodeUtf8(text)) {
        if (FT_Load_Char(face, cp, FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot glyph = face->glyph;
        const FT_Bitmap& bitmap = glyph->bitmap;
        const long originX = long(x) + ((pen + 32) >> 6) + glyph->bitmap_left;
        const long originY = baseline - glyph->bitmap_top;
        pen += glyph->advance.x;
        for (unsigned row = 0; row < bitmap.rows; ++row) {
            const long py = originY + long(row);
            if (py < area.top || py >= area.bottom) continue;
            const unsigned char* line = bitmap.buffer + long(row) * bitmap.pitch;
            for (unsigned column = 0; column < bitmap.width; ++column) {
                const long px = originX + long(column);
                if (px < area.left || px >= area.right) continue;
                int coverage;
                if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
                    coverage = (line[column >> 3] & (0x80 >> (column & 7))) ? 255 : 0;
                } else if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
                    const int grays = bitmap.num_grays > 1 ? bitmap.num_grays - 1 : 255;
                    coverage = line[column] * 255 / grays;
                } else {
                    continue;
                }
                Blend(static_cast<int>(px), static_cast<int>(py), coverage);
            }
        }
    }
}

// Without a font: each character as a solid 5 x 9 box inside its 7 x 13 cell.
void CliScreen::DrawBoxes(int x, int y, const ClipRect& area, const std::string& text) {
    const std::size_t count = DecodeUtf8(text).size();
    for (std::size_t i = 0; i < count; ++i) {
        const long cellX = long(x) + 7 * long(i);
        for (long py = long(y) + 2; py < long(y) + 11; ++py) {
            if (py < area.top || py >= area.bottom) continue;
            for (long px = cellX + 1; px < cellX + 6; ++px) {
                if (px < area.left || px >= area.right) continue;
                PutPixel(static_cast<int>(px), static_cast<int>(py), fontColour);
            }
        }
    }
}

}  // namespace vexo::cli
