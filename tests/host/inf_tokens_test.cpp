#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/common/status.h"
#include "engine/package/android_devices.h"
#include "engine/package/catalog_members.h"
#include "engine/package/inf_tokens.h"
#include "engine/package/vendor_names.h"
#include "payload/payload_table.h"

namespace {

// A small table of our own; names overlap on purpose ("DEV" is a prefix of "DEVICE").
struct token_table {
  inf_token entries[5] = {{"DEVICE", ""}, {"DEV", ""}, {"EMPTY", ""}, {"LAST", ""}, {nullptr, ""}};
  void set(int i, const char* v) { std::snprintf(entries[i].value, INF_TOKEN_VALUE_SIZE, "%s", v); }
};

// Runs replace_tokens and returns the output (or "<status N>").
std::string substitute(const std::string& text, const inf_token* table, const char* start = "#",
                       const char* end = "#", int repeat = 0) {
  char* out = nullptr;
  int r = replace_tokens(text.data(), static_cast<int>(text.size()), &out, table, start, end, repeat);
  if (r <= 0) {
    std::free(out);
    return "<status " + std::to_string(r) + ">";
  }
  std::string s(out, static_cast<size_t>(r));
  EXPECT_EQ(out[r], '\0');
  std::free(out);
  return s;
}

class ReplaceTokens : public ::testing::Test {
 protected:
  void SetUp() override {
    t.set(0, "Korvex");
    t.set(1, "short");
    t.set(3, "end");
  }
  token_table t;
};

TEST_F(ReplaceTokens, SubstitutesKnownNamesAndKeepsUnknownDelimiters) {
  EXPECT_EQ(substitute("Name = \"#DEVICE#\"\r\n", t.entries), "Name = \"Korvex\"\r\n");
  EXPECT_EQ(substitute("#DEV##DEVICE#", t.entries), "shortKorvex");
  // "#NOPE#": the first "#" stays and the scan restarts right after it, so the second "#" can open a token.
  EXPECT_EQ(substitute("#NOPE#DEV#", t.entries), "#NOPEshort");
  EXPECT_EQ(substitute("# comment with a # sign", t.entries), "# comment with a # sign");
  EXPECT_EQ(substitute("##", t.entries), "##");
  EXPECT_EQ(substitute("50% #LAST#", t.entries), "50% end");
}

TEST_F(ReplaceTokens, EmptyValueIsSubstitutedAsEmptyAndLaterTokensStillWork) {
  // LAST comes after EMPTY in table order: an empty value must not end the table scan.
  EXPECT_EQ(substitute("[#EMPTY#][#LAST#]", t.entries), "[][end]");
  EXPECT_EQ(substitute("#EMPTY#", t.entries), "<status 0>");
}

TEST_F(ReplaceTokens, TokenNeedsRoomForBothDelimitersAtTheEnd) {
  EXPECT_EQ(substitute("x#DEV", t.entries), "x#DEV");
  EXPECT_EQ(substitute("#DEV#", t.entries), "short");
  EXPECT_EQ(substitute("#", t.entries), "#");
}

TEST_F(ReplaceTokens, ReadsOnlySizeBytesOfUnterminatedInput) {
  const char buffer[] = {'#', 'D', 'E', 'V', '#', '#', 'L', 'A', 'S', 'T', '#'};
  char* out = nullptr;
  ASSERT_EQ(replace_tokens(buffer, 8, &out, t.entries, "#", "#", 0), 8);
  EXPECT_STREQ(out, "short#LA");  // "#LAST#" lies beyond size
  std::free(out);
  ASSERT_EQ(replace_tokens("#DEV# tail", -1, &out, t.entries, "#", "#", 0), 10);
  EXPECT_STREQ(out, "short tail");
  std::free(out);
}

TEST_F(ReplaceTokens, RejectsBadArguments) {
  char* out = reinterpret_cast<char*>(1);
  EXPECT_EQ(replace_tokens(nullptr, 3, &out, t.entries, "#", "#", 0), -160);
  EXPECT_EQ(replace_tokens("abc", 3, nullptr, t.entries, "#", "#", 0), -160);
  EXPECT_EQ(replace_tokens("abc", 3, &out, nullptr, "#", "#", 0), -160);
  EXPECT_EQ(replace_tokens("abc", 3, &out, t.entries, nullptr, "#", 0), -160);
  EXPECT_EQ(replace_tokens("abc", 3, &out, t.entries, "#", "", 0), -160);
  EXPECT_EQ(replace_tokens("abc", 0, &out, t.entries, "#", "#", 0), -160);
  EXPECT_EQ(replace_tokens("", -1, &out, t.entries, "#", "#", 0), 0);
}

TEST_F(ReplaceTokens, MultiCharacterDelimiters) {
  EXPECT_EQ(substitute("a{{DEV}}b{DEV}}c{{DEV}", t.entries, "{{", "}}"), "ashortb{DEV}}c{{DEV}");
}

TEST_F(ReplaceTokens, RepeatResolvesNestedTokensAndStopsOnSelfReference) {
  t.set(0, "<#DEV#>");
  EXPECT_EQ(substitute("#DEVICE#", t.entries, "#", "#", 0), "<#DEV#>");
  EXPECT_EQ(substitute("#DEVICE#", t.entries, "#", "#", 1), "<short>");
  t.set(1, "x#DEV#");  // grows on every pass
  EXPECT_EQ(substitute("#DEV#", t.entries, "#", "#", 1), "<status -160>");
}

TEST_F(ReplaceTokens, GrowsPastTheInitialReserve) {
  std::string big(1023, 'v');
  t.set(0, big.c_str());
  std::string text;
  for (int i = 0; i < 40; ++i) text += "#DEVICE#";
  std::string out = substitute(text, t.entries);
  EXPECT_EQ(out.size(), 40u * 1023u);
}

TEST(InfTokenTable, LongValuesAreCutToTheBuffer) {
  std::string long_value(3000, 'x');
  set_inf_token(INF_TOKEN_DEVICE_DESCRIPTION, long_value.c_str());
  EXPECT_EQ(std::strlen(inf_token_table[INF_TOKEN_DEVICE_DESCRIPTION].value), 1023u);
  set_inf_token(INF_TOKEN_DEVICE_DESCRIPTION, nullptr);
  EXPECT_STREQ(inf_token_table[INF_TOKEN_DEVICE_DESCRIPTION].value, "");
}

TEST(TokenizePayloadTemplate, UsesTheFirstTemplateEntryOfThatExactName) {
  static const char written[] = "file #INF_FILENAME#";
  static const char first[] = "first #INF_FILENAME#";
  static const char second[] = "second";
  const payload_entry table[] = {
      {"x86", "t.inf.in", sizeof(written) - 1, 0, reinterpret_cast<const uint8_t*>(written)},
      {"", "T.inf.in", sizeof(second) - 1, 0, reinterpret_cast<const uint8_t*>(second)},
      {"", "t.inf.in", sizeof(first) - 1, 0, reinterpret_cast<const uint8_t*>(first)},
      {"", "t.inf.in", sizeof(second) - 1, 0, reinterpret_cast<const uint8_t*>(second)},
      {"", "empty.in", 0, 0, reinterpret_cast<const uint8_t*>("")},
  };
  set_inf_token(INF_TOKEN_INF_FILENAME, "Korvex-USART.inf");
  char* out = nullptr;
  ASSERT_GT(tokenize_payload_template(table, 5, "t.inf.in", &out), 0);
  EXPECT_STREQ(out, "first Korvex-USART.inf");
  std::free(out);
  EXPECT_EQ(tokenize_payload_template(table, 5, "missing.in", &out), -1812);
  EXPECT_EQ(tokenize_payload_template(table, 1, "t.inf.in", &out), -1812);
  EXPECT_EQ(tokenize_payload_template(table, 5, "empty.in", &out), 0);
  EXPECT_EQ(tokenize_payload_template(table, 5, nullptr, &out), -160);
  set_inf_token(INF_TOKEN_INF_FILENAME, nullptr);
}

TEST(CatalogMembers, SplitsTrimsDropsCommentsAndStopsAtSixteen) {
  char list[] = "# List\r\n# These are used\r\n\r\n  WdfCoInstaller01011.dll \r\nwinusbcoinstaller2.dll\t";
  const char* members[CATALOG_MAX_LISTED_MEMBERS] = {};
  ASSERT_EQ(read_catalog_members(list, members), 2);
  EXPECT_STREQ(members[0], "WdfCoInstaller01011.dll");
  EXPECT_STREQ(members[1], "winusbcoinstaller2.dll");

  char cdc[] = "# The USB CDC Serial driver doesn't need extra binaries\r\n";
  EXPECT_EQ(read_catalog_members(cdc, members), 0);

  std::string many;
  for (int i = 0; i < 20; ++i) many += "f" + std::to_string(i) + ".dll\n";
  std::vector<char> buffer(many.begin(), many.end());
  buffer.push_back('\0');
  testing::internal::CaptureStderr();
  ASSERT_EQ(read_catalog_members(buffer.data(), members), 16);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("more than 16 cat entries - ignoring the rest"),
            std::string::npos);
  EXPECT_STREQ(members[15], "f15.dll");
}

