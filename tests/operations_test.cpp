#include "config/Operations.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
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

TEST(TrimSpacesTest, RemovesOnlySpacesAtBothEnds) {
  EXPECT_EQ(Trimmed("  a b  "), "a b");
  EXPECT_EQ(Trimmed("    "), "");
  EXPECT_EQ(Trimmed("\t a \t"), "\t a \t");
  EXPECT_EQ(Trimmed(" a\r\n"), "a\r\n");
}

TEST(ReplaceAllTest, PlainReplacementsAndNoOps) {
  EXPECT_EQ(Replaced("abcabc", "abc", "abc"), "abcabc");
  EXPECT_EQ(Replaced("abc", "", "x"), "abc");
  EXPECT_EQ(Replaced("abc", "abcd", ""), "abc");
  EXPECT_EQ(Replaced("abc", "B", "x"), "abc");
  EXPECT_EQ(Replaced("a%enterb%enter", "%enter", "\r\n"), "a\r\nb\r\n");
  EXPECT_EQ(Replaced(std::string("a\0b", 3), std::string(1, '\0'), "-"), "a-b");
}

TEST(ReplaceAllTest, ReplacesOccurrencesFormedByEarlierReplacements) {
  EXPECT_EQ(Replaced("aabb", "ab", ""), "");
  EXPECT_EQ(Replaced("aaabbbc", "ab", ""), "c");
  // Same length: "ab" keeps moving left until every b is in front.
  EXPECT_EQ(Replaced("aabb", "ab", "ba"), "bbaa");
  // Longer: the new occurrence starts inside the inserted text.
  EXPECT_EQ(Replaced("aab", "ab", "bba"), "bbbbaa");
}

TEST(ReplaceAllTest, EndsWhenReplacementKeepsTheSearchedText) {
  EXPECT_EQ(Replaced("aba", "a", "aa"), "aabaa");
  EXPECT_EQ(Replaced("xyxy", "xy", "xyxy"), "xyxyxyxy");
  // No copy of "ab" in "bbaa", yet every replacement makes a new one just before it.
  std::string s = "aab";
  ReplaceAll(s, "ab", "bbaa");
  EXPECT_EQ(s, "abbaa");
  // Each pass would double the b's: 2^40 of them.
  s = std::string(40, 'a') + "b";
  ReplaceAll(s, "ab", "bba");
  EXPECT_LT(s.size(), 100u);
}

// Replacement by the obvious method; false when it has not ended after `max_steps`.
bool ReplacedFromStart(std::string& s, const std::string& what, const std::string& with,
                       int max_steps) {
  for (std::size_t p = s.find(what); p != std::string::npos; p = s.find(what)) {
    if (max_steps-- == 0) {
      return false;
    }
    s.replace(p, what.size(), with);
  }
  return true;
}

TEST(ReplaceAllTest, MatchesSearchingFromTheStartWhenThatEnds) {
  std::mt19937 rng(7);
  auto random_text = [&rng](std::size_t max_size) {
    std::string t(rng() % (max_size + 1), 'a');
    for (char& c : t) {
      c = static_cast<char>('a' + rng() % 3);
    }
    return t;
  };
  int compared = 0;
  for (int round = 0; round < 20000; ++round) {
    const std::string what = random_text(4);
    const std::string with = random_text(5);
    if (what.empty() || with.find(what) != std::string::npos) {
      continue;
    }
    const std::string text = random_text(30);
    std::string expected = text;
    if (ReplacedFromStart(expected, what, with, 200)) {
      ++compared;
      EXPECT_EQ(Replaced(text, what, with), expected) << text << " / " << what << " / " << with;
    }
  }
  EXPECT_GT(compared, 5000);
}

TEST(SplitQuotedTest, SplitsOutsideQuotes) {
  EXPECT_EQ(SplitQuoted("a \"b c\" d", ' '), (Pieces{"a", "\"b c\"", "d"}));
  EXPECT_EQ(SplitQuoted("a  b", ' '), (Pieces{"a", "", "b"}));
  EXPECT_EQ(SplitQuoted(" a", ' '), (Pieces{"", "a"}));
  EXPECT_EQ(SplitQuoted("", ' '), Pieces{});
  EXPECT_EQ(SplitQuoted(" ", ' '), (Pieces{" "}));
  EXPECT_EQ(SplitQuoted("a b ", ' '), (Pieces{"a", "b "}));
  EXPECT_EQ(SplitQuoted("a  ", ' '), (Pieces{"a", " "}));
  EXPECT_EQ(SplitQuoted("a \"b c", ' '), (Pieces{"a", "\"b c"}));
  EXPECT_EQ(SplitQuoted("\"a b\" c", ' '), (Pieces{"\"a b\"", "c"}));
  EXPECT_EQ(SplitQuoted("\"", '"'), (Pieces{"\""}));
}

