// The permission dialog: what Dozewick needs, the guided check, and its status.
#pragma once

#include <QDialog>
#include <QMetaObject>
#include <vector>

#include "core/observable.h"
#include "views/queued_redraw.h"
#include "views/view_services.h"

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace dozewick {

class MiddleElidedLabel;
class SymbolView;

// Guides the user towards the permission: four steps, the program's path, the checker's status
// line, the guided check, a one-shot re-check and Close. While shown it re-checks whenever the
// program becomes active; whichever way it goes away, it ends a running poll.
class PermissionRequestView : public QDialog {
  Q_OBJECT

 public:
  // In `parent`'s place (the panel's window); deletes itself once closed.
  explicit PermissionRequestView(ViewServices& services, QWidget* parent = nullptr);
  ~PermissionRequestView() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void build();
  QWidget* buildSteps();
  void buildButtons(QVBoxLayout* stack);
  void refresh();
  QString text(const char* key) const;

  void appear();
  void disappear();
  void recheck();
  void pressMain();
  void pressClose();

  ViewServices& services_;
  QMetaObject::Connection becameActive_;
  QueuedRedraw redraw_{this, [this] { refresh(); }};
  bool appeared_ = false;

  SymbolView* icon_ = nullptr;
  QLabel* title_ = nullptr;
  QLabel* message_ = nullptr;
  std::vector<QLabel*> steps_;
  std::vector<SymbolView*> stepIcons_;
  MiddleElidedLabel* path_ = nullptr;
  QLabel* requirement_ = nullptr;  // what the desktop needs, in the path's place
  QLabel* note_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* closeButton_ = nullptr;
  QPushButton* mainButton_ = nullptr;
  QPushButton* refreshButton_ = nullptr;
  QPushButton* launchButton_ = nullptr;  // offered when the grant waits for the next login
};

}  // namespace dozewick
