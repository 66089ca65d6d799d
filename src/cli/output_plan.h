// Where the outputs of a run go, known before anything runs: every file and
// folder that each path-valued option writes, for each picture. From it come
// the NAMEs of the pictures and the checks made before the first picture
// runs: no output is one of the pictures or another output, no file goes
// where a folder goes, and every output folder can be written.
//
// A new output option is one entry of kPathOptions: its name, its field, the
// form it belongs to and what it writes for a picture.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"

namespace vexo::cli {

// One file or folder that an output writes.
struct PlannedPath {
    std::string path;
    const char* option = "";  // "--dump"
    bool folder = false;      // a folder that the output creates and writes into
    bool whole = false;       // a folder that the output may fill with any name: nothing else goes in it
};

// Which form of the command line an option belongs to.
enum class Form { OnePicture, Several, Both };

struct PathOption {
    const char* name;  // "--dump"
    std::optional<std::string> Options::*field;
    const char* needs;  // what the value must name, for usage errors: "a directory"
    Form form;
    bool createsFolder;  // the value is a folder, made if needed
    // In the form for several: written for every picture under its NAME
    // (else once for the run).
    bool perPicture;
    // Adds what the option writes: for one picture when `name` is null, else
    // for the picture NAME in the form for several.
    void (*plan)(const std::string& value, const std::string* name, std::vector<PlannedPath>& into);
};

extern const std::vector<PathOption> kPathOptions;

// The option of kPathOptions named `argument`, if any.
const PathOption* FindPathOption(const std::string& argument);

// What the run writes: in the form for several pictures (`names` given, one
// per picture), every picture's outputs and the run's own; otherwise the
// outputs of the one picture.
std::vector<PlannedPath> PlanOutputs(const Options& options, const std::vector<std::string>* names);

// The NAME of each picture: its file name without the extension ("picture"
// when that is empty, "." or ".."), or, when that NAME was met before or any
// output under it would be a file or folder that an earlier picture's
// outputs already take, NAME-2, NAME-3, ... (the first that is free), in
// the order given. So names never depend on how many pictures run at once.
std::vector<std::string> OutputNames(const Options& options, const std::vector<std::string>& paths);

// Why the planned outputs cannot be written as they are, before anything runs:
// an output that is one of the `inputs` (same file, links followed), two
// outputs that are the same file, a file where an output makes a folder, or
// anything inside a folder that an output fills. Nothing when all is well.
// The same device or pipe (or descriptor) written twice is no clash.
std::optional<std::string> FindClash(const std::vector<PlannedPath>& plan, const std::vector<std::string>& inputs);

// Makes the output folders of the form for several pictures and checks that
// they, and the folder of every output file, can be written; the reason when
// one cannot.
std::optional<std::string> PrepareOutputFolders(const Options& options);

}  // namespace vexo::cli
