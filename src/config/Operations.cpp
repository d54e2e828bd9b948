#include "config/Operations.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <system_error>

namespace corvane {

namespace {

constexpr char kSpace = ' ';
constexpr char kQuote = '"';

// A replacement that is not shorter than what it replaces can keep recreating its own
// pattern ("ab" -> "bbaa" on "aab" never ends) or double the text at each pass ("ab" ->
// "bba" on "aaa...ab"). Rescanning may read this many characters more than a text without
// such chains needs; past that, ReplaceAll gives the result of a single forward pass.
constexpr std::size_t kRescanBudget = std::size_t{1} << 18;

// KMP failure table: fail[k] is the length of the longest proper border of what[0, k).
std::vector<std::uint32_t> BorderTable(const std::string& what) {
  std::vector<std::uint32_t> fail(what.size() + 1, 0);
  std::uint32_t k = 0;
  for (std::size_t i = 1; i < what.size(); ++i) {
    while (k > 0 && what[i] != what[k]) {
      k = fail[k];
    }
    if (what[i] == what[k]) {
      ++k;
    }
    fail[i + 1] = k;
  }
  return fail;
}

// Scans `s` once, left to right, with a KMP matcher. `out` holds the text already
// scanned, `matched[i]` the matcher state after out[i]. When `rescan` is set, a replacement
// goes back in front of the unscanned input so that it is scanned again together with what
// precedes it: this finds the leftmost occurrence of the whole current text each time,
// exactly as searching from the start would, without rereading the part that is known to
// hold none. Otherwise the replacement is emitted as is and matching restarts after it.
// Returns false, leaving `s` untouched, when rescanning went over `budget` characters.
bool ReplaceScan(std::string& s, const std::string& what, const std::string& with, bool rescan,
                 std::size_t budget) {
  const std::vector<std::uint32_t> fail = BorderTable(what);
  const std::size_t m = what.size();

  std::string out;
  std::vector<std::uint32_t> matched;
  out.reserve(s.size());
  matched.reserve(s.size());

  // Unscanned input, stored reversed so that the next character is at the back.
  std::string pending(s.rbegin(), s.rend());
  // Characters scanned plus characters queued again; bounds both time and memory.
  std::size_t work = 0;
  std::uint32_t k = 0;

  while (!pending.empty()) {
    if (rescan && ++work > budget) {
      return false;
    }
    const char c = pending.back();
    pending.pop_back();

    while (k > 0 && what[k] != c) {
      k = fail[k];
    }
    if (what[k] == c) {
      ++k;
    }
    out.push_back(c);
    matched.push_back(k);
    if (k < m) {
      continue;
    }

    out.resize(out.size() - m);
    matched.resize(matched.size() - m);
    if (rescan) {
      work += with.size();
      pending.append(with.rbegin(), with.rend());
      k = matched.empty() ? 0 : matched.back();
    } else {
      out += with;
      matched.resize(out.size(), 0);
      k = 0;
    }
  }
  s = std::move(out);
  return true;
}

}  // namespace

void TrimSpaces(std::string& s) {
  const std::size_t first = s.find_first_not_of(kSpace);
  if (first == std::string::npos) {
    s.clear();
    return;
  }
  s.erase(s.find_last_not_of(kSpace) + 1);
  s.erase(0, first);
}

void ReplaceAll(std::string& s, const std::string& what, const std::string& with) {
  // Matcher states are 32-bit; no chat text comes near that size.
  if (what.empty() || what == with || s.size() < what.size() || what.size() >= UINT32_MAX) {
    return;
  }
  if (with.find(what) != std::string::npos) {
    // Rescanning would find `what` again inside every inserted copy of `with`.
    ReplaceScan(s, what, with, false, 0);
    return;
  }
  if (with.size() < what.size()) {
    // Every replacement shortens the text, so rescanning ends by itself.
    ReplaceScan(s, what, with, true, static_cast<std::size_t>(-1));
    return;
  }
  // Each character of `s` is scanned once, each inserted one queued and scanned once.
  // Without chains there are at most |s| / |what| replacements.
  const std::size_t plain_work = s.size() + 2 * (s.size() / what.size() * with.size());
  if (!ReplaceScan(s, what, with, true, kRescanBudget + plain_work)) {
    ReplaceScan(s, what, with, false, 0);
  }
}

std::vector<std::string> SplitQuoted(const std::string& text, char delimiter) {
  std::vector<std::string> pieces;
  const std::size_t size = text.size();
  if (size == 0) {
    return pieces;
  }
  // The piece being built starts at `start`; `i` is the 0-based position of the character
  // under examination. The quote state carries over from one piece to the next.
  std::size_t start = 0;
  std::size_t i = 0;
  bool quoted = false;
  for (;;) {
    const char c = text[i];
    const bool last = i + 1 == size;
    if ((c != delimiter || quoted) && !last) {
      if (c == kQuote) {
        quoted = !quoted;
      }
      ++i;
    } else if (last) {
      pieces.emplace_back(text, start);
      return pieces;
    } else {
      pieces.emplace_back(text, start, i - start);
      start = i + 1;
      i = start;
    }
  }
}

std::string QuotedWord(const std::string& text, int n) {
  const std::string trimmed = TrimChar(text, kSpace);
  if (n <= 0) {
    return trimmed;
  }
  const std::size_t wanted = static_cast<std::size_t>(n);
  bool quoted = false;
  std::size_t separators = 0;
  std::string word;
  for (const char c : trimmed) {
    if (c == kQuote) {
      quoted = !quoted;
      word.push_back(c);
    } else if (c != kSpace || quoted) {
      word.push_back(c);
    } else {
      ++separators;
      if (separators == wanted) {
        break;
      }
      word.clear();
    }
  }
  if (wanted - 1 > separators) {
    word.clear();
  }
  word = TrimChar(word, kSpace);
  if (!word.empty() && word.front() == kQuote && word.back() == kQuote) {
    word = word.size() < 2 ? std::string() : word.substr(1, word.size() - 2);
  }
  return word;
}

std::string TrimChar(const std::string& text, char c) {
  const std::size_t first = text.find_first_not_of(c);
  if (first == std::string::npos) {
    return std::string();
  }
  return text.substr(first, text.find_last_not_of(c) - first + 1);
}

bool DeleteFolder(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;

  // Only a real folder is emptied: a link given as `path` is never followed, as that
  // would empty the folder it points to.
  if (!fs::is_directory(fs::symlink_status(path, ec))) {
    return false;
  }
  // Listing needs read and search rights, deleting entries needs write rights.
  fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);

