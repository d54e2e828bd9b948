#include "net/Buffer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <tuple>

namespace corvane {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

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
}

// Each read with what it gives and what it leaves: a read past the end gives 0 and takes
// nothing, a fixed string is padded with code 0, an unterminated string takes the rest.
TEST(Buffer, ReadsTakeWhatTheyGiveAndNoMore) {
  using Read = std::function<std::string(TBuffer&)>;
  const Read byte = [](TBuffer& b) { return std::to_string(b.GetByte()); };
  const Read word = [](TBuffer& b) { return std::to_string(b.GetWord()); };
  const Read dword = [](TBuffer& b) { return std::to_string(b.GetDWord()); };
  const Read nt = [](TBuffer& b) { return b.GetNTString(); };
  const auto fixed = [](int n) { return Read([n](TBuffer& b) { return b.GetString(n); }); };
  const auto skip = [](int n) { return Read([n](TBuffer& b) { return b.Skip(n), ""s; }); };
  // clang-format off
  const std::tuple<std::string, Read, std::string, std::string> cases[] = {
      {"\xAB\x01", byte, "171", "\x01"}, {"\x34\x12\xFF", word, "4660", "\xFF"},
      {"\x78\x56\x34\x12", dword, "305419896", ""}, {"\x07", word, "0", "\x07"},
      {"\x01\x02\x03", dword, "0", "\x01\x02\x03"}, {"", byte, "0", ""}, {"", nt, "", ""},
      {"AB", fixed(4), "AB\0\0"s, ""}, {"A\0B"s, fixed(3), "A\0B"s, ""}, {"x", fixed(0), "", "x"},
      {"x", fixed(-3), "", "x"}, {"ab\0c"s, nt, "ab", "c"}, {"\0"s, nt, "", ""},
      {"ab", nt, "ab", ""},
      {"abcdef", skip(0), "", "abcdef"}, {"abcdef", skip(-2), "", "abcdef"},
      {"abcdef", skip(2), "", "cdef"}, {"abcdef", skip(100), "", ""}, {"", skip(5), "", ""}};
  // clang-format on
  for (const auto& [bytes, read, value, rest] : cases) {
    TBuffer b = FromBytes(bytes);
    EXPECT_EQ(read(b), value) << testing::PrintToString(bytes);
    EXPECT_EQ(b.Bytes(), rest) << testing::PrintToString(bytes);
  }
}
TEST(Buffer, CopyIsIndependentAndAppendFollowsTheValidEnd) {
  TBuffer source = FromBytes("xyz123");
  source.Skip(3);
  TBuffer copy(source);
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
  using Patch = void (TBuffer::*)();
  const Patch chat = &TBuffer::PatchChatLength, bnls = &TBuffer::PatchBnlsLength;
  // clang-format off
  const std::tuple<Patch, std::string, std::string> cases[] = {
      {chat, "\xFF\x0E\0\0hello\0"s, "\xFF\x0E\x0A\0hello\0"s},
      {chat, "\xFF\x0E\0"s, "\xFF\x0E\0"s},  // too short to hold the field
      {bnls, "\0\0\x10\x07\0\0\0"s, "\x07\0\x10\x07\0\0\0"s},
      {&TBuffer::PatchFirstMessageLength, "\x01\xFF\x50\0\0\xDD"s, "\x01\xFF\x50\x05\0\xDD"s},
      // Only the low 16 bits of a long message's length are written.
      {bnls, std::string(70000, '\0'), "\x70\x11"s + std::string(70000 - 2, '\0')}};
  // clang-format on
  for (const auto& [patch, before, after] : cases) {
    TBuffer b = FromBytes(before);
    (b.*patch)();
    EXPECT_EQ(b.Bytes(), after) << testing::PrintToString(before.substr(0, 12));
  }
  // A patch after reads writes relative to the first valid byte.
  TBuffer offset = FromBytes("junk");
  offset.Skip(4);
  offset.AddString("\0\0\x01"s);
  offset.PatchBnlsLength();
  EXPECT_EQ(offset.Bytes(), "\x03\x00\x01"s);
}

// The file is replaced whole, or not at all: a failure leaves the buffer, the target and no
// temporary file behind.
TEST(Buffer, SavesAndLoadsFilesWholeOrNotAtAll) {
  const fs::path dir = fs::temp_directory_path() / ("corvane-buffer-" + std::to_string(getpid()));
  const std::string file = (dir / "usrcmd.bin").string();
  fs::create_directories(dir / "a-folder");
  TBuffer out = FromBytes("QVCL\x02\x00\x00\x00\xFF\x00tail"s);
  out.Skip(2);  // only the valid bytes are written
  ASSERT_TRUE(out.SaveToFile(file));
  TBuffer in;
  ASSERT_TRUE(in.LoadFromFile(file));
  EXPECT_EQ(in.Bytes(), "CL\x02\x00\x00\x00\xFF\x00tail"s);
  ASSERT_TRUE(TBuffer().SaveToFile(file));
  ASSERT_TRUE(in.LoadFromFile(file));
  EXPECT_EQ(in.Length(), 0) << "an empty file loads as an empty buffer";

  TBuffer kept = FromBytes("keep");
  EXPECT_FALSE(kept.LoadFromFile((dir / "nothing-here.bin").string()));
  EXPECT_FALSE(kept.LoadFromFile(dir.string()));
  EXPECT_EQ(kept.Bytes(), "keep");
  EXPECT_FALSE(kept.SaveToFile((dir / "no-such-folder/file.bin").string()));
  EXPECT_FALSE(kept.SaveToFile((dir / "a-folder").string()));
  EXPECT_TRUE(fs::is_directory(dir / "a-folder"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2)
      << "no temporary file is left";
  fs::remove_all(dir);
}

}  // namespace
}  // namespace corvane
