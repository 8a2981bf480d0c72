// The minimizing loop over KWin for a given time, as the program runs it (real clock, one check a
// second), for tools/measure-kwin-cost: prints its own CPU time and peak resident memory. Run
// inside a KWin session.
#include <sys/resource.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "core/clock.h"
#include "core/window_manager.h"
#include "platform/kwin/kwin_window_system.h"
#include "platform/qt_runtime.h"

namespace {

struct KWinTrust final : dozewick::TrustCheck {
  explicit KWinTrust(dozewick::KWinWindowSystem& windows) : windows(windows) {}
  void checkPermissionAsync(std::function<void(bool)> done) override { done(windows.trusted()); }
  dozewick::KWinWindowSystem& windows;
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
  QFile script(QStringLiteral(DOZEWICK_KWIN_SCRIPT));
  if (!script.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "cannot read the KWin script\n");
    return 1;
  }
  KWinWindowSystem::Options options;
  options.ownPid = static_cast<std::int32_t>(QCoreApplication::applicationPid());
  KWinWindowSystem windows(QDBusConnection::sessionBus(), QString::fromUtf8(script.readAll()),
                           QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR")), options);
  windows.start();
  KWinTrust trust(windows);
  SystemClock clock;
  QtRuntime runtime;
  const auto manager = WindowManager::create(clock, runtime, windows, trust);
  // As a user would, press Start once the script answers.
  QTimer startWhenTrusted;
  QObject::connect(&startWhenTrusted, &QTimer::timeout, [&] {
    if (manager->isRunning().get()) {
      startWhenTrusted.stop();
    } else if (windows.trusted()) {
      manager->start();
    }
  });
  startWhenTrusted.start(100);
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
  windows.stop();
  return 0;
}
