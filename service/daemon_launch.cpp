#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "base/unicode_space.h"
#include "platform/append_file.h"
#include "platform/directory_watch.h"
#include "service/daemon_process.h"
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
  proc = DaemonProcess::launch(request, [service](const DaemonProcess& process) {
    auto alive = service.lock();
    if (!alive) return;
    alive->daemonTerminated(process);
    // Its tunnel is gone with it: brought down on the queue, where the state lives.
    alive->queue.async([service, ended = process.weak_from_this()] {
      if (auto stillAlive = service.lock()) stillAlive->daemonEnded(ended);
    });
  });
  tunnel.daemonPid = proc->pid();
  recordJournal();
  daemonLog.reset();
  logLine("amneziawg-go pid=" + std::to_string(proc->pid()));

  // Kept for the service's life: letting an inotify instance go costs the queue some 15 ms.
  if (!runDirWatch) runDirWatch = std::make_unique<DirectoryWatch>(runDir);
  auto nameText =
      waitForFileText(*runDirWatch, nameFile, settings.interfaceNameWait, settings.pollInterval);
  if (!nameText) throw Err("amneziawg-go не создал utun");
  std::string name(trimSpacesTabsAndLineBreaks(*nameText));
  if (name.empty()) throw Err("amneziawg-go не создал utun");
  tunnel.iface = name;
  recordJournal();
  logLine("utun=" + name + "; ищу UAPI-сокет в " + runDir);

  auto socket = waitForUAPISocket(settings.socketWait);
  if (!socket) {
    logLine("сокета нет. содержимое " + runDir + ": [" + joinedNames(listDirectoryNames(runDir)) +
            "]  amneziawg-go жив=" + (proc->isRunning() ? "true" : "false"));
    throw Err("нет UAPI-сокета");
  }
  logLine("сокет готов: " + *socket);
  tunnel.sockPath = *socket;
}

std::optional<std::string> HelperService::waitForUAPISocket(
    std::chrono::milliseconds timeout) const {
  // Only the socket named after our daemon's interface, and only once it listens: any other
  // socket here belongs to another daemon, live or dead, and must not get our key.
  const std::string own = runDir + "/" + *tunnel.iface + ".sock";
  return waitForDirectoryEntry(*runDirWatch, timeout, settings.pollInterval,
                               [&own]() -> std::optional<std::string> {
                                 if (!acceptsConnection(own)) return std::nullopt;
                                 return own;
                               });
}

void HelperService::daemonEnded(const std::weak_ptr<const DaemonProcess>& ended) {
  // Only the daemon of the tunnel that is up now; a teardown or a new start may have
  // come first, and then there is nothing left to undo.
  const auto process = ended.lock();
  if (!process || proc.get() != process.get() || !tunnel.active) return;
  logLine("amneziawg-go завершился при поднятом туннеле, туннель опускается");
  tearDown();
}

void HelperService::daemonTerminated(const DaemonProcess& process) const {
  logLine("amneziawg-go завершился: код=" + std::to_string(process.terminationStatus()) +
          " reason=" + std::to_string(process.terminationReason()));
}

}  // namespace zorvik
