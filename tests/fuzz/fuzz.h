// What every fuzz target shares: a check that stops the run with the reason.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace dozewick::fuzz {

// libFuzzer keeps the input that made a check fail.
inline void require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
  }
}

}  // namespace dozewick::fuzz
