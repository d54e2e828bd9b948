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

namespace fs = std::filesystem;

// The fuzz target compares ReplaceAll with searching from the start on random input; these
// cases pin the rules.
TEST(TextHelpers, TrimSplitPickWordsAndReplace) {
  const auto trimmed = [](std::string s) { return TrimSpaces(s), s; };
  const auto replaced = [](std::string s, const std::string& what, const std::string& with) {
    return ReplaceAll(s, what, with), s;
  };
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {trimmed("  a b  "), "a b"}, {trimmed(" \t a\r\n "), "\t a\r\n"}, {TrimChar("....", '.'), ""},
      {TrimChar("..a.b..", '.'), "a.b"}, {QuotedWord("a  b", 2), ""}, {QuotedWord("a  b", 3), "b"},
      {QuotedWord("say \"hello world\" now", 2), "hello world"}, {QuotedWord("x \"\" y", 2), ""},
      {QuotedWord("x \" y z", 2), "\" y z"}, {QuotedWord("x a\"b\" y", 2), "a\"b\""},
      {QuotedWord("x \" in \" y", 2), " in "}, {QuotedWord("  a \"b\"  ", 0), "a \"b\""},
      {QuotedWord(" a ", -3), "a"}, {replaced("abcabc", "abc", "abc"), "abcabc"},
      {replaced("abc", "", "x"), "abc"}, {replaced("a%enterb%enter", "%enter", "\r\n"), "a\r\nb\r\n"},
      {replaced(std::string("a\0b", 3), std::string(1, '\0'), "-"), "a-b"},
      // Occurrences formed by earlier replacements are replaced too.
      {replaced("aabb", "ab", ""), ""}, {replaced("aab", "ab", "bba"), "bbbbaa"},
      // It ends when the replacement holds the searched text, or keeps making a new one just
      // before it.
      {replaced("aba", "a", "aa"), "aabaa"}, {replaced("xyxy", "xy", "xyxy"), "xyxyxyxy"},
      {replaced("aab", "ab", "bbaa"), "abbaa"}};
  const std::pair<std::vector<std::string>, std::vector<std::string>> splits[] = {
      {SplitQuoted("a \"b c\" d", ' '), {"a", "\"b c\"", "d"}},
      {SplitQuoted("a  b", ' '), {"a", "", "b"}}, {SplitQuoted(" a", ' '), {"", "a"}},
      {SplitQuoted("", ' '), {}}, {SplitQuoted(" ", ' '), {" "}},
      {SplitQuoted("a b ", ' '), {"a", "b "}}, {SplitQuoted("a \"b c", ' '), {"a", "\"b c"}},
      {SplitQuoted("\"", '"'), {"\""}}};
  // clang-format on
  for (const auto& [got, want] : cases) EXPECT_EQ(got, want);
  for (const auto& [got, want] : splits) EXPECT_EQ(got, want);
  // Each pass would double the b's: 2^40 of them.
  EXPECT_LT(replaced(std::string(40, 'a') + "b", "ab", "bba").size(), 100u);
}

TEST(DeleteFolder, RemovesReadOnlyEntriesButNeverFollowsLinks) {
  const fs::path root = fs::temp_directory_path() / ("corvane-ops-" + std::to_string(getpid()));
  const fs::path target = root / "outside", doomed = root / "doomed";
  fs::create_directories(target);
  fs::create_directories(doomed / "sub");
  for (const fs::path& file : {target / "keep.txt", doomed / ".hidden", doomed / "sub" / "in"}) {
    std::ofstream(file) << "data";
    ::chmod(file.c_str(), 0444);
  }
  fs::create_directory_symlink(target, doomed / "link");
  fs::create_symlink(doomed / "gone", doomed / "dangling");
  fs::create_directory_symlink(target, root / "alias");
  ::chmod((doomed / "sub").c_str(), 0555);
  // A link to a folder, or nothing at all, is no folder to delete.
  for (const char* name : {"alias", "missing"}) EXPECT_FALSE(DeleteFolder((root / name).string()));
  EXPECT_TRUE(DeleteFolder(doomed.string()));
  EXPECT_FALSE(fs::exists(fs::symlink_status(doomed)));
  EXPECT_TRUE(fs::exists(target / "keep.txt"));
  EXPECT_TRUE(DeleteFolder(root.string()));
}

}  // namespace
}  // namespace corvane
