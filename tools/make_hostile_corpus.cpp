// Writes the corpus of hostile and unusual files that the loader must survive
// into the directory given as the only argument (tests/hostile_corpus).
// Every file is made from seeded content, so a run always gives the same bytes.
//
// What each file is:
//   empty.jpg, one-byte.jpg, text.jpg, png.jpg, soi-only.jpg - not JPEGs at all
//   truncated-*.jpg            a good JPEG cut inside its header, before its
//                              scan, and at several points of its data
//   claims-*.jpg               a valid frame header claiming a size the data
//                              does not hold (nothing or little after it)
//   zero-width.jpg, bad-sampling.jpg, bad-huffman-table.jpg, marker-length-overrun.jpg
//                              one header field broken
//   progressive*.jpg           progressive files, one with 694 valid scans and
//                              one with a scan repeated 1500 times
//   cmyk.jpg, ycck.jpg         four-component files that cannot become gray
//   arithmetic*.jpg            arithmetic-coded files
//   corrupt-*.jpg              entropy data overwritten in several ways
//   restart-*.jpg              restart interval 65535; restart markers
//                              announced every MCU but absent from the data
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "test_jpegs.h"

namespace {

namespace fs = std::filesystem;
using vexo::testjpeg::Colour;
using vexo::testjpeg::JpegOptions;
using Bytes = std::vector<uint8_t>;

fs::path outputDir;
std::uintmax_t totalBytes = 0;

void Write(const std::string& name, const Bytes& bytes) {
    const fs::path path = outputDir / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    totalBytes += bytes.size();
    std::printf("%-36s %8zu bytes\n", name.c_str(), bytes.size());
}

Bytes Text(const std::string& text) { return {text.begin(), text.end()}; }

Bytes Jpeg(JpegOptions options, uint32_t seed) { return vexo::testjpeg::RandomJpeg(options, seed); }

// Offset of the first byte of entropy-coded data (just after the first SOS).
std::size_t DataStart(const Bytes& jpeg) {
    const std::size_t sos = vexo::testjpeg::FindMarker(jpeg, 0xDA);
    return sos + 2 + ((std::size_t(jpeg[sos + 2]) << 8) | jpeg[sos + 3]);
}

// A valid 2 x 1 gray PNG, stored without compression.
Bytes Png() {
    auto crc32 = [](const uint8_t* data, std::size_t n) {
        uint32_t c = 0xFFFFFFFFu;
        for (std::size_t i = 0; i < n; ++i) {
            c ^= data[i];
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
        }
        return c ^ 0xFFFFFFFFu;
    };
    auto put32 = [](Bytes& b, uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
    };
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    auto chunk = [&](const char* type, const Bytes& data) {
        put32(png, uint32_t(data.size()));
        Bytes body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        png.insert(png.end(), body.begin(), body.end());
        put32(png, crc32(body.data(), body.size()));
    };
    Bytes header;
    put32(header, 2);
    put32(header, 1);
    header.insert(header.end(), {8, 0, 0, 0, 0});  // 8-bit gray
    chunk("IHDR", header);
    const Bytes raw = {0, 0x20, 0xE0};  // filter byte, two samples
    Bytes zlib = {0x78, 0x01, 0x01, uint8_t(raw.size()), 0, uint8_t(~raw.size()), 0xFF};
    zlib.insert(zlib.end(), raw.begin(), raw.end());
    uint32_t a = 1, b = 0;
    for (uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    put32(zlib, (b << 16) | a);
    chunk("IDAT", zlib);
    chunk("IEND", {});
    return png;
}

// A progressive gray file whose AC scan (with the Huffman table sent before
// it) is repeated `copies` times.
Bytes RepeatedScans(int copies) {
    static const jpeg_scan_info script[2] = {{1, {0}, 0, 0, 0, 0}, {1, {0}, 1, 63, 0, 0}};
    JpegOptions options{.width = 8, .height = 8, .progressive = true};
    options.scans = script;
    options.scanCount = 2;
    const Bytes file = Jpeg(options, 21);
    // The second scan starts at the last DHT before the last SOS.
    std::size_t lastSos = 0, lastDht = 0;
    for (std::size_t i = 0; i + 1 < file.size(); ++i) {
        if (file[i] != 0xFF) continue;
        if (file[i + 1] == 0xDA) lastSos = i;
        if (file[i + 1] == 0xC4 && (lastSos == 0 || i > lastSos)) lastDht = i;
    }
    if (lastDht > lastSos) std::abort();
    const Bytes scan(file.begin() + std::ptrdiff_t(lastDht), file.end() - 2);
    Bytes out(file.begin(), file.end() - 2);
    for (int i = 1; i < copies; ++i) out.insert(out.end(), scan.begin(), scan.end());
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY\n", argv[0]);
        return 2;
    }
    outputDir = argv[1];
    fs::create_directories(outputDir);

    // Not JPEGs.
    Write("empty.jpg", {});
    Write("one-byte.jpg", {0xFF});
    Write("text.jpg", Text("This is a text file, not a picture.\n"));
    Write("png.jpg", Png());
    Write("soi-only.jpg", {0xFF, 0xD8});

    // A good file cut at several points.
    const Bytes good = Jpeg({.width = 200, .height = 150}, 1);
    const std::size_t data = DataStart(good);
    Write("truncated-after-soi-marker.jpg", Bytes(good.begin(), good.begin() + 3));
    Write("truncated-in-header.jpg", Bytes(good.begin(), good.begin() + 100));
    Write("truncated-before-scan.jpg",
          Bytes(good.begin(), good.begin() + std::ptrdiff_t(vexo::testjpeg::FindMarker(good, 0xDA))));
    Write("truncated-at-data-start.jpg", Bytes(good.begin(), good.begin() + std::ptrdiff_t(data)));
    for (int percent : {10, 50, 90}) {
        const std::size_t cut = data + (good.size() - data) * std::size_t(percent) / 100;
        Write("truncated-data-" + std::to_string(percent) + "pc.jpg", Bytes(good.begin(), good.begin() + std::ptrdiff_t(cut)));
    }
    Write("truncated-before-eoi.jpg", Bytes(good.begin(), good.end() - 2));
    const Bytes goodProgressive = Jpeg({.width = 200, .height = 150, .colour = Colour::kRgb, .progressive = true}, 2);
    Write("truncated-progressive-60pc.jpg",
          Bytes(goodProgressive.begin(), goodProgressive.begin() + std::ptrdiff_t(goodProgressive.size() * 6 / 10)));

    // Frame headers claiming more than the data holds.
    struct Claim {
        const char* name;
        int width, height;
        bool keepData;
    };
    for (const Claim& claim : {Claim{"claims-60000x60000-no-data.jpg", 60000, 60000, false},
                               Claim{"claims-60000x60000-little-data.jpg", 60000, 60000, true},
                               Claim{"claims-20000x100-no-data.jpg", 20000, 100, false},
                               Claim{"claims-20000x100-little-data.jpg", 20000, 100, true},
                               Claim{"claims-16384x32-little-data.jpg", 16384, 32, true},
                               Claim{"claims-32x16384-little-data.jpg", 32, 16384, true}}) {
        Bytes file = Jpeg({.width = 16, .height = 16}, 3);
        vexo::testjpeg::PatchFrameSize(file, claim.width, claim.height);
        if (!claim.keepData) file.resize(vexo::testjpeg::FindMarker(file, 0xDA));
        Write(claim.name, file);
    }

    {
        // Within the size limit, but a progressive file keeps every
        // coefficient: 512 MB for this one, more than libjpeg may use.
        Bytes file = Jpeg({.width = 16, .height = 16, .progressive = true}, 3);
        vexo::testjpeg::PatchFrameSize(file, 16384, 16384);
        Write("claims-16384x16384-progressive-little-data.jpg", file);
    }

    // One header field broken.
    {
        Bytes file = Jpeg({.width = 16, .height = 16}, 4);
        vexo::testjpeg::PatchFrameSize(file, 0, 16);
        Write("zero-width.jpg", file);
    }
    {
        Bytes file = Jpeg({.width = 16, .height = 16}, 4);
        file[vexo::testjpeg::FindFrameHeader(file) + 11] = 0x00;  // sampling factors 0 x 0
        Write("bad-sampling.jpg", file);
    }
    {
        Bytes file = Jpeg({.width = 16, .height = 16}, 4);
        const std::size_t dht = vexo::testjpeg::FindMarker(file, 0xC4);
        std::memset(file.data() + dht + 5, 0xFF, 16);  // code counts far beyond 256 codes
        Write("bad-huffman-table.jpg", file);
    }
    {
        Bytes file = Jpeg({.width = 16, .height = 16}, 4);
        const std::size_t app = vexo::testjpeg::FindMarker(file, 0xE0);
        file[app + 2] = 0xFF;  // a JFIF segment claiming 65535 bytes
        file[app + 3] = 0xFF;
        Write("marker-length-overrun.jpg", file);
    }

    // Progressive files.
    Write("progressive.jpg", goodProgressive);
    {
        const std::vector<jpeg_scan_info> scans = vexo::testjpeg::ManyScansScript();
        JpegOptions options{.width = 16, .height = 16, .progressive = true};
        options.scans = scans.data();
        options.scanCount = int(scans.size());
        Write("progressive-" + std::to_string(scans.size()) + "-scans.jpg", Jpeg(options, 5));
    }
    Write("progressive-scan-repeated-1500-times.jpg", RepeatedScans(1500));

    // Files libjpeg cannot turn into gray.
    Write("cmyk.jpg", Jpeg({.width = 48, .height = 32, .colour = Colour::kCmyk}, 6));
    Write("ycck.jpg", Jpeg({.width = 48, .height = 32, .colour = Colour::kYcck}, 6));

    // Arithmetic coding.
    Write("arithmetic.jpg", Jpeg({.width = 120, .height = 90, .arithmetic = true}, 7));
    Write("arithmetic-progressive-colour.jpg",
          Jpeg({.width = 120, .height = 90, .colour = Colour::kRgb, .progressive = true, .arithmetic = true}, 8));
    {
        Bytes file = Jpeg({.width = 120, .height = 90, .arithmetic = true}, 7);
        std::mt19937 random(9);
        for (std::size_t i = DataStart(file); i + 2 < file.size(); i += 7) file[i] = uint8_t(random());
        Write("corrupt-arithmetic-data.jpg", file);
    }

    // Corrupted entropy data.
    {
        std::mt19937 random(10);
        Bytes file = good;
        for (std::size_t i = data; i + 2 < file.size(); i += 13) file[i] ^= uint8_t(1u << (random() % 8));
        Write("corrupt-data-bit-flips.jpg", file);
    }
    {
        // Flipped bits that never make or break a marker: only data the
        // entropy decoder has to get past.
        std::mt19937 random(13);
        Bytes file = good;
        for (std::size_t i = data + 40; i + 2 < file.size(); i += 97) {
            if (file[i] == 0xFF || file[i - 1] == 0xFF) continue;
            const uint8_t flipped = file[i] ^ uint8_t(1u << (random() % 8));
            if (flipped != 0xFF) file[i] = flipped;
        }
        Write("corrupt-data-sparse-bit-flips.jpg", file);
    }
    {
        Bytes file = good;
        const std::size_t middle = data + (file.size() - data) / 2;
        std::fill(file.begin() + std::ptrdiff_t(middle), file.begin() + std::ptrdiff_t(middle + 200), 0xFF);
        Write("corrupt-data-ff-run.jpg", file);
    }
    {
        Bytes file = good;
        std::fill(file.begin() + std::ptrdiff_t(data), file.end() - 2, 0x00);
        Write("corrupt-data-zeros.jpg", file);
    }
    {
        std::mt19937 random(11);
        Bytes file = goodProgressive;
        for (std::size_t i = DataStart(file); i + 2 < file.size(); i += 29) file[i] = uint8_t(random());
        Write("corrupt-progressive.jpg", file);
    }
    {
        Bytes file = good;
        const std::size_t middle = data + (file.size() - data) / 3;
        file[middle] = 0xFF;  // a stray RST marker in the data
        file[middle + 1] = 0xD3;
        Write("corrupt-data-stray-restart.jpg", file);
    }

    // Restart intervals.
    Write("restart-interval-65535.jpg", Jpeg({.width = 200, .height = 150, .restartInterval = 65535}, 12));
    {
        Bytes file = Jpeg({.width = 200, .height = 150, .restartInterval = 65535}, 12);
        const std::size_t dri = vexo::testjpeg::FindMarker(file, 0xDD);
        file[dri + 4] = 0;
        file[dri + 5] = 1;
        Write("restart-markers-missing.jpg", file);
    }

    std::printf("total %ju bytes\n", totalBytes);
    return 0;
}
