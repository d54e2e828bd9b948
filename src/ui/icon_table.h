#pragma once
// The 67 member-list icons at their fixed indices: each taken from the home's icons/ folder
// when there (a user may replace any), else from the icons shipped with the program.

#include <QIcon>
#include <string>
#include <vector>

namespace corvane {

inline constexpr int kIconFiles = 67;

// The file name of the icon at `index` (0 to kIconFiles - 1).
std::string IconFileName(int index);

// The program's own icon at every size drawn, for the window and the tray.
QIcon AppIcon(const std::string& shipped_icons);

class TIconTable {
 public:
  // Loads every icon; `failed` receives the path of each one that could not be read (its
  // slot then holds a neutral placeholder, so no later index moves).
  TIconTable(const std::string& home_icons, const std::string& shipped_icons,
             std::vector<std::string>& failed);
  QIcon Icon(int index) const;

 private:
  std::vector<QIcon> icons_;
};

}  // namespace corvane
