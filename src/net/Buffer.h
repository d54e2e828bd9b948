#pragma once
// The byte container of every binary message and file: fields are appended at the end
// and read off the front, integers little-endian, strings null-terminated or of fixed
// count. Reads past the end give 0 and leave the buffer as it is.

#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

class TBuffer {
 public:
  TBuffer() = default;
  // A copy of the source's valid bytes; the source is unchanged.
  TBuffer(const TBuffer& source);
  TBuffer& operator=(const TBuffer& source);
  TBuffer(TBuffer&&) noexcept = default;
  TBuffer& operator=(TBuffer&&) noexcept = default;

  void AddByte(std::uint8_t value);
  void AddWord(std::uint16_t value);
  void AddDWord(std::uint32_t value);
  void AddData(const void* bytes, int count);
  void AddString(const std::string& s);    // no terminator
  void AddNTString(const std::string& s);  // followed by one byte 0

  std::uint8_t GetByte();
  std::uint16_t GetWord();           // 0 and nothing taken when fewer than 2 bytes are left
  std::uint32_t GetDWord();          // 0 and nothing taken when fewer than 4 bytes are left
  std::string GetString(int count);  // exactly count characters, padded with code 0
  std::string GetNTString();         // up to and without the first 0, which is taken
  void Skip(int count);

  // Writes the valid bytes; the file is replaced whole (ReplaceFileAtomically, a new file
  // with mode 0644), so a crash never leaves half of it. False, with errno telling why, when
  // it could not be written.
  bool SaveToFile(const std::string& file_name) const;
  // The buffer becomes the file's bytes; false (buffer unchanged) when it cannot be read.
  bool LoadFromFile(const std::string& file_name);

  // Overwrite a length placeholder with the final length (low 16 bits, little-endian).
  void PatchChatLength();          // positions 2-3 := whole length, when length >= 4
  void PatchBnlsLength();          // positions 0-1 := whole length, when length >= 2
  void PatchFirstMessageLength();  // positions 3-4 := length - 1, behind the protocol byte

  std::int32_t Length() const { return static_cast<std::int32_t>(storage_.size() - start_); }
  // The first valid byte; valid until the next append.
  const std::uint8_t* Data() const { return storage_.data() + start_; }
  std::uint8_t* Data() { return storage_.data() + start_; }
  // The valid bytes as a string, for tests and logs.
  std::string Bytes() const;
  void Clear();

 private:
  void Consume(std::size_t n);
  void PatchWord(std::size_t pos, std::uint32_t value);

  // Valid content is storage_[start_ ..]; reads advance start_ instead of moving the rest,
  // so taking a field costs the same whatever lies behind it.
  std::vector<std::uint8_t> storage_;
  std::size_t start_ = 0;
};

}  // namespace corvane
