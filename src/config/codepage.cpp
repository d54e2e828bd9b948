#include "config/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace corvane {
namespace {

constexpr char kDefaultCodePage[] = "CP1251";

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes one UTF-8 sequence at s[i]; advances i. Malformed input gives U+FFFD and moves
// on by one byte, so nothing a stranger types can stall or overrun the decoder.
char32_t NextCodePoint(const std::string& s, std::size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  int extra;
  char32_t cp;
  char32_t min;
  if (b0 < 0x80) {
    ++i;
    return b0;
  } else if ((b0 & 0xE0) == 0xC0) {
    extra = 1, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, cp = b0 & 0x07, min = 0x10000;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (i + static_cast<std::size_t>(extra) >= s.size()) {
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return 0xFFFD;
  }
  i += static_cast<std::size_t>(extra) + 1;
  return cp;
}

std::unique_ptr<TCodePage>& ProcessSlot() {
  static std::unique_ptr<TCodePage> slot;
  return slot;
}

}  // namespace

std::optional<TCodePage> TCodePage::Load(const std::string& name) {
  iconv_t cd = iconv_open("UTF-32LE", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  TCodePage page;
  page.name_ = name;
  bool single_byte = true;
  for (int b = 0; b < 256; ++b) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char in = static_cast<char>(b);
    unsigned char out[8] = {};
    char* in_p = &in;
    char* out_p = reinterpret_cast<char*>(out);
    std::size_t in_left = 1, out_left = sizeof out;
    if (iconv(cd, &in_p, &in_left, &out_p, &out_left) == static_cast<std::size_t>(-1)) {
      // A byte the code page leaves undefined stands for the character of the same number,
      // so text survives a round trip; a byte that starts a longer sequence means the
      // code page is not single-byte.
      if (errno == EINVAL) single_byte = false;
      page.to_unicode_[static_cast<std::size_t>(b)] = static_cast<char32_t>(b);
      continue;
    }
    if (sizeof out - out_left != 4) single_byte = false;
    page.to_unicode_[static_cast<std::size_t>(b)] =
        static_cast<char32_t>(out[0] | (out[1] << 8) | (out[2] << 16) | (out[3] << 24));
  }
  iconv_close(cd);
  if (!single_byte) return std::nullopt;
  for (int b = 255; b >= 0; --b) {
    page.from_unicode_[page.to_unicode_[static_cast<std::size_t>(b)]] =
        static_cast<unsigned char>(b);
  }
  return page;
}

TCodePage TCodePage::Latin1() {
  TCodePage page;
  page.name_ = "ISO-8859-1";
  for (int b = 0; b < 256; ++b) {
    page.to_unicode_[static_cast<std::size_t>(b)] = static_cast<char32_t>(b);
    page.from_unicode_[static_cast<char32_t>(b)] = static_cast<unsigned char>(b);
  }
  return page;
}

std::string TCodePage::ToUtf8(const std::string& bytes) const {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) AppendUtf8(out, to_unicode_[c]);
  return out;
}

std::string TCodePage::FromUtf8(const std::string& utf8) const {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const char32_t cp = NextCodePoint(utf8, i);
    auto it = from_unicode_.find(cp);
    out.push_back(it == from_unicode_.end() ? '?' : static_cast<char>(it->second));
  }
  return out;
}

std::string TCodePage::ToDisplay(const std::string& bytes) const {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) {
    const char32_t cp = to_unicode_[c];
    // Tested after the conversion: an undefined byte stands for a C1 control, and a code
    // page may map a byte to one.
    const bool control = cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
    AppendUtf8(out, control ? U' ' : cp);
  }
  return out;
}

std::string DisplayText(const std::string& bytes) {
  return ProcessCodePage().ToDisplay(bytes);
}

const TCodePage& ProcessCodePage() {
  // Loaded once, whichever thread converts first (a control client decodes on its own).
  static std::once_flag loaded;
  std::call_once(loaded, [] {
    auto& slot = ProcessSlot();
    if (slot) return;  // set before any use
    const char* env = std::getenv("CORVANE_CODEPAGE");
    std::optional<TCodePage> page;
    if (env != nullptr && *env != '\0') page = TCodePage::Load(env);
    if (!page) page = TCodePage::Load(kDefaultCodePage);
    slot = std::make_unique<TCodePage>(page ? std::move(*page) : TCodePage::Latin1());
  });
  return *ProcessSlot();
}

bool SetProcessCodePage(const std::string& name) {
  auto page = TCodePage::Load(name);
  if (!page) return false;
  ProcessSlot() = std::make_unique<TCodePage>(std::move(*page));
  return true;
}

}  // namespace corvane
