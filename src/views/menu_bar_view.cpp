// The panel of the tray icon: name and state, what is missing, the loop's figures, the buttons.
#include "views/menu_bar_view.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "views/permission_request_view.h"
#include "views/settings_view.h"
#include "views/shell_icon_offer_view.h"
#include "views/style.h"
#include "views/view_widgets.h"

namespace dozewick {

namespace {

constexpr int kColumnWidth = 240;
constexpr int kDefaultPadding = 10;
constexpr int kDefaultSpacing = 8;

QHBoxLayout* row(int spacing) {
  auto* layout = new QHBoxLayout;
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(spacing);
  return layout;
}

// Symbols of a figure row sit in one column so that the texts line up.
QWidget* symbolCell(SymbolView* symbol) {
  auto* cell = new QWidget;
  cell->setFixedWidth(18);
  auto* layout = row(0);
  layout->addWidget(symbol, 0, Qt::AlignCenter);
  cell->setLayout(layout);
  return cell;
}

}  // namespace

MenuBarView::MenuBarView(ViewServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
  setObjectName(QStringLiteral("menuBarView"));
  setAutoFillBackground(true);
  build();
  // Every published value announces itself before it is stored: read them on a later turn.
  redraw_.observe(services_.manager);
  redraw_.observe(services_.checker);
  redraw_.observe(services_.language);
  redraw_.skipWhileHidden(this);
  refresh();
}

MenuBarView::~MenuBarView() {
  redraw_.stop();
  // The sheets are children; they run their disappear steps while the services still live.
  delete permissionSheet_.data();
  delete settingsSheet_.data();
}

QString MenuBarView::text(const char* key) const {
  return QString::fromStdString(services_.language.localizedString(key));
}

void MenuBarView::build() {
  setFont(style::systemFont(13));

  // A page hidden takes no room: the window fits the one shown.
  pages_ = new QVBoxLayout(this);
  pages_->setContentsMargins(0, 0, 0, 0);
  panelPage_ = new QWidget;
  panelPage_->setObjectName(QStringLiteral("panelPage"));
  pages_->addWidget(panelPage_);
  auto* outer = new QVBoxLayout(panelPage_);
  outer->setContentsMargins(kDefaultPadding, kDefaultPadding, kDefaultPadding, kDefaultPadding);
  outer->setSpacing(0);

  auto* column = new QWidget;
  column->setObjectName(QStringLiteral("column"));
  column->setFixedWidth(kColumnWidth);
  auto* stack = new QVBoxLayout(column);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->setSpacing(12);
  // From the top, so that what comes and goes below moves nothing above it.
  outer->addWidget(column, 0, Qt::AlignHCenter);
  outer->addStretch(1);

  stack->addWidget(buildHeader());
  stack->addWidget(new Divider);
  stack->addWidget(buildPermissionSection());
  stack->addLayout(buildFigures());
  stack->addLayout(buildControlButton());
  bringBackButton_ = new QPushButton;
  bringBackButton_->setObjectName(QStringLiteral("bringBackButton"));
  connect(bringBackButton_, &QPushButton::clicked, this, [this] { services_.manager.bringBack(); });
  stack->addWidget(bringBackButton_, 0, Qt::AlignHCenter);
  if (services_.installShellIcon)
    stack->addWidget(new ShellIconOfferView(services_));
  stack->addLayout(buildFooter());
}

// Header: symbol, name and state; the settings button at the far end.
QWidget* MenuBarView::buildHeader() {
  auto* header = new QWidget;
  header->setObjectName(QStringLiteral("header"));
  auto* headerRow = row(kDefaultSpacing);
  headerRow->setContentsMargins(0, 8, 0, 0);
  header->setLayout(headerRow);
  headerIcon_ = new SymbolView(32);
  headerIcon_->setObjectName(QStringLiteral("headerIcon"));
  headerRow->addWidget(headerIcon_, 0, Qt::AlignVCenter);
  auto* identity = new QVBoxLayout;
  identity->setContentsMargins(0, 0, 0, 0);
  identity->setSpacing(2);
  appName_ = new QLabel;
  appName_->setObjectName(QStringLiteral("appName"));
  appName_->setFont(style::headline());
  identity->addWidget(appName_);
  auto* stateRow = row(4);
  statusDot_ = new StatusDot(8);
  statusDot_->setObjectName(QStringLiteral("statusDot"));
  statusText_ = new QLabel;
  statusText_->setObjectName(QStringLiteral("statusText"));
  statusText_->setFont(style::caption());
  stateRow->addWidget(statusDot_, 0, Qt::AlignVCenter);
  stateRow->addWidget(statusText_, 0, Qt::AlignVCenter);
  stateRow->addStretch(1);
  identity->addLayout(stateRow);
  headerRow->addLayout(identity);
  headerRow->addStretch(1);
  settingsButton_ = new QPushButton;
  settingsButton_->setObjectName(QStringLiteral("settingsButton"));
  settingsButton_->setFixedSize(24, 24);
  connect(settingsButton_, &QPushButton::clicked, this, &MenuBarView::presentSettings);
  headerRow->addWidget(settingsButton_, 0, Qt::AlignVCenter);
  return header;
}

// What to do without the permission; the divider below belongs to it.
QWidget* MenuBarView::buildPermissionSection() {
  permissionSection_ = new QWidget;
  permissionSection_->setObjectName(QStringLiteral("permissionSection"));
  auto* sectionWithDivider = new QVBoxLayout(permissionSection_);
  sectionWithDivider->setContentsMargins(0, 0, 0, 0);
  sectionWithDivider->setSpacing(12);
  auto* block = new QVBoxLayout;
  block->setContentsMargins(4, 0, 4, 0);
  block->setSpacing(8);
  auto* warningRow = row(kDefaultSpacing);
  permissionIcon_ = new SymbolView(15);
  permissionIcon_->setObjectName(QStringLiteral("permissionIcon"));
  permissionText_ = new QLabel;
  permissionText_->setObjectName(QStringLiteral("permissionText"));
  permissionText_->setFont(style::caption());
  warningRow->addWidget(permissionIcon_, 0, Qt::AlignVCenter);
  warningRow->addWidget(permissionText_, 0, Qt::AlignVCenter);
  warningRow->addStretch(1);
  block->addLayout(warningRow);
  checkStatus_ = new QLabel;
  checkStatus_->setObjectName(QStringLiteral("checkStatus"));
  checkStatus_->setFont(style::caption2());
  checkStatus_->setWordWrap(true);
  checkStatus_->setAlignment(Qt::AlignLeading | Qt::AlignVCenter);
  block->addWidget(checkStatus_);
  authorizeButton_ = new QPushButton;
  authorizeButton_->setObjectName(QStringLiteral("authorizeButton"));
  connect(authorizeButton_, &QPushButton::clicked, this, &MenuBarView::presentPermissionSheet);
  block->addWidget(authorizeButton_);
  refreshButton_ = new QPushButton;
  refreshButton_->setObjectName(QStringLiteral("refreshButton"));
  refreshButton_->setFont(style::caption2());
  connect(refreshButton_, &QPushButton::clicked, this, &MenuBarView::refreshPermission);
  block->addWidget(refreshButton_, 0, Qt::AlignHCenter);
  sectionWithDivider->addLayout(block);
  sectionWithDivider->addWidget(new Divider);
  return permissionSection_;
}

// The loop's figures.
QVBoxLayout* MenuBarView::buildFigures() {
  auto* figures = new QVBoxLayout;
  figures->setContentsMargins(4, 0, 4, 0);
  figures->setSpacing(8);
  auto figureRow = [&](const char* name, SymbolView*& icon, QLabel*& label, int iconSize) {
    auto* line = new QWidget;
    line->setObjectName(QString::fromLatin1(name) + QStringLiteral("Row"));
    auto* layout = row(kDefaultSpacing);
    line->setLayout(layout);
    icon = new SymbolView(iconSize);
    icon->setObjectName(QString::fromLatin1(name) + QStringLiteral("Icon"));
    label = new QLabel;
    label->setObjectName(QString::fromLatin1(name) + QStringLiteral("Text"));
    label->setFont(style::systemFont(13));
    layout->addWidget(symbolCell(icon), 0, Qt::AlignVCenter);
    layout->addWidget(label, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    figures->addWidget(line);
    return line;
  };
  figureRow("active", activeIcon_, activeText_, 15);
  figureRow("minimized", minimizedIcon_, minimizedText_, 14);
  keptRow_ = figureRow("kept", keptIcon_, keptText_, 14);
  nextCheckRow_ = figureRow("nextCheck", nextCheckIcon_, nextCheckText_, 15);
  // Start and Stop stay where the pointer left them.
  QSizePolicy keepPlace = nextCheckRow_->sizePolicy();
  keepPlace.setRetainSizeWhenHidden(true);
  nextCheckRow_->setSizePolicy(keepPlace);
  return figures;
}

// Start or stop.
QHBoxLayout* MenuBarView::buildControlButton() {
  auto* controlBox = row(0);
  controlBox->setContentsMargins(4, 0, 4, 0);
  controlButton_ = new QPushButton;
  controlButton_->setObjectName(QStringLiteral("controlButton"));
  controlButton_->setFont(style::systemFont(13, QFont::Medium));
  controlButton_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  connect(controlButton_, &QPushButton::clicked, this, &MenuBarView::toggleRunning);
  controlBox->addWidget(controlButton_);
  return controlBox;
}

// Footer: a divider and the Quit capsule.
QVBoxLayout* MenuBarView::buildFooter() {
  auto* footer = new QVBoxLayout;
  footer->setContentsMargins(4, 0, 4, 6);
  footer->setSpacing(12);
  footer->addWidget(new Divider);
  quitButton_ = new QPushButton;
  quitButton_->setObjectName(QStringLiteral("quitButton"));
  quitButton_->setFont(style::systemFont(13, QFont::Medium));
  quitButton_->setCursor(Qt::PointingHandCursor);
  auto* shadow = new QGraphicsDropShadowEffect(quitButton_);
  shadow->setBlurRadius(4);
  shadow->setOffset(0, 1);
  quitButton_->setGraphicsEffect(shadow);
  connect(quitButton_, &QPushButton::clicked, this, [this] {
    if (services_.quit)
      services_.quit();
  });
  footer->addWidget(quitButton_, 0, Qt::AlignHCenter);
  return footer;
}

void MenuBarView::refresh() {
  PanelInputs inputs;
  inputs.hasAccessibilityPermission = services_.checker.hasAccessibilityPermission()();
  inputs.isAnswerPending = services_.checker.isAnswerPending()();
  inputs.isRunning = services_.manager.isRunning()();
  inputs.activeWindowCount = services_.manager.activeWindowCount()();
  inputs.minimizedCount = services_.manager.minimizedCount()();
  inputs.nextMinimizeIn = services_.manager.nextMinimizeIn()();
  inputs.keptCount = services_.manager.keptCount()();
  inputs.putAwayCount = services_.manager.putAwayCount()();
  inputs.checkStatus = services_.checker.checkStatus()();
  const std::string& language = services_.language.currentLanguage()();
  // Most seconds change the countdown alone: then it is the one text set again.
  PanelInputs countdownAside = inputs;
  countdownAside.nextMinimizeIn = drawn_ ? drawn_->nextMinimizeIn : inputs.nextMinimizeIn;
  const bool onlyCountdown = drawn_ && language == drawnLanguage_ && countdownAside == *drawn_;
  drawn_ = inputs;
  drawnLanguage_ = language;
  nextCheckText_->setText(QString::fromStdString(
      secondsText(services_.language.localizedString("window.nextCheck"), inputs.nextMinimizeIn)));
  if (onlyCountdown)
    return;
  model_ = panelModel(inputs);
  refreshHeader();
  refreshPermissionSection(inputs);
  refreshFigures(inputs);
  refreshButtons();
}

QColor MenuBarView::colour(ColorRole role) const {
  return style::color(role, palette());
}

QColor MenuBarView::textColour(ColorRole role) const {
  return style::textColor(role, palette());
}

void MenuBarView::refreshHeader() {
  headerIcon_->setSymbol(QString::fromStdString(model_.iconName), colour(model_.iconColor));
  appName_->setText(text("app.name"));
  statusDot_->setColor(colour(model_.dotColor));
  statusText_->setText(text(model_.statusKey.c_str()));

  const QString settingsTitle = text("settings.title");
  makePlain(settingsButton_, colour(ColorRole::secondary));
  setButtonSymbol(settingsButton_, QStringLiteral("gearshape.fill"), colour(ColorRole::secondary),
                  18);
  settingsButton_->setToolTip(settingsTitle);
  settingsButton_->setAccessibleName(settingsTitle);
}

void MenuBarView::refreshPermissionSection(const PanelInputs& inputs) {
  permissionSection_->setVisible(model_.showsPermissionSection);
  permissionIcon_->setSymbol(QStringLiteral("exclamationmark.triangle.fill"),
                             colour(ColorRole::orange));
  permissionText_->setText(text("status.needPermission"));
  setTextColor(permissionText_, textColour(ColorRole::secondary));
  checkStatus_->setText(QString::fromStdString(inputs.checkStatus));
  setTextColor(checkStatus_, textColour(ColorRole::orange));
  checkStatus_->setVisible(model_.showsCheckStatus);

  const QString authorize = text("button.authorize");
  const style::ButtonColors warning = style::filledButton(ColorRole::orange, palette());
  makeProminent(authorizeButton_, warning, 6);
  setButtonSymbol(authorizeButton_, QStringLiteral("lock.open"), warning.text, 14);
  authorizeButton_->setText(authorize);
  authorizeButton_->setAccessibleName(authorize);

  const QString refreshText = text("button.refresh");
  makeLink(refreshButton_, textColour(ColorRole::blue));
  setButtonSymbol(refreshButton_, QStringLiteral("arrow.clockwise"), textColour(ColorRole::blue),
                  12);
  refreshButton_->setText(refreshText);
  refreshButton_->setAccessibleName(refreshText);
}

void MenuBarView::refreshFigures(const PanelInputs& inputs) {
  const QColor countColour = textColour(model_.countStyle);
  activeIcon_->setSymbol(QStringLiteral("rectangle.stack"), colour(ColorRole::blue));
  activeText_->setText(QString::fromStdString(
      figureText(services_.language.localizedString("window.active"), inputs.activeWindowCount)));
  setTextColor(activeText_, countColour);
  minimizedIcon_->setSymbol(QStringLiteral("minus.circle.fill"), colour(ColorRole::red));
  minimizedText_->setText(QString::fromStdString(
      figureText(services_.language.localizedString("window.minimized"), inputs.minimizedCount)));
  setTextColor(minimizedText_, countColour);
  keptRow_->setVisible(model_.showsKeptRow);
  keptIcon_->setSymbol(QStringLiteral("exclamationmark.triangle.fill"), colour(ColorRole::orange));
  keptText_->setText(QString::fromStdString(
      figureText(services_.language.localizedString("window.kept"), inputs.keptCount)));
  setTextColor(keptText_, countColour);
  nextCheckRow_->setVisible(model_.showsNextCheckRow);
  nextCheckIcon_->setSymbol(QStringLiteral("timer"), colour(ColorRole::purple));
  setTextColor(nextCheckText_, textColour(ColorRole::primary));
}

void MenuBarView::refreshButtons() {
  const QString control = text(model_.controlTextKey.c_str());
  const style::ButtonColors controlColours = style::filledButton(model_.controlTint, palette());
  makeProminent(controlButton_, controlColours, 8);
  setButtonSymbol(controlButton_, QString::fromStdString(model_.controlSymbol), controlColours.text,
                  14);
  controlButton_->setText(control);
  controlButton_->setAccessibleName(control);

  const QString bringBack = text("button.bringBack");
  bringBackButton_->setVisible(model_.showsBringBack);
  makeLink(bringBackButton_, textColour(ColorRole::blue));
  setButtonSymbol(bringBackButton_, QStringLiteral("arrow.uturn.backward"),
                  textColour(ColorRole::blue), 12);
  bringBackButton_->setText(bringBack);
  bringBackButton_->setAccessibleName(bringBack);

  const QString quit = text("button.quit");
  const style::ButtonColors capsule = style::filledButton(ColorRole::red, palette());
  quitButton_->setProperty("tint", capsule.fill);
  setButtonSymbol(quitButton_, QStringLiteral("power.circle.fill"), capsule.text, 14);
  quitButton_->setText(quit);
  quitButton_->setAccessibleName(quit);
  const int capsuleHeight = quitButton_->fontMetrics().height() + 12;
  setStyleSheetIfChanged(quitButton_,
                         QStringLiteral("QPushButton { background-color: %1; color: %2;"
                                        " border: none; border-radius: %3px;"
                                        " padding: 6px 16px; min-height: %4px; }"
                                        "QPushButton:pressed { background-color: %5; }")
                             .arg(style::css(capsule.fill), style::css(capsule.text))
                             .arg(capsuleHeight / 2)
                             .arg(capsuleHeight - 12)
                             .arg(style::css(capsule.pressedFill)));
  if (auto* shadow = qobject_cast<QGraphicsDropShadowEffect*>(quitButton_->graphicsEffect())) {
    QColor glow = colour(ColorRole::red);
    glow.setAlphaF(0.3f);
    shadow->setColor(glow);
  }
}

void MenuBarView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous())
    return;
  refresh();
  refreshPermission();
}

