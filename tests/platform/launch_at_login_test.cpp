// Launch at login and its XDG Autostart entry, judged by the bytes on disk.
#include "platform/launch_at_login.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <sstream>

#include "platform/xdg_autostart.h"
#include "support/fake_login_items.h"
#include "support/scratch_file_system.h"
#include "support/virtual_runtime.h"

namespace dozewick {
namespace {

using ScriptedService = testing::FakeLoginItems;
using testing::put;

TEST(LaunchAtLoginTest, TheSwitchStartsFromTheSystemAndCallsOnlyOnChanges) {
  testing::VirtualRuntime runtime;
  ScriptedService service;
  std::ostringstream out;
  for (const auto& [status, on] : {std::pair{LoginItemStatus::enabled, true},
                                   {LoginItemStatus::requiresApproval, false},
                                   {LoginItemStatus::notFound, false}}) {
    service.current = status;
    EXPECT_EQ(LaunchAtLoginManager(runtime, service, out).isEnabled().get(), on);
  }
  LaunchAtLoginManager manager(runtime, service, out);
  manager.setEnabled(false);
  EXPECT_EQ(service.changes, 0);
  manager.setEnabled(true);  // from notFound: registers
  EXPECT_EQ(service.current, LoginItemStatus::enabled);
  manager.setEnabled(true);
  service.current = LoginItemStatus::requiresApproval;
  manager.setEnabled(false);  // awaiting approval is not off: unregisters
  EXPECT_EQ(service.current, LoginItemStatus::notRegistered);
  EXPECT_EQ(service.changes, 2);

  // An entry the program did not write (someone else's, or one turned off in the desktop's
  // settings) survives a failed switch-on: the fall-back only shows the system's state.
  service.failure = "disk on fire";
  for (const auto status : {LoginItemStatus::notFound, LoginItemStatus::requiresApproval}) {
    service.current = status;
    manager.setEnabled(true);
    runtime.runPending();
    EXPECT_FALSE(manager.isEnabled().get());
    EXPECT_EQ(service.current, status);
  }
  EXPECT_EQ(service.changes, 4) << "two switch-ons, no switch-off";
  service.failure.reset();
  service.current = LoginItemStatus::notRegistered;
  manager.setEnabled(true);
  EXPECT_EQ(manager.lastError().get(), "");

  auto gone = std::make_unique<LaunchAtLoginManager>(runtime, service, out);
  gone->setEnabled(true);
  gone.reset();
  runtime.runPending();  // its fall-back finds no manager
}

class XdgAutostartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config_ = home_.filePath("config");
    ::setenv("XDG_CONFIG_HOME", config_.toLocal8Bit().constData(), 1);
    ::setenv("HOME", home_.path().toLocal8Bit().constData(), 1);
  }
  void TearDown() override {
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", realHome_.constData(), 1);
  }

  QString executable(const QString& relative, const QByteArray& script = "#!/bin/sh\n") {
    const QString path = home_.filePath(relative);
    put(path, script);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
  }
  QString entry() const { return config_ + "/autostart/dozewick.desktop"; }

  QByteArray realHome_ = qgetenv("HOME");
  QTemporaryDir home_;
  QString config_;
};

TEST_F(XdgAutostartTest, EntriesAreReadTheWayDesktopsReadThem) {
  const QString program = executable("bin/dozewick");
  XdgAutostartService service(program);
  EXPECT_EQ(XdgAutostartService::entryPath(), entry());
  EXPECT_EQ(service.status(), LoginItemStatus::notRegistered);
  const QByteArray exec = "Exec=" + program.toUtf8() + "\n";
  const std::pair<QByteArray, LoginItemStatus> cases[] = {
      // Turned off in the desktop's startup settings.
      {exec + "Hidden=true\n", LoginItemStatus::requiresApproval},
      {exec + "X-GNOME-Autostart-enabled = false\n", LoginItemStatus::requiresApproval},
      {exec + "X-GNOME-Autostart-enabled=true\nHidden=false\n", LoginItemStatus::enabled},
      // Arguments and field codes follow the program; other groups do not count.
      {"Exec = " + program.toUtf8() + " --quiet %U\n[Desktop Action Off]\nHidden=true\n",
       LoginItemStatus::enabled},
      {"Exec=dozewick\n", LoginItemStatus::enabled},  // looked up on PATH
      {"Exec=\"" + home_.filePath("gone/dozewick").toUtf8() + "\"\n", LoginItemStatus::notFound},
      {"Exec=/bin/sh\n", LoginItemStatus::notFound},
      {"Name=Dozewick\n", LoginItemStatus::notFound},
      {"Exec=\"" + program.toUtf8() + "\n", LoginItemStatus::notFound},
  };
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", QFile::encodeName(QFileInfo(program).absolutePath()));
  QDir().mkpath(config_ + "/autostart");
  for (const auto& [text, status] : cases) {
    put(entry(), "[Desktop Entry]\n" + text);
    EXPECT_EQ(service.status(), status) << text.toStdString();
  }
  qputenv("PATH", path);
  // A pipe in the entry's place is not read: it would block until someone wrote to it.
  QFile::remove(entry());
  ASSERT_EQ(::mkfifo(QFile::encodeName(entry()).constData(), 0600), 0);
  EXPECT_EQ(service.status(), LoginItemStatus::notFound);

  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(XdgAutostartService::autostartDirectory(), QDir::homePath() + "/.config/autostart");
  ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
  EXPECT_EQ(XdgAutostartService::autostartDirectory(), QDir::homePath() + "/.config/autostart");
}

