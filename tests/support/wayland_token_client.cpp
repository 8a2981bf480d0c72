// A bare Wayland program that asks the compositor for an activation token, as a launcher does.
// Shows one window titled by its argument; answers "ok" once that window is the active one, and
// on each line "token" on standard input writes "token <value>" (xdg-activation-v1, for its
// window). Ends when standard input closes.
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "xdg-activation-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace {

struct State {
  wl_compositor* compositor = nullptr;
  wl_shm* shm = nullptr;
  xdg_wm_base* shell = nullptr;
  xdg_activation_v1* activation = nullptr;
  bool configured = false;
  bool active = false;
  std::string token;
};

void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
            std::uint32_t) {
  auto* state = static_cast<State*>(data);
  if (std::strcmp(interface, wl_compositor_interface.name) == 0)
    state->compositor =
        static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4));
  else if (std::strcmp(interface, wl_shm_interface.name) == 0)
    state->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
  else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0)
    state->shell =
        static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
  else if (std::strcmp(interface, xdg_activation_v1_interface.name) == 0)
    state->activation = static_cast<xdg_activation_v1*>(
        wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1));
}
void globalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener registryListener{global, globalRemove};

void ping(void*, xdg_wm_base* shell, std::uint32_t serial) {
  xdg_wm_base_pong(shell, serial);
}
const xdg_wm_base_listener shellListener{ping};

void surfaceConfigure(void* data, xdg_surface* surface, std::uint32_t serial) {
  xdg_surface_ack_configure(surface, serial);
  static_cast<State*>(data)->configured = true;
}
const xdg_surface_listener surfaceListener{surfaceConfigure};

void toplevelConfigure(void* data, xdg_toplevel*, std::int32_t, std::int32_t, wl_array* states) {
  bool active = false;
  const auto* state = static_cast<const std::uint32_t*>(states->data);
  for (std::size_t i = 0; i < states->size / sizeof *state; ++i)
    active = active || state[i] == XDG_TOPLEVEL_STATE_ACTIVATED;
  static_cast<State*>(data)->active = active;
}
void toplevelClose(void*, xdg_toplevel*) {}
void toplevelBounds(void*, xdg_toplevel*, std::int32_t, std::int32_t) {}
void toplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}
const xdg_toplevel_listener toplevelListener{toplevelConfigure, toplevelClose, toplevelBounds,
                                             toplevelCapabilities};

void tokenDone(void* data, xdg_activation_token_v1*, const char* token) {
  static_cast<State*>(data)->token = token;
}
const xdg_activation_token_v1_listener tokenListener{tokenDone};

// A white 64x64 buffer: a surface without one is never mapped.
wl_buffer* whiteBuffer(wl_shm* shm) {
  constexpr int side = 64;
  constexpr int stride = side * 4;
  const int fd = memfd_create("token-client", 0);
  if (fd < 0 || ftruncate(fd, stride * side) != 0)
    return nullptr;
  void* pixels = mmap(nullptr, stride * side, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  std::memset(pixels, 0xff, stride * side);
  munmap(pixels, stride * side);
  wl_shm_pool* pool = wl_shm_create_pool(shm, fd, stride * side);
  wl_buffer* buffer =
      wl_shm_pool_create_buffer(pool, 0, side, side, stride, WL_SHM_FORMAT_XRGB8888);
  wl_shm_pool_destroy(pool);
  close(fd);
  return buffer;
}

}  // namespace

int main(int argc, char** argv) {
  wl_display* display = wl_display_connect(nullptr);
  if (!display || argc < 2) {
    std::cout << "error no Wayland display or no title" << std::endl;
    return 1;
  }
  State state;
  wl_registry_add_listener(wl_display_get_registry(display), &registryListener, &state);
  wl_display_roundtrip(display);
  if (!state.compositor || !state.shm || !state.shell || !state.activation) {
    std::cout << "error the compositor lacks xdg-shell or xdg-activation" << std::endl;
    return 1;
  }
  xdg_wm_base_add_listener(state.shell, &shellListener, &state);
  wl_surface* surface = wl_compositor_create_surface(state.compositor);
  xdg_surface* role = xdg_wm_base_get_xdg_surface(state.shell, surface);
  xdg_surface_add_listener(role, &surfaceListener, &state);
  xdg_toplevel* toplevel = xdg_surface_get_toplevel(role);
  xdg_toplevel_add_listener(toplevel, &toplevelListener, &state);
  xdg_toplevel_set_title(toplevel, argv[1]);
  wl_surface_commit(surface);
  while (!state.configured && wl_display_dispatch(display) >= 0) {
  }
  wl_surface_attach(surface, whiteBuffer(state.shm), 0, 0);
  wl_surface_commit(surface);
  while (!state.active && wl_display_dispatch(display) >= 0) {
  }
  std::cout << "ok" << std::endl;

  pollfd watched[2] = {{0, POLLIN, 0}, {wl_display_get_fd(display), POLLIN, 0}};
  std::string line;
  while (true) {
    wl_display_flush(display);
    if (poll(watched, 2, -1) < 0)
      return 1;
    if (watched[1].revents & POLLIN && wl_display_dispatch(display) < 0)
      return 1;
    if (!(watched[0].revents & (POLLIN | POLLHUP)))
      continue;
    if (!std::getline(std::cin, line))
      return 0;
    if (line != "token") {
      std::cout << "error unknown command" << std::endl;
      continue;
    }
    state.token.clear();
    xdg_activation_token_v1* token = xdg_activation_v1_get_activation_token(state.activation);
    xdg_activation_token_v1_add_listener(token, &tokenListener, &state);
    xdg_activation_token_v1_set_surface(token, surface);
    xdg_activation_token_v1_commit(token);
    while (state.token.empty() && wl_display_dispatch(display) >= 0) {
    }
    xdg_activation_token_v1_destroy(token);
    std::cout << "token " << state.token << std::endl;
  }
}
