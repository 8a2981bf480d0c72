#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <cstdlib>
#include <vector>

#include "platform/x11/x11_pointer_monitor.h"

namespace dozewick {
namespace {

QCoreApplication& application() {
  static int argc = 1;
  static char name[] = "pointer_monitor_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

// Real input through XTest, from a client of its own, as another application's user would.
class SyntheticMouse {
 public:
  SyntheticMouse() : connection_(xcb_connect(nullptr, nullptr)) {
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
  }
  ~SyntheticMouse() { xcb_disconnect(connection_); }
  bool usable() const { return !xcb_connection_has_error(connection_); }

  void click(int button, int x, int y) {
    xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_,
                        static_cast<std::int16_t>(x), static_cast<std::int16_t>(y), 0);
    xcb_test_fake_input(connection_, XCB_BUTTON_PRESS, static_cast<std::uint8_t>(button),
                        XCB_CURRENT_TIME, root_, 0, 0, 0);
    xcb_test_fake_input(connection_, XCB_BUTTON_RELEASE, static_cast<std::uint8_t>(button),
                        XCB_CURRENT_TIME, root_, 0, 0, 0);
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  }

 private:
  xcb_connection_t* connection_;
  xcb_window_t root_ = XCB_NONE;
};

// Processes events until `done` holds or the deadline passes.
template <class Condition>
bool waitFor(Condition done, int ms = 3000) {
  QDeadlineTimer deadline(ms);
  while (!done() && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  return done();
}

// Left and right presses anywhere count, other buttons and the wheel do not; a handler may end
// its own monitor; without a display there is no monitor rather than a failure.
TEST(X11PointerMonitor, ReportsLeftAndRightPressesAndMayBeEndedByItsHandler) {
  application();
  EXPECT_EQ(X11PointerMonitor::create([](int) {}, ":4099"), nullptr);
  std::vector<int> presses;
  std::unique_ptr<X11PointerMonitor> monitor = X11PointerMonitor::create([&](int button) {
    presses.push_back(button);
    if (button == 3)
      monitor.reset();
  });
  ASSERT_NE(monitor, nullptr) << "the test X server offers XInput 2.2";
  SyntheticMouse mouse;
  ASSERT_TRUE(mouse.usable());
  for (const int button : {1, 2, 4, 3, 1})
    mouse.click(button, 100 + button * 20, 100);
  ASSERT_TRUE(waitFor([&] { return monitor == nullptr; }));
  waitFor([] { return false; }, 200);
  EXPECT_EQ(presses, (std::vector<int>{1, 3}));
}

}  // namespace
}  // namespace dozewick
