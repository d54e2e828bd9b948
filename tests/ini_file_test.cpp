#include "config/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace corvane {
namespace {

using namespace std::chrono_literals;
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
  const fs::path dir_ =
      fs::temp_directory_path() / ("corvane-ini-" + std::to_string(::getpid()) + "-" +
                                   testing::UnitTest::GetInstance()->current_test_info()->name());
};

// Numbers convert only when complete ("text>value", the default 9); hex is a 32-bit
// pattern whose leading zeros are no digits. Names match without case (ASCII only), the first
// occurrence wins, values stand as they are, cut at kMaxValue.
TEST_F(IniFileTest, ReadsNumbersAndNamesAsStored) {
  std::istringstream cases(
      "  +42>42|007>7|x1f>31|0X10>16| -$10>-16|$FFFFFFFF>-1|-$80000000>-2147483648|"
      "0x00000000010>16|-000002147483648>-2147483648|$100000000>9|2147483648>9|>9|42 >9|4 2>9|"
      "->9|0x>9|+-5>9|$G>9|0x-5>9|0x0x1>9");
  for (std::string c; std::getline(cases, c, '|');) {
    Put("[N]\nk=" + c.substr(0, c.find('>')) + "\n");
    EXPECT_EQ(TIniFile(Path()).ReadInteger("N", "k", 9), std::stoi(c.substr(c.find('>') + 1))) << c;
  }
  Put("[B]\nlong=" + std::string(3000, 'g') +
      "\n[MaIn]\r\n  UserName \t= Bob = x \r\n[ Spaced ] trailing text\nKey=1\nkey=2\n"
      "[main]\nUserName=second\nOther=in the repeated section\n[\xC4]\nk=upper\n[\xE4]\nk=lower\n");
  const TIniFile ini(Path());
  EXPECT_EQ(ini.ReadString("main", "USERNAME", "-"), " Bob = x ");
  EXPECT_EQ(ini.ReadString("spaced", "KEY", "-") + ini.ReadString("\xE4", "k", "-"), "1lower");
  EXPECT_EQ(ini.ReadString("B", "long", ""), std::string(TIniFile::kMaxValue, 'g'));
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"B", "MaIn", "Spaced", "\xC4", "\xE4"}));
  EXPECT_EQ(ini.ReadKeys("MAIN"), std::vector<std::string>{"UserName"});
}

TEST_F(IniFileTest, WritesChangeOnlyTheirOwnLines) {
  const std::string head = "; top comment\r\n[Main]\r\n  Name =";
  const std::string middle = "\r\nbare line\r\n[sec\r\nOther=1\r\n";
  const std::string next = "; belongs to Next\r\n\r\n[Next]\r\nx=1\n";
  const std::string tail = "[main]\r\nname=duplicate\r\n\x01\xFF junk\ry=2";
  Put(head + " old" + middle + next + tail);
  TIniFile ini(Path());
  ASSERT_TRUE(ini.WriteString("main", "NAME", "new value") &&
              ini.WriteString("Main", "Added", "a") && ini.WriteInteger("NEXT", "n", -12) &&
              ini.WriteBool("New", "flag", true) && ini.WriteString("New", "line", "one\r\ntwo"));
  // Names that would read back as something else are refused and change nothing.
  for (const char* section : {"a]b", "a\nb"}) EXPECT_FALSE(ini.WriteString(section, "k", "v"));
  for (const char* key : {"a=b", "  ", ";c", "[d"}) EXPECT_FALSE(ini.WriteString("Main", key, "v"));
  EXPECT_EQ(Get(), head + "new value" + middle + "Added=a\r\n" + next + "n=-12\r\n" + tail +
                       "\r\n\r\n[New]\r\nflag=1\r\nline=one\r\n");
}

