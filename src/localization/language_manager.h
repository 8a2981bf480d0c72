// The interface language and its texts by key.
#pragma once

#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
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
  // `errors`, when given, hears one line for each language choice that could not be saved.
  LanguageManager(Preferences& preferences, std::vector<std::string> systemLanguages,
                  std::ostream* errors = nullptr);
  // The program's one instance; built where the real pieces are wired together.
  static LanguageManager& shared();

  const Published<std::string>& currentLanguage() const { return currentLanguage_; }
  // Persists and announces a change; assigning the current language writes nothing. A choice
  // that cannot be saved is taken back, with the reason in `saveError`.
  void setCurrentLanguage(std::string code);
  const std::vector<Language>& availableLanguages() const { return availableLanguages_; }
  // Why the last language choice was not saved; empty once one has been.
  const Published<std::string>& saveError() const { return saveError_; }

  std::string localizedString(const std::string& key) const override;

  // The built-in texts: language code to key to text.
  static const std::map<std::string, Table>& builtInTables();

 private:
  Preferences& preferences_;
  std::ostream* errors_;
  std::vector<Language> availableLanguages_;
  Published<std::string> currentLanguage_{*this, "en"};
  Published<std::string> saveError_{*this, {}};
};

}  // namespace dozewick
