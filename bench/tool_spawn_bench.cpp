// One tool run through the runner, as every route, ifconfig and networksetup call is made:
// spawn, wait, and for the captured form the read of its output.
#include <benchmark/benchmark.h>

#include <stdexcept>

#include "netsys/command_runner.h"

namespace zorvik {
namespace {

void BM_RunTool(benchmark::State& state) {
  for (auto _ : state) {
    if (runTool("/bin/true", {}) != 0) {
      state.SkipWithError("/bin/true did not exit 0");
      break;
    }
  }
}
BENCHMARK(BM_RunTool)->UseRealTime();

void BM_RunToolCapturingOutput(benchmark::State& state) {
  for (auto _ : state) {
    const auto output = runToolCapturingOutput("/bin/echo", {"gateway: 192.168.1.1"});
    if (!output) {
      state.SkipWithError("/bin/echo could not run");
      break;
    }
  }
}
BENCHMARK(BM_RunToolCapturingOutput)->UseRealTime();

}  // namespace
}  // namespace zorvik

BENCHMARK_MAIN();
