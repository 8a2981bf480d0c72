#include "platform/launch_at_login.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <sstream>

#include "platform/xdg_autostart.h"
#include "support/virtual_runtime.h"

// Readable failure messages for paths.
inline void PrintTo(const QString& text, std::ostream* os) {
  *os << text.toStdString();
}

namespace dozewick {
namespace {

using testing::VirtualRuntime;

// Counts the calls that change the registration, passing them on to a real or scripted service.
class CountingService final : public LoginItemService {
 public:
  explicit CountingService(LoginItemService* inner = nullptr) : inner_(inner) {}
  LoginItemStatus status() const override { return inner_ ? inner_->status() : scripted; }
  std::optional<std::string> registerItem() override {
    ++registers;
    if (inner_)
      return inner_->registerItem();
    if (failure)
      return failure;
    scripted = LoginItemStatus::enabled;
    return std::nullopt;
  }
  std::optional<std::string> unregisterItem() override {
    ++unregisters;
    if (inner_)
      return inner_->unregisterItem();
    if (failure)
      return failure;
    scripted = LoginItemStatus::notRegistered;
    return std::nullopt;
  }

  LoginItemStatus scripted = LoginItemStatus::notRegistered;
  std::optional<std::string> failure;
  int registers = 0;
  int unregisters = 0;

 private:
  LoginItemService* inner_;
};

// --- The switch and its change rule
// ----------------------------------------------------------------

class LaunchAtLoginRule : public ::testing::Test {
 protected:
  VirtualRuntime runtime_;
  CountingService service_;
  std::ostringstream out_;
};

TEST_F(LaunchAtLoginRule, StartsFromTheSystemAndRepeatsCallNothing) {
  service_.scripted = LoginItemStatus::enabled;
  LaunchAtLoginManager manager(runtime_, service_, out_);
  EXPECT_TRUE(manager.isEnabled().get());
  manager.setEnabled(true);
  EXPECT_EQ(service_.registers + service_.unregisters, 0);

  service_.scripted = LoginItemStatus::requiresApproval;
  LaunchAtLoginManager awaiting(runtime_, service_, out_);
  EXPECT_FALSE(awaiting.isEnabled().get());
}

TEST_F(LaunchAtLoginRule, OnRegistersOnceAndOffUnregistersOnce) {
  LaunchAtLoginManager manager(runtime_, service_, out_);
  manager.setEnabled(true);
  EXPECT_EQ(service_.registers, 1);
  manager.setEnabled(false);
  EXPECT_EQ(service_.unregisters, 1);
  runtime_.runPending();
  EXPECT_EQ(service_.registers + service_.unregisters, 2);
  EXPECT_EQ(out_.str(), "");
}

TEST_F(LaunchAtLoginRule, StatusesOtherThanOnAndOffCallWhicheverWayTheSwitchPoints) {
  service_.scripted = LoginItemStatus::notFound;
  LaunchAtLoginManager manager(runtime_, service_, out_);
  manager.setEnabled(true);
  EXPECT_EQ(service_.registers, 1);

  // The settings dialog refreshes the switch from the system when it appears.
  service_.scripted = LoginItemStatus::requiresApproval;
  manager.setEnabled(manager.systemStatus() == LoginItemStatus::enabled);
  EXPECT_FALSE(manager.isEnabled().get());
  EXPECT_EQ(service_.unregisters, 1);
}

TEST_F(LaunchAtLoginRule, AFailedChangePrintsOneLineFallsBackLaterAndKeepsTheReason) {
  LaunchAtLoginManager manager(runtime_, service_, out_);
  service_.failure = "disk on fire";
  manager.setEnabled(true);
  EXPECT_EQ(out_.str(), "Failed to update launch at login: disk on fire\n");
  EXPECT_EQ(manager.lastError().get(), "disk on fire");
  EXPECT_TRUE(manager.isEnabled().get());  // the fall-back runs after this change

  runtime_.runPending();
  EXPECT_FALSE(manager.isEnabled().get());
  EXPECT_EQ(service_.registers, 1);
  EXPECT_EQ(service_.unregisters, 0);
  EXPECT_EQ(out_.str(), "Failed to update launch at login: disk on fire\n");
  EXPECT_EQ(manager.lastError().get(), "disk on fire");

  // An entry the program did not write (someone else's, or one turned off in the desktop's
  // settings) survives a failed switch-on: the fall-back only shows the system's state.
  for (const auto status : {LoginItemStatus::notFound, LoginItemStatus::requiresApproval}) {
    service_.scripted = status;
    manager.setEnabled(true);
    runtime_.runPending();
    EXPECT_FALSE(manager.isEnabled().get());
    EXPECT_EQ(service_.unregisters, 0);
    EXPECT_EQ(service_.scripted, status);
  }

  service_.failure.reset();
  service_.scripted = LoginItemStatus::notRegistered;
  manager.setEnabled(true);
  EXPECT_EQ(manager.lastError().get(), "");
}

TEST_F(LaunchAtLoginRule, AFallBackQueuedForAManagerThatIsGoneDoesNothing) {
  auto manager = std::make_unique<LaunchAtLoginManager>(runtime_, service_, out_);
  service_.failure = "no";
  manager->setEnabled(true);
  manager.reset();
  runtime_.runPending();
  EXPECT_EQ(service_.registers, 1);
}

// --- The XDG Autostart entry
// ------------------------------------------------------------------------

class XdgAutostart : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(home_.isValid());
    config_ = home_.filePath("config");
    setenv("XDG_CONFIG_HOME", config_.toLocal8Bit().constData(), 1);
    setenv("HOME", home_.path().toLocal8Bit().constData(), 1);
    program_ = makeExecutable(home_.filePath("bin/dozewick"));
  }
  void TearDown() override {
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", realHome_.constData(), 1);
  }

