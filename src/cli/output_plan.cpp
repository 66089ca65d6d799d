#include "cli/output_plan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>
#include <utility>

#include "cli/outputs.h"
#include "cli/safe_output.h"

namespace vexo::cli {

namespace fs = std::filesystem;

namespace {

std::string InFolder(const std::string& folder, const std::string& name) { return (fs::path(folder) / name).string(); }

void PlanFile(const std::string& value, const std::string*, std::vector<PlannedPath>& into) {
    into.push_back({value});
}

// DIR, or DIR/NAME for each picture, with the files of a dump in it.
void PlanDump(const std::string& value, const std::string* name, std::vector<PlannedPath>& into) {
    const std::string folder = name ? InFolder(value, *name) : value;
    into.push_back({folder, "", true});
    for (const std::string& file : DumpFiles(folder)) into.push_back({file});
}

// DIR, or DIR/NAME for each picture, filled with the cells' pictures.
void PlanCells(const std::string& value, const std::string* name, std::vector<PlannedPath>& into) {
    into.push_back({name ? InFolder(value, *name) : value, "", true, true});
}

void PlanOut(const std::string& value, const std::string* name, std::vector<PlannedPath>& into) {
    into.push_back({InFolder(value, *name + ".png")});
    into.push_back({InFolder(value, *name + ".json")});
}

// The canonical form of output paths: the folder with its links resolved
// and "." and ".." taken out, then the name. Folders are resolved once.
class PathKeys {
public:
    std::string operator()(const std::string& path) {
        if (const std::optional<int> fd = NamedDescriptor(path)) return "descriptor " + std::to_string(*fd);
        fs::path normal = fs::path(path).lexically_normal();
        if (!normal.has_filename() && normal.has_parent_path()) normal = normal.parent_path();  // "a/b/"
        const fs::path name = normal.filename();
        if (name == "." || name == ".." || name.empty()) return Resolved(normal.string());
        return (fs::path(Resolved(normal.parent_path().string())) / name).string();
    }

private:
    const std::string& Resolved(const std::string& folder) {
        auto known = folders_.find(folder);
        if (known != folders_.end()) return known->second;
        std::error_code ec;
        fs::path resolved = fs::weakly_canonical(fs::absolute(folder.empty() ? fs::path(".") : fs::path(folder), ec), ec);
        return folders_.emplace(folder, ec ? folder : resolved.string()).first->second;
    }

    std::map<std::string, std::string> folders_;
};

using FileId = std::pair<dev_t, ino_t>;

// What is at a planned path now: the file it would write, if one exists, and
// whether that is written in place (a device, a pipe, a descriptor).
struct Existing {
    std::optional<FileId> id;
    bool inPlace = false;
};

Existing Look(const std::string& path) {
    Existing existing;
    const std::optional<int> fd = NamedDescriptor(path);
    const std::string name = fd ? "/proc/self/fd/" + std::to_string(*fd) : path;
    struct stat s {};
    if (::stat(name.c_str(), &s) != 0 || S_ISDIR(s.st_mode)) return existing;
    existing.id = FileId{s.st_dev, s.st_ino};
    existing.inPlace = fd.has_value() || !S_ISREG(s.st_mode);
    return existing;
}

std::string Named(const PlannedPath& entry) { return std::string(entry.option) + " " + entry.path; }

// The reason a folder cannot be written in, if it cannot.
std::optional<std::string> NotWritable(const std::string& folder) {
    struct stat s {};
    if (::stat(folder.c_str(), &s) != 0) return std::string(std::strerror(errno));
    if (!S_ISDIR(s.st_mode)) return std::string(std::strerror(ENOTDIR));
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) return std::string(std::strerror(errno));
    return std::nullopt;
}

// The folder itself when it exists, else its nearest ancestor that does (or
// is not a folder); "." for a relative path none of whose folders exists.
std::string NearestExisting(const std::string& folder) {
    fs::path path = fs::path(folder).lexically_normal();
    for (;;) {
        struct stat s {};
        if (path.empty()) return ".";
        if (::stat(path.c_str(), &s) == 0 || errno == ENOTDIR) return path.string();
        if (!path.has_relative_path() || path == path.parent_path()) return path.string();
        path = path.parent_path();
    }
}

}  // namespace

const std::vector<PathOption> kPathOptions = {
    {"--png", &Options::png, "a file", Form::OnePicture, false, false, PlanFile},
    {"--json", &Options::json, "a file", Form::OnePicture, false, false, PlanFile},
    {"--dump", &Options::dump, "a directory", Form::Both, true, true, PlanDump},
    {"--out", &Options::out, "a directory", Form::Several, true, true, PlanOut},
    {"--summary", &Options::summary, "a file", Form::Several, false, false, PlanFile},
    {"--cells", &Options::cells, "a directory", Form::Both, true, true, PlanCells},
    {"--straightened", &Options::straightened, "a file", Form::OnePicture, false, false, PlanFile},
};

const PathOption* FindPathOption(const std::string& argument) {
    for (const PathOption& option : kPathOptions)
        if (argument == option.name) return &option;
    return nullptr;
}

std::vector<PlannedPath> PlanOutputs(const Options& options, const std::vector<std::string>* names) {
    std::vector<PlannedPath> plan;
    for (const PathOption& option : kPathOptions) {
        const std::optional<std::string>& value = options.*(option.field);
        if (!value) continue;
        const std::size_t first = plan.size();
        if (names && option.perPicture)
            for (const std::string& name : *names) option.plan(*value, &name, plan);
        else
            option.plan(*value, nullptr, plan);
        for (std::size_t i = first; i < plan.size(); ++i) plan[i].option = option.name;
    }
    return plan;
}

