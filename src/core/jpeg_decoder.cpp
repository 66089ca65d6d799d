// JPEG decoding with libjpeg into a gray picture of 236 levels.
//
// libjpeg reports fatal errors through error_exit, which must not return.
// Ours longjmps back to the setjmp of the stage that made the call; the
// stages below hold no object with a destructor, so the jump skips nothing,
// and the C++ caller then frees the decompressor and throws. The progress
// monitor leaves the same way when a progressive file has too many scans.
//
// libjpeg writes its rows (palette indices) into bands of a small ring; for
// pictures of half a million pixels or more a filling thread turns each band
// into gray levels in the picture (and in the copy the loader asks for) while
// libjpeg decodes the next band. The ring keeps the decoding thread off the
// picture's fresh memory, so decoding runs about as fast as libjpeg alone.
#include "core/jpeg_decoder.h"

#include <algorithm>
#include <condition_variable>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include <jpeglib.h>

#include "core/errors.h"
#include "core/pixel_loop.h"
#include "core/plane.h"
#include "core/work_threads.h"

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
// Without `quantise` the rows are the decoded luminance itself.
bool ReadHeaderStage(Session& s, const uint8_t* data, std::size_t size, bool fullSize, bool quantise = true) {
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
    if (quantise) {
        s.cinfo.quantize_colors = TRUE;
        s.cinfo.desired_number_of_colors = kQuantiserColours;
        s.cinfo.dither_mode = JDITHER_FS;
        s.cinfo.two_pass_quantize = FALSE;
    }
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
// where the scan limit and the memory limit act) and takes the gray level of
// each colormap index. False after a libjpeg error.
bool StartStage(Session& s, uint8_t (&levels)[256]) {
    if (setjmp(s.jump)) return false;
    jpeg_start_decompress(&s.cinfo);
    const int colours = s.cinfo.actual_number_of_colors;
    for (int j = 0; j < 256; ++j) levels[j] = j < colours ? s.cinfo.colormap[0][j] : 0;
    return true;
}

// Bands of about this many bytes, at most kMaxBandRows rows, go from the
// decoding thread to the filling thread through a ring of kRingBands.
constexpr std::size_t kBandBytes = 128 * 1024;
constexpr int kMaxBandRows = 256;
constexpr int kRingBands = 8;
// Smaller pictures are filled on the decoding thread: a thread would cost
// more than it saves.
constexpr std::size_t kThreadedFrom = 512 * 1024;

// Turns bands of decoded rows into gray levels in the picture and the copy.
// A second thread fills the bands of the ring; the decoding thread never
// waits for it: when the ring is full (the filling thread is slow to be
// scheduled) it fills the band itself, and at the end it takes over the
// bands the filling thread has not started. Every band is filled by exactly
// one of the two, so the result does not depend on who filled what.
class RowFiller {
public:
    RowFiller(const uint8_t (&levels)[256], GrayPlane& picture, GrayPlane* copy)
        : levels_(levels), picture_(picture), copy_(copy) {
        evenLevels_ = true;
        for (int j = 0; j < kQuantiserColours; ++j) evenLevels_ = evenLevels_ && levels[j] == EvenLevel(uint8_t(j));
        const std::size_t width = std::size_t(picture.width);
        bandRows_ = static_cast<int>(std::clamp<std::size_t>(kBandBytes / width, 1, kMaxBandRows));
        bandBytes_ = std::size_t(bandRows_) * width;
        const bool threaded = picture.size() >= kThreadedFrom && WorkThreads() != 1;
        // The ring's bands, then the decoding thread's own band.
        buffers_ = AllocateBlock(bandBytes_ * (threaded ? kRingBands + 1 : 1), false);
        CheckAllocation(buffers_.get());
        own_ = buffers_.get() + (threaded ? bandBytes_ * kRingBands : 0);
        if (threaded) {
            try {
                thread_ = std::thread([this] { Run(); });
            } catch (const std::system_error&) {
                // No thread to be had: the decoding thread fills every band.
            }
        }
    }
    ~RowFiller() { Finish(); }
    RowFiller(const RowFiller&) = delete;
    RowFiller& operator=(const RowFiller&) = delete;

    int bandRows() const { return bandRows_; }

    // Where the next band goes: a free band of the ring, else the decoding
    // thread's own.
    uint8_t* NextBand() {
        next_ = own_;
        if (thread_.joinable()) {
            std::lock_guard lock(mutex_);
            if (published_ - filled_ < kRingBands) next_ = Slot(published_);
        }
        return next_;
    }

    // The band from NextBand now holds `rows` rows from `firstRow` on.
    void Publish(int firstRow, int rows) {
        if (next_ == own_) {
            Fill(own_, firstRow, rows);
            return;
        }
        {
            std::lock_guard lock(mutex_);
            bands_[published_ % kRingBands] = Band{firstRow, rows};
            ++published_;
        }
        bandReady_.notify_one();
    }

    // No more bands: fills those not yet taken, and returns once every band
    // is filled.
    void Finish() {
        if (!thread_.joinable()) return;
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        bandReady_.notify_one();
        for (uint64_t k; Take(k);) Fill(Slot(k), bands_[k % kRingBands].firstRow, bands_[k % kRingBands].rows);
        thread_.join();
    }

private:
    struct Band {
        int firstRow = 0;
        int rows = 0;
    };

    uint8_t* Slot(uint64_t k) { return buffers_.get() + (k % kRingBands) * bandBytes_; }

    // Takes the oldest band nobody has taken yet, if any.
    bool Take(uint64_t& k) {
        std::lock_guard lock(mutex_);
        if (taken_ == published_) return false;
        k = taken_++;
        return true;
    }

    void Run() {
        for (;;) {
            uint64_t k;
            {
                std::unique_lock lock(mutex_);
                bandReady_.wait(lock, [this] { return published_ > taken_ || finished_; });
                if (taken_ == published_) return;
                k = taken_++;
            }
            Fill(Slot(k), bands_[k % kRingBands].firstRow, bands_[k % kRingBands].rows);
            std::lock_guard lock(mutex_);
            ++filled_;  // in ring order: until Finish only this thread takes bands
        }
    }

    // Level j of the quantiser, (255 * j + 117) / 235, in 16-bit arithmetic
    // that the compiler turns into vector instructions (a table lookup does
    // not vectorise and takes several times as long).
    static uint8_t EvenLevel(uint8_t j) {
        const uint16_t scaled = static_cast<uint16_t>(j * 255u + 117u);
        return static_cast<uint8_t>(scaled / uint16_t(235));
    }

    VEXO_PIXEL_LOOP void Fill(const uint8_t* indices, int firstRow, int rows) {
        const std::size_t n = std::size_t(rows) * std::size_t(picture_.width);
        uint8_t* __restrict out = picture_.row(firstRow);
        if (!evenLevels_) {
            for (std::size_t i = 0; i < n; ++i) out[i] = levels_[indices[i]];
            if (copy_ != nullptr) std::memcpy(copy_->row(firstRow), out, n);
        } else if (copy_ == nullptr) {
            for (std::size_t i = 0; i < n; ++i) out[i] = EvenLevel(indices[i]);
        } else {
            uint8_t* __restrict second = copy_->row(firstRow);
            for (std::size_t i = 0; i < n; ++i) out[i] = second[i] = EvenLevel(indices[i]);
        }
    }

    const uint8_t (&levels_)[256];
    bool evenLevels_;  // the colormap holds the quantiser's even gray levels
    GrayPlane& picture_;
    GrayPlane* copy_;
    int bandRows_ = 1;
    std::size_t bandBytes_ = 0;
    Block buffers_;
    uint8_t* own_ = nullptr;
    uint8_t* next_ = nullptr;

    std::mutex mutex_;
    std::condition_variable bandReady_;
    Band bands_[kRingBands];
    uint64_t published_ = 0;  // bands put into the ring
    uint64_t taken_ = 0;      // bands a thread has started to fill
    uint64_t filled_ = 0;     // bands the filling thread has finished
    bool finished_ = false;
    std::thread thread_;
};

// Decodes every row, band by band, into the filler. False after a libjpeg
// error. Nothing here has a destructor, and the filler is called only between
// libjpeg's calls, so a jump out of libjpeg leaves no lock held.
bool ReadStage(Session& s, RowFiller& filler) {
    if (setjmp(s.jump)) return false;
    const std::size_t width = s.cinfo.output_width;
    const JDIMENSION height = s.cinfo.output_height;
    JSAMPROW rows[kMaxBandRows];
    while (s.cinfo.output_scanline < height) {
        const JDIMENSION first = s.cinfo.output_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(JDIMENSION(filler.bandRows()), height - first);
        uint8_t* band = filler.NextBand();
        for (JDIMENSION i = 0; i < count; ++i) rows[i] = band + std::size_t(i) * width;
        while (s.cinfo.output_scanline < first + count) {
            const JDIMENSION done = s.cinfo.output_scanline - first;
            jpeg_read_scanlines(&s.cinfo, rows + done, count - done);
        }
        filler.Publish(static_cast<int>(first), static_cast<int>(count));
    }
    jpeg_finish_decompress(&s.cinfo);
    return true;
}

// Starts the decompressor and decodes every row straight into `picture`.
// False after a libjpeg error.
bool LuminanceStage(Session& s, GrayPlane& picture) {
    if (setjmp(s.jump)) return false;
    jpeg_start_decompress(&s.cinfo);
    constexpr int kRowsAtOnce = 16;
    JSAMPROW rows[kRowsAtOnce];
    const JDIMENSION height = s.cinfo.output_height;
    while (s.cinfo.output_scanline < height) {
        const JDIMENSION first = s.cinfo.output_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(kRowsAtOnce, height - first);
        for (JDIMENSION i = 0; i < count; ++i) rows[i] = picture.row(static_cast<int>(first + i));
        jpeg_read_scanlines(&s.cinfo, rows, count);
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

JpegDecoder::JpegDecoder(FileBytes fileBytes, bool fullSize) : bytes_(std::move(fileBytes)), fullSize_(fullSize) {}

namespace {

FileBytes CopyOf(const std::vector<uint8_t>& bytes) {
    FileBytes copy;
    if (bytes.empty()) return copy;
    copy.data = AllocateBlock(bytes.size(), false);
    CheckAllocation(copy.data.get());
    std::memcpy(copy.data.get(), bytes.data(), bytes.size());
    copy.size = bytes.size();
    return copy;
}

}  // namespace

JpegDecoder::JpegDecoder(const std::vector<uint8_t>& fileBytes, bool fullSize)
    : JpegDecoder(CopyOf(fileBytes), fullSize) {}

// A bitmap whose indices do not cover its size gives an empty picture.
VEXO_PIXEL_LOOP std::unique_ptr<JpegDecoder> JpegDecoder::FromBitmap(const DecodedBitmap& bitmap) {
    auto decoder = std::make_unique<JpegDecoder>(FileBytes{}, true);
    decoder->TakeSizes(bitmap.width, bitmap.height, 8, bitmap.width, bitmap.height);
    if (bitmap.width > 0 && bitmap.height > 0 &&
        bitmap.indices.size() == std::size_t(bitmap.width) * std::size_t(bitmap.height)) {
        decoder->picture_ = Plane::AllocateUnfilled(bitmap.width, bitmap.height);
        CheckAllocation(decoder->picture_);
        for (std::size_t i = 0; i < bitmap.indices.size(); ++i)
            decoder->picture_.begin()[i] = bitmap.palette[bitmap.indices[i]].red;
    }
    decoder->decoded_ = true;
    decoder->decodedBitmap = &decoder->picture_;
    return decoder;
}

void JpegDecoder::ReadHeader() {
    if (decoded_) return;
    Decompressor decompressor;
    Session& s = decompressor.session();
    if (!ReadHeaderStage(s, bytes_.data.get(), bytes_.size, fullSize_)) decompressor.Fail();
    TakeSizes(s.cinfo.image_width, s.cinfo.image_height, ScaleOf(s.cinfo), s.cinfo.output_width,
              s.cinfo.output_height);
}

void JpegDecoder::TakeSizes(int64_t sourceWidth, int64_t sourceHeight, int scale, int64_t width, int64_t height) {
    source_ = SourceSize{static_cast<int32_t>(sourceWidth), static_cast<int32_t>(sourceHeight), scale};
    width_ = static_cast<int>(width);
    height_ = static_cast<int>(height);
}

void JpegDecoder::DecodeBitmap(GrayPlane* copy) {
    if (decoded_) {
        decodedBitmap = &picture_;
        if (copy != nullptr) {
            GrayPlane plane = Plane::AllocateUnfilled(picture_.width, picture_.height);
            CheckAllocation(plane);
            if (picture_.size() != 0) std::memcpy(plane.begin(), picture_.begin(), picture_.size());
            *copy = std::move(plane);
        }
        return;
    }
    Decompressor decompressor;
    Session& s = decompressor.session();
    if (!ReadHeaderStage(s, bytes_.data.get(), bytes_.size, fullSize_)) decompressor.Fail();

    // Callers refuse large pictures after ReadHeader; this guard keeps a
    // direct call from allocating and decoding a giant picture all the same.
    // The limit applies to the size the file declares, whatever the scale.
    CheckPictureSize(s.cinfo.image_width, s.cinfo.image_height);
    const JDIMENSION width = s.cinfo.output_width;
    const JDIMENSION height = s.cinfo.output_height;

    uint8_t levels[256];
    if (!StartStage(s, levels)) decompressor.Fail();
    GrayPlane picture = Plane::AllocateUnfilled(static_cast<int>(width), static_cast<int>(height));
    CheckAllocation(picture);
    GrayPlane second;
    if (copy != nullptr) {
        second = Plane::AllocateUnfilled(static_cast<int>(width), static_cast<int>(height));
        CheckAllocation(second);
    }
    bool read;
    {
        RowFiller filler(levels, picture, copy != nullptr ? &second : nullptr);
        read = ReadStage(s, filler);
        filler.Finish();
    }
    if (!read) decompressor.Fail();

    warningCount_ = s.warningCount;
    firstWarningCode_ = s.firstWarningCode;
    TakeSizes(s.cinfo.image_width, s.cinfo.image_height, ScaleOf(s.cinfo), width, height);
    picture_ = std::move(picture);
    if (copy != nullptr) *copy = std::move(second);
    decoded_ = true;
    decodedBitmap = &picture_;
}

LuminancePicture DecodeLuminance(const uint8_t* data, std::size_t size, bool fullSize) {
    Decompressor decompressor;
    Session& s = decompressor.session();
    if (!ReadHeaderStage(s, data, size, fullSize, false)) decompressor.Fail();
    CheckPictureSize(s.cinfo.image_width, s.cinfo.image_height);
    LuminancePicture result;
    result.plane = Plane::AllocateUnfilled(static_cast<int>(s.cinfo.output_width), static_cast<int>(s.cinfo.output_height));
    CheckAllocation(result.plane);
    if (!LuminanceStage(s, result.plane)) decompressor.Fail();
    result.source = SourceSize{static_cast<int32_t>(s.cinfo.image_width), static_cast<int32_t>(s.cinfo.image_height),
                               ScaleOf(s.cinfo)};
    return result;
}

GrayPlane JpegDecoder::DecodeFullLuminance() const {
    if (bytes_.size == 0) return DecodeLuminance();
    return vexo::DecodeLuminance(bytes_.data.get(), bytes_.size, true).plane;
}

GrayPlane JpegDecoder::DecodeLuminance() const {
    if (bytes_.size == 0) {
        // A picture made without a file: its gray levels are all there is.
        GrayPlane copy = Plane::AllocateUnfilled(picture_.width, picture_.height);
        CheckAllocation(copy);
        if (picture_.size() != 0) std::memcpy(copy.begin(), picture_.begin(), picture_.size());
        return copy;
    }
    return vexo::DecodeLuminance(bytes_.data.get(), bytes_.size, fullSize_).plane;
}

}  // namespace vexo
