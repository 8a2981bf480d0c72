// The user's everyday settings: starting at launch, the idle time, the windows kept.
#include "localization/user_settings.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <ostream>

namespace dozewick {

namespace {

std::optional<long> wholeNumber(const std::optional<std::string>& text, long min, long max) {
  if (!text)
    return std::nullopt;
  long value = 0;
  const char* end = text->data() + text->size();
  const auto [stop, error] = std::from_chars(text->data(), end, value);
  if (error != std::errc() || stop != end || value < min || value > max)
    return std::nullopt;
  return value;
}

// Names that can be kept: not empty, each once, in the order given.
std::vector<std::string> keptNames(std::vector<std::string> names) {
  std::vector<std::string> result;
  for (auto& name : names) {
    if (!name.empty() && std::find(result.begin(), result.end(), name) == result.end())
      result.push_back(std::move(name));
  }
  return result;
}

}  // namespace

UserSettings::UserSettings(Preferences& preferences, std::ostream* errors)
    : preferences_(preferences), errors_(errors) {
  // Nobody observes yet, so these assignments are silent; nothing is written here.
  startAtLaunch_ = preferences_.string(kStartAtLaunchKey) == "true";
  Policy policy;
  if (const auto idle =
          wholeNumber(preferences_.string(kIdleKey), static_cast<long>(Policy::kMinIdleSeconds),
                      static_cast<long>(Policy::kMaxIdleSeconds))) {
    policy.inactiveThreshold = static_cast<double>(*idle);
  }
  if (const auto count = wholeNumber(preferences_.string(kProtectedKey), 0, Policy::kMaxProtected))
    policy.protectedWindowCount = static_cast<std::size_t>(*count);
  policy.neverHide =
      keptNames(preferences_.stringList(kNeverHideKey).value_or(std::vector<std::string>()));
  policy_ = std::move(policy);
}

void UserSettings::setStartAtLaunch(bool on) {
  if (on == startAtLaunch_())
    return;
  if (save(kStartAtLaunchKey, on ? "true" : "false"))
    startAtLaunch_ = on;
}

void UserSettings::setIdleSeconds(int seconds) {
  const int idle = std::clamp(seconds, static_cast<int>(Policy::kMinIdleSeconds),
                              static_cast<int>(Policy::kMaxIdleSeconds));
  Policy policy = policy_();
  policy.inactiveThreshold = idle;
  if (policy != policy_())
    setPolicy(std::move(policy), save(kIdleKey, std::to_string(idle)));
}

void UserSettings::setProtectedCount(int count) {
  const int kept = std::clamp(count, 0, static_cast<int>(Policy::kMaxProtected));
  Policy policy = policy_();
  policy.protectedWindowCount = static_cast<std::size_t>(kept);
  if (policy != policy_())
    setPolicy(std::move(policy), save(kProtectedKey, std::to_string(kept)));
}

void UserSettings::keep(const std::string& appName) {
  Policy policy = policy_();
  policy.neverHide.push_back(appName);
  policy.neverHide = keptNames(std::move(policy.neverHide));
  if (policy != policy_())
    setPolicy(policy, saveList(kNeverHideKey, policy.neverHide));
}

void UserSettings::stopKeeping(const std::string& appName) {
  Policy policy = policy_();
  std::erase(policy.neverHide, appName);
  if (policy != policy_())
    setPolicy(policy, saveList(kNeverHideKey, policy.neverHide));
}

void UserSettings::setPolicy(Policy policy, bool saved) {
  if (saved)
    policy_ = std::move(policy);
}

bool UserSettings::save(const char* key, const std::string& value) {
  preferences_.setString(key, value);
  return noteSaved();
}

bool UserSettings::saveList(const char* key, const std::vector<std::string>& value) {
  preferences_.setStringList(key, value);
  return noteSaved();
}

bool UserSettings::noteSaved() {
  if (auto error = preferences_.synchronize()) {
    if (errors_)
      *errors_ << "Failed to save the settings: " << *error << std::endl;
    // The store kept what is on disk; so does the interface, and the sheet says why.
    saveError_ = *error;
    return false;
  }
  if (!saveError_().empty())
    saveError_ = std::string();
  return true;
}

}  // namespace dozewick
