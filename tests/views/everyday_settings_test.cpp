// The settings dialog's everyday settings: each control saves its setting to the preferences file.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>

#include "localization/preferences_file.h"
#include "localization/user_settings.h"
#include "platform/desktop_applications.h"
#include "support/desktop_services.h"
#include "support/scratch_file_system.h"
#include "views/menu_bar_view.h"
#include "views/permission_request_view.h"  // the panel's header needs its dialogs complete
#include "views/settings_view.h"
#include "views/view_widgets.h"

namespace dozewick::testing {
namespace {

using EverydaySettingsTest = DesktopServicesTest;

// With the everyday settings the sheet shows them too; each control saves its setting to the
// preferences file at once, and applications are named from their desktop entries.
TEST_F(EverydaySettingsTest, TheSettingsSheetSavesEachSetting) {
  QTemporaryDir home;
  put(home.filePath("org.gnome.Nautilus.desktop"),
      "[Desktop Entry]\nType=Application\nName=Files\nName[zh_CN]=文件\nIcon=folder\n");
  put(home.filePath("music.desktop"),
      "[Desktop Entry]\nType=Application\nName=Music\nStartupWMClass=Rhythmbox\n");
  const DesktopApplications entries({home.path()});
  PreferencesFile file(home.filePath("Dozewick.conf"), out);
  UserSettings settings(file);
  services->settings = &settings;
  services->applicationsOnScreen = [] {
    return std::vector<std::string>{"org.gnome.Nautilus", "rhythmbox", "xterm"};
  };
  services->knownApplication = [&entries](const std::string& name, const std::string& language) {
    return entries.lookUp(name, language);
  };
  const auto saved = [&home] {
    QFile in(home.filePath("Dozewick.conf"));
    return in.open(QIODevice::ReadOnly) ? QString::fromUtf8(in.readAll()) : QString();
  };

  auto panel = std::make_unique<MenuBarView>(*services);
  panel->show();
  settle();
  find<QPushButton>(*panel, "settingsButton")->click();
  settle();
  QPointer<SettingsView> sheet = panel->settingsSheet();
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->width(), 360);
  EXPECT_TRUE(find(*sheet, "neverHideList")->isVisible());
  EXPECT_EQ(saved(), "") << "opening writes nothing";

  find<SwitchToggle>(*sheet, "startAtLaunchSwitch")->click();
  auto* idle = find<QComboBox>(*sheet, "idleTimeChoice");
  EXPECT_EQ(idle->currentText(), "1 min");
  Q_EMIT idle->activated(idle->findData(30));
  find<QSpinBox>(*sheet, "protectedCountChoice")->setValue(0);
  auto* choices = find<QMenu>(*sheet, "neverHideChoices");
  Q_EMIT choices->aboutToShow();
  QStringList offered;
  for (const QAction* action : choices->actions())
    offered << action->text();
  EXPECT_EQ(offered, (QStringList{"Files", "Music", "xterm"}));
  choices->actions().at(0)->trigger();
  choices->actions().at(2)->trigger();
  settle();
  EXPECT_EQ(saved(),
            "[General]\nstart_at_launch=true\nidle_seconds=30\nprotected_windows=0\n"
            "never_hide=org.gnome.Nautilus, xterm\n");
  EXPECT_EQ(idle->currentText(), "30 s");

  services->language.setCurrentLanguage("zh-Hans");
  settle();
  auto* list = find<QListWidget>(*sheet, "neverHideList");
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text(), QString::fromUtf8("文件"));
  EXPECT_EQ(find<QLabel>(*sheet, "neverHideRowTitle")->text(), QString::fromUtf8("从不最小化"));
  EXPECT_EQ(idle->currentText(), QString::fromUtf8("30 秒"));
  list->setCurrentRow(0);
  find<QPushButton>(*sheet, "neverHideRemove")->click();
  find<SwitchToggle>(*sheet, "startAtLaunchSwitch")->click();
  settle();
  EXPECT_EQ(list->count(), 1);
  EXPECT_TRUE(saved().contains("\nstart_at_launch=false\n") &&
              saved().endsWith("never_hide=xterm\n"))
      << saved().toStdString();
  sheet->reject();
  settle();
}

}  // namespace
}  // namespace dozewick::testing
