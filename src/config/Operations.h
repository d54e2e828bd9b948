#pragma once
// Small text and folder helpers used all over the program. Strings are byte strings;
// comparisons are exact; the only blank the trimming functions know is the space.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// Removes leading, then trailing spaces (tabs and line ends stay).
void TrimSpaces(std::string& s);

// Replaces every occurrence of `what` by `with`, searching again from the start after
// each replacement, so that an occurrence formed by the join of the text around a
// removed one is replaced too ("aabb" without "ab" gives ""). When `with` contains
// `what` the search goes on after the inserted text, so the call always ends.
// Nothing happens when `what` is empty or equals `with`.
void ReplaceAll(std::string& s, const std::string& what, const std::string& with);

// Splits `text` at `delimiter`, except between double quotes. Quotes stay in the pieces,
// two delimiters in a row give an empty piece, a delimiter that ends the text stays at
// the end of the last piece, and an empty text gives no piece.
std::vector<std::string> SplitQuoted(const std::string& text, char delimiter);

// The n-th word (1-based) of `text`, words separated by single spaces that are not
// between double quotes; a word wrapped in quotes loses them. n <= 0 gives the whole
// text without leading and trailing spaces; a word past the end gives "".
std::string QuotedWord(const std::string& text, int n);

// `text` without every leading and trailing occurrence of `c`.
std::string TrimChar(const std::string& text, char c);

// Deletes the folder `path` (no trailing separator) with everything in it, read-only
// entries included. A symbolic link inside is removed as a link; what it points to is
// left alone. Goes on past entries it cannot delete; true when the folder itself is gone.
bool DeleteFolder(const std::string& path);

// Names (accounts, commands, sections) are compared with ASCII letters folded; other bytes
// must match exactly. These never depend on the process locale.
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);

// The text with every control character (DEL too) as a blank: for one line of a console,
// where a line break would split it and an escape sequence would act on the terminal.
std::string BlankControls(std::string text);

// A whole decimal number within int32, with an optional sign and nothing else ("+10",
// "-3"); false, `value` untouched, for anything else.
bool ParseInt32(std::string_view text, std::int32_t& value);

inline std::uint8_t BoolToByte(bool b) {
  return b ? 1 : 0;
}
inline bool ByteToBool(std::uint8_t b) {
  return b != 0;
}

}  // namespace corvane
