#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace quorix::test {

/// What a run of quorix-cli in this process gave.
struct CliRun {
    int status;
    std::string out;
    std::string err;
};

/// A file of examples/.
inline std::string example(const std::string& name) {
    return std::string(QUORIX_EXAMPLES) + "/" + name;
}

inline CliRun cli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = runCli(args, out, err);
    return {status, out.str(), err.str()};
}

}  // namespace quorix::test
