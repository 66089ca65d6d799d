#include "core/label_text.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <filesystem>

namespace vexo {

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

struct LabelFont::Faces {
    FT_Library library = nullptr;
    FT_Face regular = nullptr;
    FT_Face bold = nullptr;
    // The em each face is set to: setting a size costs as much as drawing
    // several glyphs (the font's hinting program runs again), so a face is
    // set only when the size changes.
    int regularEm = kEmPixels;
    int boldEm = kEmPixels;

    Faces() {
        if (FT_Init_FreeType(&library) != 0) {
            library = nullptr;
            return;
        }
        regular = Open("DejaVuSans.ttf");
        bold = Open("DejaVuSans-Bold.ttf");
    }
    ~Faces() {
        if (regular) FT_Done_Face(regular);
        if (bold) FT_Done_Face(bold);
        if (library) FT_Done_FreeType(library);
    }
    Faces(const Faces&) = delete;
    Faces& operator=(const Faces&) = delete;

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

    // Sets `face` to an em of `pixels` (the labels' own size for 0); false
    // when the face cannot be had at that size.
    bool Size(FT_Face face, int pixels) {
        const int em = pixels > 0 ? std::clamp(pixels, 4, 512) : kEmPixels;
        int& current = face == bold ? boldEm : regularEm;
        if (em == current) return true;
        if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(em)) != 0) {
            current = 0;  // unknown: set again next time
            return false;
        }
        current = em;
        return true;
    }
};

LabelFont::LabelFont() = default;

// The font files are opened on first use: most runs never draw a label.
LabelFont::Faces& LabelFont::faces() const {
    if (!faces_) faces_ = std::make_unique<Faces>();
    return *faces_;
}

LabelFont::~LabelFont() = default;

bool LabelFont::hasFace() const { return faces().Face(true) != nullptr; }

std::optional<TextExtent> LabelFont::Measure(const std::string& text, bool bold, int pixels) const {
    FT_Face face = faces().Face(bold);
    if (!face || !faces().Size(face, pixels)) return std::nullopt;
    FT_Pos pen = 0;  // 26.6 fixed point
    for (char32_t cp : DecodeUtf8(text)) {
        if (FT_Load_Char(face, cp, FT_LOAD_DEFAULT) == 0) pen += face->glyph->advance.x;
    }
    return TextExtent{static_cast<int>((pen + 32) >> 6), static_cast<int>((face->size->metrics.height + 32) >> 6)};
}

bool LabelFont::Draw(RgbCanvas canvas, int x, int y, const ClipRect& clip, const std::string& text, Rgb colour,
                     bool bold, int pixels) const {
    FT_Face face = faces().Face(bold);
    if (!face || !faces().Size(face, pixels)) return false;
    const int left = std::max(clip.left, 0);
    const int top = std::max(clip.top, 0);
    const int right = std::min(clip.right, canvas.width);
    const int bottom = std::min(clip.bottom, canvas.height);
    if (left >= right || top >= bottom || canvas.pixels == nullptr) return true;

    auto blend = [&](long px, long py, int coverage) {
        if (coverage <= 0) return;
        uint8_t* p = canvas.pixels + py * canvas.bytesPerLine + px * 3;
        const uint8_t front[3] = {colour.red, colour.green, colour.blue};
        for (int k = 0; k < 3; ++k)
            p[k] = coverage >= 255 ? front[k]
                                   : static_cast<uint8_t>((p[k] * (255 - coverage) + front[k] * coverage + 127) / 255);
    };
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
            if (py < top || py >= bottom) continue;
            const unsigned char* line = bitmap.buffer + long(row) * bitmap.pitch;
            for (unsigned column = 0; column < bitmap.width; ++column) {
                const long px = originX + long(column);
                if (px < left || px >= right) continue;
                int coverage;
                if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
                    coverage = (line[column >> 3] & (0x80 >> (column & 7))) ? 255 : 0;
                } else if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
                    const int grays = bitmap.num_grays > 1 ? bitmap.num_grays - 1 : 255;
                    coverage = line[column] * 255 / grays;
                } else {
                    continue;
                }
                blend(px, py, coverage);
            }
        }
    }
    return true;
}

namespace {

void AppendDecimal(std::string& text, int64_t value) { text += std::to_string(value); }

void AppendUtf8(std::string& text, int64_t codePoint) {
    if (codePoint < 0 || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        codePoint = 0xFFFD;  // no character: the replacement character stands in
    const auto c = static_cast<uint32_t>(codePoint);
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (c >> 18));
        text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string CellLabelText(int column, int row) {
    std::string text;
    AppendUtf8(text, int64_t(64) + column);
    AppendDecimal(text, row);
    return text;
}

}  // namespace vexo
