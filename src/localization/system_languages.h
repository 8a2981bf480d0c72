// The user's preferred interface languages, from the locale environment.
#pragma once

#include <string>
#include <vector>

namespace dozewick {

// The user's preferred interface languages, most preferred first, as the locale environment
// (LANGUAGE, LC_ALL, LC_MESSAGES, LANG) gives them; ["en"] when it names none.
std::vector<std::string> systemLanguages();

}  // namespace dozewick
