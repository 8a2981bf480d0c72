// The permission dialog: what Dozewick needs, the guided check, and its status.
#include "views/permission_request_view.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "views/style.h"
#include "views/view_models.h"
#include "views/view_widgets.h"

namespace dozewick {

namespace {

constexpr int kContentWidth = 260;
constexpr int kDefaultPadding = 10;

}  // namespace

PermissionRequestView::PermissionRequestView(ViewServices& services, QWidget* parent)
    : QDialog(parent), services_(services) {
  setObjectName(QStringLiteral("permissionRequestView"));
  setAttribute(Qt::WA_DeleteOnClose);
  // A page of the panel's window, with no frame or title bar of its own.
  if (parent)
    setWindowFlags(Qt::Widget);
  build();
  redraw_.observe(services_.checker);
  redraw_.observe(services_.language);
  redraw_.observe(services_.launchAtLogin);
  refresh();
}

PermissionRequestView::~PermissionRequestView() {
  redraw_.stop();
  // Deleted while still shown (its panel went away): the poll ends all the same.
  if (appeared_)
    disappear();
}

QString PermissionRequestView::text(const char* key) const {
  return QString::fromStdString(services_.language.localizedString(key));
}

void PermissionRequestView::build() {
  setFont(style::systemFont(13));
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(kDefaultPadding, kDefaultPadding, kDefaultPadding, kDefaultPadding);
  outer->setSizeConstraint(QLayout::SetFixedSize);

  auto* column = new QWidget;
  column->setObjectName(QStringLiteral("column"));
  column->setFixedWidth(kContentWidth);
  outer->addWidget(column);
  auto* stack = new QVBoxLayout(column);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->setSpacing(16);

  auto* iconBox = new QVBoxLayout;
  iconBox->setContentsMargins(0, 8, 0, 0);
  icon_ = new SymbolView(48);
  icon_->setObjectName(QStringLiteral("icon"));
  iconBox->addWidget(icon_, 0, Qt::AlignHCenter);
  stack->addLayout(iconBox);

  title_ = new QLabel;
  title_->setObjectName(QStringLiteral("title"));
  title_->setFont(style::headline());
  title_->setAlignment(Qt::AlignCenter);
  title_->setWordWrap(true);
  stack->addWidget(title_);

  message_ = new QLabel;
  message_->setObjectName(QStringLiteral("message"));
  message_->setFont(style::caption());
  message_->setAlignment(Qt::AlignCenter);
  message_->setWordWrap(true);
  message_->setContentsMargins(kDefaultPadding, 0, kDefaultPadding, 0);
  stack->addWidget(message_);

  stack->addWidget(buildSteps(), 0, Qt::AlignHCenter);
  launchButton_ = new QPushButton;
  launchButton_->setObjectName(QStringLiteral("launchAtLoginButton"));
  launchButton_->setFont(style::caption2());
  launchButton_->setAutoDefault(false);
  connect(launchButton_, &QPushButton::clicked, this,
          [this] { services_.launchAtLogin.setEnabled(true); });
  stack->addWidget(launchButton_, 0, Qt::AlignHCenter);

  path_ = new MiddleElidedLabel;
  path_->setObjectName(QStringLiteral("executablePath"));
  path_->setFont(style::monospaced(10));
  requirement_ = new QLabel;
  requirement_->setObjectName(QStringLiteral("requirement"));
  requirement_->setFont(style::caption2());
  requirement_->setAlignment(Qt::AlignCenter);
  requirement_->setWordWrap(true);
  auto* pathBox = new QHBoxLayout;
  pathBox->setContentsMargins(8, 0, 8, 0);
  pathBox->addWidget(path_);
  pathBox->addWidget(requirement_);
  stack->addLayout(pathBox);

  note_ = new QLabel;
  note_->setObjectName(QStringLiteral("note"));
  note_->setFont(style::caption());
  note_->setAlignment(Qt::AlignCenter);
  note_->setWordWrap(true);
  note_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  stack->addWidget(note_);

  status_ = new QLabel;
  status_->setObjectName(QStringLiteral("status"));
  status_->setFont(style::caption());
  status_->setAlignment(Qt::AlignCenter);
  status_->setWordWrap(true);
  status_->setContentsMargins(0, 4, 0, 4);
  stack->addWidget(status_);

  buildButtons(stack);
}

// The four steps, each with its symbol.
QWidget* PermissionRequestView::buildSteps() {
  auto* steps = new QWidget;
  steps->setObjectName(QStringLiteral("steps"));
  auto* stepsLayout = new QVBoxLayout(steps);
  stepsLayout->setContentsMargins(8, 0, 8, 0);
  stepsLayout->setSpacing(8);
  for (int i = 1; i <= 4; ++i) {
    auto* line = new QHBoxLayout;
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(6);
    auto* icon = new SymbolView(13);
    icon->setObjectName(QStringLiteral("step%1Icon").arg(i));
    auto* label = new QLabel;
    label->setObjectName(QStringLiteral("step%1").arg(i));
    label->setFont(style::caption2());
    line->addWidget(icon, 0, Qt::AlignVCenter);
    line->addWidget(label, 1, Qt::AlignVCenter);
    stepsLayout->addLayout(line);
    steps_.push_back(label);
    stepIcons_.push_back(icon);
  }
  return steps;
}

// Close and the main button side by side, the re-check below them.
void PermissionRequestView::buildButtons(QVBoxLayout* stack) {
  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(0, 0, 0, 0);
  buttons->setSpacing(12);
  closeButton_ = new QPushButton;
  closeButton_->setObjectName(QStringLiteral("closeButton"));
  closeButton_->setAutoDefault(false);
  connect(closeButton_, &QPushButton::clicked, this, &PermissionRequestView::pressClose);
  mainButton_ = new QPushButton;
  mainButton_->setObjectName(QStringLiteral("mainButton"));
  mainButton_->setAutoDefault(false);
  connect(mainButton_, &QPushButton::clicked, this, &PermissionRequestView::pressMain);
  buttons->addStretch(1);
  buttons->addWidget(closeButton_);
  buttons->addWidget(mainButton_);
  buttons->addStretch(1);
  stack->addLayout(buttons);

  auto* refreshBox = new QVBoxLayout;
  refreshBox->setContentsMargins(0, 0, 0, 8);
  refreshButton_ = new QPushButton;
  refreshButton_->setObjectName(QStringLiteral("refreshButton"));
  refreshButton_->setFont(style::caption());
  refreshButton_->setAutoDefault(false);
  connect(refreshButton_, &QPushButton::clicked, this, &PermissionRequestView::recheck);
  refreshBox->addWidget(refreshButton_, 0, Qt::AlignHCenter);
  stack->addLayout(refreshBox);
}

void PermissionRequestView::refresh() {
  const QPalette& pal = palette();
  auto colour = [&pal](ColorRole role) { return style::color(role, pal); };
  auto textColour = [&pal](ColorRole role) { return style::textColor(role, pal); };
  const bool granted = services_.checker.hasAccessibilityPermission()();
  const bool checking = services_.checker.isCheckingPermission()();

  setWindowTitle(text("permission.title"));
  icon_->setSymbol(QStringLiteral("lock.shield"), colour(ColorRole::orange));
  title_->setText(text("permission.title"));
  message_->setText(text("permission.message"));
  setTextColor(message_, textColour(ColorRole::secondary));
  const LastStep last =
      lastStep(services_.checker.needsNewLogin()(), services_.launchAtLogin.isEnabled()());
  const char* const stepKeys[] = {"permission.step1", "permission.step2", "permission.step3",
                                  last.textKey};
  for (std::size_t i = 0; i < steps_.size(); ++i) {
    steps_[i]->setText(text(stepKeys[i]));
    setTextColor(steps_[i], textColour(ColorRole::secondary));
    stepIcons_[i]->setSymbol(QStringLiteral("%1.circle").arg(i + 1), colour(ColorRole::secondary));
  }
  const QString launch = text("permission.launchAtLogin");
  makeLink(launchButton_, textColour(ColorRole::blue));
  setButtonSymbol(launchButton_, QStringLiteral("power.circle"), textColour(ColorRole::blue), 12);
  launchButton_->setText(launch);
  launchButton_->setAccessibleName(launch);
  launchButton_->setVisible(last.offersLaunchAtLogin);

  // The program's path says nothing to a user here; what the desktop needs does.
  const bool needs = !services_.requirementKey.empty();
  path_->setVisible(!needs);
  path_->setText(QString::fromStdString(services_.executablePath));
  setTextColor(path_, textColour(ColorRole::secondary));
  requirement_->setVisible(needs);
  requirement_->setText(needs ? text(services_.requirementKey.c_str()) : QString());
  setTextColor(requirement_, textColour(ColorRole::secondary));

  // Paths may break after any folder, so that a long one wraps instead of widening the sheet.
  // Or why launching at login, as offered, could not be switched on.
  std::string said = services_.checker.promptNote()();
  if (said.empty() && last.offersLaunchAtLogin)
    said = settingsErrorText(services_.launchAtLogin.lastError()(), services_.language);
  QString note = QString::fromStdString(said);
  note_->setText(note.replace(u'/', QStringLiteral("/\u200b")));
  note_->setVisible(!note.isEmpty());
  setTextColor(note_, textColour(ColorRole::orange));

  const QString status = QString::fromStdString(services_.checker.checkStatus()());
  status_->setText(status);
  status_->setVisible(!status.isEmpty());
  setTextColor(status_, textColour(permissionStatusColor(granted)));

  const QString close = text("button.close");
  closeButton_->setText(close);
  closeButton_->setAccessibleName(close);

  const PermissionButtonForm form = permissionButtonForm(granted, checking);
  const QString main = text(form.textKey.c_str());
  makeProminent(mainButton_, style::filledButton(form.tint, pal), 4);
  mainButton_->setProperty("startsCheck", form.startsCheck);
  mainButton_->setText(main);
  mainButton_->setAccessibleName(main);
  mainButton_->setEnabled(form.enabled);

  const QString refreshText = text("button.refresh");
  makeLink(refreshButton_, textColour(ColorRole::blue));
  setButtonSymbol(refreshButton_, QStringLiteral("arrow.clockwise"), textColour(ColorRole::blue),
                  12);
  refreshButton_->setText(refreshText);
  refreshButton_->setAccessibleName(refreshText);
}

void PermissionRequestView::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous() && !appeared_)
    appear();
}

void PermissionRequestView::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (!event->spontaneous() && appeared_)
    disappear();
}

void PermissionRequestView::keyPressEvent(QKeyEvent* event) {
  if (!pressFocusedButton(this, event))
    QDialog::keyPressEvent(event);
}

void PermissionRequestView::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
    redraw_.schedule();
  }
}

void PermissionRequestView::appear() {
  appeared_ = true;
  refresh();
  becameActive_ = connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
                          [this](Qt::ApplicationState state) {
                            if (state == Qt::ApplicationActive)
                              recheck();
                          });
}

void PermissionRequestView::disappear() {
  appeared_ = false;
  disconnect(becameActive_);
  services_.checker.stopCheckingPermission();
}

void PermissionRequestView::recheck() {
  services_.checker.checkPermissionAsync([](bool) {});
}

void PermissionRequestView::pressMain() {
  const PermissionButtonForm form = permissionButtonForm(
      services_.checker.hasAccessibilityPermission()(), services_.checker.isCheckingPermission()());
  if (form.startsCheck)
    services_.checker.startCheckingPermission();
}

void PermissionRequestView::pressClose() {
  services_.checker.stopCheckingPermission();
  accept();
}

}  // namespace dozewick
