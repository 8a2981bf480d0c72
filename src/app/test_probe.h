// What the tray and the panel show, written to a file for the whole program's tests.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

namespace dozewick {

class TrayController;

// For automated tests of the whole program only: when $DOZEWICK_TEST_PROBE names a file, what the
// tray and the panel show is written there (geometry and texts of the panel's controls), so a
// test driving the program through real input knows where to click and what it reads. Off, and
// costing nothing, when the variable is not set.
class TestProbe final : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* environmentVariable = "DOZEWICK_TEST_PROBE";

  TestProbe(TrayController& controller, QString path, QObject* parent = nullptr);
  // The probe the environment asks for, or nothing.
  static TestProbe* fromEnvironment(TrayController& controller, QObject* parent = nullptr);

  // The current snapshot, one line per item.
  QByteArray snapshot() const;

 private:
  void write();
  void stopWhenIdle();

  TrayController& controller_;
  QString path_;
  QByteArray last_;
  QTimer timer_;
};

}  // namespace dozewick
