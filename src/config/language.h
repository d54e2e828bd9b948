#pragma once
// Language files: the English texts compiled into the program, the language store that
// replaces them with the texts of the current language file, and the listing of the files
// in the language folder.
//
// A language file is an INI file; each text is one line, and "%enter" in it stands for a
// carriage return and a line feed. Section "main" describes the file itself.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "config/ini_file.h"
#include "config/language_sections.h"
#include "config/text_lookup.h"

namespace corvane {

// One looked-up text with its English default.
struct TLangDefault {
  const char* section;
  const char* key;
  const char* text;
};

// Every text the program looks up under a fixed key, in file order. The icon names of
// section kIconSection are not in it: they live in kIconNames.
extern const TLangDefault kLangDefaults[];
extern const std::size_t kLangDefaultCount;

// The keys of a language file's self-description (section kLangMainSection).
inline constexpr char kLangNameKey[] = "Languige";
inline constexpr char kLangLocalNameKey[] = "LanguigeLocal";
inline constexpr char kLangCreatorKey[] = "Creator";
inline constexpr char kLangEMailKey[] = "EMail";
inline constexpr char kLangWebKey[] = "Web";

// Stands for a line break in a language file.
inline constexpr char kLangLineBreak[] = "%enter";

// English default of a text, section and key compared without regard to ASCII case;
// covers kLangDefaults and the icon names. nullptr when neither holds the key.
const char* DefaultText(const std::string& section, const std::string& key);

// kLangDefaults followed by the icon names: the contents of english.lng apart from "main".
std::vector<TLangDefault> AllDefaults();

// One language file of the language folder, with the text shown for it in the list.
struct TLangEntry {
  std::string file_name;  // without folder
  std::string display;    // "Languige (LanguigeLocal)"
  std::string folder;     // where it lies
};

// Every regular file of `lang_folder` whose name ends in ".lng", in the order the folder
// lists them. A missing folder gives an empty list.
std::vector<TLangEntry> ListLanguages(const std::string& lang_folder);

// The last listed file whose display text equals `display` exactly; "" when there is none.
std::string FileForDisplay(const std::string& lang_folder, const std::string& display);

// The files of several folders, the first folder's first; a file of a later folder is left
// out when an earlier one has a file of that name (the home's own overrides a shipped one).
std::vector<TLangEntry> ListLanguages(const std::vector<std::string>& folders);
std::string FileForDisplay(const std::vector<std::string>& folders, const std::string& display);
// The first of the folders that holds the file; the first folder when none does.
std::string LanguageFolder(const std::vector<std::string>& folders, const std::string& file_name);

// The current language file. Until the first Apply there is no store and every lookup
// gives its default; a file that does not exist behaves the same way.
class TLanguage {
 public:
  // Replaces the store with one on lang_folder/file_name.
  void Apply(const std::string& lang_folder, const std::string& file_name);

  // True once a store is open (even on a file that does not exist).
  bool Loaded() const { return store_ != nullptr; }
  const std::string& FileName() const { return file_name_; }

  // The file's text, or `default_text` when there is no store or no such key; then every
  // "%enter" becomes "\r\n". Placeholders are left to the caller.
  std::string LangText(const std::string& section, const std::string& key,
                       const std::string& default_text) const;
  // LangText with the compiled-in English default (empty for a key that has none).
  std::string Text(const std::string& section, const std::string& key) const;
  // The file's text as it stands, "%enter" kept.
  std::string Raw(const std::string& section, const std::string& key,
                  const std::string& default_text) const;

  // "Languige (LanguigeLocal)" of the current file; " ()" when it has neither.
  std::string CurrentLanguageDisplay() const;

  // LangText as a lookup for the status-string texts. It refers to this object, which
  // must outlive it, and follows later calls of Apply.
  TTextLookup Lookup() const;

 private:
  std::unique_ptr<TIniFile> store_;
  std::string file_name_;
};

}  // namespace corvane
