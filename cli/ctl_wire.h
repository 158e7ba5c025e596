#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvik::ctl {

/// The request zorvikctl was asked to make.
enum class Command { version, start, stop, status };

/// A command line, understood.
struct Invocation {
  Command command = Command::version;
  std::string socketPath;
  std::string configSource;  ///< start: a file path, or "-" for standard input
  bool json = false;         ///< status: print the reply object
};

/// What the command line asks for: a request, the help text, or a usage error.
struct ParsedArguments {
  std::optional<Invocation> invocation;
  bool help = false;
  std::string error;
};

/// Parses the arguments after the program name.
ParsedArguments parseArguments(const std::vector<std::string>& arguments);

/// The help text.
std::string usageText();

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
