#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cli/ctl_arguments.h"

namespace zorvik::ctl {

/// The request line for `invocation` with id `id`, ending in "\n". Throws
/// std::invalid_argument when the configuration is not valid UTF-8.
std::string requestLine(const Invocation& invocation, int id, const std::string& config);

/// The id of a reply line, when the line is a JSON object with an integer id.
std::optional<std::int64_t> replyId(std::string_view line);

/// What to print and how to exit.
struct Outcome {
  int exitCode = 0;
  std::string out;  ///< standard output
  std::string err;  ///< standard error
};

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitHelperFailed = 1;
inline constexpr int kExitUnreachable = 2;

/// The outcome of the helper's reply to `invocation`.
Outcome interpretReply(const Invocation& invocation, std::string_view line);

/// A byte count for people: "512 B", "1.5 KiB", "3.0 GiB".
std::string humanSize(std::uint64_t bytes);

}  // namespace zorvik::ctl
