#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace zorvik {

/// Reply of start and stop: success, and the error text when it failed.
using ResultReply = std::function<void(bool ok, std::optional<std::string> error)>;
/// Reply of status: tunnel active, received bytes, sent bytes, and the seconds since the
/// daemon's last handshake with the server (nothing before the first, or when it did not say).
using StatusReply = std::function<void(bool active, std::uint64_t rx, std::uint64_t tx,
                                       std::optional<std::uint64_t> handshakeAge)>;
using VersionReply = std::function<void(std::string version)>;

/// The helper's one remote interface, as the fronts of both platforms export it.
/// Every call answers through its reply exactly once.
class ZorvikHelperProtocol {
 public:
  virtual ~ZorvikHelperProtocol() = default;
  /// Answers at once, on the calling thread.
  virtual void getVersion(VersionReply reply) = 0;
  /// The three tunnel requests are queued and answered from the service's queue; a status
  /// may be answered from the thread of the daemon exchange it shares.
  virtual void startTunnel(std::string config, ResultReply reply) = 0;
  virtual void stopTunnel(ResultReply reply) = 0;
  virtual void status(StatusReply reply) = 0;
};

}  // namespace zorvik
