#include "config/ini_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace corvane {
namespace {

using namespace std::string_literals;
using Names = std::vector<std::string>;
namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir_); }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name = "test.ini") const { return (dir_ / name).string(); }
  void Put(const std::string& bytes, const std::string& name = "test.ini") const {
    std::ofstream(Path(name), std::ios::binary | std::ios::trunc) << bytes;
  }
  std::string Get(const std::string& name = "test.ini") const {
    std::ostringstream out;
    out << std::ifstream(Path(name), std::ios::binary).rdbuf();
    return out.str();
  }
  fs::perms Mode(const std::string& name) const { return fs::status(Path(name)).permissions(); }
  const fs::path dir_ =
      fs::temp_directory_path() / ("corvane-ini-" + std::to_string(::getpid()) + "-" +
                                   testing::UnitTest::GetInstance()->current_test_info()->name());
};

TEST_F(IniFileTest, IntegersAndFlagsConvertOnlyWhenComplete) {
  constexpr std::int32_t kDef = -77;
  // Leading zeros are no digits of the 32-bit pattern.
  // clang-format off
  const std::vector<std::pair<std::string, std::int32_t>> cases = {
      {"42", 42}, {"  42", 42}, {"+5", 5}, {"-5", -5}, {"007", 7}, {"$1F", 31}, {"x1f", 31},
      {"X10", 16}, {"0x10", 16}, {"0X10", 16}, {"-$10", -16}, {" -x10", -16}, {"$FFFFFFFF", -1},
      {"$80000000", INT32_MIN}, {"-$80000000", INT32_MIN}, {"0x00000000010", 16},
      {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}, {"-000002147483648", INT32_MIN},
      {"$100000000", kDef}, {"2147483648", kDef}, {"-2147483649", kDef},
      {"99999999999999999999999", kDef}, {"", kDef}, {"   ", kDef}, {"42 ", kDef}, {"4 2", kDef},
      {"42abc", kDef}, {"abc", kDef}, {"-", kDef}, {"$", kDef}, {"0x", kDef}, {"--5", kDef},
      {"+-5", kDef}, {"- 5", kDef}, {"$G", kDef}, {"0x-5", kDef}, {"0x0x1", kDef}};
  // clang-format on
  std::string text = "[N]\n";
  for (std::size_t i = 0; i < cases.size(); ++i) {
    text += "k" + std::to_string(i) + "=" + cases[i].first + "\n";
  }
  Put(text + "[B]\nzero=0\nhex=$0\ntwo=2\nminus=-1\nword=yes\nempty=\n");
  const TIniFile ini(Path());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(ini.ReadInteger("N", "k" + std::to_string(i), kDef), cases[i].second)
        << '"' << cases[i].first << '"';
  }
  for (const bool def : {false, true}) {
    EXPECT_FALSE(ini.ReadBool("B", "zero", def) || ini.ReadBool("B", "hex", def));
    EXPECT_TRUE(ini.ReadBool("B", "two", def) && ini.ReadBool("B", "minus", def));
    for (const char* key : {"word", "empty", "absent"}) EXPECT_EQ(ini.ReadBool("B", key, def), def);
  }
}

TEST_F(IniFileTest, NamesMatchWithoutCaseAndTheFirstOccurrenceWins) {
  Put("top=before any section\n[MaIn]\r\n  UserName \t= Bob = x \r\n"
      "[ Spaced ] trailing text\nKey=1\nkey=2\n"
      "[main]\nUserName=second\nOther=in the repeated section\n"
      "[\xC4]\nk=upper\n[\xE4]\nk=lower\n");
  const TIniFile ini(Path());
  EXPECT_EQ(ini.ReadString("main", "USERNAME", "-"), " Bob = x ") << "the value as it stands";
  EXPECT_EQ(ini.ReadString("main", "Other", "-"), "-");
  EXPECT_EQ(ini.ReadString("spaced", "KEY", "-"), "1");
  EXPECT_EQ(ini.ReadString("", "top", "-"), "-");
  EXPECT_EQ(ini.ReadString("\xE4", "k", "-"), "lower") << "only ASCII letters fold";
  EXPECT_EQ(ini.ReadSections(), (Names{"MaIn", "Spaced", "\xC4", "\xE4"}));
  EXPECT_EQ(ini.ReadKeys("MAIN"), (Names{"UserName"}));
  EXPECT_EQ(ini.ReadKeys("Spaced"), (Names{"Key"}));
}

