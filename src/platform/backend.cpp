// What every backend has unless it says otherwise.
#include "platform/backend.h"

#include <utility>

#include "platform/help_page.h"

namespace dozewick {

void Backend::showHelp() {
  if (showHelp_)
    showHelp_();
  else
    openHelpPage();
}

std::shared_ptr<void> Backend::watchClicks(std::function<void()>) {
  return nullptr;
}

std::unique_ptr<ShellIcon> Backend::shellIcon(std::function<void()> clicked) {
  return shellIconOffer_ ? shellIconOffer_->shellIcon(std::move(clicked)) : nullptr;
}

}  // namespace dozewick
