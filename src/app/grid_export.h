// The grid an operation found, as the window exports it: JSON with the
// picture's name, the file's own size and scale, and the operation's step
// record exactly as vexo-cli writes it; or CSV (RFC 4180: CRLF line ends,
// fields quoted where needed), one row per cell with its label, column, row
// and four corners in working pixels and in the file's own pixels.
#pragma once

#include <string>

#include "app/step_record.h"
#include "core/jpeg_decoder.h"

namespace vexo {

std::string GridJson(const std::string& picture, const SourceSize& source, const StepRecord& step);
std::string GridCsv(const SourceSize& source, const StepRecord& step);

}  // namespace vexo
