// JPEG decoding with libjpeg into a 236-level gray palette picture.
//
// libjpeg reports fatal errors through error_exit, which must not return.
// Ours longjmps back to the setjmp of the stage that made the call; the
// stages below hold no object with a destructor, so the jump skips nothing,
// and the C++ caller then frees the decompressor and throws. The progress
// monitor leaves the same way when a progressive file has too many scans.
#include "core/jpeg_decoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include <jpeglib.h>

#include "core/errors.h"
#include "core/plane.h"

namespace vexo {
namespace {

constexpr int kQuantiserColours = 236;
// libjpeg's own working memory (coefficient buffers of progressive files).
constexpr long kLibjpegMemoryLimit = 512L * 1024 * 1024;
// A progressive file is refused once libjpeg reaches this scan number + 1.
constexpr int kMaxProgressiveScans = 500;

enum class Failure { kNone, kLibjpeg, kTooManyScans };

struct Session {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errors;
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    Failure failure;
    int messageCode;
    int warningCount;
    int firstWarningCode;
};

Session& SessionOf(j_common_ptr cinfo) { return *static_cast<Session*>(cinfo->client_data); }

void ErrorExit(j_common_ptr cinfo) {
    Session& session = SessionOf(cinfo);
    session.failure = Failure::kLibjpeg;
    session.messageCode = cinfo->err->msg_code;
    std::longjmp(session.jump, 1);
}

// Level -1 is a warning (corrupt or truncated data that libjpeg gets past);
// higher levels are trace messages. Nothing is printed.
void EmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    Session& session = SessionOf(cinfo);
    if (session.warningCount == 0) session.firstWarningCode = cinfo->err->msg_code;
    ++session.warningCount;
    ++cinfo->err->num_warnings;
}

void OutputMessage(j_common_ptr) {}

void ProgressMonitor(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->progressive_mode && dinfo->input_scan_number > kMaxProgressiveScans) {
        Session& session = SessionOf(cinfo);
        session.failure = Failure::kTooManyScans;
        std::longjmp(session.jump, 1);
    }
}

// Creates the decompressor, reads the header and sets every decompression
// parameter; the output size is then known. False after a libjpeg error.
// The scale is chosen here: 1/1 at full size or when both declared sides are
// at most kWorkingSide, else the largest M/8 (M from 7 down to 1) whose output
// sides (libjpeg's, rounded up) both fit, and 1/8 when none does.
bool ReadHeaderStage(Session& s, const uint8_t* data, std::size_t size, bool fullSize) {
    if (setjmp(s.jump)) return false;
    jpeg_create_decompress(&s.cinfo);
    s.cinfo.mem->max_memory_to_use = kLibjpegMemoryLimit;
    s.cinfo.progress = &s.progress;
    jpeg_mem_src(&s.cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&s.cinfo, TRUE);
    s.cinfo.scale_num = 1;
    s.cinfo.scale_denom = 1;
    s.cinfo.do_block_smoothing = TRUE;
    s.cinfo.out_color_space = JCS_GRAYSCALE;
    s.cinfo.quantize_colors = TRUE;
    s.cinfo.desired_number_of_colors = kQuantiserColours;
    s.cinfo.dither_mode = JDITHER_FS;
    s.cinfo.two_pass_quantize = FALSE;
    jpeg_calc_output_dimensions(&s.cinfo);
    const auto fits = [&s] {
        return s.cinfo.output_width <= JDIMENSION(kWorkingSide) && s.cinfo.output_height <= JDIMENSION(kWorkingSide);
    };
    if (!fullSize && !fits()) {
        s.cinfo.scale_denom = 8;
        for (int m = 7; m >= 1; --m) {
            s.cinfo.scale_num = static_cast<unsigned>(m);
            jpeg_calc_output_dimensions(&s.cinfo);
            if (fits()) break;
        }
    }
    return true;
}

int ScaleOf(const jpeg_decompress_struct& cinfo) {
    return cinfo.scale_denom == 8 ? static_cast<int>(cinfo.scale_num) : 8;
}

// Starts the decompressor (a multi-scan file is read whole here, which is
// where the scan limit and the memory limit act) and copies the colormap into
// the palette. False after a libjpeg error.
bool StartStage(Session& s, DecodedBitmap& bitmap) {
    if (setjmp(s.jump)) return false;
    jpeg_start_decompress(&s.cinfo);
    const int colours = s.cinfo.actual_number_of_colors;
    for (int j = 0; j < colours && j < 256; ++j) {
        const uint8_t level = s.cinfo.colormap[0][j];
        bitmap.palette[j] = Rgb{level, level, level};
    }
    bitmap.paletteSize = colours < 256 ? colours : 256;
    return true;
}

