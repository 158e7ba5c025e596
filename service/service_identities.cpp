#include "service/service_identities.h"

#include <algorithm>
#include <map>

namespace zorvik {

std::vector<std::string> backedUpNames(const TunnelRecord& tunnel) {
  std::vector<std::string> names(tunnel.ipv6Disabled);
  for (const auto& entry : tunnel.dnsBackup) names.push_back(entry.first);
  for (const auto& entry : tunnel.searchDomainsBackup) names.push_back(entry.first);
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

namespace {

/// `backup` with the keys `moves` names replaced by their new names; a moved entry wins over
/// one already under its new name (the service's own backup, read again under that name).
std::map<std::string, std::string> moved(const std::map<std::string, std::string>& backup,
                                         const std::map<std::string, std::string>& moves) {
  std::map<std::string, std::string> out;
  for (const auto& [name, value] : backup) {
    if (const auto move = moves.find(name); move != moves.end())
      out.try_emplace(move->second, value);
  }
  for (const auto& [name, value] : backup) {
    if (!moves.contains(name)) out.try_emplace(name, value);
  }
  return out;
}

}  // namespace

std::string ServiceListing::identityOf(const std::string& name) {
  if (!services_) services_ = listServiceOrder(networksetup_);
  const ListedService* found = nullptr;
  for (const ListedService& service : *services_) {
    if (service.name != name) continue;
    if (found) return {};
    found = &service;
  }
  return found ? found->identity : std::string();
}

void ServiceListing::recordIdentities(TunnelRecord& tunnel) {
  for (const std::string& name : backedUpNames(tunnel)) {
    if (tunnel.serviceIdentities.contains(name)) continue;
    if (std::string identity = identityOf(name); !identity.empty())
      tunnel.serviceIdentities[name] = std::move(identity);
  }
}

std::optional<std::string> ServiceListing::earlierName(const TunnelRecord& tunnel,
                                                       const std::string& name) {
  if (tunnel.serviceIdentities.empty()) return std::nullopt;
  const std::string identity = identityOf(name);
  if (identity.empty()) return std::nullopt;
  for (const auto& [recorded, itsIdentity] : tunnel.serviceIdentities) {
    if (recorded != name && itsIdentity == identity) return recorded;
  }
  return std::nullopt;
}

void followRenamedServices(const std::string& networksetup, TunnelRecord& tunnel,
                           const ServiceRenamed& renamed) {
  if (tunnel.serviceIdentities.empty()) return;
  // Each identity with the name of the one service listed with it; empty when several are.
  std::map<std::string, std::string> holders;
  for (const ListedService& service : listServiceOrder(networksetup)) {
    if (service.identity.empty()) continue;
    const auto [holder, first] = holders.try_emplace(service.identity, service.name);
    if (!first) holder->second.clear();
  }
  std::map<std::string, std::string> moves;
  for (const auto& [name, identity] : tunnel.serviceIdentities) {
    const auto holder = holders.find(identity);
    if (holder == holders.end() || holder->second.empty() || holder->second == name) continue;
    moves[name] = holder->second;
  }
  // Not onto a name that holds backups of another service and keeps it. The same service read
  // again after its rename may be replaced.
  const std::vector<std::string> names = backedUpNames(tunnel);
  std::vector<std::string> blocked;
  for (const auto& [from, to] : moves) {
    if (!std::binary_search(names.begin(), names.end(), to) || moves.contains(to)) continue;
    const auto itsIdentity = tunnel.serviceIdentities.find(to);
    if (itsIdentity == tunnel.serviceIdentities.end() ||
        itsIdentity->second != tunnel.serviceIdentities.at(from))
      blocked.push_back(from);
  }
  for (const std::string& from : blocked) moves.erase(from);
  if (moves.empty()) return;

  tunnel.dnsBackup = moved(tunnel.dnsBackup, moves);
  tunnel.searchDomainsBackup = moved(tunnel.searchDomainsBackup, moves);
  std::vector<std::string> ipv6;
  for (const std::string& name : tunnel.ipv6Disabled) {
    const auto move = moves.find(name);
    const std::string& now = move != moves.end() ? move->second : name;
    if (std::find(ipv6.begin(), ipv6.end(), now) == ipv6.end()) ipv6.push_back(now);
  }
  tunnel.ipv6Disabled = std::move(ipv6);
  for (const auto& [from, to] : moves) renamed(from, to);
}

}  // namespace zorvik
