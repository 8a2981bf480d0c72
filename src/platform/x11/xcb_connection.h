// One connection to the X server, with bounded waits for its replies.
#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "platform/x11/xcb_atoms.h"

namespace dozewick::xcb {

struct FreeDeleter {
  void operator()(void* memory) const noexcept { std::free(memory); }
};
template <typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;
using Error = Owned<xcb_generic_error_t>;

class Connection;

// A request whose reply has not been read yet. A reply that is never read is discarded, so that
// it does not pile up in the connection.
template <typename Reply>
class Pending {
 public:
  Pending(Connection& connection, unsigned int sequence)
      : connection_(&connection), sequence_(sequence) {}
  Pending(Pending&& other) noexcept
      : connection_(std::exchange(other.connection_, nullptr)), sequence_(other.sequence_) {}
  Pending& operator=(Pending&& other) noexcept {
    if (this != &other) {
      discard();
      connection_ = std::exchange(other.connection_, nullptr);
      sequence_ = other.sequence_;
    }
    return *this;
  }
  ~Pending() { discard(); }

  // The reply, or nullptr on an X error, a lost connection or when the server does not answer in
  // time. Can be taken once.
  Owned<Reply> get(Error* error = nullptr);

 private:
  void discard() noexcept;

  Connection* connection_;
  unsigned int sequence_;
};

// One connection to an X display, with the screen's root window and the atoms interned.
class Connection {
 public:
  static constexpr std::chrono::milliseconds kDefaultReplyTimeout{2000};

  // nullptr when the display cannot be reached or does not answer. An empty name means $DISPLAY.
  static std::unique_ptr<Connection> open(
      const std::string& displayName,
      std::chrono::milliseconds replyTimeout = kDefaultReplyTimeout);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  xcb_connection_t* get() const { return connection_; }
  xcb_window_t root() const { return root_; }
  const Atoms& atoms() const { return atoms_; }
  bool hasResourceExtension() const { return hasResourceExtension_; }

  // The server is gone or the stream broke; this connection will never work again.
  bool isBroken() const;

  // Starts one operation: its replies must all arrive within one reply timeout from now. False,
  // at once, while the server has still not answered since an earlier operation timed out: no
  // use queueing more requests. Events stay queued for whoever selected them; taking them reads
  // the socket, which is what lets the answer to a stalled operation in.
  bool beginOperation();
  // A reply of the current operation did not arrive in time (the server is busy or grabbed).
  bool timedOut() const { return timedOut_; }

  // Takes charge of the reply of a request just issued; also counts it for the round trips.
  template <typename Reply>
  Pending<Reply> pending(unsigned int sequence) {
    noteRequest(sequence);
    return Pending<Reply>(*this, sequence);
  }
  void noteRequest(unsigned int sequence);

  // Waits until the server has handled every request sent so far. False when it did not answer.
  bool sync();

  // Requests sent on this connection so far; for measurements and tests.
  std::uint64_t requests() const { return requests_; }

  // How many times this connection waited for the server with requests in flight that no earlier
  // wait had covered: the round trips an operation cost.
  std::uint64_t roundTrips() const { return roundTrips_; }

  // Waits for one reply or error; false on timeout or broken connection (both then null).
  bool waitFor(unsigned int sequence, void** reply, xcb_generic_error_t** error);

 private:
  Connection(xcb_connection_t* connection, std::chrono::milliseconds replyTimeout);
  bool initialize(int screenNumber);

  xcb_connection_t* connection_;
  std::chrono::milliseconds replyTimeout_;
  std::chrono::steady_clock::time_point deadline_;
  bool timedOut_ = false;
  std::optional<unsigned int> stallProbe_;  // answered once the server works again
  xcb_window_t root_ = XCB_NONE;
  Atoms atoms_;
  bool hasResourceExtension_ = false;
  unsigned int lastRequest_ = 0;
  unsigned int coveredRequest_ = 0;
  std::uint64_t roundTrips_ = 0;
  std::uint64_t requests_ = 0;
};

template <typename Reply>
void Pending<Reply>::discard() noexcept {
  if (connection_ != nullptr) {
    xcb_discard_reply(connection_->get(), sequence_);
  }
}

template <typename Reply>
Owned<Reply> Pending<Reply>::get(Error* error) {
  Connection* connection = std::exchange(connection_, nullptr);
  if (connection == nullptr) {
    return nullptr;
  }
  void* reply = nullptr;
  xcb_generic_error_t* failure = nullptr;
  if (!connection->waitFor(sequence_, &reply, &failure)) {
    xcb_discard_reply(connection->get(), sequence_);
  }
  Error ownedError(failure);
  Owned<Reply> ownedReply(static_cast<Reply*>(reply));
  if (error != nullptr) {
    *error = std::move(ownedError);
  }
  return ownedReply;
}

// The bytes of a reply as it arrived: the fixed part and the length it announced.
template <typename Reply>
std::span<const std::uint8_t> replyBytes(const Owned<Reply>& reply) {
  if (!reply) {
    return {};
  }
  return {reinterpret_cast<const std::uint8_t*>(reply.get()), 32 + std::size_t{reply->length} * 4};
}

}  // namespace dozewick::xcb
