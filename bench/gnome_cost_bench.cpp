// The minimizing loop over GNOME Shell for a given time, as the program runs it (real clock, one
// check a second), for tools/measure-gnome-cost: prints its own CPU time and peak resident
// memory. Run inside a GNOME Shell session that has Dozewick's extension.
#include <sys/resource.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "core/clock.h"
#include "core/window_manager.h"
#include "platform/gnome/gnome_window_system.h"
#include "platform/qt_runtime.h"

namespace {

struct GnomeTrust final : dozewick::TrustCheck {
  explicit GnomeTrust(dozewick::GnomeWindowSystem& windows) : windows(windows) {}
  void checkPermissionAsync(std::function<void(bool)> done) override { done(windows.trusted()); }
  dozewick::GnomeWindowSystem& windows;
};

double cpuSeconds(const rusage& usage) {
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace dozewick;
  QCoreApplication app(argc, argv);
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  GnomeWindowSystem windows(
      QDBusConnection::sessionBus(),
      {.ownPid = static_cast<std::int32_t>(QCoreApplication::applicationPid())});
  GnomeTrust trust(windows);
  SystemClock clock;
  QtRuntime runtime;
  const auto manager = WindowManager::create(clock, runtime, windows, trust);
  QTimer::singleShot(3000, [&] { manager->start(); });
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
  return 0;
}
