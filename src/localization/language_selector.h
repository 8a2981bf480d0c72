// The interface-language picker.
#pragma once

#include <QComboBox>

#include "core/observable.h"
#include "localization/language_manager.h"

namespace dozewick {

// The interface-language picker: one entry per available language, named in its own language,
// kept in step with the current language whoever changes it.
class LanguageSelector : public QComboBox {
  Q_OBJECT

 public:
  explicit LanguageSelector(LanguageManager& manager, QWidget* parent = nullptr);

 private:
  void scheduleRefresh();
  void refresh();
  void choose(int index);

  LanguageManager& manager_;
  Subscription subscription_;
  bool refreshScheduled_ = false;
};

}  // namespace dozewick