// A write replaces only a regular file (a folder or a FIFO stays) and leaves no temporary file;
// an existing file keeps its mode, a new one gets the create mode less the umask, and a
// link stays a link to the file written.
TEST_F(IniFileTest, WhatStandsAtThePathDecidesTheWrite) {
  // Opening and reading create nothing.
  EXPECT_FALSE(TIniFile(Path("new.ini")).ReadBool("S", "k", false) || fs::exists(Path("new.ini")));
  Put("[S]\n", "kept.ini");
  ::chmod(Path("kept.ini").c_str(), 0640);
  fs::create_symlink("kept.ini", Path("link.ini"));
  fs::create_directory(Path("folder.ini"));
  ASSERT_EQ(::mkfifo(Path("fifo.ini").c_str(), 0644), 0);
  const auto write = [&](const char* f) { return TIniFile(Path(f)).WriteString("S", f, "v"); };
  const mode_t old_mask = ::umask(077);
  EXPECT_TRUE(write("new.ini") && write("kept.ini") && write("link.ini"));
  EXPECT_FALSE(write("folder.ini") || write("fifo.ini"));
  ::umask(old_mask);
  EXPECT_EQ(Get("new.ini") + Get("kept.ini"), "[S]\nnew.ini=v\n[S]\nkept.ini=v\nlink.ini=v\n");
  EXPECT_EQ(fs::status(Path("new.ini")).permissions(), fs::perms(0600));
  EXPECT_EQ(fs::status(Path("kept.ini")).permissions(), fs::perms(0640));
  EXPECT_TRUE(fs::is_symlink(Path("link.ini")) && fs::is_directory(Path("folder.ini")));
  EXPECT_EQ(fs::symlink_status(Path("fifo.ini")).type(), fs::file_type::fifo);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 5) << "a temporary file is left";
}

TEST_F(IniFileTest, ReadsSeeChangesMadeByOthers) {
  const TIniFile ini(Path());
  EXPECT_EQ(ini.ReadString("S", "k", "-"), "-");
  // Same size, same time: a coarse clock stamps writes within one tick alike. A file left
  // alone for long may be kept in memory, but not once its time, size or inode changed.
  const auto recent = fs::last_write_time(Path("."));
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1), later = old + 1ns;
  const std::string texts[] = {"1", "2", "2", "3", "44", "55"};  // the last comes by a rename
  const fs::file_time_type times[] = {recent, recent, old, later, later, later};
  for (int i = 0; i < 6; ++i) {
    const std::string name = i == 5 ? "other.ini" : "test.ini";
    Put("[S]\nk=" + texts[i] + "\n", name);
    fs::last_write_time(Path(name), times[i]);
    if (i == 5) fs::rename(Path(name), Path());
    EXPECT_EQ(ini.ReadString("S", "k", "-"), texts[i]);
  }
}

// Updates write once, at the last end. A write that fails keeps the old file; reads then give
// the old file rather than the writes that failed.
TEST_F(IniFileTest, UpdatesWriteOnceAtTheLastEndAndFailedWritesKeepTheOldFile) {
  Put("[S]\nk=0\n");
  TIniFile ini(Path());
  ini.BeginUpdate();
  ini.BeginUpdate();
  ASSERT_TRUE(ini.WriteString("S", "k", "1"));
  EXPECT_TRUE(ini.EndUpdate());
  EXPECT_EQ(ini.ReadString("S", "k", "-") + Get(), "1[S]\nk=0\n") << "reads see pending writes";
  EXPECT_TRUE(ini.EndUpdate());
  EXPECT_EQ(Get(), "[S]\nk=1\n");

  fs::create_directory(Path("test.ini.tmp"));  // the temporary file cannot be made
  EXPECT_FALSE(ini.WriteString("S", "k", "new"));
  EXPECT_EQ(ini.ReadString("S", "k", "-"), "1");
  ini.BeginUpdate();
  EXPECT_TRUE(ini.WriteString("S", "k", "batched"));
  EXPECT_FALSE(ini.EndUpdate());
  EXPECT_EQ(ini.ReadString("S", "k", "-") + Get(), "1[S]\nk=1\n");
}

}  // namespace
}  // namespace corvane
