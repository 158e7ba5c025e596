// The testbed benchmark's client: requests on one connection to the helper, timed from this side.
// The testbed installs it in the place of zorvikctl, so the helper admits it.
//   zorvik_bench_client SOCKET start FILE | stop | status COUNT | version COUNT
// start and stop print "<what> <sent> <answered> <ok>" with wall-clock seconds, to line up with the
// stand-ins' own timestamps; status and version print "<what> <p50> <p99> <min> <max>" in µs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/ctl_connection.h"
#include "wire/wire_format.h"

namespace zorvik {
namespace {

using namespace std::chrono_literals;

double wallSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

class Connection {
 public:
  explicit Connection(const std::string& socketPath)
      : socket_(ctl::connectToHelper(socketPath)), reader_(socket_.get()) {}

  Json request(const Json& object) {
    ctl::sendAll(socket_.get(), jsonLine(object) + "\n");
    std::string line;
    // A start with 1000 ranges runs 1000 tools, more than 30 s on a loaded machine.
    if (reader_.readLine(line, 180s) != ctl::LineReader::Result::line)
      throw std::runtime_error("no reply within 180 s to " +
                               object.value("method", std::string("?")));
    return Json::parse(line);
  }

 private:
  UniqueFd socket_;
  ctl::LineReader reader_;
};

int timedResult(Connection& helper, const char* what, const Json& request) {
  const double sent = wallSeconds();
  const Json reply = helper.request(request);
  const double answered = wallSeconds();
  const bool ok = reply.value("ok", false);
  std::printf("%s %.6f %.6f %d\n", what, sent, answered, ok ? 1 : 0);
  if (!ok) std::fprintf(stderr, "zorvik_bench_client: %s\n", reply.dump().c_str());
  return ok ? 0 : 1;
}

int roundTrips(Connection& helper, const char* what, const char* answerKey, const Json& request,
               int count) {
  std::vector<double> micros;
  for (int i = 0; i < count; ++i) {
    const auto sent = std::chrono::steady_clock::now();
    const Json reply = helper.request(request);
    if (!reply.contains(answerKey)) throw std::runtime_error("unexpected reply " + reply.dump());
    micros.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - sent).count());
  }
  std::sort(micros.begin(), micros.end());
  const auto at = [&](double fraction) {
    return micros[static_cast<std::size_t>(fraction * static_cast<double>(micros.size() - 1))];
  };
  std::printf("%s %.1f %.1f %.1f %.1f\n", what, at(0.5), at(0.99), micros.front(), micros.back());
  return 0;
}

int run(const std::vector<std::string>& args) {
  Connection helper(args.at(0));
  const std::string& what = args.at(1);
  if (what == "start" && args.size() == 3) {
    std::ifstream in(args[2], std::ios::binary);
    std::stringstream config;
    config << in.rdbuf();
    return timedResult(helper, "start",
                       {{"id", 1}, {"method", "startTunnel"}, {"config", config.str()}});
  }
  if (what == "stop" && args.size() == 2)
    return timedResult(helper, "stop", {{"id", 1}, {"method", "stopTunnel"}});
  if ((what == "status" || what == "version") && args.size() == 3) {
    const int count = std::max(1, std::stoi(args[2]));
    const bool status = what == "status";
    return roundTrips(helper, what.c_str(), status ? "active" : "version",
                      {{"id", 1}, {"method", status ? "status" : "getVersion"}}, count);
  }
  throw std::invalid_argument(
      "usage: zorvik_bench_client SOCKET start FILE | stop | status N | version N");
}

}  // namespace
}  // namespace zorvik

int main(int argc, char** argv) {
  try {
    if (argc < 3)
      throw std::invalid_argument(
          "usage: zorvik_bench_client SOCKET start FILE | stop | status N | version N");
    return zorvik::run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zorvik_bench_client: %s\n", e.what());
    return 2;
  }
}
