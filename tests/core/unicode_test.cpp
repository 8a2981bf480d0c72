// Canonical equivalence: what counts as the same name or title.
#include "core/unicode.h"

#include <gtest/gtest.h>

namespace dozewick {
namespace {

TEST(CanonicalEquivalenceTest, ComposedAndDecomposedFormsAreEqualOtherwiseExact) {
  EXPECT_TRUE(canonicallyEqual("Caf\u00E9", "Cafe\u0301"));
  EXPECT_TRUE(canonicallyEqual("\uD55C", "\u1112\u1161\u11AB"));    // Hangul syllable
  EXPECT_TRUE(canonicallyEqual("a\u0323\u0301", "a\u0301\u0323"));  // marks of two classes
  EXPECT_FALSE(canonicallyEqual("Dock", "dock"));
  EXPECT_FALSE(canonicallyEqual("\uFB01", "fi")) << "compatibility forms are not canonical";
  EXPECT_FALSE(canonicallyEqual("a\u0301\u0300", "a\u0300\u0301")) << "marks of one class";
  // Ill-formed bytes are never the letters they resemble.
  EXPECT_FALSE(
      canonicallyEqual("Do\xFF"
                       "ck",
                       "Dock"));
  EXPECT_FALSE(canonicallyEqual("\xC0\xAF", "/"));  // an overlong slash
}

}  // namespace
}  // namespace dozewick
