#include "cli/help.h"

// jpeglib.h needs FILE and size_t declared first.
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>

// The project's version, given by the build.
#ifndef VEXO_VERSION
#define VEXO_VERSION "unknown"
#endif

#define VEXO_TEXT(x) VEXO_TEXT_OF(x)
#define VEXO_TEXT_OF(x) #x
#ifdef LIBJPEG_TURBO_VERSION
#define VEXO_JPEG_VERSION VEXO_TEXT(LIBJPEG_TURBO_VERSION)
#else
#define VEXO_JPEG_VERSION "unknown"
#endif

namespace vexo::cli {

std::string HelpText() {
    return R"(Usage: vexo-cli PICTURE [STEP ...] [--full-size] [--png FILE] [--json FILE] [--dump DIR]
                [--cells DIR] [--straightened FILE] [--quiet]
       vexo-cli PICTURE|FOLDER ... [STEP ...] [--full-size] [--recursive] [--out DIR] [--dump DIR]
                [--cells DIR] [--summary FILE] [--jobs N] [--progress | --no-progress] [--quiet]
       vexo-cli --help | --version

Loads each picture (a JPEG file) as a click in the window's file list would,
replays the steps on it in the order given, as the window's user would, and
writes what the window would have shown and the grid it found.

Steps:
  --op N            pick operation N (0..17), with its default parameter, and press GO
  --op N:TEXT       the same, typing TEXT into the parameter box before GO
  --shortcut N      click numbered button N (runs operation N with the parameter box as it is)
  --param TEXT      type TEXT into the parameter box (nothing runs)
  --offset K        move the segment track bar to K (nothing runs)
  --go-on           tick "Go on"
  --no-go-on        untick "Go on"
  --go              press GO (runs the selected operation)
  --refresh         press "R"
  --find-grid       find the grid of the picture as loaded (its crossings, cells
                    and names, however the photo was taken); changes no plane

Options:
  --full-size       load at full size; otherwise a picture wider or higher than
                    1200 pixels is decoded at the largest scale M/8 that fits
  --quiet           print only error messages
  --help            print this help and exit
  --version         print the version of vexo-cli and of libjpeg-turbo and exit

One picture:
  --png FILE        the displayed picture at the end, as PNG
  --json FILE       the report: the state at the end and every step (- for standard output)
  --dump DIR        DIR/plane0.pgm, plane1.pgm, marks.pgm, display.ppm, report.json
  --cells DIR       every cell of the grid found, straightened to a square, from
                    the file's own pixels: DIR/A1.png, DIR/B1.png, ... (gray)
  --straightened FILE
                    the whole grid found, straightened, as one gray PNG
  Without outputs, a short summary goes to standard output.

Several pictures (more than one picture, a folder, or any of these options):
  A folder stands for its *.jpg and *.jpeg files (any case), sorted by name.
  --recursive       also take the pictures of sub-folders
  --out DIR         DIR/NAME.png and DIR/NAME.json for every picture
  --dump DIR        a dump folder DIR/NAME/ for every picture
  --cells DIR       the cells of every picture's grid: DIR/NAME/A1.png, ...
                    (a NAME met again becomes NAME-2, NAME-3, ... in argument order)
  --summary FILE    one row per picture: CSV, or JSON Lines when FILE ends in .jsonl
                    (- for CSV on standard output); columns: file, loaded, width,
                    height, source_width, source_height, scale, operation,
                    horizontal_lines, vertical_lines, cells, grid_found, errors,
                    first_error, exit_status, milliseconds, outcome (where a grid
                    search ended: grid found, no horizontal lines, no vertical
                    lines, no spacing found, every line dropped), output_error;
                    a folder that cannot be read gets a row of its own
  --jobs N          run N pictures at once (default: the number of processors)
  --progress        a progress line on standard error even when it is not a terminal
  --no-progress     no progress line (nor with --quiet)
  A picture that fails does not stop the run; message boxes go into the reports
  and the summary instead of standard error.

Every output file is written under a temporary name and renamed when complete;
a write-protected file is not replaced. An output that is one of the pictures,
two outputs that are the same file, and (several pictures) an output folder
that cannot be written are refused before anything runs. /dev/stdout,
/dev/fd/N and the like write to the descriptor the shell opened.

Exit status:
  0  every picture loaded and every step ran
  1  usage error (nothing ran)
  2  a picture could not be loaded
  3  the program would have ended (memory exhausted)
  4  an output could not be written
  With several pictures: the most serious status of any picture, in the order 3, 2, 4, 0.
)";
}

std::string VersionText() {
    return std::string("vexo-cli ") + VEXO_VERSION + " (libjpeg-turbo " VEXO_JPEG_VERSION ")\n";
}

}  // namespace vexo::cli
