// Text as vexo-cli shows it on a terminal or in a log: a file name, or any
// other text that came from outside, can neither move the cursor, retitle or
// clear the terminal, nor print a line of its own.
#pragma once

#include <string>
#include <string_view>

namespace vexo::cli {

// The text with its control characters escaped (\e for escape, \n, \r, \t,
// and \xNN for every byte of any other character below U+0020, of U+007F
// and of U+0080 to U+009F) and each byte that is not part of valid UTF-8
// written as \xNN.
std::string ShownText(std::string_view text);

}  // namespace vexo::cli