void MenuBarView::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  // The sheets belong to the panel: they go when it is closed.
  if (!event->spontaneous())
    closeSheets();
}

void MenuBarView::keyPressEvent(QKeyEvent* event) {
  if (!pressFocusedButton(this, event))
    QWidget::keyPressEvent(event);
}

void MenuBarView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
    drawn_.reset();
    redraw_.schedule();
  }
}

void MenuBarView::refreshPermission() {
  services_.checker.checkPermissionAsync([](bool) {});
}

void MenuBarView::toggleRunning() {
  if (services_.manager.isRunning()()) {
    services_.manager.stop();
    return;
  }
  // One start at a time: a second tap while the check is out would ask for a second start().
  if (startPending_)
    return;
  startPending_ = true;
  QPointer<MenuBarView> self(this);
  WindowManager& manager = services_.manager;
  services_.checker.checkPermissionOnceKnown([self, &manager](bool granted) {
    if (self)
      self->startPending_ = false;
    if (granted) {
      // Also when the panel has closed meanwhile: the user asked for the start.
      manager.start();
    } else if (self) {
      self->presentPermissionSheet();
    }
  });
}

QSize MenuBarView::sizeHint() const {
  if (!sheet_)
    return panelSize;
  return sheet_->sizeHint().expandedTo(sheet_->minimumSize()).boundedTo(sheet_->maximumSize());
}

