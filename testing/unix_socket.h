#pragma once

#include <string>

#include "base/unique_fd.h"

namespace zorvik::test_support {

/// A close-on-exec Unix stream socket bound at `path`, listening unless
/// `listening` is false; closing an unlistened one leaves its file behind, as
/// a daemon that died does. Throws std::runtime_error naming `path` when the
/// address is refused (see unixSocketAddress) or a call fails.
UniqueFd bindUnixSocket(const std::string& path, bool listening = true);

}  // namespace zorvik::test_support
