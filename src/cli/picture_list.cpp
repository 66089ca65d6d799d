#include "cli/picture_list.h"

#include <algorithm>
#include <filesystem>
#include <utility>

namespace vexo::cli {

namespace fs = std::filesystem;

namespace {

struct Entry {
    std::string name;
    fs::path path;
    bool folder = false;
};

// The pictures and, with `recursive`, the sub-folders of a folder, sorted by
// name; false when the folder could not be read to its end.
bool ReadFolder(const fs::path& folder, bool recursive, std::vector<Entry>& entries, std::string& problem) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        std::error_code ignored;
        std::string name = entry.path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        if (recursive && entry.is_directory(ignored) && !entry.is_symlink(ignored))
            entries.push_back({std::move(name), entry.path(), true});
        else if (IsJpegName(name) && entry.is_regular_file(ignored))
            entries.push_back({std::move(name), entry.path(), false});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    if (!ec) return true;
    problem = "cannot read folder " + folder.string() + ": " + ec.message();
    return false;
}

void AddFolder(const fs::path& top, bool recursive, PictureList& list) {
    struct Frame {
        std::vector<Entry> entries;
        std::size_t next = 0;
    };
    std::vector<Frame> stack(1);
    std::string problem;
    auto read = [&](const fs::path& folder, std::vector<Entry>& entries) {
        if (!ReadFolder(folder, recursive, entries, problem))
            list.problems.push_back({list.paths.size(), folder.string(), problem});
    };
    read(top, stack.back().entries);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.entries.size()) {
            stack.pop_back();
            continue;
        }
        Entry entry = std::move(frame.entries[frame.next++]);
        if (!entry.folder) {
            list.paths.push_back(entry.path.string());
            continue;
        }
        Frame inner;
        read(entry.path, inner.entries);
        stack.push_back(std::move(inner));  // `frame` is not used past here
    }
}

}  // namespace

bool EndsWithIgnoringCase(const std::string& text, const std::string& suffix) {
    if (text.size() <= suffix.size()) return false;
    return std::equal(suffix.rbegin(), suffix.rend(), text.rbegin(),
                      [](char s, char c) { return s == (c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c); });
}

bool IsJpegName(const std::string& fileName) {
    return EndsWithIgnoringCase(fileName, ".jpg") || EndsWithIgnoringCase(fileName, ".jpeg");
}

PictureList ListPictures(const std::vector<std::string>& arguments, bool recursive) {
    PictureList list;
    for (const std::string& argument : arguments) {
        std::error_code ec;
        if (fs::is_directory(argument, ec)) {
            list.anyFolder = true;
            AddFolder(argument, recursive, list);
        } else {
            list.paths.push_back(argument);
        }
    }
    return list;
}

}  // namespace vexo::cli
