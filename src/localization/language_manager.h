#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/localizer.h"
#include "core/observable.h"
#include "core/preferences.h"

namespace dozewick {

struct Language {
  std::string code;
  std::string name;
};

// The interface language and the texts by key.
class LanguageManager final : public ObservableObject, public Localizer {
 public:
  using Table = std::map<std::string, std::string>;

  // `systemLanguages` is the system's list of preferred languages, most preferred first.
  LanguageManager(Preferences& preferences, std::vector<std::string> systemLanguages);
  // The program's one instance; built where the real pieces are wired together.
  static LanguageManager& shared();

  const Published<std::string>& currentLanguage() const { return currentLanguage_; }
  // Persists and announces a change; assigning the current language writes nothing.
  void setCurrentLanguage(std::string code);
  const std::vector<Language>& availableLanguages() const { return availableLanguages_; }

  std::string localizedString(const std::string& key) const override;

  // The built-in texts: language code to key to text.
  static const std::map<std::string, Table>& builtInTables();

 private:
  void updateAppleLanguages();

  Preferences& preferences_;
  std::vector<Language> availableLanguages_;
  Published<std::string> currentLanguage_{*this, "en"};
};

}  // namespace dozewick
