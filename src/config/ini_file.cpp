#include "config/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string_view>
#include <utility>

#include "config/Operations.h"
#include "net/atomic_file.h"

namespace corvane {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// A cached file is trusted only when its modification time lies this far in the past when
// it is read: file systems stamp with a coarse clock, so a change made within the same
// tick as the read before it could keep size and time alike.
constexpr std::int64_t kSettleSeconds = 3;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view s) {
  std::size_t first = 0;
  while (first < s.size() && IsBlank(s[first])) ++first;
  std::size_t last = s.size();
  while (last > first && IsBlank(s[last - 1])) --last;
  return s.substr(first, last - first);
}

enum class Kind { kOther, kHeader, kKey };

struct LineInfo {
  Kind kind = Kind::kOther;
  std::string_view name;
};

// "[name]" (anything after the first ']' is ignored), "name=value", or neither: blank
// lines, comments (';'), lines without '=', an empty name, and any line that starts with
// '[' without closing it.
LineInfo Classify(std::string_view text) {
  std::size_t p = 0;
  while (p < text.size() && IsBlank(text[p])) ++p;
  if (p == text.size() || text[p] == ';') return {};
  if (text[p] == '[') {
    const std::size_t close = text.find(']', p + 1);
    if (close == std::string_view::npos) return {};
    return {Kind::kHeader, Trimmed(text.substr(p + 1, close - p - 1))};
  }
  const std::size_t eq = text.find('=');
  if (eq == std::string_view::npos) return {};
  const std::string_view name = Trimmed(text.substr(0, eq));
  if (name.empty()) return {};
  return {Kind::kKey, name};
}

// Names that a write can put into the file so that they read back as themselves.
bool WritableSection(std::string_view name) {
  return name.find_first_of("]\r\n") == std::string_view::npos;
}

bool WritableKey(std::string_view name) {
  return !name.empty() && name.front() != '[' && name.front() != ';' &&
         name.find_first_of("=\r\n") == std::string_view::npos;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Leading blanks, one sign, then "$", "x", "X", "0x" or "0X" and up to 8 significant hex
// digits (a 32-bit pattern), or decimal digits within the int32 range; nothing may follow.
bool ParseInteger(std::string_view s, std::int32_t& out) {
  std::size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
    negative = s[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  const std::string_view digits = s.substr(i);
  if (digits.empty()) return false;

  if (hex) {
    std::uint32_t value = 0;
    int significant = 0;
    for (const char c : digits) {
      const int d = HexDigit(c);
      if (d < 0) return false;
      if (significant > 0 || d != 0) ++significant;
      if (significant > 8) return false;
      value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    out = static_cast<std::int32_t>(negative ? 0u - value : value);
    return true;
  }

  constexpr std::int64_t kLimit = std::int64_t{INT32_MAX} + 1;
  std::int64_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
    if (value > kLimit) return false;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return false;
  out = static_cast<std::int32_t>(value);
  return true;
}

bool ReadAll(int fd, std::string& text, std::size_t expected) {
  text.reserve(expected);
  char block[65536];
  for (;;) {
    const ssize_t n = ::read(fd, block, sizeof block);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.append(block, static_cast<std::size_t>(n));
  }
}

bool Settled(const struct stat& st) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec - st.st_mtim.tv_sec > kSettleSeconds;
}

}  // namespace

TIniFile::TIniFile(std::string path) : path_(std::move(path)) {}

const TIniFile::Document& TIniFile::Current() const {
  if (dirty_) return doc_;

  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    // Missing, or a folder or a device: no keys. A write then fails before the rename.
    doc_ = Document{};
    cached_ = false;
    return doc_;
  }
  if (cached_ && trusted_ && stamp_ == StampOf(st)) return doc_;

  // O_NONBLOCK: a FIFO swapped in since the stat must not stall the open.
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  std::string text;
  struct stat before {};
  struct stat after {};
  const bool ok = fd >= 0 && ::fstat(fd, &before) == 0 && S_ISREG(before.st_mode) &&
                  ReadAll(fd, text, static_cast<std::size_t>(before.st_size)) &&
                  ::fstat(fd, &after) == 0;
  const bool gone = fd < 0 && errno == ENOENT;
  if (fd >= 0) ::close(fd);
  if (!ok) {
    doc_ = Document{};
    doc_.readable = gone;
    cached_ = false;
    return doc_;
  }

  // A file that changed within the last moments is read again each time, but parsed again
  // only when its bytes differ.
  if (!cached_ || text != raw_) {
    doc_ = Document{};
    Parse(text, doc_);
    raw_ = std::move(text);
  }
  stamp_ = StampOf(after);
  cached_ = stamp_ == StampOf(before);
  trusted_ = cached_ && Settled(after);
  return doc_;
}

TIniFile::Stamp TIniFile::StampOf(const struct stat& st) {
  return Stamp{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
               static_cast<std::int64_t>(st.st_size), static_cast<std::int64_t>(st.st_mtim.tv_sec),
               static_cast<std::int64_t>(st.st_mtim.tv_nsec)};
}

void TIniFile::Parse(const std::string& text, Document& doc) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) {
      doc.lines.push_back({text.substr(pos), Eol::kNone});
      break;
    }
    Eol eol = Eol::kLf;
    std::size_t next = end + 1;
    if (text[end] == '\r') {
      eol = next < text.size() && text[next] == '\n' ? Eol::kCrLf : Eol::kCr;
      if (eol == Eol::kCrLf) ++next;
    }
    doc.lines.push_back({text.substr(pos, end - pos), eol});
    pos = next;
  }
  Index(doc);
}

