#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer/syslog_lines.h"

namespace {

struct split_result {
  std::vector<std::string> lines;
  size_t consumed;
};

split_result split(const std::string& data) {
  split_result r;
  r.consumed = split_syslog_lines(
      data.data(), data.size(),
      [](const char* text, size_t length, void* context) {
        static_cast<std::vector<std::string>*>(context)->emplace_back(text, length);
      },
      &r.lines);
  return r;
}

TEST(SyslogLines, EveryLineEndEndsALineAndRunsAreOneSeparator) {
  const std::string log = "one\r\ntwo\nthree\r\r\n\nfour\r";
  split_result r = split(log);
  EXPECT_EQ(r.lines, (std::vector<std::string>{"one", "two", "three", "four"}));
  EXPECT_EQ(r.consumed, log.size());
}

TEST(SyslogLines, AnUnfinishedLastPieceIsKeptForLater) {
  split_result r = split("done\r\nhalf a li");
  EXPECT_EQ(r.lines, (std::vector<std::string>{"done"}));
  EXPECT_EQ(r.consumed, 6u);  // the next read starts at "half"

  r = split("no line end at all");
  EXPECT_TRUE(r.lines.empty());
  EXPECT_EQ(r.consumed, 0u);
}

TEST(SyslogLines, LeadingSeparatorsAndEmptyDataGiveNoEmptyLines) {
  split_result r = split("\r\n\r\nx\n");
  EXPECT_EQ(r.lines, (std::vector<std::string>{"x"}));
  EXPECT_EQ(r.consumed, 6u);
  r = split("");
  EXPECT_TRUE(r.lines.empty());
  EXPECT_EQ(r.consumed, 0u);
}

TEST(SyslogLines, ALineSplitAcrossTwoReadsComesOutWhole) {
  std::string log = "first\r\nsecond half";
  split_result a = split(log);
  log = log.substr(a.consumed) + " done\r\n";
  split_result b = split(log);
  EXPECT_EQ(a.lines, (std::vector<std::string>{"first"}));
  EXPECT_EQ(b.lines, (std::vector<std::string>{"second half done"}));
}

TEST(SyslogLines, OnlyTheExactMarkerIsAMarker) {
  EXPECT_TRUE(is_syslog_marker("<ins>", 5));
  EXPECT_FALSE(is_syslog_marker("<ins> ", 6));
  EXPECT_FALSE(is_syslog_marker(" <ins>", 6));
  EXPECT_FALSE(is_syslog_marker("<INS>", 5));
  EXPECT_FALSE(is_syslog_marker("<ins", 4));
}

}  // namespace
