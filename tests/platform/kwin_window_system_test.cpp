// The KWin window system against a headless KWin on Wayland (run inside tools/kwin-session),
// with Qt programs on Wayland as the applications.
#include "platform/kwin/kwin_window_system.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>

#include "core/window_rules.h"
#include "support/accessibility.h"
#include "support/qt_application.h"
#include "support/wayland_client.h"

namespace dozewick {
namespace {

using namespace std::chrono_literals;
using testing::eventually;
using testing::minimizedNow;
using testing::owned;
using testing::visible;
using testing::WaylandClient;

const auto* const application = testing::addQtApplication<QCoreApplication>();

QDBusMessage callKWin(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments = {}) {
  auto call =
      QDBusMessage::createMethodCall(QStringLiteral("org.kde.KWin"), path, interface, method);
  call.setArguments(arguments);
  return QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
}

bool scriptLoaded(const QString& plugin) {
  return callKWin(QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"),
                  QStringLiteral("isScriptLoaded"), {plugin})
      .arguments()
      .value(0)
      .toBool();
}

// Runs a few lines of script in KWin, as a user's action would: activating a window, switching
// desktops.
void inKWin(const QString& code) {
  static int count = 0;
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("driver.js"));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(("var all = typeof workspace.windowList === 'function' ? workspace.windowList() : "
              "workspace.clientList();\n"
              "function byTitle(t) { for (var i = 0; i < all.length; ++i) "
              "if (String(all[i].caption) === t) return all[i]; return null; }\n" +
              code)
                 .toUtf8());
  file.close();
  const QString plugin = QStringLiteral("dozewick-test-driver-%1").arg(++count);
  const QDBusMessage loaded =
      callKWin(QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"),
               QStringLiteral("loadScript"), {path, plugin});
  ASSERT_EQ(loaded.type(), QDBusMessage::ReplyMessage) << loaded.errorMessage().toStdString();
  const int id = loaded.arguments().value(0).toInt();
  if (callKWin(QStringLiteral("/Scripting/Script%1").arg(id), QStringLiteral("org.kde.kwin.Script"),
               QStringLiteral("run"))
          .type() != QDBusMessage::ReplyMessage) {
    callKWin(QStringLiteral("/%1").arg(id), QStringLiteral("org.kde.kwin.Script"),
             QStringLiteral("run"));
  }
  callKWin(QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"),
           QStringLiteral("unloadScript"), {plugin});
}

void activate(const QString& title) {
  inKWin(QStringLiteral("var w = byTitle('%1'); if (typeof workspace.windowList === 'function') "
                        "workspace.activeWindow = w; else workspace.activeClient = w;")
             .arg(title));
}

// Plasma 6's names over KWin 5.27's (windowList, activeWindow, windowAdded, windowActivated, a
// window's desktops), so that the script's Plasma 6 branches run here. Plasma 6 lists desktops
// as objects, this stand-in as numbers. It has none of 5.27's names, so only those branches can
// work.
const char* const kPlasma6Names = R"(
var workspace = (function (kwin) {
  function window(w) {
    return w && new Proxy(w, {
      get: function (t, p) { return p === "desktops" ? (t.desktop === -1 ? [] : [t.desktop]) : t[p]; },
      set: function (t, p, v) { t[p] = v; return true; }
    });
  }
  return {
    windowList: function () {
      var all = kwin.clientList(), out = [];
      for (var i = 0; i < all.length; ++i) out.push(window(all[i]));
      return out;
    },
    get activeWindow() { return window(kwin.activeClient); },
    get currentDesktop() { return kwin.currentDesktop; },
    windowAdded: kwin.clientAdded, windowRemoved: kwin.clientRemoved,
    windowActivated: kwin.clientActivated, currentDesktopChanged: kwin.currentDesktopChanged
  };
})(workspace);
)";

