// Which listed windows are application windows, and how one is made to go away.
#include "core/window_rules.h"

#include <cmath>
#include <limits>
#include <optional>

#include "core/unicode.h"

namespace dozewick {
namespace {

// A whole number, whether the platform stored it as an integer or as a floating-point value.
std::optional<std::int64_t> wholeNumber(const EntryValue& value) {
  if (const auto* integer = std::get_if<std::int64_t>(&value))
    return *integer;
  if (const auto* real = std::get_if<double>(&value)) {
    // Both bounds are exact doubles; anything outside would overflow the conversion.
    if (std::isfinite(*real) && std::trunc(*real) == *real && *real >= -0x1p63 && *real < 0x1p63) {
      return static_cast<std::int64_t>(*real);
    }
  }
  return std::nullopt;
}

template <class T>
std::optional<T> fitting(const EntryValue& value) {
  const auto number = wholeNumber(value);
  if (!number || *number < std::numeric_limits<T>::min() ||
      *number > std::numeric_limits<T>::max()) {
    return std::nullopt;
  }
  return static_cast<T>(*number);
}

std::optional<std::string> text(const EntryValue& value) {
  if (const auto* string = std::get_if<std::string>(&value))
    return *string;
  return std::nullopt;
}

}  // namespace

std::vector<WindowInfo> getVisibleWindows(WindowSystem& windows) {
  const auto entries = windows.onScreenWindowEntries();
  return entries ? getVisibleWindows(*entries) : std::vector<WindowInfo>();
}

std::vector<WindowInfo> getVisibleWindows(const std::vector<WindowEntry>& entries) {
  std::vector<WindowInfo> result;
  result.reserve(entries.size());
  for (const auto& entry : entries) {
    if (wholeNumber(entry.layer) != 0)
      continue;
    const auto windowID = fitting<std::uint32_t>(entry.number);
    const auto appPID = fitting<std::int32_t>(entry.ownerPID);
    if (!windowID || !appPID)
      continue;
    std::string appName = text(entry.ownerName).value_or("Unknown");
    std::string title = text(entry.name).value_or("");
    if (shouldExcludeApp(appName, title))
      continue;
    result.push_back(WindowInfo{*windowID, *appPID, std::move(appName), std::move(title)});
  }
  return result;
}

bool minimizeWindow(WindowSystem& windows, const WindowInfo& window) {
  if (windows.hideApplication(window.appPID))
    return true;

  const auto candidates = windows.applicationWindows(window.appPID);
  if (!candidates)
    return false;
  for (const auto& candidate : *candidates) {
    const std::string title = candidate.title.value_or("");
    if (!window.title.empty() && !canonicallyEqual(title, window.title))
      continue;
    if (candidate.minimized == true)
      continue;
    if (windows.setMinimized(candidate))
      return true;
  }
  return false;
}

}  // namespace dozewick
