// Fuzz target for the text helpers in config/Operations.h.
//
// Input layout: byte 0 is the delimiter for SplitQuoted and the char for TrimChar, byte 1
// the word number for QuotedWord (signed), byte 2 the length of `what` (0-7), byte 3 the
// length of `with` (0-15); then `what`, `with`, and the rest is the text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "config/Operations.h"

namespace {

void Check(bool ok) {
  if (!ok) {
    __builtin_trap();
  }
}

bool StartsOrEndsWith(const std::string& s, char c) {
  return !s.empty() && (s.front() == c || s.back() == c);
}

// Splits at every `d`, quotes or not, keeping empty pieces.
std::vector<std::string> PlainSplit(const std::string& s, char d) {
  std::vector<std::string> pieces(1);
  for (const char c : s) {
    if (c == d) {
      pieces.emplace_back();
    } else {
      pieces.back().push_back(c);
    }
  }
  return pieces;
}

// Searches from the start after every replacement; gives up (false) after `max_steps`.
bool ReplaceFromStart(std::string& s, const std::string& what, const std::string& with,
                      int max_steps) {
  for (std::size_t p = s.find(what); p != std::string::npos; p = s.find(what)) {
    if (max_steps-- == 0) {
      return false;
    }
    s.replace(p, what.size(), with);
  }
  return true;
}

// Single left-to-right pass, the search going on after each inserted text.
std::string ReplaceForward(const std::string& s, const std::string& what, const std::string& with) {
  std::string out;
  std::size_t from = 0;
  for (std::size_t p = s.find(what); p != std::string::npos; p = s.find(what, from)) {
    out.append(s, from, p - from);
    out += with;
    from = p + what.size();
  }
  out.append(s, from);
  return out;
}

void CheckSplit(const std::string& text, char d) {
  const std::vector<std::string> pieces = corvane::SplitQuoted(text, d);
  Check(pieces.empty() == text.empty());
  Check(pieces.size() <= text.size());
  std::string joined;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) {
      joined.push_back(d);
    }
    joined += pieces[i];
  }
  Check(joined == text);
  if (text.find('"') == std::string::npos && !text.empty()) {
    // Without quotes every delimiter splits, except one that ends the text.
    std::vector<std::string> plain = PlainSplit(text.substr(0, text.size() - 1), d);
    plain.back().push_back(text.back());
    Check(pieces == plain);
  }
}

void CheckWord(const std::string& text, int n) {
  const std::string word = corvane::QuotedWord(text, n);
  const std::string trimmed = corvane::TrimChar(text, ' ');
  Check(word.size() <= trimmed.size());
  Check(trimmed.find(word) != std::string::npos);
  if (n <= 0) {
    Check(word == trimmed);
  } else if (trimmed.find('"') == std::string::npos) {
    const std::vector<std::string> plain = PlainSplit(trimmed, ' ');
    const std::size_t index = static_cast<std::size_t>(n) - 1;
    Check(word == (index < plain.size() ? plain[index] : std::string()));
  }
}

void CheckTrim(const std::string& text, char c) {
  const std::string trimmed = corvane::TrimChar(text, c);
  Check(!StartsOrEndsWith(trimmed, c));
  Check(text.find(trimmed) != std::string::npos);
  Check(trimmed.empty() || text.find_first_not_of(c) == text.find(trimmed));

  std::string spaces = text;
  corvane::TrimSpaces(spaces);
  Check(spaces == corvane::TrimChar(text, ' '));
}

void CheckReplace(const std::string& text, const std::string& what, const std::string& with) {
  std::string s = text;
  corvane::ReplaceAll(s, what, with);
  if (what.empty() || what == with) {
    Check(s == text);
    return;
  }
  if (with.find(what) != std::string::npos) {
    Check(s == ReplaceForward(text, what, with));
    return;
  }
  if (with.size() < what.size()) {
    // Shrinking replacements always end, so the result holds no occurrence.
    Check(s.find(what) == std::string::npos);
    Check(s.size() <= text.size());
  }
  // The reference is quadratic; keep it to texts and step counts it handles quickly.
  std::string expected = text;
  if (text.size() <= 512 && ReplaceFromStart(expected, what, with, 256)) {
    Check(s == expected);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) {
    return 0;
  }
  const char delimiter = static_cast<char>(data[0]);
  const int n = static_cast<int8_t>(data[1]);
  std::size_t what_size = data[2] % 8;
  std::size_t with_size = data[3] % 16;
  data += 4;
  size -= 4;

  what_size = what_size < size ? what_size : size;
  const std::string what(reinterpret_cast<const char*>(data), what_size);
  data += what_size;
  size -= what_size;

  with_size = with_size < size ? with_size : size;
  const std::string with(reinterpret_cast<const char*>(data), with_size);
  data += with_size;
  size -= with_size;

  const std::string text(reinterpret_cast<const char*>(data), size);

  CheckSplit(text, delimiter);
  CheckWord(text, n);
  CheckTrim(text, delimiter);
  CheckReplace(text, what, with);
  return 0;
}