TEST_F(IniFileTest, WritesChangeOnlyTheirOwnLines) {
  const std::string head = "; top comment\r\n[Main]\r\n  Name =";
  const std::string middle = "\r\nbare line\r\n[sec\r\nOther=1\r\n";
  const std::string next = "; belongs to Next\r\n\r\n[Next]\r\nx=1\n";
  const std::string tail = "[main]\r\nname=duplicate\r\n\x01\xFF junk\ry=2";
  Put(head + " old" + middle + next + tail);
  TIniFile ini(Path());
  ASSERT_TRUE(ini.WriteString("main", "NAME", "new value"));
  ASSERT_TRUE(ini.WriteString("Main", "Added", "a"));
  ASSERT_TRUE(ini.WriteInteger("NEXT", "n", -12));
  ASSERT_TRUE(ini.WriteBool("New", "flag", true));
  ASSERT_TRUE(ini.WriteString("New", "line", "one\r\ntwo"));
  EXPECT_EQ(Get(), head + "new value" + middle + "Added=a\r\n" + next + "n=-12\r\n" + tail +
                       "\r\n\r\n[New]\r\nflag=1\r\nline=one\r\n");

  // Names that would read back as something else are refused and change nothing.
  const std::string before = Get();
  for (const char* section : {"a]b", "a\nb"}) EXPECT_FALSE(ini.WriteString(section, "k", "v"));
  for (const char* key : {"a=b", "  ", ";c", "[d"}) EXPECT_FALSE(ini.WriteString("Main", key, "v"));
  EXPECT_EQ(Get(), before);
}

TEST_F(IniFileTest, NewFilesSectionsAndLineEnds) {
  TIniFile fresh(Path("new.ini"));
  EXPECT_EQ(fresh.ReadString("S", "k", "-"), "-");
  EXPECT_FALSE(fs::exists(Path("new.ini"))) << "opening and reading create nothing";
  TIniFile secret(Path("secret.ini"));
  secret.SetCreateMode(0600);
  const mode_t old_mask = ::umask(077);
  const bool written = fresh.WriteString("S", "k", "v") && secret.WriteString("S", "k", "v");
  ::umask(old_mask);
  ASSERT_TRUE(written);
  EXPECT_EQ(Mode("new.ini"), fs::perms(0644)) << "the create mode, whatever the umask";
  EXPECT_EQ(Mode("secret.ini"), fs::perms(0600));
  ::chmod(Path("new.ini").c_str(), 0640);
  ASSERT_TRUE(fresh.WriteString("S", "k2", "v"));
  EXPECT_EQ(Mode("new.ini"), fs::perms(0640)) << "an existing file keeps its mode";

  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "[S]\nk=v\n"},                            // no blank line in front
      {"[A]\rx=1\r\r", "[A]\rx=1\r\r[S]\rk=v\r"},    // the first line's end; one blank line
      {"[s]\nx=1", "[s]\nx=1\nk=v\n"},               // no final line end
      {"[S]\n\n; c\n", "[S]\nk=v\n\n; c\n"},         // a section without keys
      {"[S]\nx=1\n\n[T]", "[S]\nx=1\nk=v\n\n[T]"}};  // before the blank lines
  for (const auto& [text, expected] : cases) {
    Put(text, "case.ini");
    EXPECT_TRUE(TIniFile(Path("case.ini")).WriteString("S", "k", "v"));
    EXPECT_EQ(Get("case.ini"), expected);
  }
}

