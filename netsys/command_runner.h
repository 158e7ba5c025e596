#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zorvik {

/// Runs a tool by absolute path without a shell, output to the null device.
/// Returns its termination status, or -1 when it cannot be started, an argument
/// holds a NUL, or it overran the run limit.
int runTool(const std::string& path, const std::vector<std::string>& arguments);

/// Runs a tool and returns its standard output (invalid UTF-8 as U+FFFD), or
/// nothing when it cannot be started, an argument holds a NUL, or it overran the
/// run limit. Standard error goes to the null device. The capture ends when the
/// tool exits, even while a child it left behind keeps the pipe open.
std::optional<std::string> runToolCapturingOutput(const std::string& path,
                                                  const std::vector<std::string>& arguments);

/// How long one tool may run before it and its process group are killed.
inline constexpr std::chrono::milliseconds kToolRunLimit{15000};

/// Told once about each tool killed at the limit.
using ToolOverrunReport =
    std::function<void(const std::string& path, const std::vector<std::string>& arguments)>;

/// Sets the limit of every tool run in this process and who hears of an overrun.
/// The helper sets it once at start-up, before any tool runs; tests shorten it.
void setToolRunLimit(std::chrono::milliseconds limit, ToolOverrunReport report);

}  // namespace zorvik
