// The GNOME backend and its extension against a headless GNOME Shell, with Qt programs.
// Run inside tools/gnome-session, which installs the extension before the shell starts.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <chrono>
#include <csignal>
#include <functional>
#include <iostream>

#include "core/window_rules.h"
#include "platform/gnome/gnome_backend.h"
#include "platform/gnome/gnome_extension.h"
#include "platform/gnome/gnome_top_bar_icon.h"
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

gnome::ExtensionSources shippedSources() {
  return gnome::readExtensionSources(QStringLiteral(DOZEWICK_GNOME_SOURCES));
}

TEST(GnomeExtension, ReadsShellVersionsAndEnabledListsAndPicksTheEntryPointThatFits) {
  const struct {
    const char* output;
    std::optional<int> major;
  } versions[] = {{"GNOME Shell 43.9\n", 43}, {"GNOME Shell 45.rc", 45}, {"GNOME Shell 46", 46},
                  {"gnome-shell 43", {}},     {"GNOME Shell x", {}},     {"", {}}};
  for (const auto& row : versions)
    EXPECT_EQ(gnome::shellMajorVersion(QString::fromUtf8(row.output)), row.major) << row.output;

  // As gsettings prints them (GLib reads them; any list is fuzzed).
  EXPECT_EQ(gnome::parseStringArray("@as []"), QStringList{});
  EXPECT_EQ(gnome::parseStringArray(R"(["it's@x", 'back\\slash'])"),
            (QStringList{"it's@x", R"(back\slash)"}));
  EXPECT_EQ(gnome::parseStringArray("['a' 'b']"), std::nullopt);

  const auto sources = shippedSources();
  const auto old = gnome::extensionFiles(sources, 43);
  const auto modern = gnome::extensionFiles(sources, 46);
  ASSERT_EQ(old.size(), 5);
  EXPECT_TRUE(old.contains("icons/dozewick-running-symbolic.svg"));
  EXPECT_TRUE(old["extension.js"].contains("function init()"));
  EXPECT_FALSE(old["extension.js"].contains("import "));
  EXPECT_TRUE(modern["extension.js"].contains("export default class"));
  for (const auto& files : {old, modern}) {
    EXPECT_TRUE(files["extension.js"].contains("class DozewickService"));
    EXPECT_FALSE(files["extension.js"].contains("@shared@"));
    EXPECT_TRUE(files["extension.js"].contains(QByteArray("DOZEWICK_EXTENSION_VERSION = ") +
                                               QByteArray::number(gnome::kExtensionVersion) + ";"))
        << "the extension and this program must agree on the version";
  }
  EXPECT_FALSE(old["metadata.json"].contains("\"45\""));
  EXPECT_TRUE(gnome::extensionFiles({sources.shared, "no marker", "no marker", {}}, 43).isEmpty());
}

bool ready(GnomeBackend& backend) {
  return backend.readiness() == Readiness::ready;
}

bool setEnabled(const QStringList& uuids) {
  return gnome::gsettingsTool().set(QStringLiteral("org.gnome.shell"),
                                    QStringLiteral("enabled-extensions"),
                                    gnome::formatStringArray(uuids));
}

QString shellEval(const QString& code);

// Whether the shell itself has a window of that title, minimized or not: not through Dozewick's
// backend.
bool shellHas(const QString& title, bool minimized) {
  return shellEval(QStringLiteral("global.get_window_actors().some(a => a.meta_window.get_title()"
                                  " === '%1' && a.meta_window.minimized === %2)")
                       .arg(title, minimized ? "true" : "false")) == QStringLiteral("true");
}

// The extension of the version before this one, which cannot restore windows: only its version.
class OlderExtension final : public QDBusVirtualObject {
 public:
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
    if (message.member() != QStringLiteral("Get"))
      return false;
    bus.send(message.createReply(
        QVariant::fromValue(QDBusVariant(QVariant::fromValue(gnome::kExtensionVersion - 1)))));
    return true;
  }
};