std::vector<std::string> OutputNames(const Options& options, const std::vector<std::string>& paths) {
    std::vector<const PathOption*> perPicture;
    for (const PathOption& option : kPathOptions)
        if (option.perPicture && options.*(option.field)) perPicture.push_back(&option);
    PathKeys keys;
    std::set<std::string> takenNames, takenPaths;
    std::vector<std::string> names;
    std::vector<PlannedPath> entries;
    std::vector<std::string> entryKeys;
    for (const std::string& path : paths) {
        std::string stem = fs::path(path).stem().string();
        if (stem.empty() || stem == "." || stem == "..") stem = "picture";
        std::string name = stem;
        for (int k = 2;; ++k) {
            entries.clear();
            entryKeys.clear();
            for (const PathOption* option : perPicture) option->plan(*(options.*(option->field)), &name, entries);
            for (const PlannedPath& entry : entries) entryKeys.push_back(keys(entry.path));
            const bool free = !takenNames.count(name) && std::none_of(entryKeys.begin(), entryKeys.end(), [&](const std::string& key) {
                return takenPaths.count(key) != 0;
            });
            if (free) break;
            name = stem + "-" + std::to_string(k);
        }
        takenNames.insert(name);
        takenPaths.insert(entryKeys.begin(), entryKeys.end());
        names.push_back(std::move(name));
    }
    return names;
}

std::optional<std::string> FindClash(const std::vector<PlannedPath>& plan, const std::vector<std::string>& inputs) {
    std::map<FileId, const std::string*> pictures;
    for (const std::string& input : inputs) {
        struct stat s {};
        if (::stat(input.c_str(), &s) == 0) pictures.emplace(FileId{s.st_dev, s.st_ino}, &input);
    }
    PathKeys keys;
    std::vector<std::string> entryKeys;
    std::vector<Existing> existing;
    for (const PlannedPath& entry : plan) {
        entryKeys.push_back(keys(entry.path));
        existing.push_back(entry.folder ? Existing{} : Look(entry.path));
        const std::optional<FileId>& id = existing.back().id;
        if (!id) continue;
        const auto picture = pictures.find(*id);
        if (picture != pictures.end()) return entry.path + " is the picture " + *picture->second + ", which would be overwritten";
    }

    std::vector<std::size_t> order(plan.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return entryKeys[a] < entryKeys[b]; });
    auto clash = [&](std::size_t a, std::size_t b) -> std::optional<std::string> {
        const PlannedPath &x = plan[a], &y = plan[b];
        if (x.folder && y.folder) {
            if (!x.whole && !y.whole) return std::nullopt;
            return Named(x) + " and " + Named(y) + " are the same folder";
        }
        if (x.folder || y.folder) {
            const PlannedPath& file = x.folder ? y : x;
            const PlannedPath& folder = x.folder ? x : y;
            return Named(file) + " is a folder that " + folder.option + " writes into";
        }
        if (existing[a].inPlace && existing[b].inPlace) return std::nullopt;
        return Named(x) + " and " + Named(y) + " are the same file";
    };
    // The same path twice.
    for (std::size_t i = 1; i < order.size(); ++i)
        for (std::size_t j = i; j-- > 0 && entryKeys[order[j]] == entryKeys[order[i]];)
            if (auto reason = clash(order[j], order[i])) return reason;
    // The same file under two names (links).
    std::map<FileId, std::size_t> files;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        if (!existing[i].id) continue;
        const auto [first, added] = files.emplace(*existing[i].id, i);
        if (!added && entryKeys[first->second] != entryKeys[i])
            if (auto reason = clash(first->second, i)) return reason;
    }
    // Another output's file or folder inside a folder that an output fills
    // with names of its own.
    for (std::size_t i = 0; i < plan.size(); ++i) {
        if (!plan[i].whole) continue;
        const std::string inside = entryKeys[i] + "/";
        auto k = std::lower_bound(order.begin(), order.end(), inside,
                                  [&](std::size_t e, const std::string& key) { return entryKeys[e] < key; });
        for (; k != order.end() && entryKeys[*k].compare(0, inside.size(), inside) == 0; ++k)
            if (std::strcmp(plan[*k].option, plan[i].option) != 0)
                return Named(plan[*k]) + " is inside " + plan[i].path + ", which " + plan[i].option + " fills";
    }
    return std::nullopt;
}

std::optional<std::string> PrepareOutputFolders(const Options& options) {
    // Everything is checked before any folder is made, so that a refused run
    // leaves nothing behind.
    std::set<std::string> made;  // the folders that will be made, as written
    for (const PathOption& option : kPathOptions) {
        const std::optional<std::string>& value = options.*(option.field);
        if (!value || !option.createsFolder) continue;
        if (auto why = NotWritable(NearestExisting(*value))) return "cannot create directory " + *value + ": " + *why;
        made.insert(fs::path(*value).lexically_normal().string());
    }
    for (const PathOption& option : kPathOptions) {
        const std::optional<std::string>& value = options.*(option.field);
        if (!value || option.createsFolder || NamedDescriptor(*value)) continue;
        const fs::path folder = fs::path(*value).parent_path();
        const std::string normal = (folder.empty() ? fs::path(".") : folder).lexically_normal().string();
        std::error_code ec;
        if (made.count(normal) && !fs::exists(normal, ec)) continue;
        if (auto why = NotWritable(normal)) return "cannot write " + *value + ": " + *why;
    }
    for (const PathOption& option : kPathOptions) {
        const std::optional<std::string>& value = options.*(option.field);
        if (!value || !option.createsFolder) continue;
        std::error_code ec;
        fs::create_directories(*value, ec);
        if (ec) return "cannot create directory " + *value + ": " + ec.message();
    }
    return std::nullopt;
}

}  // namespace vexo::cli
