#include <exception>
#include <optional>

#include "config/uapi_client.h"
#include "service/helper_service.h"

namespace zorvik {
namespace {

// The reply belongs to the front; whatever it throws must neither reach the
// queue nor lead to a second reply.
template <typename Reply, typename... Args>
void answer(const Reply& reply, Args&&... args) {
  try {
    reply(std::forward<Args>(args)...);
  } catch (...) {
  }
}

}  // namespace

void HelperService::startTunnel(std::string config, ResultReply reply) {
  queue.async([self = shared_from_this(), config = std::move(config), reply = std::move(reply)] {
    self->startOperation(config, reply);
  });
}

void HelperService::stopTunnel(ResultReply reply) {
  queue.async(
      [self = shared_from_this(), reply = std::move(reply)] { self->stopOperation(reply); });
}

void HelperService::status(StatusReply reply) {
  queue.async(
      [self = shared_from_this(), reply = std::move(reply)] { self->statusOperation(reply); });
}

void HelperService::startOperation(const std::string& configText, const ResultReply& reply) {
  // A status asked before this start is answered before it, from the daemon it asked.
  statusExchange.waitUntilIdle();
  std::optional<std::string> failure;
  try {
    TunnelConfig config = parseTunnelConfig(configText);
    if (tunnel.active) tearDown();
    bringUp(config);
    tunnel.active = true;
    watchNetwork(config);
  } catch (const std::exception& e) {
    failure = e.what();
  }
  if (!failure) {
    answer(reply, true, std::nullopt);
    return;
  }
  tearDown();
  log.error("startTunnel: " + *failure);
  answer(reply, false, failure);
}

void HelperService::stopOperation(const ResultReply& reply) {
  statusExchange.waitUntilIdle();
  tearDown();
  answer(reply, true, std::nullopt);
}

void HelperService::statusOperation(const StatusReply& reply) {
  if (!tunnel.active || !tunnel.iface) {
    answer(reply, false, std::uint64_t{0}, std::uint64_t{0});
    return;
  }
  // Off the queue: a daemon that does not answer holds up neither the queue nor the status
  // requests behind this one, which share this exchange's answer.
  statusExchange.join(
      [socketPath = tunnel.sockPath, timeout = settings.uapiTimeout] {
        return uapiTransferTotals(socketPath, timeout);
      },
      [reply](StatusExchange::Totals totals) { answer(reply, true, totals.first, totals.second); });
}

void HelperService::watchNetwork(const TunnelConfig& config) {
  std::weak_ptr<HelperService> service = weak_from_this();
  follower.watchNetwork(config, *tunnel.iface, [service] {
    // The watch's thread only hands the change on; the state lives on the queue.
    if (auto alive = service.lock()) {
      alive->queue.async([service] {
        auto stillAlive = service.lock();
        if (!stillAlive) return;
        const auto lost = stillAlive->follower.networkChanged(stillAlive->tunnel);
        if (!lost) return;
        // Status says down from here on: a tunnel without its interface or routes is none.
        stillAlive->logLine(*lost + ", туннель опущен");
        stillAlive->tearDown();
      });
    }
  });
}

}  // namespace zorvik
