// A Qt program on Wayland for the tests, which opens windows as told.
// Reads one command a line on standard input and answers "ok" (or "error <reason>") on
// standard output once it is done.
//
//   open <title>      an ordinary window          dialog <title>   a dialog of the first window
//   tooltip <title>   a tooltip of the first           quit
#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QTextStream>
#include <QWidget>
#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QWidget* first = nullptr;
  QSocketNotifier input(0, QSocketNotifier::Read);
  const auto handle = [&](const std::string& line) {
    const QString text = QString::fromStdString(line);
    const QString command = text.section(' ', 0, 0);
    const QString title = text.section(' ', 1);
    QWidget* window = nullptr;
    if (command == "open") {
      window = new QWidget();
    } else if (command == "dialog" && first != nullptr) {
      window = new QDialog(first);
    } else if (command == "tooltip" && first != nullptr) {
      window = new QWidget(first, Qt::ToolTip);
    } else if (command == "quit") {
      std::cout << "ok" << std::endl;
      QApplication::quit();
      return;
    } else {
      std::cout << "error unknown command" << std::endl;
      return;
    }
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(title);
    window->resize(200, 120);
    window->show();
    if (first == nullptr) {
      first = window;
    }
    std::cout << "ok" << std::endl;
  };
  // Lines that arrived together wait in the stream's buffer, where the notifier cannot see them.
  std::ios::sync_with_stdio(false);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    std::string line;
    do {
      if (!std::getline(std::cin, line)) {
        QApplication::quit();
        return;
      }
      handle(line);
    } while (std::cin.rdbuf()->in_avail() > 0);
  });
  return app.exec();
}
