// The KWin backend and its script against a headless KWin on Wayland, with Qt programs.
// What it feeds the desktop model, its script's life, and the whole program there.
#include "platform/kwin/kwin_backend.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>

#include "core/window_rules.h"
#include "support/accessibility.h"
#include "support/qt_application.h"
#include "support/wayland_client.h"

namespace dozewick {
namespace {

using namespace std::chrono_literals;
using testing::eventually;
using testing::fed;
using testing::WaylandClient;

const auto* const application = testing::addQtApplication<QCoreApplication>();

QDBusMessage callKWin(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments = {}) {
  auto call =
      QDBusMessage::createMethodCall(QStringLiteral("org.kde.KWin"), path, interface, method);
  call.setArguments(arguments);
  return QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
}

QDBusMessage scripting(const char* method, const QVariantList& arguments) {
  return callKWin(QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"),
                  QString::fromLatin1(method), arguments);
}

bool scriptLoaded(const QString& plugin) {
  return scripting("isScriptLoaded", {plugin}).arguments().value(0).toBool();
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
  const QDBusMessage loaded = scripting("loadScript", {path, plugin});
  ASSERT_EQ(loaded.type(), QDBusMessage::ReplyMessage) << loaded.errorMessage().toStdString();
  // KWin numbers a script by the count loaded, so after an unload a new one can take the number
  // (and bus path) of one still running, Dozewick's own say: start runs every script not yet
  // running, this one whatever its number.
  scripting("start", {});
  // KWin reads and runs the file on a thread of its own after `start` has answered; unloaded (or
  // the file gone) before that, the script never runs.
  eventually([] { return false; }, 250ms);
  scripting("unloadScript", {plugin});
}

void activate(const QString& title) {
  inKWin(QStringLiteral("var w = byTitle('%1'); if (typeof workspace.windowList === 'function') "
                        "workspace.activeWindow = w; else workspace.activeClient = w;")
             .arg(title));
}

// Whether KWin itself has the window of that title minimized, as a script of the test's own tells
// over the bus: a fault in Dozewick's backend cannot blind it.
class KWinWatch : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.dozewick.TestWatch")
 public:
  KWinWatch() {
    QDBusConnection::sessionBus().registerObject(QStringLiteral("/watch"), this,
                                                 QDBusConnection::ExportAllSlots);
    QDBusConnection::sessionBus().registerService(QStringLiteral("org.dozewick.TestWatch"));
  }
  bool minimized(const QString& title) {
    answer_.reset();
    inKWin(QStringLiteral("var w = byTitle('%1'); callDBus('org.dozewick.TestWatch', '/watch', "
                          "'org.dozewick.TestWatch', 'tell', w !== null && !!w.minimized);")
               .arg(title));
    eventually([this] { return answer_.has_value(); }, 5s);
    return answer_.value_or(false);
  }
  // The title of the window KWin has active, "" for none.
  QString activeTitle() {
    title_.reset();
    inKWin(
        QStringLiteral("var a = workspace.activeClient; callDBus('org.dozewick.TestWatch', "
                       "'/watch', 'org.dozewick.TestWatch', 'tellTitle', a ? "
                       "String(a.caption) : '');"));
    eventually([this] { return title_.has_value(); }, 5s);
    return title_.value_or(QStringLiteral("(no answer)"));
  }

 public slots:
  void tell(bool minimized) { answer_ = minimized; }
  void tellTitle(const QString& title) { title_ = title; }

