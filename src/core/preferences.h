// The user's preferences, as the language choice is kept.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace dozewick {

// The user's per-application key-value store. A stored value of another type reads as absent.
class Preferences {
 public:
  virtual ~Preferences() = default;
  virtual std::optional<std::string> string(const std::string& key) const = 0;
  virtual std::optional<std::vector<std::string>> stringList(const std::string& key) const = 0;
  virtual void setString(const std::string& key, const std::string& value) = 0;
  virtual void setStringList(const std::string& key, const std::vector<std::string>& value) = 0;
  // Writes pending changes to disk now; answers the reason when they could not be written, and
  // then drops them, so that the store reads as what is on disk.
  virtual std::optional<std::string> synchronize() = 0;
};

}  // namespace dozewick