std::unique_ptr<KWinWindowSystem> makeBackend(KWinWindowSystem::Options options = {},
                                              const char* prelude = "") {
  QFile script(QStringLiteral(DOZEWICK_KWIN_SCRIPT));
  EXPECT_TRUE(script.open(QIODevice::ReadOnly));
  options.pollHold = 300ms;
  options.silenceLimit = 1500ms;
  auto backend = std::make_unique<KWinWindowSystem>(
      QDBusConnection::sessionBus(), QString::fromUtf8(prelude + script.readAll()),
      QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR")), options);
  backend->start();
  EXPECT_TRUE(eventually([&] { return backend->scriptAnswering(); }));
  return backend;
}

// Under KWin 5.27's names and under Plasma 6's.
enum class Plasma { five, six };
class KWinScriptNames : public ::testing::TestWithParam<Plasma> {};

TEST_P(KWinScriptNames, ListsByTypeAndDesktopKnowsTheFrontmostIconifiesAndReloadsItsScript) {
  WaylandClient self, editor, viewer;
  ASSERT_TRUE(self.command("open Own panel"));
  ASSERT_TRUE(editor.command("open Editor one") && editor.command("open Editor two") &&
              editor.command("dialog Editor dialog") && editor.command("tooltip Editor tip"));
  ASSERT_TRUE(viewer.command("open Viewer"));
  KWinWindowSystem::Options options;
  options.ownPid = self.pid();
  const auto backend = makeBackend(options, GetParam() == Plasma::six ? kPlasma6Names : "");
  KWinWindowSystem& windows = *backend;

  ASSERT_TRUE(eventually([&] { return visible(windows, "Viewer").has_value(); }));
  const auto one = visible(windows, "Editor one");
  const auto two = visible(windows, "Editor two");
  const auto dialog = visible(windows, "Editor dialog");
  ASSERT_TRUE(one && two && dialog);
  EXPECT_EQ(one->appPID, editor.pid());
  EXPECT_EQ(dialog->appPID, editor.pid());
  EXPECT_NE(one->windowID, two->windowID);
  const auto all = getVisibleWindows(windows);
  EXPECT_EQ(std::count_if(all.begin(), all.end(),
                          [&](const WindowInfo& w) { return w.appPID == editor.pid(); }),
            3)
      << "a tooltip is not an application window";
  EXPECT_FALSE(visible(windows, "Own panel")) << "this program's own windows are left out";

  // Ids stay with their windows across reports.
  activate(QStringLiteral("Viewer"));
  ASSERT_TRUE(eventually([&] { return windows.frontmostApplicationPID() == viewer.pid(); }));
  EXPECT_EQ(visible(windows, "Editor one")->windowID, one->windowID);
  activate(QStringLiteral("Editor two"));
  ASSERT_TRUE(eventually([&] { return windows.frontmostApplicationPID() == editor.pid(); }));
  // While this program's own window is active, the application before it stays frontmost.
  activate(QStringLiteral("Own panel"));
  ASSERT_TRUE(eventually([&] { return owned(windows, self.pid(), "Own panel").has_value(); }));
  QThread::msleep(300);
  QCoreApplication::processEvents();
  EXPECT_EQ(windows.frontmostApplicationPID(), editor.pid());

  // Only KWin is listened to: a report from anyone else changes nothing.
  auto forged = QDBusMessage::createMethodCall(
      QDBusConnection::sessionBus().baseService(), QStringLiteral("/org/dozewick/KWin"),
      QStringLiteral("org.dozewick.KWinBridge"), QStringLiteral("Report"));
  forged.setArguments({QStringLiteral(R"({"active":"","windows":[{"id":"x","pid":4242,)"
                                      R"("app":"Forged","title":"Forged","kind":"normalWindow",)"
                                      R"("current":true,"minimized":false}]})")});
  QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"))
      .call(forged, QDBus::Block, 5000);
  QDBusConnection::disconnectFromBus(QStringLiteral("other"));
  QCoreApplication::processEvents();
  EXPECT_FALSE(visible(windows, "Forged"));
  // The blocked call held this thread past the silence limit: the next report brings the list.
  EXPECT_TRUE(eventually([&] { return visible(windows, "Viewer").has_value(); }));

  // Windows of another desktop are not on screen.
  inKWin(QStringLiteral("workspace.desktops = 2; workspace.currentDesktop = 2;"));
  ASSERT_TRUE(eventually([&] { return !visible(windows, "Viewer"); }));
  EXPECT_TRUE(getVisibleWindows(windows).empty());
  inKWin(QStringLiteral("workspace.currentDesktop = 1;"));
  EXPECT_TRUE(eventually([&] { return visible(windows, "Viewer").has_value(); }));

  // One window iconified alone, then the whole application, its dialog included (the whole
  // program's run has one window an application).
  const auto second = owned(windows, editor.pid(), "Editor two");
  ASSERT_TRUE(second);
  ASSERT_TRUE(windows.setMinimized(*second));
  ASSERT_TRUE(eventually([&] { return minimizedNow(windows, editor.pid(), "Editor two"); }));
  EXPECT_FALSE(minimizedNow(windows, editor.pid(), "Editor one"));
  ASSERT_TRUE(windows.hideApplication(editor.pid()));
  EXPECT_FALSE(visible(windows, "Editor one")) << "counted as minimized at once";
  EXPECT_TRUE(eventually([&] {
    return minimizedNow(windows, editor.pid(), "Editor one") &&
           minimizedNow(windows, editor.pid(), "Editor dialog");
  }));
  EXPECT_FALSE(windows.hideApplication(999999)) << "no such application";

  // Someone unloads the script: silence, then the backend loads it again.
  callKWin(QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"),
           QStringLiteral("unloadScript"), {QStringLiteral("dozewick")});
  ASSERT_TRUE(eventually([&] { return !backend->scriptAnswering(); }));
  EXPECT_FALSE(windows.onScreenWindowEntries());
  EXPECT_TRUE(eventually([&] { return visible(windows, "Viewer").has_value(); }));
  EXPECT_TRUE(windows.trusted());
}

INSTANTIATE_TEST_SUITE_P(KWinWindowSystem, KWinScriptNames,
                         ::testing::Values(Plasma::five, Plasma::six), [](const auto& info) {
                           return info.param == Plasma::five ? "Plasma5" : "Plasma6";
                         });

// The whole program as a user starts it on Wayland. Without a tray its panel opens as a window,
// where Start is pressed over the accessibility bus, as a screen reader would. Of six
// applications five are used in turn, then the sixth: after a minute the two least recently used
// are iconified and the panel says so. SIGTERM, as at a logout, then ends the program through its
// normal quit: its script leaves KWin and its lock goes.
TEST(KWinWindowSystem, EndToEndTheWholeProgramIconifiesTheTwoLeastRecentAndQuitsOnSIGTERM) {
  std::vector<std::unique_ptr<WaylandClient>> apps;
  for (int i = 0; i < 6; ++i) {
    apps.push_back(std::make_unique<WaylandClient>());
    ASSERT_TRUE(apps.back()->command(QStringLiteral("open App %1").arg(i)));
  }
  QProcess program;
  ASSERT_TRUE(testing::startOnWayland(program, QStringLiteral(DOZEWICK_EXECUTABLE)));

  testing::AccessibilityBus screenReader;
  ASSERT_TRUE(screenReader.connected());
  std::optional<testing::AccessibilityBus::Object> panel, start;
  ASSERT_TRUE(eventually(
      [&] {
        panel = screenReader.application(program.processId());
        return panel && (start = screenReader.find(*panel, QStringLiteral("push button"),
                                                   QStringLiteral("Start")));
      },
      30s))
      << "the panel with its Start button did not come up";
  const auto shows = [&](const QString& text) {
    return screenReader.find(*panel, QStringLiteral("label"), text).has_value();
  };
  ASSERT_TRUE(scriptLoaded(QStringLiteral("dozewick")));
  ASSERT_TRUE(screenReader.doAction(*start, QStringLiteral("Press")));
  ASSERT_TRUE(eventually([&] { return shows(QStringLiteral("Running")); }));

  // The test watches KWin through a backend of its own, under another plugin name.
  KWinWindowSystem::Options watching;
  watching.pluginName = QStringLiteral("dozewick-test-watch");
  const auto backend = makeBackend(watching);
  using Clock = std::chrono::steady_clock;
  const auto pause = [](std::chrono::milliseconds span) { eventually([] { return false; }, span); };
  for (int i = 0; i < 5; ++i) {
    activate(QStringLiteral("App %1").arg(i));
    ASSERT_TRUE(eventually([&] { return backend->frontmostApplicationPID() == apps[i]->pid(); }));
    pause(2s);  // at least one of the program's checks sees it in front
  }
  const auto firstLeftAlone = Clock::now() - 8s;
  activate(QStringLiteral("App 5"));
  ASSERT_TRUE(eventually([&] { return backend->frontmostApplicationPID() == apps[5]->pid(); }));
  const auto allLeftAlone = Clock::now();

  const auto iconified = [&](int i) {
    return minimizedNow(*backend, apps[i]->pid(), "App " + std::to_string(i));
  };
  testing::expectTheTwoLeastRecentGo(iconified, firstLeftAlone + 60s, allLeftAlone);
  EXPECT_TRUE(eventually([&] { return shows(QStringLiteral("Minimized: 2")); }));

  ASSERT_EQ(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
  ASSERT_TRUE(program.waitForFinished(15000));
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0);
  EXPECT_FALSE(scriptLoaded(QStringLiteral("dozewick"))) << "the quit unloads the script";
  EXPECT_FALSE(QFile::exists(qEnvironmentVariable("XDG_RUNTIME_DIR") + "/dozewick.lock"));
}

}  // namespace
}  // namespace dozewick