 private:
  std::optional<bool> answer_;
  std::optional<QString> title_;
};

// Plasma 6's names over KWin 5.27's (windowList, activeWindow, windowAdded, windowActivated, a
// window's desktops), so that the script's Plasma 6 branches run here. Plasma 6 lists desktops
// as objects, this stand-in as numbers. It has none of 5.27's names, so only those branches can
// work.
const char* const kPlasma6Names = R"(
var workspace = (function (kwin) {
  function window(w) {
    return w && new Proxy(w, {
      get: function (t, p) {
        return p === "client" ? t : p === "desktops" ? (t.desktop === -1 ? [] : [t.desktop]) : t[p];
      },
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
    set activeWindow(w) { kwin.activeClient = w.client; },
    get currentDesktop() { return kwin.currentDesktop; },
    windowAdded: kwin.clientAdded, windowRemoved: kwin.clientRemoved,
    windowActivated: kwin.clientActivated, currentDesktopChanged: kwin.currentDesktopChanged
  };
})(workspace);
)";

std::unique_ptr<KWinBackend> makeBackend(KWinBackend::Options options = {}, std::int32_t ownPid = 0,
                                         const char* prelude = "") {
  options.pollHold = 300ms;
  options.silenceLimit = 1500ms;
  auto backend = std::make_unique<KWinBackend>(
      QDBusConnection::sessionBus(), QString::fromUtf8(prelude) + KWinBackend::builtInScript(),
      QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR")), BackendContext{.ownPid = ownPid},
      options);
  backend->start();
  EXPECT_EQ(backend->readiness(), Readiness::pending) << "KWin has yet to answer the load";
  EXPECT_TRUE(eventually([&] { return backend->scriptAnswering(); }));
  return backend;
}

// Under KWin 5.27's names and under Plasma 6's.
enum class Plasma { five, six };
class KWinScriptNames : public ::testing::TestWithParam<Plasma> {};

TEST_P(KWinScriptNames, FeedsTypesDesktopsAndTheFrontmostIconifiesAndReloadsItsScript) {
  WaylandClient self, editor, viewer;
  ASSERT_TRUE(self.command("open Own panel"));
  ASSERT_TRUE(editor.command("open Editor one") && editor.command("open Editor two") &&
              editor.command("dialog Editor dialog"));
  ASSERT_TRUE(viewer.command("open Viewer"));
  const auto backend = makeBackend({}, self.pid(), GetParam() == Plasma::six ? kPlasma6Names : "");
  WindowSystem& windows = backend->windowSystem();

  ASSERT_TRUE(eventually([&] { return fed(*backend, "Viewer").has_value(); }));
  const struct {
    const char* title;
    std::int32_t pid;
    WindowType type;
  } expected[] = {{"Own panel", self.pid(), WindowType::ordinary},
                  {"Editor one", editor.pid(), WindowType::ordinary},
                  {"Editor dialog", editor.pid(), WindowType::ordinary},
                  {"Viewer", viewer.pid(), WindowType::ordinary}};
  for (const auto& row : expected) {
    const auto window = fed(*backend, row.title);
    ASSERT_TRUE(window) << row.title;
    EXPECT_EQ(window->pid, row.pid) << row.title;
    EXPECT_EQ(window->type, row.type) << row.title;
    EXPECT_TRUE(window->onCurrentDesktop && !window->minimized) << row.title;
  }
  const auto one = fed(*backend, "Editor one");
  EXPECT_NE(one->id, fed(*backend, "Editor two")->id);

  // Ids stay with their windows across reports; the active window's process is frontmost.
  activate(QStringLiteral("Viewer"));
  ASSERT_TRUE(eventually([&] { return windows.frontmostApplicationPID() == viewer.pid(); }));
  EXPECT_EQ(fed(*backend, "Editor one")->id, one->id);
  activate(QStringLiteral("Editor two"));
  ASSERT_TRUE(eventually([&] { return windows.frontmostApplicationPID() == editor.pid(); }));

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
  EXPECT_FALSE(fed(*backend, "Forged"));
  // The blocked call held this thread past the silence limit: the next report brings the list.
  EXPECT_TRUE(eventually([&] { return windows.onScreenWindowEntries() != nullptr; }));

  // Windows of another desktop are not on the current one.
  inKWin(QStringLiteral("workspace.desktops = 2; workspace.currentDesktop = 2;"));
  ASSERT_TRUE(eventually([&] { return !fed(*backend, "Viewer")->onCurrentDesktop; }));
  inKWin(QStringLiteral("workspace.currentDesktop = 1;"));
  EXPECT_TRUE(eventually([&] { return fed(*backend, "Viewer")->onCurrentDesktop; }));

  // The script minimizes the windows it is asked to, and KWin reports them minimized: that is
  // when it counts as gone.
  const auto asked = std::chrono::steady_clock::now();
  ASSERT_TRUE(windows.setMinimized({fed(*backend, "Editor two")->id, {}, {}}));
  const auto number = *backend->model().numberOf(fed(*backend, "Editor two")->id);
  EXPECT_EQ(windows.minimizeOutcome(number), MinimizeOutcome::pending);
  ASSERT_TRUE(eventually([&] { return fed(*backend, "Editor two")->minimized; }));
  EXPECT_EQ(windows.minimizeOutcome(number), MinimizeOutcome::minimized);
  std::cout << "KWin: minimized after " << (std::chrono::steady_clock::now() - asked) / 1ms
            << " ms\n";
  EXPECT_FALSE(fed(*backend, "Editor one")->minimized);

  // Restored when named, as KWin itself tells; one minimized but not named stays so.
  KWinWatch kwin;
  inKWin(QStringLiteral("byTitle('Editor one').minimized = true;"));
  ASSERT_TRUE(eventually([&] { return fed(*backend, "Editor one")->minimized; }));
  EXPECT_TRUE(windows.restoreWindows({number}));
  EXPECT_TRUE(eventually([&] { return !kwin.minimized(QStringLiteral("Editor two")); }));
  EXPECT_TRUE(kwin.minimized(QStringLiteral("Editor one")));

  // Someone unloads the script: silence, then the backend loads it again.
  scripting("unloadScript", {QStringLiteral("dozewick")});
  ASSERT_TRUE(eventually([&] { return !backend->scriptAnswering(); }));
  EXPECT_NE(backend->readiness(), Readiness::ready);
  EXPECT_FALSE(windows.onScreenWindowEntries());
  EXPECT_TRUE(eventually([&] { return windows.onScreenWindowEntries() != nullptr; }));
  EXPECT_EQ(backend->readiness(), Readiness::ready);
}

INSTANTIATE_TEST_SUITE_P(KWinBackend, KWinScriptNames, ::testing::Values(Plasma::five, Plasma::six),
                         [](const auto& info) {
                           return info.param == Plasma::five ? "Plasma5" : "Plasma6";
                         });

// A program killed outright leaves its script loaded under the plugin name, and KWin loads no
// second script under a name it has: the backend unloads the stale copy before it loads its own.
TEST(KWinBackend, AStaleCopyOfTheScriptLeftLoadedIsReplacedAtStart) {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("stale.js"));
  QFile stale(path);
  ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
  stale.write("var dozewickService = ':1.999999', dozewickPlugin = 'dozewick-stale';\n" +
              KWinBackend::builtInScript().toUtf8());
  stale.close();
  ASSERT_GE(scripting("loadScript", {path, QStringLiteral("dozewick-stale")})
                .arguments()
                .value(0)
                .toInt(),
            0);
  ASSERT_TRUE(scriptLoaded(QStringLiteral("dozewick-stale")));
  KWinBackend::Options options;
  options.pluginName = QStringLiteral("dozewick-stale");
  const auto backend = makeBackend(options);
  EXPECT_TRUE(backend->scriptAnswering()) << "its own copy runs and reports";
  backend->stop();
  EXPECT_FALSE(scriptLoaded(QStringLiteral("dozewick-stale")));
}

// Without a tray the panel is a window. A later launch brings it to the front only with the token
// its launcher got from KWin (xdg-activation); without one KWin keeps the user's window in front.
TEST(KWinBackend, ASecondLaunchBringsThePanelToTheFrontWithItsLaunchersToken) {
  testing::ChildProcess launcher({DOZEWICK_WAYLAND_TOKEN_CLIENT, "Launcher"});
  ASSERT_EQ(launcher.readLine(), "ok") << "the launcher's window became active";
  testing::ChildProcess running({DOZEWICK_EXECUTABLE}, {"QT_QPA_PLATFORM=wayland"});
  KWinWatch kwin;
  // The panel window must be there; a new window need not get the focus from KWin.
  ASSERT_TRUE(eventually(
      [&] {
        activate(QStringLiteral("Dozewick"));
        return kwin.activeTitle() == QStringLiteral("Dozewick");
      },
      30s));
  activate(QStringLiteral("Launcher"));
  ASSERT_TRUE(eventually([&] { return kwin.activeTitle() == QStringLiteral("Launcher"); }));

  const auto launch = [](const std::string& token) {
    testing::ChildProcess later({DOZEWICK_EXECUTABLE},
                                {"QT_QPA_PLATFORM=wayland", "XDG_ACTIVATION_TOKEN=" + token});
    return later.exitStatus(15s);
  };
  EXPECT_EQ(launch(""), 0);
  EXPECT_FALSE(eventually([&] { return kwin.activeTitle() != QStringLiteral("Launcher"); }, 2s))
      << "without a token the panel stays behind";
  const std::string answer = launcher.ask("token");
  ASSERT_EQ(answer.rfind("token kwin-", 0), 0u) << answer;
  EXPECT_EQ(launch(answer.substr(6)), 0);
  EXPECT_TRUE(eventually([&] { return kwin.activeTitle() == QStringLiteral("Dozewick"); }));

  running.stop();
  EXPECT_EQ(running.exitStatus(15s), 0);
}

// The whole program as a user starts it on Wayland. Without a tray its panel opens as a window,
// where Start is pressed over the accessibility bus, as a screen reader would. Of six
// applications (the first an X11 program) five are used in turn, then the sixth: after a minute
// the two least recently used are iconified and the panel says so. SIGTERM, as at a logout, then
// ends the program through its normal quit: its script leaves KWin and its lock goes.
TEST(KWinBackend, EndToEndTheWholeProgramIconifiesTheTwoLeastRecentAndQuitsOnSIGTERM) {
  // App 0 is an X11 program on Xwayland that names no process (as xeyes): KWin knows none, the
  // X server does.
  testing::XTestClient legacy;
  legacy.open({"title=App 0", "pid=none"});
  std::vector<std::int32_t> pids{legacy.pid()};
  std::vector<std::unique_ptr<WaylandClient>> apps;
  for (int i = 1; i < 6; ++i) {
    apps.push_back(std::make_unique<WaylandClient>());
    ASSERT_TRUE(apps.back()->command(QStringLiteral("open App %1").arg(i)));
    pids.push_back(apps.back()->pid());
  }
  testing::WaylandProgram program(QStringLiteral(DOZEWICK_EXECUTABLE));
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(program.press(QStringLiteral("Start"))) << "the panel did not come up";
  EXPECT_FALSE(program.shows(QStringLiteral("Need Permission"))) << "at first sight";
  ASSERT_TRUE(scriptLoaded(QStringLiteral("dozewick")));
  ASSERT_TRUE(eventually([&] { return program.shows(QStringLiteral("Running")); }));

  // The test watches KWin through a backend of its own, under another plugin name.
  KWinBackend::Options watching;
  watching.pluginName = QStringLiteral("dozewick-test-watch");
  const auto backend = makeBackend(watching);
  WindowSystem& windows = backend->windowSystem();
  using Clock = std::chrono::steady_clock;
  const auto pause = [](std::chrono::milliseconds span) { eventually([] { return false; }, span); };
  for (int i = 0; i < 5; ++i) {
    activate(QStringLiteral("App %1").arg(i));
    ASSERT_TRUE(eventually([&] { return windows.frontmostApplicationPID() == pids[i]; }));
    pause(2s);  // at least one of the program's checks sees it in front
  }
  const auto firstLeftAlone = Clock::now() - 8s;
  activate(QStringLiteral("App 5"));
  ASSERT_TRUE(eventually([&] { return windows.frontmostApplicationPID() == pids[5]; }));
  const auto allLeftAlone = Clock::now();

  KWinWatch kwin;
  const auto iconified = [&](int i) { return kwin.minimized(QStringLiteral("App %1").arg(i)); };
  testing::expectTheTwoLeastRecentGo(iconified, 6, firstLeftAlone + 60s, allLeftAlone, 75s);
  EXPECT_TRUE(eventually([&] { return program.shows(QStringLiteral("Minimized: 2")); }));

  program.expectQuitOnSigterm();
  EXPECT_FALSE(scriptLoaded(QStringLiteral("dozewick"))) << "the quit unloads the script";
  EXPECT_FALSE(QFile::exists(qEnvironmentVariable("XDG_RUNTIME_DIR") + "/dozewick.lock"));
}

// The tray host's own list of items: the process's, as "service/path", if there is one.
std::optional<QString> statusNotifierItemOf(qint64 pid) {
  QDBusMessage get = QDBusMessage::createMethodCall(
      QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("/StatusNotifierWatcher"),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << QStringLiteral("org.kde.StatusNotifierWatcher")
      << QStringLiteral("RegisteredStatusNotifierItems");
  const QDBusMessage reply = QDBusConnection::sessionBus().call(get);
  for (const QString& item :
       qvariant_cast<QDBusVariant>(reply.arguments().value(0)).variant().toStringList()) {
    const QString service = item.section(QLatin1Char('/'), 0, 0);
    if (QDBusConnection::sessionBus().interface()->servicePid(service).value() == pid)
      return item;
  }
  return std::nullopt;
}

// A tray host that comes up after the launch (xfce4-panel on Xwayland: a StatusNotifierWatcher
// with its host) takes the program's icon, though Qt settles once per process whether it uses
// that kind of tray. The panel window goes; a click on the icon opens the panel, the loop still
// running.
TEST(KWinBackend, EndToEndATrayHostComingUpLaterTakesTheIconAndThePanelWindowGoes) {
  testing::WaylandProgram program(QStringLiteral(DOZEWICK_EXECUTABLE));
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(program.press(QStringLiteral("Start"))) << "the panel did not come up";
  ASSERT_TRUE(eventually([&] { return program.shows(QStringLiteral("Running")); }));

  QProcess panel;
  auto environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("GDK_BACKEND"), QStringLiteral("x11"));
  panel.setProcessEnvironment(environment);
  panel.setStandardErrorFile(QProcess::nullDevice());
  panel.start(QStringLiteral("xfce4-panel"), {QStringLiteral("--disable-wm-check")});
  const qint64 pid = program.process.processId();
  ASSERT_TRUE(eventually([&] { return statusNotifierItemOf(pid).has_value(); }, 30s))
      << "no item of the program's in the tray";
  EXPECT_TRUE(eventually([&] { return !program.shows(QStringLiteral("Running")); }))
      << "the panel window stayed";

  // The host's click on the icon.
  const QString item = *statusNotifierItemOf(pid);
  QDBusMessage activate = QDBusMessage::createMethodCall(
      item.section(QLatin1Char('/'), 0, 0), QLatin1Char('/') + item.section(QLatin1Char('/'), 1),
      QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Activate"));
  activate << 0 << 0;
  QDBusConnection::sessionBus().call(activate);
  EXPECT_TRUE(eventually([&] { return program.shows(QStringLiteral("Running")); }))
      << "the loop stopped on the way into the tray";
  program.expectQuitOnSigterm();
  panel.terminate();
  panel.waitForFinished(10000);
}

}  // namespace
}  // namespace dozewick

#include "kwin_backend_test.moc"
