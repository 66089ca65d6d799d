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

void NotWritten(const std::string& path, const char* why) {
    std::cerr << "vexo-cli: " << why << ", " << path << " not written" << std::endl;
}

bool HasDisplay(const MemoryScreen& screen) {
    return screen.hasBitmap && screen.displayWidth > 0 && screen.displayHeight > 0 &&
           screen.display.size() == std::size_t(screen.displayWidth) * std::size_t(screen.displayHeight) * 3;
}

}  // namespace

bool WriteOutputs(const Options& options, Workbench& workbench, const MemoryScreen& screen,
                  const std::string& reportText) {
    bool ok = true;
    const bool displayed = HasDisplay(screen);

    if (options.png) {
        if (displayed)
            ok &= Report(WritePng(*options.png, screen.displayWidth, screen.displayHeight, screen.display));
        else
            NotWritten(*options.png, "no picture displayed");
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
        ImageState& image = workbench.image();
        const std::pair<const char*, const Plane*> planes[] = {
            {"plane0.pgm", &image.planes[0]}, {"plane1.pgm", &image.planes[1]}, {"marks.pgm", &image.marks}};
        std::string missing;
        for (const auto& [name, plane] : planes) {
            if (*plane)
                ok &= Report(WritePgm(in(name), *plane));
            else
                missing += std::string(" ") + name;
        }
        if (displayed)
            ok &= Report(WritePpm(in("display.ppm"), screen.displayWidth, screen.displayHeight, screen.display));
        else
            missing += " display.ppm";
        if (!missing.empty())
            std::cerr << "vexo-cli: no picture, not written in " << *options.dump << ":" << missing << std::endl;
        ok &= Report(WriteText(in("report.json"), reportText));
    }
    return ok;
}

}  // namespace vexo::cli
