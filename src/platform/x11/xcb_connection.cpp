// One connection to the X server, with bounded waits for its replies.
#include "platform/x11/xcb_connection.h"

#include <poll.h>
#include <xcb/res.h>
#include <xcb/xcbext.h>

#include <cerrno>
#include <vector>

namespace dozewick::xcb {

namespace {

bool isAfter(unsigned int sequence, unsigned int reference) {
  return static_cast<std::int32_t>(sequence - reference) > 0;
}

}  // namespace

std::unique_ptr<Connection> Connection::open(const std::string& displayName,
                                             std::chrono::milliseconds replyTimeout) {
  int screenNumber = 0;
  xcb_connection_t* raw =
      xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), &screenNumber);
  if (xcb_connection_has_error(raw) != 0) {
    xcb_disconnect(raw);
    return nullptr;
  }
  std::unique_ptr<Connection> connection(new Connection(raw, replyTimeout));
  if (!connection->initialize(screenNumber)) {
    return nullptr;
  }
  return connection;
}

Connection::Connection(xcb_connection_t* connection, std::chrono::milliseconds replyTimeout)
    : connection_(connection), replyTimeout_(replyTimeout) {}

Connection::~Connection() {
  xcb_disconnect(connection_);
}

bool Connection::initialize(int screenNumber) {
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
    xcb_screen_next(&screens);
  }
  if (screens.rem <= 0) {
    return false;
  }
  root_ = screens.data->root;

  if (!beginOperation()) {
    return false;
  }
  // Everything in one batch: the extension query and every atom, then the replies.
  xcb_prefetch_extension_data(connection_, &xcb_res_id);
  std::vector<Pending<xcb_intern_atom_reply_t>> interned;
  interned.reserve(kAtomNames.size());
  for (const AtomName& atom : kAtomNames) {
    const auto cookie = xcb_intern_atom(
        connection_, 0, static_cast<std::uint16_t>(std::char_traits<char>::length(atom.name)),
        atom.name);
    interned.push_back(pending<xcb_intern_atom_reply_t>(cookie.sequence));
  }
  for (std::size_t i = 0; i < kAtomNames.size(); ++i) {
    const auto reply = interned[i].get();
    if (!reply || reply->atom == XCB_NONE) {
      return false;
    }
    atoms_.*(kAtomNames[i].member) = reply->atom;
  }
  // Answered already: its request went out before the atoms.
  const xcb_query_extension_reply_t* resource = xcb_get_extension_data(connection_, &xcb_res_id);
  hasResourceExtension_ = resource != nullptr && resource->present != 0;
  return !isBroken();
}

bool Connection::isBroken() const {
  return xcb_connection_has_error(connection_) != 0;
}

bool Connection::beginOperation() {
  if (stallProbe_) {
    void* reply = nullptr;
    xcb_generic_error_t* error = nullptr;
    if (xcb_poll_for_reply(connection_, *stallProbe_, &reply, &error) == 0) {
      timedOut_ = true;
      return false;
    }
    Owned<void> ownedReply(reply);
    Error ownedError(error);
    stallProbe_.reset();
  }
  deadline_ = std::chrono::steady_clock::now() + replyTimeout_;
  timedOut_ = false;
  return true;
}

void Connection::noteRequest(unsigned int sequence) {
  lastRequest_ = sequence;
  ++requests_;
}

bool Connection::sync() {
  const auto cookie = xcb_get_input_focus(connection_);
  return pending<xcb_get_input_focus_reply_t>(cookie.sequence).get() != nullptr;
}

bool Connection::waitFor(unsigned int sequence, void** reply, xcb_generic_error_t** error) {
  *reply = nullptr;
  *error = nullptr;
  if (isAfter(sequence, coveredRequest_)) {
    ++roundTrips_;
    coveredRequest_ = isAfter(lastRequest_, sequence) ? lastRequest_ : sequence;
  }
  if (xcb_flush(connection_) <= 0) {
    return false;
  }
  for (;;) {
    if (xcb_poll_for_reply(connection_, sequence, reply, error) != 0) {
      // Both empty: the connection broke while waiting.
      return *reply != nullptr || *error != nullptr;
    }
    if (isBroken()) {
      return false;
    }
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut_ = true;
      if (!stallProbe_) {
        stallProbe_ = xcb_get_input_focus(connection_).sequence;
        xcb_flush(connection_);
      }
      return false;
    }
    pollfd descriptor{xcb_get_file_descriptor(connection_), POLLIN, 0};
    if (::poll(&descriptor, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) {
      return false;
    }
  }
}

}  // namespace dozewick::xcb
