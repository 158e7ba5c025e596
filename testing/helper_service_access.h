#pragma once

#include <memory>
#include <string>

#include "service/helper_service.h"

namespace zorvik::test_support {

/// The tests' one way to the steps and fields behind HelperService's face.
/// Fields are touched only from work on queue(), as the service's own are.
class HelperServiceAccess {
 public:
  explicit HelperServiceAccess(HelperService& service) : service_(service) {}

  SerialQueue& queue() { return service_.queue; }
  const std::string& runDir() const { return service_.settings.runDir; }
  const std::string& logPath() const { return service_.settings.logPath; }
  std::shared_ptr<DaemonProcess>& proc() { return service_.daemons.running; }
  /// What a teardown reads: iface, sockPath, endpointIP, savedGateway, dnsBackup,
  /// ipv6Disabled, active and the journaled daemon.
  TunnelRecord& tunnel() { return service_.tunnel; }

  void logLine(const std::string& message) const { service_.logLine(message); }
  void replayJournal() { service_.replayJournal(); }
  void recordJournal() { service_.recordJournal(); }

 private:
  HelperService& service_;
};

}  // namespace zorvik::test_support
