#pragma once

#include <memory>

#include "service/helper_service.h"

namespace zorvik {

/// Sets what the shared service is built with; call once at start-up, before
/// the first connection can be admitted.
void configureSharedService(HelperSettings settings);

/// The process's one service object: created by the first call (safe when two
/// first connections race), the same object for every caller, never released.
std::shared_ptr<HelperService> sharedService();

}  // namespace zorvik
