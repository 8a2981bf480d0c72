// The panel's offer of Dozewick's icon in the shell's top bar, where the panel is a window for want
// of a tray.
#include "views/shell_icon_offer_view.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "views/style.h"
#include "views/view_widgets.h"

namespace dozewick {

ShellIconOfferView::ShellIconOfferView(ViewServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
  setObjectName(QStringLiteral("shellIconOffer"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  button_ = new QPushButton;
  button_->setObjectName(QStringLiteral("topBarIconButton"));
  connect(button_, &QPushButton::clicked, this, [this] {
    const AuthorizeOutcome outcome = services_.installShellIcon();
    outcome_->setText(QString::fromStdString(outcome.message));
    outcome_->setVisible(!outcome.message.empty());
  });
  layout->addWidget(button_, 0, Qt::AlignHCenter);
  outcome_ = new QLabel;
  outcome_->setObjectName(QStringLiteral("topBarIconOutcome"));
  outcome_->setWordWrap(true);
  outcome_->setFont(style::systemFont(11));
  outcome_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  outcome_->hide();
  layout->addWidget(outcome_);
  redraw_.observe(services_.language);
  refresh();
}

void ShellIconOfferView::refresh() {
  const QString label =
      QString::fromStdString(services_.language.localizedString("button.topBarIcon"));
  makeLink(button_, style::color(ColorRole::blue, palette()));
  button_->setText(label);
  button_->setAccessibleName(label);
}

void ShellIconOfferView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange)
    redraw_.schedule();
}

}  // namespace dozewick
