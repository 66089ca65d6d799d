// The JPEG loader against libjpeg's own command-line decoder at every scale,
// its gray levels, its errors and warnings, and the corpus of hostile files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sched.h>
#include <unistd.h>

#include <jpeglib.h>
#include <jerror.h>

#include "core/errors.h"
#include "core/jpeg_decoder.h"
#include "test_jpegs.h"

namespace vexo {
namespace {

namespace fs = std::filesystem;
using testjpeg::Colour;
using testjpeg::JpegOptions;

std::string JpegError(int code) { return "JPEG error #" + std::to_string(code); }

fs::path TempPath(const std::string& name) {
    return fs::temp_directory_path() / ("vexo-jpeg-loader-" + std::to_string(::getpid()) + "-" + name);
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Gray {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> levels;
};

// The gray levels djpeg writes with the same settings as the loader (one-pass
// quantiser to 236 gray levels, Floyd-Steinberg dithering), at scale M/8;
// without `quantised`, the plain luminance at that scale.
Gray DecodeWithDjpeg(const std::vector<uint8_t>& jpeg, const std::string& name, int scale = 8, bool quantised = true) {
    const fs::path in = TempPath(name + ".jpg");
    const fs::path out = TempPath(name + ".pgm");
    WriteFile(in, jpeg);
    const std::string command = std::string("/usr/bin/djpeg -grayscale ") +
                                (quantised ? "-colors 236 -dither fs " : "") + "-scale " + std::to_string(scale) +
                                "/8 -pnm '" + in.string() + "' > '" + out.string() + "' 2>/dev/null";
    std::system(command.c_str());  // exit status 2 only tells of warnings
    const std::vector<uint8_t> pgm = ReadFile(out);
    fs::remove(in);
    fs::remove(out);

    Gray gray;
    int maxValue = 0;
    int consumed = 0;
    const std::string head(pgm.begin(), pgm.begin() + std::min<std::size_t>(pgm.size(), 64));
    if (std::sscanf(head.c_str(), "P5 %d %d %d%n", &gray.width, &gray.height, &maxValue, &consumed) != 3 ||
        maxValue != 255) {
        ADD_FAILURE() << "djpeg gave no 8-bit PGM for " << name;
        return {};
    }
    const std::size_t start = std::size_t(consumed) + 1;  // one whitespace byte after maxval
    gray.levels.assign(pgm.begin() + std::ptrdiff_t(start), pgm.end());
    EXPECT_EQ(gray.levels.size(), std::size_t(gray.width) * std::size_t(gray.height)) << name;
    return gray;
}

std::vector<uint8_t> LevelsOf(const GrayPlane& picture) {
    return std::vector<uint8_t>(picture.begin(), picture.begin() + picture.size());
}

std::size_t FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    return std::size_t(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
}

// ---------------------------------------------------------------------------
// Every pixel equals djpeg's level.

struct DjpegCase {
    const char* name;
    int width;
    int height;
    Colour colour;
    bool progressive;
    int restartInterval;
    bool arithmetic;
    double keptFraction;  // below 1: the file is cut after that share of its bytes
    int scale = 8;        // M of the scale M/8 the working size picks; 8: decoded at full size
};

class JpegLoaderMatchesDjpeg : public testing::TestWithParam<DjpegCase> {};

// The picture and the copy made while decoding (the loader's plane 0) both
// hold djpeg's levels at the scale.
TEST_P(JpegLoaderMatchesDjpeg, EveryPixelHasDjpegsLevel) {
    const DjpegCase& c = GetParam();
    JpegOptions options;
    options.width = c.width;
    options.height = c.height;
    options.colour = c.colour;
    options.progressive = c.progressive;
    options.restartInterval = c.restartInterval;
    options.arithmetic = c.arithmetic;
    std::vector<uint8_t> jpeg = testjpeg::RandomJpeg(options, uint32_t(c.width * 7919 + c.height));
    if (c.keptFraction < 1.0) jpeg.resize(std::size_t(double(jpeg.size()) * c.keptFraction));

    const Gray expected = DecodeWithDjpeg(jpeg, c.name, c.scale);
    JpegDecoder decoder(jpeg, c.scale == 8);
    decoder.ReadHeader();
    EXPECT_EQ(decoder.Source().width, c.width);
    EXPECT_EQ(decoder.Source().height, c.height);
    EXPECT_EQ(decoder.Source().scale, c.scale);
    EXPECT_EQ(decoder.Width(), expected.width);
    EXPECT_EQ(decoder.Height(), expected.height);
    GrayPlane copy;
    decoder.DecodeBitmap(&copy);
    ASSERT_NE(decoder.decodedBitmap, nullptr);
    const GrayPlane& picture = *decoder.decodedBitmap;
    ASSERT_EQ(picture.width, expected.width);
    ASSERT_EQ(picture.height, expected.height);
    const std::vector<uint8_t> levels = LevelsOf(picture);
    ASSERT_EQ(levels.size(), expected.levels.size());
    EXPECT_TRUE(levels == expected.levels) << "first difference at " << FirstDifference(levels, expected.levels);
    ASSERT_EQ(copy.width, picture.width);
    ASSERT_EQ(copy.height, picture.height);
    EXPECT_TRUE(LevelsOf(copy) == levels) << "first difference at " << FirstDifference(LevelsOf(copy), levels);
    EXPECT_EQ(decoder.WarningCount() > 0, c.keptFraction < 1.0);

    // The luminance Find Grid reads: djpeg's unquantised gray at the same scale,
    // still to be had after the picture was decoded.
    const Gray luminance = DecodeWithDjpeg(jpeg, std::string(c.name) + "_luminance", c.scale, false);
    const GrayPlane plain = decoder.DecodeLuminance();
    ASSERT_EQ(plain.width, luminance.width);
    ASSERT_EQ(plain.height, luminance.height);
    EXPECT_TRUE(LevelsOf(plain) == luminance.levels)
        << "first difference at " << FirstDifference(LevelsOf(plain), luminance.levels);
}

INSTANTIATE_TEST_SUITE_P(
    JpegLoader, JpegLoaderMatchesDjpeg,
    testing::Values(
        DjpegCase{"gray_baseline", 96, 64, Colour::kGray, false, 0, false, 1.0},
        DjpegCase{"colour_baseline", 96, 64, Colour::kRgb, false, 0, false, 1.0},
        DjpegCase{"colour_stored_as_rgb", 70, 50, Colour::kRgbStoredAsRgb, false, 0, false, 1.0},
        DjpegCase{"gray_progressive", 101, 77, Colour::kGray, true, 0, false, 1.0},
        DjpegCase{"colour_progressive", 97, 61, Colour::kRgb, true, 0, false, 1.0},
        DjpegCase{"gray_restarts", 83, 65, Colour::kGray, false, 3, false, 1.0},
        DjpegCase{"colour_restarts", 83, 65, Colour::kRgb, false, 2, false, 1.0},
        DjpegCase{"gray_arithmetic", 64, 40, Colour::kGray, false, 0, true, 1.0},
        DjpegCase{"colour_arithmetic_progressive", 45, 33, Colour::kRgb, true, 0, true, 1.0},
        DjpegCase{"gray_1x1", 1, 1, Colour::kGray, false, 0, false, 1.0},
        DjpegCase{"colour_1x1", 1, 1, Colour::kRgb, false, 0, false, 1.0},
        DjpegCase{"gray_5x3", 5, 3, Colour::kGray, false, 0, false, 1.0},
        DjpegCase{"colour_5x3_progressive", 5, 3, Colour::kRgb, true, 0, false, 1.0},
        DjpegCase{"gray_639x480", 639, 480, Colour::kGray, false, 0, false, 1.0},
        DjpegCase{"colour_639x480_progressive", 639, 480, Colour::kRgb, true, 0, false, 1.0},
        DjpegCase{"gray_truncated", 160, 120, Colour::kGray, false, 0, false, 0.55},
        DjpegCase{"colour_truncated_restarts", 160, 120, Colour::kRgb, false, 4, false, 0.7},
        DjpegCase{"gray_progressive_truncated", 160, 120, Colour::kGray, true, 0, false, 0.6},
        // At the working size: each scale the rule can pick, with sides that
        // round up at it (1201 * 7 / 8 = 1050.875) and odd heights.
        DjpegCase{"gray_1201x5_at_7", 1201, 5, Colour::kGray, false, 0, false, 1.0, 7},
        DjpegCase{"colour_7x1201_progressive_at_7", 7, 1201, Colour::kRgb, true, 0, false, 1.0, 7},
        DjpegCase{"gray_1372x9_progressive_at_6", 1372, 9, Colour::kGray, true, 0, false, 1.0, 6},
        DjpegCase{"colour_1600x7_at_6", 1600, 7, Colour::kRgb, false, 0, false, 1.0, 6},
        DjpegCase{"colour_1601x11_progressive_at_5", 1601, 11, Colour::kRgb, true, 0, false, 1.0, 5},
        DjpegCase{"gray_9x1920_restarts_at_5", 9, 1920, Colour::kGray, false, 2, false, 1.0, 5},
        DjpegCase{"gray_1921x3_progressive_at_4", 1921, 3, Colour::kGray, true, 0, false, 1.0, 4},
        DjpegCase{"colour_2400x17_arithmetic_at_4", 2400, 17, Colour::kRgb, false, 0, true, 1.0, 4},
        DjpegCase{"gray_2401x1801_at_3", 2401, 1801, Colour::kGray, false, 0, false, 1.0, 3},
        DjpegCase{"colour_3200x13_progressive_at_3", 3200, 13, Colour::kRgb, true, 0, false, 1.0, 3},
        DjpegCase{"gray_3201x3_at_2", 3201, 3, Colour::kGray, false, 0, false, 1.0, 2},
        DjpegCase{"colour_11x4800_progressive_at_2", 11, 4800, Colour::kRgb, true, 0, false, 1.0, 2},
        DjpegCase{"gray_4801x6_progressive_at_1", 4801, 6, Colour::kGray, true, 0, false, 1.0, 1},
        DjpegCase{"colour_9601x3_at_1", 9601, 3, Colour::kRgb, false, 0, false, 1.0, 1},  // 1201 x 1 fits nowhere
        DjpegCase{"colour_1301x7_progressive_full_size", 1301, 7, Colour::kRgb, true, 0, false, 1.0},
        // Cut short: decoded at the scale as far as libjpeg gets.
        DjpegCase{"gray_truncated_at_2", 3300, 40, Colour::kGray, false, 0, false, 0.5, 2},
        DjpegCase{"colour_progressive_truncated_at_3", 2600, 24, Colour::kRgb, true, 0, false, 0.6, 3}),
    [](const testing::TestParamInfo<DjpegCase>& info) { return std::string(info.param.name); });

// A tall narrow picture passes through the decoder in 64 bands of 256 rows,
// handed to the filling thread through a ring of 8. On one processor the
// decoding thread runs a whole time slice, some milliseconds, before the
// filling thread gets its turn, so the ring fills up and the decoding thread
// has to fill bands itself: a band may be reused only once the filling
// thread is done with it.
TEST(JpegLoader, FullRingOfBandsKeepsEveryRow) {
    const std::vector<uint8_t> jpeg = testjpeg::RandomJpeg({.width = 32, .height = 16384}, 5);
    const Gray expected = DecodeWithDjpeg(jpeg, "ring");
    cpu_set_t before;
    ASSERT_EQ(::sched_getaffinity(0, sizeof before, &before), 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &before)) {
            CPU_SET(cpu, &one);
            break;
        }
    ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);  // the filling thread inherits it
    for (int run = 0; run < 3; ++run) {
        JpegDecoder decoder(jpeg);
        GrayPlane copy;
        decoder.DecodeBitmap(&copy);
        const std::vector<uint8_t> levels = LevelsOf(*decoder.decodedBitmap);
        EXPECT_TRUE(levels == expected.levels) << "first difference at " << FirstDifference(levels, expected.levels);
        EXPECT_TRUE(LevelsOf(copy) == levels);
    }
    ::sched_setaffinity(0, sizeof before, &before);
}

// ---------------------------------------------------------------------------
// The gray levels.

// A ramp through every input level gives only the 236 levels (255 * j + 117)
// / 235, black and white among them.
TEST(JpegLoader, OnlyThe236EvenGrayLevels) {
    std::vector<uint8_t> ramp(std::size_t(256) * 8);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = uint8_t(i % 256);
    bool allowed[256] = {};
    for (int j = 0; j < 236; ++j) allowed[(255 * j + 117) / 235] = true;
    for (bool progressive : {false, true}) {
        JpegDecoder decoder(testjpeg::EncodeJpeg({.width = 256, .height = 8, .progressive = progressive}, ramp));
        decoder.DecodeBitmap();
        const std::vector<uint8_t> levels = LevelsOf(*decoder.decodedBitmap);
        for (uint8_t level : levels) EXPECT_TRUE(allowed[level]) << int(level);
        EXPECT_EQ(*std::min_element(levels.begin(), levels.end()), 0);
        EXPECT_EQ(*std::max_element(levels.begin(), levels.end()), 255);
    }
}

TEST(JpegLoader, AllWhiteGrayPictureDecodesToAll255) {
    const std::vector<uint8_t> white(std::size_t(37) * 23, 255);
    JpegDecoder decoder(testjpeg::EncodeJpeg({.width = 37, .height = 23}, white));
    decoder.DecodeBitmap();
    const std::vector<uint8_t> levels = LevelsOf(*decoder.decodedBitmap);
    EXPECT_EQ(std::count(levels.begin(), levels.end(), 255), std::ptrdiff_t(levels.size()));
}

TEST(JpegLoader, SecondDecodeReturnsTheSameBitmap) {
    JpegDecoder decoder(testjpeg::RandomJpeg({.width = 20, .height = 10}, 9));
    decoder.DecodeBitmap();
    const GrayPlane* first = decoder.decodedBitmap;
    const std::vector<uint8_t> levels = LevelsOf(*first);
    GrayPlane copy;
    decoder.DecodeBitmap(&copy);
    EXPECT_EQ(decoder.decodedBitmap, first);
    EXPECT_EQ(LevelsOf(*decoder.decodedBitmap), levels);
    EXPECT_EQ(LevelsOf(copy), levels);  // a copy asked for later is the same picture
    EXPECT_EQ(decoder.Width(), 20);
    EXPECT_EQ(decoder.Height(), 10);
}

// ---------------------------------------------------------------------------
// Refusals: libjpeg's errors, the scan limit and the size guard.

struct BrokenCase {
    const char* name;
    std::vector<uint8_t> bytes;
    int code;
    bool headerReads;  // the error comes only when decoding starts
};

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

class JpegLoaderRefuses : public testing::TestWithParam<BrokenCase> {};

TEST_P(JpegLoaderRefuses, WithLibjpegsMessageCode) {
    const BrokenCase& c = GetParam();
    JpegDecoder decoder(c.bytes);
    if (c.headerReads) {
        EXPECT_NO_THROW(decoder.ReadHeader());
    } else {
        try {
            decoder.ReadHeader();
            ADD_FAILURE() << "header read";
        } catch (const VexoError& e) {
            EXPECT_EQ(std::string(e.what()), JpegError(c.code));
        }
    }
    for (int attempt = 0; attempt < 2; ++attempt) {  // a failed decode can be asked again
        try {
            decoder.DecodeBitmap();
            ADD_FAILURE() << "decoded";
        } catch (const VexoError& e) {
            EXPECT_EQ(std::string(e.what()), JpegError(c.code));
        }
        EXPECT_EQ(decoder.decodedBitmap, nullptr);
    }
}

std::vector<uint8_t> CutAfterFrameHeader() {
    std::vector<uint8_t> jpeg = testjpeg::RandomJpeg({.width = 16, .height = 16}, 3);
    jpeg.resize(testjpeg::FindMarker(jpeg, 0xDA));  // tables and frame, no scan
    return jpeg;
}

INSTANTIATE_TEST_SUITE_P(
    JpegLoader, JpegLoaderRefuses,
    testing::Values(
        BrokenCase{"empty", {}, JERR_INPUT_EMPTY, false},
        BrokenCase{"one_byte", {0xFF}, JERR_NO_SOI, false},
        BrokenCase{"soi_only", {0xFF, 0xD8}, JERR_NO_IMAGE, false},
        BrokenCase{"text", Bytes("This is not a picture.\n"), JERR_NO_SOI, false},
        BrokenCase{"png_signature", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13}, JERR_NO_SOI,
                   false},
        BrokenCase{"no_scan", CutAfterFrameHeader(), JERR_SOF_NO_SOS, false},
        BrokenCase{"cmyk", testjpeg::RandomJpeg({.width = 24, .height = 16, .colour = Colour::kCmyk}, 4),
                   JERR_CONVERSION_NOTIMPL, true},
        BrokenCase{"ycck", testjpeg::RandomJpeg({.width = 24, .height = 16, .colour = Colour::kYcck}, 4),
                   JERR_CONVERSION_NOTIMPL, true}),
    [](const testing::TestParamInfo<BrokenCase>& info) { return std::string(info.param.name); });

