#include "config/Operations.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace corvane {
namespace {

using Pieces = std::vector<std::string>;
namespace fs = std::filesystem;

std::string Trimmed(std::string s) {
  TrimSpaces(s);
  return s;
}

std::string Replaced(std::string s, const std::string& what, const std::string& with) {
  ReplaceAll(s, what, with);
  return s;
}

TEST(TextHelpers, TrimSplitAndPickWords) {
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {Trimmed("  a b  "), "a b"}, {Trimmed("    "), ""}, {Trimmed(" \t a\r\n "), "\t a\r\n"},
      {TrimChar("..a.b..", '.'), "a.b"}, {TrimChar("....", '.'), ""}, {TrimChar(" a ", '.'), " a "},
      {QuotedWord("a b c", 3), "c"}, {QuotedWord("a b c", 4), ""}, {QuotedWord("a  b", 2), ""},
      {QuotedWord("a  b", 3), "b"}, {QuotedWord("  lead trail  ", 2), "trail"},
      {QuotedWord("say \"hello world\" now", 2), "hello world"}, {QuotedWord("x \"\" y", 2), ""},
      {QuotedWord("x \" y z", 2), "\" y z"}, {QuotedWord("x a\"b\" y", 2), "a\"b\""},
      {QuotedWord("x \" in \" y", 2), " in "}, {QuotedWord("  a \"b\"  ", 0), "a \"b\""},
      {QuotedWord(" a ", -3), "a"}};
  const std::pair<Pieces, Pieces> splits[] = {
      {SplitQuoted("a \"b c\" d", ' '), {"a", "\"b c\"", "d"}},
      {SplitQuoted("a  b", ' '), {"a", "", "b"}}, {SplitQuoted(" a", ' '), {"", "a"}},
      {SplitQuoted("", ' '), {}}, {SplitQuoted(" ", ' '), {" "}},
      {SplitQuoted("a b ", ' '), {"a", "b "}}, {SplitQuoted("a \"b c", ' '), {"a", "\"b c"}},
      {SplitQuoted("\"", '"'), {"\""}}};
  // clang-format on
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].first, cases[i].second) << i;
  for (std::size_t i = 0; i < std::size(splits); ++i)
    EXPECT_EQ(splits[i].first, splits[i].second) << i;
}

// The fuzz target compares ReplaceAll with searching from the start on random input; these
// cases pin the rules.
TEST(TextHelpers, ReplaceAll) {
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {Replaced("abcabc", "abc", "abc"), "abcabc"}, {Replaced("abc", "", "x"), "abc"},
      {Replaced("abc", "B", "x"), "abc"},
      {Replaced("a%enterb%enter", "%enter", "\r\n"), "a\r\nb\r\n"},
      {Replaced(std::string("a\0b", 3), std::string(1, '\0'), "-"), "a-b"},
      // Occurrences formed by earlier replacements are replaced too.
      {Replaced("aabb", "ab", ""), ""}, {Replaced("aabb", "ab", "ba"), "bbaa"},
      {Replaced("aab", "ab", "bba"), "bbbbaa"},
      // It ends when the replacement holds the searched text, or keeps making a new one just
      // before it.
      {Replaced("aba", "a", "aa"), "aabaa"}, {Replaced("xyxy", "xy", "xyxy"), "xyxyxyxy"},
      {Replaced("aab", "ab", "bbaa"), "abbaa"}};
  // clang-format on
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].first, cases[i].second) << i;
  // Each pass would double the b's: 2^40 of them.
  EXPECT_LT(Replaced(std::string(40, 'a') + "b", "ab", "bba").size(), 100u);
}

TEST(DeleteFolder, RemovesReadOnlyEntriesButNeverFollowsLinks) {
  const fs::path root = fs::temp_directory_path() / ("corvane-ops-" + std::to_string(getpid()));
  const fs::path target = root / "outside", doomed = root / "doomed";
  fs::create_directories(target);
  fs::create_directories(doomed / "sub");
  for (const fs::path& file :
       {target / "keep.txt", doomed / "readonly.txt", doomed / ".hidden", doomed / "sub" / "in"}) {
    std::ofstream(file) << "data";
    ::chmod(file.c_str(), 0444);
  }
  fs::create_directory_symlink(target, doomed / "link");
  fs::create_symlink(doomed / "gone", doomed / "dangling");
  ::chmod((doomed / "sub").c_str(), 0555);
  EXPECT_TRUE(DeleteFolder(doomed.string()));
  EXPECT_FALSE(fs::exists(fs::symlink_status(doomed)));
  EXPECT_TRUE(fs::exists(target / "keep.txt"));
  // A link to a folder, or nothing at all, is no folder to delete.
  fs::create_directory_symlink(target, root / "alias");
  EXPECT_FALSE(DeleteFolder((root / "alias").string()));
  EXPECT_TRUE(fs::exists(target / "keep.txt"));
  EXPECT_FALSE(DeleteFolder((root / "missing").string()));
  EXPECT_TRUE(DeleteFolder(root.string()));
}

}  // namespace
}  // namespace corvane
