#include "netsys/dns.h"
#include "netsys/ipv6.h"
#include "service/helper_service.h"

namespace zorvik {

void HelperService::overrideDNS(std::string_view dnsText) {
  zorvik::overrideDNS(settings().networksetupTool, dnsText, dnsBackup, [this] { recordJournal(); });
}

void HelperService::restoreDNS() { zorvik::restoreDNS(settings().networksetupTool, dnsBackup); }

void HelperService::disableIPv6() {
  zorvik::disableIPv6(settings().networksetupTool, ipv6Disabled, [this] { recordJournal(); });
}

void HelperService::restoreIPv6() {
  zorvik::restoreIPv6(settings().networksetupTool, ipv6Disabled);
}

}  // namespace zorvik