TEST(JpegLoader, RefusesProgressiveFileWithMoreThan500Scans) {
    const std::vector<jpeg_scan_info> scans = testjpeg::ManyScansScript();
    ASSERT_GT(scans.size(), 500u);
    JpegOptions options{.width = 16, .height = 16, .progressive = true};
    options.scans = scans.data();
    options.scanCount = int(scans.size());
    JpegDecoder decoder(testjpeg::RandomJpeg(options, 11));
    decoder.ReadHeader();
    EXPECT_EQ(decoder.Width(), 16);
    try {
        decoder.DecodeBitmap();
        ADD_FAILURE() << "decoded";
    } catch (const VexoError& e) {
        EXPECT_EQ(std::string(e.what()), "JPEG error: progressive JPEG with more than 500 scans");
    }

    // 500 scans still load.
    options.scanCount = 500;
    JpegDecoder allowed(testjpeg::RandomJpeg(options, 11));
    EXPECT_NO_THROW(allowed.DecodeBitmap());
}

TEST(JpegLoader, HeaderGivesTheClaimedSizeAndDecodeRefusesAGiantOne) {
    std::vector<uint8_t> jpeg = testjpeg::RandomJpeg({.width = 16, .height = 16}, 6);
    testjpeg::PatchFrameSize(jpeg, 60000, 20000);
    JpegDecoder decoder(jpeg);
    decoder.ReadHeader();
    EXPECT_EQ(decoder.Width(), 60000);
    EXPECT_EQ(decoder.Height(), 20000);
    try {
        decoder.DecodeBitmap();
        ADD_FAILURE() << "decoded";
    } catch (const VexoError& e) {
        EXPECT_EQ(std::string(e.what()), "Picture too large: 60000 x 20000 (at most 16384 x 16384)");
    }
}

