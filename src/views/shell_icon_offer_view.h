// The panel's offer of Dozewick's icon in the shell's top bar, where the panel is a window for want
// of a tray.
#pragma once

#include <QWidget>

#include "views/queued_redraw.h"
#include "views/view_services.h"

class QLabel;
class QPushButton;

namespace dozewick {

// A button that installs Dozewick's part of the shell (ViewServices::installShellIcon) and, below
// it, what came of that: the next step, or why nothing was installed.
class ShellIconOfferView final : public QWidget {
  Q_OBJECT

 public:
  explicit ShellIconOfferView(ViewServices& services, QWidget* parent = nullptr);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void refresh();

  ViewServices& services_;
  QueuedRedraw redraw_{this, [this] { refresh(); }};
  QPushButton* button_ = nullptr;
  QLabel* outcome_ = nullptr;
};

}  // namespace dozewick
