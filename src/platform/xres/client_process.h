// Which process owns a window, as the X server knows it through the X-Resource extension.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

struct xcb_connection_t;

namespace dozewick::xres {

// The local process id in an X-Resource QueryClientIds reply, laid out as on the wire; nullopt
// when the server gave none. Every length in the reply is checked against the bytes that arrived.
std::optional<std::int32_t> localClientPid(std::span<const std::uint8_t> reply);

// Asks for the process of the client that created `window`; the reply is read by the caller,
// under the returned sequence number. The extension must be present on the connection.
unsigned int requestLocalClientPid(xcb_connection_t* connection, std::uint32_t window);

// Its own connection to an X server ($DISPLAY unless told), for a program that otherwise does
// not speak X: the processes of X11 windows a Wayland compositor reports without one.
class ClientProcesses {
 public:
  // Nothing is asked of the display before the first lookup.
  explicit ClientProcesses(std::optional<std::string> display = std::nullopt,
                           std::chrono::milliseconds replyWait = std::chrono::milliseconds(250));
  ~ClientProcesses();
  ClientProcesses(const ClientProcesses&) = delete;
  ClientProcesses& operator=(const ClientProcesses&) = delete;

  // The process of each window that has one the server knows. Waits at most the reply wait for
  // all of them together; without a display, a server or the extension, gives nothing.
  std::unordered_map<std::uint32_t, std::int32_t> lookUp(const std::vector<std::uint32_t>& windows);

 private:
  bool connect(std::chrono::steady_clock::time_point deadline);
  void disconnect();

  std::optional<std::string> display_;
  std::chrono::milliseconds replyWait_;
  xcb_connection_t* connection_ = nullptr;
  bool hasExtension_ = false;
};

}  // namespace dozewick::xres
