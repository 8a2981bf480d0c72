// The login item as the system holds it, in memory: standard C++.
#pragma once

#include <optional>
#include <string>

#include "platform/launch_at_login.h"

namespace dozewick::testing {

// The login item as the system holds it: counts the changes, fails every one on demand.
class FakeLoginItems final : public LoginItemService {
 public:
  LoginItemStatus status() const override { return current; }
  std::optional<std::string> registerItem() override { return change(LoginItemStatus::enabled); }
  std::optional<std::string> unregisterItem() override {
    return change(LoginItemStatus::notRegistered);
  }
  std::optional<std::string> change(LoginItemStatus to) {
    ++changes;
    if (!failure)
      current = to;
    return failure;
  }
  LoginItemStatus current = LoginItemStatus::notRegistered;
  std::optional<std::string> failure;
  int changes = 0;
};

}  // namespace dozewick::testing