// Writing is the awkward paths' round trip below; here reading what others write.
TEST(DesktopEntryExecTest, TheProgramIsReadAsDesktopsReadIt) {
  using desktop_entry::programOfExecValue;
  EXPECT_EQ(programOfExecValue("\"/opt/a b/\\\\$x\\\\\\\\y%%z\\\\\"q\\\\`\" %f"),
            "/opt/a b/$x\\y%z\"q`");
  EXPECT_EQ(programOfExecValue("/usr/bin/env LANG=C -i \"/opt/x y\" -q"), "/opt/x y");
  EXPECT_EQ(programOfExecValue("/usr/bin/doze\\swick -x"), "/usr/bin/doze");
  for (const char* unclear : {"", "\"\"", "env A=1"})
    EXPECT_EQ(programOfExecValue(unclear), std::nullopt) << unclear;
}

// The entry of an awkward path, written, read back, and started by GLib as a desktop does.
TEST_F(XdgAutostartTest, AwkwardPathsSurviveTheRoundTripAndStart) {
  const QString marker = home_.filePath("started");
  const QString program = executable("it's \"100%\" $HOME \\ `x`/tab\there/new\nline/doze wick",
                                     "#!/bin/sh\ntouch '" + marker.toUtf8() + "'\n");
  XdgAutostartService service(program);
  ASSERT_EQ(service.registerItem(), std::nullopt);
  EXPECT_EQ(service.status(), LoginItemStatus::enabled);
  EXPECT_EQ(QDir(config_ + "/autostart").entryList(QDir::Files | QDir::Hidden).size(), 1)
      << "no temporary file is left";
  const QString gio = QStandardPaths::findExecutable("gio");
  ASSERT_FALSE(gio.isEmpty()) << "gio (GLib's desktop launcher) is not installed";
  QProcess launch;
  launch.setProcessChannelMode(QProcess::MergedChannels);
  launch.start(gio, {"launch", entry()});
  ASSERT_TRUE(launch.waitForFinished(10'000));
  EXPECT_EQ(launch.exitCode(), 0) << launch.readAll().toStdString();
  QDeadlineTimer deadline(10'000);
  while (!QFile::exists(marker) && !deadline.hasExpired())
    QThread::msleep(20);
  EXPECT_TRUE(QFile::exists(marker));

  EXPECT_EQ(service.unregisterItem(), std::nullopt);
  EXPECT_EQ(service.status(), LoginItemStatus::notRegistered);
  EXPECT_EQ(service.unregisterItem(), std::nullopt) << "nothing to remove is no failure";
}

// A failed switch-on leaves whatever was in the entry's place as it was and says why; which
// links are written through, and a full disk, are the save helper's rules.
TEST_F(XdgAutostartTest, AFailedSwitchOnChangesNothingAndSaysWhy) {
  const QByteArray usersEntry = "[Desktop Entry]\nExec=/bin/true\n";
  const QByteArray oldEntry = "[Desktop Entry]\nExec=/opt/old/dozewick\nHidden=true\n";
  const QString program = executable("bin/dozewick");
  const struct {
    const char* name;
    std::function<void()> layout;
    const char* reason;
    bool ours;  // switching off removes it
  } cases[] = {
      {"a folder in the entry's place", [&] { put(entry() + "/keep", "mine"); }, "is a folder",
       false},
      {"a file in the folder's place", [&] { put(config_ + "/autostart", "x"); },
       "Could not create the folder", false},
      {"someone else's entry of the same name", [&] { put(entry(), usersEntry); },
       "starts another program (/bin/true)", false},
      {"an entry of ours the user made read-only",
       [&] {
         put(entry(), oldEntry);
         QFile(entry()).setPermissions(QFile::ReadOwner);
       },
       "is not writable", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QDir(config_).removeRecursively();
    if (c.ours && geteuid() == 0)
      continue;  // permission bits do not stop root; the unprivileged run covers this
    c.layout();
    const testing::Tree before = testing::filesBelow(config_);
    XdgAutostartService service(program);
    testing::VirtualRuntime runtime;
    std::ostringstream out;
    LaunchAtLoginManager manager(runtime, service, out);
    manager.setEnabled(true);
    runtime.runPending();

    EXPECT_FALSE(manager.isEnabled().get());
    const std::string printed = out.str();
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
    EXPECT_NE(printed.find((config_ + "/autostart").toStdString()), std::string::npos) << printed;
    EXPECT_NE(printed.find(c.reason), std::string::npos) << printed;
    EXPECT_EQ(testing::filesBelow(config_), before);

    const auto off = service.unregisterItem();
    testing::Tree left = before;
    if (c.ours)
      left.erase("autostart/dozewick.desktop");
    EXPECT_EQ(testing::filesBelow(config_), left) << off.value_or("");
  }
}

}  // namespace
}  // namespace dozewick
