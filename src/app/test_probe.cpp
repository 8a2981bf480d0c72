// What the tray and the panel show, written to a file for the whole program's tests.
#include "app/test_probe.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QSaveFile>

#include "app/tray_controller.h"

namespace dozewick {

namespace {

QByteArray rectText(const QRect& r) {
  return QByteArray::number(r.x()) + '\t' + QByteArray::number(r.y()) + '\t' +
         QByteArray::number(r.width()) + '\t' + QByteArray::number(r.height());
}

QByteArray oneLine(QString text) {
  text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\t'), QLatin1Char(' '));
  return text.toUtf8();
}

QRect globalRect(const QWidget* widget) {
  return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
}

}  // namespace

TestProbe::TestProbe(TrayController& controller, QString path, QObject* parent)
    : QObject(parent), controller_(controller), path_(std::move(path)) {
  connect(&timer_, &QTimer::timeout, this, &TestProbe::write);
  // Watches only while the panel is open, so that a measured idle program is not disturbed.
  connect(&controller_, &TrayController::panelShown, this, [this] { timer_.start(200); });
  connect(&controller_, &TrayController::movedIntoTray, this, [this] { timer_.start(200); });
  timer_.start(200);
}

TestProbe* TestProbe::fromEnvironment(TrayController& controller, QObject* parent) {
  const QString path = qEnvironmentVariable(environmentVariable);
  if (path.isEmpty())
    return nullptr;
  return new TestProbe(controller, path, parent);
}

QByteArray TestProbe::snapshot() const {
  QByteArray out = "pid\t" + QByteArray::number(QCoreApplication::applicationPid()) + '\n';
  if (const QSystemTrayIcon* tray = controller_.statusItem())
    out += "tray\t" + rectText(tray->geometry()) + '\t' + oneLine(tray->toolTip()) + '\n';
  const PopoverWindow* popover = controller_.popover();
  if (!popover || !popover->isVisible()) {
    out += "popover\t0\n";
    return out;
  }
  out += "popover\t1\t" + rectText(popover->frameGeometry()) + '\n';
  for (const QAbstractButton* button : popover->findChildren<QAbstractButton*>()) {
    if (!button->isVisibleTo(popover))
      continue;
    const QString name =
        button->accessibleName().isEmpty() ? button->text() : button->accessibleName();
    out += "button\t" + rectText(globalRect(button)) + '\t' + oneLine(name) + '\n';
  }
  for (const QLabel* label : popover->findChildren<QLabel*>()) {
    if (!label->isVisibleTo(popover) || label->text().isEmpty())
      continue;
    out += "label\t" + rectText(globalRect(label)) + '\t' + oneLine(label->text()) + '\n';
  }
  return out;
}

void TestProbe::stopWhenIdle() {
  // The tray embeds the icon a moment after start-up; until then there is a place to learn.
  const QSystemTrayIcon* tray = controller_.statusItem();
  const bool trayKnown = !tray || !tray->geometry().isEmpty();
  if (!controller_.isPopoverShown() && trayKnown)
    timer_.stop();
}

void TestProbe::write() {
  const QByteArray now = snapshot();
  if (now == last_) {
    stopWhenIdle();
    return;
  }
  QSaveFile file(path_);
  if (!file.open(QIODevice::WriteOnly))
    return;
  file.write(now);
  if (file.commit())
    last_ = now;
  stopWhenIdle();
}

}  // namespace dozewick
