// The settings dialog: the interface language and launch at login.
#include "views/settings_view.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "localization/language_selector.h"
#include "views/style.h"
#include "views/view_models.h"
#include "views/view_widgets.h"

namespace dozewick {

namespace {

// The Part's paddings are trimmed vertically so that header and both rows fit the fixed height.
constexpr int kSidePadding = 24;
constexpr int kHeaderPadding = 18;
constexpr int kRowsPadding = 8;
constexpr int kRowPadding = 12;
constexpr int kBadge = 36;
// While an error shows, the rows move closer to make room for its two lines.
constexpr int kTightRowsPadding = 2;
constexpr int kTightRowPadding = 5;

// A tinted circle behind a symbol.
class IconBadge final : public QWidget {
 public:
  explicit IconBadge(SymbolView* symbol) {
    setFixedSize(kBadge, kBadge);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(symbol, 0, Qt::AlignCenter);
  }
  void setColor(const QColor& color) {
    if (color == color_)
      return;
    color_ = color;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = color_;
    fill.setAlphaF(0.1f);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawEllipse(QRectF(rect()));
  }

 private:
  QColor color_;
};

}  // namespace

SettingsView::SettingsView(ViewServices& services, QWidget* parent)
    : QDialog(parent), services_(services) {
  setObjectName(QStringLiteral("settingsView"));
  setAttribute(Qt::WA_DeleteOnClose);
  // A page of the panel's window, with no frame or title bar of its own.
  if (parent)
    setWindowFlags(Qt::Widget);
  build();
  redraw_.observe(services_.language);
  redraw_.observe(services_.launchAtLogin);
  launchResults_ = services_.launchAtLogin.lastError().willSet().connect(
      [this](const std::string& error) { noteResult(ErrorSource::launchAtLogin, error); });
  languageResults_ = services_.language.saveError().willSet().connect(
      [this](const std::string& error) { noteResult(ErrorSource::language, error); });
  refresh();
}

void SettingsView::noteResult(ErrorSource source, const std::string& error) {
  if (error.empty() && source != errorSource_)
    return;
  errorReason_ = error;
  errorSource_ = error.empty() ? ErrorSource::none : source;
  redraw_.schedule();
}

SettingsView::~SettingsView() = default;

QString SettingsView::text(const char* key) const {
  return QString::fromStdString(services_.language.localizedString(key));
}

void SettingsView::build() {
  setFont(style::systemFont(13));
  setFixedSize(kWidth, kHeight);
  setAutoFillBackground(true);

  auto* stack = new QVBoxLayout(this);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->setSpacing(0);

  auto* header = new QHBoxLayout;
  header->setContentsMargins(kSidePadding, kHeaderPadding, kSidePadding, kHeaderPadding);
  title_ = new QLabel;
  title_->setObjectName(QStringLiteral("title"));
  title_->setFont(style::heading(16));
  closeButton_ = new QPushButton;
  closeButton_->setObjectName(QStringLiteral("closeButton"));
  closeButton_->setFixedSize(22, 22);
  closeButton_->setAutoDefault(false);
  connect(closeButton_, &QPushButton::clicked, this, &QDialog::accept);
  header->addWidget(title_, 0, Qt::AlignVCenter);
  header->addStretch(1);
  header->addWidget(closeButton_, 0, Qt::AlignVCenter);
  stack->addLayout(header);

  stack->addWidget(new Divider);

  auto* rows = new QVBoxLayout;
  rows->setContentsMargins(0, kRowsPadding, 0, kRowsPadding);
  rows->setSpacing(0);
  languageSelector_ = new LanguageSelector(services_.language);
  languageSelector_->setObjectName(QStringLiteral("languageSelector"));
  rows->addWidget(settingRow(QStringLiteral("languageRow"), QStringLiteral("globe"),
                             ColorRole::blue, languageRow_, false, languageSelector_));
  rows->addWidget(new Divider(60));
  launchSwitch_ = new SwitchToggle;
  launchSwitch_->setObjectName(QStringLiteral("launchAtLoginSwitch"));
  // Whatever turns the switch (a click, the keyboard, a screen reader's toggle action) turns the
  // setting; a redraw that only shows the setting changes nothing.
  connect(launchSwitch_, &SwitchToggle::toggled, this, [this](bool checked) {
    if (checked != services_.launchAtLogin.isEnabled()())
      services_.launchAtLogin.setEnabled(checked);
  });
  rows->addWidget(settingRow(QStringLiteral("launchAtLoginRow"), QStringLiteral("power.circle"),
                             ColorRole::green, launchRow_, true, launchSwitch_));
  if (services_.settings)
    buildEveryday(rows);
  stack->addLayout(rows);
  rows_ = rows;

  error_ = new QLabel;
  error_->setObjectName(QStringLiteral("error"));
  error_->setFont(style::systemFont(11));
  error_->setWordWrap(true);
  error_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  error_->setContentsMargins(kSidePadding, 0, kSidePadding, 0);
  error_->setMaximumHeight(2 * error_->fontMetrics().lineSpacing());
  error_->hide();
  stack->addWidget(error_);
  stack->addStretch(1);
  if (everyday_)
    setFixedHeight(stack->sizeHint().height() + 2 * error_->maximumHeight());
}

QWidget* SettingsView::settingRow(const QString& name, const QString& icon, ColorRole iconColor,
                                  Row& row, bool hasDescription, QWidget* content) {
  auto* widget = new QWidget;
  widget->setObjectName(name);
  auto* layout = new QHBoxLayout(widget);
  layout->setContentsMargins(kSidePadding, kRowPadding, kSidePadding, kRowPadding);
  layout->setSpacing(16);

  row.color = iconColor;
  row.icon = new SymbolView(18);
  row.icon->setObjectName(name + QStringLiteral("Icon"));
  row.icon->setSymbol(icon, style::color(iconColor, palette()));
  row.badge = new IconBadge(row.icon);
  layout->addWidget(row.badge, 0, Qt::AlignVCenter);

  auto* texts = new QVBoxLayout;
  texts->setContentsMargins(0, 0, 0, 0);
  texts->setSpacing(3);
  row.title = new QLabel;
  row.title->setObjectName(name + QStringLiteral("Title"));
  row.title->setFont(style::systemFont(14, QFont::Medium));
  texts->addWidget(row.title);
  if (hasDescription) {
    row.description = new QLabel;
    row.description->setObjectName(name + QStringLiteral("Description"));
    row.description->setFont(style::systemFont(11));
    row.description->setWordWrap(true);
    // At most two lines.
    row.description->setMaximumHeight(2 * row.description->fontMetrics().lineSpacing());
    texts->addWidget(row.description);
  }
  layout->addLayout(texts, 1);
  layout->addWidget(content, 0, Qt::AlignVCenter);
  rowLayouts_.push_back(layout);
  return widget;
}

void SettingsView::refresh() {
  const QPalette& pal = palette();
  auto colour = [&pal](ColorRole role) { return style::color(role, pal); };
  auto textColour = [&pal](ColorRole role) { return style::textColor(role, pal); };

  const QString title = text("settings.title");
  setWindowTitle(title);
  title_->setText(title);

  const QString close = text("button.close");
  makePlain(closeButton_, colour(ColorRole::secondary));
  setButtonSymbol(closeButton_, QStringLiteral("xmark.circle.fill"), colour(ColorRole::secondary),
                  20);
  closeButton_->setToolTip(close);
  closeButton_->setAccessibleName(close);

  std::vector<Row*> shown = {&languageRow_, &launchRow_};
  if (everyday_)
    addEverydayRows(shown);
  for (Row* row : shown) {
    row->icon->setSymbol(row->icon->symbolName(), colour(row->color));
    static_cast<IconBadge*>(row->badge)->setColor(colour(row->color));
    setTextColor(row->title, textColour(ColorRole::primary));
    if (row->description)
      setTextColor(row->description, textColour(ColorRole::secondary));
  }
  languageRow_.title->setText(text("language.title"));
  const QString launch = text("settings.launchAtLogin");
  launchRow_.title->setText(launch);
  launchRow_.description->setText(text("settings.launchAtLogin.desc"));

  launchSwitch_->setAccessibleName(launch);
  launchSwitch_->setToolTip(launch);
  launchSwitch_->setAccessibleDescription(text("settings.launchAtLogin.desc"));
  launchSwitch_->setChecked(services_.launchAtLogin.isEnabled()());
  if (everyday_)
    refreshEveryday();

  const QString error = QString::fromStdString(settingsErrorText(errorReason_, services_.language));
  error_->setText(error);
  error_->setToolTip(error);
  setTextColor(error_, textColour(ColorRole::red));
  if (error_->isHidden() != error.isEmpty()) {
    error_->setVisible(!error.isEmpty());
    const bool tight = !error.isEmpty();
    const int rowsPadding = tight ? kTightRowsPadding : kRowsPadding;
    rows_->setContentsMargins(0, rowsPadding, 0, rowsPadding);
    const int rowPadding = tight ? kTightRowPadding : kRowPadding;
    for (QLayout* row : rowLayouts_)
      row->setContentsMargins(kSidePadding, rowPadding, kSidePadding, rowPadding);
  }
}

void SettingsView::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous())
    return;
  LaunchAtLoginManager& launch = services_.launchAtLogin;
  launch.setEnabled(launch.systemStatus() == LoginItemStatus::enabled);
  refresh();
}

void SettingsView::keyPressEvent(QKeyEvent* event) {
  if (!pressFocusedButton(this, event))
    QDialog::keyPressEvent(event);
}

void SettingsView::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
    redraw_.schedule();
  }
}

}  // namespace dozewick
