// The interface-language picker.
#include "localization/language_selector.h"

#include <QSignalBlocker>
#include <QString>

namespace dozewick {

LanguageSelector::LanguageSelector(LanguageManager& manager, QWidget* parent)
    : QComboBox(parent), manager_(manager) {
  for (const Language& language : manager_.availableLanguages()) {
    addItem(QString::fromStdString(language.name), QString::fromStdString(language.code));
  }
  refresh();
  connect(this, &QComboBox::currentIndexChanged, this, &LanguageSelector::choose);
  // The notice comes before the value is stored, so the new value is read later.
  subscription_ = manager_.objectWillChange().connect([this] { scheduleRefresh(); });
}

void LanguageSelector::scheduleRefresh() {
  if (refreshScheduled_)
    return;
  refreshScheduled_ = true;
  QMetaObject::invokeMethod(this, &LanguageSelector::refresh, Qt::QueuedConnection);
}

void LanguageSelector::refresh() {
  refreshScheduled_ = false;
  const QString code = QString::fromStdString(manager_.currentLanguage().get());
  {
    const QSignalBlocker blocker(this);
    setCurrentIndex(findData(code));
  }
  setAccessibleName(QString::fromStdString(manager_.localizedString("language.title")));
}

void LanguageSelector::choose(int index) {
  if (index < 0)
    return;
  const std::string code = itemData(index).toString().toStdString();
  if (code != manager_.currentLanguage().get())
    manager_.setCurrentLanguage(code);
}

}  // namespace dozewick
