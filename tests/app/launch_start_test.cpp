// Starting the loop at launch: at once, once the desktop can be managed, or not at all.
#include "app/launch_start.h"

#include <gtest/gtest.h>

#include <QApplication>

#include "support/desktop_services.h"

namespace dozewick {
namespace {

using LaunchStartTest = testing::DesktopServicesTest;

TEST_F(LaunchStartTest, StartsOnceTheDesktopCanBeManagedAndOnlyWhenAskedTo) {
  const struct {
    bool on;
    bool trustedAtLaunch;
    bool runningAtLaunch;
    bool runningBeforeTrust;
    bool runningAfterTrust;
  } cases[] = {
      {false, true, false, false, false},
      {true, true, true, true, true},
      {true, false, false, false, true},  // GNOME before its extension answers
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.on << c.trustedAtLaunch);
    manager->stop();
    backend.trusted = c.trustedAtLaunch;
    checker->checkPermissionAsync([](bool) {});
    settle();
    testing::MemoryPreferences stored;
    UserSettings settings(stored);
    settings.setStartAtLaunch(c.on);
    const auto launch = LaunchStart::begin(settings, *manager, *checker);
    settle();
    EXPECT_EQ(manager->isRunning()(), c.runningAtLaunch);
    advance(10000);
    EXPECT_EQ(manager->isRunning()(), c.runningBeforeTrust) << "nothing else starts it";
    backend.trusted = true;
    // What the tray's trust poll does every 3 s.
    checker->checkPermissionAsync([](bool) {});
    settle();
    EXPECT_EQ(manager->isRunning()(), c.runningAfterTrust);
    // One start at most: a stop by the user stays.
    manager->stop();
    checker->checkPermissionAsync([](bool) {});
    settle();
    EXPECT_FALSE(manager->isRunning()());
  }
}

}  // namespace
}  // namespace dozewick
