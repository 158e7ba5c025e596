#include "platform/route_watch.h"

#include <net/if.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>

#include "platform/child_process.h"

namespace zorvik {
namespace {

// An interface's name and state as the system shows them now.
std::optional<LinkStates::Link> currentLink(unsigned index) {
  char name[IF_NAMESIZE] = {};
  if (::if_indextoname(index, name) == nullptr) return std::nullopt;
  LinkStates::Link link{name, false};
  UniqueFd probe(::socket(AF_INET, SOCK_DGRAM, 0));
  ifreq request{};
  static_assert(sizeof request.ifr_name == sizeof name);
  std::memcpy(request.ifr_name, name, sizeof name);
  if (probe && ::ioctl(probe.get(), SIOCGIFFLAGS, &request) == 0) {
    const int both = IFF_UP | IFF_RUNNING;
    link.upAndRunning = (request.ifr_flags & both) == both;
  }
  return link;
}

// Shared with the thread, so a watch dropped from inside its own callback
// leaves the thread a valid state to finish with.
struct WatchState {
  UniqueFd socket;
  PipeEnds wake;
  RouteWatch::Changed changed;
  std::optional<LinkStates> links;
};

class RoutingSocketWatch final : public RouteWatch {
 public:
  RoutingSocketWatch(RouteWatch::Changed changed, const std::string& tunnelInterface) {
    auto state = std::make_shared<WatchState>();
    state->socket = openRouteSocket();
    auto wake = makeCloexecPipe();
    if (!wake) throw std::system_error(errno, std::generic_category(), "pipe");
    state->wake = std::move(*wake);
    state->changed = std::move(changed);
    state->links.emplace(::if_nametoindex(tunnelInterface.c_str()), currentLink);
    wakeEnd_ = state->wake.writeEnd.get();
    thread_ = std::thread([state] { run(*state); });
    state_ = std::move(state);
  }

  ~RoutingSocketWatch() override {
    const char stop = 0;
    // Only this byte is ever written to the pipe, so the write neither blocks nor
    // fails; a thread that ended on its own is joined at once all the same.
    [[maybe_unused]] const auto written = ::write(wakeEnd_, &stop, 1);
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();
    } else {
      thread_.join();
    }
  }

 private:
  static void run(WatchState& state) {
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> due;
    for (;;) {
      int timeout = -1;
      if (due) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*due - Clock::now());
        timeout = static_cast<int>(std::max<long long>(left.count(), 0));
      }
      pollfd entries[2] = {{state.wake.readEnd.get(), POLLIN, 0}, {state.socket.get(), POLLIN, 0}};
      const int ready = ::poll(entries, 2, timeout);
      if (ready < 0 && errno != EINTR) return;
      if (ready > 0 && entries[0].revents != 0) return;
      if (ready > 0 && entries[1].revents != 0) {
        const Read read = readRouteChanges(state.socket.get(), *state.links);
        // A socket that fails for good ends the watching rather than spinning.
        if (read == Read::broken) return;
        if (read == Read::changed && !due) due = Clock::now() + kCoalesce;
      }
      if (due && Clock::now() >= *due) {
        due.reset();
        try {
          state.changed(state.links->takeTunnelTouched());
        } catch (...) {
          // The caller reports its own failures; the watching goes on.
        }
      }
    }
  }

  int wakeEnd_ = -1;
  std::shared_ptr<WatchState> state_;
  std::thread thread_;
};

}  // namespace

RouteWatch::Read RouteWatch::readRouteChanges(int socket, LinkStates& links) {
  unsigned char buffer[16384];
  Read result = Read::nothing;
  for (;;) {
    const ssize_t got = ::recv(socket, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return result;
      // Messages were dropped: whatever they said, look again.
      if (errno == ENOBUFS) {
        links.routeDeleted(0);
        result = Read::changed;
        continue;
      }
      return Read::broken;
    }
    if (got == 0) return Read::broken;
    if (holdsChange(buffer, static_cast<std::size_t>(got), links)) result = Read::changed;
  }
}

std::unique_ptr<RouteWatch> RouteWatch::start(Changed changed, const std::string& tunnelInterface) {
  return std::make_unique<RoutingSocketWatch>(std::move(changed), tunnelInterface);
}

}  // namespace zorvik
