// The About box: the version, the licence and the home page.
#pragma once

#include <QMessageBox>
#include <QPointer>

#include "core/localizer.h"

namespace dozewick {

// Shows the About box in the interface language, or brings the one already open to the front.
// It closes and goes by itself; `box` follows it.
void showAboutBox(const Localizer& texts, QPointer<QMessageBox>& box);

}  // namespace dozewick
