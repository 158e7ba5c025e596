#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/append_file.h"
#include "platform/child_process.h"
#include "platform/daemon_process.h"
#include "platform/directory_watch.h"
#include "service/helper_service.h"
#include "service/readiness.h"

namespace zorvik {
namespace {

bool isExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

std::string joinedNames(const std::optional<std::vector<std::string>>& names) {
  if (!names) return "—";
  std::string out;
  for (const auto& name : *names) {
    if (!out.empty()) out += ", ";
    out += name;
  }
  return out;
}

}  // namespace

void HelperService::launchDaemon() {
  awaitEndedDaemon();
  const std::string nameFile = interfaceNameFile();
  std::error_code ignored;
  std::filesystem::remove(nameFile, ignored);

  const std::string& path = settings.daemonPath;
  if (!isExecutableFile(path)) throw Err("amneziawg-go не найден: " + path);
  logLine("запускаю " + path);

  SpawnRequest request;
  request.path = path;
  request.arguments = {"utun"};
  request.environment = environmentWith(
      {"WG_TUN_NAME_FILE=" + nameFile, "WG_PROCESS_FOREGROUND=1", "LOG_LEVEL=error"});
  // Kept open only until the child has its own copies.
  UniqueFd daemonLog = openAppendOnly(settings.daemonLogPath);
  if (daemonLog) {
    request.stdoutFd = daemonLog.get();
    request.stderrFd = daemonLog.get();
  }

  // On record before the spawn, so a helper that dies in between still knows
  // what it may have started.
  std::error_code noCanonicalPath;
  auto canonical = std::filesystem::canonical(path, noCanonicalPath);
  // As the system reports a process's executable: absolute, with no link on the way.
  tunnel.daemonPath = noCanonicalPath ? path : canonical.string();
  recordJournal();
  std::weak_ptr<HelperService> service = weak_from_this();
  daemons.running = DaemonProcess::launch(request, [service](const DaemonProcess& process) {
    auto alive = service.lock();
    if (!alive) return;
    alive->daemonTerminated(process);
    // Its tunnel is gone with it: brought down on the queue, where the state lives.
    alive->queue.async([service, ended = process.weak_from_this()] {
      if (auto stillAlive = service.lock()) stillAlive->daemonEnded(ended);
    });
  });
  tunnel.daemonPid = daemons.running->pid();
  recordJournal();
  daemonLog.reset();
  logLine("amneziawg-go pid=" + std::to_string(daemons.running->pid()));

  const auto name = waitForInterfaceName(daemons.runDirWatch(settings.runDir), nameFile,
                                         settings.interfaceNameWait, settings.pollInterval);
  if (!name) throw Err("amneziawg-go не создал utun");
  tunnel.iface = *name;
  recordJournal();
  logLine("utun=" + *name + "; ищу UAPI-сокет в " + settings.runDir);

  auto socket = waitForUAPISocket(settings.socketWait);
  if (!socket) {
    logLine("сокета нет. содержимое " + settings.runDir + ": [" +
            joinedNames(listDirectoryNames(settings.runDir)) +
            "]  amneziawg-go жив=" + (daemons.running->isRunning() ? "true" : "false"));
    throw Err("нет UAPI-сокета");
  }
  logLine("сокет готов: " + *socket);
  tunnel.sockPath = *socket;
}

std::optional<std::string> HelperService::waitForUAPISocket(std::chrono::milliseconds timeout) {
  // Only the socket named after our daemon's interface, and only once our daemon (or a child
  // of it) listens there: a socket of that name held by another process, a daemon still dying
  // from an earlier start included, must not get our key.
  const std::string own = interfaceSocketPath(settings.runDir, *tunnel.iface);
  const pid_t daemon = daemons.running->pid();
  std::optional<pid_t> foreignLogged;
  return waitForDirectoryEntry(
      daemons.runDirWatch(settings.runDir), timeout, settings.pollInterval,
      [&]() -> std::optional<std::string> {
        const auto listener = listeningProcess(own);
        if (!listener) return std::nullopt;
        if (isSameOrDescendant(*listener, daemon)) return own;
        if (foreignLogged != listener) {
          foreignLogged = listener;
          logLine("сокет " + own + " слушает чужой процесс pid=" + std::to_string(*listener) +
                  ", жду сокет amneziawg-go pid=" + std::to_string(daemon));
        }
        return std::nullopt;
      });
}

void HelperService::awaitEndedDaemon() {
  if (!daemons.ended) return;
  const auto ended = std::move(daemons.ended);
  // Its terminate was sent at the teardown and is followed by a kill at kKillAfter; a second
  // more covers the reap.
  if (!ended->waitUntilFinished(DaemonProcess::kKillAfter + std::chrono::seconds(1))) {
    logLine("прежний amneziawg-go pid=" + std::to_string(ended->pid()) +
            " не завершился, запускаю новый");
  }
}

void HelperService::daemonEnded(const std::weak_ptr<const DaemonProcess>& ended) {
  // Only the daemon of the tunnel that is up now; a teardown or a new start may have
  // come first, and then there is nothing left to undo.
  const auto process = ended.lock();
  if (!process || daemons.running.get() != process.get() || !tunnel.active) return;
  logLine("amneziawg-go завершился при поднятом туннеле, туннель опускается");
  tearDown();
}

void HelperService::daemonTerminated(const DaemonProcess& process) const {
  logLine("amneziawg-go завершился: код=" + std::to_string(process.terminationStatus()) +
          " reason=" + std::to_string(process.terminationReason()));
}

}  // namespace zorvik
