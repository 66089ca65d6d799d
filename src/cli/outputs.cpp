#include "cli/outputs.h"

#include <filesystem>

#include "app/straightened_grid.h"
#include "cli/image_files.h"

namespace vexo::cli {

namespace {

void Note(const WriteResult& failure, OutputNotes& notes) { notes.Add(failure); }

bool HasDisplay(const MemoryScreen& screen) {
    return screen.hasBitmap && screen.displayWidth > 0 && screen.displayHeight > 0 &&
           screen.display.size() == std::size_t(screen.displayWidth) * std::size_t(screen.displayHeight) * 3;
}

const char* const kDumpFiles[] = {"plane0.pgm", "plane1.pgm", "marks.pgm", "display.ppm", "report.json"};

}  // namespace

void OutputNotes::Add(const WriteResult& failure) {
    if (!failure) return;
    lines.push_back({failure->Message(), true});
    if (ok) firstFailure = failure->Brief();
    ok = false;
}

void WriteDisplayPng(const std::string& path, const MemoryScreen& screen, OutputNotes& notes) {
    if (HasDisplay(screen))
        Note(WritePng(path, screen.displayWidth, screen.displayHeight, screen.display), notes);
    else
        notes.lines.push_back({"no picture displayed, " + path + " not written"});
}

void WriteReport(const std::string& path, const std::string& reportText, OutputNotes& notes) {
    Note(WriteText(path, reportText), notes);
}

std::vector<std::string> DumpFiles(const std::string& dir) {
    std::vector<std::string> files;
    for (const char* name : kDumpFiles) files.push_back((std::filesystem::path(dir) / name).string());
    return files;
}

void WriteDumpFolder(const std::string& dir, Workbench& workbench, const MemoryScreen& screen,
                     const std::string& reportText, OutputNotes& notes) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir, ec)) {
        Note(WriteFailure{"cannot create directory", dir, ec ? ec.message() : std::string("Not a directory")}, notes);
        return;
    }
    const std::vector<std::string> files = DumpFiles(dir);
    ImageState& image = workbench.image();
    const Plane* planes[] = {&image.planes[0], &image.planes[1], &image.marks};
    std::string missing;
    for (int i = 0; i < 3; ++i) {
        if (*planes[i])
            Note(WritePgm(files[i], *planes[i]), notes);
        else
            missing += std::string(" ") + kDumpFiles[i];
    }
    if (HasDisplay(screen))
        Note(WritePpm(files[3], screen.displayWidth, screen.displayHeight, screen.display), notes);
    else
        missing += " display.ppm";
    if (!missing.empty()) notes.lines.push_back({"no picture, not written in " + dir + ":" + missing});
    Note(WriteText(files[4], reportText), notes);
}

namespace {

// The file's own luminance for cutting cells from; nothing (said in `why`)
// when the grid was not found or the picture's memory cannot be had.
GrayPlane FilePicture(Workbench& workbench, std::string& why) {
    const FindGridRecord& record = workbench.lastFindGrid();
    if (record.sequence == 0 || !record.source.found || !workbench.image().decoder) {
        why = "no grid found";
        return {};
    }
    try {
        GrayPlane file = workbench.image().decoder->DecodeFullLuminance();
        if (!file) why = "not enough memory";
        return file;
    } catch (const std::bad_alloc&) {
        why = "not enough memory";
    } catch (const std::exception& e) {
        why = e.what();
    }
    return {};
}

}  // namespace

void WriteCellsFolder(const std::string& dir, Workbench& workbench, OutputNotes& notes) {
    std::string why;
    const GrayPlane file = FilePicture(workbench, why);
    if (!file) {
        if (why == "no grid found")
            notes.lines.push_back({"no grid found, no cells written in " + dir});
        else
            Note(WriteFailure{"cannot cut the cells for", dir, why}, notes);
        return;
    }
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir, ec)) {
        Note(WriteFailure{"cannot create directory", dir, ec ? ec.message() : std::string("Not a directory")}, notes);
        return;
    }
    ForEachStraightenedCell(workbench.lastFindGrid(), file, [&](const std::string& name, const GrayPlane& cell) {
        Note(WriteGrayPng((std::filesystem::path(dir) / (name + ".png")).string(), cell), notes);
        return true;
    });
}

void WriteStraightenedGrid(const std::string& path, Workbench& workbench, OutputNotes& notes) {
    std::string why;
    const GrayPlane file = FilePicture(workbench, why);
    if (!file) {
        if (why == "no grid found")
            notes.lines.push_back({"no grid found, " + path + " not written"});
        else
            Note(WriteFailure{"cannot straighten the grid for", path, why}, notes);
        return;
    }
    Note(WriteGrayPng(path, StraightenedGridPicture(workbench.lastFindGrid(), file)), notes);
}

OutputNotes WriteOutputs(const Options& options, Workbench& workbench, const MemoryScreen& screen,
                         const std::string& reportText) {
    OutputNotes notes;
    if (options.png) WriteDisplayPng(*options.png, screen, notes);
    if (options.json) WriteReport(*options.json, reportText, notes);
    if (options.dump) WriteDumpFolder(*options.dump, workbench, screen, reportText, notes);
    if (options.cells) WriteCellsFolder(*options.cells, workbench, notes);
    if (options.straightened) WriteStraightenedGrid(*options.straightened, workbench, notes);
    return notes;
}

}  // namespace vexo::cli
