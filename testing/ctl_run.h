#pragma once

// Runs a zorvikctl executable from a test and collects what it prints.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "base/unique_fd.h"
#include "platform/child_process.h"
#include "testing/pipe.h"

namespace zorvik::test_support {

/// The zorvikctl of this build.
inline const std::string kZorvikctl = std::string(ZORVIK_BUILD_DIR) + "/zorvikctl";

/// Collects everything a descriptor yields until end of file, on its own thread.
class OutputCollector {
 public:
  explicit OutputCollector(UniqueFd fd) : fd_(std::move(fd)), thread_([this] { run(); }) {}
  ~OutputCollector() {
    if (thread_.joinable()) thread_.join();
  }
  std::string textSoFar() const {
    std::lock_guard lock(mutex_);
    return text_;
  }
  /// Everything, once the writer has closed its end.
  std::string take() {
    thread_.join();
    return text_;
  }

 private:
  void run() {
    char chunk[4096];
    for (;;) {
      const ssize_t got = ::read(fd_.get(), chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return;
      std::lock_guard lock(mutex_);
      text_.append(chunk, static_cast<std::size_t>(got));
    }
  }
  UniqueFd fd_;
  mutable std::mutex mutex_;
  std::string text_;
  std::thread thread_;
};

struct CtlResult {
  int exitCode;
  std::string out;
  std::string err;
  bool operator==(const CtlResult&) const = default;
};

inline std::ostream& operator<<(std::ostream& stream, const CtlResult& result) {
  return stream << "exit " << result.exitCode << ", out \"" << result.out << "\", err \""
                << result.err << "\"";
}

/// One run of a zorvikctl executable, started by the constructor.
class CtlRun {
 public:
  CtlRun(const std::string& program, std::vector<std::string> arguments,
         const std::string& input = "") {
    auto [inRead, inWrite] = makePipe();
    auto [outRead, outWrite] = makePipe();
    auto [errRead, errWrite] = makePipe();
    pid_ = spawnProcess({program, std::move(arguments), std::nullopt, inRead.get(), outWrite.get(),
                         errWrite.get()});
    out_.emplace(std::move(outRead));
    err_.emplace(std::move(errRead));
    // Our ends close on return, so the child sees the end of its input.
    if (!input.empty() && ::write(inWrite.get(), input.data(), input.size()) < 0) {
      ADD_FAILURE() << "cannot write the client's input";
    }
  }
  ~CtlRun() {
    if (pid_ > 0) finish();
  }

  std::string errSoFar() const { return err_->textSoFar(); }

  CtlResult finish() {
    const auto status = reapChild(pid_);
    pid_ = -1;
    const int exitCode = status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
    return {exitCode, out_->take(), err_->take()};
  }

 private:
  pid_t pid_ = -1;
  std::optional<OutputCollector> out_, err_;
};

inline CtlResult runCtl(const std::vector<std::string>& arguments, const std::string& input = "",
                        const std::string& program = kZorvikctl) {
  return CtlRun(program, arguments, input).finish();
}

}  // namespace zorvik::test_support
