// Writes english.lng, the language file that holds the program's own English texts:
//   gen_english_lng <output path>
// Lines end in CR LF so that the file opens cleanly in any editor; a line break inside a
// text is written as "%enter".

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "config/Operations.h"
#include "config/language.h"

namespace corvane {
namespace {

constexpr char kEol[] = "\r\n";

bool WriteEnglish(const char* path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    return false;
  }
  out << '[' << kLangMainSection << ']' << kEol;
  out << kLangNameKey << "=English" << kEol;
  out << kLangLocalNameKey << "=English" << kEol;
  out << kLangCreatorKey << "=Corvane" << kEol;
  out << kLangEMailKey << '=' << kEol;
  out << kLangWebKey << '=' << kEol;

  const char* section = nullptr;
  for (const TLangDefault& d : AllDefaults()) {
    if (section == nullptr || std::strcmp(section, d.section) != 0) {
      section = d.section;
      out << kEol << '[' << section << ']' << kEol;
    }
    std::string text = d.text;
    ReplaceAll(text, "\r\n", kLangLineBreak);
    out << d.key << '=' << text << kEol;
  }
  out.close();
  return static_cast<bool>(out);
}

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output path>\n", argc > 0 ? argv[0] : "gen_english_lng");
    return 2;
  }
  if (!corvane::WriteEnglish(argv[1])) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
