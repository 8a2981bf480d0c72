// Canonical equivalence: what counts as the same name or title.
#include "core/unicode.h"

#include <gtest/gtest.h>

namespace dozewick {
namespace {

TEST(CanonicalEquivalenceTest, ComposedAndDecomposedFormsAreEqualOtherwiseExact) {
  EXPECT_TRUE(canonicallyEqual("Caf\u00E9", "Cafe\u0301"));
  EXPECT_TRUE(canonicallyEqual("\u212A", "K"));                   // Kelvin sign
  EXPECT_TRUE(canonicallyEqual("\uD55C", "\u1112\u1161\u11AB"));  // Hangul syllable
  EXPECT_TRUE(canonicallyEqual("\u1EC7", "e\u0323\u0302"));       // two marks, composed
  // Marks of different classes in either order are equivalent.
  EXPECT_TRUE(canonicallyEqual("a\u0323\u0301", "a\u0301\u0323"));

  EXPECT_FALSE(canonicallyEqual("Dock", "dock"));
  EXPECT_FALSE(canonicallyEqual("e\u0301", "e"));
  // Compatibility forms are not canonical: the ligature stays apart from its letters.
  EXPECT_FALSE(canonicallyEqual("\uFB01", "fi"));
  // Marks of the same class keep their order.
  EXPECT_FALSE(canonicallyEqual("a\u0301\u0300", "a\u0300\u0301"));
  EXPECT_TRUE(canonicallyEqual("", ""));
}

TEST(CanonicalEquivalenceTest, IllFormedBytesAreNeverTheLettersTheyResemble) {
  EXPECT_FALSE(
      canonicallyEqual("Do\xFF"
                       "ck",
                       "Dock"));
  EXPECT_FALSE(canonicallyEqual("\xC0\xAF", "/"));               // an overlong slash
  EXPECT_FALSE(canonicallyEqual("\xED\xA0\x80", "\U00010000"));  // a lone surrogate
  EXPECT_TRUE(canonicallyEqual("a\xFF", "a\uFFFD"));
}

}  // namespace
}  // namespace dozewick
