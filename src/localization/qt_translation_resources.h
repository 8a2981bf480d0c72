#pragma once

#include <QString>
#include <QTranslator>
#include <map>
#include <memory>
#include <string>

#include "localization/language_manager.h"

namespace dozewick {

// Optional Qt translation files that a user or packager may add to the translations folder:
// "dozewick_<language code>.qm" per language and "dozewick.qm" for every language, each with
// the text keys as source texts in the context "Dozewick". None ship with the program.
class QtTranslationResources final : public TranslationResources {
 public:
  explicit QtTranslationResources(QString directory = installedTranslationsDirectory());

  std::string languageResource(const std::string& languageCode,
                               const std::string& key) const override;
  std::string mainResource(const std::string& key) const override;

  // The translations folder of an installed program, next to its executable's folder.
  static QString installedTranslationsDirectory();

 private:
  const QTranslator* translator(const QString& fileName) const;
  static std::string lookUp(const QTranslator* translator, const std::string& key);

  QString directory_;
  // Loaded on first use; a missing file is remembered as null.
  mutable std::map<QString, std::unique_ptr<QTranslator>> translators_;
};

}  // namespace dozewick
