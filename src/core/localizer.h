// Texts by key, as the services look them up.
#pragma once

#include <string>

namespace dozewick {

// Texts by dotted key ("status.running") in the interface language.
class Localizer {
 public:
  virtual ~Localizer() = default;
  virtual std::string localizedString(const std::string& key) const = 0;
};

}  // namespace dozewick
