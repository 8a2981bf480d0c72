// The settings dialog's everyday settings: start at launch, idle time, protected, never minimized.
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "views/settings_view.h"
#include "views/style.h"
#include "views/view_widgets.h"

namespace dozewick {

struct SettingsView::Everyday {
  Row startRow;
  Row idleRow;
  Row protectedRow;
  Row keptRow;
  SwitchToggle* start = nullptr;
  QComboBox* idle = nullptr;
  QSpinBox* protectedCount = nullptr;
  QListWidget* kept = nullptr;
  QPushButton* add = nullptr;
  QPushButton* remove = nullptr;
  QMenu* onScreen = nullptr;
  Subscription saveResults;
};

namespace {

constexpr int kListInset = 24;
// Room for three applications; more scroll.
constexpr int kListLines = 3;

QString durationText(int seconds, const Localizer& texts) {
  const auto text = [&texts](const char* key) {
    return QString::fromStdString(texts.localizedString(key));
  };
  if (seconds % 3600 == 0)
    return text("duration.hours").arg(seconds / 3600);
  if (seconds % 60 == 0)
    return text("duration.minutes").arg(seconds / 60);
  return text("duration.seconds").arg(seconds);
}

QIcon applicationIcon(const QString& icon) {
  if (icon.isEmpty())
    return {};
  return QFileInfo(icon).isAbsolute() ? QIcon(icon) : QIcon::fromTheme(icon);
}

KnownApplication knownApplication(const ViewServices& services, const std::string& appName,
                                  const std::string& language) {
  if (services.knownApplication)
    return services.knownApplication(appName, language);
  return KnownApplication{appName, QString::fromStdString(appName), QString()};
}

}  // namespace

void SettingsView::buildEveryday(QVBoxLayout* rows) {
  everyday_ = std::make_shared<Everyday>();
  Everyday& e = *everyday_;
  UserSettings& settings = *services_.settings;

  e.start = new SwitchToggle;
  e.start->setObjectName(QStringLiteral("startAtLaunchSwitch"));
  connect(e.start, &SwitchToggle::toggled, this, [&settings](bool on) {
    if (on != settings.startAtLaunch()())
      settings.setStartAtLaunch(on);
  });
  rows->addWidget(new Divider(60));
  rows->addWidget(settingRow(QStringLiteral("startAtLaunchRow"), QStringLiteral("play.fill"),
                             ColorRole::green, e.startRow, false, e.start));
  e.startRow.title->setWordWrap(true);

  e.idle = new QComboBox;
  e.idle->setObjectName(QStringLiteral("idleTimeChoice"));
  connect(e.idle, &QComboBox::activated, this, [this, &settings](int index) {
    settings.setIdleSeconds(everyday_->idle->itemData(index).toInt());
  });
  rows->addWidget(new Divider(60));
  rows->addWidget(settingRow(QStringLiteral("idleTimeRow"), QStringLiteral("timer"),
                             ColorRole::purple, e.idleRow, true, e.idle));

  e.protectedCount = new QSpinBox;
  e.protectedCount->setObjectName(QStringLiteral("protectedCountChoice"));
  e.protectedCount->setRange(0, static_cast<int>(Policy::kMaxProtected));
  e.protectedCount->setKeyboardTracking(false);  // typing "10" saves 10, not 1 first
  connect(e.protectedCount, &QSpinBox::valueChanged, this,
          [&settings](int count) { settings.setProtectedCount(count); });
  rows->addWidget(new Divider(60));
  rows->addWidget(settingRow(QStringLiteral("protectedCountRow"), QStringLiteral("rectangle.stack"),
                             ColorRole::blue, e.protectedRow, true, e.protectedCount));

  auto* buttons = new QWidget;
  auto* buttonLayout = new QVBoxLayout(buttons);
  buttonLayout->setContentsMargins(0, 0, 0, 0);
  buttonLayout->setSpacing(4);
  e.add = new QPushButton;
  e.add->setObjectName(QStringLiteral("neverHideAdd"));
  e.add->setAutoDefault(false);
  e.onScreen = new QMenu(e.add);
  e.onScreen->setObjectName(QStringLiteral("neverHideChoices"));
  e.add->setMenu(e.onScreen);
  connect(e.onScreen, &QMenu::aboutToShow, this, [this] { fillOnScreenMenu(); });
  e.remove = new QPushButton;
  e.remove->setObjectName(QStringLiteral("neverHideRemove"));
  e.remove->setAutoDefault(false);
  connect(e.remove, &QPushButton::clicked, this, [this, &settings] {
    if (const QListWidgetItem* item = everyday_->kept->currentItem())
      settings.stopKeeping(item->data(Qt::UserRole).toString().toStdString());
  });
  buttonLayout->addWidget(e.add);
  buttonLayout->addWidget(e.remove);
  rows->addWidget(new Divider(60));
  rows->addWidget(settingRow(QStringLiteral("neverHideRow"), QStringLiteral("lock.shield"),
                             ColorRole::orange, e.keptRow, true, buttons));

  e.kept = new QListWidget;
  e.kept->setObjectName(QStringLiteral("neverHideList"));
  e.kept->setIconSize(QSize(16, 16));
  e.kept->setFixedHeight(kListLines * (e.kept->fontMetrics().height() + 8) + 4);
  connect(e.kept, &QListWidget::currentRowChanged, this,
          [this](int row) { everyday_->remove->setEnabled(row >= 0); });
  auto* list = new QHBoxLayout;
  list->setContentsMargins(kListInset, 0, kListInset, 8);
  list->addWidget(e.kept);
  rows->addLayout(list);

  redraw_.observe(settings);
  e.saveResults = settings.saveError().willSet().connect(
      [this](const std::string& error) { noteResult(ErrorSource::settings, error); });
}

void SettingsView::fillOnScreenMenu() {
  Everyday& e = *everyday_;
  e.onScreen->clear();
  const std::string language = services_.language.currentLanguage()();
  const auto& kept = services_.settings->policy()().neverHide;
  const auto names = services_.applicationsOnScreen ? services_.applicationsOnScreen()
                                                    : std::vector<std::string>();
  for (const std::string& appName : names) {
    if (std::find(kept.begin(), kept.end(), appName) != kept.end())
      continue;
    const KnownApplication known = knownApplication(services_, appName, language);
    QAction* action = e.onScreen->addAction(applicationIcon(known.icon), known.name, this,
                                            [this, appName] { services_.settings->keep(appName); });
    action->setToolTip(QString::fromStdString(appName));
  }
  if (e.onScreen->isEmpty())
    e.onScreen->addAction(text("settings.neverHide.noneOnScreen"))->setEnabled(false);
}

void SettingsView::addEverydayRows(std::vector<Row*>& rows) {
  Everyday& e = *everyday_;
  rows.insert(rows.end(), {&e.startRow, &e.idleRow, &e.protectedRow, &e.keptRow});
}

void SettingsView::refreshEveryday() {
  Everyday& e = *everyday_;
  const UserSettings& settings = *services_.settings;
  const Policy& policy = settings.policy()();
  const auto titled = [this](Row& row, QWidget* control, const char* key, const char* desc) {
    const QString title = text(key);
    row.title->setText(title);
    control->setAccessibleName(title);
    if (desc) {
      row.description->setText(text(desc));
      control->setAccessibleDescription(text(desc));
    }
  };
  titled(e.startRow, e.start, "settings.startAtLaunch", nullptr);
  titled(e.idleRow, e.idle, "settings.idleTime", "settings.idleTime.desc");
  titled(e.protectedRow, e.protectedCount, "settings.protected", "settings.protected.desc");
  titled(e.keptRow, e.kept, "settings.neverHide", "settings.neverHide.desc");
  e.add->setText(text("settings.neverHide.add"));
  e.remove->setText(text("settings.neverHide.remove"));

  const QSignalBlocker blockStart(e.start);
  e.start->setChecked(settings.startAtLaunch()());

  const QSignalBlocker blockIdle(e.idle);
  const int idle = static_cast<int>(policy.inactiveThreshold);
  std::vector<int> choices(UserSettings::kIdleChoices.begin(), UserSettings::kIdleChoices.end());
  if (std::find(choices.begin(), choices.end(), idle) == choices.end())
    choices.insert(std::upper_bound(choices.begin(), choices.end(), idle), idle);
  e.idle->clear();
  for (const int seconds : choices)
    e.idle->addItem(durationText(seconds, services_.language), seconds);
  e.idle->setCurrentIndex(e.idle->findData(idle));

  const QSignalBlocker blockCount(e.protectedCount);
  e.protectedCount->setValue(static_cast<int>(policy.protectedWindowCount));

  const QString selected =
      e.kept->currentItem() ? e.kept->currentItem()->data(Qt::UserRole).toString() : QString();
  const QSignalBlocker blockList(e.kept);
  e.kept->clear();
  const std::string language = services_.language.currentLanguage()();
  for (const std::string& appName : policy.neverHide) {
    const KnownApplication known = knownApplication(services_, appName, language);
    auto* item = new QListWidgetItem(applicationIcon(known.icon), known.name, e.kept);
    item->setData(Qt::UserRole, QString::fromStdString(appName));
    item->setToolTip(QString::fromStdString(appName));
    if (item->data(Qt::UserRole).toString() == selected)
      e.kept->setCurrentItem(item);
  }
  e.remove->setEnabled(e.kept->currentRow() >= 0);
}

}  // namespace dozewick
