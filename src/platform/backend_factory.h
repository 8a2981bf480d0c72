// The one place that knows every backend: their names, which one a session gets, and making it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "platform/backend.h"

namespace dozewick {

enum class BackendKind { x11, kwin, gnome, none };

struct BackendChoice {
  BackendKind kind;
  std::string_view name;     // as --window-system takes it
  std::string_view summary;  // as --help tells it
};

// Every backend, in the order --help lists them.
std::span<const BackendChoice> backendChoices();
std::string_view backendName(BackendKind kind);

// The backend of the session described by these variables (nullptr for unset). It does not
// depend on where Qt itself draws: under XWayland an X11 backend would see only X11 clients.
BackendKind detectBackend(const std::function<const char*(const char*)>& variable);

std::unique_ptr<Backend> makeBackend(BackendKind kind, const BackendContext& context);

}  // namespace dozewick
