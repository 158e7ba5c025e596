#pragma once

#include <optional>
#include <string>
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

}  // namespace zorvik::ctl
