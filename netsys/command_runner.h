#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zorvik {

/// Runs a tool by absolute path without a shell, output to the null device.
/// Returns its termination status, or -1 when it cannot be started.
int runTool(const std::string& path, const std::vector<std::string>& arguments);

/// Runs a tool and returns its standard output (invalid UTF-8 as U+FFFD), or
/// nothing when it cannot be started. Standard error goes to the null device.
std::optional<std::string> runToolCapturingOutput(const std::string& path,
                                                  const std::vector<std::string>& arguments);

}  // namespace zorvik
