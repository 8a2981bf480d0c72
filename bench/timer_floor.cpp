// A Qt program that does nothing but wake once a second on a precise timer: what any such loop
// costs on a machine before it does any work. Measured from outside by tools/measure-cost --floor.
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
