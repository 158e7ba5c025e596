#include "service/helper_settings.h"

#include <filesystem>

namespace zorvik {

std::string daemonPathFor(const std::string& helperPath) {
  const std::filesystem::path helper(helperPath);
  if (!helper.is_absolute()) return {};
  return (helper.parent_path() / "amneziawg-go").string();
}

}  // namespace zorvik
