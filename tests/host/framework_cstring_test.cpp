// The framework's reference-counted string: sharing, private copies on change, and formatting.
#include <gtest/gtest.h>

#include <string>

#include "framework/CString.h"

TEST(FrameworkCString, CopiesShareUntilOneChanges) {
  CString a("probe");
  CString b(a);
  EXPECT_EQ(2, a.ShareCount());
  EXPECT_EQ(static_cast<const char*>(a), static_cast<const char*>(b));
  b += "s";
  EXPECT_STREQ("probe", a);
  EXPECT_STREQ("probes", b);
  EXPECT_EQ(1, a.ShareCount());
  EXPECT_EQ(1, b.ShareCount());
}

TEST(FrameworkCString, EmptyStringsHoldNoBufferAndCompareEqual) {
  CString a;
  CString b("");
  EXPECT_EQ(0, a.ShareCount());
  EXPECT_EQ(0, b.ShareCount());
  EXPECT_TRUE(a.IsEmpty());
  EXPECT_TRUE(a == b);
  EXPECT_TRUE(a == "");
  EXPECT_STREQ("", a);
  CString c(nullptr);
  EXPECT_TRUE(c.IsEmpty());
  EXPECT_TRUE(c == nullptr);
}

TEST(FrameworkCString, AppendingOwnTextAndSelfAssignment) {
  CString a("ab");
  a += a;
  EXPECT_STREQ("abab", a);
  a += static_cast<const char*>(a) + 2;  // points into our own buffer
  EXPECT_STREQ("ababab", a);
  a = static_cast<const char*>(a) + 4;
  EXPECT_STREQ("ab", a);
  CString& self = a;
  a = self;
  EXPECT_STREQ("ab", a);
  EXPECT_EQ(2, a.GetLength());
}

TEST(FrameworkCString, ComparisonIsExactBytes) {
  CString a("usbser");
  EXPECT_TRUE(a == "usbser");
  EXPECT_FALSE(a == "USBSER");
  EXPECT_FALSE(a == "usbser2");
  EXPECT_TRUE(a != CString("usbse"));
  EXPECT_TRUE("usbser" == a);
}

TEST(FrameworkCString, FormatReplacesAndHandlesLongOutput) {
  CString s("old");
  s.Format("%X", 0xF000);
  EXPECT_STREQ("F000", s);
  std::string long_text(5000, 'x');
  s.Format("%s-%d", long_text.c_str(), 7);
  EXPECT_EQ(5002, s.GetLength());
  EXPECT_EQ('7', s.GetAt(5001));
  EXPECT_EQ(0, s.GetAt(5002));
  EXPECT_EQ(0, s.GetAt(-1));
  s.Format("%s", "");
  EXPECT_TRUE(s.IsEmpty());
}

TEST(FrameworkCString, BufferAccessDoesNotTouchSharedCopies) {
  CString a("shared");
  CString b(a);
  char* p = b.GetBuffer(20);
  p[0] = 'S';
  b.ReleaseBuffer();
  EXPECT_STREQ("shared", a);
  EXPECT_STREQ("Shared", b);
  p = b.GetBuffer(3);
  b.ReleaseBuffer(3);
  EXPECT_STREQ("Sha", b);
  b.GetBuffer(4);
  b.ReleaseBuffer(100);  // clamped to what the buffer holds
  EXPECT_LE(b.GetLength(), 20);
  b.GetBuffer(0);
  b.ReleaseBuffer(0);
  EXPECT_TRUE(b.IsEmpty());
}

TEST(FrameworkCString, MovesAndConcatenation) {
  CString a("x");
  CString b(std::move(a));
  EXPECT_STREQ("x", b);
  EXPECT_TRUE(a.IsEmpty());  // NOLINT: moved-from is empty by design
  CString c = b + "y" + CString("z");
  EXPECT_STREQ("xyz", c);
  EXPECT_STREQ("wxyz", "w" + c);
  c += 'q';
  EXPECT_STREQ("xyzq", c);
  CString d("abc", 2);
  EXPECT_STREQ("ab", d);
}