// The whole program's run lists, follows and iconifies whole applications; here what it cannot
// see: what is fed of each window, one window iconified alone, applications iconified by someone
// else or gone, and the extension switched off.
TEST(GnomeBackend, FeedsTheWindowsIconifiesAndAnswersNoWhileDisabled) {
  WaylandClient self, viewer;
  GnomeBackend backend(QDBusConnection::sessionBus(), {.ownPid = self.pid()});
  backend.start();
  WindowSystem& windows = backend.windowSystem();
  ASSERT_TRUE(eventually([&] { return ready(backend); })) << "the extension does not answer";
  // Installed before the shell started as Authorize installs it: beside the tests' own
  // extension, which stays enabled, and with nothing else left in the folder.
  const QStringList both{QStringLiteral("dozewick-eval@dozewick.org"), gnome::kExtensionUuid};
  EXPECT_EQ(gnome::parseStringArray(
                gnome::gsettingsTool()
                    .get(QStringLiteral("org.gnome.shell"), QStringLiteral("enabled-extensions"))
                    .value_or(QString())),
            both);
  EXPECT_EQ(QDir(gnome::userExtensionsDir())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            both);
  ASSERT_TRUE(self.command("open Own panel"));
  ASSERT_TRUE(viewer.command("open Viewer one") && viewer.command("open Viewer two"));
  ASSERT_TRUE(eventually([&] { return fed(backend, "Viewer two").has_value(); }));
  for (const auto& [title, pid] :
       {std::pair("Own panel", self.pid()), std::pair("Viewer one", viewer.pid())}) {
    const auto window = fed(backend, title);
    ASSERT_TRUE(window) << title;
    EXPECT_EQ(window->pid, pid);
    EXPECT_TRUE(window->application && !window->application->empty());
    EXPECT_EQ(window->type, WindowType::ordinary);
    EXPECT_TRUE(window->onCurrentDesktop && !window->minimized && !window->skipsTaskbar);
  }

  const auto asked = std::chrono::steady_clock::now();
  EXPECT_TRUE(windows.setMinimized({fed(backend, "Viewer two")->id, {}, {}}));
  const auto number = *backend.model().numberOf(fed(backend, "Viewer two")->id);
  ASSERT_TRUE(eventually([&] { return fed(backend, "Viewer two")->minimized; }))
      << "the shell announces it minimized";
  EXPECT_EQ(windows.minimizeOutcome(number), MinimizeOutcome::minimized);
  std::cout << "GNOME Shell: minimized after "
            << (std::chrono::steady_clock::now() - asked) / std::chrono::milliseconds(1) << " ms\n";
  EXPECT_FALSE(fed(backend, "Viewer one")->minimized);

  // Restored when named, as the shell itself tells.
  EXPECT_TRUE(windows.restoreWindows({number}));
  EXPECT_TRUE(eventually([] { return shellHas(QStringLiteral("Viewer two"), false); }));

  // Iconified by someone else before the announcement was taken in: the iconify that finds
  // nothing to do makes the backend read the state whole.
  GnomeBackend other(QDBusConnection::sessionBus(), {});
  other.start();
  ASSERT_TRUE(other.windowSystem().hideApplication(viewer.pid()));
  EXPECT_TRUE(windows.hideApplication(viewer.pid())) << "hidden already is hidden";
  EXPECT_TRUE(fed(backend, "Viewer one")->minimized) << "read anew after the iconify found it gone";
  viewer.command("quit");
  EXPECT_TRUE(eventually([&] { return !windows.hideApplication(viewer.pid()); }))
      << "an application that has quit is not hidden";

  // Disabled, the extension leaves the bus and the backend answers no; enabled again, it
  // answers at once: the shell knows it from its start.
  ASSERT_TRUE(setEnabled({}));
  ASSERT_TRUE(eventually([&] { return !ready(backend); }));
  EXPECT_EQ(backend.readiness(), Readiness::needsAuthorize);
  EXPECT_FALSE(backend.extensionVersion());
  EXPECT_FALSE(windows.onScreenWindowEntries());
  EXPECT_FALSE(windows.frontmostApplicationPID());
  EXPECT_FALSE(windows.hideApplication(self.pid()));
  {
    OlderExtension older;
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.registerVirtualObject(QStringLiteral("/org/dozewick/Shell"), &older));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.dozewick.Shell")));
    EXPECT_TRUE(eventually([&] { return backend.extensionVersion().has_value(); }));
    EXPECT_EQ(backend.readiness(), Readiness::needsAuthorize) << "an older one asks for Authorize";
    bus.unregisterService(QStringLiteral("org.dozewick.Shell"));
    bus.unregisterObject(QStringLiteral("/org/dozewick/Shell"));
  }
  ASSERT_TRUE(setEnabled(both));
  EXPECT_TRUE(eventually([&] { return ready(backend); }));
  EXPECT_EQ(backend.extensionVersion(), gnome::kExtensionVersion);
}