TEST(VendorNames, SortedUniqueFromThePublicListWithoutOurOwnId) {
  ASSERT_GT(vendor_name_count, 2900u);
  for (size_t i = 1; i < vendor_name_count; ++i) {
    ASSERT_LT(vendor_name_table[i - 1].vendor_id, vendor_name_table[i].vendor_id) << i;
  }
  EXPECT_STREQ(vendor_name_of(0x0001), "Fry's Electronics");
  EXPECT_STREQ(vendor_name_of(0x1D6B), "Linux Foundation");
  EXPECT_STREQ(vendor_name_of(0xFFEE), "FNK Tech");
  EXPECT_STREQ(vendor_name_of(0x18D1), "Google Inc.");
  EXPECT_EQ(vendor_name_of(0x2E3C), nullptr);
  EXPECT_STRNE(vendor_name_list_version, "unknown");
}

TEST(AndroidDevices, LookupMatchesBothIds) {
  int duplicates = 0;
  for (const android_device& d : android_device_table) duplicates += d.vendor_id == 0x18D1 && d.product_id == 0x708C;
  EXPECT_EQ(duplicates, 2);
  EXPECT_TRUE(is_android_device(0x18D1, 0x4EE2));
  EXPECT_TRUE(is_android_device(0x22B8, 0x70A9));  // the last pair
  EXPECT_FALSE(is_android_device(0x2E3C, 0xF000));
  EXPECT_FALSE(is_android_device(0x18D1, 0x4EE8));
  EXPECT_FALSE(is_android_device(0x4EE2, 0x18D1));
}

