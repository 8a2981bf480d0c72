// The settings dialog: the interface language and launch at login.
#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "core/observable.h"
#include "views/color_role.h"
#include "views/queued_redraw.h"
#include "views/view_services.h"

class QLabel;
class QLayout;
class QPushButton;
class QVBoxLayout;

namespace dozewick {

class LanguageSelector;
class SwitchToggle;
class SymbolView;

// The interface language and the login item; given the everyday settings, also those (start at
// launch, idle time, protected windows, applications never minimized). Each time it is shown it
// takes the login switch from the system's registration.
class SettingsView : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kWidth = 360;
  static constexpr int kHeight = 200;

  // In `parent`'s place (the panel's window); deletes itself once closed.
  explicit SettingsView(ViewServices& services, QWidget* parent = nullptr);
  ~SettingsView() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct Row {
    SymbolView* icon = nullptr;
    QWidget* badge = nullptr;
    QLabel* title = nullptr;
    QLabel* description = nullptr;
    ColorRole color{};
  };

  enum class ErrorSource { none, launchAtLogin, language, settings };
  struct Everyday;  // the everyday settings' rows and controls

  void build();
  // A failure of either service while the dialog is open shows until that service's next
  // attempt succeeds.
  void noteResult(ErrorSource source, const std::string& error);
  QWidget* settingRow(const QString& name, const QString& icon, ColorRole iconColor, Row& row,
                      bool hasDescription, QWidget* content);
  void refresh();
  // The everyday settings' part of build() and refresh().
  void buildEveryday(QVBoxLayout* rows);
  void refreshEveryday();
  void fillOnScreenMenu();
  void addEverydayRows(std::vector<Row*>& rows);
  QString text(const char* key) const;

  ViewServices& services_;
  QueuedRedraw redraw_{this, [this] { refresh(); }};

  QLabel* title_ = nullptr;
  QPushButton* closeButton_ = nullptr;
  Row languageRow_;
  Row launchRow_;
  LanguageSelector* languageSelector_ = nullptr;
  SwitchToggle* launchSwitch_ = nullptr;
  QLabel* error_ = nullptr;
  QLayout* rows_ = nullptr;
  std::vector<QLayout*> rowLayouts_;
  std::string errorReason_;
  ErrorSource errorSource_ = ErrorSource::none;
  Subscription launchResults_;
  Subscription languageResults_;
  std::shared_ptr<Everyday> everyday_;  // complete only where it is built
};

}  // namespace dozewick
