// Making JPEG files in memory for tests and generators, with libjpeg's
// compressor: gray, colour or CMYK, baseline or progressive, Huffman or
// arithmetic coding, restart markers, a custom scan script. An encoder error
// is a fault of the caller's settings: it is printed and the process aborts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include <jpeglib.h>

namespace vexo::testjpeg {

enum class Colour { kGray, kRgb, kRgbStoredAsRgb, kCmyk, kYcck };

struct JpegOptions {
    int width = 0;
    int height = 0;
    Colour colour = Colour::kGray;
    int quality = 90;
    bool progressive = false;
    bool arithmetic = false;
    int restartInterval = 0;  // in MCUs, 0 for none
    // A scan script of its own (progressive files); null for libjpeg's.
    const jpeg_scan_info* scans = nullptr;
    int scanCount = 0;
};

inline int ComponentsOf(Colour colour) {
    switch (colour) {
        case Colour::kGray: return 1;
        case Colour::kCmyk:
        case Colour::kYcck: return 4;
        default: return 3;
    }
}

namespace detail {
inline void AbortOnError(j_common_ptr cinfo) {
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    std::fprintf(stderr, "JPEG encoder: %s\n", text);
    std::abort();
}
}  // namespace detail

// `samples` holds width * height pixels of ComponentsOf(colour) bytes each,
// top row first.
inline std::vector<uint8_t> EncodeJpeg(const JpegOptions& options, const std::vector<uint8_t>& samples) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    errors.error_exit = detail::AbortOnError;
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);

    const int components = ComponentsOf(options.colour);
    cinfo.image_width = static_cast<JDIMENSION>(options.width);
    cinfo.image_height = static_cast<JDIMENSION>(options.height);
    cinfo.input_components = components;
    cinfo.in_color_space = options.colour == Colour::kGray ? JCS_GRAYSCALE
                           : components == 4               ? JCS_CMYK
                                                           : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (options.colour == Colour::kRgbStoredAsRgb) jpeg_set_colorspace(&cinfo, JCS_RGB);
    if (options.colour == Colour::kYcck) jpeg_set_colorspace(&cinfo, JCS_YCCK);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    if (options.progressive) jpeg_simple_progression(&cinfo);
    if (options.scans) {
        cinfo.scan_info = options.scans;
        cinfo.num_scans = options.scanCount;
    }
    cinfo.arith_code = options.arithmetic ? TRUE : FALSE;
    cinfo.restart_interval = static_cast<unsigned int>(options.restartInterval);

    jpeg_start_compress(&cinfo, TRUE);
    const std::size_t rowBytes = std::size_t(options.width) * std::size_t(components);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPLE*>(samples.data() + std::size_t(cinfo.next_scanline) * rowBytes);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> file(buffer, buffer + size);
    std::free(buffer);
    return file;
}

// Seeded content with both smooth areas and detail: a few soft blobs over a
// gradient, plus noise, in every component.
inline std::vector<uint8_t> RandomSamples(int width, int height, int components, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    struct Blob {
        double x, y, radius, amplitude;
    };
    std::vector<Blob> blobs(6);
    for (Blob& b : blobs)
        b = {unit(random) * width, unit(random) * height, 2.0 + unit(random) * (width + height) / 4.0,
             unit(random) * 160.0 - 80.0};
    std::vector<double> tint(static_cast<std::size_t>(components));
    for (double& t : tint) t = unit(random) * 60.0 - 30.0;
    std::normal_distribution<double> noise(0.0, 6.0);

    std::vector<uint8_t> samples(std::size_t(width) * std::size_t(height) * std::size_t(components));
    std::size_t i = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double base = 128.0 + 60.0 * (double(x) / (width + 1) - double(y) / (height + 1));
            for (const Blob& b : blobs) {
                const double dx = x - b.x, dy = y - b.y;
                if (dx * dx + dy * dy < b.radius * b.radius) base += b.amplitude;
            }
            for (int c = 0; c < components; ++c) {
                const double v = base + tint[std::size_t(c)] + noise(random);
                samples[i++] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    return samples;
}

inline std::vector<uint8_t> RandomJpeg(const JpegOptions& options, uint32_t seed) {
    return EncodeJpeg(options, RandomSamples(options.width, options.height, ComponentsOf(options.colour), seed));
}

// A progressive scan script for one gray component with more than 600 scans:
// the DC scan, then every AC coefficient on its own, sent in eleven
// successive-approximation steps (first at bit 10, then one refinement per
// bit). libjpeg accepts it as a valid script.
inline std::vector<jpeg_scan_info> ManyScansScript() {
    std::vector<jpeg_scan_info> scans;
    jpeg_scan_info dc{};
    dc.comps_in_scan = 1;
    dc.component_index[0] = 0;
    scans.push_back(dc);
    for (int k = 1; k < 64; ++k) {
        for (int al = 10; al >= 0; --al) {
            jpeg_scan_info ac{};
            ac.comps_in_scan = 1;
            ac.component_index[0] = 0;
            ac.Ss = k;
            ac.Se = k;
            ac.Ah = al == 10 ? 0 : al + 1;
            ac.Al = al;
            scans.push_back(ac);
        }
    }
    return scans;
}

// The offset of the first marker FF `code` before the image data (the first
// SOS is the last one found), or file.size() when there is none.
inline std::size_t FindMarker(const std::vector<uint8_t>& file, uint8_t code) {
    std::size_t pos = 2;  // after SOI
    while (pos + 3 < file.size() && file[pos] == 0xFF) {
        const uint8_t marker = file[pos + 1];
        if (marker == code) return pos;
        if (marker == 0xDA) break;
        pos += 2 + ((std::size_t(file[pos + 2]) << 8) | file[pos + 3]);
    }
    return file.size();
}

// The offset of the frame header (any SOFn marker), or file.size().
inline std::size_t FindFrameHeader(const std::vector<uint8_t>& file) {
    for (uint8_t code : {0xC0, 0xC1, 0xC2, 0xC9, 0xCA}) {
        const std::size_t pos = FindMarker(file, code);
        if (pos < file.size()) return pos;
    }
    return file.size();
}

// Makes the frame header claim another picture size (16-bit fields).
inline void PatchFrameSize(std::vector<uint8_t>& file, int width, int height) {
    const std::size_t pos = FindFrameHeader(file);
    if (pos + 9 > file.size()) std::abort();
    file[pos + 5] = static_cast<uint8_t>(height >> 8);
    file[pos + 6] = static_cast<uint8_t>(height & 0xFF);
    file[pos + 7] = static_cast<uint8_t>(width >> 8);
    file[pos + 8] = static_cast<uint8_t>(width & 0xFF);
}

}  // namespace vexo::testjpeg
