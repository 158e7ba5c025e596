#pragma once

#include <string>
#include <string_view>

#include "base/unique_fd.h"

namespace zorvik {

/// Opens `path` for appending without following a symlink at it and without
/// blocking. A file this call creates gets mode 0644 whatever the umask; an
/// existing file keeps its mode. Returns an invalid UniqueFd when it cannot be
/// opened or is not a regular file with exactly one link.
UniqueFd openAppendOnly(const std::string& path);

}  // namespace zorvik