// Decodes every row into `indices` (output_width * output_height bytes).
// False after a libjpeg error.
bool ReadStage(Session& s, DecodedBitmap& bitmap) {
    if (setjmp(s.jump)) return false;
    const std::size_t width = s.cinfo.output_width;
    while (s.cinfo.output_scanline < s.cinfo.output_height) {
        JSAMPROW row = bitmap.indices.data() + std::size_t(s.cinfo.output_scanline) * width;
        jpeg_read_scanlines(&s.cinfo, &row, 1);
    }
    jpeg_finish_decompress(&s.cinfo);
    return true;
}

// Owns one libjpeg decompressor for the length of a call.
class Decompressor {
public:
    Decompressor() {
        std::memset(&s_, 0, sizeof s_);
        s_.cinfo.err = jpeg_std_error(&s_.errors);
        s_.errors.error_exit = ErrorExit;
        s_.errors.emit_message = EmitMessage;
        s_.errors.output_message = OutputMessage;
        s_.progress.progress_monitor = ProgressMonitor;
        s_.cinfo.client_data = &s_;
        s_.firstWarningCode = -1;
    }
    ~Decompressor() { jpeg_destroy_decompress(&s_.cinfo); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    Session& session() { return s_; }

    [[noreturn]] void Fail() const {
        if (s_.failure == Failure::kTooManyScans)
            throw VexoError("JPEG error: progressive JPEG with more than " +
                            std::to_string(kMaxProgressiveScans) + " scans");
        throw VexoError("JPEG error #" + std::to_string(s_.messageCode));
    }

private:
    Session s_;
};

}  // namespace

JpegDecoder::JpegDecoder(std::vector<uint8_t> fileBytes, bool fullSize)
    : bytes_(std::move(fileBytes)), fullSize_(fullSize) {}

std::unique_ptr<JpegDecoder> JpegDecoder::FromBitmap(DecodedBitmap bitmap) {
    auto decoder = std::make_unique<JpegDecoder>(std::vector<uint8_t>{});
    decoder->TakeSizes(bitmap.width, bitmap.height, 8, bitmap.width, bitmap.height);
    decoder->bitmap_ = std::move(bitmap);
    decoder->decoded_ = true;
    decoder->decodedBitmap = &decoder->bitmap_;
    return decoder;
}

void JpegDecoder::ReadHeader() {
    if (decoded_) return;
    Decompressor decompressor;
    Session& s = decompressor.session();
    if (!ReadHeaderStage(s, bytes_.data(), bytes_.size(), fullSize_)) decompressor.Fail();
    TakeSizes(s.cinfo.image_width, s.cinfo.image_height, ScaleOf(s.cinfo), s.cinfo.output_width,
              s.cinfo.output_height);
}

void JpegDecoder::TakeSizes(int64_t sourceWidth, int64_t sourceHeight, int scale, int64_t width, int64_t height) {
    source_ = SourceSize{static_cast<int32_t>(sourceWidth), static_cast<int32_t>(sourceHeight), scale};
    width_ = static_cast<int>(width);
    height_ = static_cast<int>(height);
}

void JpegDecoder::DecodeBitmap() {
    if (decoded_) {
        decodedBitmap = &bitmap_;
        return;
    }
    Decompressor decompressor;
    Session& s = decompressor.session();
    if (!ReadHeaderStage(s, bytes_.data(), bytes_.size(), fullSize_)) decompressor.Fail();

    // Callers refuse large pictures after ReadHeader; this guard keeps a
    // direct call from allocating and decoding a giant picture all the same.
    // The limit applies to the size the file declares, whatever the scale.
    CheckPictureSize(s.cinfo.image_width, s.cinfo.image_height);
    const JDIMENSION width = s.cinfo.output_width;
    const JDIMENSION height = s.cinfo.output_height;

    DecodedBitmap bitmap;
    bitmap.width = static_cast<int>(width);
    bitmap.height = static_cast<int>(height);
    if (!StartStage(s, bitmap)) decompressor.Fail();
    try {
        bitmap.indices.resize(std::size_t(width) * std::size_t(height));
    } catch (const std::bad_alloc&) {
        throw Terminate(kNotEnoughMemory);
    }
    if (!ReadStage(s, bitmap)) decompressor.Fail();

    warningCount_ = s.warningCount;
    firstWarningCode_ = s.firstWarningCode;
    TakeSizes(s.cinfo.image_width, s.cinfo.image_height, ScaleOf(s.cinfo), width, height);
    bitmap_ = std::move(bitmap);
    decoded_ = true;
    decodedBitmap = &bitmap_;
}

}  // namespace vexo
