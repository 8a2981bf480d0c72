// What the minimizing loop itself costs over one backend, for the desktops' measurements.
// As the program runs it (real clock, one check a second, Start pressed as soon as the backend
// is ready), for a given time: prints its CPU time and peak resident memory. For
// tools/measure-kwin-cost and tools/measure-gnome-cost, run inside a session of that desktop.
//   loop_cost_bench kwin|gnome|x11 [SECONDS]
#include <sys/resource.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "core/clock.h"
#include "core/window_manager.h"
#include "platform/backend_factory.h"
#include "platform/qt_runtime.h"

namespace {

struct BackendTrust final : dozewick::TrustCheck {
  explicit BackendTrust(dozewick::Backend& backend) : backend(backend) {}
  void checkPermissionAsync(std::function<void(bool)> done) override {
    done(backend.canManageWindows());
  }
  dozewick::Backend& backend;
};

double cpuSeconds(const rusage& usage) {
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace dozewick;
  QCoreApplication app(argc, argv);
  const std::string_view name = argc > 1 ? argv[1] : "";
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 60;
  const auto choices = backendChoices();
  const auto choice = std::find_if(choices.begin(), choices.end(),
                                   [name](const BackendChoice& c) { return c.name == name; });
  if (choice == choices.end()) {
    std::fprintf(stderr, "usage: loop_cost_bench kwin|gnome|x11 [SECONDS]\n");
    return 2;
  }
  BackendContext context;
  context.ownPid = static_cast<std::int32_t>(QCoreApplication::applicationPid());
  context.diagnostics = &std::cerr;
  const auto backend = makeBackend(choice->kind, context);
  backend->start();
  BackendTrust trust(*backend);
  SystemClock clock;
  QtRuntime runtime;
  const auto manager = WindowManager::create(clock, runtime, backend->windowSystem(), trust);
  // As a user would, press Start once the backend is ready.
  QTimer startWhenReady;
  QObject::connect(&startWhenReady, &QTimer::timeout, [&] {
    if (manager->isRunning().get()) {
      startWhenReady.stop();
    } else if (backend->canManageWindows()) {
      manager->start();
    }
  });
  startWhenReady.start(100);
  rusage before{};
  QTimer::singleShot(5000, [&] { getrusage(RUSAGE_SELF, &before); });
  QTimer::singleShot((5 + seconds) * 1000, &app, &QCoreApplication::quit);
  app.exec();
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  std::printf("running=%d windows=%lld cpu_seconds=%.3f over=%d peak_rss_kb=%ld\n",
              manager->isRunning().get() ? 1 : 0,
              static_cast<long long>(manager->activeWindowCount().get()),
              cpuSeconds(after) - cpuSeconds(before), seconds, after.ru_maxrss);
  manager->stop();
  backend->stop();
  return 0;
}
