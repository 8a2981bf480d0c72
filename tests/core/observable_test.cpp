// Published values: every assignment announced before it is stored, observers that come and go.
#include "core/observable.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace dozewick {
namespace {

class Model final : public ObservableObject {
 public:
  Published<int> value{*this, 1};
  Published<std::string> text{*this, ""};
  void announce() { sendObjectWillChange(); }
};

TEST(PublishedTest, NotifiesBeforeStoringAndOnEveryAssignment) {
  Model model;
  std::vector<std::pair<int, int>> seen;  // (old value read during notice, new value)
  auto s = model.value.willSet().connect([&](int next) { seen.emplace_back(model.value(), next); });
  int objectNotices = 0;
  auto o = model.objectWillChange().connect([&] { ++objectNotices; });
  model.value = 2;
  model.value = 2;
  model.text = "x";
  model.announce();
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{1, 2}, {2, 2}}));
  EXPECT_EQ(objectNotices, 4);
  EXPECT_EQ(model.value(), 2);
}

TEST(SignalTest, ObserversMayDisconnectThemselvesAndOthersWhileNotified) {
  Signal<> signal;
  int first = 0, second = 0, late = 0;
  std::optional<Subscription> a, b, c;
  a = signal.connect([&] {
    ++first;
    a.reset();
    b.reset();  // the other observer is not called any more, even in this round
    c = signal.connect([&] { ++late; });
  });
  b = signal.connect([&] { ++second; });
  signal.notify();
  signal.notify();
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(late, 1);  // connected during the first round, called from the next one
}

}  // namespace
}  // namespace dozewick
