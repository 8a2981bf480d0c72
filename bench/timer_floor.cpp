// The least a Qt loop waking once a second costs on this machine.
// It does nothing but wake on a precise timer. Measured from outside by measure-cost --floor.
#include <QGuiApplication>
#include <QTimer>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  QTimer timer;
  timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer, &QTimer::timeout, [] {});
  timer.start(1000);
  return QGuiApplication::exec();
}
