// Which process owns a window, as the X server knows it through the X-Resource extension.
#include "platform/xres/client_process.h"

#include <poll.h>
#include <xcb/res.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace dozewick::xres {

namespace {

constexpr std::size_t kReplyHeader = 32;
constexpr std::uint32_t kLocalClientPidMask = XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID;

std::uint32_t load32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  std::uint32_t value = 0;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

// Waits until the server has sent something, or the deadline passed.
bool waitReadable(xcb_connection_t* connection, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return false;
    }
    pollfd descriptor{xcb_get_file_descriptor(connection), POLLIN, 0};
    const int ready = ::poll(&descriptor, 1, static_cast<int>(left.count()));
    if (ready > 0) {
      return true;
    }
    if (ready < 0 && errno != EINTR) {
      return false;
    }
  }
}

}  // namespace

std::optional<std::int32_t> localClientPid(std::span<const std::uint8_t> reply) {
  if (reply.size() < kReplyHeader) {
    return std::nullopt;
  }
  const std::uint32_t ids = load32(reply, 8);
  std::size_t offset = kReplyHeader;
  for (std::uint32_t i = 0; i < ids; ++i) {
    if (reply.size() - offset < 12) {
      return std::nullopt;
    }
    const std::uint32_t mask = load32(reply, offset + 4);
    const std::uint32_t length = load32(reply, offset + 8);  // in bytes
    offset += 12;
    if (length % 4 != 0 || length > reply.size() - offset) {
      return std::nullopt;
    }
    if ((mask & kLocalClientPidMask) != 0 && length == 4) {
      const std::uint32_t pid = load32(reply, offset);
      if (pid > 0 && pid <= 0x7FFFFFFF) {
        return static_cast<std::int32_t>(pid);
      }
    }
    offset += length;
  }
  return std::nullopt;
}

unsigned int requestLocalClientPid(xcb_connection_t* connection, std::uint32_t window) {
  const xcb_res_client_id_spec_t spec{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
  return xcb_res_query_client_ids(connection, 1, &spec).sequence;
}

ClientProcesses::ClientProcesses(std::optional<std::string> display,
                                 std::chrono::milliseconds replyWait)
    : display_(std::move(display)), replyWait_(replyWait) {}

ClientProcesses::~ClientProcesses() {
  disconnect();
}

void ClientProcesses::disconnect() {
  if (connection_ != nullptr) {
    xcb_disconnect(connection_);
    connection_ = nullptr;
  }
}

bool ClientProcesses::connect(std::chrono::steady_clock::time_point deadline) {
  if (connection_ != nullptr && xcb_connection_has_error(connection_) == 0) {
    return hasExtension_;
  }
  // A server that went away may have come back, under the same display.
  disconnect();
  const char* display = display_ ? display_->c_str() : std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') {
    return false;
  }
  connection_ = xcb_connect(display, nullptr);
  if (xcb_connection_has_error(connection_) != 0) {
    disconnect();
    return false;
  }
  // The extension's query is the one request in flight: once the server spoke, reading its
  // answer does not wait on a server that hangs.
  xcb_prefetch_extension_data(connection_, &xcb_res_id);
  xcb_flush(connection_);
  if (!waitReadable(connection_, deadline)) {
    disconnect();
    return false;
  }
  const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection_, &xcb_res_id);
  hasExtension_ = extension != nullptr && extension->present != 0;
  return hasExtension_;
}

std::unordered_map<std::uint32_t, std::int32_t> ClientProcesses::lookUp(
    const std::vector<std::uint32_t>& windows) {
  std::unordered_map<std::uint32_t, std::int32_t> pids;
  const auto deadline = std::chrono::steady_clock::now() + replyWait_;
  if (windows.empty() || !connect(deadline)) {
    return pids;
  }
  std::vector<unsigned int> sequences;
  sequences.reserve(windows.size());
  for (const std::uint32_t window : windows) {
    sequences.push_back(requestLocalClientPid(connection_, window));
  }
  xcb_flush(connection_);
  std::size_t next = 0;
  while (next < sequences.size()) {
    void* reply = nullptr;
    xcb_generic_error_t* error = nullptr;
    if (xcb_poll_for_reply(connection_, sequences[next], &reply, &error) != 0) {
      std::free(error);
      if (reply != nullptr) {
        const auto* header = static_cast<const xcb_res_query_client_ids_reply_t*>(reply);
        const std::span<const std::uint8_t> bytes(static_cast<const std::uint8_t*>(reply),
                                                  kReplyHeader + std::size_t{header->length} * 4);
        if (const auto pid = localClientPid(bytes)) {
          pids.emplace(windows[next], *pid);
        }
        std::free(reply);
      }
      ++next;
    } else if (xcb_connection_has_error(connection_) != 0 || !waitReadable(connection_, deadline)) {
      break;
    }
  }
  // Replies that come after the wait are dropped as they arrive.
  for (; next < sequences.size(); ++next) {
    xcb_discard_reply(connection_, sequences[next]);
  }
  return pids;
}

}  // namespace dozewick::xres
