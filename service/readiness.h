#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvik {

class DirectoryWatch;

/// Looks until the file at `path` holds non-empty valid UTF-8 text and returns it
/// untrimmed; nothing when `timeout` passes first. It looks when `watch` (of the file's
/// directory) sees a change, and at least every `pollInterval`. No attempt starts after the
/// deadline.
std::optional<std::string> waitForFileText(DirectoryWatch& watch, const std::string& path,
                                           std::chrono::milliseconds timeout,
                                           std::chrono::milliseconds pollInterval);

/// Calls `look` until it finds something, which is returned; nothing when `timeout`
/// passes first. It looks when `watch` sees a change, soon again after each change, and
/// at least every `pollInterval`. No attempt starts after the deadline.
std::optional<std::string> waitForDirectoryEntry(
    DirectoryWatch& watch, std::chrono::milliseconds timeout,
    std::chrono::milliseconds pollInterval,
    const std::function<std::optional<std::string>()>& look);

/// The interface name a daemon wrote to `nameFile`, trimmed, once the file holds one (the waits
/// of waitForFileText); nothing when `timeout` passes first or the name is blank.
std::optional<std::string> waitForInterfaceName(DirectoryWatch& watch, const std::string& nameFile,
                                                std::chrono::milliseconds timeout,
                                                std::chrono::milliseconds pollInterval);

/// Where, in `runDir`, the daemon of interface `iface` listens: the socket is named after it.
std::string interfaceSocketPath(const std::string& runDir, const std::string& iface);

/// The names in `directory` in listing order, or nothing when it cannot be listed.
std::optional<std::vector<std::string>> listDirectoryNames(const std::string& directory);

/// True when something listens on the Unix socket at `path`: a socket file left by a daemon
/// that died refuses the connection. The connection is closed at once.
bool acceptsConnection(const std::string& path);

/// The pid of the process that listens on the Unix socket at `path`, as the system recorded it;
/// nothing when nothing accepts a connection there. The connection is closed at once.
std::optional<pid_t> listeningProcess(const std::string& path);

}  // namespace zorvik