// Builds the sheet anew in the panel's place unless one is shown already; the slot empties itself
// when the sheet finishes.
template <class Sheet>
void MenuBarView::presentSheet(QPointer<Sheet>& slot) {
  if (slot)
    return;
  if (sheet_)
    sheet_->reject();  // one sheet at a time, as the tray's menu may ask
  auto* sheet = new Sheet(services_, this);
  slot = sheet;
  connect(sheet, &QDialog::finished, this, [this, sheet] { sheetClosed(sheet); });
  focusBeforeSheet_ = window()->focusWidget();
  sheet_ = sheet;
  panelPage_->hide();
  pages_->addWidget(sheet);
  sheet->show();
  updateGeometry();
  // The keyboard goes with the page: Tab, Enter and Escape reach the sheet first.
  if (QWidget* first = sheet->nextInFocusChain(); first && sheet->isAncestorOf(first))
    first->setFocus(Qt::TabFocusReason);
  else
    sheet->setFocus(Qt::OtherFocusReason);
}

void MenuBarView::sheetClosed(QDialog* sheet) {
  pages_->removeWidget(sheet);
  if (sheet_ != sheet)
    return;
  sheet_ = nullptr;
  panelPage_->show();
  updateGeometry();
  if (focusBeforeSheet_ && focusBeforeSheet_->isVisible())
    focusBeforeSheet_->setFocus(Qt::OtherFocusReason);
  else
    controlButton_->setFocus(Qt::OtherFocusReason);
}

void MenuBarView::presentPermissionSheet() {
  presentSheet(permissionSheet_);
}

void MenuBarView::presentSettings() {
  presentSheet(settingsSheet_);
}

void MenuBarView::closeSheets() {
  if (permissionSheet_)
    permissionSheet_->reject();
  if (settingsSheet_)
    settingsSheet_->reject();
}

}  // namespace dozewick