  static QString makeExecutable(const QString& path, const QByteArray& script = "#!/bin/sh\n") {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(script);
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
  }
  QString entry() const { return config_ + "/autostart/dozewick.desktop"; }
  void writeEntry(const QByteArray& text) {
    QDir().mkpath(config_ + "/autostart");
    QFile file(entry());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
  }
  QString readExecValue() const {
    QFile file(entry());
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    for (const QByteArray& line : file.readAll().split('\n')) {
      if (line.startsWith("Exec="))
        return QString::fromUtf8(line.mid(5));
    }
    return {};
  }

  QByteArray realHome_ = qgetenv("HOME");
  QTemporaryDir home_;
  QString config_;
  QString program_;
};

TEST_F(XdgAutostart, RegisterCreatesTheFolderAndAnEnabledEntryUnregisterRemovesIt) {
  XdgAutostartService service(program_);
  EXPECT_EQ(XdgAutostartService::entryPath(), entry());
  EXPECT_EQ(service.status(), LoginItemStatus::notRegistered);

  EXPECT_EQ(service.registerItem(), std::nullopt);
  EXPECT_EQ(service.status(), LoginItemStatus::enabled);
  QFile file(entry());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray text = file.readAll();
  EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
  EXPECT_TRUE(text.contains("\nType=Application\n"));
  file.close();
  // No temporary files are left next to the entry.
  EXPECT_EQ(QDir(config_ + "/autostart").entryList(QDir::Files | QDir::Hidden).size(), 1);

  EXPECT_EQ(service.unregisterItem(), std::nullopt);
  EXPECT_FALSE(QFile::exists(entry()));
  EXPECT_EQ(service.status(), LoginItemStatus::notRegistered);
  EXPECT_EQ(service.unregisterItem(), std::nullopt);  // nothing to remove is no failure
}

