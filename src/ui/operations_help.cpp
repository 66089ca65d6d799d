#include "ui/operations_help.h"

#include <cstdio>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include <QtGlobal>

#include "app/operations.h"

#ifndef VEXO_VERSION
#define VEXO_VERSION "unknown"
#endif

namespace vexo {

QString OperationsHelpHtml() {
    QString html =
        "<h2>Operations</h2>"
        "<p>Pick an operation in the list at the top, type its parameter and press GO. The Operations "
        "menu does both in one step, with the operation's usual parameter typed in; a numbered button runs "
        "its operation at once with the parameter as it stands. Most operations work on the picture as it is "
        "now, so they can be chained: 0 then 4 finds horizontal lines in the horizontal edges. "
        "“R” (Ctrl+R) brings back the loaded picture.</p>"
        "<p><b>The grid search</b> is operation 16: operations 14 (horizontal edges, Hough lines, lines made "
        "evenly spaced) and 15 (the same for vertical lines) run one after the other, then every cell of the "
        "grid is labelled A1, B1, … on the loaded picture. Operation 17 does the same but draws only the "
        "labels; operation 13 finds the grid with chain filters and gap lines instead of Hough lines. "
        "The grid operations read no parameter: their thresholds follow from the picture's size. "
        "When no grid is found, the status line says where the search came up empty: <i>no horizontal "
        "lines</i> or <i>no vertical lines</i> (fewer than two lines found that way), <i>no spacing found</i> "
        "(the lines stand too far apart or too irregularly for a spacing; the picture at another working "
        "size, View ▸ Load at Full Size on or off, may do better), or <i>every line dropped</i> (no line "
        "fitted the spacing).</p>"
        "<h3>Find Grid</h3>"
        "<p><b>Find Grid</b> (Ctrl+G, the Operations menu or the tool bar) finds the grid in a photograph as "
        "people take them: a ruled grid (a sudoku, graph paper, a form, a table, tiles) or a chessboard, dark "
        "lines on light paper or light on dark, turned by any angle, seen at a slant, sharp or a little soft, "
        "from 2 × 2 to 40 × 40 cells, with a few cells covered and other things around it. Nobody tells it the "
        "number of cells. It needs the grid to fill a good part of the photo (a quarter of it or more), its lines "
        "or squares to stand out from the paper, and most of the grid in the picture; a page of text or a street "
        "is no grid, and it says so rather than invent one.</p>"
        "<p>It reads the picture as loaded (its own gray levels, whatever the operations did since), changes no "
        "plane, mark, log entry or readout, and draws over the picture: the lattice from border to border of the "
        "grid, each cell's name at its centre and, on a chessboard, its crossings. The status line gives the size, "
        "the kind (ruled or chessboard), a score from 0 to 1 (how much of the lattice the photo supports) and the "
        "time. Cells are named as on a board: the grid is first turned by the quarter turn that brings it nearest "
        "to upright; then A1 is the top-left cell, the letter is the column (A, B, C, … from the left; columns past "
        "Z go on with the characters after Z) and the number the row (1, 2, 3, … downwards). Over the picture the "
        "status line names the cell under the mouse.</p>"
        "<p>View ▸ Straightened Grid (Ctrl+T) shows the grid as if photographed square-on, every cell square, "
        "cut from the file's own pixels. File ▸ Export Grid writes what Find Grid found (JSON, or CSV with one row "
        "per cell and its corners), File ▸ Export Cells every cell straightened as A1.png, B1.png, … into a folder. "
        "Another operation or “R” draws over the lattice and ends all this.</p>"
        "<table border='1' cellspacing='0' cellpadding='4'>"
        "<tr><th>#</th><th>Operation</th><th>What it does</th><th>Parameter</th></tr>";
    for (int i = 0; i < kOperationCount; ++i) {
        const OperationInfo& operation = *FindOperation(i);
        html += QString("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td></tr>")
                    .arg(i)
                    .arg(QString(operation.label).toHtmlEscaped(), QString(operation.help.description).toHtmlEscaped(),
                         operation.help.parameter != nullptr ? QString(operation.help.parameter).toHtmlEscaped()
                                                             : QString("not used"));
    }
    html += "</table>";
    return html;
}

QString AboutText() {
    const int turbo = LIBJPEG_TURBO_VERSION_NUMBER;
    return QString("<h3>Vexo %1</h3>"
                   "<p>A workbench for grayscale photographs: finds a regular grid of straight lines in a "
                   "picture and names its cells.</p>"
                   "<p>Qt %2 (built with %3)<br>libjpeg-turbo %4.%5.%6</p>")
        .arg(VEXO_VERSION, qVersion(), QT_VERSION_STR)
        .arg(turbo / 1000000)
        .arg(turbo / 1000 % 1000)
        .arg(turbo % 1000);
}

}  // namespace vexo
