#include "service/helper_settings.h"

#include <filesystem>

namespace zorvik {

std::string daemonPathFor(const std::string& argumentZero) {
  return (std::filesystem::path(argumentZero).parent_path() / "amneziawg-go").string();
}

}  // namespace zorvik
