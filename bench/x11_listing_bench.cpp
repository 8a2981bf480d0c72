// What a check costs the X11 backend, and a first listing beside wmctrl.
// One check (listing and frontmost application) with nothing changed on the desktop, at 10, 100
// and 1,000 windows; a first listing on a new connection at 10, 100 and 500 windows, with its
// round trips, beside `wmctrl -lp` as a whole process; and one check while a client has set a
// client list of 65,536 ids. Needs an X session: run it through tools/x-session.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <thread>

#ifndef DOZEWICK_X_TEST_CLIENT
#define DOZEWICK_X_TEST_CLIENT ""
#endif

#include "platform/x11/x11_backend.h"
#include "support/child_processes.h"

extern char** environ;

namespace dozewick {
namespace {

// The windows of the current size; the windows of another size are closed first.
bool prepareWindows(benchmark::State& state) {
  static std::unique_ptr<testing::XTestClient> client;
  static std::int64_t open = -1;
  if (std::getenv("DISPLAY") == nullptr || !X11Backend({}).canManageWindows()) {
    state.SkipWithError("needs an X session with an EWMH window manager (tools/x-session)");
    return false;
  }
  if (std::string(DOZEWICK_X_TEST_CLIENT).empty()) {
    state.SkipWithError("built without the test client");
    return false;
  }
  if (open != state.range(0)) {
    client.reset();
    client = std::make_unique<testing::XTestClient>();
    // In batches, each shown within the client's time limit also on a busy machine.
    for (std::int64_t left = state.range(0); left > 0; left -= 100) {
      client->send("many\t" + std::to_string(std::min<std::int64_t>(left, 100)) + "\tbench window");
    }
    open = state.range(0);
  }
  return true;
}

void listingCounters(benchmark::State& state, std::size_t listed, std::uint64_t roundTrips) {
  state.counters["windows"] = static_cast<double>(listed);
  state.counters["round_trips"] =
      benchmark::Counter(static_cast<double>(roundTrips), benchmark::Counter::kAvgIterations);
}

// What the loop asks once a second when nothing has changed since: the model answers, the
// server is not asked (the requests counter says so).
// Until the window manager has done with the new windows: no event for half a second.
void settle(X11Desktop& desktop) {
  for (std::uint64_t before = ~std::uint64_t{0}; before != desktop.requests();) {
    before = desktop.requests();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    desktop.refresh();
  }
}

// As the program has it: the desktop model over the X11 desktop.
struct Listing {
  X11Desktop desktop;
  WindowSystem& windows = desktop.model();
};

void BM_CheckWithNothingChanged(benchmark::State& state) {
  if (!prepareWindows(state)) {
    return;
  }
  Listing listing;
  std::size_t listed = 0;
  settle(listing.desktop);
  const std::uint64_t before = listing.desktop.requests();
  for (auto _ : state) {
    auto entries = listing.windows.onScreenWindowEntries();
    benchmark::DoNotOptimize(listing.windows.frontmostApplicationPID());
    listed = entries ? entries->size() : 0;
  }
  state.counters["windows"] = static_cast<double>(listed);
  state.counters["requests"] = static_cast<double>(listing.desktop.requests() - before);
}

// The same without handing the listing over: the events taken and the model kept up to date.
void BM_UpdateWithNothingChanged(benchmark::State& state) {
  if (!prepareWindows(state)) {
    return;
  }
  Listing listing;
  settle(listing.desktop);
  const std::uint64_t before = listing.desktop.requests();
  for (auto _ : state) {
    benchmark::DoNotOptimize(listing.desktop.refresh());
  }
  state.counters["requests"] = static_cast<double>(listing.desktop.requests() - before);
}

// Connecting, interning the atoms and listing once: what a fresh process would do.
void BM_ListingNewConnection(benchmark::State& state) {
  if (!prepareWindows(state)) {
    return;
  }
  std::size_t listed = 0;
  std::uint64_t roundTrips = 0;
  for (auto _ : state) {
    Listing listing;
    auto entries = listing.windows.onScreenWindowEntries();
    benchmark::DoNotOptimize(entries);
    listed = entries ? entries->size() : 0;
    roundTrips += listing.desktop.roundTrips();
  }
  listingCounters(state, listed, roundTrips);
}

void BM_WmctrlProcess(benchmark::State& state) {
  if (!prepareWindows(state)) {
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  char wmctrl[] = "wmctrl";
  char list[] = "-lp";
  char* argv[] = {wmctrl, list, nullptr};
  for (auto _ : state) {
    pid_t pid = 0;
    if (posix_spawnp(&pid, "wmctrl", &actions, nullptr, argv, environ) != 0) {
      state.SkipWithError("wmctrl is not installed");
      break;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("wmctrl failed");
      break;
    }
  }
  posix_spawn_file_actions_destroy(&actions);
}

// What the loop does once a second, while a misbehaving client's list of 65,536 ids (the 10 real
// windows on top) stands on the root window. The window manager lists anew at its next change.
void BM_CheckWithHugeClientList(benchmark::State& state) {
  if (!prepareWindows(state)) {
    return;
  }
  Listing listing;
  WindowSystem& windows = listing.windows;
  const auto entries = windows.onScreenWindowEntries();
  const auto& fed = listing.desktop.model().windows();
  if (!entries || entries->size() < 10 || fed.size() < 10) {
    state.SkipWithError("the windows are not listed");
    return;
  }
  std::string ids;
  for (std::uint32_t i = 0; i < 65536 - 10; ++i) {
    ids += testing::hexList({0x1FFFFFu - i});
  }
  for (auto it = fed.rbegin(); it != fed.rbegin() + 10; ++it) {
    ids += testing::hexList({static_cast<std::uint32_t>(it->id)});
  }
  testing::XTestClient planter;
  planter.send("setprop\troot\t_NET_CLIENT_LIST_STACKING\tWINDOW\t32\t" + ids);
  std::size_t listed = 0;
  const std::uint64_t before = listing.desktop.roundTrips();
  for (auto _ : state) {
    auto listing = windows.onScreenWindowEntries();
    benchmark::DoNotOptimize(windows.frontmostApplicationPID());
    listed = listing ? listing->size() : 0;
  }
  listingCounters(state, listed, listing.desktop.roundTrips() - before);
}

void sizes(benchmark::internal::Benchmark* benchmark) {
  benchmark->Arg(10)->Arg(100)->Arg(500)->Unit(benchmark::kMicrosecond)->UseRealTime();
}

BENCHMARK(BM_CheckWithNothingChanged)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UpdateWithNothingChanged)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ListingNewConnection)->Apply(sizes);
BENCHMARK(BM_WmctrlProcess)->Apply(sizes);
BENCHMARK(BM_CheckWithHugeClientList)->Arg(10)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
}  // namespace dozewick

BENCHMARK_MAIN();
