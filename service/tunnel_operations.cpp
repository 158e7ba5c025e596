#include <chrono>
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
    watchHandshake();
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
    answer(reply, false, std::uint64_t{0}, std::uint64_t{0}, std::optional<std::uint64_t>());
    return;
  }
  // Off the queue: a daemon that does not answer holds up neither the queue nor the status
  // requests behind this one, which share this exchange's answer.
  std::weak_ptr<HelperService> service = weak_from_this();
  statusExchange.join(
      [socketPath = tunnel.sockPath, timeout = settings.uapiTimeout] {
        return uapiDaemonCounters(socketPath, timeout);
      },
      [reply, service, serial = handshake.serial()](const DaemonCounters& counters) {
        answer(reply, true, counters.received, counters.sent,
               handshakeAgeSeconds(counters, std::chrono::system_clock::now()));
        // A reading the handshake watch may use as well: back on the queue, where it lives.
        if (auto alive = service.lock()) {
          alive->queue.async([service, serial, counters] {
            if (auto stillAlive = service.lock())
              stillAlive->noteHandshake(serial, counters, false);
          });
        }
      });
}

void HelperService::watchHandshake() {
  const auto serial = handshake.restart(std::chrono::steady_clock::now(), settings.handshakeGrace);
  std::weak_ptr<HelperService> service = weak_from_this();
  // A timer on the queue, not a thread: the look is due once, and again only while the
  // server has not answered.
  queue.asyncAfter(settings.handshakeGrace, [service, serial] {
    if (auto alive = service.lock()) alive->checkHandshake(serial);
  });
}

void HelperService::checkHandshake(std::uint64_t serial) {
  if (serial != handshake.serial() || !tunnel.active || handshake.settled()) return;
  std::weak_ptr<HelperService> service = weak_from_this();
  statusExchange.join(
      [socketPath = tunnel.sockPath, timeout = settings.uapiTimeout] {
        return uapiDaemonCounters(socketPath, timeout);
      },
      [service, serial](const DaemonCounters& counters) {
        if (auto alive = service.lock()) {
          alive->queue.async([service, serial, counters] {
            if (auto stillAlive = service.lock()) stillAlive->noteHandshake(serial, counters, true);
          });
        }
      });
}

void HelperService::noteHandshake(std::uint64_t serial, const DaemonCounters& counters,
                                  bool fromCheck) {
  if (serial != handshake.serial() || !tunnel.active) return;
  // A daemon that did not answer says nothing about the server.
  if (counters.answered) {
    switch (
        handshake.observe(std::chrono::steady_clock::now(), counters.lastHandshake.has_value())) {
      case HandshakeWatch::News::missing:
        logLine(
            "нет рукопожатия с сервером " +
            std::to_string(
                std::chrono::duration_cast<std::chrono::seconds>(settings.handshakeGrace).count()) +
            " с после старта");
        break;
      case HandshakeWatch::News::arrived:
        logLine("рукопожатие с сервером есть");
        break;
      case HandshakeWatch::News::none:
        break;
    }
  }
  if (!fromCheck || handshake.settled()) return;
  std::weak_ptr<HelperService> service = weak_from_this();
  queue.asyncAfter(settings.handshakeGrace, [service, serial] {
    if (auto alive = service.lock()) alive->checkHandshake(serial);
  });
}

void HelperService::watchNetwork(const TunnelConfig& config) {
  std::weak_ptr<HelperService> service = weak_from_this();
  follower.watchNetwork(config, *tunnel.iface, [service](bool tunnelTouched) {
    // The watch's thread only hands the change on; the state lives on the queue.
    if (auto alive = service.lock()) {
      alive->queue.async([service, tunnelTouched] {
        auto stillAlive = service.lock();
        if (!stillAlive) return;
        const auto lost = stillAlive->follower.networkChanged(stillAlive->tunnel, tunnelTouched);
        if (!lost) return;
        // Status says down from here on: a tunnel without its interface or routes is none.
        stillAlive->logLine(*lost + ", туннель опущен");
        stillAlive->tearDown();
      });
    }
  });
}

}  // namespace zorvik
