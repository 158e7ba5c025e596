#include "front/stop_on_signal.h"

#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "front/log_messages.h"

namespace zorvik {

void stopOnSignal(int signal, const SystemLog& daemonLog,
                  const std::function<std::shared_ptr<HelperService>()>& service,
                  std::function<void(int status)> exitProcess) {
  try {
    daemonLog.info(kStopSignalReceived + std::to_string(signal));
    // Queued like a client's stop, so the requests before it are answered first, and no start
    // queued after it runs: the process ends in its reply.
    service()->stopTunnel(
        [exitProcess](bool, std::optional<std::string>) { exitProcess(EXIT_SUCCESS); });
  } catch (const std::exception&) {
    exitProcess(EXIT_FAILURE);
  }
}

}  // namespace zorvik