// Runs JavaScript inside the shell and gives back its JSON result, or "error".
QString shellEval(const QString& code) {
  auto call = QDBusMessage::createMethodCall(
      QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
      QStringLiteral("org.gnome.Shell"), QStringLiteral("Eval"));
  call.setArguments({code});
  const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
  return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool()
             ? reply.arguments().value(1).toString()
             : QStringLiteral("error");
}

// The state of the icon Dozewick has in the top bar ("ready", "running"), or "none".
QString topBarIcon() {
  return shellEval(
      QStringLiteral("(() => { const b = imports.ui.main.panel.statusArea['dozewick'];"
                     " return b ? b.get_first_child().gicon.get_file().get_basename()"
                     ".replace(/^dozewick-|-symbolic.svg$/g, '') : 'none'; })()"));
}
bool topBarShows(const char* state, std::chrono::milliseconds within = testing::kChildWait) {
  return eventually([&] { return topBarIcon() == QStringLiteral("\"%1\"").arg(state); }, within);
}

// A press and release of the first button in the middle of Dozewick's icon, as from a mouse; false
// while the icon has no size yet, which a loaded machine can make last a while.
bool clickTopBarIcon() {
  return shellEval(QStringLiteral(
             "(() => { const {Clutter, GLib} = imports.gi;"
             " const b = imports.ui.main.panel.statusArea['dozewick'];"
             " const [x, y] = b.get_transformed_position();"
             " const [w, h] = b.get_transformed_size();"
             " if (!(w > 0)) return false;"  // not laid out yet: nothing to click
             " global.dozewickPointer = global.dozewickPointer || "
             "Clutter.get_default_backend().get_default_seat()"
             "     .create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE);"
             " const t = GLib.get_monotonic_time();"
             " global.dozewickPointer.notify_absolute_motion(t, x + w / 2, y + h / 2);"
             " for (const [d, s] of [[1, Clutter.ButtonState.PRESSED], [2, "
             "Clutter.ButtonState.RELEASED]])"
             "   global.dozewickPointer.notify_button(t + d, Clutter.BUTTON_PRIMARY, s);"
             " return true; })()")) == QStringLiteral("true");
}

// A tray host, as Ubuntu's AppIndicator extension or Plasma registers it.
class TrayWatcher : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
 public:
  bool hostRegistered() const { return true; }
};

