#include "core/picture_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/errors.h"
#include "core/plane.h"

namespace vexo {

namespace {
// Larger files are refused: no JPEG of at most 16384 x 16384 pixels needs more.
constexpr off_t kMaxFileBytes = off_t(1) << 30;
}  // namespace

// Only regular files are read: a folder, a pipe or a device would block or
// never end. The file is opened without waiting and read whole, straight into
// its block; a file that grows meanwhile is read to its end all the same.
FileBytes ReadPictureFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw VexoError("Cannot open file " + path);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxFileBytes)
        throw VexoError("Cannot open file " + path);
    // One byte more than the file holds: reading to the end needs no second block.
    std::size_t capacity = std::size_t(info.st_size) + 1;
    FileBytes file;
    file.data = AllocateBlock(capacity, false);
    CheckAllocation(file.data.get());
    for (;;) {
        if (file.size == capacity) {
            if (capacity > std::size_t(kMaxFileBytes)) throw VexoError("Cannot open file " + path);
            const std::size_t larger = capacity * 2;
            Block block = AllocateBlock(larger, false);
            CheckAllocation(block.get());
            std::memcpy(block.get(), file.data.get(), file.size);
            file.data = std::move(block);
            capacity = larger;
        }
        const ssize_t n = ::read(fd, file.data.get() + file.size, capacity - file.size);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            throw VexoError("Cannot open file " + path);
        }
        file.size += std::size_t(n);
    }
    if (file.size > std::size_t(kMaxFileBytes)) throw VexoError("Cannot open file " + path);
    return file;
}

std::unique_ptr<JpegDecoder> DecodePictureFile(const std::string& path, bool fullSize, GrayPlane* copy) {
    auto decoder = std::make_unique<JpegDecoder>(ReadPictureFile(path), fullSize);
    decoder->ReadHeader();
    CheckPictureSize(decoder->Source().width, decoder->Source().height);
    decoder->DecodeBitmap(copy);
    return decoder;
}

}  // namespace vexo
