#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvik {

/// Looks until the file at `path` holds non-empty valid UTF-8 text and returns it
/// untrimmed; nothing when `timeout` passes first. It looks when its directory or the
/// file changes, and at least every `pollInterval`. No attempt starts after the deadline.
std::optional<std::string> waitForFileText(const std::string& path,
                                           std::chrono::milliseconds timeout,
                                           std::chrono::milliseconds pollInterval);

/// Calls `look` until it finds something, which is returned; nothing when `timeout`
/// passes first. It looks when `directory` changes, soon again after each change, and at
/// least every `pollInterval`. No attempt starts after the deadline.
std::optional<std::string> waitForDirectoryEntry(
    const std::string& directory, std::chrono::milliseconds timeout,
    std::chrono::milliseconds pollInterval,
    const std::function<std::optional<std::string>()>& look);

/// The names in `directory` in listing order, or nothing when it cannot be listed.
std::optional<std::vector<std::string>> listDirectoryNames(const std::string& directory);

/// The daemon's live socket among `names` in `directory`: "<iface>.sock" first, then the other
/// names ending in ".sock" in listing order; a candidate counts only if it accepts a connection
/// (closed at once), so a dead socket of an earlier daemon is skipped. Nothing when none is live.
std::optional<std::string> pickLiveUAPISocketName(const std::string& directory,
                                                  const std::vector<std::string>& names,
                                                  const std::optional<std::string>& iface);

}  // namespace zorvik
