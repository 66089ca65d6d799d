#include "cli/safe_output.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
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

const int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// A temporary file exists before it is remembered. The thread creating it
// blocks the clean-up signals meanwhile, so they cannot stop it in between;
// a signal that another thread takes waits until no thread is in between,
// and once it has begun no thread starts to create one.
std::atomic<int> gCreating{0};
std::atomic<bool> gEnding{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler reads it");

extern "C" void RemoveTemporariesAndDie(int signal) {
    gEnding.store(true);
    while (gCreating.load() != 0) {
        const timespec pause{0, 100000};
        ::nanosleep(&pause, nullptr);
    }
    for (TemporarySlot& slot : gTemporaries)
        if (slot.state.load() == kInUse) ::unlink(slot.path);
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);  // delivered, with the default action, when the handler returns
}

sigset_t CleanupSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kCleanupSignals) sigaddset(&set, signal);
    return set;
}

// Creates the temporary file from `pattern` (mkostemp's XXXXXX at its end) and
// remembers it, with no clean-up in between; its slot goes to `slot`.
int CreateTemporary(std::string& pattern, int& slot) {
    const sigset_t blocked = CleanupSignals();
    sigset_t before;
    ::pthread_sigmask(SIG_BLOCK, &blocked, &before);
    gCreating.fetch_add(1);
    int fd = -1;
    if (gEnding.load()) {
        errno = EINTR;  // the program is being stopped: nothing new is made
    } else {
        fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd >= 0) slot = Remember(pattern);
    }
    const int error = errno;
    gCreating.fetch_sub(1);
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    errno = error;
    return fd;
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

WriteResult Failure(const char* what, const std::string& path, int error, const std::string& why) {
    return WriteFailure{what, path, !why.empty() ? why : error != 0 ? std::strerror(error) : "write error"};
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Writes into `raw`, flushes and closes it; what failed, if anything.
WriteResult WriteAndClose(std::FILE* raw, const std::string& path, const ContentWriter& write) {
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

// Devices, pipes and sockets: opened for writing and written; never removed.
WriteResult WriteInPlace(const std::string& path, const ContentWriter& write) {
    std::FILE* raw = std::fopen(path.c_str(), "wb");
    if (!raw) return Failure("cannot create", path, errno, {});
    return WriteAndClose(raw, path, write);
}

// ------------------------------------------------ the starting descriptors

// Set once at the start, before any thread; read-only afterwards.
bool gClosedAtStart[3] = {false, false, false};
std::map<int, int> gKeptDescriptors;  // a descriptor named by an output -> our copy, -1 when it was not open
std::atomic<bool> gWroteStandardOutput{false};

// The descriptor to write for descriptor `fd` of the start; -1 when it was
// not open then.
int DescriptorFor(int fd) {
    if (fd <= 2) return gClosedAtStart[fd] ? -1 : fd;
    const auto kept = gKeptDescriptors.find(fd);
    if (kept != gKeptDescriptors.end()) return kept->second;
    return -1;
}

// Writes through a copy of the descriptor, which shares its offset and its
// flags; the descriptor itself stays open.
WriteResult WriteToDescriptor(int fd, const std::string& name, const ContentWriter& write) {
    const int target = DescriptorFor(fd);
    if (target < 0) return Failure("cannot write", name, EBADF, {});
    const int copy = ::fcntl(target, F_DUPFD_CLOEXEC, 3);
    if (copy < 0) return Failure("cannot write", name, errno, {});
    std::FILE* raw = ::fdopen(copy, "wb");
    if (!raw) {
        const int error = errno;
        ::close(copy);
        return Failure("cannot write", name, error, {});
    }
    if (fd == STDOUT_FILENO) gWroteStandardOutput = true;
    return WriteAndClose(raw, name, write);
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

WriteResult WriteFileSafely(const std::string& path, const ContentWriter& write) {
    if (const std::optional<int> fd = NamedDescriptor(path))
        return WriteToDescriptor(*fd, path == "-" ? "standard output" : path, write);
    struct stat existing {};
    const bool exists = ::stat(path.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) return Failure("cannot write", path, EISDIR, {});
    if (exists && !S_ISREG(existing.st_mode)) return WriteInPlace(path, write);
    if (exists && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
        return Failure("cannot write", path, errno, {});

    const auto [folder, name] = FolderAndName(path);
    const std::string prefix = folder == "/" ? "" : folder;
    // A hidden name beside the target; the name is cut so that the suffix fits.
    std::string temporary = prefix + "/." + name.substr(0, 200) + ".XXXXXX";
    int slot = -1;
    const int fd = CreateTemporary(temporary, slot);
    if (fd < 0) return Failure("cannot create", path, errno, {});
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

WriteResult WriteStandardOutput(const std::string& text) {
    return WriteToDescriptor(STDOUT_FILENO, "standard output", [&text](std::FILE* file, std::string&) {
        return std::fwrite(text.data(), 1, text.size(), file) == text.size();
    });
}

WriteResult CloseStandardOutput() {
    if (!gWroteStandardOutput.exchange(false)) return {};
    if (::close(STDOUT_FILENO) != 0 && errno != EINTR) return Failure("cannot write", "standard output", errno, {});
    return {};
}

std::optional<int> NamedDescriptor(const std::string& path) {
    if (path == "-") return STDOUT_FILENO;
    if (path.empty() || path[0] != '/') return std::nullopt;
    const std::string normal = std::filesystem::path(path).lexically_normal().string();
    if (normal == "/dev/stdin") return STDIN_FILENO;
    if (normal == "/dev/stdout") return STDOUT_FILENO;
    if (normal == "/dev/stderr") return STDERR_FILENO;
    for (const std::string& prefix :
         {std::string("/dev/fd/"), std::string("/proc/self/fd/"), "/proc/" + std::to_string(::getpid()) + "/fd/"}) {
        if (normal.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string number = normal.substr(prefix.size());
        if (number.empty() || number.size() > 9 || number.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        return std::stoi(number);
    }
    return std::nullopt;
}

void TakeStartingDescriptors(const std::vector<std::string>& outputs) {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        gClosedAtStart[fd] = true;
        // The lowest free descriptor, which is `fd` itself.
        const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) ::close(null);
    }
    for (const std::string& output : outputs) {
        const std::optional<int> fd = NamedDescriptor(output);
        if (!fd || *fd <= 2 || gKeptDescriptors.count(*fd)) continue;
        gKeptDescriptors[*fd] = ::fcntl(*fd, F_DUPFD_CLOEXEC, 3);
    }
}

void InstallSignalCleanup() {
    NewFileMode();
    for (int ignored : {SIGPIPE, SIGXFSZ}) ::signal(ignored, SIG_IGN);
    for (int signal : kCleanupSignals) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
        struct sigaction handler {};
        handler.sa_handler = RemoveTemporariesAndDie;
        handler.sa_mask = CleanupSignals();
        ::sigaction(signal, &handler, nullptr);
    }
}

}  // namespace vexo::cli
