#include "cli/ctl_arguments.h"

#include <utility>

#include "wire/socket_path.h"

namespace zorvik::ctl {
namespace {

std::optional<Command> commandNamed(const std::string& name) {
  if (name == "version") return Command::version;
  if (name == "start") return Command::start;
  if (name == "stop") return Command::stop;
  if (name == "status") return Command::status;
  return std::nullopt;
}

ParsedArguments usageError(std::string text) { return {std::nullopt, false, std::move(text)}; }

}  // namespace

ParsedArguments parseArguments(const std::vector<std::string>& arguments) {
  Invocation invocation;
  invocation.socketPath = kHelperSocketPath;
  std::vector<std::string> words;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") return {std::nullopt, true, {}};
    if (argument == "--socket") {
      if (i + 1 == arguments.size()) return usageError("--socket needs a path");
      invocation.socketPath = arguments[++i];
    } else if (argument.rfind("--socket=", 0) == 0) {
      invocation.socketPath = argument.substr(9);
    } else if (argument == "--json") {
      invocation.json = true;
    } else if (argument.size() > 1 && argument[0] == '-') {
      return usageError("unknown option " + argument);
    } else {
      words.push_back(argument);
    }
  }
  if (invocation.socketPath.empty()) return usageError("--socket needs a path");
  if (words.empty()) return usageError("no command given");
  const auto command = commandNamed(words[0]);
  if (!command) return usageError("unknown command " + words[0]);
  invocation.command = *command;

  const std::size_t expected = *command == Command::start ? 2 : 1;
  if (words.size() < expected)
    return usageError("start needs a configuration file, or - for standard input");
  if (words.size() > expected) return usageError("unexpected argument " + words[expected]);
  if (*command == Command::start) invocation.configSource = words[1];
  if (invocation.json && *command != Command::status)
    return usageError("--json goes with status only");
  return {invocation, false, {}};
}

std::string usageText() {
  return std::string(
             "usage: zorvikctl [--socket PATH] version | start FILE|- | stop | status [--json]\n"
             "\n"
             "Talks to the Zorvik VPN helper.\n"
             "  version         print the helper's version\n"
             "  start FILE|-    start the tunnel from a configuration file (- reads standard "
             "input)\n"
             "  stop            stop the tunnel\n"
             "  status          show whether the tunnel is up and its byte counts\n"
             "  --json          with status: print the helper's reply as JSON\n"
             "  --socket PATH   the helper's socket (default ") +
         kHelperSocketPath +
         ")\n"
         "\n"
         "Exit status: 0 success, 1 the helper answered with a failure, 2 the helper\n"
         "could not be reached or the arguments are wrong.\n";
}

}  // namespace zorvik::ctl
