// Mouse presses anywhere on the X display, for closing the panel on a click elsewhere.
#include "platform/x11/x11_pointer_monitor.h"

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <QPointer>
#include <QSocketNotifier>
#include <cstdlib>

namespace dozewick {

namespace {

template <class T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

bool selectRawPresses(xcb_connection_t* connection, xcb_window_t root) {
  struct {
    xcb_input_event_mask_t head;
    std::uint32_t mask;
  } selection{};
  selection.head.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
  selection.head.mask_len = 1;
  selection.mask = XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS;
  Reply<xcb_generic_error_t> error(
      xcb_request_check(connection,
                        xcb_input_xi_select_events_checked(connection, root, 1, &selection.head)),
      &std::free);
  return error == nullptr;
}

}  // namespace

std::unique_ptr<X11PointerMonitor> X11PointerMonitor::create(Handler handler, const char* display) {
  xcb_connection_t* connection = xcb_connect(display && *display ? display : nullptr, nullptr);
  if (xcb_connection_has_error(connection)) {
    xcb_disconnect(connection);
    return nullptr;
  }
  const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_input_id);
  bool usable = extension && extension->present;
  if (usable) {
    // Raw events reach us during other clients' grabs only from XInput 2.2 on.
    Reply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(connection, xcb_input_xi_query_version(connection, 2, 2),
                                         nullptr),
        &std::free);
    usable = version && (version->major_version > 2 ||
                         (version->major_version == 2 && version->minor_version >= 2));
  }
  const xcb_setup_t* setup = xcb_get_setup(connection);
  const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
  if (usable) {
    for (auto it = screens; it.rem > 0 && usable; xcb_screen_next(&it))
      usable = selectRawPresses(connection, it.data->root);
  }
  if (!usable) {
    xcb_disconnect(connection);
    return nullptr;
  }
  return std::unique_ptr<X11PointerMonitor>(
      new X11PointerMonitor(connection, extension->major_opcode, std::move(handler)));
}

X11PointerMonitor::X11PointerMonitor(xcb_connection_t* connection, std::uint8_t xinputOpcode,
                                     Handler handler)
    : connection_(connection), xinputOpcode_(xinputOpcode), handler_(std::move(handler)) {
  notifier_ =
      new QSocketNotifier(xcb_get_file_descriptor(connection_), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &X11PointerMonitor::drainEvents);
  // Events may already sit in xcb's queue, read while the selection was made.
  drainEvents();
}

X11PointerMonitor::~X11PointerMonitor() {
  disconnectFromServer();
}

void X11PointerMonitor::drainEvents() {
  if (!connection_)
    return;
  while (xcb_generic_event_t* raw = xcb_poll_for_event(connection_)) {
    Reply<xcb_generic_event_t> event(raw, &std::free);
    if ((event->response_type & 0x7f) != XCB_GE_GENERIC)
      continue;
    const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event.get());
    if (generic->extension != xinputOpcode_ || generic->event_type != XCB_INPUT_RAW_BUTTON_PRESS)
      continue;
    const auto* press = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event.get());
    const int button = static_cast<int>(press->detail);
    if ((button == 1 || button == 3) && handler_) {
      const QPointer<X11PointerMonitor> self(this);
      handler_(button);
      // The handler may have ended this monitor, or its connection.
      if (!self || !connection_)
        return;
    }
  }
  if (xcb_connection_has_error(connection_))
    disconnectFromServer();
}

void X11PointerMonitor::disconnectFromServer() {
  if (notifier_) {
    // Possibly inside the notifier's own signal: let it go once that has returned.
    notifier_->setEnabled(false);
    notifier_->deleteLater();
    notifier_ = nullptr;
  }
  if (connection_) {
    xcb_disconnect(connection_);
    connection_ = nullptr;
  }
}

}  // namespace dozewick
