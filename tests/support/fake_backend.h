// A desktop backend whose every answer the test gives.
// Trust, Authorize, the help page, the click monitor, the shell's icon, Dozewick's own windows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "support/fake_window_system.h"

namespace dozewick::testing {

class FakeBackend final : public Backend {
 public:
  struct FakeOwnWindows final : OwnWindows {
    std::optional<std::uint32_t> active;
    std::vector<std::uint32_t> activated;
    std::optional<std::uint32_t> activeWindow() override { return active; }
    bool requestActivation(std::uint32_t window) override {
      activated.push_back(window);
      return true;
    }
  };

  struct FakeShellIcon final : ShellIcon {
    explicit FakeShellIcon(FakeBackend& backend) : backend(backend) {}
    bool shown() const override { return backend.shellDrawsIcon; }
    void show(State state) override { backend.shellIconStates.push_back(state); }
    FakeBackend& backend;
  };

  FakeWindowSystem windows;
  bool trusted = false;
  bool pending = false;  // cannot tell yet, unless trusted
  int trustQueries = 0;
  std::vector<std::string> calls;  // "authorize", "help", in order
  AuthorizeOutcome authorized;     // what Authorize answers
  std::function<void()> onMouseDown;
  int monitorsRemoved = 0;
  Readiness whyNot = Readiness::notAnswering;  // the answer while not trusted
  bool hasShell = false;                       // a shell that can draw Dozewick's icon
  bool shellDrawsIcon = false;
  std::vector<ShellIcon::State> shellIconStates;
  FakeOwnWindows own;

  WindowSystem& windowSystem() override { return windows; }
  Readiness readiness() override {
    ++trustQueries;
    return trusted ? Readiness::ready : pending ? Readiness::pending : whyNot;
  }
  AuthorizeOutcome authorize() override {
    calls.push_back("authorize");
    return authorized;
  }
  void showHelp() override { calls.push_back("help"); }
  std::shared_ptr<void> watchClicks(std::function<void()> handler) override {
    onMouseDown = std::move(handler);
    return std::shared_ptr<void>(nullptr, [this](void*) { ++monitorsRemoved; });
  }
  std::unique_ptr<ShellIcon> shellIcon(std::function<void()>) override {
    return hasShell ? std::make_unique<FakeShellIcon>(*this) : nullptr;
  }
  OwnWindows& ownWindows() override { return own; }
};

}  // namespace dozewick::testing
