// What one step of the policy costs over N windows that have all been idle.
// Idle past the threshold, so every window is a candidate and the sort does its full work.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/window_activity_tracker.h"

namespace {

using namespace dozewick;

class SteppingClock final : public Clock {
 public:
  double value = 1'800'000'000.0;
  double now() const override { return value; }
};

void PolicyStep(benchmark::State& state) {
  const auto count = static_cast<std::uint32_t>(state.range(0));
  std::vector<WindowInfo> windows;
  windows.reserve(count);
  for (std::uint32_t id = 0; id < count; ++id) {
    windows.push_back(WindowInfo{0x0200'0000u + id * 7, static_cast<std::int32_t>(1000 + id % 97),
                                 "Application " + std::to_string(id % 97),
                                 "Document window title " + std::to_string(id)});
  }
  SteppingClock clock;
  WindowActivityTracker tracker(clock);
  // Enter the windows at many different times so that the candidates' durations differ.
  for (std::uint32_t id = 0; id < count; ++id) {
    clock.value += 0.001;
    tracker.updateActiveWindows({windows[id]}, std::nullopt);
  }
  clock.value += 3600.0;

  std::size_t chosen = 0;
  for (auto _ : state) {
    tracker.cleanupClosedWindows(windows);
    tracker.updateActiveWindows(windows, std::nullopt);
    const auto result = tracker.getWindowsToMinimize(3, 60.0, std::nullopt);
    chosen = result.size();
    benchmark::DoNotOptimize(result.data());
    clock.value += 1.0;
  }
  state.counters["chosen"] = static_cast<double>(chosen);
  state.SetComplexityN(state.range(0));
}

BENCHMARK(PolicyStep)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity();

}  // namespace

BENCHMARK_MAIN();
