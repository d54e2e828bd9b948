#include "net/Buffer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "net/atomic_file.h"

namespace corvane {

TBuffer::TBuffer(const TBuffer& source)
    : storage_(source.Data(), source.Data() + source.Length()) {}

TBuffer& TBuffer::operator=(const TBuffer& source) {
  if (this != &source) {
    std::vector<std::uint8_t> copy(source.Data(), source.Data() + source.Length());
    storage_.swap(copy);
    start_ = 0;
  }
  return *this;
}

void TBuffer::AddByte(std::uint8_t value) {
  AddData(&value, 1);
}

void TBuffer::AddWord(std::uint16_t value) {
  const std::uint8_t b[2] = {static_cast<std::uint8_t>(value),
                             static_cast<std::uint8_t>(value >> 8)};
  AddData(b, 2);
}

void TBuffer::AddDWord(std::uint32_t value) {
  const std::uint8_t b[4] = {
      static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
      static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  AddData(b, 4);
}

void TBuffer::AddData(const void* bytes, int count) {
  if (count <= 0 || bytes == nullptr) return;
  // Drop the bytes already read once they outweigh the rest: the move then costs no more
  // than the reads that made it necessary.
  if (start_ > 0 && start_ >= storage_.size() - start_) {
    storage_.erase(storage_.begin(), storage_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
  }
  const auto* p = static_cast<const std::uint8_t*>(bytes);
  storage_.insert(storage_.end(), p, p + count);
}

void TBuffer::AddString(const std::string& s) {
  AddData(s.data(), static_cast<int>(s.size()));
}

void TBuffer::AddNTString(const std::string& s) {
  AddString(s);
  AddByte(0);
}

void TBuffer::Consume(std::size_t n) {
  start_ += n;
  if (start_ == storage_.size()) Clear();
}

std::uint8_t TBuffer::GetByte() {
  if (Length() < 1) return 0;
  std::uint8_t v = storage_[start_];
  Consume(1);
  return v;
}

std::uint16_t TBuffer::GetWord() {
  if (Length() < 2) return 0;
  const std::uint8_t* p = Data();
  auto v = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
  Consume(2);
  return v;
}

std::uint32_t TBuffer::GetDWord() {
  if (Length() < 4) return 0;
  const std::uint8_t* p = Data();
  std::uint32_t v = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
  Consume(4);
  return v;
}

std::string TBuffer::GetString(int count) {
  if (count <= 0) return {};
  const auto wanted = static_cast<std::size_t>(count);
  const auto have = std::min<std::size_t>(wanted, static_cast<std::size_t>(Length()));
  std::string s(reinterpret_cast<const char*>(Data()), have);
  s.resize(wanted, '\0');
  Consume(have);
  return s;
}

std::string TBuffer::GetNTString() {
  const auto* p = Data();
  const auto n = static_cast<std::size_t>(Length());
  const void* zero = n ? std::memchr(p, 0, n) : nullptr;
  if (zero == nullptr) {
    std::string s(reinterpret_cast<const char*>(p), n);
    Consume(n);
    return s;
  }
  const auto len = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - p);
  std::string s(reinterpret_cast<const char*>(p), len);
  Consume(len + 1);
  return s;
}

void TBuffer::Skip(int count) {
  if (count <= 0) return;
  Consume(
      std::min<std::size_t>(static_cast<std::size_t>(count), static_cast<std::size_t>(Length())));
}

bool TBuffer::SaveToFile(const std::string& file_name) const {
  return ReplaceFileAtomically(
      file_name,
      std::string_view(reinterpret_cast<const char*>(Data()), static_cast<std::size_t>(Length())),
      0644);
}

bool TBuffer::LoadFromFile(const std::string& file_name) {
  int fd = open(file_name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::vector<std::uint8_t> bytes;
  std::uint8_t chunk[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;  // a folder, or a read error: keep the buffer as it was
      break;
    }
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  close(fd);
  if (!ok) return false;
  storage_.swap(bytes);
  start_ = 0;
  return true;
}

void TBuffer::PatchWord(std::size_t pos, std::uint32_t value) {
  std::uint8_t* p = Data();
  p[pos] = static_cast<std::uint8_t>(value);
  p[pos + 1] = static_cast<std::uint8_t>(value >> 8);
}

void TBuffer::PatchChatLength() {
  if (Length() >= 4) PatchWord(2, static_cast<std::uint32_t>(Length()));
}

void TBuffer::PatchBnlsLength() {
  if (Length() >= 2) PatchWord(0, static_cast<std::uint32_t>(Length()));
}

void TBuffer::PatchFirstMessageLength() {
  // The protocol byte comes before the chat header, so the header's length field sits
  // one byte later and counts one byte less. A buffer too short to hold the field is
  // left alone rather than written past its end.
  if (Length() >= 5) PatchWord(3, static_cast<std::uint32_t>(Length() - 1));
}

std::string TBuffer::Bytes() const {
  return std::string(reinterpret_cast<const char*>(Data()), static_cast<std::size_t>(Length()));
}

void TBuffer::Clear() {
  storage_.clear();
  start_ = 0;
}

}  // namespace corvane