// A progressive file keeps all its coefficients (2 bytes a pixel here); libjpeg
// refuses to take more working memory than the loader allows it, before the
// bitmap is allocated.
TEST(JpegLoader, RefusesProgressiveFileBeyondTheMemoryLimit) {
    std::vector<uint8_t> jpeg = testjpeg::RandomJpeg({.width = 16, .height = 16, .progressive = true}, 6);
    testjpeg::PatchFrameSize(jpeg, 16384, 16384);
    JpegDecoder decoder(jpeg);
    try {
        decoder.DecodeBitmap();
        ADD_FAILURE() << "decoded";
    } catch (const VexoError& e) {
        EXPECT_EQ(std::string(e.what()), JpegError(JERR_NO_BACKING_STORE));
    }
}

// A frame claiming far more rows than its data holds: libjpeg meets the end
// marker inside the entropy data, warns and fills the rest; the picture keeps
// its claimed size.
TEST(JpegLoader, ShortDataLoadsWithAWarning) {
    std::vector<uint8_t> jpeg = testjpeg::RandomJpeg({.width = 16, .height = 16}, 8);
    testjpeg::PatchFrameSize(jpeg, 16, 4000);
    JpegDecoder decoder(jpeg);
    decoder.DecodeBitmap();
    EXPECT_EQ(decoder.decodedBitmap->height, 4000);
    EXPECT_EQ(decoder.FirstWarningCode(), JWRN_HIT_MARKER);
    EXPECT_GE(decoder.WarningCount(), 1);
}

