#include "net/Buffer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace corvane {
namespace {

using namespace std::string_literals;

TBuffer FromBytes(const std::string& bytes) {
  TBuffer b;
  b.AddString(bytes);
  return b;
}

TEST(Buffer, AppendsLittleEndianIntegersAndStrings) {
  TBuffer b;
  b.AddByte(0xAB);
  b.AddWord(0x1234);
  b.AddDWord(0x12345678);
  b.AddNTString("");
  b.AddString("");
  b.AddString("hi");
  b.AddNTString("yo");
  EXPECT_EQ(b.Bytes(), "\xAB\x34\x12\x78\x56\x34\x12\x00hiyo\x00"s);
  EXPECT_EQ(b.Length(), 13);
  EXPECT_EQ(b.GetByte(), 0xAB);
  EXPECT_EQ(b.GetWord(), 0x1234);
  EXPECT_EQ(b.GetDWord(), 0x12345678u);
  EXPECT_EQ(b.GetNTString(), "");
  EXPECT_EQ(b.GetString(2), "hi");
  EXPECT_EQ(b.GetNTString(), "yo");
  EXPECT_EQ(b.Length(), 0);
}

TEST(Buffer, ShortReadsGiveZeroAndTakeNothing) {
  TBuffer one = FromBytes("\x07");
  EXPECT_EQ(one.GetWord(), 0);
  EXPECT_EQ(one.Bytes(), "\x07");
  TBuffer three = FromBytes("\x01\x02\x03");
  EXPECT_EQ(three.GetDWord(), 0u);
  EXPECT_EQ(three.Bytes(), "\x01\x02\x03");
  TBuffer empty;
  EXPECT_EQ(empty.GetByte(), 0);
  EXPECT_EQ(empty.GetNTString(), "");
  empty.Skip(5);
  EXPECT_EQ(empty.Length(), 0);
}

TEST(Buffer, FixedAndNullTerminatedStrings) {
  TBuffer ab = FromBytes("AB");
  EXPECT_EQ(ab.GetString(4), "AB\0\0"s);
  EXPECT_EQ(ab.Length(), 0);
  TBuffer zeros = FromBytes("A\0B"s);
  EXPECT_EQ(zeros.GetString(3), "A\0B"s) << "a 0 byte is a character of a fixed string";
  EXPECT_EQ(FromBytes("x").GetString(0), "");
  EXPECT_EQ(FromBytes("x").GetString(-3), "");

  TBuffer nt = FromBytes("ab\0c"s);
  EXPECT_EQ(nt.GetNTString(), "ab");
  EXPECT_EQ(nt.Bytes(), "c");
  TBuffer only_zero = FromBytes("\0"s);
  EXPECT_EQ(only_zero.GetNTString(), "");
  EXPECT_EQ(only_zero.Length(), 0);
  TBuffer unterminated = FromBytes("ab");
  EXPECT_EQ(unterminated.GetNTString(), "ab");
  EXPECT_EQ(unterminated.Length(), 0);
}

TEST(Buffer, SkipStopsAtTheEnd) {
  TBuffer b = FromBytes("abcdef");
  b.Skip(0);
  b.Skip(-2);
  EXPECT_EQ(b.Length(), 6);
  b.Skip(2);
  EXPECT_EQ(b.Bytes(), "cdef");
  b.Skip(100);
  EXPECT_EQ(b.Length(), 0);
}

TEST(Buffer, CopyIsIndependentAndAppendFollowsTheValidEnd) {
  TBuffer source = FromBytes("xyz123");
  source.Skip(3);
  TBuffer copy(source);
  EXPECT_EQ(copy.Bytes(), "123");
  EXPECT_EQ(copy.GetByte(), '1');
  EXPECT_EQ(source.Bytes(), "123");

  // Appending after reads continues at the end of what is left, and Data() always
  // points at the next unread byte.
  source.AddString("45");
  EXPECT_EQ(source.Bytes(), "12345");
  EXPECT_EQ(source.Data()[0], '1');
  TBuffer assigned;
  assigned = source;
  source.Clear();
  EXPECT_EQ(assigned.Bytes(), "12345");
}

TEST(Buffer, LongInterleavedUseKeepsEveryByteInOrder) {
  // The receive-buffer pattern: blocks appended, messages read off the front, with the
  // read position well inside the storage when new data arrives.
  TBuffer b;
  std::uint32_t next_in = 0, next_out = 0;
  for (int round = 0; round < 2000; ++round) {
    for (int i = 0; i < 1 + round % 7; ++i) b.AddDWord(next_in++);
    for (int i = 0; i < 1 + round % 5 && b.Length() >= 4; ++i) ASSERT_EQ(b.GetDWord(), next_out++);
  }
  while (b.Length() >= 4) ASSERT_EQ(b.GetDWord(), next_out++);
  EXPECT_EQ(next_out, next_in);
}

TEST(Buffer, PatchesLengthPlaceholders) {
  TBuffer chat;
  chat.AddByte(0xFF);
  chat.AddByte(0x0E);
  chat.AddWord(0);
  chat.AddNTString("hello");
  chat.PatchChatLength();
  EXPECT_EQ(chat.Bytes(), "\xFF\x0E\x0A\x00hello\x00"s);

  TBuffer short_chat = FromBytes("\xFF\x0E\x00"s);
  short_chat.PatchChatLength();
  EXPECT_EQ(short_chat.Bytes(), "\xFF\x0E\x00"s) << "too short to hold the field";

  TBuffer bnls;
  bnls.AddWord(0);
  bnls.AddByte(0x10);
  bnls.AddDWord(7);
  bnls.PatchBnlsLength();
  EXPECT_EQ(bnls.Bytes(), "\x07\x00\x10\x07\x00\x00\x00"s);

  TBuffer first;
  first.AddByte(0x01);
  first.AddByte(0xFF);
  first.AddByte(0x50);
  first.AddWord(0);
  first.AddDWord(0xAABBCCDD);
  first.PatchFirstMessageLength();
  EXPECT_EQ(first.Bytes(), "\x01\xFF\x50\x08\x00\xDD\xCC\xBB\xAA"s);

  // Only the low 16 bits of a long message's length are written.
  TBuffer big;
  big.AddWord(0);
  big.AddString(std::string(70000 - 2, 'x'));
  big.PatchBnlsLength();
  EXPECT_EQ(big.Data()[0] | (big.Data()[1] << 8), 70000 & 0xFFFF);

  // A patch after reads writes relative to the first valid byte.
  TBuffer offset = FromBytes("junk");
  offset.Skip(4);
  offset.AddWord(0);
  offset.AddByte(1);
  offset.PatchBnlsLength();
  EXPECT_EQ(offset.Bytes(), "\x03\x00\x01"s);
}

class BufferFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("corvane-buffer-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::filesystem::path dir_;
};

TEST_F(BufferFiles, SaveThenLoadGivesTheSameBytes) {
  TBuffer out = FromBytes("QVCL\x02\x00\x00\x00\xFF\x00tail"s);
  out.Skip(2);  // only the valid bytes are written
  ASSERT_TRUE(out.SaveToFile(Path("usrcmd.bin")));
  EXPECT_EQ(out.Bytes(), "CL\x02\x00\x00\x00\xFF\x00tail"s) << "saving leaves the buffer alone";
  TBuffer in;
  ASSERT_TRUE(in.LoadFromFile(Path("usrcmd.bin")));
  EXPECT_EQ(in.Bytes(), out.Bytes());

  // Saving again replaces the file whole and leaves no temporary file behind.
  ASSERT_TRUE(FromBytes("x").SaveToFile(Path("usrcmd.bin")));
  TBuffer again;
  ASSERT_TRUE(again.LoadFromFile(Path("usrcmd.bin")));
  EXPECT_EQ(again.Bytes(), "x");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_),
                          std::filesystem::directory_iterator()),
            1);

  TBuffer empty;
  ASSERT_TRUE(empty.SaveToFile(Path("empty.bin")));
  TBuffer loaded_empty = FromBytes("old");
  ASSERT_TRUE(loaded_empty.LoadFromFile(Path("empty.bin")));
  EXPECT_EQ(loaded_empty.Length(), 0);
}

TEST_F(BufferFiles, FailuresLeaveBufferAndFileAsTheyWere) {
  TBuffer missing;
  EXPECT_FALSE(missing.LoadFromFile(Path("nothing-here.bin")));
  EXPECT_EQ(missing.Length(), 0);

  TBuffer folder = FromBytes("keep");
  EXPECT_FALSE(folder.LoadFromFile(dir_.string()));
  EXPECT_EQ(folder.Bytes(), "keep");

  EXPECT_FALSE(FromBytes("x").SaveToFile(Path("no-such-folder/file.bin")));

  // A save that cannot replace its target leaves the target and no temporary file.
  std::filesystem::create_directory(Path("a-folder"));
  EXPECT_FALSE(FromBytes("x").SaveToFile(Path("a-folder")));
  EXPECT_TRUE(std::filesystem::is_directory(Path("a-folder")));
  EXPECT_FALSE(std::filesystem::exists(Path("a-folder.tmp")));
}

}  // namespace
}  // namespace corvane