// A plain model of one pass: what the fuzz loop compares against.
std::string model_substitute(const std::string& in, const inf_token* table, const std::string& start,
                             const std::string& end) {
  std::string out;
  size_t pos = 0;
  const size_t delims = start.size() + end.size();
  while (in.size() - pos > delims) {
    size_t found = std::string::npos;
    for (size_t p = pos; in.size() - p >= delims; ++p) {
      if (in.compare(p, start.size(), start) == 0) {
        found = p;
        break;
      }
    }
    if (found == std::string::npos) break;
    out += in.substr(pos, found - pos);
    pos = found + start.size();
    bool matched = false;
    for (const inf_token* t = table; t->name != nullptr && !matched; ++t) {
      std::string key = std::string(t->name) + end;
      if (in.compare(pos, key.size(), key) == 0) {
        out += t->value;
        pos += key.size();
        matched = true;
      }
    }
    if (!matched) out += start;
  }
  return out + in.substr(pos);
}

TEST(ReplaceTokensFuzz, SeededRandomInputsMatchTheModel) {
  std::mt19937 rng(0x2E3CF000u);
  token_table t;
  const char* pieces[] = {"#", "##", "DEV", "DEVICE", "EMPTY", "LAST", "x", "\r\n", "{{", "}}", "{", "}", "\xC3\xA9"};
  const char* delimiters[][2] = {{"#", "#"}, {"{{", "}}"}, {"#", "}"}};
  for (int round = 0; round < 20000; ++round) {
    t.set(0, std::to_string(rng() % 1000).c_str());
    t.set(1, (rng() % 4 == 0) ? "" : "#DEV#");
    t.set(3, std::string(rng() % 1200, 'L').c_str());
    std::string text;
    int n = static_cast<int>(rng() % 24);
    for (int i = 0; i < n; ++i) text += pieces[rng() % (sizeof(pieces) / sizeof(pieces[0]))];
    const char** d = delimiters[rng() % 3];
    char* out = nullptr;
    int r = replace_tokens(text.data(), static_cast<int>(text.size()), &out, t.entries, d[0], d[1], 0);
    if (text.empty()) {
      ASSERT_EQ(r, -160);
      continue;
    }
    std::string expected = model_substitute(text, t.entries, d[0], d[1]);
    ASSERT_EQ(r, static_cast<int>(expected.size())) << text;
    ASSERT_EQ(std::string(out, static_cast<size_t>(r)), expected) << text;
    std::free(out);
    // Repeat mode must always end, whatever the values reproduce.
    r = replace_tokens(text.data(), static_cast<int>(text.size()), &out, t.entries, d[0], d[1], 1);
    ASSERT_TRUE(r >= 0 || r == -160) << r;
    std::free(out);
  }
}

}  // namespace