// The whole program's run sees the icon ready, running, clicked and gone; here the hand-over to
// a tray host that comes and goes.
TEST(GnomeBackend, TheTopBarShowsDozewicksIconWhileItRunsWhereNoTrayIs) {
  ASSERT_EQ(topBarIcon(), QStringLiteral("\"none\"")) << "needs the tests' eval extension";
  GnomeBackend backend(QDBusConnection::sessionBus(), {});
  backend.start();
  const auto icon = backend.shellIcon([] {});
  ASSERT_TRUE(icon);
  ASSERT_TRUE(eventually([&] { return icon->shown(); })) << "published, the extension answers";
  icon->show(ShellIcon::State::ready);
  EXPECT_TRUE(topBarShows("ready"));

  // Where a tray host is registered, the tray shows Dozewick's own icon instead.
  TrayWatcher tray;
  auto bus = QDBusConnection::sessionBus();
  ASSERT_TRUE(bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &tray,
                                 QDBusConnection::ExportAllProperties));
  ASSERT_TRUE(bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
  EXPECT_TRUE(topBarShows("none"));
  bus.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
  bus.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
  EXPECT_TRUE(topBarShows("ready"));
}

// The whole program as a user starts it on GNOME without a tray: its panel opens from the
// top-bar icon, Start is pressed over the accessibility bus as a screen reader does, and each
// new window takes the focus, so opening them one by one uses them in that order.
TEST(GnomeBackend, EndToEndTheWholeProgramIconifiesTheTwoLeastRecentAndQuitsOnSIGTERM) {
  testing::WaylandProgram program(QStringLiteral(DOZEWICK_EXECUTABLE));
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(topBarShows("ready", 30s)) << "no icon in the top bar";
  ASSERT_TRUE(eventually(clickTopBarIcon, 30s));
  ASSERT_TRUE(program.press(QStringLiteral("Start"))) << "the icon's click opened no panel";
  ASSERT_TRUE(eventually([&] { return program.shows(QStringLiteral("Running")); }));
  EXPECT_TRUE(topBarShows("running"));

  // The test watches the shell through a backend of its own.
  GnomeBackend watcher(QDBusConnection::sessionBus(), {});
  watcher.start();
  WindowSystem& windows = watcher.windowSystem();
  using Clock = std::chrono::steady_clock;
  const auto pause = [](std::chrono::milliseconds span) { eventually([] { return false; }, span); };
  std::vector<std::unique_ptr<WaylandClient>> apps;
  Clock::time_point firstLeftAlone;
  for (int i = 0; i < 6; ++i) {
    apps.push_back(std::make_unique<WaylandClient>());
    ASSERT_TRUE(apps.back()->command(QStringLiteral("open App %1").arg(i)));
    ASSERT_TRUE(eventually([&] { return windows.frontmostApplicationPID() == apps[i]->pid(); }));
    if (i == 1)
      firstLeftAlone = Clock::now();
    if (i < 5)
      pause(2s);  // at least one of the program's checks sees it in front
  }
  // Judged by the shell itself, not through Dozewick's backend.
  const auto iconified = [](int i) { return shellHas(QStringLiteral("App %1").arg(i), true); };
  testing::expectTheTwoLeastRecentGo(iconified, 6, firstLeftAlone + 59s, Clock::now(), 75s);

  // The panel, opened again in front of the last application (it closed when that took the
  // focus), says so and leaves it alone.
  if (!program.screenReader.find(*program.panel, QStringLiteral("push button"),
                                 QStringLiteral("Stop"))) {
    ASSERT_TRUE(clickTopBarIcon());
  }
  EXPECT_TRUE(eventually([&] { return program.shows(QStringLiteral("Minimized: 2")); }));
  EXPECT_FALSE(iconified(5));

  program.expectQuitOnSigterm();
  EXPECT_TRUE(topBarShows("none")) << "the icon goes with it";
}

// Whether the window manager lists a window of that process (EWMH's client list, as wmctrl reads
// it): a window closed or never shown is not there.
bool showsAWindow(qint64 pid) {
  QProcess list;
  list.start(QStringLiteral("wmctrl"), {QStringLiteral("-lp")});
  if (!list.waitForFinished(5000))
    return false;
  for (const QByteArray& line : list.readAllStandardOutput().split('\n')) {
    if (line.simplified().split(' ').value(2) == QByteArray::number(pid))
      return true;
  }
  return false;
}

