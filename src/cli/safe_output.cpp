#include "cli/safe_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <map>
#include <utility>

namespace vexo::cli {

namespace {

// ------------------------------------------- temporary files to remove on a signal

// Fixed slots, so that the signal handler reads no structure that a thread
// could be changing: a slot's path is complete before it is marked in use.
constexpr int kSlots = 256;
constexpr std::size_t kSlotPath = 4096;
constexpr int kFree = 0, kFilling = 1, kInUse = 2;

struct TemporarySlot {
    std::atomic<int> state{kFree};
    char path[kSlotPath];
};
TemporarySlot gTemporaries[kSlots];
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the slots");

// The slot now holding `path`, or -1 when none is free (the file is then
// simply not removed on a signal).
int Remember(const std::string& path) {
    if (path.size() >= kSlotPath) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!gTemporaries[i].state.compare_exchange_strong(expected, kFilling)) continue;
        std::memcpy(gTemporaries[i].path, path.c_str(), path.size() + 1);
        gTemporaries[i].state.store(kInUse);
        return i;
    }
    return -1;
}

void Forget(int slot) {
    if (slot >= 0) gTemporaries[slot].state.store(kFree);
}

const int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

extern "C" void RemoveTemporariesAndDie(int signal) {
    for (TemporarySlot& slot : gTemporaries)
        if (slot.state.load() == kInUse) ::unlink(slot.path);
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);  // delivered, with the default action, when the handler returns
}

// The mode bits that a new file gets: 0666 less the creation mask.
mode_t NewFileMode() {
    static const mode_t mode = [] {
        const mode_t mask = ::umask(022);
        ::umask(mask);
        return static_cast<mode_t>(0666 & ~mask);
    }();
    return mode;
}

// ------------------------------------------------------------ writing

std::string Failure(const char* what, const std::string& path, int error, const std::string& why) {
    std::string text = std::string(what) + " " + path + ": ";
    if (!why.empty()) return text + why;
    return text + (error != 0 ? std::strerror(error) : "write error");
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Devices, pipes and sockets: opened for writing and written; never removed.
std::string WriteInPlace(const std::string& path, const ContentWriter& write) {
    std::FILE* raw = std::fopen(path.c_str(), "wb");
    if (!raw) return Failure("cannot create", path, errno, {});
    std::unique_ptr<std::FILE, FileCloser> file(raw);
    std::string why;
    errno = 0;
    bool ok = write(raw, why);
    if (ok) ok = std::fflush(raw) == 0;
    const int error = errno;
    const bool closed = std::fclose(file.release()) == 0;
    if (!ok) return Failure("cannot write", path, error, why);
    if (!closed) return Failure("cannot write", path, errno, {});
    return {};
}

// The folder and the name of the file that a write to `path` replaces: that
// of the file a symbolic link points to, else `path`'s own.
std::pair<std::string, std::string> FolderAndName(const std::string& path) {
    std::string target = path;
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
    }
    const std::size_t slash = target.find_last_of('/');
    if (slash == std::string::npos) return {".", target};
    return {slash == 0 ? "/" : target.substr(0, slash), target.substr(slash + 1)};
}

}  // namespace

std::string WriteFileSafely(const std::string& path, const ContentWriter& write) {
    struct stat existing {};
    const bool exists = ::stat(path.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) return Failure("cannot write", path, EISDIR, {});
    if (exists && !S_ISREG(existing.st_mode)) return WriteInPlace(path, write);

    const auto [folder, name] = FolderAndName(path);
    const std::string prefix = folder == "/" ? "" : folder;
    // A hidden name beside the target; the name is cut so that the suffix fits.
    std::string temporary = prefix + "/." + name.substr(0, 200) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return Failure("cannot create", path, errno, {});
    const int slot = Remember(temporary);
    auto discard = [&](const char* what, int error, const std::string& why) {
        ::unlink(temporary.c_str());
        Forget(slot);
        return Failure(what, path, error, why);
    };

    ::fchmod(fd, exists ? (existing.st_mode & 07777) : NewFileMode());
    std::FILE* raw = ::fdopen(fd, "wb");
    if (!raw) {
        const int error = errno;
        ::close(fd);
        return discard("cannot create", error, {});
    }
    std::unique_ptr<std::FILE, FileCloser> file(raw);
    std::string why;
    errno = 0;
    bool ok = write(raw, why);
    if (ok) ok = std::fflush(raw) == 0 && ::fsync(fd) == 0;
    int error = errno;
    if (std::fclose(file.release()) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) return discard("cannot write", error, why);
    const std::string target = prefix + "/" + name;
    if (::rename(temporary.c_str(), target.c_str()) != 0) return discard("cannot write", errno, {});
    Forget(slot);
    return {};
}

void InstallSignalCleanup() {
    NewFileMode();
    for (int signal : kCleanupSignals) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
        struct sigaction handler {};
        handler.sa_handler = RemoveTemporariesAndDie;
        sigemptyset(&handler.sa_mask);
        for (int other : kCleanupSignals) sigaddset(&handler.sa_mask, other);
        ::sigaction(signal, &handler, nullptr);
    }
}

std::optional<std::string> OutputOverwritesInput(const std::vector<std::string>& outputs,
                                                 const std::vector<std::string>& inputs) {
    std::map<std::pair<dev_t, ino_t>, const std::string*> pictures;
    for (const std::string& input : inputs) {
        struct stat s {};
        if (::stat(input.c_str(), &s) == 0) pictures.emplace(std::pair{s.st_dev, s.st_ino}, &input);
    }
    for (const std::string& output : outputs) {
        struct stat s {};
        if (output == "-" || ::stat(output.c_str(), &s) != 0) continue;
        const auto found = pictures.find({s.st_dev, s.st_ino});
        if (found != pictures.end()) return output + " is the picture " + *found->second;
    }
    return std::nullopt;
}

}  // namespace vexo::cli
