#include "config/codepage.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace corvane {
namespace {

TEST(CodePage, ConvertsBothWaysAndMarksWhatItCannotHold) {
  auto cyrillic = TCodePage::Load("CP1251");
  auto western = TCodePage::Load("CP1252");
  ASSERT_TRUE(cyrillic.has_value() && western.has_value());
  // Every byte survives a round trip, the one the code page leaves undefined (0x98) too.
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {cyrillic->ToUtf8("\xCF\xF0\xE8\xE2\xE5\xF2 ok"), "Привет ok"},
      {cyrillic->FromUtf8("Привет ok"), "\xCF\xF0\xE8\xE2\xE5\xF2 ok"},
      {cyrillic->FromUtf8(cyrillic->ToUtf8(all)), all}, {western->ToUtf8("\xE9"), "\xC3\xA9"},
      // A character the code page lacks, and every kind of malformed UTF-8, become '?':
      // truncated, overlong, a surrogate, past U+10FFFF. The euro sign is 0x80 here.
      {western->FromUtf8("я"), "?"}, {western->FromUtf8("a\xC3"), "a?"},
      {western->FromUtf8("\xC0\xAF"), "??"}, {western->FromUtf8("\xED\xA0\x80"), "???"},
      {western->FromUtf8("\xF4\x90\x80\x80"), "????"}, {western->FromUtf8("\xE2\x82\xAC"), "\x80"},
      // For a terminal or a pane: UTF-8, with C0, DEL and C1 controls (an undefined byte
      // stands for one) as blanks, and nothing else touched.
      {cyrillic->ToDisplay("\xCF\xF0\x1B[2J\r\n\x7F\x98\x9B ok"), "Пр [2J    › ok"},
      {TCodePage::Latin1().ToDisplay("\x85\x9F\xA0"), "  \xC2\xA0"}};
  // clang-format on
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].first, cases[i].second) << i;
}

TEST(CodePage, OnlySingleByteCodePagesAreAccepted) {
  for (const char* name : {"NO-SUCH-CODEPAGE", "UTF-8", "SHIFT_JIS"})
    EXPECT_FALSE(TCodePage::Load(name).has_value()) << name;
  const std::string before = ProcessCodePage().Name();
  EXPECT_FALSE(SetProcessCodePage("UTF-8"));
  EXPECT_EQ(ProcessCodePage().Name(), before) << "unchanged by a refused name";
  ASSERT_TRUE(SetProcessCodePage("CP1252"));
  EXPECT_EQ(ProcessCodePage().ToUtf8("\xE9"), "\xC3\xA9");
}

}  // namespace
}  // namespace corvane
