#pragma once
// The INI store of every configuration file: profile.ini, profiles.ini and the language
// files. Sections and keys match without regard to case; whatever is missing gives the
// caller's default; a write replaces the key's line (creating the file and section when
// needed) and keeps every other line. Files are replaced whole through a temporary file
// and a rename, so a crash never leaves half a file.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace corvane {

class TIniFile {
 public:
  // At most this many characters of a value are read.
  static constexpr std::size_t kMaxValue = 2047;

  // Opening a path that does not exist is no error and creates nothing.
  explicit TIniFile(std::string path);

  const std::string& Path() const { return path_; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& default_value) const;
  // Leading spaces and one sign; "$", "x", "X", "0x", "0X" mark hexadecimal (up to 8
  // digits, a 32-bit pattern: "$FFFFFFFF" is -1), else decimal within int32; anything that
  // does not convert completely gives the default.
  std::int32_t ReadInteger(const std::string& section, const std::string& key,
                           std::int32_t default_value) const;
  bool ReadBool(const std::string& section, const std::string& key, bool default_value) const;

  // Each write goes to the file at once unless an update is open. A value is written up to
  // its first line break. False when the file could not be written (errno tells why), and for names
  // that would not read back: a section with ']', a key that is empty or holds '=', or starts with
  // '[' or ';', either with a line break.
  bool WriteString(const std::string& section, const std::string& key, const std::string& value);
  bool WriteInteger(const std::string& section, const std::string& key, std::int32_t value);
  bool WriteBool(const std::string& section, const std::string& key, bool value);

  // Gathers the writes between the two calls into one replacement of the file.
  void BeginUpdate();
  bool EndUpdate();

  // Mode of a file this store creates (an existing file keeps its own).
  void SetCreateMode(mode_t mode) { create_mode_ = mode; }

  // The section names and the key names of one section, in file order.
  std::vector<std::string> ReadSections() const;
  std::vector<std::string> ReadKeys(const std::string& section) const;

 private:
  enum class Eol : std::uint8_t { kNone, kLf, kCr, kCrLf };
  struct Line {
    std::string text;  // without its line end
    Eol eol = Eol::kNone;
  };
  struct Section {
    std::string name;          // as spelled, without the spaces around it
    std::size_t last_key = 0;  // last key line, or the header when there is none
    std::unordered_map<std::string, std::size_t> keys;  // folded key name -> first line
    std::vector<std::string> key_names;                 // first occurrences, file order
  };
  struct Document {
    bool readable = true;  // false: the file exists but could not be read
    std::vector<Line> lines;
    std::vector<Section> sections;  // the first occurrence of each name only
    std::unordered_map<std::string, std::size_t> section_index;  // folded name -> section
  };
  struct Stamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t mtime_sec = 0;
    std::int64_t mtime_nsec = 0;
    bool operator==(const Stamp&) const = default;
  };

  static Stamp StampOf(const struct stat& st);
  // Splits the text into doc.lines and indexes them.
  static void Parse(const std::string& text, Document& doc);
  // Rebuilds the sections and keys of doc.lines.
  static void Index(Document& doc);
  // Line of the key's first occurrence in the section's first occurrence, or size_t(-1).
  static std::size_t FindKey(const Document& doc, const std::string& section,
                             const std::string& key);

  // The parsed file as it is now; the pending lines while an update holds changes.
  const Document& Current() const;
  // Sets the key in doc_; false when the lines did not change.
  bool Modify(const std::string& section, const std::string& key, const std::string& value);
  // Replaces the file with doc_.
  bool Store();

  std::string path_;
  mode_t create_mode_ = 0644;
  int update_depth_ = 0;
  bool dirty_ = false;  // doc_ holds writes that the file does not have yet
  mutable Document doc_;
  mutable bool cached_ = false;   // doc_ holds raw_, the file as read with stamp_
  mutable bool trusted_ = false;  // and it was read long after its last change
  mutable std::string raw_;
  mutable Stamp stamp_;
};

}  // namespace corvane
