// The one Qt application object of a test program.
#pragma once

#include <gtest/gtest.h>

#include <memory>

namespace dozewick::testing {

// The one application object of a test program: made before the first test and destroyed after
// the last, while Qt's own globals still exist.
template <class Application>
class QtApplicationEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "dozewick-test";
    static char* argv[] = {name, nullptr};
    application_ = std::make_unique<Application>(argc, argv);
  }
  void TearDown() override { application_.reset(); }

 private:
  std::unique_ptr<Application> application_;
};

// Call once per test program, at namespace scope.
template <class Application>
const ::testing::Environment* addQtApplication() {
  return ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment<Application>);
}

}  // namespace dozewick::testing
