// Preferences held in memory, counting writes and flushes: standard C++.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/preferences.h"

namespace dozewick::testing {

// Preferences held in memory, counting writes and flushes.
class MemoryPreferences final : public Preferences {
 public:
  using Value = std::variant<std::string, std::vector<std::string>, int>;

  std::optional<std::string> string(const std::string& key) const override {
    const auto it = values.find(key);
    if (it == values.end())
      return std::nullopt;
    if (const auto* text = std::get_if<std::string>(&it->second))
      return *text;
    return std::nullopt;
  }
  std::optional<std::vector<std::string>> stringList(const std::string& key) const override {
    const auto it = values.find(key);
    if (it == values.end())
      return std::nullopt;
    if (const auto* list = std::get_if<std::vector<std::string>>(&it->second))
      return *list;
    return std::nullopt;
  }
  void setString(const std::string& key, const std::string& value) override {
    values[key] = value;
    ++writes;
  }
  void setStringList(const std::string& key, const std::vector<std::string>& value) override {
    values[key] = value;
    ++writes;
  }
  // Like a store on disk: what could not be written is dropped.
  std::optional<std::string> synchronize() override {
    ++flushes;
    if (failure)
      values = saved;
    else
      saved = values;
    return failure;
  }

  std::map<std::string, Value> values;
  std::map<std::string, Value> saved;
  std::optional<std::string> failure;  // answered by every flush
  int writes = 0;
  int flushes = 0;
};

}  // namespace dozewick::testing
