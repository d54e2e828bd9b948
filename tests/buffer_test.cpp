#include "net/Buffer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
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

// Appends little-endian, after reads at the end of what is left. A read past the end gives
// 0 and takes nothing, a fixed string is padded with code 0, an unterminated string takes
// the rest.
TEST(Buffer, AppendsReadsAndCopies) {
  TBuffer b = FromBytes("xyz"), assigned;
  b.Skip(2);
  b.AddByte(0xAB);
  b.AddWord(0x1234);
  b.AddDWord(0x12345678);
  b.AddNTString("ab");
  TBuffer copy(b);
  assigned = b;
  b.AddString("A\0Bcdef"s);
  const std::string ints = "\xAB\x34\x12\x78\x56\x34\x12"s;
  EXPECT_EQ(b.Bytes(), "z" + ints + "ab\0A\0Bcdef"s);
  copy.GetByte();
  EXPECT_EQ(copy.Bytes() + "|" + assigned.Bytes(), ints + "ab\0|z"s + ints + "ab\0"s);
  b.Skip(1);
  std::string got = std::to_string(b.GetByte()) + "|";
  got += std::to_string(b.GetWord()) + "|";
  got += std::to_string(b.GetDWord()) + "|";
  got += b.GetNTString() + "|";
  got += b.GetString(3) + "|" + b.GetString(0);  // the second gives "" whatever the order
  got += b.GetString(-3) + "|";
  b.Skip(-2);
  b.Skip(1);
  got += std::to_string(b.GetDWord()) + "|";
  got += std::to_string(b.GetWord()) + "|";
  got += b.GetString(3) + "|";
  got += std::to_string(b.GetByte()) + std::to_string(b.GetWord()) + b.GetNTString() + "|";
  b.AddString("gh");
  got += b.GetNTString() + "|";
  b.AddString("abc");
  b.Skip(100);
  EXPECT_EQ(got + std::to_string(b.Length()), "171|4660|305419896|ab|A\0B||0|25956|f\0\0|00|gh|0"s);
}

// Each patch writes relative to the first valid byte, after reads.
TEST(Buffer, PatchesLengthPlaceholders) {
  const auto chat = &TBuffer::PatchChatLength, bnls = &TBuffer::PatchBnlsLength;
  // clang-format off
  const std::tuple<void (TBuffer::*)(), std::string, std::string> cases[] = {
      {chat, "\xFF\x0E\0\0hello\0"s, "\xFF\x0E\x0A\0hello\0"s},
      {chat, "\xFF\x0E\0"s, "\xFF\x0E\0"s},  // too short to hold the field
      {bnls, "\0\0\x10\x07\0\0\0"s, "\x07\0\x10\x07\0\0\0"s},
      {&TBuffer::PatchFirstMessageLength, "\x01\xFF\x50\0\0\xDD"s, "\x01\xFF\x50\x05\0\xDD"s},
      // Only the low 16 bits of a long message's length are written.
      {bnls, std::string(70000, '\0'), "\x70\x11"s + std::string(70000 - 2, '\0')}};
  // clang-format on
  for (const auto& [patch, before, after] : cases) {
    TBuffer b = FromBytes("junk" + before);
    b.Skip(4);
    (b.*patch)();
    EXPECT_EQ(b.Bytes(), after) << testing::PrintToString(before.substr(0, 12));
  }
}

// The file is replaced whole, or not at all: a failure leaves the buffer, the target and no
// temporary file behind.
TEST(Buffer, SavesAndLoadsFilesWholeOrNotAtAll) {
  const fs::path dir = fs::temp_directory_path() / ("corvane-buffer-" + std::to_string(getpid()));
  const std::string file = (dir / "usrcmd.bin").string();
  fs::create_directories(dir / "a-folder");
  TBuffer out = FromBytes("QVCL\x02\x00\x00\x00\xFF\x00tail"s), in, kept = FromBytes("keep");
  out.Skip(2);  // only the valid bytes are written
  ASSERT_TRUE(out.SaveToFile(file) && in.LoadFromFile(file));
  EXPECT_EQ(in.Bytes(), "CL\x02\x00\x00\x00\xFF\x00tail"s);
  ASSERT_TRUE(TBuffer().SaveToFile(file) && in.LoadFromFile(file));
  EXPECT_EQ(in.Length(), 0) << "an empty file loads as an empty buffer";
  for (const fs::path& bad : {dir / "nothing-here.bin", dir}) EXPECT_FALSE(kept.LoadFromFile(bad));
  for (const fs::path& bad : {dir / "no-such-folder/file.bin", dir / "a-folder"})
    EXPECT_FALSE(kept.SaveToFile(bad)) << bad;
  EXPECT_EQ(kept.Bytes(), "keep");
  EXPECT_TRUE(fs::is_directory(dir / "a-folder"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2)
      << "no temporary file is left";
  fs::remove_all(dir);
}

}  // namespace
}  // namespace corvane
