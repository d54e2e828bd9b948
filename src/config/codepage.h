#pragma once
// The process's single-byte code page and its conversion to and from UTF-8. Chat text is
// kept as bytes in this code page; servers that speak UTF-8 get it converted on the way.

#include <array>
#include <optional>
#include <string>
#include <unordered_map>

namespace corvane {

class TCodePage {
 public:
  // A single-byte code page that iconv knows ("CP1251", "CP1252", ...); nothing for an
  // unknown or multi-byte one.
  static std::optional<TCodePage> Load(const std::string& name);
  // Bytes as the first 256 characters: the last resort when iconv lacks its code pages.
  static TCodePage Latin1();

  const std::string& Name() const { return name_; }
  std::string ToUtf8(const std::string& bytes) const;
  // Characters the code page lacks, and malformed UTF-8, become '?'.
  std::string FromUtf8(const std::string& utf8) const;
  // ToUtf8 with every control character (C0, DEL and C1) a blank: a line to show, in
  // which nothing a server or a member sends can act on a terminal or split the line.
  std::string ToDisplay(const std::string& bytes) const;

 private:
  TCodePage() = default;
  std::string name_;
  std::array<char32_t, 256> to_unicode_{};
  std::unordered_map<char32_t, unsigned char> from_unicode_;
};

// The code page of the process: CP1251 unless the environment variable CORVANE_CODEPAGE
// names another single-byte code page.
const TCodePage& ProcessCodePage();
// Replaces it (main thread, at start-up or in tests); false when the name is not usable.
bool SetProcessCodePage(const std::string& name);

// Text of the process code page as the console and the window show it (ToDisplay).
std::string DisplayText(const std::string& bytes);

}  // namespace corvane
