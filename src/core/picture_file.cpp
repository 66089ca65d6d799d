#include "core/picture_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/errors.h"
#include "core/plane.h"

namespace vexo {

namespace {
// Larger files are refused: no JPEG of at most 16384 x 16384 pixels needs more.
constexpr off_t kMaxFileBytes = off_t(1) << 30;
}  // namespace

// Only regular files are read: a folder, a pipe or a device would block or
// never end. The file is opened without waiting and read whole.
std::vector<uint8_t> ReadPictureFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw VexoError("Cannot open file " + path);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxFileBytes)
        throw VexoError("Cannot open file " + path);
    std::vector<uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    uint8_t buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            throw VexoError("Cannot open file " + path);
        }
        if (bytes.size() + std::size_t(n) > std::size_t(kMaxFileBytes)) throw VexoError("Cannot open file " + path);
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
}

std::unique_ptr<JpegDecoder> DecodePictureFile(const std::string& path, bool fullSize) {
    auto decoder = std::make_unique<JpegDecoder>(ReadPictureFile(path), fullSize);
    decoder->ReadHeader();
    CheckPictureSize(decoder->Source().width, decoder->Source().height);
    decoder->DecodeBitmap();
    return decoder;
}

}  // namespace vexo
