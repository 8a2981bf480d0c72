// What a later launch hands to the running instance: the desktop's leave to come to the front.
#include "app/launch_request.h"

#include <cstdlib>

namespace dozewick {

namespace {

constexpr QByteArrayView kShow = "show";
constexpr QByteArrayView kActivationToken = "activation-token ";
constexpr QByteArrayView kStartupId = "startup-id ";

}  // namespace

LaunchRequest LaunchRequest::fromEnvironment() {
  const auto variable = [](const char* name) {
    const char* value = std::getenv(name);
    return launchToken(value ? QByteArrayView(value) : QByteArrayView());
  };
  return {variable("XDG_ACTIVATION_TOKEN"), variable("DESKTOP_STARTUP_ID")};
}

QByteArray launchToken(QByteArrayView value) {
  if (value.isEmpty() || value.size() > kMaxLaunchToken)
    return {};
  for (const char c : value) {
    if (c <= ' ' || c > '~')
      return {};
  }
  return value.toByteArray();
}

QByteArray launchMessage(const LaunchRequest& request) {
  QByteArray message;
  if (const QByteArray token = launchToken(request.activationToken); !token.isEmpty())
    message += kActivationToken.toByteArray() + token + '\n';
  if (const QByteArray id = launchToken(request.startupId); !id.isEmpty())
    message += kStartupId.toByteArray() + id + '\n';
  return message + kShow.toByteArray() + '\n';
}

bool readLaunchLine(QByteArrayView line, LaunchRequest& pending) {
  if (line.endsWith('\n'))
    line.chop(1);
  if (line == kShow)
    return true;
  if (line.startsWith(kActivationToken))
    pending.activationToken = launchToken(line.sliced(kActivationToken.size()));
  else if (line.startsWith(kStartupId))
    pending.startupId = launchToken(line.sliced(kStartupId.size()));
  return false;
}

}  // namespace dozewick