TEST_F(XdgAutostart, EntriesWrittenByOthersAreReadTheWayDesktopsReadThem) {
  XdgAutostartService service(program_);
  const QByteArray exec = "Exec=" + program_.toUtf8() + "\n";
  const QByteArray path = QFile::encodeName(QFileInfo(program_).absolutePath());
  const struct {
    QByteArray text;
    LoginItemStatus status;
  } cases[] = {
      // Turned off in the desktop's startup settings.
      {"[Desktop Entry]\n" + exec + "Hidden=true\n", LoginItemStatus::requiresApproval},
      {"[Desktop Entry]\n" + exec + "X-GNOME-Autostart-enabled = false\n",
       LoginItemStatus::requiresApproval},
      {"[Desktop Entry]\n" + exec + "X-GNOME-Autostart-enabled=true\nHidden=false\n",
       LoginItemStatus::enabled},
      // Arguments and field codes follow the program; other groups do not count.
      {"# by hand\n[Desktop Entry]\nExec = " + program_.toUtf8() +
           " --quiet %U\n[Desktop Action Off]\nExec=/bin/false\nHidden=true\n",
       LoginItemStatus::enabled},
      // A bare name is looked up on PATH (set below).
      {"[Desktop Entry]\nExec=dozewick\n", LoginItemStatus::enabled},
      // A missing program, someone else's, none at all, or one that cannot be parsed.
      {"[Desktop Entry]\nExec=\"" + home_.filePath("gone/dozewick").toUtf8() + "\"\n",
       LoginItemStatus::notFound},
      {"[Desktop Entry]\nExec=/bin/sh\n", LoginItemStatus::notFound},
      {"[Desktop Entry]\nName=Dozewick\n", LoginItemStatus::notFound},
      {"[Desktop Entry]\nExec=\"" + program_.toUtf8() + "\n", LoginItemStatus::notFound},
  };
  const QByteArray oldPath = qgetenv("PATH");
  qputenv("PATH", path);
  for (const auto& [text, status] : cases) {
    writeEntry(text);
    EXPECT_EQ(service.status(), status) << text.toStdString();
  }
  qputenv("PATH", oldPath);
}

TEST(DesktopEntryExec, QuotingFollowsTheDesktopEntryRules) {
  // A literal dollar sign is \\$, a literal backslash four backslashes.
  EXPECT_EQ(desktop_entry::execValue("/opt/a b/$x\\y\"q`"),
            "\"/opt/a b/\\\\$x\\\\\\\\y\\\\\"q\\\\`\"");
  // A percent sign is %%, and the program is started through env.
  EXPECT_EQ(desktop_entry::execValue("/opt/100%"), "env \"/opt/100%%\"");
  EXPECT_EQ(desktop_entry::execValue("/opt/a=100%"), "\"/opt/a=100%%\"");

  EXPECT_EQ(desktop_entry::programOfExecValue("\"/opt/a b/\\\\$x\\\\\\\\y%%z\\\\\"q\\\\`\" %f"),
            "/opt/a b/$x\\y%z\"q`");
  EXPECT_EQ(desktop_entry::programOfExecValue("  /usr/bin/dozewick"), "/usr/bin/dozewick");
  EXPECT_EQ(desktop_entry::programOfExecValue("/usr/bin/env LANG=C -i \"/opt/x y\" -q"),
            "/opt/x y");
  // An unquoted space splits the line, even when written as the \s escape.
  EXPECT_EQ(desktop_entry::programOfExecValue("/usr/bin/doze\\swick -x"), "/usr/bin/doze");
  EXPECT_EQ(desktop_entry::programOfExecValue(""), std::nullopt);
  EXPECT_EQ(desktop_entry::programOfExecValue("\"\""), std::nullopt);
  EXPECT_EQ(desktop_entry::programOfExecValue("env A=1"), std::nullopt);
}

TEST_F(XdgAutostart, AwkwardProgramPathsSurviveTheRoundTrip) {
  const QString awkward = makeExecutable(home_.filePath(
      "My Apps/it's \"dozy\" 100% $HOME \\ back`tick`/tab\there/new\nline/doze wick"));
  XdgAutostartService service(awkward);
  ASSERT_EQ(service.registerItem(), std::nullopt);
  EXPECT_EQ(desktop_entry::programOfExecValue(readExecValue()), awkward);
  EXPECT_EQ(service.status(), LoginItemStatus::enabled);
}

