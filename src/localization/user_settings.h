// The user's everyday settings: starting at launch, the idle time, the windows kept.
#pragma once

#include <array>
#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

#include "core/observable.h"
#include "core/policy.h"
#include "core/preferences.h"

namespace dozewick {

// The settings beyond the language, kept in the same preferences. Untouched, each is its default,
// which is how the program behaved before it had them. A stored value that cannot be read as one
// reads as the default and stays on disk as it was, until the user changes that setting.
class UserSettings final : public ObservableObject {
 public:
  static constexpr const char* kStartAtLaunchKey = "start_at_launch";
  static constexpr const char* kIdleKey = "idle_seconds";
  static constexpr const char* kProtectedKey = "protected_windows";
  static constexpr const char* kNeverHideKey = "never_hide";
  // The idle times offered, in seconds; a hand-written one within the limits is kept too.
  static constexpr std::array<int, 8> kIdleChoices = {30, 60, 120, 300, 600, 900, 1800, 3600};

  // `errors`, when given, hears one line for each change that could not be saved.
  explicit UserSettings(Preferences& preferences, std::ostream* errors = nullptr);
  // The program's one instance; built where the real pieces are wired together.
  static UserSettings& shared();

  // Start the loop as soon as the desktop can be managed, without a press.
  const Published<bool>& startAtLaunch() const { return startAtLaunch_; }
  const Published<Policy>& policy() const { return policy_; }
  // Why the last change was not saved; empty once one has been.
  const Published<std::string>& saveError() const { return saveError_; }

  // Each persists a real change at once; one that cannot be saved is taken back. Values outside
  // the limits are brought within them.
  void setStartAtLaunch(bool on);
  void setIdleSeconds(int seconds);
  void setProtectedCount(int count);
  // Adding a name already kept, or removing one that is not, changes nothing.
  void keep(const std::string& appName);
  void stopKeeping(const std::string& appName);

 private:
  bool save(const char* key, const std::string& value);
  bool saveList(const char* key, const std::vector<std::string>& value);
  bool noteSaved();
  void setPolicy(Policy policy, bool saved);

  Preferences& preferences_;
  std::ostream* errors_;
  Published<bool> startAtLaunch_{*this, false};
  Published<Policy> policy_{*this, Policy{}};
  Published<std::string> saveError_{*this, {}};
};

}  // namespace dozewick
