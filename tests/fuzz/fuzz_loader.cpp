// JPEG bytes into the decoder: every input either decodes into a picture that
// keeps the decoder's promises or stops with a VexoError. Anything else (a
// fault, another exception, a broken bitmap) is a finding.
//
// Like the workbench, a picture with a side above 16384 is refused after the
// header and never decoded. Pictures above kDecodeLimit pixels are skipped as
// well, only to keep each run short; the workbench would load them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/workbench.h"
#include "core/errors.h"
#include "core/image_state.h"
#include "core/jpeg_decoder.h"
#include "core/memory_screen.h"
#include "core/pixel_loop.h"

namespace {

constexpr int64_t kDecodeLimit = int64_t(1) << 19;
// Small pictures also go through the workbench's load and refresh.
constexpr int64_t kWorkbenchLimit = int64_t(1) << 14;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_loader: %s\n", what);
    std::abort();
}

VEXO_PIXEL_LOOP void CheckBitmap(const vexo::GrayPlane& bitmap, int width, int height) {
    if (bitmap.width != width || bitmap.height != height) Fail("bitmap size differs from the header");
    if (!bitmap) Fail("bitmap has no samples");
    bool level[256] = {};
    for (int j = 0; j < 236; ++j) level[(255 * j + 117) / 235] = true;
    for (std::size_t i = 0; i < bitmap.size(); ++i)
        if (!level[bitmap.begin()[i]]) Fail("sample is not one of the 236 gray levels");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    auto jpeg = std::make_unique<vexo::JpegDecoder>(std::vector<uint8_t>(data, data + size));
    try {
        jpeg->ReadHeader();
    } catch (const vexo::VexoError&) {
        return 0;
    }
    const int width = jpeg->Width(), height = jpeg->Height();
    if (width <= 0 || height <= 0) Fail("header accepted with an empty size");
    if (width > vexo::kMaxPictureSide || height > vexo::kMaxPictureSide) return 0;
    if (int64_t(width) * height > kDecodeLimit) return 0;

    try {
        jpeg->DecodeBitmap();
    } catch (const vexo::VexoError&) {
        if (jpeg->decodedBitmap != nullptr) Fail("failed decode left a bitmap");
        return 0;
    }
    const vexo::GrayPlane* bitmap = jpeg->decodedBitmap;
    if (bitmap == nullptr) Fail("decode gave no bitmap");
    CheckBitmap(*bitmap, width, height);
    jpeg->DecodeBitmap();
    if (jpeg->decodedBitmap != bitmap) Fail("second decode gave another bitmap");

    if (int64_t(width) * height > kWorkbenchLimit) return 0;
    vexo::MemoryScreen screen;
    vexo::Workbench bench(screen);
    bench.LoadDecoded(std::move(jpeg), "fuzz.jpg");
    const vexo::ImageState& image = bench.image();
    if (!image.loaded() || image.width != width || image.height != height) Fail("decoded picture did not load");
    if (screen.displayWidth != vexo::StrideFor(width) || screen.displayHeight != height) Fail("display has the wrong size");
    bench.RefreshClick();
    if (!screen.messages.empty()) Fail("loading a decoded picture showed a message");
    return 0;
}