// The fuzz target writes random files; this pins what is kept byte for byte.
TEST_F(IniFileTest, JunkIsReadAndKeptAsItIs) {
  const std::string big(1 << 20, 'A');
  const std::string junk = "\x00\xFF\xFE binary\x00=\x00\n"s + big + "\n[Main\r[Main]\r" +
                           "no equals sign\r\r  ; k=comment\n=no name\n[=x\nk=" + big +
                           "\nbin\x00key=\x01\x00\x02\n"s + "[Tail]\r\nlast=no newline";
  Put(junk);
  TIniFile ini(Path());
  EXPECT_EQ(ini.ReadSections(), (Names{"Main", "Tail"}));
  EXPECT_EQ(ini.ReadKeys("main"), (Names{"k", "bin\x00key"s}));
  EXPECT_EQ(ini.ReadString("Main", "k", ""), big.substr(0, TIniFile::kMaxValue));
  EXPECT_EQ(ini.ReadString("Main", "bin\x00key"s, ""), "\x01\x00\x02"s);
  EXPECT_EQ(ini.ReadString("Tail", "last", ""), "no newline");
  ASSERT_TRUE(ini.WriteString("Main", "k", "short"));
  ASSERT_TRUE(ini.WriteString("Main", "new", "1"));
  std::string expected = junk;
  expected.replace(expected.find("k=" + big), 2 + big.size(), "k=short");
  expected.insert(expected.find("[Tail]"), "new=1\n");
  EXPECT_EQ(Get(), expected);
}

TEST_F(IniFileTest, ReadsSeeChangesMadeByOthers) {
  const TIniFile ini(Path());
  EXPECT_EQ(ini.ReadString("S", "k", "-"), "-");
  // Same size, same time: a coarse clock stamps writes within one tick alike. A file left
  // alone for long may be kept in memory, but not once its time, size or inode changed.
  const auto recent = fs::last_write_time(Path("."));
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
  const std::chrono::nanoseconds ns(1);
  const struct {
    std::string text;
    fs::file_time_type time;
    bool renamed;
  } steps[] = {{"1", recent, false},   {"2", recent, false},    {"2", old, false},
               {"3", old + ns, false}, {"44", old + ns, false}, {"55", old + ns, true}};
  for (const auto& step : steps) {
    const std::string name = step.renamed ? "other.ini" : "test.ini";
    Put("[S]\nk=" + step.text + "\n", name);
    fs::last_write_time(Path(name), step.time);
    if (step.renamed) fs::rename(Path(name), Path());
    EXPECT_EQ(ini.ReadString("S", "k", "-"), step.text);
  }
}

// Updates write once, at the last end. A write that fails keeps the old file and leaves no
// temporary one; reads then give the old file rather than the writes that failed.
TEST_F(IniFileTest, UpdatesWriteOnceAtTheLastEndAndFailedWritesKeepTheOldFile) {
  Put("[S]\nk=0\n");
  TIniFile ini(Path());
  EXPECT_TRUE(ini.EndUpdate()) << "an end without a begin does nothing";
  ini.BeginUpdate();
  ini.BeginUpdate();
  ASSERT_TRUE(ini.WriteString("S", "k", "1"));
  ASSERT_TRUE(ini.WriteString("T", "j", "2"));
  EXPECT_EQ(ini.ReadString("S", "k", "-"), "1") << "reads see the pending writes";
  EXPECT_TRUE(ini.EndUpdate());
  ASSERT_TRUE(ini.WriteString("S", "k", "3"));
  EXPECT_EQ(Get(), "[S]\nk=0\n");
  EXPECT_TRUE(ini.EndUpdate());
  const std::string written = "[S]\nk=3\n\n[T]\nj=2\n";
  EXPECT_EQ(Get(), written);

  fs::create_directory(Path("test.ini.tmp"));  // the temporary file cannot be made
  EXPECT_FALSE(ini.WriteString("S", "k", "new"));
  EXPECT_EQ(ini.ReadString("S", "k", "-"), "3");
  ini.BeginUpdate();
  EXPECT_TRUE(ini.WriteString("S", "k", "batched"));
  EXPECT_FALSE(ini.EndUpdate());
  EXPECT_EQ(ini.ReadString("S", "k", "-"), "3");
  EXPECT_EQ(Get(), written);
  fs::create_directory(Path("folder.ini"));  // a folder cannot be replaced by a file
  EXPECT_FALSE(TIniFile(Path("folder.ini")).WriteString("S", "k", "v"));
  EXPECT_TRUE(fs::is_directory(Path("folder.ini")));
  EXPECT_FALSE(fs::exists(Path("folder.ini.tmp")));
}

}  // namespace
}  // namespace corvane
