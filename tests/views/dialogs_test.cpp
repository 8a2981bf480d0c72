#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest/QTest>
#include <memory>

#include "view_fixture.h"
#include "views/permission_request_view.h"
#include "views/settings_view.h"
#include "views/style.h"
#include "views/view_widgets.h"

namespace dozewick::testing {
namespace {

using std::chrono::milliseconds;

template <class T>
T* find(QWidget& root, const char* name) {
  T* child = root.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(child, nullptr) << name;
  return child;
}

// A panel stand-in that the sheets are modal over.
class DialogsTest : public ViewsTest {
 protected:
  DialogsTest() {
    owner.resize(260, 400);
    owner.show();
  }

  PermissionRequestView* openPermission() {
    auto* sheet = new PermissionRequestView(*services, &owner);
    sheet->open();
    settle();
    return sheet;
  }
  SettingsView* openSettings() {
    auto* sheet = new SettingsView(*services, &owner);
    sheet->open();
    settle();
    return sheet;
  }

  QWidget owner;
};

// The permission sheet.
class PermissionSheetTest : public DialogsTest {
 protected:
  QPushButton* mainButton(QWidget& sheet) { return find<QPushButton>(sheet, "mainButton"); }
  QLabel* status(QWidget& sheet) { return find<QLabel>(sheet, "status"); }
  QColor colour(ColorRole role) { return style::color(role, owner.palette()); }
};

TEST_F(PermissionSheetTest, GuidedCheckWalksThroughTheButtonForms) {
  QPointer<PermissionRequestView> sheet = openPermission();
  // Before any guided check: no status line, the enabled authorize form.
  EXPECT_FALSE(status(*sheet)->isVisibleTo(sheet));
  EXPECT_EQ(mainButton(*sheet)->text(), text("button.authorize"));
  EXPECT_TRUE(mainButton(*sheet)->isEnabled());
  EXPECT_EQ(find<QPushButton>(*sheet, "closeButton")->text(), text("button.close"));
  EXPECT_EQ(find<QLabel>(*sheet, "title")->text(), text("permission.title"));
  EXPECT_EQ(find<QLabel>(*sheet, "step3")->text(), text("permission.step3"));
  EXPECT_EQ(find<SymbolView>(*sheet, "step4Icon")->symbolName(), "4.circle");
  EXPECT_EQ(find<MiddleElidedLabel>(*sheet, "executablePath")->text(), "/usr/local/bin/dozewick");

  mainButton(*sheet)->click();
  settle();
  EXPECT_EQ(settingsOpened, 1);
  EXPECT_EQ(mainButton(*sheet)->text(), text("status.checking"));
  EXPECT_FALSE(mainButton(*sheet)->isEnabled());
  EXPECT_TRUE(status(*sheet)->isVisibleTo(sheet));
  EXPECT_EQ(status(*sheet)->text(), text("status.checking"));
  EXPECT_EQ(status(*sheet)->palette().color(QPalette::WindowText), colour(ColorRole::orange));

  runtime.advance(milliseconds(1000));
  settle();
  EXPECT_EQ(status(*sheet)->text(), text("status.checking") + " (1s)");

  // The grant found by a tick: the green, disabled granted form; the sheet stays.
  trusted = true;
  runtime.advance(milliseconds(1000));
  settle();
  ASSERT_TRUE(sheet);
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_EQ(mainButton(*sheet)->text(), text("status.permission.granted"));
  EXPECT_FALSE(mainButton(*sheet)->isEnabled());
  EXPECT_EQ(mainButton(*sheet)->property("tint").value<QColor>(), colour(ColorRole::green));
  EXPECT_EQ(status(*sheet)->text(), text("status.permission.granted"));
  EXPECT_EQ(status(*sheet)->palette().color(QPalette::WindowText), colour(ColorRole::green));
  sheet->reject();
  settle();
}

TEST_F(PermissionSheetTest, AfterThirtyTicksTheTimeOutEnablesTheButtonAgain) {
  PermissionRequestView* sheet = openPermission();
  mainButton(*sheet)->click();
  settle();
  runtime.advance(milliseconds(31'000));
  settle();
  EXPECT_EQ(status(*sheet)->text(), text("status.timeout"));
  EXPECT_EQ(status(*sheet)->palette().color(QPalette::WindowText), colour(ColorRole::orange));
  EXPECT_EQ(mainButton(*sheet)->text(), text("button.authorize"));
  EXPECT_TRUE(mainButton(*sheet)->isEnabled());
  sheet->reject();
  settle();
}

// Whichever way the sheet goes, a running poll ends and its last text stays.
TEST_F(PermissionSheetTest, GoingAwayDuringAPollStopsIt) {
  const std::vector<std::pair<const char*, std::function<void(PermissionRequestView&)>>> ways = {
      {"close button",
       [this](PermissionRequestView& s) { find<QPushButton>(s, "closeButton")->click(); }},
      {"escape", [](PermissionRequestView& s) { QTest::keyClick(&s, Qt::Key_Escape); }},
      {"window close", [](PermissionRequestView& s) { s.close(); }},
      {"deleted with its panel", [](PermissionRequestView& s) { delete &s; }},
  };
  for (const auto& [way, closeIt] : ways) {
    SCOPED_TRACE(way);
    QPointer<PermissionRequestView> sheet = openPermission();
    mainButton(*sheet)->click();
    settle();
    runtime.advance(milliseconds(2000));
    settle();
    ASSERT_TRUE(checker->hasCheckTimer());
    closeIt(*sheet);
    settle();
    EXPECT_FALSE(sheet) << "the sheet is built anew each time";
    EXPECT_FALSE(checker->hasCheckTimer());
    EXPECT_FALSE(checker->isCheckingPermission()());
    EXPECT_EQ(checker->checkStatus()(), language.localizedString("status.checking") + " (2s)");
    runtime.advance(milliseconds(5000));
    EXPECT_EQ(checker->checkCount(), 2);
  }
}

TEST_F(PermissionSheetTest, RechecksWhenTheProgramBecomesActiveWhileShown) {
  QPointer<PermissionRequestView> sheet = openPermission();
  const int before = trustQueries;
  emit qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
  settle();
  EXPECT_EQ(trustQueries, before);
  emit qGuiApp->applicationStateChanged(Qt::ApplicationActive);
  settle();
  EXPECT_EQ(trustQueries, before + 1);
  find<QPushButton>(*sheet, "refreshButton")->click();
  settle();
  EXPECT_EQ(trustQueries, before + 2);

  sheet->reject();
  settle();
  emit qGuiApp->applicationStateChanged(Qt::ApplicationActive);
  settle();
  EXPECT_EQ(trustQueries, before + 2);
}

TEST_F(PermissionSheetTest, FollowsALanguageSwitchButKeepsTheStoredStatus) {
  PermissionRequestView* sheet = openPermission();
  mainButton(*sheet)->click();
  settle();
  screenshot(*sheet, QStringLiteral("permission-en"));
  const QString stored = status(*sheet)->text();
  switchLanguage("zh-Hans");
  EXPECT_EQ(find<QLabel>(*sheet, "title")->text(), QStringLiteral("需要辅助功能权限"));
  EXPECT_EQ(find<QLabel>(*sheet, "step1")->text(), QStringLiteral("点击“去授权”"));
  EXPECT_EQ(mainButton(*sheet)->text(), QStringLiteral("正在检查"));
  EXPECT_EQ(find<QPushButton>(*sheet, "closeButton")->text(), QStringLiteral("关闭"));
  EXPECT_EQ(sheet->windowTitle(), QStringLiteral("需要辅助功能权限"));
  EXPECT_EQ(status(*sheet)->text(), stored);
  runtime.advance(milliseconds(1000));
  settle();
  EXPECT_EQ(status(*sheet)->text(), QStringLiteral("正在检查 (1s)"));
  screenshot(*sheet, QStringLiteral("permission-zh-Hans"));
  sheet->reject();
  settle();
}

TEST_F(PermissionSheetTest, ALongPathTakesTwoLinesWithItsMiddleLeftOut) {
  services->executablePath =
      "/home/someone/very/long/folder/names/that/go/on/and/on/for/quite/a/while/before/"
      "they/finally/reach/the/program/itself/which/is/called/dozewick";
  PermissionRequestView* sheet = openPermission();
  auto* path = find<MiddleElidedLabel>(*sheet, "executablePath");
  const auto [first, second] = path->displayedLines();
  EXPECT_TRUE(QString::fromStdString(services->executablePath).startsWith(first));
  EXPECT_TRUE(second.startsWith(QChar(0x2026)));
  EXPECT_TRUE(second.endsWith(QStringLiteral("/called/dozewick")));
  EXPECT_EQ(path->height(), 2 * path->fontMetrics().height());
  screenshot(*sheet, QStringLiteral("permission-long-path"));
  sheet->reject();
  settle();
}

// The settings sheet.
class SettingsSheetTest : public DialogsTest {
 protected:
  SwitchToggle* toggle(QWidget& sheet) { return find<SwitchToggle>(sheet, "launchAtLoginSwitch"); }
};

TEST_F(SettingsSheetTest, IsAlways360By200AndFitsItsRows) {
  const auto expectFit = [](SettingsView& sheet) {
    EXPECT_EQ(sheet.size(), QSize(360, 200));
    for (QWidget* child : sheet.findChildren<QWidget*>()) {
      if (!child->isVisibleTo(&sheet) || child->isWindow())
        continue;
      const QRect inSheet(child->mapTo(&sheet, QPoint(0, 0)), child->size());
      EXPECT_TRUE(sheet.rect().contains(inSheet)) << child->objectName().toStdString();
      EXPECT_GE(child->height(), child->minimumSizeHint().height())
          << child->objectName().toStdString();
    }
  };
  for (const char* code : {"en", "zh-Hans"}) {
    SCOPED_TRACE(code);
    switchLanguage(code);
    SettingsView* sheet = openSettings();
    expectFit(*sheet);
    EXPECT_EQ(sheet->findChild<QLabel*>(QStringLiteral("languageRowDescription")), nullptr);
    EXPECT_NE(sheet->findChild<QLabel*>(QStringLiteral("launchAtLoginRowDescription")), nullptr);
    screenshot(*sheet, QStringLiteral("settings-") + code);

    // The reason for a failed change takes two lines at most, and everything still fits.
    loginItems.failure =
        "Could not create the folder /home/someone/.config/autostart: Not a directory";
    toggle(*sheet)->click();
    settle();
    expectFit(*sheet);
    EXPECT_TRUE(find<QLabel>(*sheet, "error")->isVisibleTo(sheet));
    screenshot(*sheet, QStringLiteral("settings-error-") + code);
    loginItems.failure.reset();
    sheet->reject();
    settle();
  }
}

TEST_F(SettingsSheetTest, ShowsTheSystemsRegistrationEachTimeItAppears) {
  loginItems.current = LoginItemStatus::enabled;
  SettingsView* sheet = openSettings();
  EXPECT_TRUE(toggle(*sheet)->isChecked());
  EXPECT_EQ(loginItems.registerCalls + loginItems.unregisterCalls, 0);
  sheet->reject();
  settle();

  // Awaiting approval counts as off, and turning it off unregisters.
  loginItems.current = LoginItemStatus::requiresApproval;
  sheet = openSettings();
  EXPECT_FALSE(toggle(*sheet)->isChecked());
  EXPECT_EQ(loginItems.unregisterCalls, 1);
  sheet->reject();
  settle();
}

// A click and a screen reader's toggle action alike.
TEST_F(SettingsSheetTest, TheSwitchRegistersAndUnregisters) {
  SettingsView* sheet = openSettings();
  ASSERT_FALSE(toggle(*sheet)->isChecked());
  toggle(*sheet)->click();
  settle();
  EXPECT_EQ(loginItems.registerCalls, 1);
  EXPECT_EQ(loginItems.current, LoginItemStatus::enabled);
  EXPECT_TRUE(toggle(*sheet)->isChecked());
  toggle(*sheet)->click();
  settle();
  EXPECT_EQ(loginItems.unregisterCalls, 1);
  EXPECT_FALSE(toggle(*sheet)->isChecked());

  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(toggle(*sheet));
  ASSERT_NE(accessible, nullptr);
  ASSERT_NE(accessible->actionInterface(), nullptr);
  EXPECT_TRUE(accessible->state().checkable);
  accessible->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  settle();
  EXPECT_TRUE(accessible->state().checked);
  EXPECT_EQ(loginItems.registerCalls, 2);
  EXPECT_EQ(loginItems.current, LoginItemStatus::enabled);
  accessible->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  settle();
  EXPECT_EQ(loginItems.unregisterCalls, 2);
  EXPECT_EQ(loginItems.current, LoginItemStatus::notRegistered);
  EXPECT_TRUE(out.str().empty());
  sheet->reject();
  settle();
}

// A failed change flips the switch back and says why, in the current language, until the next
// attempt succeeds or the sheet closes; a language that cannot be saved still switches.
TEST_F(SettingsSheetTest, AFailedChangeFlipsTheSwitchBackAndSaysWhy) {
  loginItems.failure = "the autostart folder is not writable";
  SettingsView* sheet = openSettings();
  QLabel* error = find<QLabel>(*sheet, "error");
  EXPECT_FALSE(error->isVisibleTo(sheet));
  toggle(*sheet)->click();
  settle();
  EXPECT_FALSE(toggle(*sheet)->isChecked());
  EXPECT_FALSE(launchAtLogin->isEnabled()());
  EXPECT_EQ(loginItems.registerCalls, 1);
  EXPECT_EQ(loginItems.unregisterCalls, 0);
  EXPECT_EQ(out.str(), "Failed to update launch at login: the autostart folder is not writable\n");
  EXPECT_TRUE(error->isVisibleTo(sheet));
  EXPECT_EQ(error->text(), QStringLiteral("Not saved: the autostart folder is not writable"));

  preferences.failure = "Permission denied";
  auto* selector = find<QComboBox>(*sheet, "languageSelector");
  selector->setCurrentIndex(selector->findData(QStringLiteral("zh-Hans")));
  settle();
  EXPECT_EQ(find<QLabel>(*sheet, "title")->text(), QStringLiteral("设置"));
  EXPECT_EQ(error->text(), QStringLiteral("未保存：Permission denied"));

  // The switch's next attempt working does not clear the language's reason; its own does.
  loginItems.failure.reset();
  toggle(*sheet)->click();
  settle();
  EXPECT_TRUE(toggle(*sheet)->isChecked());
  EXPECT_EQ(error->text(), QStringLiteral("未保存：Permission denied"));
  preferences.failure.reset();
  switchLanguage("en");
  EXPECT_FALSE(error->isVisibleTo(sheet));

  preferences.failure = "Permission denied";
  switchLanguage("zh-Hans");
  EXPECT_TRUE(error->isVisibleTo(sheet));
  sheet->reject();
  settle();
  sheet = openSettings();
  EXPECT_FALSE(find<QLabel>(*sheet, "error")->isVisibleTo(sheet));
  sheet->reject();
  settle();
}

TEST_F(SettingsSheetTest, ChoosingChineseRetitlesEverythingAtOnce) {
  QPointer<SettingsView> sheet = openSettings();
  auto* selector = find<QComboBox>(*sheet, "languageSelector");
  selector->setCurrentIndex(selector->findData(QStringLiteral("zh-Hans")));
  settle();
  ASSERT_TRUE(sheet);
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_EQ(find<QLabel>(*sheet, "title")->text(), QStringLiteral("设置"));
  EXPECT_EQ(sheet->windowTitle(), QStringLiteral("设置"));
  EXPECT_EQ(find<QLabel>(*sheet, "languageRowTitle")->text(), QStringLiteral("语言"));
  EXPECT_EQ(find<QLabel>(*sheet, "launchAtLoginRowTitle")->text(), QStringLiteral("开机启动"));
  EXPECT_EQ(find<QLabel>(*sheet, "launchAtLoginRowDescription")->text(),
            QStringLiteral("登录时自动启动"));
  EXPECT_EQ(toggle(*sheet)->accessibleName(), QStringLiteral("开机启动"));
  EXPECT_EQ(find<QPushButton>(*sheet, "closeButton")->toolTip(), QStringLiteral("关闭"));
  EXPECT_EQ(selector->itemText(0), QStringLiteral("English"));
  EXPECT_EQ(selector->itemText(1), QStringLiteral("简体中文"));
  EXPECT_EQ(sheet->size(), QSize(360, 200));
  sheet->reject();
  settle();
}

TEST_F(SettingsSheetTest, TheCloseButtonClosesAndChangesNothing) {
  QPointer<SettingsView> sheet = openSettings();
  const auto stored = preferences.values;
  find<QPushButton>(*sheet, "closeButton")->click();
  settle();
  EXPECT_FALSE(sheet);
  EXPECT_EQ(preferences.values, stored);
  EXPECT_EQ(loginItems.registerCalls + loginItems.unregisterCalls, 0);
  EXPECT_EQ(language.currentLanguage()(), "en");
}

}  // namespace
}  // namespace dozewick::testing
