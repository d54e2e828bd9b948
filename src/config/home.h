#pragma once
// Where a bot keeps its files (its home) and where the files that come with the program lie
// (language files, icons): beside the program when it runs from its build folder or an
// unpacked portable folder, and apart when it is installed, since an installed program's
// folder is not the user's to write.

#include <string>

namespace corvane {

struct THomePaths {
  std::string home;       // profiles.ini, profiles/, lang/, icons/, plugins/
  std::string shared;     // the shipped lang/ and icons/, read when the home has no such file
  bool per_user = false;  // the installed program's home under the user's data folder
};

// `given` (--home) wins, then $CORVANE_HOME. Otherwise a program in <prefix>/bin with a
// <prefix>/share/corvane folder is installed: its home is $XDG_DATA_HOME/corvane (by default
// ~/.local/share/corvane) and its shared files are in <prefix>/share/corvane. Any other
// program keeps both in its own folder.
THomePaths ResolveHome(const std::string& given, const std::string& program_folder);

// Creates the home of an installed program (mode 0700) when it is missing; false, with the
// reason in `error`, when it cannot be made.
bool EnsureHome(const std::string& home, std::string& error);

}  // namespace corvane
