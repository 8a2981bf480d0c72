// Mouse presses anywhere on the X display, for closing the panel on a click elsewhere.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>

struct xcb_connection_t;
class QSocketNotifier;

namespace dozewick {

// Reports every left or right mouse-down anywhere on the X display, whichever window it goes to,
// through XInput 2 raw events on a connection of its own.
class X11PointerMonitor final : public QObject {
  Q_OBJECT

 public:
  using Handler = std::function<void(int button)>;

  // Nothing (no monitor) when there is no X display or it lacks XInput 2.2. `display` is an X
  // display name; empty means $DISPLAY.
  static std::unique_ptr<X11PointerMonitor> create(Handler handler, const char* display = nullptr);
  ~X11PointerMonitor() override;

  // Whether presses still arrive; false once the X connection is lost.
  bool isActive() const { return connection_ != nullptr; }

 private:
  X11PointerMonitor(xcb_connection_t* connection, std::uint8_t xinputOpcode, Handler handler);
  void drainEvents();
  void disconnectFromServer();

  xcb_connection_t* connection_;
  std::uint8_t xinputOpcode_;
  Handler handler_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace dozewick
