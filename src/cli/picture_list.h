// The pictures of a run for several pictures: each argument is a picture
// file, or a folder that stands for its JPEG files.
//
// A folder gives its files named *.jpg or *.jpeg in any case (symbolic links
// to files included), sorted by name in byte order. With `recursive` the
// walk also enters sub-folders, depth first: a folder's entries are visited
// in name order and a sub-folder's pictures come where its name sorts.
// Hidden entries (names starting with a dot) are passed over, as a shell
// pattern passes them over; so are the "._" shadow files that copies from
// some systems leave beside each photo. Symbolic links to folders are not
// entered, so that no walk can loop. Files given by name are taken whatever
// their name.
#pragma once

#include <string>
#include <vector>

namespace vexo::cli {

// A folder that could not be read, where its pictures would have come.
struct FolderProblem {
    std::size_t before = 0;  // the number of pictures listed before it
    std::string folder;      // as found
    std::string text;        // "cannot read folder FOLDER: why"
};

struct PictureList {
    std::vector<std::string> paths;  // in argument order, as found
    std::vector<FolderProblem> problems;
    bool anyFolder = false;
};

PictureList ListPictures(const std::vector<std::string>& arguments, bool recursive);

// True for a name ending in .jpg or .jpeg in any case.
bool IsJpegName(const std::string& fileName);

// True when `text` is longer than `suffix`, which is lower case, and ends in
// it in any case of ASCII letters.
bool EndsWithIgnoringCase(const std::string& text, const std::string& suffix);

}  // namespace vexo::cli
