#include "localization/qt_translation_resources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <utility>

#ifndef DOZEWICK_DATA_RELATIVE_TO_BIN
#define DOZEWICK_DATA_RELATIVE_TO_BIN "../share/dozewick"
#endif

namespace dozewick {

QtTranslationResources::QtTranslationResources(QString directory)
    : directory_(std::move(directory)) {}

QString QtTranslationResources::installedTranslationsDirectory() {
  return QDir::cleanPath(QCoreApplication::applicationDirPath() + "/" +
                         DOZEWICK_DATA_RELATIVE_TO_BIN + "/translations");
}

std::string QtTranslationResources::languageResource(const std::string& languageCode,
                                                     const std::string& key) const {
  // A code is part of a file name here; anything that could leave the folder is no language.
  const QString code = QString::fromStdString(languageCode);
  if (code.isEmpty() || code.contains('/') || code.contains('\\') || code.startsWith('.')) {
    return key;
  }
  return lookUp(translator("dozewick_" + code + ".qm"), key);
}

std::string QtTranslationResources::mainResource(const std::string& key) const {
  return lookUp(translator("dozewick.qm"), key);
}

const QTranslator* QtTranslationResources::translator(const QString& fileName) const {
  auto it = translators_.find(fileName);
  if (it == translators_.end()) {
    auto loaded = std::make_unique<QTranslator>();
    const QString path = QDir(directory_).filePath(fileName);
    if (!QFileInfo(path).isFile() || !loaded->load(path))
      loaded.reset();
    it = translators_.emplace(fileName, std::move(loaded)).first;
  }
  return it->second.get();
}

std::string QtTranslationResources::lookUp(const QTranslator* translator, const std::string& key) {
  if (!translator)
    return key;
  const QString text = translator->translate("Dozewick", key.c_str());
  return text.isEmpty() ? key : text.toStdString();
}

}  // namespace dozewick
