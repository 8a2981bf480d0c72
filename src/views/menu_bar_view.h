// The panel of the tray icon: name and state, what is missing, the loop's figures, the buttons.
#pragma once

#include <QColor>
#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <optional>
#include <string>

#include "core/observable.h"
#include "views/queued_redraw.h"
#include "views/view_models.h"
#include "views/view_services.h"

class QHBoxLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace dozewick {

class Divider;
class PermissionRequestView;
class SettingsView;
class StatusDot;
class SymbolView;

// The panel of the tray icon: name and state, what to do without permission, the loop's figures,
// start/stop, settings and quit. It redraws from the services' published values. A sheet takes
// the panel's place in its window until it closes; the window takes the size of what it shows.
class MenuBarView : public QWidget {
  Q_OBJECT

 public:
  static constexpr QSize panelSize{260, 400};

  explicit MenuBarView(ViewServices& services, QWidget* parent = nullptr);
  ~MenuBarView() override;

  // The panel's size, or the shown sheet's.
  QSize sizeHint() const override;

  // The sheets while they are shown, else null.
  PermissionRequestView* permissionSheet() const { return permissionSheet_; }
  SettingsView* settingsSheet() const { return settingsSheet_; }
  bool isStartPending() const { return startPending_; }

  // What the panel shows now.
  const PanelModel& model() const { return model_; }

  // Shows the sheet over the panel, unless it is shown already.
  void presentPermissionSheet();
  void presentSettings();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void build();
  QWidget* buildHeader();
  QWidget* buildPermissionSection();
  QVBoxLayout* buildFigures();
  QHBoxLayout* buildControlButton();
  QVBoxLayout* buildFooter();
  void refresh();
  void refreshHeader();
  void refreshPermissionSection(const PanelInputs& inputs);
  void refreshFigures(const PanelInputs& inputs);
  void refreshButtons();
  QColor colour(ColorRole role) const;
  QColor textColour(ColorRole role) const;  // readable on the panel
  QString text(const char* key) const;

  void refreshPermission();
  void toggleRunning();
  void closeSheets();
  template <class Sheet>
  void presentSheet(QPointer<Sheet>& slot);
  void sheetClosed(QDialog* sheet);

  ViewServices& services_;
  QueuedRedraw redraw_{this, [this] { refresh(); }};
  bool startPending_ = false;
  PanelModel model_;
  // What the panel shows now was drawn from, in this language; none after a new palette or style.
  std::optional<PanelInputs> drawn_;
  std::string drawnLanguage_;

  QPointer<PermissionRequestView> permissionSheet_;
  QPointer<SettingsView> settingsSheet_;
  QVBoxLayout* pages_ = nullptr;
  QPointer<QDialog> sheet_;  // the one shown, in the panel's place
  QWidget* panelPage_ = nullptr;
  QPointer<QWidget> focusBeforeSheet_;

  SymbolView* headerIcon_ = nullptr;
  QLabel* appName_ = nullptr;
  StatusDot* statusDot_ = nullptr;
  QLabel* statusText_ = nullptr;
  QPushButton* settingsButton_ = nullptr;
  QWidget* permissionSection_ = nullptr;
  SymbolView* permissionIcon_ = nullptr;
  QLabel* permissionText_ = nullptr;
  QLabel* checkStatus_ = nullptr;
  QPushButton* authorizeButton_ = nullptr;
  QPushButton* refreshButton_ = nullptr;
  SymbolView* activeIcon_ = nullptr;
  QLabel* activeText_ = nullptr;
  SymbolView* minimizedIcon_ = nullptr;
  QLabel* minimizedText_ = nullptr;
  QWidget* keptRow_ = nullptr;
  SymbolView* keptIcon_ = nullptr;
  QLabel* keptText_ = nullptr;
  QWidget* nextCheckRow_ = nullptr;
  SymbolView* nextCheckIcon_ = nullptr;
  QLabel* nextCheckText_ = nullptr;
  QPushButton* controlButton_ = nullptr;
  QPushButton* bringBackButton_ = nullptr;
  QPushButton* quitButton_ = nullptr;
};

}  // namespace dozewick
