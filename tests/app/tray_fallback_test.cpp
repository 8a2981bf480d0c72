// The program on a desktop without a tray, and on one whose tray comes up after it.
#include <gtest/gtest.h>

#include "x_driver.h"

namespace {

using namespace dozewick::xdriver;
using namespace std::chrono_literals;

class TrayFallback : public ProgramTest {
 protected:
  std::string output() const {
    std::ifstream in(logPath);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  bool windowHasType(xcb_window_t w, const char* type) {
    const auto types = display.cardinals(w, "_NET_WM_WINDOW_TYPE");
    return std::find(types.begin(), types.end(), display.atom(type)) != types.end();
  }
};

TEST_F(TrayFallback, WithoutATrayThePanelIsAnOrdinaryWindowAndClosingItQuits) {
  auto program = launchProgram();
  std::optional<xcb_window_t> window;
  ASSERT_TRUE(
      waitUntil([&] { return (window = shownPanelWindow(program->pid())).has_value(); }, 20s));
  EXPECT_TRUE(windowHasType(*window, "_NET_WM_WINDOW_TYPE_NORMAL"));
  const Rect size = *display.geometry(*window);
  EXPECT_EQ(size.w, 260);
  EXPECT_EQ(size.h, 400);
  ASSERT_TRUE(waitUntil([&] { return probe().button("Start").has_value(); }, 5s));

  const std::string said = output();
  const auto first = said.find("no system tray");
  ASSERT_NE(first, std::string::npos) << said;
  EXPECT_EQ(said.find("no system tray", first + 1), std::string::npos) << "said once";

  display.close(*window);
  EXPECT_EQ(program->waitFor(10s), std::optional<int>(0));
}

TEST_F(TrayFallback, ATrayThatComesUpAfterTheProgramStillGetsItsIcon) {
  auto program = launchProgram();
  std::this_thread::sleep_for(1500ms);
  Child tray({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height",
              "24", "--SetDockType", "true", "--transparent", "false"},
             {}, logPath + ".trayer");
  EXPECT_TRUE(waitUntil([&] { return embeddedTrayIcon(program->pid()).has_value(); }, 20s));
  EXPECT_FALSE(shownPanelWindow(program->pid()).has_value());
  EXPECT_EQ(output().find("no system tray"), std::string::npos);
}

}  // namespace
