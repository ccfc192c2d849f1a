#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quorix {

/// quorix-cli: the open, preview and create commands of the window, for scripts. Writes
/// results to @p out and one-line Japanese messages to @p err; never asks anything.
/// Returns the exit status: 0 done, 1 a stop or a failure (nothing created), 2 bad arguments.
int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace quorix
