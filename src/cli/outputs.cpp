#include "cli/outputs.h"

#include <filesystem>
#include <iostream>

#include "cli/image_files.h"

namespace vexo::cli {

namespace {

bool Report(const std::string& error) {
    if (error.empty()) return true;
    std::cerr << "vexo-cli: " << error << std::endl;
    return false;
}

bool DisplayReady(Workbench& workbench, const MemoryScreen& screen) {
    return workbench.image().loaded() && screen.hasBitmap && screen.displayWidth > 0 && screen.displayHeight > 0;
}

}  // namespace

bool WriteOutputs(const Options& options, Workbench& workbench, const MemoryScreen& screen,
                  const std::string& reportText) {
    bool ok = true;
    const bool ready = DisplayReady(workbench, screen);

    if (options.png) {
        if (ready)
            ok &= Report(WritePng(*options.png, screen.displayWidth, screen.displayHeight, screen.display));
        else
            std::cerr << "vexo-cli: no picture loaded, " << *options.png << " not written" << std::endl;
    }

    if (options.json) {
        if (*options.json == "-")
            std::cout << reportText << std::flush;
        else
            ok &= Report(WriteText(*options.json, reportText));
    }

    if (options.dump) {
        const std::filesystem::path dir(*options.dump);
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        if (ec || !std::filesystem::is_directory(dir, ec)) {
            Report("cannot create directory " + *options.dump + ": " +
                   (ec ? ec.message() : std::string("not a directory")));
            return false;
        }
        auto in = [&dir](const char* name) { return (dir / name).string(); };
        if (ready) {
            ImageState& image = workbench.image();
            ok &= Report(WritePgm(in("plane0.pgm"), image.planes[0]));
            ok &= Report(WritePgm(in("plane1.pgm"), image.planes[1]));
            ok &= Report(WritePgm(in("marks.pgm"), image.marks));
            ok &= Report(WritePpm(in("display.ppm"), screen.displayWidth, screen.displayHeight, screen.display));
        } else {
            std::cerr << "vexo-cli: no picture loaded, only report.json written to " << *options.dump << std::endl;
        }
        ok &= Report(WriteText(in("report.json"), reportText));
    }
    return ok;
}

}  // namespace vexo::cli
