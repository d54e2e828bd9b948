#include "ui/icon_table.h"

#include <QPainter>
#include <QPixmap>
#include <filesystem>

namespace corvane {
namespace {

constexpr int kIconPixels = 32;

// Tier icons of one race: tiers `first` to `last`, "x" marking the expansion's.
void AddTiers(std::vector<std::string>& names, const char* race, int first, int last,
              bool expansion) {
  for (int tier = first; tier <= last; ++tier) {
    names.push_back("tier" + std::to_string(tier) + (expansion ? "x-" : "-") + race + ".bmp");
  }
}

std::vector<std::string> MakeNames() {
  std::vector<std::string> names = {"bnet-unknown.bmp", "tier1-orc.bmp"};
  for (const char* race : {"human", "orc", "undead", "nightelf", "random"}) {
    AddTiers(names, race, 2, 5, false);
  }
  names.push_back("tier1x-orc.bmp");
  for (const char* race : {"human", "orc", "undead", "nightelf", "random", "tourney"}) {
    AddTiers(names, race, 2, 6, true);
  }
  for (const char* rank : {"initiate_less_week", "initiate", "member", "officer", "leader"}) {
    names.push_back(std::string("clan-orc-") + rank + ".bmp");
  }
  for (const char* name : {"friends-online.bmp", "friends-offline.bmp", "friends-nonmutual.bmp",
                           "friends-mutual.bmp", "friends-chatroom.bmp", "friends-privategame.bmp",
                           "friends-publicgame.bmp", "bnet-squelch.bmp", "bnet-channelops.bmp"}) {
    names.push_back(name);
  }
  return names;
}

// A grey square with a dark frame: plainly no picture, and no other icon's look.
QIcon Placeholder() {
  QPixmap pixmap(kIconPixels, kIconPixels);
  pixmap.fill(QColor(0x60, 0x60, 0x60));
  QPainter painter(&pixmap);
  painter.setPen(QColor(0x20, 0x20, 0x20));
  painter.drawRect(0, 0, kIconPixels - 1, kIconPixels - 1);
  return QIcon(pixmap);
}

}  // namespace

std::string IconFileName(int index) {
  static const std::vector<std::string> names = MakeNames();
  return index >= 0 && index < static_cast<int>(names.size()) ? names[index] : std::string();
}

TIconTable::TIconTable(const std::string& home_icons, const std::string& shipped_icons,
                       std::vector<std::string>& failed) {
  icons_.reserve(kIconFiles);
  for (int i = 0; i < kIconFiles; ++i) {
    const std::string name = IconFileName(i);
    std::error_code ec;
    const std::string own = home_icons + "/" + name;
    const std::string path = std::filesystem::exists(own, ec) ? own : shipped_icons + "/" + name;
    QPixmap pixmap(QString::fromStdString(path));
    if (pixmap.isNull()) {
      failed.push_back(path);
      icons_.push_back(Placeholder());
      continue;
    }
    QIcon icon(pixmap);
    // The twice-as-large drawing from the same folder keeps the icon crisp on a scaled
    // display; a user's own icon without one is scaled from theirs, never swapped for ours.
    const std::string twice = path.substr(0, path.size() - 4) + "@2x.bmp";
    QPixmap large(QString::fromStdString(twice));
    if (!large.isNull()) icon.addPixmap(large);
    icons_.push_back(std::move(icon));
  }
}

QIcon AppIcon(const std::string& shipped_icons) {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    icon.addFile(
        QString::fromStdString(shipped_icons + "/corvane-" + std::to_string(size) + ".png"));
  }
  return icon;
}

QIcon TIconTable::Icon(int index) const {
  return index >= 0 && index < static_cast<int>(icons_.size()) ? icons_[index] : QIcon();
}

}  // namespace corvane
