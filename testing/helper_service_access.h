#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/helper_service.h"

namespace zorvik::test_support {

/// The tests' one way to the steps and fields behind HelperService's face.
/// Fields are touched only from work on queue(), as the service's own are.
class HelperServiceAccess {
 public:
  explicit HelperServiceAccess(HelperService& service) : service_(service) {}

  SerialQueue& queue() { return service_.queue; }
  const std::string& runDir() const { return service_.runDir; }
  const std::string& logPath() const { return service_.logPath; }
  std::shared_ptr<DaemonProcess>& proc() { return service_.proc; }
  std::optional<std::string>& iface() { return service_.iface; }
  std::optional<std::string>& sockPath() { return service_.sockPath; }
  std::optional<std::string>& endpointIP() { return service_.endpointIP; }
  std::optional<std::string>& savedGateway() { return service_.savedGateway; }
  std::map<std::string, std::string>& dnsBackup() { return service_.dnsBackup; }
  std::vector<std::string>& ipv6Disabled() { return service_.ipv6Disabled; }
  bool& active() { return service_.active; }

  void logLine(const std::string& message) const { service_.logLine(message); }
  TunnelJournal journalRecords() const { return service_.journalRecords(); }
  void replayJournal() { service_.replayJournal(); }
  void recordJournal() { service_.recordJournal(); }
  void overrideDNS(std::string_view dnsText) { service_.overrideDNS(dnsText); }
  void restoreDNS() { service_.restoreDNS(); }
  void disableIPv6() { service_.disableIPv6(); }
  void restoreIPv6() { service_.restoreIPv6(); }

 private:
  HelperService& service_;
};

}  // namespace zorvik::test_support
