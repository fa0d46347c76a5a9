#include "bounded_text.h"

#include <gtest/gtest.h>

TEST(BoundedText, AppendsWhatFitsAndRefusesWhatDoesNot) {
  BoundedText<8> text;
  EXPECT_TRUE(text.Append("abcd"));
  EXPECT_TRUE(text.Append("efgh"));
  EXPECT_EQ(text.View(), "abcdefgh");
  // One more character would overflow: the text stays as it was, still terminated.
  EXPECT_FALSE(text.Append("i"));
  EXPECT_EQ(text.View(), "abcdefgh");
  EXPECT_EQ(text.CStr()[8], '\0');
  EXPECT_FALSE(text.Assign("123456789"));
  EXPECT_EQ(text.View(), "abcdefgh");
}

TEST(BoundedText, TruncatedKeepsTheFrontOfAnOverlongText) {
  const auto text = BoundedText<6>::Truncated("Cannot ", "create");
  EXPECT_EQ(text.View(), "Cannot");
  EXPECT_EQ(BoundedText<6>::Truncated("ab", "cd").View(), "abcd");
}

TEST(BoundedText, LengthFromABufferIsCappedAtTheCapacity) {
  BoundedText<4> text;
  std::memcpy(text.Buffer(), "wxyz", 4);
  text.SetLengthFromBuffer(99);
  EXPECT_EQ(text.View(), "wxyz");
  text.SetLengthFromBuffer(2);
  EXPECT_EQ(text.View(), "wx");
  EXPECT_EQ(text.CStr()[2], '\0');
}