// What a user does to have GNOME Shell on X11 load a new extension: Alt+F2, r, Enter. A loaded
// shell may miss the first press, as it may a user's.
bool restartTheShellByHand() {
  const auto key = [](const QStringList& arguments) {
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
  };
  const auto dialogOpen = [] {
    return shellEval(QStringLiteral("imports.ui.main.modalCount > 0")) == QStringLiteral("true");
  };
  bool open = false;
  for (int attempt = 0; attempt < 3 && !open; ++attempt)
    open = key({"key", "alt+F2"}) && eventually(dialogOpen, 5s);
  if (!open)
    ADD_FAILURE() << "Alt+F2 opened no dialog";
  return open && key({"type", "--delay", "50", "r"}) && key({"key", "Return"});
}

// GNOME on Xorg has no tray and trusts Dozewick: its window offers the top-bar icon instead, the
// user installs it from there and restarts the shell as told, and the icon opens the panel.
TEST(GnomeXorg, EndToEndTheIconInstalledFromTheWindowShowsAfterARestartAndOpensThePanel) {
  ASSERT_EQ(topBarIcon(), QStringLiteral("\"none\"")) << "needs the tests' eval extension";
  testing::WaylandProgram program(QStringLiteral(DOZEWICK_EXECUTABLE), QStringLiteral("xcb"));
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(program.press(QStringLiteral("Show Icon in Top Bar")));
  ASSERT_TRUE(eventually([&] {
    return program.shows(QStringLiteral(
        "The icon is installed. GNOME Shell shows it once it restarts: press Alt+F2, type r and "
        "press Enter (your windows stay open), or log out and back in."));
  })) << "the window tells no next step";
  // Judged by the files on disk and the shell's own setting.
  QFile metadata(QDir(gnome::userExtensionsDir())
                     .filePath(QStringLiteral("dozewick@dozewick.org/metadata.json")));
  ASSERT_TRUE(metadata.exists());
  ASSERT_TRUE(metadata.open(QIODevice::ReadOnly));
  EXPECT_EQ(gnome::ownMetadataVersion(metadata.readAll()), int(gnome::kExtensionVersion));
  const auto enabled = gnome::gsettingsTool().get(QStringLiteral("org.gnome.shell"),
                                                  QStringLiteral("enabled-extensions"));
  const auto list = enabled ? gnome::parseStringArray(*enabled) : std::nullopt;
  ASSERT_TRUE(list) << "no list of enabled extensions";
  EXPECT_EQ(*list, QStringList({"dozewick-eval@dozewick.org", "dozewick@dozewick.org"}));
  EXPECT_EQ(topBarIcon(), QStringLiteral("\"none\"")) << "loaded only when the shell restarts";

  ASSERT_TRUE(restartTheShellByHand());
  ASSERT_TRUE(topBarShows("ready", 30s)) << "no icon in the top bar after the restart";
  // The window that stood in for the icon goes; the program stays.
  EXPECT_TRUE(eventually([&] { return !showsAWindow(program.process.processId()); }, 10s));
  EXPECT_EQ(program.process.state(), QProcess::Running);

  // As with the keys above, the first event of the shell's new virtual pointer on X11 is now and
  // then lost.
  bool opened = false;
  for (int attempt = 0; attempt < 3 && !opened; ++attempt) {
    opened = eventually(clickTopBarIcon, 30s) &&
             eventually([&] { return showsAWindow(program.process.processId()); }, 5s);
  }
  ASSERT_TRUE(opened) << "the icon's click opened no panel";
  ASSERT_TRUE(program.press(QStringLiteral("Start")));
  EXPECT_TRUE(topBarShows("running"));

  program.expectQuitOnSigterm();
  EXPECT_TRUE(topBarShows("none")) << "the icon goes with it";
}

}  // namespace
}  // namespace dozewick

#include "gnome_backend_test.moc"