// ---------------------------------------------------------------------------
// The hostile corpus: each file either loads (as djpeg decodes it) or raises
// VexoError.

TEST(JpegLoaderHostileCorpus, EveryFileDecodesOrRaisesVexoError) {
    const fs::path dir = fs::path(VEXO_SOURCE_DIR) / "tests" / "hostile_corpus";
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file() && entry.path().filename() != "README") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_GE(files.size(), 20u);
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        JpegDecoder decoder(ReadFile(file));
        std::string outcome = "decoded";
        try {
            decoder.ReadHeader();
            if (decoder.Width() <= 16384 && decoder.Height() <= 16384) {
                decoder.DecodeBitmap();
                ASSERT_NE(decoder.decodedBitmap, nullptr);
                const GrayPlane& b = *decoder.decodedBitmap;
                EXPECT_EQ(b.width, decoder.Width());
                EXPECT_EQ(b.height, decoder.Height());
                if (decoder.WarningCount() > 0)
                    outcome += " with warning #" + std::to_string(decoder.FirstWarningCode());
                // What libjpeg gets past, it gets past the same way for djpeg.
                const Gray expected = DecodeWithDjpeg(ReadFile(file), file.stem().string());
                EXPECT_TRUE(LevelsOf(b) == expected.levels);
            } else {
                outcome = "refused by size";
            }
        } catch (const VexoError& e) {
            outcome = e.what();
        }
        std::printf("  %-40s %s\n", file.filename().c_str(), outcome.c_str());
    }
}

}  // namespace
}  // namespace vexo