  // Collect first: removing entries while iterating leaves the iteration undefined.
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
    entries.push_back(it->path());
  }

  for (const fs::path& entry : entries) {
    const fs::file_status status = fs::symlink_status(entry, ec);
    if (ec) {
      continue;
    }
    if (fs::is_directory(status)) {
      DeleteFolder(entry.string());
      continue;
    }
    if (fs::is_regular_file(status)) {
      fs::permissions(entry, fs::perms::owner_write, fs::perm_options::add, ec);
    }
    fs::remove(entry, ec);
  }

  const bool removed = fs::remove(path, ec);
  return removed && !ec;
}

namespace {

char FoldUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
}
char FoldLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && FoldUpper(a[i]) != FoldUpper(b[i])) return false;
  }
  return true;
}

std::string UpperCase(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = FoldUpper(c);
  return u;
}

std::string LowerCase(std::string_view s) {
  std::string l(s);
  for (char& c : l) c = FoldLower(c);
  return l;
}

std::string BlankControls(std::string text) {
  for (char& c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = ' ';
  }
  return text;
}

bool ParseInt32(std::string_view text, std::int32_t& value) {
  const bool sign = !text.empty() && (text[0] == '+' || text[0] == '-');
  if (text.size() == (sign ? 1u : 0u)) return false;
  std::int64_t n = 0;
  for (std::size_t i = sign ? 1 : 0; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    n = n * 10 + (text[i] - '0');
    if (n > std::int64_t{INT32_MAX} + 1) return false;
  }
  if (text[0] == '-') n = -n;
  if (n > INT32_MAX) return false;
  value = static_cast<std::int32_t>(n);
  return true;
}

}  // namespace corvane
