// Draws the panel and its two sheets in both languages, in a light and a dark theme, as pictures.
// The real views over the real services, fed by a desktop of five windows that exists only here:
//
//   cmake --build --preset debug --target dozewick_panel_screenshots
//   QT_QPA_PLATFORM=offscreen build/debug/tools/dozewick_panel_screenshots docs/screenshots
//
// Writes <folder>/{panel,settings,permission}-{en,zh-Hans}-{light,dark}.png.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPalette>
#include <QPixmap>
#include <QStyleFactory>
#include <iostream>
#include <map>
#include <sstream>

#include "core/clock.h"
#include "core/window_manager.h"
#include "localization/language_manager.h"
#include "localization/user_settings.h"
#include "platform/launch_at_login.h"
#include "platform/permission_checker.h"
#include "platform/qt_runtime.h"
#include "views/menu_bar_view.h"
#include "views/permission_request_view.h"  // the panel's header needs its sheets complete
#include "views/settings_view.h"
#include "views/style.h"
#include "views/view_services.h"

using namespace dozewick;

namespace {

// Five windows of five applications, the first in front.
class FiveWindows final : public WindowSystem {
 public:
  WindowEntries onScreenWindowEntries() override {
    static const char* const names[] = {"Terminal", "Files", "Editor", "Browser", "Mail"};
    std::vector<WindowEntry> entries;
    for (std::int64_t i = 0; i < 5; ++i)
      entries.push_back({std::int64_t{0}, i + 1, 100 + i, std::string(names[i]), names[i]});
    return unlessUnchanged(last_, std::move(entries));
  }
  bool hideApplication(std::int32_t) override { return false; }
  std::optional<std::vector<AccessibleWindow>> applicationWindows(std::int32_t) override {
    return std::nullopt;
  }
  bool setMinimized(const AccessibleWindow&) override { return false; }
  std::optional<std::int32_t> frontmostApplicationPID() override { return 100; }

 private:
  WindowEntries last_;
};

class PictureDesktop final : public Backend {
 public:
  bool ready = true;
  WindowSystem& windowSystem() override { return windows_; }
  Readiness readiness() override { return ready ? Readiness::ready : Readiness::notAnswering; }
  void showHelp() override {}
  std::string requirementKey() override { return "needs.x11"; }

 private:
  FiveWindows windows_;
};

class KeptPreferences final : public Preferences {
 public:
  std::optional<std::string> string(const std::string& key) const override {
    const auto found = strings_.find(key);
    return found == strings_.end() ? std::nullopt : std::optional(found->second);
  }
  std::optional<std::vector<std::string>> stringList(const std::string&) const override {
    return std::nullopt;
  }
  void setString(const std::string& key, const std::string& value) override {
    strings_[key] = value;
  }
  void setStringList(const std::string&, const std::vector<std::string>&) override {}
  std::optional<std::string> synchronize() override { return std::nullopt; }

 private:
  std::map<std::string, std::string> strings_;
};

class NoLoginItem final : public LoginItemService {
 public:
  LoginItemStatus status() const override { return LoginItemStatus::notRegistered; }
  std::optional<std::string> registerItem() override { return std::nullopt; }
  std::optional<std::string> unregisterItem() override { return std::nullopt; }
};

// Lets the event loop run what is due for a while: the checks, the redraws.
void settle(int ms = 150) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(MenuBarView& panel, const QString& path) {
  panel.resize(panel.sizeHint());
  settle();
  if (panel.grab().save(path))
    return true;
  std::cerr << "cannot write " << path.toStdString() << '\n';
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::cerr << "usage: dozewick_panel_screenshots FOLDER\n";
    return 2;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.mkpath(QStringLiteral("."))) {
    std::cerr << "cannot make " << argv[1] << '\n';
    return 1;
  }
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  const QPalette light = QApplication::palette();

  SystemClock clock;
  QtRuntime runtime;
  KeptPreferences preferences;
  LanguageManager language(preferences, {"en-US"}, nullptr);
  PictureDesktop desktop;
  auto checker = PermissionChecker::create(runtime, language, desktop);
  auto manager = WindowManager::create(clock, runtime, desktop.windowSystem(), *checker);
  NoLoginItem loginItem;
  std::ostringstream ignored;
  LaunchAtLoginManager launchAtLogin(runtime, loginItem, ignored);
  OwnWindows ownWindows;
  ViewServices services{*manager,   *checker,   language, launchAtLogin,
                        runtime,    ownWindows, {},       "/usr/bin/dozewick",
                        "needs.x11"};
  UserSettings settings(preferences);
  settings.setStartAtLaunch(true);
  settings.setIdleSeconds(300);
  for (const char* name : {"Rhythmbox", "org.gnome.Terminal"})
    settings.keep(name);
  services.settings = &settings;
  services.knownApplication = [](const std::string& appName, const std::string& code) {
    static const std::map<std::string, std::pair<const char*, const char*>> names = {
        {"Rhythmbox", {"Rhythmbox", "Rhythmbox"}}, {"org.gnome.Terminal", {"Terminal", "终端"}}};
    const auto& name = names.at(appName);
    return KnownApplication{appName, QString::fromUtf8(code == "en" ? name.first : name.second),
                            QString()};
  };

  bool written = true;
  for (const bool dark : {false, true}) {
    QApplication::setPalette(dark ? style::darkPalette() : light);
    for (const char* code : {"en", "zh-Hans"}) {
      language.setCurrentLanguage(code);
      const QString suffix =
          QStringLiteral("-%1-%2.png").arg(QLatin1String(code), dark ? "dark" : "light");
      desktop.ready = true;
      checker->checkPermissionAsync(nullptr);
      manager->start();
      MenuBarView panel(services);
      panel.show();
      settle(300);
      written &= save(panel, folder.filePath("panel" + suffix));
      panel.presentSettings();
      written &= save(panel, folder.filePath("settings" + suffix));
      manager->stop();
      desktop.ready = false;
      checker->checkPermissionAsync(nullptr);
      settle();
      panel.presentPermissionSheet();
      written &= save(panel, folder.filePath("permission" + suffix));
    }
  }
  return written ? 0 : 1;
}
