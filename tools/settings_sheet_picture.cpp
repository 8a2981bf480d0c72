// Draws the settings dialog with its everyday settings, in English and in Simplified Chinese.
// Offscreen, as the dialog opens over the panel:
//
//   cmake --build --preset debug --target dozewick_settings_sheet_picture
//   QT_QPA_PLATFORM=offscreen build/debug/tools/dozewick_settings_sheet_picture
//       docs/settings.png docs/settings-zh-Hans.png
#include <QApplication>
#include <QTemporaryDir>
#include <iostream>
#include <map>

#include "core/clock.h"
#include "localization/preferences_file.h"
#include "localization/user_settings.h"
#include "platform/backend_factory.h"
#include "platform/qt_runtime.h"
#include "views/settings_view.h"

using namespace dozewick;

namespace {

class NoLoginItem final : public LoginItemService {
 public:
  LoginItemStatus status() const override { return LoginItemStatus::notRegistered; }
  std::optional<std::string> registerItem() override { return std::nullopt; }
  std::optional<std::string> unregisterItem() override { return std::nullopt; }
};

bool draw(SettingsView& view, const char* path) {
  QApplication::processEvents();
  if (view.grab().save(QString::fromLocal8Bit(path)))
    return true;
  std::cerr << "could not write " << path << '\n';
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 3) {
    std::cerr << "usage: dozewick_settings_sheet_picture ENGLISH.png CHINESE.png\n";
    return 2;
  }
  QTemporaryDir folder;
  PreferencesFile preferences(folder.filePath(QStringLiteral("Dozewick.conf")), std::cerr);
  LanguageManager language(preferences, {"en"});
  UserSettings settings(preferences);
  settings.setStartAtLaunch(true);
  settings.setIdleSeconds(300);
  for (const char* name : {"Rhythmbox", "org.gnome.Terminal"})
    settings.keep(name);

  QtRuntime runtime;
  SystemClock clock;
  BackendContext context;
  context.texts = &language;
  context.diagnostics = &std::cerr;
  const auto backend = makeBackend(BackendKind::none, context);
  const auto checker = PermissionChecker::create(runtime, language, *backend);
  const auto manager = WindowManager::create(clock, runtime, backend->windowSystem(), *checker);
  NoLoginItem loginItem;
  LaunchAtLoginManager launchAtLogin(runtime, loginItem, std::cout);
  ViewServices services{
      *manager, *checker,           language, launchAtLogin, runtime, backend->ownWindows(),
      [] {},    "/usr/bin/dozewick"};
  services.settings = &settings;
  services.knownApplication = [](const std::string& appName, const std::string& code) {
    static const std::map<std::string, std::pair<const char*, const char*>> names = {
        {"Rhythmbox", {"Rhythmbox", "Rhythmbox"}}, {"org.gnome.Terminal", {"Terminal", "终端"}}};
    const auto& name = names.at(appName);
    return KnownApplication{appName, QString::fromUtf8(code == "en" ? name.first : name.second),
                            QString()};
  };

  SettingsView view(services);
  view.show();
  if (!draw(view, argv[1]))
    return 1;
  language.setCurrentLanguage("zh-Hans");
  return draw(view, argv[2]) ? 0 : 1;
}
