// What `vexo-cli --help` and `vexo-cli --version` print.
#pragma once

#include <string>

namespace vexo::cli {

// Both forms of the command line, every step and option on a line of its
// own, the outputs and the exit statuses.
std::string HelpText();

// "vexo-cli VERSION (libjpeg-turbo VERSION)" and a newline.
std::string VersionText();

}  // namespace vexo::cli