TEST_F(XdgAutostart, AGLibDesktopStartsTheEntryOfAnAwkwardPath) {
  const QString gio = QStandardPaths::findExecutable("gio");
  if (gio.isEmpty())
    GTEST_SKIP() << "gio (GLib's desktop launcher) is not installed";
  const QString marker = home_.filePath("started");
  const QString awkward = makeExecutable(home_.filePath("it's \"100%\" $HOME \\ `x`/doze wick"),
                                         "#!/bin/sh\ntouch '" + marker.toUtf8() + "'\n");
  XdgAutostartService service(awkward);
  ASSERT_EQ(service.registerItem(), std::nullopt);
  QProcess launch;
  launch.setProcessChannelMode(QProcess::MergedChannels);
  launch.start(gio, {"launch", entry()});
  ASSERT_TRUE(launch.waitForFinished(10'000));
  EXPECT_EQ(launch.exitCode(), 0) << launch.readAll().toStdString();
  QDeadlineTimer deadline(10'000);
  while (!QFile::exists(marker) && !deadline.hasExpired())
    QThread::msleep(20);
  EXPECT_TRUE(QFile::exists(marker));
}

TEST_F(XdgAutostart, ConfigHomeUnsetOrRelativeMeansDotConfigInHome) {
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(XdgAutostartService::autostartDirectory(), QDir::homePath() + "/.config/autostart");
  setenv("XDG_CONFIG_HOME", "relative/config", 1);
  EXPECT_EQ(XdgAutostartService::autostartDirectory(), QDir::homePath() + "/.config/autostart");
}

TEST_F(XdgAutostart, FailuresSayWhatFailedWhereAndWhy) {
  XdgAutostartService service(program_);
  // A file where the folder should be stops even root.
  QDir().mkpath(config_);
  QFile blocker(config_ + "/autostart");
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  const auto error = service.registerItem();
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->rfind(
                "Could not create the folder " + (config_ + "/autostart").toStdString() + ": ", 0),
            0u)
      << *error;
  EXPECT_GT(error->size(), (config_ + "/autostart").size() + 30u);

  // A folder where the entry should be cannot be removed as a file.
  QFile::remove(config_ + "/autostart");
  QDir().mkpath(entry() + "/inside");
  const auto removal = service.unregisterItem();
  ASSERT_TRUE(removal.has_value());
  EXPECT_NE(removal->find("Could not remove " + entry().toStdString() + ": "), std::string::npos)
      << *removal;
}

// A failed switch-on leaves whatever was in the entry's place as it was; a link is written
// through only to a regular file inside the home folder.
TEST_F(XdgAutostart, AFailedSwitchOnChangesNothingAndLinksLeadOnlyToFilesAtHome) {
  QTemporaryDir elsewhere;  // outside the home folder
  const QString passwd = elsewhere.filePath("passwd");
  const QByteArray passwdText = "root:x:0:0:root:/root:/bin/bash\n";
  const QByteArray usersEntry = "[Desktop Entry]\nExec=/bin/true\nHidden=true\n";
  const auto put = [](const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
  };
  const auto link = [this](const QString& target) {
    QDir().mkpath(config_ + "/autostart");
    ASSERT_TRUE(QFile::link(target, entry()));
  };
  const struct {
    const char* name;
    std::function<void()> layout;
    const char* reason;
    bool failsForRoot;
  } cases[] = {
      {"a folder in the entry's place", [&] { put(entry() + "/keep", "mine"); }, "is a folder",
       true},
      {"a link out of the home folder",
       [&] {
         put(passwd, passwdText);
         link(passwd);
       },
       "which is outside the home folder", true},
      {"a link to a folder at home",
       [&] {
         QDir().mkpath(home_.filePath("dots/folder"));
         link(home_.filePath("dots/folder"));
       },
       "which is not a regular file", true},
      {"a link to nothing", [&] { link(home_.filePath("dots/missing")); }, "which does not exist",
       true},
      {"the user's read-only entry",
       [&] {
         put(entry(), usersEntry);
         QFile(entry()).setPermissions(QFile::ReadOwner);
       },
       "is not writable", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QDir(config_).removeRecursively();
    if (!c.failsForRoot && geteuid() == 0)
      continue;  // permission bits do not stop root; the unprivileged run covers this
    c.layout();
    const QFileInfo before(entry());
    XdgAutostartService xdg(program_);
    CountingService service(&xdg);
    VirtualRuntime runtime;
    std::ostringstream out;
    LaunchAtLoginManager manager(runtime, service, out);
    manager.setEnabled(true);
    runtime.runPending();

    EXPECT_FALSE(manager.isEnabled().get());
    EXPECT_EQ(service.unregisters, 0);
    const std::string printed = out.str();
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
    EXPECT_NE(printed.find(entry().toStdString()), std::string::npos) << printed;
    EXPECT_NE(printed.find(c.reason), std::string::npos) << printed;
    const QFileInfo after(entry());
    EXPECT_EQ(after.isSymLink(), before.isSymLink());
    EXPECT_EQ(after.symLinkTarget(), before.symLinkTarget());
    EXPECT_EQ(after.isDir(), before.isDir());
    EXPECT_EQ(after.exists(), before.exists());
    if (before.isDir() && !before.isSymLink()) {
      EXPECT_TRUE(QFile::exists(entry() + "/keep"));
    }
    if (before.isFile() && !before.isSymLink()) {
      QFile file(entry());
      ASSERT_TRUE(file.open(QIODevice::ReadOnly));
      EXPECT_EQ(file.readAll(), usersEntry);
    }
  }
  QFile outside(passwd);
  ASSERT_TRUE(outside.open(QIODevice::ReadOnly));
  EXPECT_EQ(outside.readAll(), passwdText);

  // A link to a regular file at home (dotfiles kept in a folder of their own) stays a link,
  // and its target takes the entry.
  QDir(config_).removeRecursively();
  const QString dotfile = home_.filePath("dots/dozewick.desktop");
  put(dotfile, usersEntry);
  link(dotfile);
  XdgAutostartService service(program_);
  ASSERT_EQ(service.registerItem(), std::nullopt);
  EXPECT_TRUE(QFileInfo(entry()).isSymLink());
  EXPECT_EQ(service.status(), LoginItemStatus::enabled);
  QFile target(dotfile);
  ASSERT_TRUE(target.open(QIODevice::ReadOnly));
  EXPECT_TRUE(target.readAll().contains("\nExec="));
}

TEST_F(XdgAutostart, SwitchWithTheRealEntryRegistersUnregistersAndRevertsAFailure) {
  XdgAutostartService xdg(program_);
  CountingService service(&xdg);
  VirtualRuntime runtime;
  std::ostringstream out;
  LaunchAtLoginManager manager(runtime, service, out);
  EXPECT_FALSE(manager.isEnabled().get());

  manager.setEnabled(true);
  EXPECT_TRUE(QFile::exists(entry()));
  LaunchAtLoginManager restarted(runtime, service, out);
  EXPECT_TRUE(restarted.isEnabled().get());
  manager.setEnabled(false);
  EXPECT_FALSE(QFile::exists(entry()));

  QFile blocker(config_ + "/autostart");
  QDir(config_ + "/autostart").removeRecursively();
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  ::testing::internal::CaptureStdout();
  LaunchAtLoginManager printing(runtime, service, std::cout);
  printing.setEnabled(true);
  runtime.runPending();
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed.rfind("Failed to update launch at login: Could not create the folder ", 0), 0u)
      << printed;
  EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1);
  EXPECT_EQ(printed.back(), '\n');
  EXPECT_FALSE(printing.isEnabled().get());
  EXPECT_EQ(service.registers, 2);
  EXPECT_EQ(service.unregisters, 1);
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace dozewick
