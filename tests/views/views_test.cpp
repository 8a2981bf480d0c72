// One smoke test per window: it opens, shows its texts, and its buttons act.
// What each shows in each state is the view models' part.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QtTest/QTest>
#include <cmath>
#include <functional>
#include <map>
#include <utility>

#include "support/desktop_services.h"
#include "support/qt_application.h"
#include "views/menu_bar_view.h"
#include "views/permission_request_view.h"
#include "views/settings_view.h"
#include "views/style.h"
#include "views/symbol_icons.h"
#include "views/view_widgets.h"

namespace dozewick::testing {
namespace {

[[maybe_unused]] const auto* const kEnvironment = addQtApplication<QApplication>();

QString label(QWidget& root, const char* name) {
  return find<QLabel>(root, name)->text();
}
// Enter (keypad Enter with `key` Qt::Key_Enter) on a control with the focus; `held`: a repeat.
void keyDown(QWidget& root, const char* name, Qt::Key key, bool held = false) {
  QWidget* target = find(root, name);
  target->setFocus(Qt::TabFocusReason);
  QKeyEvent down(QEvent::KeyPress, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier,
                 QString(), held);
  QApplication::sendEvent(target, &down);
}

// The colour that covers most of an image: what is behind its text.
QRgb background(const QImage& image) {
  std::map<QRgb, int> counts;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      ++counts[image.pixel(x, y) | 0xff000000u];
  return std::max_element(counts.begin(), counts.end(),
                          [](const auto& a, const auto& b) { return a.second < b.second; })
      ->first;
}

// The contrast of a control's text as drawn in its window: that of the colour farthest in
// luminance from its background. A button is looked at inside its rounded ends and edges, where
// only its own fill is behind the text; a lone pixel is an edge's blend, not the text's colour.
double drawnContrast(QWidget& widget) {
  QWidget* window = widget.window();
  const bool button = qobject_cast<QAbstractButton*>(&widget) != nullptr;
  const int side = button ? std::min(widget.height() / 2, 10) : 0, edge = button ? 3 : 0;
  const QImage shot = window
                          ->grab(QRect(widget.mapTo(window, QPoint(0, 0)), widget.size())
                                     .adjusted(side, edge, -side, -edge))
                          .toImage();
  const QColor behind(background(shot));
  std::map<QRgb, int> counts;
  double best = 1;
  for (int y = 0; y < shot.height(); ++y) {
    for (int x = 0; x < shot.width(); ++x) {
      if (++counts[shot.pixel(x, y)] == 2)
        best = std::max(best, style::contrastRatio(QColor(shot.pixel(x, y)), behind));
    }
  }
  return best;
}

// How much heavier a label is drawn than its text in the regular weight of its font: the ink of
// each, summed as the distance in luminance from the background.
double boldness(QLabel& label) {
  const QImage drawn = label.grab().toImage();
  const QRgb behind = background(drawn);
  const auto ink = [behind](const QImage& image) {
    double sum = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        sum += std::abs(style::luminance(QColor(image.pixel(x, y))) -
                        style::luminance(QColor(behind)));
    return sum;
  };
  QImage regular(drawn.size(), drawn.format());
  regular.fill(behind);
  QFont font = label.font();
  font.setWeight(QFont::Normal);
  QPainter painter(&regular);
  painter.setFont(font);
  painter.setPen(label.palette().color(QPalette::WindowText));
  painter.drawText(regular.rect(), static_cast<int>(label.alignment()), label.text());
  painter.end();
  return ink(drawn) / ink(regular);
}

class ViewsTest : public DesktopServicesTest {
 protected:
  std::unique_ptr<MenuBarView> openPanel() {
    auto panel = std::make_unique<MenuBarView>(*services);
    panel->resize(260, 400);
    panel->show();
    settle();
    return panel;
  }
  // A click or a key press, and what it set off.
  void click(QWidget& root, const char* name) {
    find<QPushButton>(root, name)->click();
    settle();
  }
  void press(QWidget& root, const char* name, Qt::Key key, bool held = false) {
    keyDown(root, name, key, held);
    settle();
  }
};

TEST_F(ViewsTest, ThePanelShowsTheStateAndItsButtonsAct) {
  for (std::uint32_t id = 1; id <= 1003; ++id)
    backend.windows.open(id, static_cast<std::int32_t>(id));
  auto panel = openPanel();
  EXPECT_EQ(label(*panel, "statusText"), "Need Permission");
  EXPECT_TRUE(find(*panel, "permissionSection")->isVisibleTo(panel.get()));
  EXPECT_EQ(find<QPushButton>(*panel, "controlButton")->text(), "Start");

  // Start without permission asks once and presents the permission sheet in the panel's place,
  // with the keyboard: Escape closes the sheet, not the panel. Enter and keypad Enter press the
  // focused button as Space does, here and in the sheets.
  const int queries = backend.trustQueries;
  press(*panel, "controlButton", Qt::Key_Return);
  EXPECT_EQ(backend.trustQueries, queries + 1);
  QPointer<PermissionRequestView> sheet = panel->permissionSheet();
  ASSERT_TRUE(sheet);
  EXPECT_FALSE(sheet->isWindow());
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_FALSE(find(*panel, "panelPage")->isVisible());
  EXPECT_EQ(panel->sizeHint(), sheet->size()) << "the window fits the sheet";
  EXPECT_FALSE(manager->isRunning()());
  ASSERT_TRUE(sheet->isAncestorOf(QApplication::focusWidget()));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  settle();
  EXPECT_FALSE(sheet);
  EXPECT_TRUE(panel->isVisible());
  EXPECT_EQ(panel->sizeHint(), QSize(260, 400));
  EXPECT_TRUE(find(*panel, "panelPage")->isVisible());

  // With it, Start runs the loop; a minute later the figures differ and show plain digits.
  backend.trusted = true;
  click(*panel, "refreshButton");
  EXPECT_FALSE(find(*panel, "permissionSection")->isVisibleTo(panel.get()));
  const QPoint startAt = find(*panel, "controlButton")->mapTo(panel.get(), QPoint());
  click(*panel, "controlButton");
  ASSERT_TRUE(manager->isRunning()());
  EXPECT_EQ(panel->permissionSheet(), nullptr);
  EXPECT_EQ(label(*panel, "nextCheckText"), "Next Check: 60s");
  EXPECT_EQ(find(*panel, "controlButton")->mapTo(panel.get(), QPoint()), startAt)
      << "Stop is where Start was";
  advance(61'000);
  EXPECT_EQ(label(*panel, "statusText"), "Running");
  EXPECT_EQ(label(*panel, "activeText"), "Active: 3");
  EXPECT_EQ(label(*panel, "minimizedText"), "Minimized: 1000");
  EXPECT_EQ(label(*panel, "nextCheckText"), "Next Check: 60s");
  panel->hide();
  advance(3'000);
  panel->show();
  settle();
  EXPECT_EQ(label(*panel, "nextCheckText"), "Next Check: 57s") << "shown again, it reads now";
  language.setCurrentLanguage("zh-Hans");
  settle();
  EXPECT_EQ(label(*panel, "minimizedText"), QString::fromUtf8("已最小化: 1000"));
  EXPECT_EQ(find<QPushButton>(*panel, "controlButton")->text(), QString::fromUtf8("停止"));
  language.setCurrentLanguage("en");
  keyDown(*panel, "controlButton", Qt::Key_Enter);
  EXPECT_FALSE(manager->isRunning()()) << "Stop acts at once";

  press(*panel, "quitButton", Qt::Key_Return);
  EXPECT_EQ(quitCalls, 1);
  press(*panel, "settingsButton", Qt::Key_Return);
  ASSERT_NE(panel->settingsSheet(), nullptr);
  EXPECT_EQ(panel->sizeHint(), QSize(360, 200));
  // Closing the panel closes its sheets.
  panel->hide();
  settle();
  EXPECT_EQ(panel->settingsSheet(), nullptr);
}

TEST_F(ViewsTest, ThePermissionSheetRunsTheGuidedCheckAndStopsItWhenClosed) {
  auto panel = openPanel();
  click(*panel, "authorizeButton");
  QPointer<PermissionRequestView> sheet = panel->permissionSheet();
  ASSERT_TRUE(sheet);
  EXPECT_EQ(label(*sheet, "title"), "Accessibility Required");
  EXPECT_EQ(label(*sheet, "step1"), "Press Authorize");
  EXPECT_EQ(label(*sheet, "step3"), "Other desktops: see the help page");
  EXPECT_EQ(find<MiddleElidedLabel>(*sheet, "executablePath")->text(), "/usr/local/bin/dozewick");
  EXPECT_FALSE(find(*sheet, "requirement")->isVisibleTo(sheet));
  EXPECT_FALSE(find(*sheet, "status")->isVisibleTo(sheet));

  press(*sheet, "mainButton", Qt::Key_Return);
  EXPECT_EQ(backend.calls, (std::vector<std::string>{"authorize", "help"}));
  EXPECT_FALSE(find<QPushButton>(*sheet, "mainButton")->isEnabled());
  press(*sheet, "mainButton", Qt::Key_Return);
  advance(2000);
  EXPECT_EQ(backend.calls, (std::vector<std::string>{"authorize", "help"}))
      << "pressed while disabled";
  EXPECT_EQ(label(*sheet, "status"), "Checking... (2s)");
  press(*sheet, "closeButton", Qt::Key_Return, true);
  ASSERT_TRUE(sheet) << "a key held down presses once, not at each repeat";
  press(*sheet, "closeButton", Qt::Key_Enter);
  EXPECT_FALSE(sheet) << "built anew each time";
  EXPECT_FALSE(checker->hasCheckTimer());

  // What stands in the way is said in the sheet, with a path that may wrap after any folder.
  // Where the desktop says what it needs, the small print says that instead of the path.
  backend.authorized = {
      false, "/home/u/.local/share/gnome-shell/extensions/dozewick@dozewick.org is a link"};
  services->requirementKey = "needs.x11";
  click(*panel, "authorizeButton");
  sheet = panel->permissionSheet();
  EXPECT_FALSE(find(*sheet, "executablePath")->isVisibleTo(sheet));
  EXPECT_EQ(label(*sheet, "requirement"),
            "X11: needs a window manager that follows EWMH; most do.");
  click(*sheet, "mainButton");
  EXPECT_EQ(label(*sheet, "note").remove(QChar(0x200b)),
            QString::fromStdString(backend.authorized.message));
  EXPECT_TRUE(find<QPushButton>(*sheet, "mainButton")->isEnabled()) << "nothing to wait for";
  EXPECT_LE(sheet->width(), 300);
  // A grant that comes with the next login: the last step offers to start with the session.
  backend.authorized = {};
  backend.authorized.needsNewLogin = true;
  click(*sheet, "mainButton");
  EXPECT_FALSE(find(*sheet, "note")->isVisibleTo(sheet));
  EXPECT_EQ(label(*sheet, "step4"), "After logging in, start Dozewick again");
  loginItems.failure = "the autostart folder is not writable";
  click(*sheet, "launchAtLoginButton");
  EXPECT_EQ(label(*sheet, "note"), "Not saved: the autostart folder is not writable");
  loginItems.failure.reset();
  click(*sheet, "launchAtLoginButton");
  EXPECT_EQ(loginItems.current, LoginItemStatus::enabled);
  EXPECT_EQ(label(*sheet, "step4"), "After logging in, Dozewick starts by itself");
  EXPECT_FALSE(find(*sheet, "launchAtLoginButton")->isVisibleTo(sheet));
  backend.trusted = true;
  click(*sheet, "refreshButton");
  ASSERT_TRUE(sheet) << "the sheet stays once trust is granted";
  EXPECT_EQ(label(*sheet, "status"), "Permission OK");
  EXPECT_EQ(label(*sheet, "step4"), "Return and press Refresh");
}

TEST_F(ViewsTest, TheSettingsSheetSwitchesTheLoginItemAndTheLanguage) {
  loginItems.current = LoginItemStatus::enabled;
  auto panel = openPanel();
  click(*panel, "settingsButton");
  QPointer<SettingsView> sheet = panel->settingsSheet();
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->size(), QSize(360, 200));
  auto* toggle = find<SwitchToggle>(*sheet, "launchAtLoginSwitch");
  EXPECT_TRUE(toggle->isChecked()) << "the system's registration";
  press(*sheet, "launchAtLoginSwitch", Qt::Key_Enter);
  EXPECT_EQ(loginItems.current, LoginItemStatus::notRegistered);
  loginItems.failure = "the autostart folder is not writable";
  toggle->click();
  settle();
  EXPECT_FALSE(toggle->isChecked()) << "a failed change flips back";
  EXPECT_EQ(out.str(), "Failed to update launch at login: the autostart folder is not writable\n");
  EXPECT_EQ(label(*sheet, "error"), "Not saved: the autostart folder is not writable");

  // A screen reader's toggle action turns the login item as a click does.
  loginItems.failure.reset();
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(toggle);
  ASSERT_TRUE(accessible && accessible->actionInterface() && accessible->state().checkable);
  accessible->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  settle();
  EXPECT_TRUE(accessible->state().checked);
  EXPECT_EQ(loginItems.current, LoginItemStatus::enabled);

  // A language that cannot be saved is taken back, and the sheet says why.
  preferences.failure = "No space left on device";
  auto* selector = find<QComboBox>(*sheet, "languageSelector");
  EXPECT_EQ(selector->itemText(1), QString::fromUtf8("简体中文")) << "each language in itself";
  selector->setCurrentIndex(selector->findData(QStringLiteral("zh-Hans")));
  settle();
  ASSERT_TRUE(sheet);
  EXPECT_EQ(selector->currentData().toString(), QStringLiteral("en"));
  EXPECT_EQ(label(*sheet, "title"), QStringLiteral("Settings"));
  EXPECT_EQ(label(*sheet, "error"), QStringLiteral("Not saved: No space left on device"));
  preferences.failure.reset();
  selector->setCurrentIndex(selector->findData(QStringLiteral("zh-Hans")));
  settle();
  EXPECT_EQ(label(*sheet, "title"), QString::fromUtf8("设置"));
  EXPECT_EQ(label(*sheet, "launchAtLoginRowTitle"), QString::fromUtf8("开机启动"));
  EXPECT_EQ(label(*panel, "statusText"), QString::fromUtf8("需要权限"));
  EXPECT_FALSE(find(*sheet, "error")->isVisibleTo(sheet)) << "cleared by a choice that is saved";
  press(*sheet, "closeButton", Qt::Key_Return);
  EXPECT_FALSE(sheet);
}

// Every text reads at 4.5:1 or more against what is drawn behind it, in a light and a dark
// palette, in every state the panel and the dialogs show; the refresh links are targets of 24 px
// at least.
TEST_F(ViewsTest, EveryTextReadsInLightAndDarkPalettes) {
  const QPalette original = QApplication::palette();
  for (const bool dark : {false, true}) {
    QApplication::setPalette(dark ? style::darkPalette() : original);
    backend.trusted = false;
    backend.authorized = {false,
                          "~/.local/share/gnome-shell/extensions/dozewick@dozewick.org is a link"};
    auto panel = openPanel();
    const auto expectReadable = [&](QWidget& root, std::initializer_list<const char*> names) {
      for (const char* name : names) {
        QWidget* widget = find(root, name);
        ASSERT_TRUE(widget && widget->isVisible()) << name;
        EXPECT_GE(drawnContrast(*widget), style::kTextContrast)
            << name << (dark ? " in the dark palette" : " in the light palette");
      }
    };
    const auto expectTarget = [](QWidget& root, const char* name) {
      EXPECT_GE(std::min(find(root, name)->width(), find(root, name)->height()), 24) << name;
    };

    click(*panel, "authorizeButton");
    PermissionRequestView* sheet = panel->permissionSheet();
    ASSERT_NE(sheet, nullptr);
    expectReadable(*sheet, {"title", "message", "step1", "step4", "executablePath", "closeButton",
                            "mainButton", "refreshButton"});
    expectTarget(*sheet, "refreshButton");
    click(*sheet, "mainButton");
    expectReadable(*sheet, {"note", "mainButton"});
    backend.authorized = {};
    click(*sheet, "mainButton");
    advance(1000);
    ASSERT_FALSE(find<QPushButton>(*sheet, "mainButton")->isEnabled()) << "checking";
    expectReadable(*sheet, {"status", "mainButton"});
    backend.trusted = true;
    advance(1000);
    ASSERT_TRUE(checker->hasAccessibilityPermission()());
    expectReadable(*sheet, {"status", "mainButton"});
    sheet->reject();
    backend.trusted = false;
    checker->checkPermissionAsync([](bool) {});
    settle();
    checker->startCheckingPermission();
    advance(2000);
    ASSERT_FALSE(checker->checkStatus()().empty());
    expectReadable(*panel,
                   {"appName", "statusText", "permissionText", "checkStatus", "authorizeButton",
                    "refreshButton", "activeText", "minimizedText", "controlButton", "quitButton"});
    expectTarget(*panel, "refreshButton");
    checker->stopCheckingPermission();

    backend.trusted = true;
    click(*panel, "refreshButton");
    click(*panel, "controlButton");
    settle();
    ASSERT_TRUE(manager->isRunning()());
    expectReadable(*panel, {"statusText", "activeText", "nextCheckText", "controlButton"});
    manager->stop();
    settle();

    click(*panel, "settingsButton");
    SettingsView* settings = panel->settingsSheet();
    ASSERT_NE(settings, nullptr);
    loginItems.failure = "the autostart folder is not writable";
    find<SwitchToggle>(*settings, "launchAtLoginSwitch")->click();
    settle();
    loginItems.failure.reset();
    expectReadable(*settings, {"title", "languageRowTitle", "launchAtLoginRowTitle",
                               "launchAtLoginRowDescription", "languageSelector", "error"});
    settings->reject();
    panel.reset();
    settle();
  }
  QApplication::setPalette(original);
}

// Headings are drawn bold in both languages, also where the font has no bold face, as the one
// font of a Chinese desktop often has not (the font engine thickens such a font's strokes only for
// a weight of bold or more).
TEST_F(ViewsTest, HeadingsStayBoldInBothLanguagesWithAFontWithoutABoldFace) {
  const QFont original = QApplication::font();
  for (const QString& family : {original.family(), QStringLiteral("WenQuanYi Micro Hei")}) {
    QFont font = original;
    font.setFamilies({family});
    QApplication::setFont(font);
    for (const char* code : {"en", "zh-Hans"}) {
      language.setCurrentLanguage(code);
      auto panel = openPanel();
      const auto expectBold = [&](QLabel* heading) {
        EXPECT_GE(boldness(*heading), 1.2)
            << heading->text().toStdString() << " in " << family.toStdString();
      };
      expectBold(find<QLabel>(*panel, "appName"));
      panel->presentSettings();
      settle();
      ASSERT_NE(panel->settingsSheet(), nullptr);
      expectBold(find<QLabel>(*panel->settingsSheet(), "title"));
      panel->presentPermissionSheet();
      settle();
      ASSERT_NE(panel->permissionSheet(), nullptr);
      EXPECT_EQ(panel->settingsSheet(), nullptr) << "one sheet at a time";
      expectBold(find<QLabel>(*panel->permissionSheet(), "title"));
    }
  }
  QApplication::setFont(original);
  language.setCurrentLanguage("en");
}

// Every symbol in use has artwork that covers enough of its square to read. The tray's
// background is the desktop's: each tray icon must stand out on a light and on a dark tray, even
// where the application's own theme is dark.
TEST(SymbolIconsTest, EverySymbolHasArtworkAndTheTrayIconsReadOnLightAndDarkTrays) {
  const auto count = [](const QImage& image, const std::function<bool(QRgb)>& counts) {
    int n = 0;
    for (int y = 0; y < 22; ++y)
      for (int x = 0; x < 22; ++x)
        n += counts(image.pixel(x, y));
    return n;
  };
  for (const char* name :
       {"macwindow", "macwindow.badge.exclamationmark", "macwindow.on.rectangle", "gearshape.fill",
        "stop.fill", "play.fill", "1.circle", "4.circle", "xmark.circle.fill", "globe"}) {
    const QImage image = symbolPixmap(name, 22, Qt::black).toImage();
    ASSERT_EQ(image.size(), QSize(22, 22)) << name;
    EXPECT_GT(count(image, [](QRgb c) { return qAlpha(c) >= 128; }), 22 * 22 / 12) << name;
  }
  EXPECT_TRUE(symbolPixmap("no.such.symbol", 16, Qt::red).isNull());

  const QPalette original = QApplication::palette();
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(30, 30, 30));
  dark.setColor(QPalette::WindowText, QColor(235, 235, 235));
  QApplication::setPalette(dark);
  auto luma = [](QRgb c) { return (0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c)) / 255; };
  for (const QColor tray : {QColor(245, 245, 245), QColor(35, 35, 35)}) {
    for (const TrayIconModel& state :
         {TrayIconModel{"macwindow.badge.exclamationmark", ColorRole::orange, ""},
          {"macwindow.on.rectangle", ColorRole::green, ""},
          {"macwindow", ColorRole::none, ""}}) {
      QImage shown(22, 22, QImage::Format_RGB32);
      shown.fill(tray);
      QPainter(&shown).drawPixmap(0, 0, trayIcon(state).pixmap(22, 22));
      EXPECT_GT(count(shown, [&](QRgb c) { return std::abs(luma(c) - luma(tray.rgb())) >= 0.3; }),
                22 * 22 / 10)
          << state.symbol << " hardly visible on tray " << tray.name().toStdString();
    }
  }
  QApplication::setPalette(original);
}

TEST(ElideMiddleTwoLinesTest, KeepsStartAndEndAroundAnEllipsis) {
  auto chars = [](const QString& text) { return static_cast<int>(text.size()); };
  using Lines = std::pair<QString, QString>;
  EXPECT_EQ(elideMiddleTwoLines("/usr/bin/x", 20, chars), Lines("/usr/bin/x", ""));
  EXPECT_EQ(elideMiddleTwoLines("abcdefghijkl", 6, chars), Lines("abcdef", "ghijkl"));
  EXPECT_EQ(elideMiddleTwoLines("abcdefghijklmnopqrstuvwxyz", 6, chars),
            Lines("abcdef", QString(QChar(0x2026)) + "vwxyz"));
  const auto narrow = elideMiddleTwoLines("abc", 0, chars);
  EXPECT_EQ(narrow.first + narrow.second, "abc") << "one character a line, and no endless loop";
}

}  // namespace
}  // namespace dozewick::testing