void TIniFile::Index(Document& doc) {
  doc.sections.clear();
  doc.section_index.clear();
  // The section that key lines belong to; none before the first header and in a repeated
  // section, whose keys are never read.
  std::size_t current = kNone;
  for (std::size_t i = 0; i < doc.lines.size(); ++i) {
    const LineInfo info = Classify(doc.lines[i].text);
    if (info.kind == Kind::kHeader) {
      const auto [it, fresh] =
          doc.section_index.try_emplace(LowerCase(info.name), doc.sections.size());
      current = fresh ? it->second : kNone;
      if (fresh) {
        Section& s = doc.sections.emplace_back();
        s.name = info.name;
        s.last_key = i;
      }
    } else if (info.kind == Kind::kKey && current != kNone) {
      Section& s = doc.sections[current];
      s.last_key = i;
      if (s.keys.try_emplace(LowerCase(info.name), i).second) s.key_names.emplace_back(info.name);
    }
  }
}

std::size_t TIniFile::FindKey(const Document& doc, const std::string& section,
                              const std::string& key) {
  const auto s = doc.section_index.find(LowerCase(Trimmed(section)));
  if (s == doc.section_index.end()) return kNone;
  const auto& keys = doc.sections[s->second].keys;
  const auto k = keys.find(LowerCase(Trimmed(key)));
  return k == keys.end() ? kNone : k->second;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& default_value) const {
  const Document& doc = Current();
  const std::size_t line = FindKey(doc, section, key);
  if (line == kNone) return default_value;
  const std::string& text = doc.lines[line].text;
  return text.substr(text.find('=') + 1, kMaxValue);
}

std::int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                                   std::int32_t default_value) const {
  const Document& doc = Current();
  const std::size_t line = FindKey(doc, section, key);
  if (line == kNone) return default_value;
  const std::string_view text = doc.lines[line].text;
  std::int32_t value = 0;
  return ParseInteger(text.substr(text.find('=') + 1, kMaxValue), value) ? value : default_value;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key,
                        bool default_value) const {
  return ReadInteger(section, key, default_value ? 1 : 0) != 0;
}

std::vector<std::string> TIniFile::ReadSections() const {
  std::vector<std::string> names;
  for (const Section& s : Current().sections) names.push_back(s.name);
  return names;
}

std::vector<std::string> TIniFile::ReadKeys(const std::string& section) const {
  const Document& doc = Current();
  const auto s = doc.section_index.find(LowerCase(Trimmed(section)));
  if (s == doc.section_index.end()) return {};
  return doc.sections[s->second].key_names;
}

bool TIniFile::Modify(const std::string& section, const std::string& key,
                      const std::string& value) {
  std::vector<Line>& lines = doc_.lines;
  const std::size_t found = FindKey(doc_, section, key);
  if (found != kNone) {
    std::string& text = lines[found].text;
    const std::size_t start = text.find('=') + 1;
    if (text.compare(start, std::string::npos, value) == 0) return false;
    text.replace(start, std::string::npos, value);
    return true;
  }

  // New lines take the line end of the first line.
  const Eol eol = lines.empty() || lines.front().eol == Eol::kNone ? Eol::kLf : lines.front().eol;
  Line entry{std::string(Trimmed(key)) + '=' + value, eol};
  const auto s = doc_.section_index.find(LowerCase(Trimmed(section)));
  if (s != doc_.section_index.end()) {
    const std::size_t after = doc_.sections[s->second].last_key;
    if (lines[after].eol == Eol::kNone) lines[after].eol = eol;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(after + 1), std::move(entry));
  } else {
    if (!lines.empty()) {
      if (lines.back().eol == Eol::kNone) lines.back().eol = eol;
      if (!lines.back().text.empty()) lines.push_back({"", eol});
    }
    lines.push_back({'[' + std::string(Trimmed(section)) + ']', eol});
    lines.push_back(std::move(entry));
  }
  Index(doc_);
  return true;
}

bool TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
  if (!WritableSection(Trimmed(section)) || !WritableKey(Trimmed(key))) return false;
  if (!Current().readable) return false;
  // A line break would end the line: the rest could not be read back as this value.
  const bool changed = Modify(section, key, value.substr(0, value.find_first_of("\r\n")));
  if (update_depth_ > 0) {
    dirty_ = dirty_ || changed;
    return true;
  }
  if (!changed) return true;
  if (Store()) return true;
  cached_ = false;
  return false;
}

bool TIniFile::WriteInteger(const std::string& section, const std::string& key,
                            std::int32_t value) {
  return WriteString(section, key, std::to_string(value));
}

bool TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  return WriteString(section, key, value ? "1" : "0");
}

void TIniFile::BeginUpdate() {
  ++update_depth_;
}

bool TIniFile::EndUpdate() {
  if (update_depth_ == 0 || --update_depth_ > 0 || !dirty_) return true;
  dirty_ = false;
  if (Store()) return true;
  cached_ = false;
  return false;
}

bool TIniFile::Store() {
  std::string text;
  for (const Line& line : doc_.lines) {
    text += line.text;
    switch (line.eol) {
      case Eol::kNone:
        break;
      case Eol::kLf:
        text += '\n';
        break;
      case Eol::kCr:
        text += '\r';
        break;
      case Eol::kCrLf:
        text += "\r\n";
        break;
    }
  }

  struct stat written {};
  if (!ReplaceFileAtomically(path_, text, create_mode_, &written)) return false;
  // The rename keeps inode, size and time. A file written just now is not settled, so the
  // next read still compares it with the disk.
  raw_ = std::move(text);
  stamp_ = StampOf(written);
  cached_ = true;
  trusted_ = false;
  return true;
}

}  // namespace corvane
