#include "service/tunnel_journal.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "base/ip_address.h"
#include "platform/private_file.h"

namespace zorvik {
namespace {

using json = nlohmann::json;

constexpr int kFormatVersion = 1;
constexpr mode_t kJournalMode = 0600;
// Far above any real journal; a bigger file is not ours.
constexpr std::size_t kMaxJournalBytes = std::size_t{1} << 20;

json optionalText(const std::optional<std::string>& value) {
  return value ? json(*value) : json(nullptr);
}

const json& member(const json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end()) throw std::runtime_error(std::string("no \"") + key + "\"");
  return *it;
}

std::optional<std::string> optionalTextMember(const json& object, const char* key) {
  const json& value = member(object, key);
  if (value.is_null()) return std::nullopt;
  if (!value.is_string()) throw std::runtime_error(std::string("\"") + key + "\" is not text");
  return value.get<std::string>();
}

std::map<std::string, std::string> textMapMember(const json& value, const char* key) {
  if (!value.is_object()) throw std::runtime_error(std::string("\"") + key + "\" is not an object");
  std::map<std::string, std::string> map;
  for (const auto& [name, text] : value.items()) {
    if (!text.is_string())
      throw std::runtime_error(std::string("a \"") + key + "\" value is not text");
    map[name] = text.get<std::string>();
  }
  return map;
}

std::optional<pid_t> pidMember(const json& object, const char* key) {
  const json& value = member(object, key);
  if (value.is_null()) return std::nullopt;
  // 0, 1 and negative pids would signal groups or init: never accepted.
  if (!value.is_number_integer() || value.get<std::int64_t>() < 2 ||
      value.get<std::int64_t>() > INT_MAX)
    throw std::runtime_error(std::string("\"") + key + "\" is not a process id");
  return static_cast<pid_t>(value.get<std::int64_t>());
}

}  // namespace

std::string encodeTunnelJournal(const TunnelRecord& record) {
  json daemon = nullptr;
  if (record.daemonPath) {
    daemon = {{"path", *record.daemonPath},
              {"pid", record.daemonPid ? json(*record.daemonPid) : json(nullptr)}};
  }
  json out = {{"version", kFormatVersion},
              {"endpointIP", optionalText(record.endpointIP)},
              {"savedGateway", optionalText(record.savedGateway)},
              {"dnsBackup", record.dnsBackup},
              {"ipv6Disabled", record.ipv6Disabled},
              {"daemon", daemon},
              {"iface", optionalText(record.iface)}};
  // Only when there are any: a journal without them reads as before, also to older helpers.
  if (!record.searchDomainsBackup.empty()) out["searchDomainsBackup"] = record.searchDomainsBackup;
  if (!record.rejectRoutes.empty()) out["rejectRoutes"] = record.rejectRoutes;
  if (!record.serviceIdentities.empty()) out["serviceIdentities"] = record.serviceIdentities;
  return out.dump(2) + "\n";
}

TunnelRecord decodeTunnelJournal(std::string_view text) {
  json in;
  try {
    in = json::parse(text);
  } catch (const json::exception& error) {
    throw std::runtime_error(std::string("not JSON: ") + error.what());
  }
  if (!in.is_object()) throw std::runtime_error("not a JSON object");
  const json& version = member(in, "version");
  if (!version.is_number_integer() || version.get<std::int64_t>() != kFormatVersion)
    throw std::runtime_error("unknown version");

  TunnelRecord journal;
  journal.endpointIP = optionalTextMember(in, "endpointIP");
  journal.savedGateway = optionalTextMember(in, "savedGateway");
  journal.iface = optionalTextMember(in, "iface");

  journal.dnsBackup = textMapMember(member(in, "dnsBackup"), "dnsBackup");
  // Helpers before search domains wrote none.
  if (const auto domains = in.find("searchDomainsBackup"); domains != in.end())
    journal.searchDomainsBackup = textMapMember(*domains, "searchDomainsBackup");
  // Nor these, before backups followed a renamed service.
  if (const auto identities = in.find("serviceIdentities"); identities != in.end())
    journal.serviceIdentities = textMapMember(*identities, "serviceIdentities");

  const json& ipv6 = member(in, "ipv6Disabled");
  if (!ipv6.is_array()) throw std::runtime_error("\"ipv6Disabled\" is not a list");
  for (const json& service : ipv6) {
    if (!service.is_string()) throw std::runtime_error("an \"ipv6Disabled\" entry is not text");
    journal.ipv6Disabled.push_back(service.get<std::string>());
  }

  // Absent from the journals of helpers that added none.
  if (const auto reject = in.find("rejectRoutes"); reject != in.end()) {
    if (!reject->is_array()) throw std::runtime_error("\"rejectRoutes\" is not a list");
    for (const json& route : *reject) {
      // Each goes to the route tool as an argument: only a prefix may.
      if (!route.is_string() || !parseIPPrefix(route.get<std::string>()))
        throw std::runtime_error("a \"rejectRoutes\" entry is not an address prefix");
      journal.rejectRoutes.push_back(route.get<std::string>());
    }
  }

  const json& daemon = member(in, "daemon");
  if (!daemon.is_null()) {
    if (!daemon.is_object()) throw std::runtime_error("\"daemon\" is not an object");
    journal.daemonPath = optionalTextMember(daemon, "path");
    if (!journal.daemonPath) throw std::runtime_error("\"daemon\" has no path");
    journal.daemonPid = pidMember(daemon, "pid");
  }
  return journal;
}

void writeTunnelJournal(const std::string& path, const TunnelRecord& record,
                        bool directoryChecked) {
  std::string text = encodeTunnelJournal(record);
  if (!directoryChecked) ensurePrivateDirectory(std::filesystem::path(path).parent_path().string());
  replaceFileAtomically(path, text, kJournalMode);
}

void TunnelJournal::record(const TunnelRecord& record) {
  try {
    try {
      writeTunnelJournal(path_, record, directoryChecked_);
    } catch (const std::exception&) {
      if (!directoryChecked_) throw;
      // The directory may have gone since it was checked: once more, checking it.
      directoryChecked_ = false;
      writeTunnelJournal(path_, record);
    }
    // Checked once per tunnel, not at every record.
    directoryChecked_ = true;
  } catch (const std::exception& error) {
    // Every later record rewrites the whole journal, so the next write that
    // succeeds covers this one too; only the first failure is worth a line.
    if (failureLogged_) return;
    failureLogged_ = true;
    try {
      log_.error(std::string("не удалось записать журнал туннеля: ") + error.what());
    } catch (const std::exception&) {
    }
  }
}

void TunnelJournal::remove() {
  failureLogged_ = false;
  directoryChecked_ = false;
  if (removeFileIfPresent(path_)) return;
  log_.error("не удалось удалить журнал туннеля " + path_ + ": " + std::strerror(errno));
}

bool tunnelJournalPresent(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::lstat(path.c_str(), &info) == 0;
}

TunnelJournalRead readTunnelJournal(const std::string& path) {
  TunnelJournalRead result;
  PrivateFileRead file = readPrivateFile(path, kMaxJournalBytes);
  if (file.outcome == PrivateFileRead::absent) return result;
  result.outcome = TunnelJournalRead::bad;
  if (file.outcome == PrivateFileRead::refused) {
    result.problem = file.problem;
    return result;
  }
  try {
    result.journal = decodeTunnelJournal(file.contents);
  } catch (const std::exception& error) {
    result.problem = error.what();
    return result;
  }
  result.outcome = TunnelJournalRead::found;
  return result;
}

}  // namespace zorvik
