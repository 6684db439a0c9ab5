// rvlc's commands: show, extract, build and update.
#pragma once

#include <string>
#include <vector>

namespace rvlc {

// Runs the command that args (without the program's name) give; returns the exit code.
int Run(const std::vector<std::string>& args);

} // namespace rvlc