TEST(QuotedWordTest, PicksWordsBetweenSingleSpaces) {
  EXPECT_EQ(QuotedWord("a b c", 1), "a");
  EXPECT_EQ(QuotedWord("a b c", 2), "b");
  EXPECT_EQ(QuotedWord("a b c", 3), "c");
  EXPECT_EQ(QuotedWord("a b c", 4), "");
  EXPECT_EQ(QuotedWord("a  b", 1), "a");
  EXPECT_EQ(QuotedWord("a  b", 2), "");
  EXPECT_EQ(QuotedWord("a  b", 3), "b");
  EXPECT_EQ(QuotedWord("  lead trail  ", 2), "trail");
  EXPECT_EQ(QuotedWord("say \"hello world\" now", 2), "hello world");
  EXPECT_EQ(QuotedWord("x \"\" y", 2), "");
  EXPECT_EQ(QuotedWord("x \" y z", 2), "\" y z");
  EXPECT_EQ(QuotedWord("x a\"b\" y", 2), "a\"b\"");
  EXPECT_EQ(QuotedWord("x \" in \" y", 2), " in ");
  EXPECT_EQ(QuotedWord("  a \"b\"  ", 0), "a \"b\"");
  EXPECT_EQ(QuotedWord(" a ", -3), "a");
}

TEST(TrimCharTest, RemovesTheCharAtBothEnds) {
  EXPECT_EQ(TrimChar("abc  ", ' '), "abc");
  EXPECT_EQ(TrimChar("..a..", '.'), "a");
  EXPECT_EQ(TrimChar(".a.b.", '.'), "a.b");
  EXPECT_EQ(TrimChar("....", '.'), "");
  EXPECT_EQ(TrimChar(" a ", '.'), " a ");
}

class DeleteFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    root_ = fs::temp_directory_path() /
            ("corvane-ops-" + std::to_string(::getpid()) + "-" + std::to_string(seed()));
    ASSERT_TRUE(fs::create_directories(root_));
  }

  void TearDown() override {
    std::error_code ec;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
    for (const auto& entry : fs::recursive_directory_iterator(root_, ec)) {
      if (!entry.is_symlink()) {
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
      }
    }
    fs::remove_all(root_, ec);
  }

  static void WriteFile(const fs::path& p) { std::ofstream(p) << "data"; }

  fs::path root_;
};

TEST_F(DeleteFolderTest, RemovesReadOnlyEntriesAndLeavesLinkTargets) {
  const fs::path target = root_ / "outside";
  fs::create_directory(target);
  WriteFile(target / "keep.txt");

  const fs::path doomed = root_ / "doomed";
  fs::create_directories(doomed / "sub");
  WriteFile(doomed / "readonly.txt");
  WriteFile(doomed / ".hidden");
  WriteFile(doomed / "sub" / "inner.txt");
  fs::create_directory_symlink(target, doomed / "link");
  fs::create_symlink(doomed / "gone", doomed / "dangling");
  ::chmod((doomed / "readonly.txt").c_str(), 0444);
  ::chmod((doomed / "sub" / "inner.txt").c_str(), 0444);
  ::chmod((doomed / "sub").c_str(), 0555);

  EXPECT_TRUE(DeleteFolder(doomed.string()));
  EXPECT_FALSE(fs::exists(fs::symlink_status(doomed)));
  EXPECT_TRUE(fs::is_directory(target));
  EXPECT_TRUE(fs::exists(target / "keep.txt"));
}

TEST_F(DeleteFolderTest, MissingOrNotAFolder) {
  EXPECT_FALSE(DeleteFolder((root_ / "missing").string()));

  const fs::path target = root_ / "real";
  fs::create_directory(target);
  WriteFile(target / "keep.txt");
  fs::create_directory_symlink(target, root_ / "alias");
  EXPECT_FALSE(DeleteFolder((root_ / "alias").string()));
  EXPECT_TRUE(fs::exists(target / "keep.txt"));

  EXPECT_TRUE(DeleteFolder(target.string()));
  EXPECT_FALSE(fs::exists(target));
}

}  // namespace
}  // namespace corvane
