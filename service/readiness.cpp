#include "service/readiness.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/utf8.h"

namespace zorvik {
namespace {

using Clock = std::chrono::steady_clock;

std::optional<std::string> readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream out;
  out << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(out).str();
}

bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

std::optional<std::string> waitForFileText(const std::string& path,
                                           std::chrono::milliseconds timeout,
                                           std::chrono::milliseconds pollInterval) {
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    auto text = readWholeFile(path);
    if (text && !text->empty() && toValidUTF8(*text) == *text) return text;
    std::this_thread::sleep_for(pollInterval);
  }
  return std::nullopt;
}

std::optional<std::vector<std::string>> listDirectoryNames(const std::string& directory) {
  std::error_code error;
  std::filesystem::directory_iterator it(directory, error);
  if (error) return std::nullopt;
  std::vector<std::string> names;
  for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  if (error) return std::nullopt;
  return names;
}

std::optional<std::string> pickUAPISocketName(const std::vector<std::string>& names,
                                              const std::optional<std::string>& iface) {
  if (iface) {
    const std::string own = *iface + ".sock";
    for (const auto& name : names) {
      if (name == own) return name;
    }
  }
  for (const auto& name : names) {
    if (endsWith(name, ".sock")) return name;
  }
  return std::nullopt;
}

}  // namespace zorvik
