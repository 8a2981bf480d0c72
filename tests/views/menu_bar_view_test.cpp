#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <memory>

#include "view_fixture.h"
#include "views/menu_bar_view.h"
#include "views/permission_request_view.h"
#include "views/settings_view.h"
#include "views/style.h"
#include "views/view_widgets.h"

namespace dozewick::testing {
namespace {

template <class T>
T* find(QWidget& root, const char* name) {
  T* child = root.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(child, nullptr) << name;
  return child;
}

class MenuBarViewTest : public ViewsTest {
 protected:
  // The panel as the tray shows it: in a host of 260 x 400.
  std::unique_ptr<MenuBarView> openPanel() {
    auto panel = std::make_unique<MenuBarView>(*services);
    panel->resize(260, 400);
    panel->show();
    settle();
    return panel;
  }

  QColor colour(QWidget& widget, ColorRole role) { return style::color(role, widget.palette()); }
  QString label(QWidget& root, const char* name) { return find<QLabel>(root, name)->text(); }
  bool shown(QWidget& root, const char* name) {
    return find<QWidget>(root, name)->isVisibleTo(&root);
  }
  QString symbol(QWidget& root, const char* name) {
    return find<SymbolView>(root, name)->symbolName();
  }
  QColor textColour(QWidget& root, const char* name) {
    return find<QLabel>(root, name)->palette().color(QPalette::WindowText);
  }
  QPushButton* control(QWidget& root) { return find<QPushButton>(root, "controlButton"); }

  void startLoop(MenuBarView& panel) {
    setTrusted(true);
    control(panel)->click();
    settle();
    ASSERT_TRUE(manager->isRunning()());
  }

  void expectControl(QWidget& panel, const char* symbolName, const char* key, ColorRole tint) {
    QPushButton* button = control(panel);
    EXPECT_EQ(button->property("symbol").toString(), symbolName);
    EXPECT_EQ(button->text(), text(key));
    EXPECT_EQ(button->property("tint").value<QColor>(), colour(panel, tint));
    EXPECT_TRUE(button->isEnabled());
  }
};

// The three states, in both languages, with what each shows and hides.
TEST_F(MenuBarViewTest, WithoutPermissionShowsTheWarningAndThePermissionBlock) {
  for (const char* code : {"en", "zh-Hans"}) {
    SCOPED_TRACE(code);
    switchLanguage(code);
    auto panel = openPanel();
    EXPECT_EQ(symbol(*panel, "headerIcon"), "macwindow.badge.exclamationmark");
    EXPECT_EQ(find<SymbolView>(*panel, "headerIcon")->color(), colour(*panel, ColorRole::orange));
    EXPECT_EQ(find<StatusDot>(*panel, "statusDot")->color(), colour(*panel, ColorRole::orange));
    EXPECT_EQ(label(*panel, "appName"), "Dozewick");
    EXPECT_EQ(label(*panel, "statusText"), text("status.needPermission"));
    EXPECT_TRUE(shown(*panel, "permissionSection"));
    EXPECT_EQ(label(*panel, "permissionText"), text("status.needPermission"));
    EXPECT_FALSE(shown(*panel, "checkStatus")) << "no status text yet";
    EXPECT_EQ(find<QPushButton>(*panel, "authorizeButton")->text(), text("button.authorize"));
    EXPECT_EQ(find<QPushButton>(*panel, "refreshButton")->text(), text("button.refresh"));
    EXPECT_EQ(textColour(*panel, "activeText"), colour(*panel, ColorRole::secondary));
    EXPECT_EQ(textColour(*panel, "minimizedText"), colour(*panel, ColorRole::secondary));
    EXPECT_EQ(label(*panel, "activeText"), text("window.active") + ": 0");
    EXPECT_FALSE(shown(*panel, "nextCheckRow"));
    expectControl(*panel, "play.fill", "button.start", ColorRole::green);
    EXPECT_EQ(find<QPushButton>(*panel, "quitButton")->text(), text("button.quit"));
    screenshot(*panel, QStringLiteral("panel-no-permission-") + code);
  }
}

TEST_F(MenuBarViewTest, WithPermissionAndStoppedShowsThePlainState) {
  setTrusted(true);
  for (const char* code : {"en", "zh-Hans"}) {
    SCOPED_TRACE(code);
    switchLanguage(code);
    auto panel = openPanel();
    EXPECT_EQ(symbol(*panel, "headerIcon"), "macwindow");
    EXPECT_EQ(find<SymbolView>(*panel, "headerIcon")->color(), colour(*panel, ColorRole::blue));
    EXPECT_EQ(find<StatusDot>(*panel, "statusDot")->color(), colour(*panel, ColorRole::secondary));
    EXPECT_EQ(label(*panel, "statusText"), text("status.stopped"));
    EXPECT_FALSE(shown(*panel, "permissionSection"));
    EXPECT_EQ(textColour(*panel, "activeText"), colour(*panel, ColorRole::primary));
    EXPECT_EQ(textColour(*panel, "minimizedText"), colour(*panel, ColorRole::primary));
    EXPECT_FALSE(shown(*panel, "nextCheckRow"));
    expectControl(*panel, "play.fill", "button.start", ColorRole::green);
    screenshot(*panel, QStringLiteral("panel-stopped-") + code);
  }
}

TEST_F(MenuBarViewTest, RunningShowsTheCountdownAndTheStopButton) {
  for (const char* code : {"en", "zh-Hans"}) {
    SCOPED_TRACE(code);
    switchLanguage(code);
    auto panel = openPanel();
    startLoop(*panel);
    EXPECT_EQ(symbol(*panel, "headerIcon"), "macwindow.on.rectangle");
    EXPECT_EQ(find<SymbolView>(*panel, "headerIcon")->color(), colour(*panel, ColorRole::green));
    EXPECT_EQ(find<StatusDot>(*panel, "statusDot")->color(), colour(*panel, ColorRole::green));
    EXPECT_EQ(label(*panel, "statusText"), text("status.running"));
    EXPECT_TRUE(shown(*panel, "nextCheckRow"));
    // The separator and the unit stay as they are in every language.
    EXPECT_EQ(label(*panel, "nextCheckText"), text("window.nextCheck") + ": 60s");
    expectControl(*panel, "stop.fill", "button.stop", ColorRole::red);
    screenshot(*panel, QStringLiteral("panel-running-") + code);

    runtime.advance(std::chrono::milliseconds(1000));
    settle();
    EXPECT_EQ(label(*panel, "nextCheckText"), text("window.nextCheck") + ": 59s");

    control(*panel)->click();  // stop, at once
    EXPECT_FALSE(manager->isRunning()());
    settle();
    EXPECT_FALSE(shown(*panel, "nextCheckRow"));
    expectControl(*panel, "play.fill", "button.start", ColorRole::green);
  }
}

TEST_F(MenuBarViewTest, FiguresAreWrittenWithoutDigitGrouping) {
  for (std::uint32_t id = 1; id <= 1000; ++id) {
    windows.open(id, static_cast<std::int32_t>(id), "Window " + std::to_string(id));
  }
  auto panel = openPanel();
  startLoop(*panel);
  ASSERT_EQ(manager->activeWindowCount()(), 1000);
  EXPECT_EQ(label(*panel, "activeText"), "Active: 1000");
  switchLanguage("zh-Hans");
  EXPECT_EQ(label(*panel, "activeText"), QStringLiteral("活跃窗口: 1000"));
}

// The start path.
TEST_F(MenuBarViewTest, StartWithoutPermissionOpensTheSheetAndDoesNotStart) {
  auto panel = openPanel();
  const int queriesBefore = trustQueries;
  control(*panel)->click();
  settle();
  ASSERT_NE(panel->permissionSheet(), nullptr);
  EXPECT_TRUE(panel->permissionSheet()->isVisible());
  EXPECT_EQ(panel->permissionSheet()->windowModality(), Qt::WindowModal);
  EXPECT_FALSE(manager->isRunning()());
  EXPECT_FALSE(manager->hasTimers());
  // Only the panel's own check ran: a start() would have asked once more.
  EXPECT_EQ(trustQueries, queriesBefore + 1);
}

TEST_F(MenuBarViewTest, StartWithPermissionStartsTheLoopOnce) {
  setTrusted(true);
  auto panel = openPanel();
  const int queriesBefore = trustQueries;
  control(*panel)->click();
  settle();
  EXPECT_TRUE(manager->isRunning()());
  EXPECT_EQ(panel->permissionSheet(), nullptr);
  EXPECT_EQ(trustQueries, queriesBefore + 2);  // the panel's check, then the manager's
}

TEST_F(MenuBarViewTest, ASecondTapWhileTheStartIsCheckedIsIgnored) {
  setTrusted(true);
  auto panel = openPanel();
  const int queriesBefore = trustQueries;
  runtime.holdBackground(true);
  control(*panel)->click();
  control(*panel)->click();
  EXPECT_TRUE(panel->isStartPending());
  EXPECT_EQ(runtime.heldBackgroundCount(), 1u);
  runtime.holdBackground(false);
  runtime.releaseBackground();
  settle();
  EXPECT_TRUE(manager->isRunning()());
  EXPECT_FALSE(panel->isStartPending());
  EXPECT_EQ(trustQueries, queriesBefore + 2);
}

TEST_F(MenuBarViewTest, AStartWhoseCheckEndsAfterThePanelClosedStillStarts) {
  setTrusted(true);
  auto panel = openPanel();
  runtime.holdBackground(true);
  control(*panel)->click();
  panel.reset();
  runtime.holdBackground(false);
  runtime.releaseBackground();
  settle();
  EXPECT_TRUE(manager->isRunning()());
}

TEST_F(MenuBarViewTest, EachAppearanceRechecksAndRefreshRechecks) {
  const int queriesBefore = trustQueries;
  auto panel = openPanel();
  EXPECT_EQ(trustQueries, queriesBefore + 1);
  panel->hide();
  panel->show();
  settle();
  EXPECT_EQ(trustQueries, queriesBefore + 2);
  find<QPushButton>(*panel, "refreshButton")->click();
  settle();
  EXPECT_EQ(trustQueries, queriesBefore + 3);
  // A grant found by the refresh redraws the panel.
  trusted = true;
  find<QPushButton>(*panel, "refreshButton")->click();
  settle();
  EXPECT_FALSE(shown(*panel, "permissionSection"));
}

TEST_F(MenuBarViewTest, ButtonsOpenTheSheetsAndQuit) {
  auto panel = openPanel();
  find<QPushButton>(*panel, "authorizeButton")->click();
  settle();
  ASSERT_NE(panel->permissionSheet(), nullptr);
  panel->permissionSheet()->reject();
  settle();
  EXPECT_EQ(panel->permissionSheet(), nullptr);

  find<QPushButton>(*panel, "settingsButton")->click();
  settle();
  ASSERT_NE(panel->settingsSheet(), nullptr);
  EXPECT_TRUE(panel->settingsSheet()->isVisible());
  EXPECT_EQ(panel->settingsSheet()->windowModality(), Qt::WindowModal);
  panel->settingsSheet()->reject();
  settle();
  EXPECT_EQ(panel->settingsSheet(), nullptr);

  EXPECT_EQ(quitCalls, 0);
  find<QPushButton>(*panel, "quitButton")->click();
  EXPECT_EQ(quitCalls, 1);
}

TEST_F(MenuBarViewTest, ClosingThePanelClosesItsSheetsAndEndsAPoll) {
  auto panel = openPanel();
  find<QPushButton>(*panel, "authorizeButton")->click();
  settle();
  ASSERT_NE(panel->permissionSheet(), nullptr);
  find<QPushButton>(*panel->permissionSheet(), "mainButton")->click();
  settle();
  ASSERT_TRUE(checker->hasCheckTimer());
  panel->hide();
  settle();
  EXPECT_EQ(panel->permissionSheet(), nullptr);
  EXPECT_FALSE(checker->hasCheckTimer());
  EXPECT_FALSE(checker->isCheckingPermission()());
}

TEST_F(MenuBarViewTest, ALanguageSwitchInTheSettingsRetitlesPanelAndSheetAtOnce) {
  auto panel = openPanel();
  startLoop(*panel);
  find<QPushButton>(*panel, "settingsButton")->click();
  settle();
  SettingsView* settings = panel->settingsSheet();
  ASSERT_NE(settings, nullptr);
  auto* selector = find<QComboBox>(*settings, "languageSelector");
  selector->setCurrentIndex(selector->findData(QStringLiteral("zh-Hans")));
  settle();
  ASSERT_EQ(language.currentLanguage()(), "zh-Hans");
  EXPECT_TRUE(settings->isVisible());
  EXPECT_EQ(label(*panel, "statusText"), QStringLiteral("运行中"));
  EXPECT_EQ(label(*panel, "nextCheckText"), QStringLiteral("下次检查: 60s"));
  EXPECT_EQ(label(*panel, "activeText"), QStringLiteral("活跃窗口: 0"));
  EXPECT_EQ(label(*panel, "minimizedText"), QStringLiteral("已最小化: 0"));
  EXPECT_EQ(control(*panel)->text(), QStringLiteral("停止"));
  EXPECT_EQ(find<QPushButton>(*panel, "quitButton")->text(), QStringLiteral("退出程序"));
  EXPECT_EQ(find<QPushButton>(*panel, "settingsButton")->toolTip(), QStringLiteral("设置"));
  EXPECT_EQ(label(*settings, "title"), QStringLiteral("设置"));
}

// Every control can be found and operated by its name, in every state.
TEST_F(MenuBarViewTest, EveryControlHasAnAccessibleName) {
  auto panel = openPanel();
  find<QPushButton>(*panel, "authorizeButton")->click();
  find<QPushButton>(*panel, "settingsButton")->click();
  settle();
  std::vector<QWidget*> roots = {panel.get(), panel->permissionSheet(), panel->settingsSheet()};
  for (QWidget* root : roots) {
    ASSERT_NE(root, nullptr);
    const auto buttons = root->findChildren<QAbstractButton*>();
    ASSERT_FALSE(buttons.isEmpty());
    for (QAbstractButton* button : buttons) {
      EXPECT_FALSE(button->accessibleName().isEmpty()) << button->objectName().toStdString();
      if (button->text().isEmpty()) {
        EXPECT_EQ(button->accessibleName(), button->toolTip())
            << button->objectName().toStdString();
      }
    }
    for (QComboBox* box : root->findChildren<QComboBox*>()) {
      EXPECT_FALSE(box->accessibleName().isEmpty());
    }
  }
}

// The largest the panel gets: no permission, a status line, the loop flagged running, in both
// languages; it still fits the 260 x 400 host.
TEST_F(MenuBarViewTest, TheFullestPanelFitsItsHost) {
  for (const char* code : {"en", "zh-Hans"}) {
    SCOPED_TRACE(code);
    switchLanguage(code);
    auto panel = openPanel();
    startLoop(*panel);
    trusted = false;
    checker->checkPermissionAsync(nullptr);
    settle();
    ASSERT_TRUE(shown(*panel, "permissionSection"));
    ASSERT_TRUE(shown(*panel, "checkStatus"));
    EXPECT_EQ(label(*panel, "checkStatus"), text("status.permission.needed"));
    EXPECT_EQ(textColour(*panel, "checkStatus"), colour(*panel, ColorRole::orange));
    ASSERT_TRUE(shown(*panel, "nextCheckRow"));
    const QSize needed = panel->minimumSizeHint();
    EXPECT_LE(needed.width(), 260);
    EXPECT_LE(needed.height(), 400);
    // Nothing is squeezed out of the column.
    auto* column = find<QWidget>(*panel, "column");
    for (QWidget* child : column->findChildren<QWidget*>()) {
      if (!child->isVisibleTo(panel.get()))
        continue;
      const QRect inPanel(child->mapTo(panel.get(), QPoint(0, 0)), child->size());
      EXPECT_TRUE(panel->rect().contains(inPanel)) << child->objectName().toStdString();
    }
    screenshot(*panel, QStringLiteral("panel-fullest-") + code);
    manager->stop();
  }
}

// A theme switch while the panel is open: the system colours take their dark variants and the
// text stays readable.
TEST_F(MenuBarViewTest, FollowsADarkTheme) {
  const QPalette light = QApplication::palette();
  QPalette dark = light;
  dark.setColor(QPalette::Window, QColor(36, 36, 38));
  dark.setColor(QPalette::WindowText, QColor(235, 235, 240));
  dark.setColor(QPalette::Button, QColor(58, 58, 60));
  dark.setColor(QPalette::ButtonText, QColor(235, 235, 240));
  setTrusted(true);
  auto panel = openPanel();
  const QColor lightBlue = find<SymbolView>(*panel, "headerIcon")->color();
  QApplication::setPalette(dark);
  settle();
  const QColor darkBlue = find<SymbolView>(*panel, "headerIcon")->color();
  EXPECT_NE(darkBlue, lightBlue);
  EXPECT_EQ(darkBlue, style::color(ColorRole::blue, dark));
  EXPECT_EQ(textColour(*panel, "activeText"), QColor(235, 235, 240));
  screenshot(*panel, QStringLiteral("panel-dark-en"));
  QApplication::setPalette(light);
  settle();
  EXPECT_EQ(find<SymbolView>(*panel, "headerIcon")->color(), lightBlue);
}

// A sheet over a panel that stays on top must not open beneath it.
TEST_F(MenuBarViewTest, SheetsStayAboveAPanelThatStaysOnTop) {
  QWidget host(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  auto* panel = new MenuBarView(*services, &host);
  host.resize(260, 400);
  host.show();
  settle();
  find<QPushButton>(*panel, "settingsButton")->click();
  find<QPushButton>(*panel, "authorizeButton")->click();
  settle();
  ASSERT_NE(panel->settingsSheet(), nullptr);
  ASSERT_NE(panel->permissionSheet(), nullptr);
  EXPECT_TRUE(panel->settingsSheet()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(panel->permissionSheet()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  // Closing the host window, as a click elsewhere does, closes the sheets too.
  host.close();
  settle();
  EXPECT_EQ(panel->settingsSheet(), nullptr);
  EXPECT_EQ(panel->permissionSheet(), nullptr);
}

}  // namespace
}  // namespace dozewick::testing
